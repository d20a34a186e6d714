// The window on a real display: Xvfb, the window found by its caption, its
// button worked from the keyboard, and a screenshot taken.
#include "supervisor_fixture.h"
#include "platform/testing/run_program.h"
#include "platform/testing/virtual_display.h"

#include "supervisor/frm_main_win.h"
#include "supervisor/supervisor_lock.h"

#include "platform/process/event_pump.h"
#include "platform/process/process.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace fg {
namespace {

using namespace std::chrono_literals;
using testing::runProgram;

TEST(Window, ShowsItsButtonAndStartsAndStopsTheServerAndFollowsTheCommandLineOnADisplay) {
    if (std::string tool = testing::VirtualDisplay::missingTool(); !tool.empty()) GTEST_SKIP() << tool << " is not installed";
    testing::SupervisorHome h;
    h.endFile("<End-Request>1</End-Request><TelephonyErrReq>0</TelephonyErrReq>");
    testing::VirtualDisplay x;
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
    x.use();

    SpawnOptions o;
    o.workingFolder = h.home.path();
    Process window = Process::start(testing::programDir() + "nimbrel", {}, o);
    std::string id;
    ASSERT_TRUE(testing::eventually([&] { return !(id = testing::windowWithCaption(FrmMainWin::kCaption)).empty(); }))
        << "no window named " << FrmMainWin::kCaption;

    std::string shot = h.home / "nimbrel.png";
    EXPECT_TRUE(testing::screenshotWhenPainted(id, shot));
    EXPECT_GT(fs::readFile(shot).size(), 1000u);
    if (const char* keep = std::getenv("FAXGATE_SCREENSHOT")) fs::copyFile(shot, keep);

    // Started and stopped from the command line, the server is shown as it
    // is: running (another picture), then stopped as at first.
    auto showsStopped = [&](bool stopped) {
        const std::string now = h.home / "now.png";
        return testing::eventually(
            [&] { return testing::screenshot(id, now) && (fs::readFile(now) == fs::readFile(shot)) == stopped; });
    };
    ASSERT_EQ(runProgram({testing::programDir() + "nimbrel", "start"}).output, "起動中\n");
    EXPECT_TRUE(showsStopped(false));
    ASSERT_EQ(runProgram({testing::programDir() + "nimbrel", "stop"}).output, "停止\n");
    EXPECT_TRUE(showsStopped(true));

    // The button has the keyboard: Space starts the server...
    runProgram({"xdotool", "windowfocus", "--sync", id}, 10000ms);
    runProgram({"xdotool", "key", "--window", id, "space"}, 10000ms);
    EXPECT_TRUE(testing::eventually([&] { return h.steps({"Alvaret 6 created"}).size() == 2; }));
    EXPECT_TRUE(SupervisorLock::supervisorRunning());
    if (const char* keep = std::getenv("FAXGATE_SCREENSHOT_RUNNING")) {
        // The button now reads otherwise: wait for a picture that differs.
        testing::eventually([&] { return testing::screenshot(id, keep) && fs::readFile(keep) != fs::readFile(shot); });
    }
    // ...and Space again stops it, the window waiting for its end.
    runProgram({"xdotool", "key", "--window", id, "space"}, 10000ms);
    EXPECT_TRUE(testing::eventually([&] { return !SupervisorLock::supervisorRunning(); }));
    EXPECT_TRUE(window.running());  // closing is the operator's business
    (void)window.terminate(2000ms);
    EXPECT_EQ(h.steps({"Alvaret 6 released"}).size(), 2u);
}

}  // namespace
}  // namespace fg
