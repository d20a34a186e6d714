// Stand-in of the maker-information schedule: serves the supervisor and,
// once started, refreshes the registered suppliers (getMakerInfoData) on the
// settings of Schedule.xml (see schedule_runner.h for the units).
#include "edi_control/castrel/edi_control.h"
#include "schedule_runner.h"
#include "standin_control.h"

#include <memory>

namespace {

using namespace fg;
using namespace fg::standin;

int serve(void*) {
    ScheduleServer server("Trundel", "ErrorMakerInfo");
    std::unique_ptr<EDIControl> control;
    server.addJob({"getMakerInfoData", makerCadence, [&] {
                       if (!control) control = std::make_unique<EDIControl>(&server.pump());
                       return control->getMakerInfoData();
                   }});
    server.setReadyCheck(ediServerConfigured);
    int code = server.run();
    control.reset();
    return code;
}

}  // namespace

int main() { return fg::standin::runStandIn("Trundel", serve, nullptr); }
