// The error numbers of the fax job programs, written to the telephony error
// log. A job that fails logs one of them and ends; the steps beneath it
// (the supplier lookup, the store, the page pipeline, the fax-send server)
// log their own reasons in the error log.
#pragma once

#include "documents/quillary/catalogue.h"

namespace fg::jobs::errs {

// The test fax ("belvast"): its document, layout or management record could
// not be made (no supplier registered for the fax number, say).
inline constexpr long TestFaxNotMade = 40500;
// Its pages could not be made or the send was refused; also the number of a
// send that ended in failure.
inline constexpr long TestFaxNotSent = 40501;

// The order-balance list ("sorvik"): the order balances could not be
// fetched from the EDI server; also the number of a send that ended in
// failure.
inline constexpr long OrderBalanceFailed = 40521;
// Its receipt confirmation: the request could not be packed (the job
// fails), or the EDI server refused it (logged as a warning; the job has
// done its part and the server offers the balances again).
inline constexpr long ConfirmNotPacked = documents::errs::ConfirmNotPacked;
inline constexpr long ConfirmRefused = documents::errs::ConfirmRefused;

// The send-history list ("drumel"): the month's sends could not be selected,
// recorded and turned into the list's document.
inline constexpr long HistoryNotSelected = 40506;
// Its layout could not be made.
inline constexpr long HistoryNotLaidOut = 40507;
// Its pages could not be made or the send was refused.
inline constexpr long HistoryPagesFailed = 40508;
// Its send ended in failure.
inline constexpr long HistoryNotSent = 40509;
// Logged inside the selection: no supplier registered for the fax number
// ("[Fax番号:" + number + "]"), and the list's record not stored.
inline constexpr long SupplierNotRegistered = documents::errs::UnregisteredSupplier;
inline constexpr long RecordNotStored = documents::errs::RecordNotStored;

// The OCR answer forms ("pomrik"): their pages could not be made or the send
// was refused.
inline constexpr long FormsPagesFailed = 40510;
// Their management records could not be written (no supplier registered,
// an OCR type other than "1" to "3", a failure of the store).
inline constexpr long FormsNotRecorded = 40511;
// Their send ended in failure.
inline constexpr long FormsNotSent = 40513;

// The re-send of a stored fax ("corvina"): the management number is not on
// record, or its record lists no page.
inline constexpr long ResendNotOnRecord = 40503;
// A page could not be rebuilt from its reference copy, shaped, coded as a
// G3 page or its bitmap deleted.
inline constexpr long ResendPageFailed = 40504;
// The fax-send server refused the number.
inline constexpr long ResendRefused = 40505;
// Its send ended in failure.
inline constexpr long ResendNotSent = 40518;

}  // namespace fg::jobs::errs
