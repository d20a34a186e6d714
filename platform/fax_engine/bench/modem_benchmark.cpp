// The modem engine against the software fax modem of the test support:
// the processor time a page costs the engine's thread (the software modem
// runs on a thread of its own), sending and receiving, beside what efax
// costs for the same pages through the same modem (efax codes its pages
// from bitmaps; ours are coded already), and the time from a port's opening
// to the first byte of the first page, read from the engine's trace.
#include "platform/clock.h"
#include "platform/fax_engine/fax_page.h"
#include "platform/fax_engine/g3_codec.h"
#include "platform/fax_engine/modem_fax_engine.h"
#include "platform/files.h"
#include "platform/testing/print_like_page.h"
#include "platform/testing/run_program.h"
#include "platform/testing/software_fax_modem.h"
#include "platform/testing/temp_home.h"

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

namespace {

using namespace fg;
using namespace fg::fax;
using namespace std::chrono_literals;

double cpuSeconds(int who) {
    rusage u{};
    if (::getrusage(who, &u) != 0) return 0;
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::string folder(const testing::TempHome& home, const std::string& name) {
    fs::makeFolders(home / name);
    return home / (name + "/");
}

// Milliseconds of the day of a trace line ("YYYYMMDDHHNNSS.mmm ...").
long traceMillis(const std::string& line) {
    if (line.size() < 18) return -1;
    return ((std::stol(line.substr(8, 2)) * 60 + std::stol(line.substr(10, 2))) * 60 + std::stol(line.substr(12, 2))) *
               1000 +
           std::stol(line.substr(15, 3));
}

std::string efaxProgram() {
    for (const char* path : {"/usr/bin/efax", "/usr/local/bin/efax"})
        if (::access(path, X_OK) == 0) return path;
    return {};
}

constexpr int kPages = 10;

class Bench {
public:
    Bench() {
        for (int n = 1; n <= kPages; ++n) {
            BilevelImage page = testing::printLikePage(kFaxWidth, kA4LinesHigh, static_cast<unsigned>(n));
            std::string coded = encodeG3(page);
            bytes += coded.size();
            pages.push_back(home / ("send_p" + std::to_string(n) + ".G3"));
            fs::writeFileAtomic(pages.back(), coded);
            std::string pbm = "P4\n" + std::to_string(page.width) + " " + std::to_string(page.height) + "\n";
            pbm.append(page.bits.begin(), page.bits.end());
            bitmaps.push_back(home / ("page" + std::to_string(n) + ".pbm"));
            fs::writeFileAtomic(bitmaps.back(), pbm);
        }
    }

    struct Run {
        double thread = 0, process = 0, wall = 0;
        bool ok = false;
    };

    // The engine on the modem: sends `count` pages, or receives the
    // modem's ringing call of all pages. The clock at `scale`.
    Run engine(double scale, bool receive, std::int16_t modemClass, int count, const char* trace) {
        setClock(std::make_shared<ScaledClock>(scale));
        Run r;
        {
            testing::SoftwareFaxModem modem(folder(home, "received"));
            home.write("faxports.xml", "<FaxPorts><LockFolder>" + folder(home, "lock") +
                                           "</LockFolder><Port><Number>1</Number><Device>" + modem.devicePath() +
                                           "</Device><Speed>115200</Speed></Port></FaxPorts>");
            ModemFaxEngine e;
            e.SetTraceOption(1);
            e.SetTraceFileName((home / trace).c_str());
            e.SetModemClass(0, modemClass);
            std::int32_t h = 0;
            std::int16_t result = -1, received = 0, status = 0;
            double thread0 = cpuSeconds(RUSAGE_THREAD), process0 = cpuSeconds(RUSAGE_SELF);
            auto wall0 = std::chrono::steady_clock::now();
            if (e.PortOpen(&h, 1, "ATZ") == 0) {
                if (receive) {
                    modem.ring(pages, "+81 6 5555 0000");
                    if (e.WaitForRing(h, &status) == 0 && status == 1) {
                        thread0 = cpuSeconds(RUSAGE_THREAD);
                        process0 = cpuSeconds(RUSAGE_SELF);
                        result = e.ReceiveFax(h, (home / "in.G3").c_str(), &received);
                    }
                } else {
                    result = e.SendFax(h, "0312345678", (home / "send.G3").c_str(), static_cast<std::int16_t>(count));
                }
            }
            r.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
            r.thread = cpuSeconds(RUSAGE_THREAD) - thread0;
            r.process = cpuSeconds(RUSAGE_SELF) - process0;
            r.ok = result == 0 && (!receive || received == count);
            e.PortClose(h);
        }
        setClock(nullptr);
        return r;
    }

    // efax on the same modem, sending the pages as bitmaps or receiving them.
    Run efax(double scale, bool receive, bool class20) {
        setClock(std::make_shared<ScaledClock>(scale));
        Run r;
        {
            testing::SoftwareFaxModem modem(folder(home, "received"));
            std::vector<std::string> args{efaxProgram(), class20 ? "-o0" : "-o2", "-d", modem.devicePath(), "-v", "e"};
            if (receive) {
                modem.ring(pages, "+81 6 5555 0000");
                // Class 2 modems answer by themselves, as efax expects of them.
                if (!class20) args.insert(args.end(), {"-w", "-iS0=2"});
                args.insert(args.end(), {"-r", home / "efax_in"});
            } else {
                args.insert(args.end(), {"-l", "+1 555 0100", "-h", "", "-t", "T0312345678"});
                args.insert(args.end(), bitmaps.begin(), bitmaps.end());
            }
            double children0 = cpuSeconds(RUSAGE_CHILDREN);
            auto wall0 = std::chrono::steady_clock::now();
            testing::ProgramRun run = testing::runProgram(args, 600000ms);
            r.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
            r.process = r.thread = cpuSeconds(RUSAGE_CHILDREN) - children0;
            r.ok = run.exitCode == 0 && modem.waitForCalls(1, 30s) && modem.calls().front().confirmedPages == kPages;
            if (!r.ok) std::printf("  (efax: exit %d: %s)\n", run.exitCode, run.errors.substr(0, 400).c_str());
        }
        setClock(nullptr);
        return r;
    }

    testing::TempHome home{false};
    std::vector<std::string> pages, bitmaps;
    std::size_t bytes = 0;
};

}  // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    Bench bench;
    // Processor time: the line's time scaled away, so that the figures are
    // the programs' work and not their waits.
    const double scale = 0.02;
    std::printf("%d A4 fine pages (%zu bytes coded, print-like) through the software modem, sent at %.2f of the line's time\n",
                kPages, bench.bytes, scale);
    std::printf("  line time of these pages at 14400 bit/s: %.1f s per page\n",
                static_cast<double>(bench.bytes) * 8 / 14400 / kPages);
    const bool haveEfax = !efaxProgram().empty();
    for (std::int16_t modemClass : {3, 2}) {
        const char* name = modemClass == 3 ? "Class 2.0" : "Class 2";
        for (bool receive : {false, true}) {
            const char* what = receive ? "received" : "sent";
            // The modem delivers pages as fast as the host takes them, but
            // rings at the pace of a line, which efax needs to answer.
            const double at = receive ? 1.0 : scale;
            Bench::Run ours = bench.engine(at, receive, modemClass, kPages, "cpu_trace.txt");
            if (!ours.ok) std::printf("  (the engine's %s call failed)\n", what);
            std::printf("%s, cpu per page %s: engine %.2f ms (its thread; %.2f ms the whole process with the modem)",
                        name, what, ours.thread * 1000 / kPages, ours.process * 1000 / kPages);
            if (haveEfax) {
                Bench::Run theirs = bench.efax(at, receive, modemClass == 3);
                std::printf(", efax %.2f ms, ratio engine/efax %.2f", theirs.process * 1000 / kPages,
                            ours.thread / theirs.process);
            }
            std::printf("\n");
        }
    }

    // Opening to the first page byte, in real time, from the trace.
    bench.engine(1.0, false, 3, 1, "open_trace.txt");
    long opened = -1, firstByte = -1;
    std::string all = fs::readFile(bench.home / "open_trace.txt"), line;
    for (char c : all) {
        if (c != '\n') {
            line += c;
            continue;
        }
        if (opened < 0 && line.find(" open /dev/") != std::string::npos) opened = traceMillis(line);
        if (firstByte < 0 && line.find("> (page 1:") != std::string::npos) firstByte = traceMillis(line);
        line.clear();
    }
    std::printf("port open to the first page byte (real time, Class 2.0 set-up, dialling and page start): %ld ms\n",
                firstByte - opened);
    return 0;
}
