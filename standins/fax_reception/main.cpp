// Stand-in of the fax-reception program: one reception line object per
// process, its port on the command line. It serves getLineState (1 while the
// line waits for calls, 0 once stopped) and stopLine(True), and raises
// ErrorReceiveFAX when told to (see standin_control.h).
#include "standins/control/standin_control.h"

#include "platform/error.h"
#include "platform/process/child_server.h"
#include "platform/process/event_pump.h"
#include "platform/values.h"


#include <cstdio>
#include <string>

namespace {

int serveLine(void* context) {
    const int port = *static_cast<int*>(context);
    const std::string who = "Alvaret " + std::to_string(port);
    fg::EventPump pump;
    fg::standin::Behaviour b = fg::standin::loadBehaviour("Alvaret", port);
    int state = 1;
    bool stopping = false;
    return fg::standin::serveObject(pump, who, "Alvaret", b, [&](fg::ChildServer& server) {
        server.on("getLineState", [&](const fg::ChildServer::Values&) {
            fg::standin::trace(who, "getLineState " + std::to_string(state));
            return fg::ChildServer::Values{std::to_string(state)};
        });
        server.on("stopLine", [&](const fg::ChildServer::Values& args) {
            bool stop = args.empty() || fg::toBoolean(args[0]);
            fg::standin::trace(who, std::string("stopLine ") + (stop ? "True" : "False"));
            // The line finishes a call in progress before it reports the stop.
            if (stop && !stopping && !b.busy) {
                stopping = true;
                pump.addTimer(b.stopDelay, [&] {
                    state = 0;
                    fg::standin::trace(who, "stopped");
                });
            }
            return fg::ChildServer::Values{};
        });
        if (b.errorAfter)
            pump.addTimer(*b.errorAfter, [&] {
                fg::standin::trace(who, "ErrorReceiveFAX");
                (void)server.raiseEvent("ErrorReceiveFAX");
            });
    });
}

}  // namespace

int main(int argc, char** argv) {
    int port = 0;
    try {
        if (argc != 2) throw fg::Error(fg::errnum::InvalidProcedureCall, "使い方: alvaret <ポート番号>");
        port = fg::toInt16(argv[1]);
        if (port < 1 || port > 20) throw fg::Error(fg::errnum::InvalidProcedureCall, std::string("ポート番号が不正です: ") + argv[1]);
    } catch (const fg::Error& e) {
        std::fprintf(stderr, "alvaret: %s\n", e.description().c_str());
        return 2;
    }
    return fg::standin::runStandIn("Alvaret", serveLine, &port);
}
