// Runs a peer program of the tests (fax2tiff, tiffinfo, xdotool, a program
// of the build) without a shell, collects what it prints, and bounds its run;
// waits for a program a test started through fg::Process, and for what
// another process makes true.
#pragma once

#include "platform/process/process.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace fg::testing {

struct ProgramRun {
    int exitCode = -1;   // 128 + signal when killed; -1 when it could not start
    std::string output;  // standard output
    std::string errors;  // standard error
};

// Runs `args` (args[0] a path, or a name searched in PATH) and waits up to
// `bound` of real time for its end; a program still running then is killed.
ProgramRun runProgram(const std::vector<std::string>& args,
                      std::chrono::milliseconds bound = std::chrono::milliseconds(60000));

// Waits up to `bound` of real time, whatever the process's clock, for the
// end of `process`; one still running then is killed. Answers its exit code
// (128 + signal when killed).
int waitForEnd(Process& process, std::chrono::milliseconds bound = std::chrono::milliseconds(60000));

// Looks at a condition that another process makes true (nothing in this
// process's pump would wake it) every few real milliseconds, up to a bound
// of real time, so that a fault fails the test instead of hanging it.
bool eventually(const std::function<bool()>& done, std::chrono::milliseconds bound = std::chrono::milliseconds(30000));

}  // namespace fg::testing
