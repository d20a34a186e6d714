// The window on a real display: Xvfb, the window found by its caption, its
// button worked from the keyboard, and a screenshot taken.
#include "supervisor_fixture.h"
#include "platform/testing/run_program.h"

#include "frm_main_win.h"
#include "supervisor_lock.h"

#include "platform/process/event_pump.h"
#include "platform/process/process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

namespace fg {
namespace {

using namespace std::chrono_literals;
using testing::runProgram;

bool onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string all = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= all.size()) {
        std::size_t colon = all.find(':', start);
        std::string dir = all.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0) return true;
        if (colon == std::string::npos) break;
        start = colon + 1;
    }
    return false;
}

// Xvfb on a display number it picks itself (-displayfd), so that tests never
// fight over one.
class VirtualDisplay {
public:
    VirtualDisplay() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return;
        // Xvfb writes the number to the descriptor it is given: hand it the
        // pipe as its descriptor 3.
        SpawnOptions o;
        o.childFd = fds[1];
        try {
            server_ = Process::start(xvfbPath(), {"-displayfd", "3", "-screen", "0", "640x400x24", "-nolisten", "tcp"}, o);
        } catch (...) {
            ::close(fds[0]);
            ::close(fds[1]);
            return;
        }
        ::close(fds[1]);
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        char c;
        while (::poll(&p, 1, 20000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        ::close(fds[0]);
        if (!number.empty()) display_ = ":" + number;
    }
    ~VirtualDisplay() { server_.terminate(2000ms); }
    const std::string& display() const { return display_; }
    static std::string xvfbPath() {
        for (const char* p : {"/usr/bin/Xvfb", "/usr/local/bin/Xvfb"})
            if (::access(p, X_OK) == 0) return p;
        return {};
    }

private:
    Process server_;
    std::string display_;
};

std::string windowId(const std::string& caption) {
    auto r = runProgram({"xdotool", "search", "--name", "^" + caption + "$"}, 10000ms);
    std::string id = r.output.substr(0, r.output.find('\n'));
    return id;
}

TEST(Window, ShowsItsButtonAndStartsAndStopsTheServerOnADisplay) {
    if (VirtualDisplay::xvfbPath().empty()) GTEST_SKIP() << "Xvfb is not installed";
    for (const char* tool : {"xdotool", "import"})
        if (!onPath(tool)) GTEST_SKIP() << tool << " is not installed";
    testing::SupervisorHome h;
    h.endFile("<End-Request>1</End-Request><TelephonyErrReq>0</TelephonyErrReq>");
    VirtualDisplay x;
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
    ::setenv("DISPLAY", x.display().c_str(), 1);
    ::setenv("GDK_BACKEND", "x11", 1);
    ::setenv("NO_AT_BRIDGE", "1", 1);

    SpawnOptions o;
    o.workingFolder = h.home.path();
    Process window = Process::start(testing::programDir() + "nimbrel", {}, o);
    std::string id;
    ASSERT_TRUE(testing::eventually([&] { return !(id = windowId(FrmMainWin::kCaption)).empty(); }))
        << "no window named " << FrmMainWin::kCaption;

    std::string shot = h.home / "nimbrel.png";
    std::this_thread::sleep_for(300ms);  // let it paint
    auto r = runProgram({"import", "-window", id, shot}, 30000ms);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_GT(fs::readFile(shot).size(), 1000u);
    if (const char* keep = std::getenv("FAXGATE_SCREENSHOT")) fs::copyFile(shot, keep);

    // The button has the keyboard: Space starts the server...
    runProgram({"xdotool", "windowfocus", "--sync", id}, 10000ms);
    runProgram({"xdotool", "key", "--window", id, "space"}, 10000ms);
    EXPECT_TRUE(testing::eventually([&] { return h.at("Alvaret 6 created") >= 0; }));
    EXPECT_TRUE(SupervisorLock::supervisorRunning());
    if (const char* keep = std::getenv("FAXGATE_SCREENSHOT_RUNNING")) {
        std::this_thread::sleep_for(300ms);
        runProgram({"import", "-window", id, keep}, 30000ms);
    }
    // ...and Space again stops it, the window waiting for its end.
    runProgram({"xdotool", "key", "--window", id, "space"}, 10000ms);
    EXPECT_TRUE(testing::eventually([&] { return !SupervisorLock::supervisorRunning(); }));
    EXPECT_TRUE(window.running());  // closing is the operator's business
    window.terminate(2000ms);
    EXPECT_GE(h.at("Alvaret 6 released"), 0);
    ::unsetenv("DISPLAY");
}

}  // namespace
}  // namespace fg
