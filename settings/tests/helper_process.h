// Starts the settings test helper as a child process.
#pragma once

#include "platform/process/process.h"

#include <string>
#include <vector>

namespace fg::testing {

inline Process startHelper(const std::vector<std::string>& args) {
    return Process::start(SETTINGS_TEST_HELPER, args);
}

}  // namespace fg::testing
