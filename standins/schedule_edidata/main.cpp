// Stand-in of the EDI-data schedule: serves the supervisor and, once started,
// fetches the documents (getEDIData "0") and the reminder lists
// (getEDIData "1") on the settings of Schedule.xml, a pass at a time and
// never while the sends of the last batch are under way (see
// schedule_runner.h for the units).
#include "edi_control/castrel/edi_control.h"
#include "schedule_runner.h"
#include "standin_control.h"

#include <memory>

namespace {

using namespace fg;
using namespace fg::standin;

int serve(void*) {
    ScheduleServer server("Ospery", "ErrorEDIData");
    // Made at the first pass: a schedule that never runs needs no builder.
    std::unique_ptr<EDIControl> control;
    auto edi = [&]() -> EDIControl& {
        if (!control) control = std::make_unique<EDIControl>(&server.pump());
        return *control;
    };
    server.addJob({"getEDIData 0", documentCadence, [&] { return edi().getEDIData("0"); }});
    server.addJob({"getEDIData 1", reminderCadence, [&] { return edi().getEDIData("1"); }});
    server.setBusyCheck([&] { return control && control->SendPortEndCheck(); });
    server.setReadyCheck(ediServerConfigured);
    int code = server.run();
    control.reset();  // before the pump it delivers through
    return code;
}

}  // namespace

int main() { return fg::standin::runStandIn("Ospery", serve, nullptr); }
