// A fax-send server that dies early, for the client's tests: it writes its
// run marker as the real server does, then ends without a word while it
// starts (FAXGATE_TEST_DIE=start) or when it is handed its list
// (FAXGATE_TEST_DIE=sendFAX), as a server killed at those moments does.
#include "platform/files.h"
#include "platform/process/child_server.h"
#include "platform/process/event_pump.h"
#include "platform/process/run_marker.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

int main() {
    const char* when = std::getenv("FAXGATE_TEST_DIE");
    const std::string moment = when ? when : "";
    fg::EventPump pump;
    fg::ChildServer server(pump);
    if (fg::makeRunFile(fg::fs::programFolder()).empty()) return 3;
    if (moment == "start") ::_exit(9);
    server.on("sendFAX", [&](const fg::ChildServer::Values&) -> fg::ChildServer::Values {
        if (moment == "sendFAX") ::_exit(9);
        return {"False"};
    });
    server.ready();
    pump.run();
    return 0;
}
