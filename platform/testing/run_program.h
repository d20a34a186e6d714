// Runs a peer program of the tests (fax2tiff, tiffinfo, xdotool, a program
// of the build) without a shell, collects what it prints, and bounds its run;
// talks to a program through pipes on its standard input and output; waits
// for a program a test started through fg::Process, and for what another
// process makes true; tells whether a process is still there.
#pragma once

#include "platform/owned.h"
#include "platform/process/process.h"

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
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

// A program started with a pipe to its standard input and one from its
// standard output, both kept by the test; they close with the object (and
// the process ends as fg::Process ends it).
class PipedProgram {
public:
    // Raises fg::Error as Process::start.
    PipedProgram(const std::string& program, const std::vector<std::string>& args);
    ~PipedProgram();
    PipedProgram(const PipedProgram&) = delete;
    PipedProgram& operator=(const PipedProgram&) = delete;

    Process& process() { return process_; }
    // Writes all of `bytes` to the program's input; false when it cannot.
    bool write(const std::string& bytes);
    // Ends the program's input.
    void closeInput();
    // The next line of its output without the line end, waiting up to
    // `bound` of real time; nullopt at the end of its output or the bound.
    std::optional<std::string> readLine(std::chrono::milliseconds bound = std::chrono::milliseconds(30000));
    // The rest of its output, up to its end (or the bound of real time).
    std::string readAll(std::chrono::milliseconds bound = std::chrono::milliseconds(30000));

private:
    // More output, waiting up to the deadline; false at its end or the deadline.
    bool fill(std::chrono::steady_clock::time_point deadline);
    Process process_;
    Descriptor output_;
    Descriptor input_;  // closed first: the program sees the end of its input
    std::string pending_;
};

// Starts a program that tells its caller one line on its descriptor 3 (the
// port or display number it picked, say), a pipe of the caller's, so that its
// standard output stays the caller's. `options.childFd` is that pipe's. The
// line comes without its end, "" when the program ends its descriptor or
// `bound` of real time passes first. Raises fg::Error as Process::start.
Process startTellingLine(const std::string& program, const std::vector<std::string>& args, SpawnOptions options,
                         std::string& line, std::chrono::milliseconds bound = std::chrono::milliseconds(30000));

// A process running with a home as its program folder (FAXGATE_HOME in its
// environment), and the name of its program.
struct HomeProcess {
    pid_t pid = 0;
    std::string name;
};
// Every such process of `home` (but this one), found through /proc.
std::vector<HomeProcess> processesOfHome(const std::string& home);

// Runs the system's python3 with the script text and its arguments (a
// test's way to make archives as other programs make them).
ProgramRun runPython(const std::string& script, const std::vector<std::string>& args = {});

// Waits up to `bound` of real time, whatever the process's clock, for the
// end of `process`; one still running then is killed. Answers its exit code
// (128 + signal when killed).
int waitForEnd(Process& process, std::chrono::milliseconds bound = std::chrono::milliseconds(60000));

// Looks at a condition that another process makes true (nothing in this
// process's pump would wake it) every few real milliseconds, up to a bound
// of real time, so that a fault fails the test instead of hanging it.
bool eventually(const std::function<bool()>& done, std::chrono::milliseconds bound = std::chrono::minutes(2));

// Whether a process of that id exists (a zombie not yet reaped included).
bool processExists(pid_t pid);

}  // namespace fg::testing
