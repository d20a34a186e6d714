#include "fax_send/morvane/fax_send_server.h"

#include "platform/clock.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"
#include "platform/process/run_marker.h"
#include "fax_send/morvane/send_handover.h"
#include "platform/xml_scan.h"

#include <algorithm>
#include <exception>
#include <utility>

namespace fg {

namespace {

void logRefusal(const std::string& why) {
    ErrorLogWriter().writeError(FaxSendJob::kSource, Error(errnum::InvalidProcedureCall, why));
}

}  // namespace

class FaxSendServer::HandOverPump : public JobPump {
public:
    explicit HandOverPump(FaxSendServer& server) : server_(server) {}
    void wait(std::chrono::milliseconds duration) override { server_.host_.wait(duration); }
    bool sendEnding(const std::string& manageNumber) override { return server_.markInDoubt(manageNumber); }
    void sent(const std::string& manageNumber) override { server_.markSent(manageNumber); }
    void recorded(const std::string& manageNumber) override { server_.strikeOff(manageNumber); }
    void waitingForLine(const std::string& codes) override { server_.host_.waitingForLine(codes); }
    bool keepUnrecorded(const std::string&) override { return server_.keepHandOver(); }
    bool stopping() const override { return server_.host_.stopping(); }

private:
    FaxSendServer& server_;
};

FaxSendServer::FaxSendServer(Host& host, SendModemFactory modems)
    : host_(host), modems_(std::move(modems)), runFile_(makeRunFile(fs::programFolder())) {}

FaxSendServer::~FaxSendServer() {
    if (!runFile_.empty()) deleteRunFile(fs::programFolder(), runFile_);
}

bool FaxSendServer::checkSendSettings() {
    struct Check {
        const char* key;  // nullptr: the program folder
        const char* file;
        const char* message;
    };
    // The send log is checked where the send history keeps it.
    static const Check checks[] = {
        {nullptr, "folder.xml", "フォルダ情報ファイルが不正です。"},
        {"FaxSendLog", "FaxSendLog.xml", "ＦＡＸ送信履歴ファイルが不正です。"},
        {"SetupInfo", "SetUpInformation.xml", "設定情報ファイルが不正です。"},
        {"FaxManageNum", "FAXManageNumber.xml", "ＦＡＸ帳票管理番号ファイルが不正です。"},
    };
    try {
        for (const Check& check : checks) {
            std::string folder = check.key ? FolderPathInfo().getFolderPath(check.key) : fs::programFolder();
            // Scanned, not loaded: the send log and the store grow large, and
            // every hand-over of a batch asks for this check.
            if (!xml::fileLoads(folder + check.file)) {
                ErrorLogWriter().writeError(FaxSendJob::kSource, Error(kSettingsBroken, check.message));
                return false;
            }
        }
        return true;
    } catch (...) {
        logCurrentError(FaxSendJob::kSource);
    }
    return false;
}

bool FaxSendServer::sendFAX(const std::vector<std::string>& strRepManageNo) {
    // A second list while one is armed or sending would replace the list and
    // the modem under the running job.
    if (running_ || due_) {
        logRefusal("送信処理中のため送信依頼を受け付けられません。");
        return false;
    }
    if (strRepManageNo.empty()) {
        logRefusal("送信する帳票管理番号がありません。");
        return false;
    }
    if (!checkSendSettings()) return false;
    try {
        modem_ = modems_();
    } catch (...) {
        logCurrentError(FaxSendJob::kSource);
        return false;
    }
    // A job armed after an earlier one has ended is a send under way too:
    // the supervisor must wait for it as for the first.
    if (runFile_.empty()) runFile_ = makeRunFile(fs::programFolder());
    // The numbers are on disk before the client hears they are taken, so
    // that they outlive this process: the client confirms their receipt to
    // the EDI server on that word.
    if (runFile_.empty()) {
        logRefusal("実行中ファイルを作れないため送信依頼を受け付けられません。");
        return false;
    }
    try {
        send_handover::save(runFile_, strRepManageNo);
    } catch (...) {
        logCurrentError(FaxSendJob::kSource);
        return false;
    }
    manageNumbers_ = strRepManageNo;
    {
        std::lock_guard lock(handOverMutex_);
        handedOver_ = strRepManageNo;
        sentOnes_.clear();
        inDoubt_.clear();
        handOverSaved_ = true;
    }
    due_ = clock().elapsed() + kFirstTick;
    return true;
}

bool FaxSendServer::delG3DummyFile(const std::vector<std::string>& strFileName) {
    return FaxSendJob::delG3DummyFile(strFileName);
}

bool FaxSendServer::delG3FromManageNo(const std::string& strRepManageNo) {
    return FaxSendJob::delG3FromManageNo(strRepManageNo);
}

bool FaxSendServer::saveHandOver() {
    try {
        send_handover::save(runFile_, handedOver_, sentOnes_, inDoubt_);
        handOverSaved_ = true;
    } catch (...) {
        // Tried again at the next note, strike or record that fails: what
        // is on disk stays what the last save wrote.
        handOverSaved_ = false;
        logCurrentError(FaxSendJob::kSource);
    }
    return handOverSaved_;
}

bool FaxSendServer::keepHandOver() {
    std::lock_guard lock(handOverMutex_);
    return handOverSaved_ || saveHandOver();
}

bool FaxSendServer::markInDoubt(const std::string& manageNumber) {
    // On disk before the end of the fax goes out (the line waits for it):
    // should this process end from here on, whoever takes over cannot tell
    // whether the fax arrived, and does not send it a second time blindly.
    // A number is listed in doubt only once a save has put it on disk so,
    // and every later save keeps it: listed, it is noted.
    std::lock_guard lock(handOverMutex_);
    if (std::find(inDoubt_.begin(), inDoubt_.end(), manageNumber) != inDoubt_.end()) return true;
    inDoubt_.push_back(manageNumber);
    if (saveHandOver()) return true;
    inDoubt_.pop_back();  // its end does not go out
    return false;
}

void FaxSendServer::markSent(const std::string& manageNumber) {
    // Noted at once: should this process end before the record is written,
    // the fax is recorded by whoever takes over, not sent a second time.
    std::lock_guard lock(handOverMutex_);
    sentOnes_.push_back(manageNumber);
    // Should it fail (logged, tried again later), the hand-over on disk
    // still holds the number in doubt: it is never sent again.
    (void)saveHandOver();
}

void FaxSendServer::strikeOff(const std::string& manageNumber) {
    std::lock_guard lock(handOverMutex_);
    auto it = std::find(handedOver_.begin(), handedOver_.end(), manageNumber);
    if (it == handedOver_.end()) return;
    handedOver_.erase(it);
    for (auto* list : {&sentOnes_, &inDoubt_})
        if (auto s = std::find(list->begin(), list->end(), manageNumber); s != list->end()) list->erase(s);
    // A recorded number may stay listed until the next note (the take-over
    // leaves recorded numbers alone), which saves a synced write per fax;
    // the last one takes the file away.
    if (handedOver_.empty() || !handOverSaved_) (void)saveHandOver();  // a number recorded is left alone anyway
}

void FaxSendServer::tick() {
    if (!due_ || running_) return;
    due_.reset();
    running_ = true;
    bool result = false;
    {
        HandOverPump pump(*this);
        FaxSendJob job(*modem_, pump);
        result = job.run(manageNumbers_);
    }
    endStatus_ = result;
    running_ = false;
    if (host_.stopping()) {
        // Asked to end: what is not recorded stays handed over, for the
        // take-over; the marker goes, so that no shutdown waits for it.
        if (!runFile_.empty()) deleteRunFile(fs::programFolder(), runFile_);
        runFile_.clear();
        return;
    }
    // The job has ended when the client hears of it, so its handler may arm
    // the next one; that job keeps the marker.
    host_.raiseSendFaxEnd();
    if (!due_ && !runFile_.empty()) {
        deleteRunFile(fs::programFolder(), runFile_);
        runFile_.clear();
    }
}

}  // namespace fg
