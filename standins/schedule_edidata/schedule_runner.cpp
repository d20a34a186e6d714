#include "standins/schedule_edidata/schedule_runner.h"

#include "edi_control/castrel/edi_control.h"
#include "platform/clock.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"
#include "platform/process/child_server.h"
#include "settings/schedule.h"
#include "settings/set_up_info.h"
#include "standins/control/standin_control.h"
#include "supervisor/end_control_file.h"

#include <ctime>

namespace fg::standin {

namespace {

// Schedule.xml must be there before its reader is asked: the reader logs a
// missing file on every call, and an idle schedule asks every pass.
bool scheduleReadable() {
    std::string folder;
    FolderPathInfo().getFolderPath("Schedule", folder);
    return !folder.empty() && fs::fileExists(fs::withSlash(folder) + schedule::kFileName);
}

bool plainCadence(std::int32_t every, std::int32_t timeSet, Cadence& cadence) {
    cadence = {};
    if (timeSet != 0) {
        int at = minutesOfDay(std::to_string(timeSet));
        if (at >= 0) cadence.dailyAt.push_back(at);
        return true;
    }
    if (every > 0) cadence.every = std::chrono::minutes(every);
    return true;
}

}  // namespace

int minutesOfDay(const std::string& hhmm) {
    if (hhmm.empty() || hhmm.size() > 4) return -1;
    int value = 0;
    for (char c : hhmm) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    int hours = value / 100, minutes = value % 100;
    if (hours > 23 || minutes > 59) return -1;
    return hours * 60 + minutes;
}

std::chrono::milliseconds Cadence::untilNext(std::chrono::system_clock::time_point now) const {
    using namespace std::chrono;
    if (every.count() > 0) return duration_cast<milliseconds>(every);
    if (dailyAt.empty()) return milliseconds::max();
    std::time_t t = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    auto sinceMidnight = hours(local.tm_hour) + minutes(local.tm_min) + seconds(local.tm_sec);
    milliseconds best = milliseconds::max();
    for (int at : dailyAt) {
        auto wait = duration_cast<milliseconds>(minutes(at) - sinceMidnight);
        if (wait <= milliseconds(0)) wait += hours(24);
        best = std::min(best, wait);
    }
    return best;
}

bool documentCadence(Cadence& cadence) {
    cadence = {};
    if (!scheduleReadable()) return false;
    schedule settings;
    if (settings.getEDIScheduleMode() == "1") {
        std::int16_t interval = settings.getInterval();
        if (interval > 0) cadence.every = std::chrono::minutes(interval);
        return true;
    }
    ScheduleTimes times;
    (void)settings.getTime(times);
    for (const auto& row : times) {
        if (row[0].textOrEmpty() != "1") continue;
        int at = minutesOfDay(row[1].textOrEmpty());
        if (at >= 0) cadence.dailyAt.push_back(at);
    }
    return true;
}

bool reminderCadence(Cadence& cadence) {
    cadence = {};
    if (!scheduleReadable()) return false;
    schedule settings;
    if (!settings.GetScheduleInfo()) return false;
    return plainCadence(settings.mGetUrgeDataInterval(), settings.mGetUrgeTimeSet(), cadence);
}

bool makerCadence(Cadence& cadence) {
    cadence = {};
    if (!scheduleReadable()) return false;
    schedule settings;
    if (!settings.GetScheduleInfo()) return false;
    return plainCadence(settings.mGetMakerInfoInterval(), settings.mGetMakerTimeSet(), cadence);
}

bool ediServerConfigured(std::string& why) {
    const SetUpInfo settings;
    // A file that does not load names no server either, but saying so would
    // send the operator to look for a value instead of mending the file.
    if (!settings.readFailure().empty()) {
        why = "SetUpInformation.xml を読み込めません: " + settings.readFailure();
        return false;
    }
    std::string root = settings.strEDIMethodRoot().textOrEmpty();
    if (root.find_first_not_of(" \t") != std::string::npos) return true;
    why = "SetUpInformation.xml に EDI サーバー (EDIMethodRoot) がありません";
    return false;
}

ScheduleServer::ScheduleServer(std::string name, std::string errorEvent)
    : name_(std::move(name)), errorEvent_(std::move(errorEvent)) {}

ScheduleServer::~ScheduleServer() = default;

EDIControl& ScheduleServer::edi() {
    if (!edi_) edi_ = std::make_unique<EDIControl>(&pump_);
    return *edi_;
}

void ScheduleServer::addJob(ScheduledJob job) { jobs_.push_back({std::move(job)}); }

void ScheduleServer::plan(Entry& entry) {
    Cadence cadence;
    bool read = false;
    try {
        read = entry.job.cadence(cadence);
    } catch (...) {
        const Error e = currentError();
        ErrorLogWriter().writeError(name_, e.number(), entry.job.label + ": " + e.description());
    }
    entry.idle = !read || !cadence.runs();
    if (entry.idle) {
        writeDebugLine(name_, entry.job.label + ": 予定がないため待機します");
        return;
    }
    entry.due = clock().elapsed() + cadence.untilNext(clock().now());
}

void ScheduleServer::tick() {
    // The builder pumps while it waits for a free port; a tick then must
    // not start a pass inside the pass.
    if (running_ || !started_) return;
    if (busy_) {
        sending_ = busy_();
        if (sending_) return;
    }
    auto now = clock().elapsed();
    for (Entry& entry : jobs_) {
        if (entry.idle) {
            // The settings may have come since: look again once in a while.
            if (now >= entry.due) {
                plan(entry);
                if (entry.idle) entry.due = now + std::chrono::minutes(1);
            }
            continue;
        }
        if (now < entry.due) continue;
        // Once a stop is asked, what is under way finishes but nothing new
        // begins: each new pass would hold the shutdown for its fetch and its
        // sends, for as long as the EDI server keeps offering documents.
        if (EndControlFile().read().value == 1) {
            writeDebugLine(name_, entry.job.label + ": 終了要求があるため始めません");
            plan(entry);
            continue;
        }
        std::string why;
        if (ready_ && !ready_(why)) {
            if (!notReadyLogged_) {
                ErrorLogWriter().writeError(name_, 0, "スケジュールは待機します: " + why);
                notReadyLogged_ = true;
            }
            entry.due = now + std::chrono::minutes(1);
            continue;
        }
        notReadyLogged_ = false;
        running_ = true;
        writeDebugLine(name_, entry.job.label);
        bool ok = false;
        bool stuck = false;
        try {
            ok = entry.job.run();
        } catch (...) {
            // The members answer their failures; what escapes them is the
            // schedule's own (its EDI control cannot even be made).
            logCurrentError(name_);
            stuck = true;
        }
        running_ = false;
        if (!ok && !stuck)
            ErrorLogWriter().writeError(name_, 0, entry.job.label + " に失敗しました。次の予定でやり直します");
        writeDebugLine(name_, entry.job.label + (ok ? " 終了" : " 失敗"));
        plan(entry);
        // A failed pass has been logged where it failed and is tried again
        // at its next time: one bad answer of the EDI server must not shut
        // the server down. Only a schedule that cannot go on says so.
        if (stuck && raise_) raise_();
        if (busy_) sending_ = busy_();
        return;  // one pass per tick: the sends of this one come first
    }
}

int ScheduleServer::run() {
    Behaviour b = loadBehaviour(name_);
    PumpTimer ticker(pump_, [this] { tick(); });
    int code = serveObject(pump_, name_, name_, b, [&](ChildServer& server) {
        raise_ = [this, &server] {
            trace(name_, errorEvent_);
            (void)server.raiseEvent(errorEvent_);
        };
        server.on("startSchedule", [&](const ChildServer::Values&) {
            trace(name_, "startSchedule " + b.startResult);
            if (b.startResult != "1" && !started_) {
                started_ = true;
                for (Entry& entry : jobs_) plan(entry);
                pump_.post([this] { tick(); });
            }
            return ChildServer::Values{b.startResult};
        });
        server.on("getRunState", [&](const ChildServer::Values&) {
            std::string state = b.busy || running_ || sending_ ? "1" : "0";
            trace(name_, "getRunState " + state);
            return ChildServer::Values{state};
        });
        ticker.setInterval(kTick);
        if (b.errorAfter) pump_.addTimer(*b.errorAfter, [&] { raise_(); });
    });
    edi_.reset();
    return code;
}

}  // namespace fg::standin
