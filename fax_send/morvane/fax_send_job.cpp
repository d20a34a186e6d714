#include "fax_send/morvane/fax_send_job.h"

#include "fax_send/morvane/send_records.h"

#include "fax_send/kelvra/fax_send_careers.h"
#include "fax_send/kelvra/page_name.h"
#include "fax_send/ostrand/ostrand.h"
#include "platform/clock.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/fax_engine/fax_engine.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"
#include "platform/process/process.h"
#include "platform/text.h"
#include "platform/values.h"
#include "platform/wait_bounds.h"
#include "settings/fax_manage_num.h"
#include "settings/modem_info.h"
#include "settings/set_up_info.h"

#include <algorithm>
#include <exception>

namespace fg {

namespace {

std::string sendFolder() { return FolderPathInfo().getFolderPath("SendTemp"); }

}  // namespace

// ---- The job -----------------------------------------------------------------

bool FaxSendJob::run(const std::vector<std::string>& manageNumbers) {
    modemLines_.clear();
    try {
        if (!ModemInfo().getModemLines(modemLines_)) {
            // The store has logged why; the numbers stay on record as unsent.
            recordUnsent(manageNumbers, 0, Error(kNoSendLine, "モデム情報を読めません。"));
            return false;
        }
    } catch (...) {
        Error cause = currentError();
        logError(kSource, cause);
        recordUnsent(manageNumbers, 0, cause);
        return false;
    }

    std::size_t i = 0;
    bool allRecorded = true;
    try {
        for (; i < manageNumbers.size(); ++i) {
            const std::string& number = manageNumbers[i];
            if (pump_.stopping()) return false;
            if (!openSendModem()) throw Error(kNoSendLine, "");
            std::vector<std::string> sendNames;
            std::optional<send_records::ReadRecord> record;
            collectG3Images(number, sendNames, record);
            const auto pages = static_cast<std::int16_t>(sendNames.size() - 1);
            modem_.setPages(pages);
            bool sent = sendWithRetry(number, record->record, sendNames.front(), pages);
            if (sent) pump_.sent(number);
            else if (endWent_) send_records::logMayHaveGoneOut(number, "最後のページの後で送信が失敗しました。");
            closePort();
            const send_records::SendRecord written = recordWithRetry(number, sent, *record);
            delG3DummyFile(sendNames);
            if (!written.settled()) {
                // Its pages stay, its number stays handed over: whoever
                // takes the hand-over records it once the disk lets it.
                allRecorded = false;
                continue;
            }
            pump_.recorded(number);
            if (written.pagesMayGo) (void)send_records::deletePages(written.pages);
        }
        return allRecorded;
    } catch (...) {
        Error cause = currentError();
        closePort();
        if (pump_.stopping()) return false;  // the rest is left to the take-over
        logError(kSource, cause);
        recordUnsent(manageNumbers, i, cause);
        return false;
    }
}

void FaxSendJob::recordUnsent(const std::vector<std::string>& manageNumbers, std::size_t from, const Error& cause) {
    // The job stops, but the documents it did not get to must not vanish:
    // one whose record cannot be written stays handed over.
    for (std::size_t j = from; j < manageNumbers.size(); ++j)
        if (send_records::recordUnsent(manageNumbers[j], cause.number())) pump_.recorded(manageNumbers[j]);
}

send_records::SendRecord FaxSendJob::recordWithRetry(const std::string& manageNumber, bool sent,
                                                     const send_records::ReadRecord& read) {
    for (int t = 1;; ++t) {
        const send_records::SendRecord record = send_records::writeSendResult(manageNumber, sent, &read);
        if (record.settled()) return record;
        // What the line did to the number is on disk before anything else:
        // should the record never be written, the take-over must know it.
        const bool noted = pump_.keepUnrecorded(manageNumber);
        const bool last = t >= kRecordTries || pump_.stopping();
        logError(kSource,
                 Error(kRecordFailed, "帳票管理番号：" + manageNumber + "　送信結果 (" + (sent ? "OK" : "NG") +
                                          ") を送信履歴に記録できません (" + std::to_string(t) + " 回目)。" +
                                          (last ? std::string("番号は引き継ぎに残し、記録できるときに記録します。")
                                                : secondsText(kRecordRetryWait) + "後に再び試みます。") +
                                          (noted ? "" : "引き継ぎファイルにも書けません。")));
        if (last) return record;
        pump_.wait(kRecordRetryWait);
    }
}

// ---- Modem choice --------------------------------------------------------------

bool FaxSendJob::openSendModem() {
    const std::size_t lines = std::min(modemLines_.size(), kMaxModemLines);
    for (;;) {
        bool anySendLine = false, anyTaken = false;
        std::string codes;
        for (std::size_t k = 0; k < lines; ++k) {
            const ModemLine& line = modemLines_[k];
            if (!line.complete)
                throw Error(errnum::SubscriptOutOfRange,
                            "モデム情報 " + std::to_string(k + 1) + " 行目の項目が足りません。");
            if (line.initString.empty() || line.lineType.empty() || !line.sends()) continue;
            anySendLine = true;
            modem_.setCommPort(toInt32(line.port));
            modem_.setModemInitString(line.initString);
            modem_.setLineType(toInt32(line.lineType));
            std::int16_t opened = -1;
            modem_.PortOpen(opened);
            if (opened == 0) {
                unopenedLogged_ = false;
                waitTold_ = false;
                return true;
            }
            anyTaken = anyTaken || opened == fax::EngineCode::PortBusy;
            codes += (codes.empty() ? "" : ", ") + ("COM" + line.port) + ": " + std::to_string(opened);
        }
        if (!anySendLine || pump_.stopping()) return false;
        if (!waitTold_) {
            waitTold_ = true;
            pump_.waitingForLine(codes);
        }
        if (!anyTaken && !unopenedLogged_) {
            unopenedLogged_ = true;
            logError(kSource, Error(kNoSendLine, "送信回線をどれも開けません (" + codes + ")。開けるまで " +
                                                     secondsText(kPassWait) + "ごとに試します。"));
        }
        // Every send line is taken by another server: try again later.
        pump_.wait(kPassWait);
    }
}

void FaxSendJob::closePort() {
    std::int16_t ignored = 0;
    modem_.PortClose(ignored);
}

// ---- Page collection -------------------------------------------------------------

bool FaxSendJob::findSendResult(const std::string& manageNumber, std::string& result) {
    result.clear();
    if (text::trim(manageNumber).empty()) return false;
    try {
        return FaxSendCareers().findSendResult(manageNumber, result);
    } catch (...) {
        logError(FaxSendCareers::kErrorSource, currentError());
        return false;
    }
}

void FaxSendJob::collectG3Images(const std::string& manageNumber, std::vector<std::string>& sendNames,
                                 std::optional<send_records::ReadRecord>& record) {
    std::vector<std::string> made;
    try {
        FolderPathInfo folders;
        std::string g3 = folders.getFolderPath("G3Image");
        std::string kept = folders.getFolderPath("G3ReImage");
        std::string temp = folders.getFolderPath("SendTemp");
        // The pages and what the send dials come from one read of the store.
        send_records::ReadRecord& read = record.emplace();
        if (!read.record.getSendRecord(manageNumber, read.pages, read.refs)) read.pages.clear();
        const std::vector<std::string>& pages = read.pages;
        for (const std::string& name : pages) checkPlainPageName(name);
        if (pages.empty()) throw Error(kNoPages, "帳票管理番号：" + manageNumber + "　送信するページがありません。");

        std::string previous;
        if (!findSendResult(manageNumber, previous))
            throw Error(kNoPages, "帳票管理番号：" + manageNumber + "　送信履歴を読めません。");
        if (previous == "NG") {
            // The pages kept when that send failed are the ones to send; a
            // page without a kept copy is sent as it stands in G3Image.
            for (const std::string& page : pages)
                if (fs::fileExists(kept + page + ".G3")) fs::copyFile(kept + page + ".G3", g3 + page + ".G3");
        }

        // The base name is the time stamp and this server's process id, so
        // that servers collecting in the same second never share a copy.
        std::string stamp = timeStamp14(clock().now()) + "_" + std::to_string(currentProcessId());
        std::string base = stamp;
        for (int n = 2; fs::fileExists(temp + base + "_p1.G3"); ++n) base = stamp + "_" + std::to_string(n);

        sendNames.assign(1, base);
        for (std::size_t j = 1; j <= pages.size(); ++j) {
            sendNames.push_back(base + "_p" + std::to_string(j));
            std::string copy = temp + sendNames.back() + ".G3";
            fs::copyFile(g3 + pages[j - 1] + ".G3", copy);
            made.push_back(copy);
        }
    } catch (...) {
        for (const std::string& copy : made) (void)fs::removeFile(copy);
        sendNames.clear();
        Error cause = currentError();
        if (cause.number() == kNoPages) throw cause;
        throw Error(kNoPages, cause.description());
    }
}

// ---- Sending -----------------------------------------------------------------

std::int16_t FaxSendJob::awaitResult(std::int16_t startCode, const std::string& manageNumber, std::int16_t pages) {
    // A line or engine that hangs must not hold the job for good: a send
    // may take its pages' time and the call's, then the try has failed.
    const std::chrono::milliseconds bound = WaitBounds::load().sendPage * (std::max<std::int16_t>(pages, 0) + 1);
    const auto until = clock().elapsed() + bound;
    for (;;) {
        std::int16_t result = 0, code = 0;
        modem_.GetResult(result, code);
        if (code == OstrandResultCode::Done) return result;
        if (code != OstrandResultCode::StillRunning) {
            // No send is under way: it never started. Waiting for its end
            // would wait for ever, so the try has failed with the start's code.
            return startCode != 0 ? startCode : code;
        }
        if (pump_.stopping()) {
            closePort();
            return OstrandResultCode::StillRunning;
        }
        if (clock().elapsed() >= until) {
            logError(kSource, Error(kSendFailed, "帳票管理番号：" + manageNumber + "　送信が " + secondsText(bound) +
                                                     "を過ぎても終わりません。回線を切ります。"));
            closePort();  // hangs up; the control lets go of the send
            return OstrandResultCode::StillRunning;
        }
        pump_.wait(kPollInterval);
    }
}

bool FaxSendJob::sendWithRetry(const std::string& manageNumber, const FaxManageNum& store, const std::string& baseName,
                               std::int16_t pages) {
    endWent_ = false;
    try {
        std::string file = sendFolder() + baseName + ".G3";
        std::int16_t tries = toInt16(SetUpInfo().strSendReTryNum().toText());
        // Taken away again before the outcome is looked at, whichever way
        // this ends: a worker that a hang-up left behind notes nothing later.
        struct Hook {
            SendModem& modem;
            ~Hook() { modem.setSendEndHook(nullptr); }
        } hook{modem_};
        modem_.setSendEndHook([this, manageNumber] {
            // Without the note a process that dies from here on would leave
            // a fax that may have arrived to be sent again (a full disk).
            if (!pump_.sendEnding(manageNumber))
                throw Error(kSendFailed, "帳票管理番号：" + manageNumber +
                                             "　送信の記録を引き継ぎファイルに書けないため、最後のページを送らずに回線を切ります。");
            endWent_ = true;
        });
        for (std::int16_t t = 1; t <= tries; ++t) {
            std::int16_t started = 0;
            modem_.SendFax(store.mstrSendFAXNum(), file, started);
            std::int16_t result = awaitResult(started, store.mstrRepManageNo(), pages);
            if (result == 0) return true;
            logError(kSource, Error(kSendFailed, "帳票管理番号：" + store.mstrRepManageNo() + "　送信回数：" +
                                                     std::to_string(t) + "回目　　送信結果コード：" +
                                                     std::to_string(result) + "  ハングアップコード：" +
                                                     std::to_string(modem_.HangupCode())));
            closePort();
            // A line is opened again only for a try that follows.
            if (t < tries && !pump_.stopping()) {
                pump_.wait(kTryWait);
                if (!openSendModem()) throw Error(kNoSendLine, "");
            }
        }
        return false;
    } catch (...) {
        logError(kSource, currentError());
        return false;
    }
}

// ---- Work files ------------------------------------------------------------------

bool FaxSendJob::delG3DummyFile(const std::vector<std::string>& names) {
    try {
        std::string temp = sendFolder();
        for (std::size_t i = 1; i < names.size(); ++i) {
            checkPlainPageName(names[i]);
            std::string path = temp + names[i] + ".g3";
            if (!fs::removeFile(path))
                throw Error(errnum::FileNotFound, Error::standardText(errnum::FileNotFound) + " " + path);
        }
        return true;
    } catch (...) {
        logError(kSource, currentError());
        return false;
    }
}

bool FaxSendJob::delG3FromManageNo(const std::string& manageNumber) {
    return send_records::delG3FromManageNo(manageNumber);
}

}  // namespace fg
