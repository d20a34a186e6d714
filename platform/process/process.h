// Programs started as child processes: without a shell, with an explicit
// working folder and argument list, watched through a process descriptor,
// terminated within a bound, and always reaped.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace fg {

// A process id, as the system gives it.
using ProcessId = pid_t;
// The id of the running process.
ProcessId currentProcessId();

struct SpawnOptions {
    // The child's working folder; "" keeps the caller's. It must exist.
    std::string workingFolder;
    // "NAME=value" entries added to the caller's environment (replacing an
    // entry of the same name).
    std::vector<std::string> environment;
    // Starts the child in a session of its own, so that it does not end
    // with the caller's terminal (a server started from a window).
    bool newSession = false;
    // A descriptor that becomes the child's descriptor 3 (the socket of a
    // child object). Every other descriptor above 2 is closed in the child.
    int childFd = -1;
    // A descriptor that becomes the child's standard input (the read end of
    // a pipe its caller writes, say); -1 leaves the caller's. Honoured by start().
    int inputFd = -1;
    // A descriptor that becomes the child's standard output (the write end
    // of a pipe its caller reads, say); -1 leaves the caller's. Honoured by start().
    int outputFd = -1;
    // A file that takes the child's standard output and standard error
    // (created or emptied first); "" leaves them the caller's. Honoured by start().
    std::string outputFile;
    // Starts the child in a process group of its own, so that the signals a
    // terminal sends to the caller's group (Ctrl-C) reach the caller alone.
    // Honoured by start().
    bool ownProcessGroup = false;
    // The child is sent SIGTERM when the thread that started it ends, killed
    // or not, so that it does not outlive the caller. Honoured by start().
    bool endWithParent = false;
};

class Process {
public:
    using Ms = std::chrono::milliseconds;

    // Starts `program` (a path; no shell, no search) with `args` after
    // argv[0]. Raises fg::Error 53 when the program does not exist, 76 when
    // the working folder does not, 70 when either cannot be used, 75 for
    // any other failure of the start.
    static Process start(const std::string& program, const std::vector<std::string>& args,
                         const SpawnOptions& options = {});
    // Starts a program that nobody waits for: it runs on after the caller
    // has forgotten it, and the system reaps it (it is not our child).
    // Raises as start(). Answers its process id.
    static pid_t startDetached(const std::string& program, const std::vector<std::string>& args,
                               const SpawnOptions& options = {});

    Process() = default;
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    // A process still running is terminated (see terminate) unless detached.
    ~Process();

    [[nodiscard]] bool valid() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // The process descriptor, readable once the process has ended (for an
    // EventPump watch); -1 where the kernel offers none.
    int descriptor() const { return pidfd_; }

    // Whether the process still runs; reaps it once it has ended.
    [[nodiscard]] bool running();
    // The exit code once it has ended (128 + signal for a killed process).
    std::optional<int> exitCode() const { return exitCode_; }
    // Waits up to `bound` of the system's time for the end; true when it ended (and was reaped).
    [[nodiscard]] bool waitFor(Ms bound);
    // Asks the process to end (SIGTERM), waits up to `grace`, then kills it
    // (SIGKILL) and reaps it. True when it ended within the grace.
    [[nodiscard]] bool terminate(Ms grace = Ms(5000));
    // Kills the process (SIGKILL) without asking first, and reaps it: a
    // process that has stopped answering (hung, or stopped by a signal)
    // would not act on SIGTERM either.
    void kill();
    // Lets the process run on unwatched: the destructor will not end it.
    void detach();

private:
    void reapIfEnded(bool block);
    void closeDescriptor();
    pid_t pid_ = -1;
    int pidfd_ = -1;
    std::optional<int> exitCode_;
};

// Runs `program` (a path; no shell, no search) in place of the running
// process, with `args` after argv[0]: the same process id, descriptors,
// environment and ignored signals. Returns only by raising, as start() would
// for a program that cannot be started.
[[noreturn]] void replaceProcess(const std::string& program, const std::vector<std::string>& args);

// Whether a process of that id exists (any process, not only our children).
[[nodiscard]] bool processExists(pid_t pid);

// Names one process for as long as the machine runs: its id and the moment
// it started, "<pid>:<start>", or "" when no process has that id. A file
// that notes its writer this way can tell later whether that writer still
// runs, even once the id has come round again to another process.
std::string processMark(pid_t pid);
// Whether the process a mark names still runs.
[[nodiscard]] bool processMarkLive(const std::string& mark);

// Ends a process that is not our child, one left running by an earlier run
// of the system, say: only when it runs the file `program` (the same file,
// whatever the path's spelling), with SIGTERM first and SIGKILL after
// `grace` of the system's time. True when such a process was found and has
// ended; false when `pid` runs no more or runs another program.
[[nodiscard]] bool endLeftoverProcess(pid_t pid, const std::string& program, std::chrono::milliseconds grace);

// The real time that a bound on another process's answer takes: the bound in
// the system's time, but under a scaled clock never less than the lesser of
// the bound and fifteen seconds, so that a loaded machine is not taken for a
// hung peer.
std::chrono::nanoseconds realBound(std::chrono::milliseconds bound);
// The same for the first answer of a program just started: loading it (under
// a sanitizer, say) is what a loaded machine slows most, so the floor is a
// minute. Only that answer waits so long; a bound on what a running program
// does (a print that never ends, say) keeps the floor of realBound.
std::chrono::nanoseconds realStartBound(std::chrono::milliseconds bound);

// Finds a program of the system by name, without regard to case: first in the
// folder of the running program, then in the program folder (FAXGATE_HOME).
// nullopt when neither holds it.
std::optional<std::string> findProgram(const std::string& name);
// Finds an outside program by name as a shell would: the first regular,
// executable file of that name in the folders of PATH (the usual system
// folders when PATH is unset or empty), so that an installation or a test
// can put its own first. An empty PATH element is passed over: the current
// folder is never searched. nullopt when no folder holds it.
std::optional<std::string> findOnPath(const std::string& name);
// The folder of the running program's file, ending with "/".
std::string runningProgramFolder();

}  // namespace fg
