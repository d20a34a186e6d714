#include "platform/settings_values.h"

#include "platform/error.h"
#include "platform/text.h"
#include "platform/values.h"
#include "platform/xml.h"

#include <charconv>

namespace fg::settings_values {

std::string childText(const xml::Node& root, const char* name) {
    for (const xml::Node& child : root.childNodes())
        if (child.type() == xml::NodeType::Element && child.nodeName() == name) return text::trimBlanks(child.text());
    return {};
}

std::chrono::milliseconds milliseconds(const xml::Node& root, const char* name, std::chrono::milliseconds fallback,
                                       const std::string& file, const char* source) {
    std::string value = childText(root, name);
    if (value.empty()) return fallback;
    std::int32_t ms = 0;
    try {
        ms = toInt32(value);
    } catch (const Error&) {
        ms = 0;
    }
    if (ms <= 0)
        throw Error(errnum::TypeMismatch, file + ": " + name + " はミリ秒の正の整数で指定してください: " + value, source);
    return std::chrono::milliseconds(ms);
}

std::uint64_t positiveNumber(const xml::Node& root, const char* name, std::uint64_t fallback, const std::string& file,
                             const char* source) {
    std::string value = childText(root, name);
    if (value.empty()) return fallback;
    std::uint64_t n = 0;
    auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (ec != std::errc() || end != value.data() + value.size() || n == 0)
        throw Error(errnum::TypeMismatch, file + ": " + name + " は正の整数で指定してください: " + value, source);
    return n;
}

}  // namespace fg::settings_values
