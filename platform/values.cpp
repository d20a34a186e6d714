#include "platform/values.h"

#include "platform/text.h"

#include <charconv>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <limits>

namespace fg {

namespace {

std::string_view strip(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// Parses a decimal number in the classic notation ("12", "-3.5", "+1e3", "&H1F").
std::optional<double> parseNumber(std::string_view raw) {
    std::string_view s = strip(raw);
    if (s.empty()) return std::nullopt;
    if (s.size() > 2 && s[0] == '&' && (s[1] == 'H' || s[1] == 'h')) {
        long long v = 0;
        auto r = std::from_chars(s.data() + 2, s.data() + s.size(), v, 16);
        if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return std::nullopt;
        return static_cast<double>(v);
    }
    std::string_view body = s;
    bool plus = body.front() == '+';
    if (plus) body.remove_prefix(1);
    // from_chars also takes "inf" and "nan", which are no numbers here.
    std::string_view digits = body.substr(!plus && !body.empty() && body.front() == '-' ? 1 : 0);
    if (digits.empty() || !(std::isdigit(static_cast<unsigned char>(digits.front())) || digits.front() == '.'))
        return std::nullopt;
    double v = 0;
    auto r = std::from_chars(body.data(), body.data() + body.size(), v);
    if (r.ec == std::errc::result_out_of_range) return std::numeric_limits<double>::infinity();
    if (r.ec != std::errc() || r.ptr != body.data() + body.size()) return std::nullopt;
    return v;
}

template <class I>
I toWhole(std::string_view text) {
    auto v = parseNumber(text);
    if (!v) throw Error::standard(errnum::TypeMismatch);
    double rounded = std::nearbyint(*v);  // the default rounding mode rounds half to even
    if (!std::isfinite(rounded) || rounded < static_cast<double>(std::numeric_limits<I>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<I>::max()))
        throw Error::standard(errnum::Overflow);
    return static_cast<I>(rounded);
}

}  // namespace

int16_t toInt16(std::string_view text) { return toWhole<int16_t>(text); }
int32_t toInt32(std::string_view text) { return toWhole<int32_t>(text); }

double toDouble(std::string_view text) {
    auto v = parseNumber(text);
    if (!v) throw Error::standard(errnum::TypeMismatch);
    if (!std::isfinite(*v)) throw Error::standard(errnum::Overflow);
    return *v;
}

bool isNumeric(std::string_view text) {
    auto v = parseNumber(text);
    return v.has_value();
}

bool toBoolean(std::string_view text) {
    std::string_view s = strip(text);
    if (text::iequals(s, "True")) return true;
    if (text::iequals(s, "False")) return false;
    auto v = parseNumber(s);
    if (!v) throw Error::standard(errnum::TypeMismatch);
    return *v != 0;
}

std::string fromBoolean(bool value) { return value ? "True" : "False"; }

std::string fromNumber(long long value) { return std::to_string(value); }

std::string fromNumber(double value) {
    if (std::nearbyint(value) == value && std::fabs(value) < 1e15)
        return std::to_string(static_cast<long long>(value));
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

std::string Variant::toText() const {
    if (isEmpty()) return {};
    if (isNull()) throw Error::standard(94 /* invalid use of Null */);
    if (isText()) return std::get<std::string>(v_);
    if (isBoolean()) return fromBoolean(std::get<bool>(v_));
    return fromNumber(std::get<double>(v_));
}

double Variant::toNumber() const {
    if (isEmpty()) return 0;
    if (isNull()) throw Error::standard(94);
    if (isNumber()) return std::get<double>(v_);
    if (isBoolean()) return std::get<bool>(v_) ? -1 : 0;
    return toDouble(std::get<std::string>(v_));
}

bool keysEqual(std::string_view a, std::string_view b) { return text::icompare(a, b) == 0; }

}  // namespace fg
