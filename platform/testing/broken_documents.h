// Message documents that no builder can read, made from good ones: for the
// tests and the soak that offer a broken document beside good ones.
#pragma once

#include <string>

namespace fg::testing {

// The first half of the document's bytes, as a transfer cut short leaves it.
inline std::string cutInHalf(const std::string& document) { return document.substr(0, document.size() / 2); }

// The document with an internal entity that stands for ten million bytes,
// far past the bound a load allows, used once in its root element.
inline std::string withEntityPastTheBound(const std::string& document) {
    std::string entities = "<!DOCTYPE r [<!ENTITY l0 \"0123456789\">";
    for (char level = '1'; level <= '6'; ++level) {
        entities += std::string("<!ENTITY l") + level + " \"";
        for (int k = 0; k < 10; ++k) entities += std::string("&l") + char(level - 1) + ";";
        entities += "\">";
    }
    entities += "]>";
    // After the declaration, and in the root's text before its first child.
    const std::size_t at = document.compare(0, 5, "<?xml") == 0 ? document.find("?>") + 2 : 0;
    std::string out = document.substr(0, at) + entities;
    const std::size_t rootEnd = document.find('>', document.find('<', at));
    out += document.substr(at, rootEnd + 1 - at) + "&l6;" + document.substr(rootEnd + 1);
    return out;
}

}  // namespace fg::testing
