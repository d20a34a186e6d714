// The error numbers the EDI control writes to the error log, in one place.
#pragma once

namespace fg::castrel::errs {

inline constexpr long UnregisteredSupplier = 40105;   // a document of a supplier not registered, removed
inline constexpr long FetchNotPacked = 40200;         // a fetch's request could not be packed
inline constexpr long FetchRefused = 40201;           // the server refused a fetch
inline constexpr long IndexNotLoaded = 40202;         // an answer's index could not be loaded
inline constexpr long DocumentNotExpanded = 40203;    // a document of an answer skipped: bad name or not extracted
inline constexpr long ConfirmNotPacked = 40204;       // a receipt confirmation could not be packed
inline constexpr long ConfirmRefused = 40205;         // the server refused a receipt confirmation
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
inline constexpr long MakerFolderMissing = 40522;     // the supplier refresh's work folder is blank
inline constexpr long WorkFolderMissing = 40523;      // TempEDI or the pass's request folder is blank
inline constexpr long ReminderFolderMissing = 40524;  // TempEDI or TempReqRem is blank

}  // namespace fg::castrel::errs
