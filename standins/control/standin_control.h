// What the stand-ins of the outside programs are told to do, and what they
// report having done: the demo and the tests steer them through one file.
//
// "StandIn.xml" in the program folder (optional; none means "behave"):
//   <StandIns>
//     <StandIn name="Trundel" StartResult="1"/>          the answer to startSchedule
//     <StandIn name="Alvaret" Port="3" ErrorAfter="500"/> raise the error event after 500 ms
//     <StandIn name="Ospery" Busy="1"/>                  never report the stopped state
//     <StandIn name="Alvaret" DieAfter="200"/>           end abruptly (exit code 3)
//     <StandIn name="Trundel" Refuse="1"/>               refuse to be created
//     <StandIn name="Alvaret" StopDelay="3000"/>         time from stopLine to the stopped state
//     <StandIn name="PGPWIN32" IgnoreTerm="1"/>          the helper does not end on SIGTERM
//     <StandIn name="Ospery" FailHandOver="2"/>          the 2nd group a batch of the
//                                                        schedule's life hands to a
//                                                        fax-send server finds none
//     <StandIn name="Ospery" HoldHandOver="2"/>          ... or is held before it goes,
//                                                        until the process is killed
//   </StandIns>
// Names are matched without regard to case; an entry without Port applies
// to every port. Times are in the system's time (the platform clock).
//
// Each stand-in appends what it does to "StandInTrace.txt" in the log
// folder, one line each: the clock's elapsed milliseconds, the stand-in's
// name (and port), and the step ("created", "startSchedule 0", ...).
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace fg {
class ChildServer;
class EventPump;
}  // namespace fg

namespace fg::standin {

struct Behaviour {
    std::string startResult = "0";
    bool busy = false;
    bool refuse = false;
    bool ignoreTerm = false;
    int failHandOver = 0;  // 0: every hand-over goes as it goes
    int holdHandOver = 0;  // 0: no hand-over is held
    std::optional<std::chrono::milliseconds> errorAfter;
    std::optional<std::chrono::milliseconds> dieAfter;
    std::chrono::milliseconds stopDelay{1000};
};

inline constexpr const char* kControlFile = "StandIn.xml";
inline constexpr const char* kTraceFile = "StandInTrace.txt";
// The error number of a stand-in told to refuse its creation.
inline constexpr long kRefusedNumber = 40099;

// The behaviour of the stand-in `name` (serving `port`, 0 for none). A
// control file that cannot be read leaves the defaults.
Behaviour loadBehaviour(const std::string& name, int port = 0);

// Appends one trace line; never raises.
void trace(const std::string& who, const std::string& step) noexcept;
// The trace file's path.
std::string tracePath();


// Serves one stand-in object over the child-object socket until it is
// released or terminated (SIGTERM): `members` registers what it serves, and
// the timers it needs, before the creation is answered. The behaviour `b`
// may refuse the creation (exit code 1) or end the program abruptly after a
// while (exit code 3). `who` names it in the trace and in the refusal, whose
// source is `source`. The program's exit code.
int serveObject(EventPump& pump, const std::string& who, const std::string& source, const Behaviour& b,
                const std::function<void(ChildServer& server)>& members);

// Runs `body` with the stand-in's signal handling and error reporting: an
// error before the object serves goes to standard error and exit code 2.
int runStandIn(const std::string& who, int (*body)(void*), void* context);

}  // namespace fg::standin
