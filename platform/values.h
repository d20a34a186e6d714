// Value conversions with the field's errors, a 1-based keyed collection, and
// a small variant for values that may be empty, text or number.
#pragma once

#include "platform/error.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace fg {

// Text to a whole number. Surrounding blanks are accepted, a decimal part is
// rounded half to even; text that is no number raises error 13 (type
// mismatch), a number outside the range error 6 (overflow).
int16_t toInt16(std::string_view text);
int32_t toInt32(std::string_view text);
double toDouble(std::string_view text);  // error 13 for text that is no number
[[nodiscard]] bool isNumeric(std::string_view text);
// "True"/"False" in any case, or a number (nonzero is True); else error 13.
[[nodiscard]] bool toBoolean(std::string_view text);
std::string fromBoolean(bool value);  // "True" / "False"
// Numbers as text, classic digits, no grouping.
std::string fromNumber(long long value);
std::string fromNumber(double value);

// A value that may be empty, null, text, a number or a Boolean.
class Variant {
public:
    struct Empty {};
    struct Null {};
    Variant() = default;
    Variant(Null) : v_(Null{}) {}
    Variant(std::string s) : v_(std::move(s)) {}
    Variant(const char* s) : v_(std::string(s)) {}
    Variant(double d) : v_(d) {}
    Variant(int i) : v_(static_cast<double>(i)) {}
    Variant(long long i) : v_(static_cast<double>(i)) {}
    Variant(bool b) : v_(b) {}

    [[nodiscard]] bool isEmpty() const { return std::holds_alternative<Empty>(v_); }
    [[nodiscard]] bool isNull() const { return std::holds_alternative<Null>(v_); }
    [[nodiscard]] bool isText() const { return std::holds_alternative<std::string>(v_); }
    [[nodiscard]] bool isNumber() const { return std::holds_alternative<double>(v_); }
    [[nodiscard]] bool isBoolean() const { return std::holds_alternative<bool>(v_); }

    // Text form: "" for empty, error 94-like 13 for null.
    std::string toText() const;
    // The text form, or "" for a value that has none (null).
    std::string textOrEmpty() const { return isNull() ? std::string() : toText(); }
    double toNumber() const;  // error 13 when not convertible

private:
    std::variant<Empty, Null, std::string, double, bool> v_;
};

// An ordered, 1-based collection with optional string keys compared without
// regard to case. A missing key or position raises error 5.
template <class T>
class Collection {
public:
    void add(T item, std::optional<std::string> key = std::nullopt) {
        if (key && find(*key) != npos) throw Error::standard(457 /* key already used */);
        items_.push_back({std::move(key), std::move(item)});
    }
    std::size_t count() const { return items_.size(); }
    T& item(std::size_t position) {
        if (position < 1 || position > items_.size()) throw Error::standard(errnum::InvalidProcedureCall);
        return items_[position - 1].second;
    }
    const T& item(std::size_t position) const { return const_cast<Collection*>(this)->item(position); }
    T& item(const std::string& key) {
        std::size_t i = find(key);
        if (i == npos) throw Error::standard(errnum::InvalidProcedureCall);
        return items_[i].second;
    }
    const T& item(const std::string& key) const { return const_cast<Collection*>(this)->item(key); }
    [[nodiscard]] bool contains(const std::string& key) const { return find(key) != npos; }
    void remove(std::size_t position) {
        if (position < 1 || position > items_.size()) throw Error::standard(errnum::InvalidProcedureCall);
        items_.erase(items_.begin() + static_cast<long>(position - 1));
    }
    void remove(const std::string& key) {
        std::size_t i = find(key);
        if (i == npos) throw Error::standard(errnum::InvalidProcedureCall);
        items_.erase(items_.begin() + static_cast<long>(i));
    }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);
    std::size_t find(const std::string& key) const;
    std::vector<std::pair<std::optional<std::string>, T>> items_;
};

[[nodiscard]] bool keysEqual(std::string_view a, std::string_view b);

template <class T>
std::size_t Collection<T>::find(const std::string& key) const {
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (items_[i].first && keysEqual(*items_[i].first, key)) return i;
    return npos;
}

}  // namespace fg
