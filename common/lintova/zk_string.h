// String functions: character codes, number bases, case changes, deletion and
// insertion, search and replacement with a small pattern language, trimming
// and squeezing by character sets, tab and space conversion, and numbers
// written out in English words.
//
// Characters are UTF-16 units, as positions and lengths count them. Optional
// parameters are Variants: an empty Variant, or one that does not convert to
// the type needed, counts as missing. Failures raise fg::Error with the number
// and text of the zkErrors table and the source "Lintova.ZkString".
// Everything follows fixed Japanese conventions ("." as the decimal point,
// "-" as the negative sign, code page 932 for character widths), never the
// process locale.
#pragma once

#include "common/lintova/zk_errors.h"
#include "platform/values.h"

#include <cstdint>
#include <string>

namespace fg {

// Character classes a character-set parameter may combine as a number.
enum zkCharSet : int32_t {
    zkCharSetWhiteSpace = 1,
    zkCharSetControl = 2,
    zkCharSetNonAlpha = 4,
    zkCharSetNonNumeric = 8,
    zkCharSetNonAlphaNumeric = 16,
    zkCharSetNonDigit = 32,
    zkCharSetNonPrintable = 64,
    zkCharSetNonAnsi = 128,
};

enum zkCaseType : int32_t {
    zkCaseInvert = 0,
    zkCaseUpper = 1,
    zkCaseLower = 2,
    zkCaseEachWord = 3,
    zkCaseFirstWord = 4,
};

class ZkString {
public:
    std::string Version() const { return kZkVersion; }

    // The 16-bit code of the character at Position (1-based, default 1); -1
    // for an empty string; a Position outside the string raises 1000.
    int32_t ASC(const std::string& SourceStr, const Variant& Position = {}) const;
    // The text read as a number in the base (2..36), like the C library's
    // string-to-long conversion; a value outside 32 bits raises 1000.
    int32_t BaseToNum(const std::string& NumberStr, int16_t Radix) const;
    std::string ChangeCase(const std::string& SourceStr, const Variant& CaseType = {},
                           const Variant& Delimiters = {}) const;
    std::string Delete(const std::string& SourceStr, const Variant& Start = {}, const Variant& DelAmount = {}) const;
    std::string Insert(const std::string& SourceStr, const std::string& InsertStr, const Variant& Position = {}) const;
    int32_t InStr(const std::string& SourceStr, const std::string& SearchStr, const Variant& Position = {},
                  const Variant& CaseSensitive = {}, const Variant& WholeWord = {},
                  const Variant& Delimiters = {}) const;
    std::string LTrim(const std::string& SourceStr, const Variant& CharacterSet = {}) const;
    std::string NumToBase(int32_t Number, int16_t Radix, const Variant& Digits = {},
                          const Variant& LowerCase = {}) const;
    // Replaces the first match at or after Position in SourceStr and answers
    // its position (0 when none; SourceStr then stays as it was).
    int32_t Replace(std::string& SourceStr, const std::string& SearchStr, const Variant& ReplaceStr,
                    const Variant& Position = {}, const Variant& CaseSensitive = {},
                    const Variant& MatchWholeWord = {}, const Variant& Delimiters = {}) const;
    std::string ReplaceAll(const std::string& SourceStr, const std::string& SearchStr, const Variant& ReplaceStr,
                           const Variant& CaseSensitive = {}, const Variant& MatchWholeWord = {},
                           const Variant& Delimiters = {}) const;
    std::string RTrim(const std::string& SourceStr, const Variant& CharacterSet = {}) const;
    std::string SpacesToTabs(const std::string& SourceStr, const Variant& SpacesPerTab = {}) const;
    std::string SpellNumber(const Variant& Number) const;
    std::string Squeeze(const std::string& SourceStr, const Variant& CharacterSet = {},
                        const Variant& ReplaceStr = {}) const;
    std::string TabsToSpaces(const std::string& SourceStr, const Variant& SpacesPerTab = {}) const;
    std::string Trim(const std::string& SourceStr, const Variant& CharacterSet = {}) const;
};

}  // namespace fg
