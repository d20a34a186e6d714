// A language mode, as the option file and the message boxes use it.
#pragma once

#include <cstdint>
#include <string>

namespace fg {

enum E_LANGUAGE : int32_t {
    NO_SET = 0,
    JP = 1,
    US = 2,
};

class LanguageObject {
public:
    E_LANGUAGE Mode() const { return mode_; }
    // Stored unchecked: a value outside the enumeration reads back as set.
    void setMode(E_LANGUAGE eInLanguage) { mode_ = eInLanguage; }
    // "No Setting", "Japanese", "English", or "Err" for any other value.
    std::string toString() const;

private:
    E_LANGUAGE mode_ = NO_SET;
};

}  // namespace fg
