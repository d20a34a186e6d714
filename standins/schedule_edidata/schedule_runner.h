// The work of the schedule stand-ins: a schedule object served to the
// supervisor (startSchedule, getRunState, release, its error event) that
// runs its scheduled passes on the EDI control from the settings of
// Schedule.xml (folder key "Schedule").
//
// Units the stand-ins give the values of Schedule.xml:
//   EDISessionInterval Mode="1"   the document fetch getEDIData("0") runs
//                                 every <Interval> minutes;
//   EDISessionInterval Mode="0"   it runs once a day at each <Time> whose
//                                 first attribute (Use) is "1"; a Time is
//                                 "HHMM" in local time;
//   UrgeDataInterval              the reminder fetch getEDIData("1") runs
//                                 every n minutes (0: never) ...
//   UrgeTimeSet                   ... or, when not 0, once a day at HHMM;
//   MakerInfoInterval             the supplier refresh getMakerInfoData runs
//                                 every n minutes (0: never) ...
//   MakerTimeSet                  ... or, when not 0, once a day at HHMM.
// Minutes and times are the system's time (platform clock), so a time scale
// shortens them. An interval counts from the start of the schedule and from
// the end of each pass.
// The settings are read again after every pass, so a change of the file
// takes effect at the next pass.
//
// A pass starts only while no send of the previous batch is under way
// (SendPortEndCheck), and none starts while End.xml asks the server to stop
// (read as the supervisor reads it): the pass under way and its sends
// finish, and each pass that falls due meanwhile is noted in the debug log
// and planned again. The state is "1" while a pass runs or its sends are
// under way, else "0". A pass whose member answers False (a failure the EDI
// control has logged) is logged as failed and runs again at its next time;
// the error event, which shuts the server down, is raised only when the
// schedule cannot go on at all (a failure that escapes the member, such as
// an EDI control that cannot be made). Without Schedule.xml, or without an EDI server in the
// settings, the schedule logs that once and idles. Passes are written to the
// debug log; the stand-in trace keeps the supervisor's calls only.
//
// The control file of the stand-ins (standin_control.h) still steers the
// answer to startSchedule, a busy state, the error event, an abrupt end and
// a refused creation.
#pragma once

#include "platform/process/event_pump.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fg {
class EDIControl;
}  // namespace fg

namespace fg::standin {

// When a job runs: every `every` minutes, or daily at the listed minutes
// after midnight (local time). Neither: never.
struct Cadence {
    std::chrono::minutes every{0};
    std::vector<int> dailyAt;

    bool runs() const { return every.count() > 0 || !dailyAt.empty(); }
    // The system's time from `now` to the next run.
    std::chrono::milliseconds untilNext(std::chrono::system_clock::time_point now) const;
};

// The cadences of the three jobs, read from Schedule.xml. False (nothing
// runs) when the file cannot be read.
bool documentCadence(Cadence& cadence);
bool reminderCadence(Cadence& cadence);
bool makerCadence(Cadence& cadence);
// "HHMM" (or a number HHMM) as minutes after midnight; -1 when it is none.
int minutesOfDay(const std::string& hhmm);

// The ready check of both schedules: an EDI server in the settings.
bool ediServerConfigured(std::string& why);

struct ScheduledJob {
    std::string label;                 // for the trace, e.g. "getEDIData 0"
    std::function<bool(Cadence&)> cadence;
    std::function<bool()> run;         // False: a logged failure
};

class ScheduleServer {
public:
    ScheduleServer(std::string name, std::string errorEvent);

    ScheduleServer(const ScheduleServer&) = delete;
    ScheduleServer& operator=(const ScheduleServer&) = delete;
    ~ScheduleServer();
    EventPump& pump() { return pump_; }
    // The EDI control the passes share, made at its first use (a schedule
    // that never runs needs none) on the server's pump, and let go when the
    // service ends, before that pump.
    EDIControl& edi();
    bool ediMade() const { return edi_ != nullptr; }
    void addJob(ScheduledJob job);
    // Passes wait while this answers True (sends of the last batch under way).
    void setBusyCheck(std::function<bool()> busy) { busy_ = std::move(busy); }
    // Checked before each pass; a False leaves the schedule idle (logged once).
    void setReadyCheck(std::function<bool(std::string& why)> ready) { ready_ = std::move(ready); }

    // Serves the supervisor until released or terminated; the exit code.
    int run();

    // How often due passes are looked for (system time).
    static constexpr std::chrono::milliseconds kTick{1000};

private:
    struct Entry {
        ScheduledJob job;
        std::chrono::milliseconds due{0};
        bool idle = false;
    };
    void tick();
    void plan(Entry& entry);

    std::string name_;
    std::string errorEvent_;
    EventPump pump_;
    std::vector<Entry> jobs_;
    std::function<bool()> busy_;
    std::function<bool(std::string&)> ready_;
    bool started_ = false;
    bool running_ = false;
    bool sending_ = false;
    bool notReadyLogged_ = false;
    std::function<void()> raise_;
    std::unique_ptr<EDIControl> edi_;  // after the pump: it goes first
};

}  // namespace fg::standin
