// Tolvern, the supervisor: no command line. It runs until its shutdown has
// ended (a stop request in End.xml, SIGTERM/SIGINT, an error event or a
// failed start) and answers an exit code (see FrmMainCtrl::run).
#include "supervisor/frm_main_ctrl.h"

#include "platform/error.h"
#include "platform/process/event_pump.h"

#include <cstdio>

int main(int argc, char**) {
    if (argc > 1) {
        std::fprintf(stderr, "tolvern: takes no arguments\n");
        return 2;
    }
    fg::EventPump pump;
    fg::FrmMainCtrl supervisor(pump);
    // A signal asks for the same ordered shutdown as End.xml; the signals are
    // taken before any child is started, and children start with the default mask.
    for (auto request : {fg::EventPump::EndRequest::Terminate, fg::EventPump::EndRequest::Interrupt})
        pump.watchEndRequest(request, [&supervisor, request] {
            supervisor.requestStop(fg::EventPump::signalName(request));
        });
    fg::ignoreHangUps();
    fg::ignoreBrokenPipes();
    try {
        return supervisor.run();
    } catch (...) {
        // Leaving run() releases every object and ends the helper; say why.
        const fg::Error e = fg::logCurrentError(fg::FrmMainCtrl::kSource);
        std::fprintf(stderr, "tolvern: %s\n", e.description().c_str());
        return 1;
    }
}
