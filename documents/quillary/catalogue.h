// The document builder's numbers, codes and names, each written once: the
// error numbers it logs, the report types of its batches, the information
// codes a fetch hands it, the folder keys of its work and the confirmation
// list. The answer codes of the EDI server are the transport's (Constant).
#pragma once

#include "common/vantrel/information_code.h"

namespace fg::documents {

namespace errs {
inline constexpr long RecordNotStored = 40013;       // a document's management record could not be stored
inline constexpr long BadMessageData = 40017;        // a message file does not read as its form
inline constexpr long UnregisteredSupplier = 40105;  // no registered supplier for a code or a fax number
inline constexpr long ConfirmNotPacked = 40204;      // a receipt confirmation could not be packed
inline constexpr long ConfirmRefused = 40205;        // the EDI server refused a receipt confirmation
}  // namespace errs

// Report types: of one report, and of a batch (makeFAXSendXML's strReportType).
namespace report {
inline constexpr const char* QuotationRequest = "F1";
inline constexpr const char* QuotationReminders = "F5";  // the unanswered requests for quotation
inline constexpr const char* OrderSheet = "F6";
inline constexpr const char* OrderBalances = "F7";  // also the batch of one fax number's order balances
inline constexpr const char* DeliveryDateConfirmation = "F8";
inline constexpr const char* DeliveryReminders = "F11";  // the unanswered delivery dates
inline constexpr const char* PayablesNotice = "F12";
inline constexpr const char* UnansweredItems = "F15";  // also the batch of one fax number's open items
// The stored documents of records 0, 1 and 2 of a batch laid out again.
inline constexpr const char* StoredDocuments[3] = {"F4", "F10", "F14"};
inline constexpr const char* ReminderBatch = "F5F11";
inline constexpr const char* RelayoutBatch = "F4F10F14";
}  // namespace report

// The information codes of a scheduled fetch, by record of its batch; a
// confirmation list names their archives in this order.
inline constexpr const char* kFetchCodes[4] = {infocode::RFQ, infocode::ORDER, infocode::REQUEST, infocode::ADVANCE};

namespace folders {
inline constexpr const char* kMessages = "TempEDI";   // the fetched message files
inline constexpr const char* kRequest = "TempReqEDI";  // the fetch's request files and confirmation list
inline constexpr const char* kReminderRequest = "TempReqRem";  // the reminder fetch's request files
inline constexpr const char* kOrderRequest = "TempReqOrder";   // the order-balance fetch's request files
}  // namespace folders

// The list of a fetch's archives whose receipt is confirmed once their faxes
// are handed over.
inline constexpr const char* kConfirmList = "PutConfirmFax.xml";

}  // namespace fg::documents
