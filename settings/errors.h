// The error numbers the settings classes write to the error log, in one
// place.
#pragma once

namespace fg::settings::errs {

inline constexpr long NoModemRecords = 40002;        // the modem information file holds no line
inline constexpr long NoSuchPort = 40003;            // no modem line of that port to change
inline constexpr long ModemCountFailed = 40004;      // the modem lines cannot be counted
inline constexpr long NoRecordForRead = 40008;       // no management record of the number to read
inline constexpr long NoTempImageRecord = 40009;     // no record to add the sent pages' names to
inline constexpr long NoRefImageRecord = 40010;      // no record to add the reference copies' names to
inline constexpr long NoSendXmlRecord = 40011;       // no record to add the fax documents' names to
inline constexpr long NoRecordForManageNum = 40012;  // no management record matches the keys
inline constexpr long ScheduleReadFailed = 40101;
inline constexpr long ScheduleUpdateFailed = 40102;
inline constexpr long NoSession = 40103;             // SetUpInformation.xml has no Session group
inline constexpr long SetUpSaveFailed = 40104;
inline constexpr long MakerError = 40105;            // no supplier matches, or a supplier file is broken

}  // namespace fg::settings::errs
