#include "fax_send/morvane/fax_send_server.h"

#include "platform/clock.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"
#include "platform/process/run_marker.h"
#include "platform/xml.h"

#include <exception>
#include <utility>

namespace fg {

namespace {

void logRefusal(const std::string& why) {
    ErrorLogWriter().writeError(FaxSendJob::kSource, Error(errnum::InvalidProcedureCall, why));
}

}  // namespace

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
            // Parsed, not loaded: the send log and the store grow large, and
            // every hand-over of a batch asks for this check.
            if (xml::checkFile(folder + check.file).errorCode != 0) {
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
    manageNumbers_ = strRepManageNo;
    // A job armed after an earlier one has ended is a send under way too:
    // the supervisor must wait for it as for the first.
    if (runFile_.empty()) runFile_ = makeRunFile(fs::programFolder());
    due_ = clock().elapsed() + kFirstTick;
    return true;
}

bool FaxSendServer::delG3DummyFile(const std::vector<std::string>& strFileName) {
    return FaxSendJob::delG3DummyFile(strFileName);
}

bool FaxSendServer::delG3FromManageNo(const std::string& strRepManageNo) {
    return FaxSendJob::delG3FromManageNo(strRepManageNo);
}

void FaxSendServer::tick() {
    if (!due_ || running_) return;
    due_.reset();
    running_ = true;
    bool result = false;
    {
        FaxSendJob job(*modem_, host_);
        result = job.run(manageNumbers_);
    }
    endStatus_ = result;
    running_ = false;
    // The job has ended when the client hears of it, so its handler may arm
    // the next one; that job keeps the marker.
    host_.raiseSendFaxEnd();
    if (!due_ && !runFile_.empty()) {
        deleteRunFile(fs::programFolder(), runFile_);
        runFile_.clear();
    }
}

}  // namespace fg
