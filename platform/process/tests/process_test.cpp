#include "platform/clock.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/process/process.h"
#include "platform/text.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_home.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace fg {
namespace {

using namespace std::chrono_literals;
const std::string kChild = PROCESS_TEST_CHILD;

using testing::processExists;

// Whether a process that is not our child still runs: one that has ended
// may wait as a zombie until whoever adopted it reaps it.
bool running(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t close = all.rfind(')');
    return close != std::string::npos && close + 2 < all.size() && all[close + 2] != 'Z';
}

using text::lines;

TEST(Process, StartsWithItsFolderArgumentsAndEnvironmentAndNothingElse) {
    // Both ways of starting: a child that ends with its parent is forked by hand.
    for (bool endWithParent : {false, true}) {
        SCOPED_TRACE(endWithParent ? "ending with its parent" : "plain");
        testing::TempDir dir;
        fs::makeFolders(dir / "work folder");
        std::string reportFile = dir / "report.txt";
        // A descriptor of ours without close-on-exec must not reach the child.
        int leaky = ::dup(1);
        SpawnOptions options;
        options.workingFolder = dir / "work folder";
        options.environment = {"FAXGATE_TEST_VALUE=値 with space"};
        options.endWithParent = endWithParent;
        options.ownProcessGroup = endWithParent;
        Process p = Process::start(kChild, {"report", reportFile, "a b", "", "*.XML", "$HOME;ls"}, options);
        ::close(leaky);
        ASSERT_TRUE(p.waitFor(20000ms));
        EXPECT_EQ(p.exitCode(), 0);
        EXPECT_FALSE(p.running());
        auto got = lines(fs::readFile(reportFile));
        // No shell: blanks, wildcards and shell syntax reach the program as they are.
        EXPECT_EQ(got, (std::vector<std::string>{dir / "work folder", "arg:a b", "arg:", "arg:*.XML", "arg:$HOME;ls",
                                                 "env:値 with space"}));

    }
}

TEST(Process, AChildCanHaveAGroupOfItsOwnAndEndWithItsParent) {
    {
        Process plain = Process::start(kChild, {"sleep", "30000"});
        SpawnOptions o;
        o.ownProcessGroup = true;
        Process grouped = Process::start(kChild, {"sleep", "30000"}, o);
        o.endWithParent = true;
        Process forked = Process::start(kChild, {"sleep", "30000"}, o);
        EXPECT_EQ(::getpgid(plain.pid()), ::getpgrp());
        EXPECT_EQ(::getpgid(grouped.pid()), grouped.pid());
        EXPECT_EQ(::getpgid(forked.pid()), forked.pid());
    }
    // A parent killed outright: the sleeper that was to end with it ends, the
    // other one runs on.
    testing::TempDir dir;
    for (const char* ends : {"1", "0"}) {
        SCOPED_TRACE(std::string("ends with its parent: ") + ends);
        Process middle = Process::start(kChild, {"parent", dir / "pid", ends});
        pid_t sleeper = 0;
        for (int i = 0; i < 2000 && sleeper == 0; ++i) {
            if (fs::fileExists(dir / "pid")) sleeper = std::atoi(fs::readFile(dir / "pid").c_str());
            else std::this_thread::sleep_for(5ms);
        }
        ASSERT_GT(sleeper, 0);
        (void)fs::removeFile(dir / "pid");
        ::kill(middle.pid(), SIGKILL);
        ASSERT_TRUE(middle.waitFor(20000ms));
        if (std::string(ends) == "1") {
            for (int i = 0; i < 2000 && running(sleeper); ++i) std::this_thread::sleep_for(5ms);
            EXPECT_FALSE(running(sleeper));
        } else {
            std::this_thread::sleep_for(100ms);
            EXPECT_TRUE(running(sleeper));
            EXPECT_TRUE(endLeftoverProcess(sleeper, kChild, 1000ms));
        }
    }
}

TEST(Process, ALeftoverProcessIsEndedOnlyWhenItRunsTheGivenProgram) {
    pid_t stubborn = Process::startDetached(kChild, {"ignore-term", "30000"});
    pid_t polite = Process::startDetached(kChild, {"sleep", "30000"});
    // Another program, or the right program under another spelling of its path.
    EXPECT_FALSE(endLeftoverProcess(stubborn, "/bin/sh", 100ms));
    EXPECT_TRUE(processExists(stubborn));
    std::string other = fs::folderOf(kChild) + "./" + fs::nameOf(kChild);
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(endLeftoverProcess(stubborn, other, 300ms));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    EXPECT_TRUE(endLeftoverProcess(polite, kChild, 20000ms));
    for (pid_t pid : {stubborn, polite}) {
        for (int i = 0; i < 2000 && running(pid); ++i) std::this_thread::sleep_for(5ms);
        EXPECT_FALSE(running(pid));
        EXPECT_FALSE(endLeftoverProcess(pid, kChild, 100ms));  // gone: nothing to end
    }
    EXPECT_FALSE(endLeftoverProcess(0, kChild, 100ms));
}

TEST(Process, StandardOutputGoesWhereTheCallerSays) {
    for (bool endWithParent : {false, true}) {
        int fds[2];
        ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
        SpawnOptions options;
        options.outputFd = fds[1];
        options.endWithParent = endWithParent;
        Process p = Process::start(kChild, {"report", "-", "x"}, options);
        ::close(fds[1]);
        std::string out;
        char buf[256];
        for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<std::size_t>(n));
        ::close(fds[0]);
        ASSERT_TRUE(p.waitFor(20000ms));
        EXPECT_EQ(p.exitCode(), 0);
        auto got = lines(out);
        ASSERT_GE(got.size(), 3u);
        EXPECT_EQ(got[1], "arg:x");
        // Only standard output was given: the pipe's own descriptor does not stay open in the child.
        EXPECT_EQ(got.size(), 3u) << out;
    }
}

TEST(Process, StandardInputComesFromWhereTheCallerSays) {
    // The pipes' other ends are the test's (inputFd and outputFd of the start).
    testing::PipedProgram child(kChild, {"copy-input"});
    const std::string sent = "RunTimeStart\ncheckFAXNo\t0312345678\n";
    ASSERT_TRUE(child.write(sent));
    child.closeInput();  // the child's input ends, and so does the child
    EXPECT_EQ(child.readAll(), sent);
    ASSERT_TRUE(child.process().waitFor(20000ms));
    EXPECT_EQ(child.process().exitCode(), 0);
}

TEST(Process, AProgramTellsItsCallerOneLineOnADescriptorOfItsOwn) {
    struct Case {
        const char* script;
        const char* line;
        bool untilTheBound;
    };
    const Case cases[] = {
        {"printf 'PORT 5\\nmore\\n' >&3; exec sleep 30", "PORT 5", false},  // told, and running on
        {"printf 'PO' >&3; sleep 0.05; printf 'RT 7\\n' >&3; exec sleep 30", "PORT 7", false},  // in pieces
        // Ended before the line did, or told nothing: the end is seen at
        // once, as only the program holds the pipe's other end.
        {"printf 'PORT' >&3", "", false},
        {"exit 0", "", false},
        {"exec sleep 30", "", true},
    };
    const auto bound = 3000ms;
    for (const Case& c : cases) {
        std::string line = "stale";
        auto started = std::chrono::steady_clock::now();
        Process p = testing::startTellingLine("/bin/sh", {"-c", c.script}, {}, line, bound);
        auto took = std::chrono::steady_clock::now() - started;
        EXPECT_EQ(line, c.line) << c.script;
        if (c.untilTheBound)
            EXPECT_GE(took, bound) << c.script;
        else
            EXPECT_LT(took, bound) << c.script;
        EXPECT_TRUE(p.valid()) << c.script;
        (void)p.terminate(0ms);
    }
    std::string line;
    EXPECT_THROW(testing::startTellingLine("/nonexistent/program", {}, {}, line), Error);
}

TEST(Process, OutputCanGoToAFileThatIsEmptiedFirst) {
    testing::TempDir dir;
    fs::writeFileAtomic(dir / "out.txt", "old content that must not stay\n");
    SpawnOptions options;
    options.outputFile = dir / "out.txt";
    Process p = Process::start(kChild, {"report", "-", "y"}, options);
    ASSERT_TRUE(p.waitFor(20000ms));
    EXPECT_EQ(p.exitCode(), 0);
    auto got = lines(fs::readFile(dir / "out.txt"));
    ASSERT_GE(got.size(), 2u);
    EXPECT_EQ(got[1], "arg:y");
    EXPECT_EQ(fs::readFile(dir / "out.txt").find("old content"), std::string::npos);
}

TEST(Process, ExitCodesAndSignalsAreReported) {
    struct Case {
        std::vector<std::string> args;
        int code;
    } cases[] = {{{"exit", "0"}, 0}, {{"exit", "7"}, 7}, {{"exit", "255"}, 255}};
    for (const auto& c : cases) {
        Process p = Process::start(kChild, c.args);
        ASSERT_TRUE(p.waitFor(20000ms));
        EXPECT_EQ(p.exitCode(), c.code);
    }
    Process killed = Process::start(kChild, {"sleep", "30000"});
    ::kill(killed.pid(), SIGKILL);
    ASSERT_TRUE(killed.waitFor(20000ms));
    EXPECT_EQ(killed.exitCode(), 128 + SIGKILL);
}

TEST(Process, StartFailuresSayWhatWasWrong) {
    testing::TempDir dir;
    fs::writeFileAtomic(dir / "not-executable", "#!/bin/sh\n");
    fs::writeFileAtomic(dir / "no-program", "neither a binary nor a script\n");
    ::chmod((dir / "no-program").c_str(), 0755);
    struct Case {
        std::string program;
        std::string folder;
        long number;
    } cases[] = {
        {dir / "missing", "", errnum::FileNotFound},
        {dir.path(), "", errnum::FileNotFound},  // a folder is no program
        {kChild, dir / "no such folder", errnum::PathNotFound},
        {dir / "not-executable", "", errnum::PermissionDenied},
        {dir / "no-program", "", errnum::PathFileAccessError},  // refused by exec itself
    };
    for (const auto& c : cases) {
        // Either way of starting, a child that ends with its parent included.
        for (bool endWithParent : {false, true}) {
            SpawnOptions o;
            o.workingFolder = c.folder;
            o.endWithParent = endWithParent;
            try {
                Process::start(c.program, {"exit", "0"}, o);
                ADD_FAILURE() << "started " << c.program;
            } catch (const Error& e) {
                EXPECT_EQ(e.number(), c.number) << c.program << " " << e.description();
            }
        }
        SpawnOptions o;
        o.workingFolder = c.folder;
        EXPECT_THROW(Process::startDetached(c.program, {"exit", "0"}, o), Error) << c.program;
    }
}

// Whether the child has set up its SIGTERM disposition yet (`field` SigCgt:
// caught, SigIgn: ignored), looked at for up to 20 real seconds: a loaded
// machine may take long to get the child that far.
bool takesTerm(pid_t pid, const std::string& field) {
    auto until = std::chrono::steady_clock::now() + 20s;
    while (std::chrono::steady_clock::now() < until) {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind(field + ":", 0) != 0) continue;
            unsigned long long mask = std::stoull(line.substr(field.size() + 1), nullptr, 16);
            if (mask & (1ull << (SIGTERM - 1))) return true;
        }
        std::this_thread::sleep_for(2ms);
    }
    return false;
}

TEST(Process, TerminateAsksFirstThenKillsAfterTheGrace) {
    Process polite = Process::start(kChild, {"term-exit"});
    ASSERT_TRUE(takesTerm(polite.pid(), "SigCgt"));
    EXPECT_TRUE(polite.terminate(20000ms));
    EXPECT_EQ(polite.exitCode(), 0);

    Process stubborn = Process::start(kChild, {"ignore-term", "30000"});
    ASSERT_TRUE(takesTerm(stubborn.pid(), "SigIgn"));
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(stubborn.terminate(300ms));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    EXPECT_EQ(stubborn.exitCode(), 128 + SIGKILL);
    // Reaped: no zombie is left behind.
    EXPECT_FALSE(processExists(stubborn.pid()));
}

TEST(Process, AMarkNamesAProcessUntilItEnds) {
    Process child = Process::start(kChild, {"sleep", "30000"});
    const std::string mark = processMark(child.pid());
    EXPECT_EQ(mark.rfind(std::to_string(child.pid()) + ":", 0), 0u) << mark;
    EXPECT_TRUE(processMarkLive(mark));
    // The same id with another start is another process.
    EXPECT_FALSE(processMarkLive(std::to_string(child.pid()) + ":1"));
    (void)child.terminate(300ms);
    EXPECT_FALSE(processMarkLive(mark));
    EXPECT_EQ(processMark(child.pid()), "");
}

TEST(Process, DestructorEndsAndReapsWhatIsStillRunning) {
    pid_t pid;
    {
        Process p = Process::start(kChild, {"sleep", "30000"});
        pid = p.pid();
        EXPECT_TRUE(p.running());
        EXPECT_GE(p.descriptor(), 0);
    }
    EXPECT_FALSE(processExists(pid));
}

TEST(Process, DetachedAndDetachLeaveTheProgramRunning) {
    pid_t detached = Process::startDetached(kChild, {"sleep", "30000"});
    ASSERT_GT(detached, 0);
    EXPECT_TRUE(processExists(detached));
    // Not our child: the system reaps it, we cannot.
    EXPECT_EQ(::waitpid(detached, nullptr, WNOHANG), -1);
    ::kill(detached, SIGKILL);

    pid_t kept;
    {
        Process p = Process::start(kChild, {"sleep", "30000"});
        kept = p.pid();
        p.detach();
    }
    EXPECT_TRUE(processExists(kept));
    ::kill(kept, SIGKILL);
    ::waitpid(kept, nullptr, 0);
}

TEST(Process, WaitsAreBoundedOnTheSystemsTime) {
    setClock(std::make_shared<ScaledClock>(0.001));
    Process p = Process::start(kChild, {"sleep", "30000"});
    auto start = std::chrono::steady_clock::now();
    // Two seconds of the system's time are two milliseconds here, but a wait
    // for another process is never shorter than the bound itself, up to
    // fifteen real seconds (a minute for a started program's first answer).
    EXPECT_FALSE(p.waitFor(2000ms));
    auto real = std::chrono::steady_clock::now() - start;
    EXPECT_GE(real, 1900ms);
    EXPECT_LT(real, 10s);
    EXPECT_EQ(realBound(100ms), std::chrono::nanoseconds(100ms));
    EXPECT_EQ(realBound(600000ms), std::chrono::nanoseconds(15s));
    EXPECT_EQ(realStartBound(30000ms), std::chrono::nanoseconds(30s));
    EXPECT_EQ(realStartBound(600000ms), std::chrono::nanoseconds(60s));
    setClock(nullptr);
    EXPECT_EQ(realBound(600000ms), std::chrono::nanoseconds(600000ms));
    EXPECT_EQ(realStartBound(600000ms), std::chrono::nanoseconds(600000ms));
}

TEST(Process, ProgramsAreFoundInTheProgramFolderWithoutRegardToCase) {
    testing::TempHome home(false);
    fs::writeFileAtomic(home / "Tolvern", "#!/bin/sh\n");
    ASSERT_EQ(::chmod((home / "Tolvern").c_str(), 0755), 0);
    EXPECT_EQ(findProgram("tolvern").value_or(""), home / "Tolvern");
    EXPECT_EQ(findProgram("TOLVERN").value_or(""), home / "Tolvern");
    EXPECT_FALSE(findProgram("nimbrel-missing"));
    fs::writeFileAtomic(home / "plain", "data");
    EXPECT_FALSE(findProgram("plain"));  // not executable
}

TEST(Process, ProgramsOnThePathAreFoundAsAShellWould) {
    testing::TempHome home(false);
    for (const char* dir : {"first", "second", "cwd"}) fs::makeFolders(home / dir);
    auto program = [&](const std::string& rel, mode_t mode) {
        fs::writeFileAtomic(home / rel, "#!/bin/sh\n");
        ASSERT_EQ(::chmod((home / rel).c_str(), mode), 0);
    };
    program("first/lp", 0644);       // not executable: passed over
    program("second/lp", 0755);
    program("first/viewer", 0755);   // the earlier folder wins
    program("second/viewer", 0755);
    fs::makeFolders(home / "first/arj");  // a folder is no program
    program("second/arj", 0755);
    program("cwd/only-here", 0755);

    const char* saved = std::getenv("PATH");
    const std::string before = saved ? saved : "";
    ::setenv("PATH", (":" + (home / "first") + "::" + (home / "second/")).c_str(), 1);
    const std::string cwd = std::filesystem::current_path().string();
    ASSERT_EQ(::chdir((home / "cwd").c_str()), 0);
    EXPECT_EQ(findOnPath("lp").value_or(""), home / "second/lp");
    EXPECT_EQ(findOnPath("viewer").value_or(""), home / "first/viewer");
    EXPECT_EQ(findOnPath("arj").value_or(""), home / "second/arj");
    EXPECT_FALSE(findOnPath("only-here"));  // the empty elements are not the current folder
    EXPECT_FALSE(findOnPath("nimbrel-missing"));
    ASSERT_EQ(::chdir(cwd.c_str()), 0);
    ::setenv("PATH", before.c_str(), 1);
}

}  // namespace
}  // namespace fg
