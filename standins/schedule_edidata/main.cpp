// Stand-in of the EDI-data schedule: serves the supervisor and, once started,
// fetches the documents (getEDIData "0") and the reminder lists
// (getEDIData "1") on the settings of Schedule.xml, a pass at a time and
// never while the sends of the last batch are under way (see
// schedule_runner.h for the units).
#include "edi_control/castrel/edi_control.h"
#include "standins/schedule_edidata/schedule_runner.h"
#include "standins/control/standin_control.h"
#include "documents/quillary/fax_tran_xml.h"
#include "platform/clock.h"
#include "platform/error.h"

#include <memory>
#include <string>
#include <vector>

namespace {

using namespace fg;
using namespace fg::standin;

// The EDI control, told on its first use to fail or hold the hand-over the
// control file names: the count-th group handed to a fax-send server in
// this process's life finds none to take it, or waits until the process is
// killed (a server killed between two hand-overs of a batch).
EDIControl& edi(ScheduleServer& server) {
    static bool armed = false;
    if (armed) return server.edi();
    armed = true;
    const Behaviour behaviour = loadBehaviour("Ospery");
    const int failAt = behaviour.failHandOver, holdAt = behaviour.holdHandOver;
    if (failAt > 0 || holdAt > 0) {
        auto handed = std::make_shared<int>(0);
        server.edi().faxTranXml().setSendObserver([handed, failAt, holdAt](int, const std::vector<std::string>&) {
            ++*handed;
            if (*handed == holdAt) {
                trace("Ospery", "hand-over " + std::to_string(holdAt) + " held");
                for (;;) fg::clock().sleepFor(std::chrono::hours(1));
            }
            if (*handed != failAt) return;
            trace("Ospery", "hand-over " + std::to_string(failAt) + " failed");
            throw Error(errnum::InvalidProcedureCall, "ＦＡＸ送信サーバを用意できません (StandIn.xml)", "Ospery");
        });
    }
    return server.edi();
}

int serve(void*) {
    ScheduleServer server("Ospery", "ErrorEDIData");
    server.addJob({"getEDIData 0", documentCadence, [&] { return edi(server).getEDIData("0"); }});
    server.addJob({"getEDIData 1", reminderCadence, [&] { return edi(server).getEDIData("1"); }});
    server.setBusyCheck([&] { return server.ediMade() && server.edi().SendPortEndCheck(); });
    server.setReadyCheck(ediServerConfigured);
    return server.run();
}

}  // namespace

int main() { return fg::standin::runStandIn("Ospery", serve, nullptr); }
