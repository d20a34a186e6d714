// Stand-in of the EDI-data schedule: serves startSchedule and getRunState and
// raises ErrorEDIData when told to (see standin_control.h). The schedule's
// own work comes with a later stand-in.
#include "standin_control.h"

int main() {
    return fg::standin::runStandIn(
        "Ospery", [](void*) { return fg::standin::serveSchedule("Ospery", "ErrorEDIData"); }, nullptr);
}
