#include "common/ferrund/date_extent_object.h"

#include "platform/text.h"

#include <chrono>
#include <cstdio>
#include <optional>
#include <string_view>

namespace fg {

namespace {

// Reads 1..maxDigits ASCII digits at the front of s.
std::optional<int> digits(std::string_view& s, std::size_t minDigits, std::size_t maxDigits) {
    std::size_t n = 0;
    int value = 0;
    while (n < s.size() && n < maxDigits && s[n] >= '0' && s[n] <= '9') value = value * 10 + (s[n++] - '0');
    if (n < minDigits) return std::nullopt;
    if (n < s.size() && s[n] >= '0' && s[n] <= '9') return std::nullopt;  // too many digits
    s.remove_prefix(n);
    return value;
}

bool take(std::string_view& s, std::string_view what) {
    if (s.substr(0, what.size()) != what) return false;
    s.remove_prefix(what.size());
    return true;
}

// "H:MM" or "H:MM:SS", whole text.
bool isTimeOfDay(std::string_view s) {
    auto h = digits(s, 1, 2);
    if (!h || *h > 23 || !take(s, ":")) return false;
    auto m = digits(s, 2, 2);
    if (!m || *m > 59) return false;
    if (take(s, ":")) {
        auto sec = digits(s, 2, 2);
        if (!sec || *sec > 59) return false;
    }
    return s.empty();
}

// The "yyyy/mm/dd" form of a date text, or nothing when it is none.
std::optional<std::string> normalizeDate(const std::string& value) {
    std::string trimmed = text::trimBlanks(value);
    std::string_view s = trimmed;
    auto y = digits(s, 4, 4);
    if (!y) return std::nullopt;
    std::optional<int> m, d;
    if (take(s, "年")) {
        m = digits(s, 1, 2);
        if (!m || !take(s, "月")) return std::nullopt;
        d = digits(s, 1, 2);
        if (!d || !take(s, "日")) return std::nullopt;
    } else {
        if (s.empty() || (s[0] != '/' && s[0] != '-' && s[0] != '.')) return std::nullopt;
        const char sep[2] = {s[0], '\0'};
        s.remove_prefix(1);
        m = digits(s, 1, 2);
        if (!m || !take(s, sep)) return std::nullopt;
        d = digits(s, 1, 2);
        if (!d) return std::nullopt;
    }
    if (!s.empty()) {
        if (s[0] != ' ' && s[0] != 'T') return std::nullopt;
        std::string rest = text::trimBlanks(s.substr(1));
        if (!isTimeOfDay(rest)) return std::nullopt;
    }
    using namespace std::chrono;
    year_month_day date{year{*y}, month{static_cast<unsigned>(*m)}, day{static_cast<unsigned>(*d)}};
    if (*y < 100 || !date.ok()) return std::nullopt;
    char out[48];
    std::snprintf(out, sizeof out, "%04d/%02d/%02d", *y, *m, *d);
    return std::string(out);
}

}  // namespace

bool DateExtentObject::assign(const Variant& value, std::string& bound) {
    bound.clear();
    if (!value.isText()) return false;
    try {
        auto date = normalizeDate(value.toText());
        if (!date) return false;
        bound = *date;
        return true;
    } catch (...) {
        return false;
    }
}

bool DateExtentObject::SetStartExtent(const Variant& StartDate) { return assign(StartDate, start_); }
bool DateExtentObject::SetEndExtent(const Variant& EndDate) { return assign(EndDate, end_); }

bool DateExtentObject::LessCheck() const {
    if (start_.empty() || end_.empty()) return true;
    // Both bounds are "yyyy/mm/dd", so their text order is their date order.
    return end_ >= start_;
}

}  // namespace fg
