// Stand-in of the maker-information schedule: serves the supervisor and,
// once started, refreshes the registered suppliers (getMakerInfoData) on the
// settings of Schedule.xml (see schedule_runner.h for the units).
#include "edi_control/castrel/edi_control.h"
#include "standins/schedule_edidata/schedule_runner.h"
#include "standins/control/standin_control.h"

namespace {

using namespace fg;
using namespace fg::standin;

int serve(void*) {
    ScheduleServer server("Trundel", "ErrorMakerInfo");
    server.addJob({"getMakerInfoData", makerCadence, [&] { return server.edi().getMakerInfoData(); }});
    server.setReadyCheck(ediServerConfigured);
    return server.run();
}

}  // namespace

int main() { return fg::standin::runStandIn("Trundel", serve, nullptr); }
