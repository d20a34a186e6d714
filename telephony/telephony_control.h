// The telephone request handling: the one entry of the telephone host into
// the system. The host calls one member per telephone request: a supplier's
// approval of a recognised answer (a decision), the confirmation of an order
// sheet, or a request for a fax, which starts a fax job program from the
// program folder and returns without waiting for it. Around each call it
// brackets its work with RunTimeStart and RunTimeStop, whose run marker
// keeps the supervisor's shutdown waiting until the call has ended.
//
// Keyed management numbers may end with one telephone key, "#" or "*": a
// member that removes it writes the shortened number back into the caller's
// argument, and every later step of the call sees it. Fax numbers are never
// shortened and are compared exactly as keyed.
//
// Members create what they need (store objects, documents) for the call and
// let it go before they return; nothing is kept between calls. Every member
// that answers a result code catches at its end, writes the failure to the
// telephony error log and answers 9; checkBeforeDecision alone raises to its
// caller.
#pragma once

#include "platform/xml.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fg {

class FaxManageNum;

// The answers of the request members.
namespace TelephonyResultCode {
inline constexpr std::int32_t Done = 0;         // decided, confirmed, or the job program started
inline constexpr std::int32_t Refused = 1;      // not a registered supplier, nothing to send, not awaiting confirmation
inline constexpr std::int32_t AlreadyDone = 2;  // the answer already decided, the order sheet already confirmed
inline constexpr std::int32_t NotAnswerable = 3;  // not on record, sent elsewhere, or no telephone answer
inline constexpr std::int32_t Failed = 9;       // something failed; the failure was logged
inline constexpr std::int32_t NotFound = 99;    // inside the decision: the number vanished between its checks
}  // namespace TelephonyResultCode

class TelephonyControl {
public:
    TelephonyControl() = default;
    virtual ~TelephonyControl() = default;

    // A supplier approves the recognised answer of a management number: the
    // number must have been sent to this fax number and not be decided yet
    // (and be no order sheet); then the answer is built and uploaded.
    std::int32_t dataDecision(std::string& strRepManageNo, const std::string& strFaxNo);
    // The checks of a decision: 3 when the number is not on record, was sent
    // to another fax number or is an order sheet ("3", "4"); otherwise the
    // stored condition as a number (0 for a blank one, 2 decided, 9 not yet
    // answered), or 99 when the number vanished between the two reads.
    // Raises fg::Error to its caller (a condition that is no number, say).
    std::int32_t checkBeforeDecision(const std::string& strFaxNo, std::string& strRepManageNo);
    // 0 when a registered supplier has this fax number, else 1; 9 on failure.
    std::int32_t checkFAXNo(const std::string& strFaxNo);

    // Send history of a month ("YYYYMM"): starts "drumel" when the send log
    // holds a real (not test) send to this fax number in that month, else 1.
    std::int32_t makeCareerData(const std::string& strFaxNo, const std::string& strDate);
    // Whether the send log holds such a send. `strOutFile` is neither read
    // nor changed. A missing send log holds none; one that cannot be read is
    // a failure: logged, False.
    bool SelFaxSendLog(const std::string& strYD, const std::string& strFaxNo, std::string& strOutFile);
    // A test fax ("belvast"), the order balance ("sorvik") and the list of
    // unanswered items ("wendrik") for a registered supplier's fax number.
    std::int32_t makeTestFAXData(const std::string& strFaxNo);
    std::int32_t requestOrderBalance(const std::string& strFaxNo);
    std::int32_t makeYetUnattend(const std::string& strFaxNo);
    // The re-send of a fax ("corvina") that was sent to this fax number.
    std::int32_t makeReSendFAX(const std::string& strFaxNo, std::string& strRepManageNo);

    // Builds the answer of an approved management number (a received
    // delivery-date answer, "納期回答書受信確認", or quotation, "見積書受信確認")
    // and uploads it to the EDI server ("0702" or "0302"): 0 done, 2 already
    // decided, 3 not on record or no telephone answer, 9 nothing built or
    // the upload failed. Only a finished upload marks the record decided
    // ("2"); after a 9 the condition is as it was and the same approval can
    // be made again. The answers go up one document at a time: when a later
    // one is refused the earlier ones are already on the server, and the
    // next approval uploads them again. The store is held from the last
    // check to the mark, so a decision of the same number made meanwhile
    // waits and then answers 2; one not free within the telephone's wait
    // (waits.xml TelephoneWait) raises before anything goes up, and uploads
    // not done within TelephoneUpload answer 9. Removes a trailing mark
    // first. A store that cannot be read raises too, instead of answering
    // "not on record". Raises fg::Error to its caller (dataDecision logs
    // it). Virtual so that
    // the decision's handling of each outcome can be exercised on its own.
    virtual std::int16_t deliveryestimateDecision(std::string& strRepManageNo, const std::string& strFaxNo);
    // The delivery-date answers ("DORE0702") of a received answer record:
    // one document per line of the sent confirmation that a received row
    // answers, appended to objJPTRM. False, logged, when the build stopped
    // on an error; objJPTRM then holds what was built before it.
    bool makeDeliveryAnswer(const std::string& strRepManageNo, std::vector<xml::Document>& objJPTRM);
    // The quotation answers ("DORE0302") of the received record of this
    // number sent to this fax number: one document per such record, each
    // with one REPLY per answered line. False, logged, on any error: no
    // half-built answer is ever reported as built.
    bool makeEstimatAnswer(const std::string& strFAXNumber, const std::string& strRepManageNo,
                           std::vector<xml::Document>& objJPTRM);
    // Writes the answer's declaration, DORE0302/JPTRM and its header from
    // the request and the received header, then an empty PACAGE. Keeps the
    // quotation number it writes for the answer's lines. Raises fg::Error.
    void makeEstRequest(xml::Document& newDom, const xml::Document& RefeDom, const xml::Node& eleEstiAnswTop,
                        const std::string& strCorrectionCodeWk);
    // Appends one REPLY for one answered line to the PACAGE: the request's
    // fields, the recognised reply, the line amounts and the totals.
    // intReplyCnt is the caller's count and changes nothing. Raises fg::Error.
    void makeEstRequest_Re(xml::Document& newDom, const xml::Document& RefeDom, xml::Node& strPACAGE,
                           std::int16_t intReplyCnt, const xml::Node& eleEstiAnsw);
    // The correction code of an answer over the base copies of its requests
    // ("base" + name + ".xml" in strEstimatePath): "C" when any request is a
    // correction or none says, else "A". "" on failure, logged.
    std::string getCorrectionCode(const std::string& strEstimatePath, const std::vector<std::string>& strFileName);

    // The supplier confirms that an order sheet arrived: "3" becomes "4",
    // the store waited for within the telephone's wait only. 9 also when
    // the store cannot be read.
    std::int16_t confirmOrderReport(const std::string& strFaxNo, std::string& strRepManageNo);
    // Blank OCR answer forms of a report type ("pomrik"), passed on unchecked.
    std::int16_t makeOCRData(const std::string& strFaxNo, const std::string& strOCRReportType);

    // Writes a run marker in the program folder, held by this process until
    // RunTimeStop or its end, and answers its name ("" when it cannot be
    // written). A marker of the same second gets a suffix instead of
    // replacing the other one.
    std::string RunTimeStart();
    // Deletes the marker of that name; anything that is no marker name, or a
    // marker already gone, is ignored.
    void RunTimeStop(const std::string& strRunFile);

    // The digits, "." and "-" of a recognised value, in their order; a lone
    // "." is no value and gives "". The answer builders read quantities
    // through it.
    static std::string filterNumericChars(std::string_view text);

private:
    static void removeTrailingMark(std::string& strRepManageNo);
    // 0 when the number is on record and was sent to this fax number, else 3.
    // Removes a trailing mark first. Raises.
    std::int32_t checkManageFaxNo(std::string& strRepManageNo, const std::string& strFaxNo);
    // The record's decision condition as a number, 0 for a blank one.
    // Raises for one that is no number.
    static std::int32_t conditionOf(const FaxManageNum& record);
    // The send-log selection of SelFaxSendLog. Raises for a log that cannot be read.
    bool sendLogHolds(const std::string& strYD, const std::string& strFaxNo);
    // checkFAXNo without its handler. Raises.
    std::int32_t registeredFaxNo(const std::string& strFaxNo);
    // A fax request of a registered supplier: the check, then the job.
    std::int32_t startForSupplier(const char* member, const char* program, const std::string& strFaxNo,
                                  const std::string& arguments, long failureNumber);
    // Starts a job program of the program folder with one argument, without
    // waiting for it. Raises when it cannot be found or started.
    static void startJob(const std::string& program, const std::string& argument);
    // getCorrectionCode without its handler. Raises.
    static std::string correctionCodeOf(const std::string& folder, const std::vector<std::string>& names);

    // Uploads the answers of a decision to the EDI server under that
    // information code; false when the upload failed (logged). Kept in a
    // file of its own (answer_upload.cpp), so that a program without the
    // decisions can leave out the EDI control and the libraries it loads.
    static bool uploadAnswers(const std::vector<xml::Document>& answers, const char* infoCode);

    // The quotation number of the answer being built: set by its header,
    // written into the remarks of lines marked for it. Cleared when an
    // answer begins, so that no other supplier's number reaches it.
    std::string mstrQuotationNumber;
};

}  // namespace fg
