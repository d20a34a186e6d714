// Stand-in of the maker-information schedule: serves startSchedule and
// getRunState and raises ErrorMakerInfo when told to (see standin_control.h).
// The schedule's own work comes with a later stand-in.
#include "standin_control.h"

int main() {
    return fg::standin::runStandIn(
        "Trundel", [](void*) { return fg::standin::serveSchedule("Trundel", "ErrorMakerInfo"); }, nullptr);
}
