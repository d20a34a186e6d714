// The stand-ins of the outside programs as the supervisor meets them: child
// objects with their members, states and error events, steered through
// StandIn.xml, and the helper that ends on SIGTERM.
#include "platform/clock.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/process/child_object.h"
#include "platform/process/process.h"
#include "platform/testing/temp_home.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace fg {
namespace {

using namespace std::chrono_literals;

// A home with the system's time scaled down, for this process and the stand-ins.
struct ScaledHome {
    ScaledHome() {
        ::setenv("FAXGATE_TIME_SCALE", "0.001", 1);
        setClock(std::make_shared<ScaledClock>(0.001));
    }
    ~ScaledHome() {
        setClock(nullptr);
        ::unsetenv("FAXGATE_TIME_SCALE");
    }
    void standIns(const std::string& entries) const {
        home.write("StandIn.xml", "<?xml version=\"1.0\"?><StandIns>" + entries + "</StandIns>");
    }
    std::string trace() const {
        try {
            return fs::readFile(home / "log/StandInTrace.txt");
        } catch (const Error&) {
            return {};
        }
    }
    bool traced(const std::string& step) const { return trace().find(" " + step + "\n") != std::string::npos; }
    testing::TempHome home;
};

std::string program(const std::string& name) { return testing::programDir() + name; }

ChildObjectOptions options(const std::string& errorEvent) {
    ChildObjectOptions o;
    o.errorEvent = errorEvent;
    o.workingFolder = fs::programFolder();
    return o;
}

struct Events {
    std::vector<std::string> names;
    ChildObject::EventHandler handler() {
        return [this](const std::string& name, const std::vector<std::string>&) { names.push_back(name); };
    }
};

struct Schedule {
    const char* program;
    const char* name;
    const char* errorEvent;
};
const Schedule kSchedules[] = {{"trundel", "Trundel", "ErrorMakerInfo"}, {"ospery", "Ospery", "ErrorEDIData"}};

TEST(ScheduleStandIns, StartIdleAndAreLetGoWhenReleased) {
    for (const auto& s : kSchedules) {
        SCOPED_TRACE(s.name);
        ScaledHome h;
        EventPump pump;
        ChildObject obj(pump, program(s.program), {}, options(s.errorEvent));
        EXPECT_EQ(obj.callValue("startSchedule"), "0");
        // Idle between passes: the supervisor may let it go.
        EXPECT_EQ(obj.callValue("getRunState"), "0");
        pid_t pid = obj.pid();
        obj.release();
        EXPECT_FALSE(obj.alive());
        EXPECT_NE(::kill(pid, 0), 0);  // ended and reaped
        for (const char* step : {"created", "startSchedule 0", "getRunState 0", "released"})
            EXPECT_TRUE(h.traced(std::string(s.name) + " " + step)) << step << "\n" << h.trace();
    }
}

TEST(ScheduleStandIns, DoWhatTheControlFileTellsThem) {
    for (const auto& s : kSchedules) {
        SCOPED_TRACE(s.name);
        const std::string who = s.name;
        {
            ScaledHome h;
            h.standIns("<StandIn name='" + who + "' StartResult='1'/><StandIn name='" + who + "' Busy='1'/>");
            EventPump pump;
            ChildObject obj(pump, program(s.program), {}, options(s.errorEvent));
            EXPECT_EQ(obj.callValue("startSchedule"), "1");
            EXPECT_EQ(obj.callValue("getRunState"), "1");
        }
        // Told `entry`, the schedule raises its error event, and only that;
        // answers whether it still serves then.
        auto raisesItsErrorEvent = [&](const std::string& entry) {
            ScaledHome h;
            h.standIns("<StandIn name='" + who + "' " + entry + "/>");
            EventPump pump;
            Events events;
            ChildObject obj(pump, program(s.program), {}, options(s.errorEvent));
            obj.setEventHandler(events.handler());
            EXPECT_TRUE(pump.waitUntil([&] { return !events.names.empty(); }, 30000000ms)) << entry;
            EXPECT_EQ(events.names, std::vector<std::string>{s.errorEvent}) << entry;
            return obj.alive();
        };
        EXPECT_TRUE(raisesItsErrorEvent("ErrorAfter='20000'"));  // it reports and goes on serving
        EXPECT_FALSE(raisesItsErrorEvent("DieAfter='20000'"));   // the death, as the object's error
        {
            ScaledHome h;
            h.standIns("<StandIn name='" + who + "' Refuse='1'/>");
            EventPump pump;
            try {
                ChildObject obj(pump, program(s.program), {}, options(s.errorEvent));
                ADD_FAILURE() << "created";
            } catch (const Error& e) {
                EXPECT_EQ(e.number(), kChildCannotCreate);
            }
        }
    }
}

TEST(ScheduleStandIns, ABrokenControlFileLeavesThemBehaving) {
    ScaledHome h;
    h.home.write("StandIn.xml", "<StandIns><StandIn name='Trundel' StartResult=");
    EventPump pump;
    ChildObject obj(pump, program("trundel"), {}, options("ErrorMakerInfo"));
    EXPECT_EQ(obj.callValue("startSchedule"), "0");
}

TEST(ReceptionStandIn, ServesItsPortAndStopsWhenAsked) {
    ScaledHome h;
    h.standIns("<StandIn name='Alvaret' Port='4' Busy='1'/><StandIn name='Alvaret' StopDelay='200000'/>");
    EventPump pump;
    ChildObject line3(pump, program("alvaret"), {"3"}, options("ErrorReceiveFAX"));
    ChildObject line4(pump, program("alvaret"), {"4"}, options("ErrorReceiveFAX"));
    EXPECT_EQ(line3.callValue("getLineState"), "1");
    line3.call("stopLine", {"True"});
    line4.call("stopLine", {"True"});
    EXPECT_EQ(line3.callValue("getLineState"), "1");  // it finishes its call first
    pump.runFor(400000ms);
    EXPECT_EQ(line3.callValue("getLineState"), "0");
    EXPECT_EQ(line4.callValue("getLineState"), "1");  // the busy port never stops
    EXPECT_TRUE(h.traced("Alvaret 3 stopped"));
    EXPECT_FALSE(h.traced("Alvaret 4 stopped"));
}

TEST(ReceptionStandIn, RefusesAPortOutsideOneToTwenty) {
    ScaledHome h;
    for (std::vector<std::string> args :
         std::vector<std::vector<std::string>>{{}, {"0"}, {"21"}, {"x"}, {"1", "2"}}) {
        EventPump pump;
        EXPECT_THROW(ChildObject(pump, program("alvaret"), args, options("ErrorReceiveFAX")), Error);
    }
}

TEST(HelperStandIn, RunsInItsFolderUntilTerminated) {
    ScaledHome h;
    SpawnOptions o;
    o.workingFolder = h.home.folder("RunTime");
    Process helper = Process::start(program("PGPWIN32"), {}, o);
    ASSERT_TRUE(helper.valid());
    // Another process writes the trace: look every few real milliseconds, with a bound.
    auto until = std::chrono::steady_clock::now() + 20s;
    while (h.trace().empty() && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(5ms);
    EXPECT_TRUE(helper.running());
    EXPECT_TRUE(helper.terminate(5000ms));
    EXPECT_EQ(helper.exitCode(), 0);
    std::string folder = h.home.folder("RunTime");
    folder.pop_back();
    EXPECT_NE(h.trace().find("PGPWIN32 started in " + folder + "\n"), std::string::npos)
        << h.trace();
    EXPECT_TRUE(h.traced("PGPWIN32 terminated"));
}

}  // namespace
}  // namespace fg
