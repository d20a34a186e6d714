#include "platform/xml_scan.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/text.h"


#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace fg::xml {

namespace {

// Deeper than this, or a text longer, the parser has bounds of its own; the
// scan leaves such a file to it.
constexpr int kMaxDepth = 200;
constexpr std::size_t kMaxRun = 1000000;
constexpr std::size_t kMaxName = 1000;

constexpr bool isSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
constexpr bool nameStart(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
constexpr bool nameByte(unsigned char c) { return nameStart(c) || (c >= '0' && c <= '9') || c == '.' || c == '-'; }

constexpr std::array<bool, 256> kNameChar = [] {
    std::array<bool, 256> t{};
    for (int c = 0; c < 256; ++c) t[c] = nameByte(static_cast<unsigned char>(c));
    return t;
}();
bool nameChar(unsigned char c) { return kNameChar[c]; }

// The bytes of text that need no more than a look: kBlank keeps a run
// white space, kPlain does not; 0 is a byte the scan looks at closer (a tag,
// a reference, a character of more bytes, ">", CR, the other controls).
constexpr unsigned char kBlank = 1;
constexpr unsigned char kPlain = 2;
// The first byte `byte` from `from` on, or `end`; sixteen bytes at a time
// where the machine can.
std::size_t findByte(const unsigned char* b, std::size_t from, std::size_t end, unsigned char byte) {
#if defined(__SSE2__)
    const __m128i want = _mm_set1_epi8(static_cast<char>(byte));
    for (; from < end && end - from >= 16; from += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + from));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, want)));
        if (mask != 0) return from + static_cast<std::size_t>(__builtin_ctz(mask));
    }
#endif
    while (from < end && b[from] != byte) ++from;
    return from;
}

constexpr std::array<unsigned char, 256> kTextByte = [] {
    std::array<unsigned char, 256> t{};
    for (int c = 0x20; c < 0x80; ++c) t[c] = kPlain;
    t[' '] = t['\t'] = t['\n'] = kBlank;
    t['<'] = t['&'] = t['>'] = 0;
    return t;
}();

bool xmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// One UTF-8 character at p (p < end, *p >= 0x80): its length, 0 when the
// bytes are no character XML allows (overlong, surrogate, beyond U+10FFFF,
// U+FFFE or U+FFFF, cut short).
std::size_t utf8Length(const unsigned char* p, const unsigned char* end, char32_t& c) {
    unsigned char b = *p;
    std::size_t n;
    char32_t min;
    if (b >= 0xC2 && b <= 0xDF) { n = 2; c = b & 0x1F; min = 0x80; }
    else if (b >= 0xE0 && b <= 0xEF) { n = 3; c = b & 0x0F; min = 0x800; }
    else if (b >= 0xF0 && b <= 0xF4) { n = 4; c = b & 0x07; min = 0x10000; }
    else return 0;
    if (static_cast<std::size_t>(end - p) < n) return 0;
    for (std::size_t i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        c = (c << 6) | (p[i] & 0x3F);
    }
    if (c < min || !xmlChar(c)) return 0;
    return n;
}

// Code page 932 as the parser reads it and the save writes it: the system's
// converter asked once for every byte and byte pair, so that the scan takes
// exactly what a load takes and knows which characters a save writes back in
// the same bytes (the code page has duplicates: NEC's selection of IBM's
// extensions is written back as IBM's).
struct Cp932Table {
    bool usable = false;
    std::array<char32_t, 256> single{};  // 0: no character of one byte
    std::vector<char32_t> pair = std::vector<char32_t>(65536, 0);  // 0: no character
    // What the scan asks of a byte and of a pair: kNone no character (for
    // a byte: a lead byte, or none), kSame one a save writes back in these
    // bytes, kOther one it writes otherwise.
    static constexpr unsigned char kNone = 0, kSame = 1, kOther = 2;
    std::array<unsigned char, 256> singleKind{};
    std::vector<unsigned char> pairKind = std::vector<unsigned char>(65536, kNone);

    // The shared chart, less the characters XML forbids.
    Cp932Table() {
        const text::Cp932Chart& chart = text::cp932Chart();
        if (!chart.usable) return;
        for (int b = 0x80; b < 0x100; ++b) {
            const char32_t c = chart.single[b];
            if (c == 0 || !xmlChar(c)) continue;
            single[b] = c;
            singleKind[b] = chart.singleSame[b] ? kSame : kOther;
        }
        for (std::size_t code = 0; code < chart.pair.size(); ++code) {
            const char32_t p = chart.pair[code];
            if (p == 0 || !xmlChar(p)) continue;
            pair[code] = p;
            pairKind[code] = chart.pairSame[code] ? kSame : kOther;
        }
        usable = true;
    }
};

const Cp932Table& cp932() {
    static std::once_flag once;
    static std::unique_ptr<Cp932Table> table;
    std::call_once(once, [] { table = std::make_unique<Cp932Table>(); });
    return *table;
}

bool cp932Name(std::string name) {
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const char* alias : {"SHIFT_JIS", "SHIFT-JIS", "SHIFTJIS", "SJIS", "MS_KANJI", "CSSHIFTJIS", "WINDOWS-31J",
                              "MS932", "X-SJIS", "X-MS-CP932", "CP932"})
        if (name == alias) return true;
    return false;
}

bool utf8Name(std::string name) {
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name == "UTF-8";
}

// A reference at p ("&" ... ";") that the parser takes without a document
// type: its length and character, 0 when it is none. `plain` tells whether
// the save writes the character back as this reference.
std::size_t reference(const unsigned char* p, const unsigned char* end, char32_t& c, bool& plain) {
    static constexpr std::pair<std::string_view, char32_t> named[] = {
        {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string_view rest(reinterpret_cast<const char*>(p), static_cast<std::size_t>(std::min<std::ptrdiff_t>(end - p, 16)));
    for (const auto& [text, value] : named) {
        if (rest.substr(0, text.size()) == text) {
            c = value;
            plain = value == '<' || value == '>' || value == '&';
            return text.size();
        }
    }
    if (rest.size() < 4 || rest[1] != '#') return 0;
    std::size_t i = 2;
    const bool hex = rest[2] == 'x';
    if (hex) ++i;
    const std::size_t digits = i;
    c = 0;
    for (; i < rest.size() && rest[i] != ';'; ++i) {
        unsigned char d = static_cast<unsigned char>(rest[i]);
        int v;
        if (d >= '0' && d <= '9') v = d - '0';
        else if (hex && d >= 'a' && d <= 'f') v = d - 'a' + 10;
        else if (hex && d >= 'A' && d <= 'F') v = d - 'A' + 10;
        else return 0;
        c = c * (hex ? 16 : 10) + static_cast<char32_t>(v);
        if (c > 0x10FFFF) return 0;
    }
    if (i == digits || i >= rest.size() || !xmlChar(c)) return 0;
    plain = c == 0xD && rest.substr(0, i + 1) == "&#13;";
    return i + 1;
}

}  // namespace

ScannedFile::ScannedFile(std::string bytes) : bytes_(std::move(bytes)) {
    registerEncodings();
    scan();
    if (!understood_) topNames_.clear();
}

ScannedFile::~ScannedFile() { fs::giveBackRead(std::move(bytes_)); }

void ScannedFile::scan() {
    const auto* const b = reinterpret_cast<const unsigned char*>(bytes_.data());
    const std::size_t n = bytes_.size();
    std::size_t pos = 0;
    auto at = [&](std::size_t i) -> unsigned char { return i < n ? b[i] : 0; };
    auto skipSpace = [&] {
        std::size_t from = pos;
        while (pos < n && isSpace(b[pos])) ++pos;
        return pos - from;
    };
    // The root's children are counted by name; a file holds few names, and
    // one after another are mostly the same.
    auto addTop = [&](std::string_view name) {
        if (topNames_.empty() || topNames_.back().first != name) {
            auto at = std::find_if(topNames_.begin(), topNames_.end(), [&](const auto& n) { return n.first == name; });
            if (at == topNames_.end()) {
                topNames_.emplace_back(name, 0);
            } else {
                std::iter_swap(at, topNames_.end() - 1);
            }
        }
        ++topNames_.back().second;
    };
    auto literal = [&](std::string_view text) {
        if (std::string_view(bytes_).substr(pos, text.size()) != text) return false;
        pos += text.size();
        return true;
    };
    // Eq and a quoted value; the value, or nullopt.
    auto quoted = [&]() -> std::optional<std::string_view> {
        skipSpace();
        if (!literal("=")) return std::nullopt;
        skipSpace();
        unsigned char q = at(pos);
        if (q != '"' && q != '\'') return std::nullopt;
        std::size_t from = ++pos;
        while (pos < n && b[pos] != q) ++pos;
        if (pos >= n) return std::nullopt;
        return std::string_view(bytes_).substr(from, pos++ - from);
    };

    // The declaration, as the parser and the save read it.
    if (bytes_.compare(0, 5, "<?xml") == 0 && n > 5 && isSpace(b[5])) {
        std::size_t close = bytes_.find("?>");
        if (close == std::string::npos) return;
        pos = 5;
        if (skipSpace() == 0 || !literal("version")) return;
        auto version = quoted();
        if (!version || *version != "1.0") return;
        std::string encoding;
        std::size_t spaced = skipSpace();
        if (spaced > 0 && literal("encoding")) {
            auto value = quoted();
            if (!value || value->empty() || !nameStart((*value)[0])) return;
            for (char c : *value)
                if (!nameChar(static_cast<unsigned char>(c))) return;
            encoding = *value;
            spaced = skipSpace();
        }
        if (spaced > 0 && literal("standalone")) {
            auto value = quoted();
            if (!value || (*value != "yes" && *value != "no")) return;
            skipSpace();
        }
        if (!literal("?>") || pos != close + 2) return;
        if (!encoding.empty()) {
            if (cp932Name(encoding)) cp932_ = true;
            else if (!utf8Name(encoding)) return;
            if (cp932_ && !cp932().usable) return;
        }
        std::string_view data = std::string_view(bytes_).substr(6, close - 6);
        std::size_t first = 0, last = data.size();
        while (first < last && isSpace(static_cast<unsigned char>(data[first]))) ++first;
        while (last > first && isSpace(static_cast<unsigned char>(data[last - 1]))) --last;
        declarationData_ = std::string(data.substr(first, last - first));
        hasDeclaration_ = true;
        if (b[5] != ' ' || first != 0 || last != data.size() || bytes_.compare(pos, 2, "\r\n") != 0) canonical_ = false;
    }
    const std::size_t afterDeclaration = pos;
    skipSpace();
    if (at(pos) != '<') return;
    if (pos != afterDeclaration + (hasDeclaration_ ? 2 : 0)) canonical_ = false;
    rootStart_ = pos;

    const Cp932Table* table = cp932_ ? &cp932() : nullptr;
    struct Open {
        std::string_view name;
        std::size_t contentStart;
        bool hasContent;
    };
    std::vector<Open> open;
    open.reserve(16);

    while (pos < n) {
        if (b[pos] == '<') {
            const unsigned char next = at(pos + 1);
            if (next == '/') {
                if (open.empty()) return;
                const std::size_t tagStart = pos;
                // The end tag names the open element, and no longer name.
                const std::string_view expected = open.back().name;
                pos += 2;
                if (n - pos < expected.size() || std::memcmp(b + pos, expected.data(), expected.size()) != 0) return;
                pos += expected.size();
                if (pos < n && kNameChar[b[pos]]) return;
                if (skipSpace() > 0) canonical_ = false;
                if (at(pos) != '>') return;
                ++pos;
                const Open& done = open.back();
                if (!done.hasContent) canonical_ = false;  // a save writes <a/>
                if (open.size() == 1) {
                    rootName_ = done.name;
                    rootContent_ = {done.contentStart, tagStart};
                    open.pop_back();
                    break;
                }
                if (open.size() == 2) addTop(done.name);
                open.pop_back();
                continue;
            }
            if (next == '!' || next == '?') return;
            ++pos;
            if (pos >= n || !nameStart(b[pos])) return;
            const std::size_t nameFrom = pos;
            std::size_t nameEnd = pos;  // a local of its own, kept in a register
            while (nameEnd < n && kNameChar[b[nameEnd]]) ++nameEnd;
            pos = nameEnd;
            if (pos - nameFrom > kMaxName) return;
            const std::string_view opening(bytes_.data() + nameFrom, pos - nameFrom);
            if (skipSpace() > 0) canonical_ = false;
            if (!open.empty()) open.back().hasContent = true;
            if (at(pos) == '>') {
                ++pos;
                if (open.size() >= static_cast<std::size_t>(kMaxDepth)) return;
                open.push_back({opening, pos, false});
                continue;
            }
            if (at(pos) != '/' || at(pos + 1) != '>') return;  // an attribute, or no tag
            pos += 2;
            if (open.empty()) {
                rootName_ = opening;
                rootContent_ = {pos - 2, pos - 2};
                rootEmptyTag_ = true;
                break;
            }
            if (open.size() == 1) addTop(opening);
            continue;
        }
        if (open.empty()) return;

        // A run of text, to the next tag: plain bytes in a tight loop, the
        // others one by one. A character may start no further than kMaxRun
        // bytes into the run.
        const std::size_t runStart = pos;
        const std::size_t limit = std::min(n, runStart + kMaxRun + 1);
        unsigned char seen = 0;  // the kTextByte classes met, and kPlain for any other character
        for (;;) {
            std::size_t plainEnd = pos;  // a local of its own, kept in a register
#if defined(__SSE2__)
            // Sixteen bytes at a time to the first that kTextByte does not pass.
            while (limit - plainEnd >= 16) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + plainEnd));
                const __m128i passed = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\t')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\n')));
                __m128i stop = _mm_andnot_si128(passed, _mm_cmplt_epi8(v, _mm_set1_epi8(0x20)));  // and every byte from 0x80
                stop = _mm_or_si128(stop, _mm_cmpeq_epi8(v, _mm_set1_epi8('<')));
                stop = _mm_or_si128(stop, _mm_cmpeq_epi8(v, _mm_set1_epi8('&')));
                stop = _mm_or_si128(stop, _mm_cmpeq_epi8(v, _mm_set1_epi8('>')));
                const unsigned stops = static_cast<unsigned>(_mm_movemask_epi8(stop));
                const unsigned blanks = static_cast<unsigned>(
                    _mm_movemask_epi8(_mm_or_si128(passed, _mm_cmpeq_epi8(v, _mm_set1_epi8(' ')))));
                const unsigned taken = stops == 0 ? 16 : static_cast<unsigned>(__builtin_ctz(stops));
                if (~blanks & ((1u << taken) - 1)) seen |= kPlain;
                plainEnd += taken;
                if (stops != 0) break;
            }
#endif
            while (plainEnd < limit && kTextByte[b[plainEnd]] != 0) seen |= kTextByte[b[plainEnd++]];
            pos = plainEnd;
            if (pos >= limit) {
                if (pos >= n || b[pos] != '<') return;
                break;
            }
            const unsigned char c = b[pos];
            if (c == '<') break;
            if (c == '&') {
                char32_t value = 0;
                bool plain = false;
                std::size_t length = reference(b + pos, b + n, value, plain);
                if (length == 0) return;
                // A save writes a character that code page 932 lacks (or holds
                // one way only) as a decimal reference.
                if (!plain && !(table && value >= 0x80 && !text::cp932HoldsBothWays(value) &&
                                bytes_.compare(pos, length, "&#" + std::to_string(static_cast<std::uint32_t>(value)) + ";") == 0))
                    canonical_ = false;
                if (!isSpace(static_cast<unsigned char>(value < 0x80 ? value : 'x'))) seen |= kPlain;
                pos += length;
            } else if (c >= 0x80) {
                seen |= kPlain;
                if (table) {
                    // Characters of code page 932 follow one another in Japanese text.
                    do {
                        const unsigned char d = b[pos];
                        if (const unsigned char kind = table->singleKind[d]; kind != Cp932Table::kNone) {
                            if (kind != Cp932Table::kSame) canonical_ = false;
                            ++pos;
                        } else {
                            if (pos + 1 >= n) return;
                            const unsigned char pair = table->pairKind[static_cast<unsigned>(d) << 8 | b[pos + 1]];
                            if (pair == Cp932Table::kNone) return;
                            if (pair != Cp932Table::kSame) canonical_ = false;
                            pos += 2;
                        }
                    } while (pos < limit && b[pos] >= 0x80);
                } else {
                    do {
                        char32_t ignored = 0;
                        std::size_t length = utf8Length(b + pos, b + n, ignored);
                        if (length == 0) return;
                        pos += length;
                    } while (pos < limit && b[pos] >= 0x80);
                }
            } else if (c == '>') {
                if (pos >= 2 && b[pos - 1] == ']' && b[pos - 2] == ']') return;
                canonical_ = false;  // a save writes &gt;
                seen |= kPlain;
                ++pos;
            } else if (c == '\r') {
                canonical_ = false;  // a load makes line ends of it
                ++pos;
            } else {
                return;
            }
        }
        if (seen & kPlain) open.back().hasContent = true;
        else canonical_ = false;  // white space alone: a load drops it, a save does not write it
    }
    if (rootName_.empty()) return;
    const std::size_t afterRoot = pos;
    skipSpace();
    if (pos != n) return;
    if (bytes_.compare(afterRoot, std::string::npos, "\r\n") != 0) canonical_ = false;
    understood_ = true;
}

std::size_t ScannedFile::topElementsNamed(std::string_view name) const {
    for (const auto& [named, count] : topNames_)
        if (named == name) return count;
    return 0;
}

bool ScannedFile::nextTop(std::size_t& pos, ScannedNode& out) const {
    if (!understood_) return false;
    const auto* const b = reinterpret_cast<const unsigned char*>(bytes_.data());
    const std::size_t size = bytes_.size();
    // A "<" in the root's content opens a tag, and a tag holds no ">"
    // before its own: the scan understood the file.
    pos = findByte(b, pos, rootContent_.end, '<');
    if (pos >= rootContent_.end) return false;
    const std::size_t start = pos;
    std::size_t close = findByte(b, start + 1, size, '>');
    if (close >= size) throw Error(errnum::InvalidProcedureCall, "XML のタグが閉じていません。");
    std::size_t nameEnd = start + 1;
    while (nameEnd < close && kNameChar[b[nameEnd]]) ++nameEnd;
    out.element = true;
    out.depth = 0;
    out.name = std::string_view(bytes_).substr(start + 1, nameEnd - start - 1);
    if (b[close - 1] == '/') {
        out.whole = {start, close + 1};
        out.content = {close - 1, close - 1};
        pos = close + 1;
        return true;
    }
    out.content.begin = close + 1;
    // The first end tag of the name closes the element unless an element of
    // the name opens within it: a look at each "<" finds both, where the
    // walk below finds every tag's end too.
    const std::string_view name = out.name;
    auto named = [&](std::size_t at) {
        return size - at > name.size() && std::memcmp(b + at, name.data(), name.size()) == 0;
    };
    // Sixty-four bytes at a time: a mask of their "<", each looked at in
    // turn, up to the root's end tag (the root may bear the name too).
    const std::size_t limit = rootContent_.end;
    for (std::size_t block = out.content.begin; block < limit; block += 64) {
        std::uint64_t opens = 0;
#if defined(__SSE2__)
        if (size - block >= 64) {
            const __m128i lt = _mm_set1_epi8('<');
            for (int k = 0; k < 4; ++k) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + block + 16 * k));
                opens |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lt))))
                         << (16 * k);
            }
        } else
#endif
        {
            for (std::size_t k = 0; k < 64 && block + k < size; ++k)
                if (b[block + k] == '<') opens |= std::uint64_t{1} << k;
        }
        bool nested = false;
        for (; opens != 0; opens &= opens - 1) {
            const std::size_t at = block + static_cast<std::size_t>(__builtin_ctzll(opens));
            if (at >= limit) break;
            if (b[at + 1] == '/') {
                if (named(at + 2) && b[at + 2 + name.size()] == '>') {
                    out.content.end = at;
                    out.whole = {start, at + name.size() + 3};
                    pos = out.whole.end;
                    return true;
                }
            } else if (named(at + 1) && !kNameChar[b[at + 1 + name.size()]]) {
                nested = true;  // one of the name within it: the walk below tells
                break;
            }
        }
        if (nested) break;
    }
    for (int depth = 1;;) {
        const std::size_t tag = findByte(b, close + 1, size, '<');
        close = findByte(b, tag + 1, size, '>');
        if (close >= size) throw Error(errnum::InvalidProcedureCall, "XML のタグが閉じていません。");
        if (b[tag + 1] == '/') {
            if (--depth == 0) {
                out.content.end = tag;
                break;
            }
        } else if (b[close - 1] != '/') {
            ++depth;
        }
    }
    out.whole = {start, close + 1};
    pos = close + 1;
    return true;
}

void ScannedFile::nodesIn(ByteSpan content, std::vector<ScannedNode>& out, bool deep, std::size_t limit) const {
    out.clear();
    const auto* const b = reinterpret_cast<const unsigned char*>(bytes_.data());
    // Indexes into out, or kNotKept for a node not kept; the scan took no
    // file deeper than kMaxDepth.
    constexpr std::size_t kNotKept = static_cast<std::size_t>(-1);
    std::array<std::size_t, kMaxDepth> open;
    std::size_t pos = content.begin;
    int depth = 0;
    std::size_t children = 0;
    while (pos < content.end) {
        if (depth == 0 && children >= limit) return;
        if (b[pos] == '<') {
            // The tag's ">": a tag of a file the scan understood holds none before it.
            const std::size_t close = findByte(b, pos + 1, bytes_.size(), '>');
            if (close >= bytes_.size()) throw Error(errnum::InvalidProcedureCall, "XML のタグが閉じていません。");
            if (b[pos + 1] == '/') {
                if (depth == 0) throw Error(errnum::InvalidProcedureCall, "XML の要素の範囲が合いません。");
                const std::size_t at = open[static_cast<std::size_t>(--depth)];
                if (at != kNotKept) {
                    out[at].content.end = pos;
                    out[at].whole.end = close + 1;
                }
            } else {
                // The name, then white space and a "/" at most.
                std::size_t nameEnd = pos + 1;
                while (nameEnd < close && kNameChar[b[nameEnd]]) ++nameEnd;
                const bool empty = b[close - 1] == '/';
                const bool keep = deep || depth == 0;
                children += depth == 0;
                if (keep) {
                    std::size_t inner = empty ? close - 1 : close + 1;
                    out.push_back({true, std::string_view(bytes_).substr(pos + 1, nameEnd - pos - 1), {pos, close + 1},
                                   {inner, inner}, depth});
                }
                if (!empty) {
                    if (depth >= kMaxDepth) throw Error(errnum::InvalidProcedureCall, "XML の要素が深すぎます。");
                    open[static_cast<std::size_t>(depth++)] = keep ? out.size() - 1 : kNotKept;
                }
            }
            pos = close + 1;
            continue;
        }
        const std::size_t end = findByte(b, pos, content.end, '<');
        if (deep || depth == 0) {
            bool blank = true;
            for (std::size_t i = pos; i < end && blank; ++i) blank = isSpace(b[i]);
            if (!blank && std::memchr(b + pos, '&', end - pos)) {
                std::string decoded = text({pos, end});
                blank = decoded.find_first_not_of(" \t\r\n") == std::string::npos;
            }
            if (!blank) {
                out.push_back({false, {}, {pos, end}, {pos, end}, depth});
                children += depth == 0;
            }
        }
        pos = end;
    }
}

std::string ScannedFile::text(ByteSpan content) const {
    const auto* const b = reinterpret_cast<const unsigned char*>(bytes_.data());
    const Cp932Table* table = cp932_ ? &cp932() : nullptr;
    std::string out, run;
    std::size_t pos = content.begin;
    while (pos < content.end) {
        if (b[pos] == '<') {
            pos = bytes_.find('>', pos) + 1;
            continue;
        }
        run.clear();
        while (pos < content.end && b[pos] != '<') {
            const unsigned char c = b[pos];
            if (c == '&') {
                char32_t value = 0;
                bool plain = false;
                pos += reference(b + pos, b + content.end, value, plain);
                appendUtf8(run, value);
            } else if (c == '\r') {
                run += '\n';
                pos += pos + 1 < content.end && b[pos + 1] == '\n' ? 2 : 1;
            } else if (c < 0x80 || !table) {
                run += static_cast<char>(c);
                ++pos;
            } else if (table->single[c] != 0) {
                appendUtf8(run, table->single[c]);
                ++pos;
            } else {
                appendUtf8(run, table->pair[static_cast<unsigned>(c) << 8 | b[pos + 1]]);
                pos += 2;
            }
        }
        if (run.find_first_not_of(" \t\r\n") != std::string::npos) out += run;
    }
    return out;
}

std::string ScannedFile::written(const Document& doc) const {
    std::string out = doc.saveToString();
    const std::string_view prefix = head();
    if (out.compare(0, prefix.size(), prefix) != 0 || out.size() < prefix.size() + 2)
        throw Error(errnum::PathFileAccessError, "XML の書き出しが宣言と合いません。");
    return out.substr(prefix.size(), out.size() - prefix.size() - 2);
}

std::string ScannedFile::reworked(ByteSpan whole, const std::function<void(Document&, Node&)>& change) const {
    Document doc;
    std::string alone = std::string(head());
    alone.append(bytes_, whole.begin, whole.end - whole.begin);
    if (!doc.loadBytes(alone))
        throw Error(errnum::PathFileAccessError, "XML の要素を読み直せません: " + doc.parseError().reason);
    Node root = doc.documentElement();
    change(doc, root);
    return written(doc);
}

std::string ScannedFile::fragment(const std::function<Node(Document&)>& build) const {
    Document doc;
    if (hasDeclaration_) doc.appendChild(doc.createProcessingInstruction("xml", declarationData_));
    doc.appendChild(build(doc));
    return written(doc);
}

Document ScannedFile::excerpt(const std::vector<ByteSpan>& elements) const {
    std::string bytes(head());
    bytes += "<";
    bytes += rootName_;
    bytes += ">";
    for (const ByteSpan& span : elements) bytes.append(bytes_, span.begin, span.end - span.begin);
    bytes += "</";
    bytes += rootName_;
    bytes += ">";
    Document doc;
    if (!doc.loadBytes(bytes))
        throw Error(errnum::PathFileAccessError, "XML の要素を読み直せません: " + doc.parseError().reason);
    return doc;
}

void SplicedWrite::replace(ByteSpan whole, std::string bytes) {
    if (!replaced_.empty() && whole.begin < replaced_.back().first.end)
        throw Error(errnum::InvalidProcedureCall, "XML の差し替えが順に並んでいません。");
    replaced_.emplace_back(whole, std::move(bytes));
}

void SplicedWrite::appendToRoot(std::string bytes) {
    if (file_.rootEmptyTag()) throw Error(errnum::InvalidProcedureCall, "空の根要素には書き足せません。");
    appended_.push_back(std::move(bytes));
}

void SplicedWrite::save(const std::string& path) const {
    if (!file_.canonical()) throw Error(errnum::InvalidProcedureCall, "そのままの形でないファイルには継ぎ足せません。");
    const std::string_view all = file_.bytes();
    std::vector<std::string_view> pieces;
    std::size_t from = 0;
    const std::size_t rootEnd = file_.rootContent().end;
    for (const auto& [span, bytes] : replaced_) {
        pieces.push_back(all.substr(from, span.begin - from));
        pieces.push_back(bytes);
        from = span.end;
    }
    if (!appended_.empty()) {
        pieces.push_back(all.substr(from, rootEnd - from));
        for (const std::string& bytes : appended_) pieces.push_back(bytes);
        from = rootEnd;
    }
    pieces.push_back(all.substr(from));
    // A root left with no content is written <a/>, as a save writes it.
    const ByteSpan content = file_.rootContent();
    if (!file_.rootEmptyTag() && appended_.empty() && content.begin < content.end) {
        // The replaced spans are elements within the root's content.
        std::size_t left = content.end - content.begin;
        for (const auto& [span, bytes] : replaced_) {
            if (span.begin < content.begin || span.end > content.end) left = std::string::npos;
            if (left == std::string::npos) break;
            left = left - (span.end - span.begin) + bytes.size();
        }
        if (left == 0) {
            const std::string_view name = file_.rootName();
            const std::size_t start = content.begin - name.size() - 2;  // "<" name ">"
            const std::size_t end = content.end + name.size() + 3;      // "</" name ">"
            const std::string empty = "<" + std::string(name) + "/>";
            fs::writeFileAtomic(path, std::vector<std::string_view>{all.substr(0, start), empty, all.substr(end)});
            return;
        }
    }
    fs::writeFileAtomic(path, pieces);
}

std::size_t startTags(std::string_view bytes, std::string_view name) {
    std::size_t count = 0;
    const std::string open = "<" + std::string(name);
    // The C library's search: a search for the "<" would stop at every tag.
    for (const char* at = static_cast<const char*>(memmem(bytes.data(), bytes.size(), open.data(), open.size())); at;) {
        const std::size_t past = static_cast<std::size_t>(at - bytes.data()) + open.size();
        const char next = past < bytes.size() ? bytes[past] : '\0';
        if (next == '>' || next == '/' || next == ' ' || next == '\t' || next == '\r' || next == '\n') ++count;
        const std::size_t from = past - open.size() + 1;
        at = static_cast<const char*>(memmem(bytes.data() + from, bytes.size() - from, open.data(), open.size()));
    }
    return count;
}

bool ScannedFile::understoodWithSoleRoot(std::string_view root) const {
    if (!understood_ || rootName_ != root) return false;
    // The C library's search: the bytes hold a "<" at every tag, where a
    // search for the first byte stops.
    const std::string tag = "<" + std::string(root);
    const void* first = memmem(bytes_.data(), bytes_.size(), tag.data(), tag.size());
    if (!first) return true;
    const std::size_t from = static_cast<std::size_t>(static_cast<const char*>(first) - bytes_.data()) + 1;
    return !memmem(bytes_.data() + from, bytes_.size() - from, tag.data(), tag.size());
}

std::optional<std::string_view> ScannedFile::plainText(ByteSpan content) const {
    const std::string_view raw = std::string_view(bytes_).substr(content.begin, content.end - content.begin);
    for (const char c : raw) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x80 || u == '&' || u == '<' || u == '\r') return std::nullopt;
    }
    // A run of white space alone is no text.
    if (raw.find_first_not_of(" \t\n") == std::string_view::npos) return std::string_view();
    return raw;
}

bool ScannedFile::textIs(ByteSpan content, std::string_view wanted) const {
    if (const std::optional<std::string_view> plain = plainText(content)) return *plain == wanted;
    return text(content) == wanted;
}

bool ScannedFile::textStartsWith(ByteSpan content, std::string_view prefix) const {
    const std::string_view raw = std::string_view(bytes_).substr(content.begin, content.end - content.begin);
    bool plain = raw.size() >= prefix.size();
    for (std::size_t i = 0; plain && i < prefix.size(); ++i) {
        const auto c = static_cast<unsigned char>(raw[i]);
        plain = c >= 0x20 && c < 0x80 && c != '&' && c != '<';
    }
    if (plain) return raw.compare(0, prefix.size(), prefix) == 0;
    return text(content).compare(0, prefix.size(), prefix) == 0;
}

bool fileLoads(const std::string& path) {
    try {
        if (ScannedFile(fs::readFile(path)).understood()) return true;
    } catch (...) {
        // Missing or unreadable: the check tells.
    }
    try {
        return checkFile(path).errorCode == 0;
    } catch (...) {
        return false;
    }
}

}  // namespace fg::xml
