// Timing for the benchmark programs: milliseconds per call, the best of
// three runs, so that a busy moment of the machine does not count.
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>

namespace fg::testing {

// `call` gets the running number of the call (0, 1, ... over all runs).
inline double msPerCall(int calls, const std::function<void(int)>& call) {
    double best = 1e300;
    for (int run = 0; run < 3; ++run) {
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < calls; ++i) call(run * calls + i);
        std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count() / calls);
    }
    return best;
}

}  // namespace fg::testing
