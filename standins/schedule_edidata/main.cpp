// Stand-in of the EDI-data schedule: serves the supervisor and, once started,
// fetches the documents (getEDIData "0") and the reminder lists
// (getEDIData "1") on the settings of Schedule.xml, a pass at a time and
// never while the sends of the last batch are under way (see
// schedule_runner.h for the units).
#include "edi_control/castrel/edi_control.h"
#include "standins/schedule_edidata/schedule_runner.h"
#include "standins/control/standin_control.h"

namespace {

using namespace fg;
using namespace fg::standin;

int serve(void*) {
    ScheduleServer server("Ospery", "ErrorEDIData");
    server.addJob({"getEDIData 0", documentCadence, [&] { return server.edi().getEDIData("0"); }});
    server.addJob({"getEDIData 1", reminderCadence, [&] { return server.edi().getEDIData("1"); }});
    server.setBusyCheck([&] { return server.ediMade() && server.edi().SendPortEndCheck(); });
    server.setReadyCheck(ediServerConfigured);
    return server.run();
}

}  // namespace

int main() { return fg::standin::runStandIn("Ospery", serve, nullptr); }
