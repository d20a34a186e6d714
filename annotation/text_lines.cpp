#include "annotation/text_lines.h"

#include "annotation/zentrel.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <locale.h>

namespace fg::annotation {

namespace {

constexpr std::size_t kLineBytes = 80;
constexpr std::size_t kEncodedLine = 60;

bool isTokenByte(char c) { return static_cast<signed char>(c) >= 0x20; }
bool isLineEndByte(char c) { return c != 0 && static_cast<signed char>(c) < 0x20; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Spaces and a sign, as the C library's conversions take them before a
// number; the position after them.
std::size_t skipLead(std::string_view t) {
    std::size_t i = 0;
    while (i < t.size() && t[i] == ' ') ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    return i;
}

// A decimal real as the C library reads one, and nothing else: digits with
// an optional point, an optional exponent with digits.
bool isDecimalReal(std::string_view t) {
    std::size_t i = skipLead(t), digits = 0;
    while (i < t.size() && isDigit(t[i])) ++i, ++digits;
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && isDigit(t[i])) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        const std::size_t start = i;
        while (i < t.size() && isDigit(t[i])) ++i;
        if (i == start) return false;
    }
    return i == t.size();
}

locale_t classicLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
}

}  // namespace

int annWriteLine(AnnStream& stream, std::string_view line) {
    // The line and its end in one write: a line is the writer's unit. The
    // engine's lines are keywords, numbers and 60 characters of code.
    char buffer[kLineBytes + 4];
    if (line.size() > kLineBytes) return ANN_ERROR_FILE_WRITE;
    std::memcpy(buffer, line.data(), line.size());
    std::memcpy(buffer + line.size(), "\r\n", 2);
    const auto size = static_cast<std::uint32_t>(line.size() + 2);
    return stream.write(buffer, size) == size ? ANN_SUCCESS : ANN_ERROR_FILE_WRITE;
}

std::string annFormatUnsigned(std::uint32_t value) { return std::to_string(value); }

std::string annFormatReal(double value) {
    char buffer[40];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 9);
    std::string out(buffer, r.ptr);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

int LineReader::next(std::string_view& token) {
    const std::int64_t got = stream_.read(line_, kLineBytes);
    if (got <= 0) return ANN_ERROR_FILE_READ;
    const auto n = static_cast<std::size_t>(got);
    line_[n] = '\0';
    std::size_t length = 0;
    while (length < n && isTokenByte(line_[length])) ++length;
    std::size_t used = length;
    while (used < n && isLineEndByte(line_[used])) ++used;
    // A zero byte ends nothing and starts nothing: a reader that took it as
    // an empty line would read it again for ever.
    if (used == 0) return ANN_ERROR_FILE_READ;
    if (used < n && stream_.seek(-static_cast<std::int64_t>(n - used), kSeekCurrent) < 0) return ANN_ERROR_FILE_READ;
    token = std::string_view(line_, length);
    return ANN_SUCCESS;
}

bool annParseUnsigned(std::string_view token, std::uint32_t& value) {
    const std::size_t start = skipLead(token);
    if (start == token.size()) return false;
    std::uint64_t v = 0;
    for (std::size_t i = start; i < token.size(); ++i) {
        if (!isDigit(token[i])) return false;
        v = std::min<std::uint64_t>(v * 10 + static_cast<unsigned>(token[i] - '0'), 0x100000000ull);
    }
    // Beyond 32 bits the conversion gives its largest value; a minus sign
    // negates what it read, modulo 2^32.
    if (v > 0xFFFFFFFFull) {
        value = 0xFFFFFFFFu;
    } else {
        const bool negative = start > 0 && token[start - 1] == '-';
        value = negative ? static_cast<std::uint32_t>(0x100000000ull - v) : static_cast<std::uint32_t>(v);
    }
    return true;
}

bool annParseReal(std::string_view token, double& value) {
    if (!isDecimalReal(token)) return false;
    char text[kLineBytes + 1];
    if (token.size() > kLineBytes) return false;
    std::memcpy(text, token.data(), token.size());
    text[token.size()] = '\0';
    char* end = nullptr;
    const double v = strtod_l(text, &end, classicLocale());
    if (end != text + token.size() || !std::isfinite(v)) return false;
    value = v;
    return true;
}

int annReadUnsigned(LineReader& lines, std::uint32_t& value) {
    std::string_view token;
    if (const int r = lines.next(token); r != ANN_SUCCESS) return r;
    return annParseUnsigned(token, value) ? ANN_SUCCESS : ANN_ERROR_FILE_READ;
}

int annReadReal(LineReader& lines, double& value) {
    std::string_view token;
    if (const int r = lines.next(token); r != ANN_SUCCESS) return r;
    return annParseReal(token, value) ? ANN_SUCCESS : ANN_ERROR_FILE_READ;
}

int annEncodeText(AnnStream& stream, const std::uint8_t* bytes, std::size_t count) {
    char line[kEncodedLine];
    std::size_t filled = 0;
    std::uint32_t bits = 0;
    int held = 0;  // bits in `bits` not yet written
    auto put = [&](unsigned six) -> int {
        line[filled++] = static_cast<char>(0x20 + (six & 0x3F));
        if (filled < kEncodedLine) return ANN_SUCCESS;
        filled = 0;
        return annWriteLine(stream, std::string_view(line, kEncodedLine));
    };
    for (std::size_t i = 0; i < count; ++i) {
        bits = (bits << 8) | bytes[i];
        held += 8;
        while (held >= 6) {
            held -= 6;
            if (const int r = put(bits >> held); r != ANN_SUCCESS) return r;
        }
        bits &= (1u << held) - 1;
    }
    // The missing low bits of the last character are zero.
    if (held > 0)
        if (const int r = put(bits << (6 - held)); r != ANN_SUCCESS) return r;
    return filled ? annWriteLine(stream, std::string_view(line, filled)) : ANN_SUCCESS;
}

int annDecodeText(LineReader& lines, std::uint8_t* bytes, std::size_t count) {
    std::string_view chars;
    std::size_t next = 0;
    std::uint32_t bits = 0;
    int held = 0;
    for (std::size_t i = 0; i < count;) {
        if (next == chars.size()) {
            if (const int r = lines.next(chars); r != ANN_SUCCESS) return r;
            next = 0;
            continue;
        }
        bits = (bits << 6) | ((static_cast<unsigned>(chars[next++]) - 0x20) & 0x3F);
        held += 6;
        if (held >= 8) {
            held -= 8;
            bytes[i++] = static_cast<std::uint8_t>(bits >> held);
            bits &= (1u << held) - 1;
        }
    }
    return ANN_SUCCESS;
}

}  // namespace fg::annotation
