// The programs as an operator runs them: the window's command line starts
// the supervisor in a temporary install tree, the supervisor starts the
// stand-ins of the outside programs, and a stop request or a signal brings
// everything down.
#include "supervisor_fixture.h"
#include "platform/testing/run_program.h"

#include "end_control_file.h"
#include "supervisor_lock.h"

#include "platform/process/event_pump.h"
#include "platform/process/process.h"

#include <gtest/gtest.h>


namespace fg {
namespace {

using namespace std::chrono_literals;
using testing::runProgram;
using testing::SupervisorHome;
using testing::eventually;
using testing::processesOf;

TEST(EndToEnd, TheWindowsCommandLineStartsAndStopsTheServer) {
    SupervisorHome h;
    const std::string nimbrel = testing::programDir() + "nimbrel";
    const std::string tolvern = testing::programDir() + "tolvern";

    auto status = runProgram({nimbrel, "status"});
    EXPECT_EQ(status.exitCode, 0);
    EXPECT_EQ(status.output, "停止\n");

    auto start = runProgram({nimbrel, "start"});
    EXPECT_EQ(start.exitCode, 0);
    EXPECT_EQ(start.output, "起動中\n");
    ASSERT_TRUE(eventually([&] { return h.at("Alvaret 6 created") >= 0; }));
    EXPECT_TRUE(SupervisorLock::supervisorRunning());
    EXPECT_EQ(runProgram({nimbrel, "status"}).output, "起動中\n");
    // Helper, two schedules and one reception line per receive port.
    EXPECT_EQ(processesOf(h.home.path()).size(), 6u);

    // A second supervisor ends at once.
    auto second = runProgram({tolvern}, 20000ms);
    EXPECT_EQ(second.exitCode, 3);
    EXPECT_EQ(runProgram({nimbrel, "start"}).output, "起動中\n");  // already running: nothing started
    EXPECT_EQ(processesOf(h.home.path()).size(), 6u);

    auto stop = runProgram({nimbrel, "stop"});
    EXPECT_EQ(stop.exitCode, 0);
    EXPECT_EQ(stop.output, "停止\n");
    EXPECT_FALSE(SupervisorLock::supervisorRunning());
    EXPECT_EQ(EndControlFile().read().value, 1);
    EXPECT_TRUE(eventually([&] { return processesOf(h.home.path()).empty(); }));
    for (const char* step : {"PGPWIN32 terminated", "Trundel released", "Ospery released", "Alvaret 5 released",
                             "Alvaret 6 released"})
        EXPECT_GE(h.at(step), 0) << step;
}

TEST(EndToEnd, TheSupervisorShutsDownInOrderOnSignalsAndFailures) {
    struct Case {
        const char* control;
        int signal;
        int exitCode;
    } cases[] = {
        {"", SIGTERM, 0},                                                    // an operator's stop
        {"<StandIn name='Alvaret' Port='5' DieAfter='100000'/>", 0, 1},        // a reception program dies
        {"<StandIn name='Ospery' StartResult='1'/>", 0, 1},                  // a schedule does not start
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.control);
        SupervisorHome h;
        h.endFile("<End-Request>0</End-Request><TelephonyErrReq>0</TelephonyErrReq>");
        h.standIns(c.control);
        SpawnOptions o;
        o.workingFolder = h.home.path();
        Process tolvern = Process::start(testing::programDir() + "tolvern", {}, o);
        if (c.signal) {
            ASSERT_TRUE(eventually([&] { return h.at("Alvaret 6 created") >= 0; }));
            ::kill(tolvern.pid(), c.signal);
        }
        ASSERT_TRUE(eventually([&] { return !tolvern.running(); }));
        EXPECT_EQ(tolvern.exitCode(), c.exitCode);
        EXPECT_TRUE(eventually([&] { return processesOf(h.home.path()).empty(); }));
    }
}

}  // namespace
}  // namespace fg
