#include "supervisor/nimbrel/console_view.h"

#include "platform/message_sink.h"

#include <cstdio>
#include <memory>

namespace fg {

int runCommand(const std::string& command) {
    setMessageSink(std::make_shared<ConsoleMessageSink>());
    ConsoleView view;
    FrmMainWin window(view);
    if (!window.Form_Load()) return 1;
    bool running = window.buttonCaption() == FrmMainWin::kStop;
    int code = 0;
    if (command == "start") {
        if (!running) window.cmdStartEnd_Click();
        code = window.buttonCaption() == FrmMainWin::kStop ? 0 : 1;
    } else if (command == "stop") {
        if (running) window.cmdStartEnd_Click();
        code = window.buttonCaption() == FrmMainWin::kStart ? 0 : 1;
    }
    std::printf("%s\n", window.status().c_str());
    if (code != 0 && !window.startFailure().empty()) std::fprintf(stderr, "nimbrel: %s\n", window.startFailure().c_str());
    return code;
}

}  // namespace fg
