// The error table of the tokenizer and string library, shared by ZkParse and
// ZkString. Callers see the table's number as fg::Error::number(); the status
// a member returned on the old binary interface is zkStatus(number).
#pragma once

#include "platform/error.h"

#include <cstdint>
#include <string>

namespace fg {

enum zkErrors : int32_t {
    zkErrOutOfStringSpace = 14,
    zkErrBadFilename = 64,
    zkErrInvalidParameter = 1000,
    zkErrStringTooLong = 2000,
    zkErrNumberTooLarge = 2001,
    zkErrSetDelimitersFirst = 2002,
    zkErrQuotePairsOdd = 2003,
    zkErrGroupPairsOdd = 2004,
    zkErrCallParseFirst = 2005,
    zkErrGroupCharNotUnique = 2006,
    zkErrTooFewDigits = 2007,
};

// The library's version text, the same for both classes.
inline constexpr const char* kZkVersion = "0.00.002: Ambrel ZkString 1.0 Library.";

// The table's text for a number; "" for a number the table does not hold.
std::string zkErrorText(long number);

// The failure status of a member: the control facility's code plus the number
// (2002 gives 0x800A07D2).
constexpr int32_t zkStatus(long number) {
    return static_cast<int32_t>(0x800A0000u | (static_cast<uint32_t>(number) & 0xFFFFu));
}

// The error a member raises: the table's number and text, and the class's name.
Error zkError(long number, const std::string& source);

}  // namespace fg
