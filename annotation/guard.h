// The boundary of every export: nothing thrown inside the engine crosses
// into the caller. What is caught is written to the error log and answered
// with a result code: out of memory as ANN_ERROR_NO_MEMORY, anything else
// as ANN_ERROR_INVALID_PARAMETER.
#pragma once

#include "annotation/zentrel.h"

#include <cstdint>
#include <utility>

namespace fg::annotation {

std::int32_t annFailureResult() noexcept;  // call only inside a catch

template <class F>
std::int32_t annGuard(F&& body) noexcept {
    try {
        return std::forward<F>(body)();
    } catch (...) {
        return annFailureResult();
    }
}

}  // namespace fg::annotation
