// Harmless stand-in of the helper that runs for the life of the server: it
// notes its start (and working folder) in the stand-in trace, waits for
// SIGTERM and ends. Told to, it dies early or ignores SIGTERM (see
// standin_control.h).
#include "standins/control/standin_control.h"

#include "platform/files.h"
#include "platform/process/event_pump.h"

#include <cstdlib>
#include <string>

namespace {

int runHelper(void*) {
    fg::EventPump pump;
    fg::standin::Behaviour b = fg::standin::loadBehaviour("PGPWIN32");
    pump.watchEndRequest(fg::EventPump::EndRequest::Terminate, [&] {
        if (b.ignoreTerm) {
            fg::standin::trace("PGPWIN32", "ignored SIGTERM");
            return;
        }
        fg::standin::trace("PGPWIN32", "terminated");
        pump.quit();
    });
    pump.watchEndRequest(fg::EventPump::EndRequest::Interrupt, [&] {
        fg::standin::trace("PGPWIN32", "interrupted");
        pump.quit();
    });
    if (b.dieAfter)
        pump.addTimer(*b.dieAfter, [] {
            fg::standin::trace("PGPWIN32", "died");
            std::_Exit(3);  // as a crash ends it: nothing unwound
        });
    std::string cwd = fg::fs::currentFolder();
    if (cwd.size() > 1) cwd.pop_back();  // the folder as the system names it, without the "/"
    fg::standin::trace("PGPWIN32", "started in " + cwd);
    pump.run();
    return 0;
}

}  // namespace

int main() { return fg::standin::runStandIn("PGPWIN32", runHelper, nullptr); }
