// The archive control's result codes and the texts that go with them.
#pragma once

#include <cstdint>
#include <string>

namespace fg::parvolt {

namespace result {
inline constexpr std::int32_t Success = 0;
inline constexpr std::int32_t CannotOpenFile = 0x800D;     // the kind's check does not accept the file
inline constexpr std::int32_t TooManyFiles = 0x8011;
inline constexpr std::int32_t NoFile = 0x8031;             // the archive file does not exist
inline constexpr std::int32_t Trapped = 0x9100;            // a run-time error was trapped
inline constexpr std::int32_t NotSupported = 0x9101;
inline constexpr std::int32_t NoPath = 0x9102;             // the folder is not a folder
inline constexpr std::int32_t BadFilePath = 0x9103;        // the archive's folder is not a folder
inline constexpr std::int32_t NoTaskId = 0xFFFF;           // an archiver program did not start
}  // namespace result

// The text of a result: "" for 0, `lastErrorDescription` for a trapped
// error, the table's text, or "エラー。 " and the code in upper-case hex.
std::string resultText(std::int32_t code, const std::string& lastErrorDescription);

}  // namespace fg::parvolt
