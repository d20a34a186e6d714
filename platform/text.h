// Text helpers: UTF-8 everywhere at interfaces, UTF-16 units where characters
// are counted, and code page 932 for the files and byte limits of the field.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace fg::text {

// UTF-8 <-> UTF-16. Malformed UTF-8 becomes U+FFFD, never an exception.
std::u16string toUtf16(std::string_view utf8);
std::string toUtf8(std::u16string_view utf16);

// Length in UTF-16 units, and a slice by UTF-16 units (0-based start).
std::size_t length16(std::string_view utf8);
std::string mid16(std::string_view utf8, std::size_t start, std::size_t count = std::u16string::npos);

// Code page 932. toCp932 writes '?' for a character the code page cannot
// hold (as the platform's own conversion does); `lossless` reports whether
// that happened. fromCp932 maps undecodable bytes to U+FFFD.
std::string toCp932(std::string_view utf8, bool* lossless = nullptr);
// Code page 932 for text that is read back: a character the code page holds
// both ways is written in its bytes, any other as a decimal character
// reference "&#N;". That takes in the converter's one-way mappings too,
// which write a look-alike (U+301C as 81 60, read back as U+FF5E). For
// serialized XML, whose markup is ASCII.
std::string toCp932OrReferences(std::string_view utf8);
// Whether toCp932OrReferences writes the code point in bytes, not as a reference.
[[nodiscard]] bool cp932HoldsBothWays(char32_t cp);
std::string fromCp932(std::string_view bytes);

// Code page 932 as the machine's converter reads and writes it, worked out
// once per process: for each byte from 0x80, and each pair of a lead byte
// and a trail byte, the one character it reads as (0 for none) and whether
// the converter writes that character back in those very bytes.
struct Cp932Chart {
    bool usable = false;  // the converter is there, and reads ASCII as ASCII
    std::array<char32_t, 256> single{};
    std::array<bool, 256> singleSame{};
    std::vector<char32_t> pair = std::vector<char32_t>(65536, 0);  // by lead << 8 | trail
    std::vector<unsigned char> pairSame = std::vector<unsigned char>(65536, 0);
};
const Cp932Chart& cp932Chart();
// Whether bytes are well-formed UTF-8 (no overlong forms, surrogates or
// code points beyond U+10FFFF).
[[nodiscard]] bool isUtf8(std::string_view bytes);
// Bytes that name or say something, from a source that may write either:
// UTF-8 as it is, anything else read as code page 932.
std::string fromUtf8OrCp932(std::string_view bytes);
// Bytes the text takes in code page 932 (an unencodable character counts 2).
std::size_t cp932Length(std::string_view utf8);
// Bytes one code point takes in code page 932: 1, 2, or 0 when it cannot be held.
int cp932Width(char32_t cp);

// Blank handling and case without the process locale.
std::string trim(std::string_view s);             // spaces only, as the field's trim does
std::string trimBlanks(std::string_view s);       // spaces, tabs, CR and LF
std::string toLowerAscii(std::string_view s);
std::string toUpperAscii(std::string_view s);
[[nodiscard]] bool iequals(std::string_view a, std::string_view b);  // ASCII case-insensitive
// Compare without regard to case: ASCII letters and the full-width Latin letters.
int icompare(std::string_view a, std::string_view b);
// The text as icompare sees it: two texts compare equal exactly when their
// folded forms are equal, so the folded form can key a hash of names.
std::u32string caseFolded(std::string_view utf8);
// Every text icompare takes for this one (each letter in either case), in
// byte order. Empty when it holds more than `most` letters, or is not
// well-formed UTF-8: icompare takes any malformed byte for any other, which
// no list of spellings covers.
std::vector<std::string> caseSpellings(std::string_view utf8, std::size_t most);

// The lines of a text, each without its end: CR LF, LF or a lone CR ends a
// line, and an end at the very end of the text opens no further line.
std::vector<std::string> lines(std::string_view text);
// The non-empty pieces of a text between separators ("/a//b/" gives a, b).
std::vector<std::string> nonEmptyParts(std::string_view text, char separator);
// The fields between the separators, empty ones included: "a,,b" gives
// "a", "", "b", and "" one empty field.
std::vector<std::string> split(std::string_view s, char separator);
// The parts with the separator between them, as lists of names and numbers
// have always been written: a separator goes before a part only once the
// text is not empty, so an empty part adds nothing until a part has.
std::string join(const std::vector<std::string>& parts, char separator);
// Names as the logs show them: each in double quotes, separated by ", ";
// empty for none.
std::string quotedList(const std::vector<std::string>& names);

}  // namespace fg::text
