// Harmless stand-in of the helper that runs for the life of the server: it
// notes its start (and working folder) in the stand-in trace, waits for
// SIGTERM and ends. Told to, it dies early or ignores SIGTERM (see
// standin_control.h).
#include "standin_control.h"

#include "platform/process/event_pump.h"

#include <signal.h>
#include <unistd.h>

#include <climits>
#include <string>

namespace {

int runHelper(void*) {
    fg::EventPump pump;
    fg::standin::Behaviour b = fg::standin::loadBehaviour("PGPWIN32");
    pump.watchSignal(SIGTERM, [&] {
        if (b.ignoreTerm) {
            fg::standin::trace("PGPWIN32", "ignored SIGTERM");
            return;
        }
        fg::standin::trace("PGPWIN32", "terminated");
        pump.quit();
    });
    pump.watchSignal(SIGINT, [&] {
        fg::standin::trace("PGPWIN32", "interrupted");
        pump.quit();
    });
    if (b.dieAfter)
        pump.addTimer(*b.dieAfter, [] {
            fg::standin::trace("PGPWIN32", "died");
            ::_exit(3);
        });
    char cwd[PATH_MAX];
    fg::standin::trace("PGPWIN32", std::string("started in ") + (::getcwd(cwd, sizeof cwd) ? cwd : "?"));
    pump.run();
    return 0;
}

}  // namespace

int main() { return fg::standin::runStandIn("PGPWIN32", runHelper, nullptr); }
