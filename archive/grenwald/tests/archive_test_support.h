// Test support for the archive tests: running the peer programs (GNU tar,
// unzip, gcab, arj) without a shell and reading what they printed.
#pragma once

#include "platform/files.h"
#include "platform/process/process.h"

#include <unistd.h>

#include <string>
#include <vector>

namespace fg::testing {

struct ProgramRun {
    int exitCode = -1;
    std::string output;
};

inline ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                             const std::string& workingFolder = "") {
    char outputFile[] = "/tmp/fg-archive-test-XXXXXX";
    int fd = ::mkstemp(outputFile);
    if (fd >= 0) ::close(fd);
    SpawnOptions options;
    options.workingFolder = workingFolder;
    options.outputFile = outputFile;
    ProgramRun run;
    Process p = Process::start(program, args, options);
    if (p.waitFor(std::chrono::milliseconds(60000))) run.exitCode = p.exitCode().value_or(-1);
    run.output = fs::readFile(outputFile);
    (void)fs::removeFile(outputFile);
    return run;
}

inline std::vector<std::string> outputLines(const std::string& output) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        if (end > start) lines.push_back(output.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace fg::testing
