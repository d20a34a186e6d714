#include "platform/testing/virtual_display.h"

#include "platform/files.h"
#include "platform/testing/run_program.h"

#include <unistd.h>

#include <cstdlib>

namespace fg::testing {

namespace {

using namespace std::chrono_literals;

std::string xvfbPath() {
    for (const char* p : {"/usr/bin/Xvfb", "/usr/local/bin/Xvfb"})
        if (::access(p, X_OK) == 0) return p;
    return {};
}

}  // namespace

VirtualDisplay::VirtualDisplay() {
    // Xvfb writes the number it picked (-displayfd) to the descriptor it is
    // given, so that tests never fight over one. Without -noreset the server
    // resets whenever its last client leaves, and a window program
    // connecting just then (while a test's window lookup comes and goes)
    // finds no display.
    std::string number;
    try {
        server_ = startTellingLine(
            xvfbPath(), {"-displayfd", "3", "-noreset", "-screen", "0", "640x400x24", "-nolisten", "tcp"}, {}, number,
            60s);
    } catch (...) {
        return;
    }
    if (!number.empty()) display_ = ":" + number;
}

VirtualDisplay::~VirtualDisplay() {
    if (used_) ::unsetenv("DISPLAY");
    (void)server_.terminate(2000ms);
}

void VirtualDisplay::use() {
    ::setenv("DISPLAY", display_.c_str(), 1);
    ::setenv("GDK_BACKEND", "x11", 1);
    ::setenv("NO_AT_BRIDGE", "1", 1);
    ::setenv("GSETTINGS_BACKEND", "memory", 1);  // no settings daemon on a test display
    used_ = true;
}

std::string VirtualDisplay::missingTool() {
    if (xvfbPath().empty()) return "Xvfb";
    for (const char* tool : {"xdotool", "import"})
        if (!findOnPath(tool)) return tool;
    return {};
}

std::string windowWithCaption(const std::string& caption) {
    auto r = runProgram({"xdotool", "search", "--name", "^" + caption + "$"}, 10000ms);
    return r.output.substr(0, r.output.find('\n'));
}

bool screenshot(const std::string& windowId, const std::string& pngPath) {
    return runProgram({"import", "-window", windowId, pngPath}, 30000ms).exitCode == 0;
}

bool screenshotWhenPainted(const std::string& windowId, const std::string& pngPath) {
    return eventually([&] { return screenshot(windowId, pngPath) && fs::readFile(pngPath).size() > 1000; }, 60000ms);
}

}  // namespace fg::testing
