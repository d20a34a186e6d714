#include "common/lintova/zk_errors.h"

namespace fg {

std::string zkErrorText(long number) {
    switch (number) {
    case zkErrOutOfStringSpace: return "Out of string space";
    case zkErrBadFilename: return "Bad Filename";
    case zkErrInvalidParameter: return "Invalid parameter";
    case zkErrStringTooLong: return "zkErrStringTooLong: this method does not support strings this long.";
    case zkErrNumberTooLarge: return "zkErrNumberTooLarge: cannot spell numbers with more than 15 digits.";
    case zkErrSetDelimitersFirst: return "zkErrSetDelimitersFirst: Delimiters must be set before calling Parse.";
    case zkErrQuotePairsOdd: return "zkErrQuotePairsOdd: QuotePairs must contain an even number of characters.";
    case zkErrGroupPairsOdd: return "zkErrGroupPairsOdd: GroupPairs must contain an even number of characters.";
    case zkErrCallParseFirst: return "zkErrCallParseFirst: NextToken cannot be called before calling Parse.";
    case zkErrGroupCharNotUnique: return "zkErrGroupCharNotUnique: Each character in GroupPairs must be unique.";
    case zkErrTooFewDigits: return "zkErrTooFewDigits: Specify a number of digits large enough for the result.";
    default: return {};
    }
}

Error zkError(long number, const std::string& source) { return Error(number, zkErrorText(number), source); }

}  // namespace fg
