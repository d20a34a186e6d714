// The modem engine against the software fax modem of the test support:
// the processor time a page costs the sending thread (the engine alone; the
// software modem runs on a thread of its own) and the whole process, and the
// time from a port's opening to the first byte of the first page, read from
// the engine's trace.
#include "platform/clock.h"
#include "platform/fax_engine/fax_page.h"
#include "platform/fax_engine/g3_codec.h"
#include "platform/fax_engine/modem_fax_engine.h"
#include "platform/files.h"
#include "platform/testing/print_like_page.h"
#include "platform/testing/software_fax_modem.h"
#include "platform/testing/temp_home.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <tuple>

namespace {

using namespace fg;
using namespace fg::fax;

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

}  // namespace

int main() {
    testing::TempHome home(false);
    const int pages = 10;
    std::size_t bytes = 0;
    for (int n = 1; n <= pages; ++n) {
        std::string page = encodeG3(testing::printLikePage(kFaxWidth, kA4LinesHigh, static_cast<unsigned>(n)));
        bytes += page.size();
        fs::writeFileAtomic(home / ("send_p" + std::to_string(n) + ".G3"), page);
    }
    auto run = [&](double scale, int pageCount, const char* trace) {
        setClock(std::make_shared<ScaledClock>(scale));
        testing::SoftwareFaxModem modem(folder(home, "received"));
        home.write("faxports.xml", "<FaxPorts><LockFolder>" + folder(home, "lock") +
                                       "</LockFolder><Port><Number>1</Number><Device>" + modem.devicePath() +
                                       "</Device><Speed>115200</Speed></Port></FaxPorts>");
        ModemFaxEngine engine;
        engine.SetTraceOption(1);
        engine.SetTraceFileName((home / trace).c_str());
        engine.SetModemClass(0, 3);
        std::int32_t h = 0;
        double thread0 = cpuSeconds(RUSAGE_THREAD), process0 = cpuSeconds(RUSAGE_SELF);
        auto wall0 = std::chrono::steady_clock::now();
        std::int16_t open = engine.PortOpen(&h, 1, "ATZ");
        std::int16_t sent = engine.SendFax(h, "0312345678", (home / "send.G3").c_str(), static_cast<std::int16_t>(pageCount));
        double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
        double thread = cpuSeconds(RUSAGE_THREAD) - thread0, process = cpuSeconds(RUSAGE_SELF) - process0;
        engine.PortClose(h);
        setClock(nullptr);
        if (open != 0 || sent != 0) std::printf("modem send failed: open %d, send %d\n", open, sent);
        return std::make_tuple(thread, process, wall);
    };

    // Processor time: the line's time scaled away, so that the figures are
    // the engine's work and not its waits.
    auto [thread, process, wall] = run(0.02, pages, "cpu_trace.txt");
    std::printf("modem engine, %d fine pages (%zu bytes coded) sent in Class 2.0 through the software modem\n", pages,
                bytes);
    std::printf("  cpu per page, sending thread (engine): %.2f ms\n", thread * 1000 / pages);
    std::printf("  cpu per page, whole process (engine and software modem): %.2f ms\n", process * 1000 / pages);
    std::printf("  wall time of the send at a fiftieth of the line time: %.2f s\n", wall);
    std::printf("  line time of these pages at 14400 bit/s: %.1f s per page\n",
                static_cast<double>(bytes) * 8 / 14400 / pages);

    // Opening to the first page byte, in real time, from the trace.
    run(1.0, 1, "open_trace.txt");
    long opened = -1, firstByte = -1;
    std::string all = fs::readFile(home / "open_trace.txt"), line;
    for (char c : all) {
        if (c != '\n') {
            line += c;
            continue;
        }
        if (opened < 0 && line.find(" open /dev/") != std::string::npos) opened = traceMillis(line);
        if (firstByte < 0 && line.find("> (page 1:") != std::string::npos) firstByte = traceMillis(line);
        line.clear();
    }
    std::printf("  port open to the first page byte (real time, Class 2.0 set-up, dialling and page start): %ld ms\n",
                firstByte - opened);
    return 0;
}
