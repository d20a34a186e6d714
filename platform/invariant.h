// Invariants of our own code, checked in every build.
#pragma once

#include "platform/error.h"

#include <source_location>
#include <string>
#include <string_view>
#include <utility>

namespace fg {

namespace errnum {
inline constexpr long InternalError = 51;  // a broken invariant of our own code
}

// An assert is compiled out of the release builds, where a breach would go
// on into a crash or corrupt state. A breach is a bug: it is raised as
// fg::Error 51 with what broke and where, so that the public member's
// boundary logs it and answers its failure.
[[noreturn]] void invariantBroken(std::string_view what, std::string source, std::source_location where);

inline void checkInvariant(bool holds, std::string_view what, std::string source = {},
                           std::source_location where = std::source_location::current()) {
    if (!holds) [[unlikely]]
        invariantBroken(what, std::move(source), where);
}

}  // namespace fg
