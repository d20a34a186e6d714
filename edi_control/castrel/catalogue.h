// The EDI control's numbers, codes and names, each written once: the error
// numbers it logs, the answer codes of the EDI server that it reads beyond
// success, the folder keys of its exchanges and the confirmation lists it
// leaves. Success codes, the request files and the information codes are
// those of the transport, the document builder and the common classes.
#pragma once

#include "common/vantrel/information_code.h"
#include "documents/quillary/catalogue.h"

namespace fg::castrel {

namespace errs {

// The builder's numbers where the control fails as the builder does: a
// document of a supplier not registered, removed; a receipt confirmation
// that could not be packed, or that the server refused.
inline constexpr long UnregisteredSupplier = documents::errs::UnregisteredSupplier;
inline constexpr long ConfirmNotPacked = documents::errs::ConfirmNotPacked;
inline constexpr long ConfirmRefused = documents::errs::ConfirmRefused;

inline constexpr long FetchNotPacked = 40200;         // a fetch's request could not be packed
inline constexpr long FetchRefused = 40201;           // the server refused a fetch
inline constexpr long IndexNotLoaded = 40202;         // an answer's index could not be loaded
inline constexpr long DocumentNotExpanded = 40203;    // a document of an answer skipped: bad name or not extracted
inline constexpr long SupplierNotPacked = 40206;      // the supplier refresh's request could not be packed
inline constexpr long SupplierRefused = 40207;        // the server refused the supplier refresh
inline constexpr long SupplierNotExpanded = 40208;    // a supplier answer could not be extracted
inline constexpr long ReminderNotPacked = 40209;      // the reminder fetch's request could not be packed
inline constexpr long ReminderRefused = 40210;        // the server refused the reminder fetch
inline constexpr long ReminderNotExpanded = 40211;    // a reminder answer could not be read
inline constexpr long ReminderConfirmNotPacked = 40212;
inline constexpr long ReminderConfirmRefused = 40213;
inline constexpr long UploadNotPrepared = 40214;      // no work folder, or the upload could not be packed
inline constexpr long UploadRefused = 40215;
inline constexpr long OrderBalanceNotPacked = 40216;
inline constexpr long SupplierCodeUnread = 40222;     // this client's supplier code is not in the answer
inline constexpr long SupplierRecordsUnread = 40223;  // a supplier record of the answer does not read
inline constexpr long ArchiveWithoutIndex = 40224;    // an answer archive without index.csv: confirmed, nothing faxed
inline constexpr long MakerFolderMissing = 40522;     // the supplier refresh's work folder is blank
inline constexpr long WorkFolderMissing = 40523;      // the messages or the pass's request folder is blank
inline constexpr long ReminderFolderMissing = 40524;  // the messages or the reminders' request folder is blank

}  // namespace errs

// Answers of the EDI server that are no failure.
namespace answer {
inline constexpr const char* kNoDocuments = "C0403";    // a fetch or order-balance pass: nothing to fetch
inline constexpr const char* kNothingToFetch = "C0404";  // any fetch: nothing to fetch
inline constexpr const char* kNoReminders = "C1002";     // the reminder pass: nothing to fetch
inline constexpr const char* kNoSupplierData = "C0503";  // the supplier refresh: no supplier data
}  // namespace answer

namespace folders {
inline constexpr const char* kMessages = documents::folders::kMessages;  // where answers are extracted
inline constexpr const char* kFetchRequest = documents::folders::kRequest;
inline constexpr const char* kReminderRequest = documents::folders::kReminderRequest;
inline constexpr const char* kOrderRequest = documents::folders::kOrderRequest;
inline constexpr const char* kUploadRequest = "TempReqPut";
}  // namespace folders

// The information codes of the scheduled fetch, in the order of its batch's records.
using documents::kFetchCodes;

// The confirmation lists a fetch leaves in the fetch's request folder: the
// scheduled fetch's, which the builder confirms, and the order balances',
// which the order-balance job confirms.
inline constexpr const char* kConfirmList = documents::kConfirmList;
inline constexpr const char* kOrderConfirmList = "PutConfirmOrderFax.xml";

}  // namespace fg::castrel
