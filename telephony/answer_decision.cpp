// The approval of a recognised answer: the answer is built from the received
// document and the document that was faxed, uploaded to the EDI server, and
// only then is the record marked decided. The number, not the store, is held
// across the upload.
#include "telephony/telephony_control.h"

#include "common/vantrel/information_code.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/folder_path_info.h"
#include "platform/name_hold.h"
#include "platform/wait_bounds.h"
#include "platform/wait_deadline.h"
#include "settings/fax_manage_num.h"
#include "settings/held_manage_record.h"
#include "telephony/answer_support.h"
#include "telephony/errors.h"

namespace fg {

namespace rc = TelephonyResultCode;

namespace {

constexpr const char* kDecided = "2";

}  // namespace

std::int16_t TelephonyControl::deliveryestimateDecision(std::string& strRepManageNo, const std::string& strFaxNo) {
    FaxManageNum store;
    removeTrailingMark(strRepManageNo);
    if (!telephony::onRecord(store, strRepManageNo)) return rc::NotAnswerable;
    const std::string repType = store.mstrRepType();
    const bool quotation = repType == telephony::kQuotationReceived;
    if (!quotation && repType != telephony::kDeliveryAnswerReceived) return rc::NotAnswerable;
    if (store.mstrDecisionCondition() == kDecided) return rc::AlreadyDone;

    // The number is held from here to its mark, across processes: a
    // decision of the same number made meanwhile waits for the mark, then
    // finds it decided, so that one approval uploads its answers once. The
    // store itself is held only for a read and for the mark, so that calls
    // about other records go on during the upload. A second caller waits as
    // long as the first's upload and its mark may take.
    const WaitBounds bounds = WaitBounds::load();
    const std::chrono::milliseconds holdBound = bounds.telephoneUpload + bounds.telephoneWait;
    std::optional<NameHold> number;
    try {
        number.emplace(FolderPathInfo().getFolderPath("FaxManageNum"), telephony::decisionHoldName(strRepManageNo),
                       holdBound);
    } catch (const Error& busy) {
        throw Error(telephony::errs::DecisionFailed, "回答中の管理番号を " + secondsText(holdBound) +
                                                         "待ちましたが終わりません。(" + strRepManageNo + ") " +
                                                         busy.description());
    }
    // Read again under the hold, under the store's lock: that lock must be
    // had for the mark, which is known before anything goes up.
    std::optional<std::string> condition;
    try {
        condition = HeldManageRecord(bounds.telephoneWait).decisionCondition(strRepManageNo);
    } catch (const Error& busy) {
        throw Error(telephony::errs::DecisionFailed,
                    "管理番号ファイルを " + secondsText(bounds.telephoneWait) + "待ちましたが使えません。(" +
                        strRepManageNo + ") " + busy.description());
    }
    if (!condition) return rc::NotAnswerable;
    if (*condition == kDecided) return rc::AlreadyDone;

    std::vector<xml::Document> answers;
    bool built = quotation ? makeEstimatAnswer(strFaxNo, strRepManageNo, answers)
                           : makeDeliveryAnswer(strRepManageNo, answers);
    // A build that stopped half-way has logged why; nothing of it goes up.
    if (!built) return rc::Failed;
    // Received documents that answer nothing are no answer: the supplier's
    // approval must not be reported as delivered.
    if (answers.empty()) {
        writeDebugLine("deliveryestimateDecision", strRepManageNo + ": 回答する明細がありません");
        return rc::Failed;
    }
    // The upload logs its own failure; the record keeps its condition, so
    // that the next approval builds and uploads the answer again. All the
    // answers of the decision go up within one bound, which a server that
    // does not answer cannot stretch.
    {
        WaitDeadline uploads(bounds.telephoneUpload);
        if (!uploadAnswers(answers, quotation ? infocode::RFQANS : infocode::REQUESTANS)) return rc::Failed;
    }
    // The answer is on the server: the decision is made. A record that then
    // cannot be saved would let the next approval upload it again, which the
    // operator must hear of.
    try {
        HeldManageRecord(bounds.telephoneWait).setDecisionCondition(strRepManageNo, kDecided);
    } catch (...) {
        TelephonyErrorLog().writeError(Error(telephony::errs::DecisionFailed,
                                             "回答済みの記録に失敗しました。(" + strRepManageNo + ") " +
                                                 currentError().description(),
                                             "deliveryestimateDecision"),
                                       true);
    }
    return rc::Done;
}

}  // namespace fg
