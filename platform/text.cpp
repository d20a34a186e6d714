#include "platform/text.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace fg::text {

namespace {

// Decodes one code point from UTF-8 at s[i]; advances i. Bad input gives U+FFFD.
char32_t decodeOne(std::string_view s, std::size_t& i) {
    auto c = static_cast<unsigned char>(s[i]);
    int extra;
    char32_t cp;
    if (c < 0x80) { ++i; return c; }
    if ((c & 0xE0) == 0xC0) { extra = 1; cp = c & 0x1F; }
    else if ((c & 0xF0) == 0xE0) { extra = 2; cp = c & 0x0F; }
    else if ((c & 0xF8) == 0xF0) { extra = 3; cp = c & 0x07; }
    else { ++i; return 0xFFFD; }
    std::size_t j = i + 1;
    for (int k = 0; k < extra; ++k, ++j) {
        if (j >= s.size()) { i = j; return 0xFFFD; }
        auto cc = static_cast<unsigned char>(s[j]);
        if ((cc & 0xC0) != 0x80) { i = j; return 0xFFFD; }
        cp = (cp << 6) | (cc & 0x3F);
    }
    i = j;
    static const char32_t minimum[] = {0, 0x80, 0x800, 0x10000};
    if (cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0xFFFD;
    return cp;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// iconv descriptors are not thread-safe; one pair per thread.
struct Converters {
    iconv_t toSjis = reinterpret_cast<iconv_t>(-1);
    iconv_t fromSjis = reinterpret_cast<iconv_t>(-1);
    Converters() {
        toSjis = iconv_open("CP932", "UTF-8");
        fromSjis = iconv_open("UTF-8", "CP932");
    }
    ~Converters() {
        if (toSjis != reinterpret_cast<iconv_t>(-1)) iconv_close(toSjis);
        if (fromSjis != reinterpret_cast<iconv_t>(-1)) iconv_close(fromSjis);
    }
};

Converters& converters() {
    thread_local Converters c;
    return c;
}

// Converts one code point to code page 932; empty when it cannot be held.
std::string encodeOne(char32_t cp) {
    std::string in;
    appendUtf8(in, cp);
    iconv_t cd = converters().toSjis;
    if (cd == reinterpret_cast<iconv_t>(-1)) return {};
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char out[8];
    char* ip = in.data();
    std::size_t il = in.size();
    char* op = out;
    std::size_t ol = sizeof out;
    if (iconv(cd, &ip, &il, &op, &ol) == static_cast<std::size_t>(-1)) return {};
    return std::string(out, static_cast<std::size_t>(op - out));
}

// The converted bytes, or nullopt; `incomplete` tells an input cut short.
std::optional<std::string> convert(iconv_t cd, std::string_view in, bool& incomplete) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char buf[16];
    char* ip = const_cast<char*>(in.data());
    std::size_t il = in.size();
    char* op = buf;
    std::size_t ol = sizeof buf;
    incomplete = false;
    if (iconv(cd, &ip, &il, &op, &ol) == static_cast<std::size_t>(-1)) {
        incomplete = errno == EINVAL;
        return std::nullopt;
    }
    return std::string(buf, static_cast<std::size_t>(op - buf));
}

// The one character the bytes read as, 0 when they read as none (or as
// more), and whether the converter writes it back in the same bytes.
char32_t readBack(iconv_t in, iconv_t out, std::string_view bytes, bool& same, bool& incomplete) {
    same = false;
    std::optional<std::string> utf8 = convert(in, bytes, incomplete);
    if (!utf8 || utf8->empty()) return 0;
    std::size_t i = 0;
    const char32_t cp = decodeOne(*utf8, i);
    if (i != utf8->size()) return 0;
    bool ignored = false;
    same = convert(out, *utf8, ignored) == std::string(bytes);
    return cp;
}

Cp932Chart makeCp932Chart() {
    Cp932Chart chart;
    iconv_t in = iconv_open("UTF-8", "CP932");
    iconv_t out = iconv_open("CP932", "UTF-8");
    if (in != reinterpret_cast<iconv_t>(-1) && out != reinterpret_cast<iconv_t>(-1)) {
        bool ascii = true, same = false, incomplete = false;
        for (int b = 1; b < 0x80; ++b) {
            const char byte = static_cast<char>(b);
            ascii = ascii && readBack(in, out, std::string_view(&byte, 1), same, incomplete) == static_cast<char32_t>(b);
        }
        for (int b = 0x80; b < 0x100; ++b) {
            const char lead = static_cast<char>(b);
            chart.single[b] = readBack(in, out, std::string_view(&lead, 1), same, incomplete);
            chart.singleSame[b] = same;
            if (chart.single[b] != 0 || !incomplete) continue;
            for (int t = 0x40; t < 0x100; ++t) {
                const char two[2] = {lead, static_cast<char>(t)};
                chart.pair[b << 8 | t] = readBack(in, out, std::string_view(two, 2), same, incomplete);
                chart.pairSame[b << 8 | t] = same;
            }
        }
        chart.usable = ascii;
    }
    if (in != reinterpret_cast<iconv_t>(-1)) iconv_close(in);
    if (out != reinterpret_cast<iconv_t>(-1)) iconv_close(out);
    return chart;
}

// For each code point of the Basic Multilingual Plane, the bytes the
// converter writes for it when reading them gives the code point back: a
// byte, a lead byte and a trail byte, or 0 for none. Made from the reading
// side, so that the code page's duplicates (NEC's selection of IBM's
// extensions) keep the bytes the converter chooses.
class ExactCp932 {
public:
    ExactCp932() {
        const Cp932Chart& chart = cp932Chart();
        for (int b = 0x80; b < 0x100; ++b)
            if (chart.singleSame[b]) take(chart.single[b], static_cast<std::uint16_t>(b));
        for (std::size_t code = 0; code < chart.pair.size(); ++code)
            if (chart.pairSame[code]) take(chart.pair[code], static_cast<std::uint16_t>(code));
    }
    std::uint16_t bytesOf(char32_t cp) const { return cp < codes_.size() ? codes_[cp] : 0; }

private:
    void take(char32_t cp, std::uint16_t code) {
        if (cp != 0 && cp < codes_.size() && cp != 0xFFFD) codes_[cp] = code;
    }

    std::vector<std::uint16_t> codes_ = std::vector<std::uint16_t>(0x10000, 0);
};

const ExactCp932& exactCp932() {
    static const ExactCp932 table;
    return table;
}

}  // namespace

const Cp932Chart& cp932Chart() {
    static const Cp932Chart chart = makeCp932Chart();
    return chart;
}

std::u16string toUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp = decodeOne(utf8, i);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string toUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size() * 3);
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t cp = utf16[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;  // a lone surrogate has no UTF-8 form
        }
        appendUtf8(out, cp);
    }
    return out;
}

std::size_t length16(std::string_view utf8) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < utf8.size();) n += decodeOne(utf8, i) >= 0x10000 ? 2 : 1;
    return n;
}

std::string mid16(std::string_view utf8, std::size_t start, std::size_t count) {
    std::u16string u = toUtf16(utf8);
    if (start >= u.size()) return {};
    return toUtf8(std::u16string_view(u).substr(start, count));
}

std::string toCp932(std::string_view utf8, bool* lossless) {
    std::string out;
    out.reserve(utf8.size());
    bool ok = true;
    std::size_t i = 0;
    while (i < utf8.size()) {
        auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) { out += static_cast<char>(c); ++i; continue; }
        char32_t cp = decodeOne(utf8, i);
        std::string enc = cp == 0xFFFD ? std::string() : encodeOne(cp);
        if (enc.empty()) { out += '?'; ok = false; }
        else out += enc;
    }
    if (lossless) *lossless = ok;
    return out;
}

std::string toCp932OrReferences(std::string_view utf8) {
    const ExactCp932& table = exactCp932();
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        const char32_t cp = decodeOne(utf8, i);
        const std::uint16_t code = table.bytesOf(cp);
        if (code == 0) {
            out += "&#" + std::to_string(static_cast<std::uint32_t>(cp)) + ";";
        } else {
            if (code > 0xFF) out += static_cast<char>(code >> 8);
            out += static_cast<char>(code & 0xFF);
        }
    }
    return out;
}

bool cp932HoldsBothWays(char32_t cp) { return cp < 0x80 || exactCp932().bytesOf(cp) != 0; }

bool isUtf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t at = i;
        // A replacement character may also stand in the text itself.
        if (decodeOne(bytes, i) == 0xFFFD && bytes.substr(at, i - at) != "\xEF\xBF\xBD") return false;
    }
    return true;
}

std::string fromUtf8OrCp932(std::string_view bytes) {
    return isUtf8(bytes) ? std::string(bytes) : fromCp932(bytes);
}

std::string fromCp932(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 3 / 2);
    iconv_t cd = converters().fromSjis;
    std::size_t i = 0;
    while (i < bytes.size()) {
        auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) { out += static_cast<char>(c); ++i; continue; }
        // Lead bytes 0x81-0x9F and 0xE0-0xFC take a trail byte.
        std::size_t len = ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) ? 2 : 1;
        if (i + len > bytes.size()) { out += "\xEF\xBF\xBD"; break; }
        if (len == 2) {
            // A lead byte without a valid trail byte is lost alone: the byte
            // after it (often a comma or a line end of a CSV line) stays.
            auto t = static_cast<unsigned char>(bytes[i + 1]);
            if (t < 0x40 || t == 0x7F || t > 0xFC) { out += "\xEF\xBF\xBD"; ++i; continue; }
        }
        char in[2] = {bytes[i], len == 2 ? bytes[i + 1] : '\0'};
        char buf[8];
        char* ip = in;
        std::size_t il = len;
        char* op = buf;
        std::size_t ol = sizeof buf;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (cd == reinterpret_cast<iconv_t>(-1) ||
            iconv(cd, &ip, &il, &op, &ol) == static_cast<std::size_t>(-1)) {
            out += "\xEF\xBF\xBD";
        } else {
            out.append(buf, static_cast<std::size_t>(op - buf));
        }
        i += len;
    }
    return out;
}

int cp932Width(char32_t cp) {
    if (cp < 0x80) return 1;
    // Half-width katakana take one byte.
    if (cp >= 0xFF61 && cp <= 0xFF9F) return 1;
    std::string e = encodeOne(cp);
    return static_cast<int>(e.size());
}

std::size_t cp932Length(std::string_view utf8) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp = decodeOne(utf8, i);
        int w = cp932Width(cp);
        n += w == 0 ? 2 : static_cast<std::size_t>(w);
    }
    return n;
}

std::string trim(std::string_view s) {
    std::size_t b = s.find_first_not_of(' ');
    if (b == std::string_view::npos) return {};
    std::size_t e = s.find_last_not_of(' ');
    return std::string(s.substr(b, e - b + 1));
}

std::string trimBlanks(std::string_view s) {
    static constexpr std::string_view blanks = " \t\r\n";
    std::size_t b = s.find_first_not_of(blanks);
    if (b == std::string_view::npos) return {};
    std::size_t e = s.find_last_not_of(blanks);
    return std::string(s.substr(b, e - b + 1));
}

std::vector<std::string> lines(std::string_view text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            out.emplace_back(text.substr(start));
            break;
        }
        out.emplace_back(text.substr(start, end - start));
        start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
    return out;
}

std::vector<std::string> nonEmptyParts(std::string_view text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start) parts.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::string toLowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string toUpperAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

namespace {

// How icompare and caseFolded see a code point: A-Z and full-width A-Z as
// their lower-case letters.
char32_t foldCase(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c - 'A' + 'a';
    if (c >= 0xFF21 && c <= 0xFF3A) return c - 0xFF21 + 0xFF41;  // full-width A-Z
    return c;
}

}  // namespace

int icompare(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        char32_t x = foldCase(decodeOne(a, i));
        char32_t y = foldCase(decodeOne(b, j));
        if (x != y) return x < y ? -1 : 1;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

std::u32string caseFolded(std::string_view utf8) {
    std::u32string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) out += foldCase(decodeOne(utf8, i));
    return out;
}

std::vector<std::string> caseSpellings(std::string_view utf8, std::size_t most) {
    struct Letter {
        std::size_t at;
        std::string upper, lower;  // of one byte length
    };
    std::vector<Letter> letters;
    for (std::size_t i = 0; i < utf8.size();) {
        const std::size_t at = i;
        const char32_t c = decodeOne(utf8, i);
        if (c == 0xFFFD) return {};
        const char32_t lower = foldCase(c);
        char32_t upper = lower;
        if (lower >= 'a' && lower <= 'z') upper = lower - 'a' + 'A';
        else if (lower >= 0xFF41 && lower <= 0xFF5A) upper = lower - 0xFF41 + 0xFF21;
        if (upper == lower) continue;
        if (letters.size() == most) return {};
        Letter l{at, {}, {}};
        appendUtf8(l.upper, upper);
        appendUtf8(l.lower, lower);
        letters.push_back(std::move(l));
    }
    // Counting up with the first letter highest: an upper-case letter sorts
    // before its lower case, so the spellings come in byte order.
    std::vector<std::string> out;
    const std::size_t count = std::size_t{1} << letters.size();
    out.reserve(count);
    for (std::size_t bits = 0; bits < count; ++bits) {
        std::string spelling(utf8);
        for (std::size_t k = 0; k < letters.size(); ++k) {
            const bool lower = (bits >> (letters.size() - 1 - k)) & 1;
            const std::string& letter = lower ? letters[k].lower : letters[k].upper;
            spelling.replace(letters[k].at, letter.size(), letter);
        }
        out.push_back(std::move(spelling));
    }
    return out;
}

std::vector<std::string> split(std::string_view s, char separator) {
    std::vector<std::string> out;
    for (std::size_t start = 0;;) {
        std::size_t end = s.find(separator, start);
        out.emplace_back(s.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) return out;
        start = end + 1;
    }
}

std::string join(const std::vector<std::string>& parts, char separator) {
    std::string out;
    for (const std::string& p : parts) {
        if (!out.empty()) out += separator;
        out += p;
    }
    return out;
}

std::string quotedList(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& n : names) out += (out.empty() ? "\"" : ", \"") + n + "\"";
    return out;
}

}  // namespace fg::text
