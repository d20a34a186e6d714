// A temporary install tree for the supervisor's tests: the demo home (folder
// map, End.xml, 20 modem records with receive lines on ports 5 and 6), the
// helper stand-in in its RunTime folder, the error log recorded, and the
// system's time scaled down (also for every program the test starts).
#pragma once

#include "supervisor/frm_main_ctrl.h"

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_home.h"
#include "settings/set_up_info.h"
#include "standins/edi_server/local_edi_server.h"

#include <signal.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>
#include <map>
#include <string>
#include <vector>

namespace fg::testing {

inline constexpr double kScale = 0.001;

// The processes running with this home as their program folder (found by
// their environment): the supervisor, the stand-ins, a window.
inline std::vector<pid_t> processesOf(const std::string& home) {
    std::vector<pid_t> out;
    for (const HomeProcess& p : processesOfHome(home)) out.push_back(p.pid);
    return out;
}

// When a process started, in clock ticks since boot (0 when unknown): tells
// the order of starts that the processes' own traces cannot, as each
// writes its trace whenever it gets to run.
inline unsigned long long startTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t close = all.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(all.substr(close + 2));
    std::string field;
    // After the name: state is field 3; the start time is field 22.
    for (int i = 3; i <= 22 && fields >> field; ++i)
        if (i == 22) return std::stoull(field);
    return 0;
}

struct TraceLine {
    long long at;      // the clock's elapsed milliseconds
    std::string step;  // who and what, e.g. "Alvaret 5 created"
};

class SupervisorHome {
public:
    SupervisorHome() {
        fs::copyFile(programDir() + "PGPWIN32", home / "RunTime/PGPWIN32");
        ::chmod((home / "RunTime/PGPWIN32").c_str(), 0755);
        ::setenv("FAXGATE_TIME_SCALE", "0.001", 1);
        setClock(std::make_shared<ScaledClock>(kScale));
    }
    ~SupervisorHome() {
        // A test that failed half-way must not leave a server running on a
        // folder that is about to vanish. Programs that have let go of
        // everything may still be on their way out (a sanitizer's check at
        // exit takes a while): they get a bound to end first.
        std::vector<pid_t> left;
        eventually([&] {
            left = processesOf(home.path());
            return left.empty();
        }, std::chrono::minutes(1));
        for (pid_t pid : left) ::kill(pid, SIGKILL);
        if (!left.empty()) ADD_FAILURE() << left.size() << " process(es) of the test home were still running";
        if (::testing::Test::HasFailure()) {
            // What the server logged and the stand-ins did, for the failure's reader.
            std::string text = "error log:\n";
            for (const auto& e : log.log->entries())
                text += "  " + std::to_string(e.number) + " " + e.source + " " + e.description + "\n";
            text += "stand-in trace:\n";
            for (const auto& t : trace()) text += "  " + std::to_string(t.at) + " " + t.step + "\n";
            std::fprintf(stderr, "%s", text.c_str());
        }
        setClock(nullptr);
        ::unsetenv("FAXGATE_TIME_SCALE");
    }

    // Starts a local EDI server of this test (a port the system picks) over
    // `answers`, recording into `record`, and names it in the settings.
    LocalEdiServer& ediServer(const std::string& answers, const std::string& record) {
        // Started outside the home, so that it is not taken for one of the
        // home's programs.
        ::unsetenv("FAXGATE_HOME");
        edi = std::make_unique<LocalEdiServer>(answers, record);
        ::setenv("FAXGATE_HOME", home.path().c_str(), 1);
        SetUpInfo settings;
        settings.setStrEDIMethodRoot(edi->methodRoot());
        EXPECT_TRUE(settings.save());
        // No exchange with the stand-in is waited out, however loaded the
        // machine: five real minutes at this scale.
        home.write("connection.xml", "<?xml version=\"1.0\"?><Connection><ConnectTimeout>300000000</ConnectTimeout>"
                                     "<Timeout>300000000</Timeout></Connection>");
        return *edi;
    }
    // The error log the programs of the home wrote (the supervisor's
    // children log to the file, not to this process's recorder).
    std::string programsLog() const {
        std::string text;
        for (const std::string& line : fileLines("log/ErrorLog.txt")) text += line + "\n";
        return text;
    }

    SupervisorOptions options() const {
        SupervisorOptions o;
        o.programsFolder = programDir();
        return o;
    }

    void standIns(const std::string& entries) const {
        home.write("StandIn.xml", "<?xml version=\"1.0\"?><StandIns>" + entries + "</StandIns>");
    }
    void endFile(const std::string& body) const {
        // The file as installed: declared and written in Shift_JIS.
        home.write("End.xml", text::toCp932("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<End>" + body + "</End>\n"));
    }

    // The lines of a file of the home; none when it cannot be read.
    std::vector<std::string> fileLines(const std::string& rel) const {
        try {
            return text::lines(fs::readFile(home / rel));
        } catch (...) {
            return {};
        }
    }

    std::vector<TraceLine> trace() const {
        std::vector<TraceLine> out;
        for (const std::string& line : fileLines("log/StandInTrace.txt")) {
            std::size_t sp = line.find(' ');
            if (sp == std::string::npos) continue;
            out.push_back({std::atoll(line.substr(0, sp).c_str()), line.substr(sp + 1)});
        }
        return out;
    }

    // The numbers that the programs (not this process) wrote to the home's
    // error log file: time stamp, process, source, number, description.
    std::vector<long> loggedByPrograms() const {
        std::vector<long> out;
        for (const std::string& line : fileLines("log/ErrorLog.txt")) {
            std::size_t field = 0, at = 0;
            while (field < 3 && (at = line.find('\t', at)) != std::string::npos) ++field, ++at;
            if (field == 3) out.push_back(std::atol(line.c_str() + at));
        }
        return out;
    }
    // The steps of the trace that begin with one of `prefixes`, in order.
    std::vector<std::string> steps(const std::vector<std::string>& prefixes) const {
        std::vector<std::string> out;
        for (const auto& t : trace())
            for (const auto& p : prefixes)
                if (t.step.rfind(p, 0) == 0) {
                    out.push_back(t.step);
                    break;
                }
        return out;
    }
    long long at(const std::string& step) const {
        for (const auto& t : trace())
            if (t.step.rfind(step, 0) == 0) return t.at;
        return -1;
    }

    std::vector<long> loggedNumbers() const {
        std::vector<long> out;
        for (const auto& e : log.log->entries())
            if (e.number != 0) out.push_back(e.number);
        return out;
    }
    bool logged(long number, const std::string& source = "Halgrove") const {
        for (const auto& e : log.log->entries())
            if (e.number == number && e.source == source) return true;
        return false;
    }

    TempHome home;
    ErrorLogGuard log;
    std::unique_ptr<LocalEdiServer> edi;  // stopped before the home goes
};

}  // namespace fg::testing
