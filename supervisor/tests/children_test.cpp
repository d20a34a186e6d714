// The supervisor's children as an operator meets them: a supervisor killed
// outright leaves none running, a helper that outlived an earlier
// supervisor is ended by the next one, and a Ctrl-C in the terminal gives
// the ordered shutdown.
#include "supervisor_fixture.h"

#include "supervisor/frm_main_ctrl.h"

#include "platform/process/process.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>

namespace fg {
namespace {

using namespace std::chrono_literals;
using testing::eventually;
using testing::processesOf;
using testing::SupervisorHome;

Process startSupervisor(const SupervisorHome& h, bool ownGroup = false) {
    SpawnOptions o;
    o.workingFolder = h.home.path();
    // As a shell starts a job in a terminal: in a process group of its own.
    o.ownProcessGroup = ownGroup;
    return Process::start(testing::programDir() + "tolvern", {}, o);
}

// The processes of the home that run the helper of its RunTime folder.
std::vector<pid_t> helpers(const SupervisorHome& h) {
    struct stat helper {};
    std::vector<pid_t> out;
    if (::stat((h.home / "RunTime/PGPWIN32").c_str(), &helper) != 0) return out;
    for (pid_t pid : processesOf(h.home.path())) {
        struct stat exe {};
        if (::stat(("/proc/" + std::to_string(pid) + "/exe").c_str(), &exe) == 0 && exe.st_ino == helper.st_ino &&
            exe.st_dev == helper.st_dev)
            out.push_back(pid);
    }
    return out;
}

std::size_t count(const std::vector<std::string>& steps, const std::string& step) {
    return static_cast<std::size_t>(std::count(steps.begin(), steps.end(), step));
}

TEST(SupervisorChildren, AKilledSupervisorLeavesNoChildRunning) {
    SupervisorHome h;
    h.endFile("<End-Request>0</End-Request><TelephonyErrReq>0</TelephonyErrReq>");
    Process tolvern = startSupervisor(h);
    ASSERT_TRUE(eventually([&] { return h.at("Alvaret 6 created") >= 0; }));
    ASSERT_EQ(helpers(h).size(), 1u);
    ASSERT_EQ(::kill(tolvern.pid(), SIGKILL), 0);
    ASSERT_TRUE(tolvern.waitFor(60000000ms));
    // The helper, the schedules and the reception lines all end with it.
    EXPECT_TRUE(eventually([&] { return processesOf(h.home.path()).empty(); }));
    EXPECT_GE(h.at("PGPWIN32 terminated"), 0);
}

TEST(SupervisorChildren, AStartEndsTheHelperAnEarlierSupervisorLeftRunning) {
    SupervisorHome h;
    h.endFile("<End-Request>0</End-Request><TelephonyErrReq>0</TelephonyErrReq>");
    // A helper that does not end on SIGTERM outlives a supervisor killed outright.
    h.standIns("<StandIn name='PGPWIN32' IgnoreTerm='1'/>");
    {
        Process first = startSupervisor(h);
        ASSERT_TRUE(eventually([&] { return h.at("Alvaret 6 created") >= 0; }));
        ::kill(first.pid(), SIGKILL);
        ASSERT_TRUE(first.waitFor(60000000ms));
    }
    ASSERT_TRUE(eventually([&] { return processesOf(h.home.path()).size() == 1; }));
    std::vector<pid_t> left = helpers(h);
    ASSERT_EQ(left.size(), 1u);
    // It was asked to end with its supervisor; it notes that when it gets to
    // run, which may be after the others have ended.
    EXPECT_TRUE(eventually([&] { return h.at("PGPWIN32 ignored SIGTERM") >= 0; }));

    Process second = startSupervisor(h);
    ASSERT_TRUE(eventually([&] { return count(h.steps({"Alvaret 6"}), "Alvaret 6 created") == 2; }));
    std::vector<pid_t> now = helpers(h);
    ASSERT_EQ(now.size(), 1u);
    EXPECT_NE(now[0], left[0]);
    // Each helper notes its start whenever it gets to run.
    EXPECT_TRUE(eventually([&] {
        return count(h.steps({"PGPWIN32 started"}), "PGPWIN32 started in " + h.home.path() + "RunTime") == 2;
    }));
    auto numbers = h.loggedByPrograms();
    EXPECT_EQ(std::count(numbers.begin(), numbers.end(), supervisor_errors::LeftoverHelper), 1);

    // Its own stop ends its (as stubborn) helper too.
    ::kill(second.pid(), SIGTERM);
    ASSERT_TRUE(second.waitFor(60000000ms));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(eventually([&] { return processesOf(h.home.path()).empty(); }));
}

TEST(SupervisorChildren, CtrlCInTheTerminalGivesTheOrderedShutdown) {
    SupervisorHome h;
    h.endFile("<End-Request>0</End-Request><TelephonyErrReq>0</TelephonyErrReq>");
    Process tolvern = startSupervisor(h, true);
    ASSERT_TRUE(eventually([&] { return h.at("Alvaret 6 created") >= 0; }));
    // The terminal signals the whole foreground process group.
    ASSERT_EQ(::kill(-tolvern.pid(), SIGINT), 0);
    ASSERT_TRUE(tolvern.waitFor(60000000ms));
    EXPECT_EQ(tolvern.exitCode(), 0);
    EXPECT_TRUE(eventually([&] { return processesOf(h.home.path()).empty(); }));
    for (const char* step : {"PGPWIN32 terminated", "Trundel released", "Ospery released", "Alvaret 5 released",
                             "Alvaret 6 released"})
        EXPECT_GE(h.at(step), 0) << step;
    EXPECT_LT(h.at("PGPWIN32 interrupted"), 0);
    auto numbers = h.loggedByPrograms();
    EXPECT_EQ(std::count(numbers.begin(), numbers.end(), supervisor_errors::ErrorEvent), 0);
    EXPECT_EQ(std::count(numbers.begin(), numbers.end(), supervisor_errors::HelperEnded), 0);
}

}  // namespace
}  // namespace fg
