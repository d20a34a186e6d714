// The resource update tool's window on a real display: found by its caption,
// a screenshot taken, and closed by its end button from the keyboard.
#include "tools/set_up_form.h"

#include "platform/files.h"
#include "platform/process/process.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_home.h"
#include "platform/testing/virtual_display.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace fg {
namespace {

using namespace std::chrono_literals;

TEST(ResourceUpdateWindow, ShowsTheFormOnADisplay) {
    if (std::string tool = testing::VirtualDisplay::missingTool(); !tool.empty()) GTEST_SKIP() << tool << " is not installed";
    testing::TempHome home;  // the demo installation, with its resource list
    testing::VirtualDisplay x;
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
    x.use();

    Process window = Process::start(testing::programDir() + "resource_update", {});
    std::string id;
    ASSERT_TRUE(testing::eventually([&] { return !(id = testing::windowWithCaption(FrmSetUp::kCaption)).empty(); }))
        << "no window named " << FrmSetUp::kCaption;
    std::string shot = home / "resource_update.png";
    EXPECT_TRUE(testing::screenshotWhenPainted(id, shot));
    EXPECT_GT(fs::readFile(shot).size(), 1000u);
    if (const char* keep = std::getenv("FAXGATE_SCREENSHOT")) fs::copyFile(shot, keep);

    // A click on the end button, the last one of the bottom row, ends the program.
    std::string geometry = testing::runProgram({"xdotool", "getwindowgeometry", "--shell", id}, 10000ms).output;
    auto field = [&](const std::string& name) {
        std::size_t at = geometry.find(name + "=");
        return at == std::string::npos ? 0 : std::atoi(geometry.c_str() + at + name.size() + 1);
    };
    int width = field("WIDTH"), height = field("HEIGHT");
    ASSERT_GT(width, 100);
    testing::runProgram({"xdotool", "mousemove", "--window", id, std::to_string(width - 30), std::to_string(height - 25),
                         "click", "1"},
                        10000ms);
    EXPECT_EQ(testing::waitForEnd(window, 20000ms), 0);
}

}  // namespace
}  // namespace fg
