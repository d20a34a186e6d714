// The main window without a display: the command line of a headless server.
#pragma once

#include "supervisor/frm_main_win.h"

#include "platform/process/event_pump.h"

#include <string>

namespace fg {

class ConsoleView : public MainWinView {
public:
    void setStatus(const std::string&) override {}
    void setButton(const std::string&) override {}
    void setButtonEnabled(bool) override {}
    void setEndTimer(std::chrono::milliseconds) override {}
    bool pumpEvents(std::chrono::milliseconds upTo) override {
        (void)pump_.waitFor(upTo);
        return true;
    }

private:
    EventPump pump_;
};

// start, stop or status, as the window's button would do it. Prints the
// final status; answers the exit code: 0 when the asked state was reached,
// kStillStarting for a start whose server has not reported that it is up
// within the bound (it goes on starting), 1 otherwise.
inline constexpr int kStillStarting = 3;
int runCommand(const std::string& command);

}  // namespace fg
