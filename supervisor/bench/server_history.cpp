// The FAX server on a home with years of history: the demo's road (the demo
// home as scripts/run-demo lays it out, its sample messages and telephone
// answers included, the local EDI server with the demo's canned answers, the
// simulated fax lines, a clock scaled to 0.01) on a home whose send log and
// management-number store each already hold N old records, written as the
// system writes them (compact, code page 932). For each N the program times
// the server from `nimbrel start` to the tenth new send-log record, and keeps
// the peak memory (VmHWM, sampled from /proc every few milliseconds) of each
// of its processes: the supervisor (tolvern), the EDI schedule (ospery) and
// the fax-send servers (morvane, the least and the most of them); of a
// program that runs in more than one process at once (a supervisor and the
// child it starts, say), the most.
//
//   server_history [--million] [--only N] [--keep]
// Sizes: 0, 10,000 and 100,000 records; --million adds 1,000,000; --only N
// runs that size alone (for a profiler). --keep leaves the homes in place.
//
// The last lines are for scripts, one per size:
//   scale history records=<N> log=<MB> store=<MB> ten-sends=<s> ratio=<s/s at 0>
//         tolvern=<MB> ospery=<MB> morvane=<MB, the most of them>
// Not a test: its figures are for the reader. Exit code 0 when every size
// reached its tenth send, 1 otherwise.
#include "platform/files.h"
#include "platform/testing/history_files.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_home.h"
#include "platform/testing/whole_home.h"
#include "platform/text.h"
#include "settings/set_up_info.h"
#include "standins/edi_server/local_edi_server.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <vector>

namespace fg {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

constexpr long kWanted = 10;  // new send-log records timed

std::string sizeName(long n) {
    if (n >= 1000 && n % 1000 == 0) return std::to_string(n / 1000) + "k";
    return std::to_string(n);
}

// `records` old records written into the file, right after the start tag of
// its root (they are older than anything the file holds). The file's own
// bytes stay as they are; the records go in 10,000 at a time, converted to
// code page 932 as they go.
void addHistory(const std::string& path, const std::string& root, long records,
                const std::function<std::string(long)>& record) {
    if (records == 0) return;
    std::string bytes = fs::readFile(path);
    const std::string open = "<" + root + ">", empty = "<" + root + "/>";
    // A root without children is written <root/> by the saves.
    if (const std::size_t bare = bytes.find(empty); bare != std::string::npos)
        bytes.replace(bare, empty.size(), open + "</" + root + ">");
    const std::size_t at = bytes.find(open);
    if (at == std::string::npos) throw std::runtime_error(path + " has no <" + root + ">");
    const std::string temporary = path + ".history";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(at + open.size()));
        for (long first = 0; first < records; first += 10000) {
            std::string block;
            for (long i = first; i < std::min(records, first + 10000); ++i) block += record(i);
            const std::string cp932 = text::toCp932(block);
            out.write(cp932.data(), static_cast<std::streamsize>(cp932.size()));
        }
        out.write(bytes.data() + at + open.size(), static_cast<std::streamsize>(bytes.size() - at - open.size()));
        if (!out) throw std::runtime_error("cannot write " + temporary);
    }
    std::filesystem::rename(temporary, path);
}

// How many send-log records the file holds (a record's start tag counted).
long recordsIn(const std::string& path) {
    std::string bytes;
    try {
        bytes = fs::readFile(path);
    } catch (...) {
        return -1;
    }
    const std::string_view all(bytes), tag("<FaxSendLog>");
    long n = 0;
    for (std::size_t at = all.find(tag); at != std::string_view::npos; at = all.find(tag, at + tag.size())) ++n;
    return n;
}

// The peak memory of every process of the home, by program name and id,
// sampled on a thread of its own until stopped.
class PeakSampler {
public:
    explicit PeakSampler(std::string home) : home_(std::move(home)), thread_([this] { run(); }) {}
    ~PeakSampler() { stop(); }

    void stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    // The least and the most peak of the processes of that program, in bytes.
    std::pair<double, double> of(const std::string& name) const {
        std::lock_guard<std::mutex> lock(mutex_);
        double least = 0, most = 0;
        bool any = false;
        for (const auto& [key, peak] : peaks_) {
            if (key.first != name) continue;
            least = any ? std::min(least, peak) : peak;
            most = any ? std::max(most, peak) : peak;
            any = true;
        }
        return {least, most};
    }

private:
    static double vmHwm(pid_t pid) {
        std::ifstream in("/proc/" + std::to_string(pid) + "/status");
        std::string line;
        while (std::getline(in, line))
            if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) * 1024.0;
        return 0;
    }
    void run() {
        std::vector<testing::HomeProcess> known;
        auto lastScan = SteadyClock::time_point{};
        while (!stop_) {
            // The process list is found again now and then (it reads the
            // environment of every process of the machine); the peaks of the
            // processes found are read every few milliseconds, so that a
            // process that ends soon after its peak is still caught.
            if (SteadyClock::now() - lastScan >= 100ms) {
                known = testing::processesOfHome(home_);
                lastScan = SteadyClock::now();
            }
            for (const testing::HomeProcess& p : known) {
                const double peak = vmHwm(p.pid);
                if (peak <= 0) continue;
                std::lock_guard<std::mutex> lock(mutex_);
                double& kept = peaks_[{p.name, p.pid}];
                kept = std::max(kept, peak);
            }
            std::this_thread::sleep_for(10ms);
        }
    }

    std::string home_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::map<std::pair<std::string, pid_t>, double> peaks_;
    std::thread thread_;
};

struct Figures {
    long records = 0;
    double logBytes = 0, storeBytes = 0;
    double tenSends = 0;  // seconds, 0 when the tenth send never came
    long sends = 0;       // new send-log records seen
    std::pair<double, double> tolvern, ospery, morvane;
    long errorLines = 0;
};

Figures run(long records, bool keep) {
    Figures f;
    f.records = records;
    testing::TempHome home;
    testing::TempDir answers, requests;
    // The home as the demo lays it out: its telephone answers, its helper.
    std::filesystem::copy(testing::sourceDir() + "demo/telephone/home", home.path(),
                          std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
    fs::copyFile(testing::programDir() + "PGPWIN32", home / "RunTime/PGPWIN32");
    std::filesystem::permissions(home / "RunTime/PGPWIN32", std::filesystem::perms::owner_all);
    std::filesystem::copy(testing::sourceDir() + "demo/edi_server", answers.path(),
                          std::filesystem::copy_options::recursive);

    const std::string log = home / "data/FaxSendLog.xml";
    const std::string store = home / "data/FAXManageNumber.xml";
    addHistory(log, "FaxSendLogs", records, [](long i) { return testing::oldSendLogRecord(i); });
    addHistory(store, "FAXManageNums", records, [](long i) { return testing::recordXml(testing::oldStoreRecord(i)); });
    f.logBytes = static_cast<double>(std::filesystem::file_size(log));
    f.storeBytes = static_cast<double>(std::filesystem::file_size(store));
    const long before = recordsIn(log);

    // The EDI server is started outside the home: it is none of its programs.
    ::unsetenv("FAXGATE_HOME");
    testing::LocalEdiServer edi(answers.path(), requests.path());
    ::setenv("FAXGATE_HOME", home.path().c_str(), 1);
    {
        SetUpInfo settings;
        settings.setStrEDIMethodRoot(edi.methodRoot());
        if (!settings.save()) throw std::runtime_error("the settings cannot be written");
    }

    const std::string nimbrel = testing::programDir() + "nimbrel";
    PeakSampler sampler(home.path());
    const auto start = SteadyClock::now();
    testing::ProgramRun started = testing::runProgram({nimbrel, "start"});
    if (started.output != "起動中\n")
        std::printf("  nimbrel start: %s%s", started.output.c_str(), started.errors.c_str());
    // The send log is counted again whenever it changes (every save renames
    // a new file over it).
    struct stat seen {};
    const bool reached = testing::eventually(
        [&] {
            struct stat now {};
            if (::stat(log.c_str(), &now) != 0) return false;
            if (now.st_ino == seen.st_ino && now.st_size == seen.st_size && now.st_mtim.tv_nsec == seen.st_mtim.tv_nsec &&
                now.st_mtim.tv_sec == seen.st_mtim.tv_sec)
                return false;
            seen = now;
            f.sends = std::max(f.sends, recordsIn(log) - before);
            return f.sends >= kWanted;
        },
        std::chrono::minutes(60));
    if (reached) f.tenSends = std::chrono::duration<double>(SteadyClock::now() - start).count();
    sampler.stop();
    f.tolvern = sampler.of("tolvern");
    f.ospery = sampler.of("ospery");
    f.morvane = sampler.of("morvane");

    testing::runProgram({nimbrel, "stop"}, 300000ms);
    testing::eventually([&] { return testing::processesOfHome(home.path()).empty(); }, 120000ms);
    testing::killWholeHome(home.path());
    edi.stop();
    try {
        const std::string errors = fs::readFile(home / "log/ErrorLog.txt");
        f.errorLines = static_cast<long>(std::count(errors.begin(), errors.end(), '\n'));
    } catch (...) {
    }
    if (keep || !reached) {
        ::setenv("FAXGATE_KEEP_TEMP", "1", 1);
        std::printf("  home kept: %s\n", home.path().c_str());
    }
    return f;
}

// The most of a program's processes, or with `spread` the least and the most.
std::string megabytes(const std::pair<double, double>& range, bool spread = false) {
    char s[64];
    if (!spread || range.second - range.first < 1e6)
        std::snprintf(s, sizeof s, "%.0f MB", range.second / 1e6);
    else
        std::snprintf(s, sizeof s, "%.0f-%.0f MB", range.first / 1e6, range.second / 1e6);
    return s;
}

}  // namespace
}  // namespace fg

int main(int argc, char** argv) {
    std::vector<long> sizes{0, 10000, 100000};
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--million") {
            sizes.push_back(1000000);
        } else if (a == "--only" && i + 1 < argc) {
            sizes = {std::atol(argv[++i])};
        } else if (a == "--keep") {
            keep = true;
        } else {
            std::fprintf(stderr, "usage: server_history [--million] [--only N] [--keep]\n");
            return 64;
        }
    }
    ::setenv("FAXGATE_TIME_SCALE", "0.01", 1);
    std::printf("server history: the demo's road at a scale of 0.01, the time to the tenth new send-log record and "
                "the peak memory of each process\n");
    std::printf("%-10s %9s %9s %12s %10s %10s %16s\n", "history", "log", "store", "10 sends", "tolvern", "ospery",
                "morvane (each)");
    std::fflush(stdout);
    std::vector<fg::Figures> all;
    int failures = 0;
    for (long n : sizes) {
        fg::Figures f;
        try {
            f = fg::run(n, keep);
        } catch (const std::exception& e) {
            std::printf("  %ld records: %s\n", n, e.what());
            ++failures;
            continue;
        }
        char time[32];
        if (f.tenSends > 0)
            std::snprintf(time, sizeof time, "%.1f s", f.tenSends);
        else
            std::snprintf(time, sizeof time, "(%ld sent)", f.sends);
        std::printf("%-10s %6.1f MB %6.1f MB %12s %10s %10s %16s%s\n", fg::sizeName(n).c_str(), f.logBytes / 1e6,
                    f.storeBytes / 1e6, time, fg::megabytes(f.tolvern).c_str(), fg::megabytes(f.ospery).c_str(),
                    fg::megabytes(f.morvane, true).c_str(),
                    f.errorLines ? ("  (" + std::to_string(f.errorLines) + " error log lines)").c_str() : "");
        std::fflush(stdout);
        if (f.tenSends <= 0) ++failures;
        all.push_back(f);
    }
    double none = 0;
    for (const fg::Figures& f : all)
        if (f.records == 0) none = f.tenSends;
    for (const fg::Figures& f : all)
        std::printf("scale history records=%ld log=%.1f store=%.1f ten-sends=%.2f ratio=%.1f tolvern=%.0f ospery=%.0f "
                    "morvane=%.0f\n",
                    f.records, f.logBytes / 1e6, f.storeBytes / 1e6, f.tenSends,
                    none > 0 ? f.tenSends / none : 0.0, f.tolvern.second / 1e6, f.ospery.second / 1e6,
                    f.morvane.second / 1e6);
    return failures == 0 ? 0 : 1;
}
