// The fg::Error a call raises, for tests that check what a member raises:
// its number alone (0 when it raises none), or number, text and source.
// Any other exception goes on to the test.
#pragma once

#include "platform/error.h"

#include <functional>
#include <string>

namespace fg::testing {

inline long errorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const Error& e) {
        return e.number();
    }
    return 0;
}

struct Raised {
    long number = 0;  // 0 when the call raised no fg::Error
    std::string description;
    std::string source;
};

inline Raised raisedBy(const std::function<void()>& call) {
    try {
        call();
    } catch (const Error& e) {
        return {e.number(), e.description(), e.source()};
    }
    return {};
}

}  // namespace fg::testing
