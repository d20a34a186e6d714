#include "telephony/telephony_control.h"

#include "fax_send/kelvra/fax_send_careers.h"
#include "fax_send/kelvra/month_sends.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"
#include "platform/process/process.h"
#include "platform/process/run_marker.h"
#include "platform/text.h"
#include "platform/values.h"
#include "platform/wait_bounds.h"
#include "platform/xml.h"
#include "settings/fax_manage_num.h"
#include "settings/held_manage_record.h"
#include "settings/maker_info.h"
#include "telephony/answer_support.h"
#include "telephony/errors.h"

#include <optional>

namespace fg {

namespace rc = TelephonyResultCode;
using telephony::logFailure;

namespace {

// Order sheets: awaiting the supplier's confirmation, and confirmed.
constexpr const char* kAwaitingConfirmation = "3";
constexpr const char* kConfirmed = "4";

}  // namespace

void TelephonyControl::removeTrailingMark(std::string& strRepManageNo) {
    if (!strRepManageNo.empty() && (strRepManageNo.back() == '#' || strRepManageNo.back() == '*'))
        strRepManageNo.pop_back();
}

std::string TelephonyControl::filterNumericChars(std::string_view text) {
    std::string out;
    for (char c : text)
        if ((c >= '0' && c <= '9') || c == '.' || c == '-') out += c;
    return out == "." ? std::string() : out;
}

std::int32_t TelephonyControl::dataDecision(std::string& strRepManageNo, const std::string& strFaxNo) {
    try {
        removeTrailingMark(strRepManageNo);
        std::int32_t checked = checkBeforeDecision(strFaxNo, strRepManageNo);
        if (checked == rc::NotFound) throw Error(telephony::errs::DecisionFailed, "ユーザ・確定状態のチェック");
        if (checked != rc::Done && checked != rc::Failed) return checked;  // 9: stored as not yet answered
        std::int16_t decided = deliveryestimateDecision(strRepManageNo, strFaxNo);
        if (decided == rc::Done) return rc::Done;
        if (decided == rc::Failed) throw Error(telephony::errs::DecisionFailed, "回答データ作成失敗");
        return decided;
    } catch (...) {
        logFailure("dataDecision", telephony::errs::DecisionFailed);
        return rc::Failed;
    }
}

std::int32_t TelephonyControl::checkBeforeDecision(const std::string& strFaxNo, std::string& strRepManageNo) {
    removeTrailingMark(strRepManageNo);
    // One read of the record answers both checks: the fax number it was sent
    // to, and its condition as the same read found it.
    FaxManageNum store;
    if (!telephony::onRecord(store, strRepManageNo) || store.mstrSendFAXNum() != strFaxNo)
        return rc::NotAnswerable;
    std::int32_t condition = conditionOf(store);
    // An order sheet, awaiting its confirmation or confirmed, has no answer.
    const std::string number = std::to_string(condition);
    if (number == kAwaitingConfirmation || number == kConfirmed) return rc::NotAnswerable;
    return condition;
}

std::int32_t TelephonyControl::checkManageFaxNo(std::string& strRepManageNo, const std::string& strFaxNo) {
    removeTrailingMark(strRepManageNo);
    FaxManageNum store;
    if (!telephony::onRecord(store, strRepManageNo)) return rc::NotAnswerable;
    return store.mstrSendFAXNum() == strFaxNo ? rc::Done : rc::NotAnswerable;
}

std::int32_t TelephonyControl::conditionOf(const FaxManageNum& record) {
    const std::string& condition = record.mstrDecisionCondition();
    if (text::trim(condition).empty()) return 0;
    return toInt16(condition);
}

std::int32_t TelephonyControl::checkFAXNo(const std::string& strFaxNo) {
    try {
        return registeredFaxNo(strFaxNo);
    } catch (...) {
        logFailure("checkFAXNo");
        return rc::Failed;
    }
}

std::int32_t TelephonyControl::registeredFaxNo(const std::string& strFaxNo) {
    return MakerInfo().checkMaker(strFaxNo) ? rc::Done : rc::Refused;
}

std::int32_t TelephonyControl::makeCareerData(const std::string& strFaxNo, const std::string& strDate) {
    try {
        if (!sendLogHolds(strDate, strFaxNo)) return rc::Refused;
        startJob("drumel", strFaxNo + "," + strDate);
        return rc::Done;
    } catch (...) {
        logFailure("makeCareerData");
        return rc::Failed;
    }
}

bool TelephonyControl::SelFaxSendLog(const std::string& strYD, const std::string& strFaxNo, std::string&) {
    try {
        return sendLogHolds(strYD, strFaxNo);
    } catch (...) {
        logFailure("SelFaxSendLog");
        return false;
    }
}

bool TelephonyControl::sendLogHolds(const std::string& strYD, const std::string& strFaxNo) {
    const std::string path = FolderPathInfo().getFolderPath("FaxSendLog") + FaxSendCareers::kFileName;
    // A log that does not exist yet holds no send. One that exists but does
    // not load is a failure: "nothing to send" would hide it from the caller.
    if (!fs::fileExists(path)) return false;
    std::vector<xml::Node> sends;
    if (!FaxSendCareers().getSendsOfMonth(strYD, strFaxNo, sends))
        throw Error(errnum::PathFileAccessError, "送信履歴を読めません: " + path);
    return !sends.empty();
}

std::int32_t TelephonyControl::startForSupplier(const char* member, const char* program, const std::string& strFaxNo,
                                                const std::string& arguments, long failureNumber) {
    try {
        if (registeredFaxNo(strFaxNo) != rc::Done) return rc::Refused;
        startJob(program, arguments);
        return rc::Done;
    } catch (...) {
        logFailure(member, failureNumber);
        return rc::Failed;
    }
}

std::int32_t TelephonyControl::makeTestFAXData(const std::string& strFaxNo) {
    return startForSupplier("makeTestFAXData", "belvast", strFaxNo, strFaxNo, telephony::errs::TestFaxFailed);
}

std::int32_t TelephonyControl::requestOrderBalance(const std::string& strFaxNo) {
    return startForSupplier("requestOrderBalance", "sorvik", strFaxNo, strFaxNo, 0);
}

std::int32_t TelephonyControl::makeYetUnattend(const std::string& strFaxNo) {
    return startForSupplier("makeYetUnattend", "wendrik", strFaxNo, strFaxNo, 0);
}

std::int16_t TelephonyControl::makeOCRData(const std::string& strFaxNo, const std::string& strOCRReportType) {
    return static_cast<std::int16_t>(
        startForSupplier("makeOCRData", "pomrik", strFaxNo, strFaxNo + "," + strOCRReportType, 0));
}

std::int32_t TelephonyControl::makeReSendFAX(const std::string& strFaxNo, std::string& strRepManageNo) {
    try {
        removeTrailingMark(strRepManageNo);
        if (checkManageFaxNo(strRepManageNo, strFaxNo) != rc::Done) return rc::Refused;
        startJob("corvina", strFaxNo + "," + strRepManageNo);
        return rc::Done;
    } catch (...) {
        logFailure("makeReSendFAX");
        return rc::Failed;
    }
}

std::int16_t TelephonyControl::confirmOrderReport(const std::string& strFaxNo, std::string& strRepManageNo) {
    try {
        removeTrailingMark(strRepManageNo);
        FaxManageNum store;
        if (!telephony::onRecord(store, strRepManageNo)) return rc::Refused;
        if (store.mstrSendFAXNum() != strFaxNo) return rc::Refused;
        if (store.mstrDecisionCondition() == kConfirmed) return rc::AlreadyDone;
        if (store.mstrDecisionCondition() != kAwaitingConfirmation) return rc::Refused;
        // The caller waits on the line: the store's lock within the
        // telephone's bound, the condition read again under it.
        try {
            HeldManageRecord held(WaitBounds::load().telephoneWait);
            std::optional<std::string> now = held.decisionCondition(strRepManageNo);
            if (now == kConfirmed) return rc::AlreadyDone;
            if (now != kAwaitingConfirmation) return rc::Refused;
            held.setDecisionCondition(strRepManageNo, kConfirmed);
        } catch (...) {
            writeDebugLine("confirmOrderReport", currentError().description());
            throw Error(telephony::errs::OrderConfirmFailed, "注文書確認フラグのセットに失敗");
        }
        return rc::Done;
    } catch (...) {
        logFailure("confirmOrderReport", telephony::errs::OrderConfirmFailed);
        return rc::Failed;
    }
}

std::string TelephonyControl::RunTimeStart() { return makeRunFile(fs::programFolder()); }

void TelephonyControl::RunTimeStop(const std::string& strRunFile) { deleteRunFile(fs::programFolder(), strRunFile); }

void TelephonyControl::startJob(const std::string& program, const std::string& argument) {
    std::optional<std::string> path = findProgram(program);
    if (!path) throw Error(errnum::FileNotFound, "ジョブプログラムが見つかりません: " + program);
    SpawnOptions options;
    // The job runs on after the call has returned, and a signal to the
    // host's terminal or process group must not end a fax half-sent.
    options.newSession = true;
    // The argument string is one argument: nothing in a keyed value can
    // become a second one, and no shell reads it.
    pid_t pid = Process::startDetached(*path, {argument}, options);
    writeDebugLine("TelephonyControl", *path + " " + argument + " (pid " + std::to_string(pid) + ")");
}

}  // namespace fg
