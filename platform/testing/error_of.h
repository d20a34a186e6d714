// The number of the fg::Error a call raises; 0 when it raises none.
#pragma once

#include "platform/error.h"

#include <functional>

namespace fg::testing {

inline long errorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const Error& e) {
        return e.number();
    }
    return 0;
}

}  // namespace fg::testing
