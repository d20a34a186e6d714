// Whether a stamp or generated name has a shape: "#" stands for one ASCII
// digit, "%" for one ASCII letter or digit, any other character for itself.
#pragma once

#include <string_view>

namespace fg::testing {

inline bool fitsShape(std::string_view text, std::string_view shape) {
    if (text.size() != shape.size()) return false;
    for (decltype(text.size()) i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool digit = c >= '0' && c <= '9';
        const bool alnum = digit || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (shape[i] == '#' ? !digit : shape[i] == '%' ? !alnum : c != shape[i]) return false;
    }
    return true;
}

}  // namespace fg::testing
