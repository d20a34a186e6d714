#include "common/lintova/zk_string.h"

#include "platform/text.h"

#include <locale.h>
#include <wctype.h>

#include <array>
#include <cmath>
#include <limits>
#include <new>
#include <optional>
#include <stdexcept>
#include <vector>

namespace fg {

namespace {

const char* const kSource = "Lintova.ZkString";

using U16 = std::u16string;

[[noreturn]] void fail(long number) { throw zkError(number, kSource); }

// Runs a member; a failed allocation is the table's error 14.
template <class F>
auto guarded(F&& f) -> decltype(f()) {
    try {
        return f();
    } catch (const std::bad_alloc&) {
        fail(zkErrOutOfStringSpace);
    } catch (const std::length_error&) {
        fail(zkErrOutOfStringSpace);
    }
}

// ---- optional parameters ----------------------------------------------------

// A whole number, or nothing when the value is missing or does not convert.
std::optional<int64_t> wholeOf(const Variant& v) {
    if (v.isEmpty() || v.isNull()) return std::nullopt;
    double d = 0;
    try {
        d = v.toNumber();
    } catch (const Error&) {
        return std::nullopt;
    }
    d = std::nearbyint(d);
    if (!std::isfinite(d) || d < static_cast<double>(std::numeric_limits<int32_t>::min()) ||
        d > static_cast<double>(std::numeric_limits<int32_t>::max()))
        return std::nullopt;
    return static_cast<int64_t>(d);
}

int64_t wholeOr(const Variant& v, int64_t fallback) { return wholeOf(v).value_or(fallback); }

bool booleanOr(const Variant& v, bool fallback) {
    if (v.isEmpty() || v.isNull()) return fallback;
    try {
        if (v.isText()) return toBoolean(v.toText());
        return v.toNumber() != 0;
    } catch (const Error&) {
        return fallback;
    }
}

std::optional<U16> textOf(const Variant& v) {
    if (!v.isText()) return std::nullopt;
    return text::toUtf16(v.toText());
}

// ---- character sets ---------------------------------------------------------

bool inRange(char16_t c, char16_t lo, char16_t hi) { return c >= lo && c <= hi; }
bool isDigit(char16_t c) { return inRange(c, u'0', u'9'); }
bool isAlpha(char16_t c) { return inRange(c, u'A', u'Z') || inRange(c, u'a', u'z'); }

class CharSet {
public:
    static CharSet of(const Variant& v) {
        CharSet set;
        if (auto chars = textOf(v)) {
            set.explicit_ = true;
            set.chars_ = std::move(*chars);
            return set;
        }
        auto n = wholeOf(v);
        if (!n || *n == 0) set.flags_ = zkCharSetWhiteSpace;
        else if (*n >= 1 && *n <= 255) set.flags_ = static_cast<int32_t>(*n);
        else set.flags_ = 0;
        return set;
    }

    bool contains(char16_t c) const {
        if (explicit_) return chars_.find(c) != U16::npos;
        if ((flags_ & zkCharSetWhiteSpace) && (c == 0 || c == 9 || c == 10 || c == 13 || c == 32)) return true;
        if ((flags_ & zkCharSetControl) && c < 32) return true;
        if ((flags_ & zkCharSetNonAlpha) && !isAlpha(c)) return true;
        // Japanese conventions: "." is the decimal point of numbers and of
        // money, "-" the negative sign, and the positive sign is empty.
        if ((flags_ & zkCharSetNonNumeric) && !(isDigit(c) || c == u'+' || c == u'-' || c == u'.')) return true;
        if ((flags_ & zkCharSetNonAlphaNumeric) && !(isDigit(c) || isAlpha(c))) return true;
        if ((flags_ & zkCharSetNonDigit) && !isDigit(c)) return true;
        if ((flags_ & zkCharSetNonPrintable) && (c < 32 || c == 127)) return true;
        if ((flags_ & zkCharSetNonAnsi) &&
            (c < 32 || inRange(c, 127, 129) || inRange(c, 141, 144) || c == 157 || c == 158))
            return true;
        return false;
    }

private:
    bool explicit_ = false;
    U16 chars_;
    int32_t flags_ = 0;
};

// ---- case -------------------------------------------------------------------

// Case follows Unicode's simple mappings, one UTF-16 unit at a time, in a
// fixed locale: the process locale must not change what a string becomes.
locale_t caseLocale() {
    static locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return loc;
}

char16_t mapCase(char16_t c, bool upper) {
    if (c >= 0xD800 && c <= 0xDFFF) return c;  // half of a pair has no case
    if (locale_t loc = caseLocale()) {
        wint_t r = upper ? towupper_l(c, loc) : towlower_l(c, loc);
        return r <= 0xFFFF ? static_cast<char16_t>(r) : c;
    }
    // Without the locale: the Latin letters, half and full width.
    if (upper && (inRange(c, u'a', u'z') || inRange(c, 0xFF41, 0xFF5A))) return static_cast<char16_t>(c - 32);
    if (!upper && (inRange(c, u'A', u'Z') || inRange(c, 0xFF21, 0xFF3A))) return static_cast<char16_t>(c + 32);
    return c;
}

char16_t upper(char16_t c) { return mapCase(c, true); }
char16_t lower(char16_t c) { return mapCase(c, false); }

// The search's case folding: only the Latin letters, half and full width.
char16_t fold(char16_t c) {
    if (inRange(c, u'a', u'z') || inRange(c, 0xFF41, 0xFF5A)) return static_cast<char16_t>(c - 32);
    return c;
}

// ---- search patterns ----------------------------------------------------------

struct PatternChar {
    char16_t c;
    bool any;
};

// "?" matches any one character; a backslash makes the next one literal.
std::vector<PatternChar> compile(const U16& search) {
    std::vector<PatternChar> out;
    for (std::size_t i = 0; i < search.size(); ++i) {
        if (search[i] == u'\\' && i + 1 < search.size()) out.push_back({search[++i], false});
        else out.push_back({search[i], search[i] == u'?'});
    }
    return out;
}

class Matcher {
public:
    Matcher(const U16& search, const Variant& caseSensitive, const Variant& wholeWord, const Variant& delimiters)
        : pattern_(compile(search)),
          caseSensitive_(booleanOr(caseSensitive, false)),
          wholeWord_(booleanOr(wholeWord, false)),
          delimiters_(CharSet::of(delimiters)) {
        if (wholeWord_)
            for (char16_t c : search)
                if (delimiters_.contains(c)) wholeWord_ = false;  // a word holding a delimiter is no word
    }

    std::size_t length() const { return pattern_.size(); }

    // The first match at or after `from` (0-based), or npos.
    std::size_t find(const U16& s, std::size_t from) const {
        const std::size_t n = pattern_.size();
        if (n == 0 || s.size() < n) return U16::npos;
        for (std::size_t p = from; p + n <= s.size(); ++p)
            if (matchesAt(s, p)) return p;
        return U16::npos;
    }

private:
    bool matchesAt(const U16& s, std::size_t p) const {
        const std::size_t n = pattern_.size();
        if (wholeWord_ && p > 0 && !delimiters_.contains(s[p - 1])) return false;
        for (std::size_t k = 0; k < n; ++k) {
            const PatternChar& pc = pattern_[k];
            if (pc.any) continue;
            if (caseSensitive_ ? s[p + k] != pc.c : fold(s[p + k]) != fold(pc.c)) return false;
        }
        if (!wholeWord_) return true;
        for (std::size_t k = 1; k < n; ++k)
            if (delimiters_.contains(s[p + k])) return false;
        // The end of the string ends a word, whatever the delimiters are.
        return p + n == s.size() || delimiters_.contains(s[p + n]);
    }

    std::vector<PatternChar> pattern_;
    bool caseSensitive_;
    bool wholeWord_;
    CharSet delimiters_;
};

// 1-based start position: default 1, below 1 an invalid parameter.
std::size_t startIndex(const Variant& position) {
    int64_t p = wholeOr(position, 1);
    if (p < 1) fail(zkErrInvalidParameter);
    return static_cast<std::size_t>(p - 1);
}

// ---- columns ------------------------------------------------------------------

// Columns a character takes: two for one that code page 932 writes in two
// bytes or cannot hold at all.
int columnsAt(const U16& s, std::size_t i, std::size_t* units) {
    char16_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
        *units = 2;
        return 2;
    }
    *units = 1;
    int w = text::cp932Width(c);
    return w == 1 ? 1 : 2;
}

int64_t tabWidth(const Variant& spacesPerTab) {
    int64_t n = wholeOr(spacesPerTab, 8);
    if (n == 0) n = 8;
    if (n < 0) fail(zkErrInvalidParameter);
    return n;
}

// ---- numbers ------------------------------------------------------------------

const std::array<const char*, 20> kUnits = {"",        "one",     "two",       "three",    "four",
                                            "five",    "six",     "seven",     "eight",    "nine",
                                            "ten",     "eleven",  "twelve",    "thirteen", "fourteen",
                                            "fifteen", "sixteen", "seventeen", "eighteen", "nineteen"};
const std::array<const char*, 10> kTens = {"",      "",      "twenty",  "thirty", "forty",
                                           "fifty", "sixty", "seventy", "eighty", "ninety"};
const std::array<const char*, 5> kScales = {"", "thousand", "million", "billion", "trillion"};

void addWord(std::string& out, const char* word) {
    if (!*word) return;
    if (!out.empty()) out += ' ';
    out += word;
}

// Spells up to 15 decimal digits, most significant first.
std::string spellDigits(const std::string& digits) {
    std::string out;
    std::size_t groups = (digits.size() + 2) / 3;
    std::string padded = std::string(groups * 3 - digits.size(), '0') + digits;
    for (std::size_t g = 0; g < groups; ++g) {
        int h = padded[g * 3] - '0', t = padded[g * 3 + 1] - '0', u = padded[g * 3 + 2] - '0';
        if (h) {
            addWord(out, kUnits[static_cast<std::size_t>(h)]);
            addWord(out, "hundred");
        }
        if (t == 1) {
            addWord(out, kUnits[static_cast<std::size_t>(10 + u)]);
        } else {
            addWord(out, kTens[static_cast<std::size_t>(t)]);
            addWord(out, kUnits[static_cast<std::size_t>(u)]);
        }
        if (h || t || u) addWord(out, kScales[groups - 1 - g]);
    }
    return out;
}

}  // namespace

// ---- members ------------------------------------------------------------------

int32_t ZkString::ASC(const std::string& SourceStr, const Variant& Position) const {
    return guarded([&]() -> int32_t {
        U16 s = text::toUtf16(SourceStr);
        if (s.empty()) return -1;
        int64_t p = wholeOr(Position, 1);
        if (p < 1 || p > static_cast<int64_t>(s.size())) fail(zkErrInvalidParameter);
        return s[static_cast<std::size_t>(p - 1)];
    });
}

int32_t ZkString::BaseToNum(const std::string& NumberStr, int16_t Radix) const {
    if (Radix < 2 || Radix > 36) fail(zkErrInvalidParameter);
    return guarded([&]() -> int32_t {
        U16 s = text::toUtf16(NumberStr);
        std::size_t i = 0;
        auto space = [](char16_t c) { return c == u' ' || (c >= 9 && c <= 13); };
        while (i < s.size() && space(s[i])) ++i;
        bool negative = false;
        if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) negative = s[i++] == u'-';
        // The C conversion takes a "0x" in front of a base-16 number.
        if (Radix == 16 && i + 1 < s.size() && s[i] == u'0' && (s[i + 1] == u'x' || s[i + 1] == u'X')) {
            std::size_t j = i + 2;
            if (j < s.size() && (isDigit(s[j]) || inRange(s[j] | 0x20, u'a', u'f'))) i = j;
        }
        int64_t value = 0;
        const int64_t limit = negative ? int64_t{1} << 31 : (int64_t{1} << 31) - 1;
        for (; i < s.size(); ++i) {
            char16_t c = s[i];
            int d = isDigit(c) ? c - u'0' : inRange(c, u'a', u'z') ? c - u'a' + 10 : inRange(c, u'A', u'Z') ? c - u'A' + 10 : 99;
            if (d >= Radix) break;
            value = value * Radix + d;
            if (value > limit) fail(zkErrInvalidParameter);
        }
        return static_cast<int32_t>(negative ? -value : value);
    });
}

std::string ZkString::ChangeCase(const std::string& SourceStr, const Variant& CaseType,
                                 const Variant& Delimiters) const {
    int64_t type = wholeOr(CaseType, zkCaseInvert);
    if (type < zkCaseInvert || type > zkCaseFirstWord) fail(zkErrInvalidParameter);
    return guarded([&] {
        U16 s = text::toUtf16(SourceStr);
        switch (type) {
        case zkCaseInvert:
            for (char16_t& c : s) {
                char16_t u = upper(c);
                c = u != c ? u : lower(c);
            }
            break;
        case zkCaseUpper:
            for (char16_t& c : s) c = upper(c);
            break;
        case zkCaseLower:
            for (char16_t& c : s) c = lower(c);
            break;
        case zkCaseEachWord: {
            CharSet delims = CharSet::of(Delimiters);
            for (std::size_t i = 0; i < s.size(); ++i)
                if (i == 0 || (delims.contains(s[i - 1]) && !delims.contains(s[i]))) s[i] = upper(s[i]);
            break;
        }
        case zkCaseFirstWord:
            if (!s.empty()) s[0] = upper(s[0]);
            break;
        }
        return text::toUtf8(s);
    });
}

std::string ZkString::Delete(const std::string& SourceStr, const Variant& Start, const Variant& DelAmount) const {
    int64_t start = wholeOr(Start, 1);
    int64_t amount = wholeOr(DelAmount, 1);
    if (start < 1 || amount < 0) fail(zkErrInvalidParameter);
    return guarded([&] {
        U16 s = text::toUtf16(SourceStr);
        if (s.empty()) return std::string();
        auto len = static_cast<int64_t>(s.size());
        if (start > len) start = len;
        if (amount > len - start + 1) amount = len - start + 1;
        s.erase(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(amount));
        return text::toUtf8(s);
    });
}

std::string ZkString::Insert(const std::string& SourceStr, const std::string& InsertStr,
                             const Variant& Position) const {
    int64_t position = wholeOr(Position, 0);
    if (position < 0) fail(zkErrInvalidParameter);
    return guarded([&] {
        if (SourceStr.empty()) return std::string();
        if (InsertStr.empty()) return SourceStr;
        U16 s = text::toUtf16(SourceStr);
        auto at = static_cast<std::size_t>(std::min<int64_t>(position, static_cast<int64_t>(s.size())));
        s.insert(at, text::toUtf16(InsertStr));
        return text::toUtf8(s);
    });
}

int32_t ZkString::InStr(const std::string& SourceStr, const std::string& SearchStr, const Variant& Position,
                        const Variant& CaseSensitive, const Variant& WholeWord, const Variant& Delimiters) const {
    std::size_t from = startIndex(Position);
    return guarded([&]() -> int32_t {
        U16 s = text::toUtf16(SourceStr);
        if (SearchStr.empty() || from >= s.size()) return 0;
        Matcher m(text::toUtf16(SearchStr), CaseSensitive, WholeWord, Delimiters);
        std::size_t at = m.find(s, from);
        return at == U16::npos ? 0 : static_cast<int32_t>(at + 1);
    });
}

std::string ZkString::LTrim(const std::string& SourceStr, const Variant& CharacterSet) const {
    return guarded([&] {
        U16 s = text::toUtf16(SourceStr);
        CharSet set = CharSet::of(CharacterSet);
        std::size_t b = 0;
        while (b < s.size() && set.contains(s[b])) ++b;
        return text::toUtf8(std::u16string_view(s).substr(b));
    });
}

std::string ZkString::RTrim(const std::string& SourceStr, const Variant& CharacterSet) const {
    return guarded([&] {
        U16 s = text::toUtf16(SourceStr);
        CharSet set = CharSet::of(CharacterSet);
        std::size_t e = s.size();
        while (e > 0 && set.contains(s[e - 1])) --e;
        return text::toUtf8(std::u16string_view(s).substr(0, e));
    });
}

std::string ZkString::Trim(const std::string& SourceStr, const Variant& CharacterSet) const {
    return guarded([&] {
        U16 s = text::toUtf16(SourceStr);
        CharSet set = CharSet::of(CharacterSet);
        std::size_t b = 0, e = s.size();
        while (b < e && set.contains(s[b])) ++b;
        while (e > b && set.contains(s[e - 1])) --e;
        return text::toUtf8(std::u16string_view(s).substr(b, e - b));
    });
}

std::string ZkString::NumToBase(int32_t Number, int16_t Radix, const Variant& Digits,
                                const Variant& LowerCase) const {
    int64_t digits = wholeOr(Digits, 0);
    if (Radix < 2 || Radix > 36 || digits < 0 || digits > 32) fail(zkErrInvalidParameter);
    bool lowerCase = booleanOr(LowerCase, false);
    return guarded([&] {
        // Base 10 is signed; every other base shows the 32 bits unsigned.
        bool negative = Radix == 10 && Number < 0;
        uint64_t v = Radix == 10 ? static_cast<uint64_t>(std::llabs(static_cast<long long>(Number)))
                                 : static_cast<uint64_t>(static_cast<uint32_t>(Number));
        const char* alphabet = lowerCase ? "0123456789abcdefghijklmnopqrstuvwxyz" : "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
        std::string body;
        do {
            body.insert(body.begin(), alphabet[v % static_cast<uint64_t>(Radix)]);
            v /= static_cast<uint64_t>(Radix);
        } while (v);
        std::string out = (negative ? "-" : "") + body;
        if (digits == 0) return out;
        auto width = static_cast<std::size_t>(digits);
        if (out.size() > width) fail(zkErrTooFewDigits);
        // The zeros go between the sign and the digits: "-005", not "00-5".
        body.insert(0, width - out.size(), '0');
        return (negative ? "-" : "") + body;
    });
}

int32_t ZkString::Replace(std::string& SourceStr, const std::string& SearchStr, const Variant& ReplaceStr,
                          const Variant& Position, const Variant& CaseSensitive, const Variant& MatchWholeWord,
                          const Variant& Delimiters) const {
    std::size_t from = startIndex(Position);
    return guarded([&]() -> int32_t {
        U16 s = text::toUtf16(SourceStr);
        if (SearchStr.empty() || from >= s.size()) return 0;
        Matcher m(text::toUtf16(SearchStr), CaseSensitive, MatchWholeWord, Delimiters);
        std::size_t at = m.find(s, from);
        if (at == U16::npos) return 0;
        s.replace(at, m.length(), textOf(ReplaceStr).value_or(U16()));
        SourceStr = text::toUtf8(s);
        return static_cast<int32_t>(at + 1);
    });
}

std::string ZkString::ReplaceAll(const std::string& SourceStr, const std::string& SearchStr,
                                 const Variant& ReplaceStr, const Variant& CaseSensitive,
                                 const Variant& MatchWholeWord, const Variant& Delimiters) const {
    return guarded([&] {
        U16 s = text::toUtf16(SourceStr);
        Matcher m(text::toUtf16(SearchStr), CaseSensitive, MatchWholeWord, Delimiters);
        if (m.length() == 0 || s.size() < m.length()) return SourceStr;
        U16 replacement = textOf(ReplaceStr).value_or(U16());
        U16 out;
        std::size_t done = 0;
        for (std::size_t at = m.find(s, 0); at != U16::npos; at = m.find(s, done)) {
            out.append(s, done, at - done);
            out += replacement;
            done = at + m.length();
        }
        out.append(s, done);
        return text::toUtf8(out);
    });
}

std::string ZkString::SpacesToTabs(const std::string& SourceStr, const Variant& SpacesPerTab) const {
    const int64_t n = tabWidth(SpacesPerTab);
    return guarded([&] {
        U16 s = text::toUtf16(SourceStr);
        U16 out;
        out.reserve(s.size());
        int64_t col = 0;
        for (std::size_t i = 0; i < s.size();) {
            char16_t c = s[i];
            if (c == u' ') {
                std::size_t run = 0;
                while (i + run < s.size() && s[i + run] == u' ') ++run;
                const int64_t end = col + static_cast<int64_t>(run);
                int64_t at = col;
                for (int64_t stop = (at / n + 1) * n; stop <= end; stop = (at / n + 1) * n) {
                    out += u'\t';
                    at = stop;
                }
                out.append(static_cast<std::size_t>(end - at), u' ');
                col = end;
                i += run;
            } else if (c == u'\t' || c == u'\r' || c == u'\n') {
                out += c;
                col = 0;
                ++i;
            } else {
                std::size_t units = 1;
                col += columnsAt(s, i, &units);
                out.append(s, i, units);
                i += units;
            }
        }
        return text::toUtf8(out);
    });
}

std::string ZkString::TabsToSpaces(const std::string& SourceStr, const Variant& SpacesPerTab) const {
    const int64_t n = tabWidth(SpacesPerTab);
    return guarded([&] {
        if (SourceStr.find('\t') == std::string::npos) return SourceStr;
        U16 s = text::toUtf16(SourceStr);
        U16 out;
        out.reserve(s.size() + 8);
        int64_t col = 0;
        for (std::size_t i = 0; i < s.size();) {
            char16_t c = s[i];
            if (c == u'\t') {
                int64_t k = n - col % n;
                out.append(static_cast<std::size_t>(k), u' ');
                col += k;
                ++i;
            } else if (c == u'\r' || c == u'\n') {
                out += c;
                col = 0;
                ++i;
            } else {
                std::size_t units = 1;
                col += columnsAt(s, i, &units);
                out.append(s, i, units);
                i += units;
            }
        }
        return text::toUtf8(out);
    });
}

std::string ZkString::SpellNumber(const Variant& Number) const {
    return guarded([&]() -> std::string {
        std::string digits;
        bool negative = false;
        if (Number.isNumber()) {
            double v = std::trunc(Number.toNumber());
            if (!std::isfinite(v)) return {};
            negative = v < 0;
            if (std::fabs(v) >= 1e15) fail(zkErrNumberTooLarge);
            digits = std::to_string(static_cast<long long>(std::fabs(v)));
        } else {
            std::string raw;
            try {
                raw = Number.toText();
            } catch (const Error&) {
                return {};  // a value with no text (Null) spells as nothing
            }
            U16 s = text::toUtf16(Trim(raw));
            // The fraction is ignored; the cut is at the first "." (the
            // Japanese decimal point of numbers and of money alike).
            std::size_t dot = s.find(u'.');
            if (dot != U16::npos) s.resize(dot);
            std::size_t i = 0;
            if (!s.empty() && s[0] == u'-') {
                negative = true;
                i = 1;
            }
            // Separators and other marks take no place among the digits:
            // "1,234" is one thousand two hundred thirty four.
            for (; i < s.size(); ++i)
                if (isDigit(s[i])) digits += static_cast<char>(s[i]);
            if (digits.size() > 15) fail(zkErrNumberTooLarge);
        }
        std::string words = spellDigits(digits);
        if (words.empty()) return {};
        return negative ? "negative " + words : words;
    });
}

std::string ZkString::Squeeze(const std::string& SourceStr, const Variant& CharacterSet,
                              const Variant& ReplaceStr) const {
    return guarded([&] {
        U16 s = text::toUtf16(SourceStr);
        CharSet set = CharSet::of(CharacterSet);
        U16 replacement = textOf(ReplaceStr).value_or(U16(u" "));
        U16 out;
        out.reserve(s.size());
        for (std::size_t i = 0; i < s.size();) {
            if (set.contains(s[i])) {
                while (i < s.size() && set.contains(s[i])) ++i;
                out += replacement;
            } else {
                out += s[i++];
            }
        }
        return text::toUtf8(out);
    });
}

}  // namespace fg
