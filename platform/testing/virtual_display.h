// Windows on a real display for the tests: Xvfb on a display number of its
// own choosing, the window found by its caption, and a screenshot of it.
#pragma once

#include "platform/process/process.h"

#include <string>

namespace fg::testing {

class VirtualDisplay {
public:
    // Starts Xvfb; display() is "" when it could not.
    VirtualDisplay();
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    const std::string& display() const { return display_; }
    // Points DISPLAY (and the toolkit) at this display while the object lives.
    void use();

    // The first program that the window tests need and this machine lacks
    // (Xvfb, xdotool, import); "" when all are there.
    static std::string missingTool();

private:
    Process server_;
    std::string display_;
    bool used_ = false;
};

// The id of the window with exactly this caption; "" when there is none.
std::string windowWithCaption(const std::string& caption);

// A screenshot of the window into a PNG file; false when it failed.
bool screenshot(const std::string& windowId, const std::string& pngPath);

// Takes screenshots of the window until one shows it painted (more than the
// flat background, which compresses to a few hundred bytes) and leaves that
// one in the PNG file; false when none did within a generous bound. A window
// that has just appeared paints when the program gets to it, which a busy
// machine puts off.
bool screenshotWhenPainted(const std::string& windowId, const std::string& pngPath);

}  // namespace fg::testing
