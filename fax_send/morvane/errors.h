// The error numbers of a send, which the fax-send server and a client whose
// server died write to the error log, in one place.
#pragma once

namespace fg::send_errors {

inline constexpr long NoSendLine = 40006;       // no fax line can be had for the send
inline constexpr long SendFailed = 40007;       // a send failed, or the server's settings are broken
inline constexpr long NoPages = 40015;          // a number has no pages to send
inline constexpr long PageDeleteFailed = 40016;  // a sent number's pages cannot be deleted

}  // namespace fg::send_errors
