// Prints figures for the fax-send server: the CPU time that the send job
// spends per page sent (simulated line, zero line time, so that only our own
// work is counted), and the wall time of 20 concurrent one-page sends, each
// through its own server process. Never a test.
//
//   faxsend_benchmark [time scale, default 0.01]
#include "fax_send/morvane/fax_send.h"
#include "fax_send/morvane/fax_send_job.h"
#include "platform/clock.h"
#include "platform/fax_engine/g3_codec.h"
#include "platform/files.h"
#include "platform/process/event_pump.h"
#include "../tests/send_test_support.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

using namespace fg;
using Steady = std::chrono::steady_clock;

namespace {

double seconds(Steady::time_point since) { return std::chrono::duration<double>(Steady::now() - since).count(); }

double cpuSeconds(int who) {
    rusage u{};
    ::getrusage(who, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// An A4 fine page with lines of "text": what a form page codes to.
std::string a4Page(int seed) {
    fax::BilevelImage page(fax::kFaxWidth, 2291);
    unsigned r = static_cast<unsigned>(seed) * 2654435761u + 1;
    for (int line = 0; line < 60; ++line) {
        int y0 = 120 + line * 35;
        for (int y = y0; y < y0 + 20 && y < page.height; ++y)
            for (int x = 150; x < 1580; x += 12) {
                r = r * 1103515245u + 12345u;
                if ((r >> 16) & 1)
                    for (int k = 0; k < 6; ++k) page.setBlack(x + k, y);
            }
    }
    return fax::encodeG3(page);
}

void zeroTimeLines(const testing::TempHome& home) {
    for (int p = 1; p <= 4; ++p)
        testing::setLine(home, p, "<ConnectTime>0</ConnectTime><PageTime>0</PageTime>");
}

}  // namespace

int main(int argc, char** argv) {
    double scale = argc > 1 ? std::atof(argv[1]) : 0.01;
    if (!(scale > 0)) scale = 0.01;
    char scaleText[32];
    std::snprintf(scaleText, sizeof scaleText, "%g", scale);
    ::setenv("FAXGATE_TIME_SCALE", scaleText, 1);
    setClock(std::make_shared<ScaledClock>(scale));

    // 1. CPU per page of the job in this process, over one line.
    {
        testing::TempHome home;
        zeroTimeLines(home);
        testing::writeModems(home, {"1*ATZ*0*1*0*"});
        testing::setRetries(home, "3");
        const int numbers = 40, pagesEach = 5;
        std::vector<testing::ManageRecord> records;
        std::vector<std::string> list;
        for (int i = 0; i < numbers; ++i) {
            testing::ManageRecord r{"20240105093000" + std::to_string(1000 + i), "0311110001", {}};
            for (int p = 1; p <= pagesEach; ++p) r.pages.push_back(r.number + "_" + std::to_string(p));
            records.push_back(r);
            list.push_back(r.number);
        }
        testing::writeStore(home, records);
        std::string g3 = home.folder("G3Image");
        std::size_t bytes = 0;
        for (auto& r : records)
            for (std::size_t p = 0; p < r.pages.size(); ++p) {
                std::string page = a4Page(static_cast<int>(p));
                bytes += page.size();
                fs::writeFileAtomic(g3 + r.pages[p] + ".G3", page);
            }
        struct Pump : JobPump {
            void wait(std::chrono::milliseconds d) override { fg::clock().sleepFor(d); }
        } pump;
        auto modem = makeOstrandSendModem();
        double cpu0 = cpuSeconds(RUSAGE_SELF);
        auto t = Steady::now();
        bool ok = FaxSendJob(*modem, pump).run(list);
        double wall = seconds(t), cpu = cpuSeconds(RUSAGE_SELF) - cpu0;
        int pages = numbers * pagesEach;
        std::printf("send job: %d pages (%d numbers, A4 fine pages of %zu bytes on average), %s\n", pages, numbers,
                    bytes / pages, ok ? "all sent" : "FAILED");
        std::printf("  CPU per page sent: %.2f ms (%.4f%% of a 10 s line page); wall %.2f s at time scale %s\n",
                    cpu * 1000 / pages, cpu / pages / 10.0 * 100, wall, scaleText);
    }

    // 2. Twenty concurrent one-page sends, one server process each, over four lines.
    {
        testing::TempHome home;
        zeroTimeLines(home);
        std::filesystem::create_symlink(testing::programDir() + "morvane", home.path() + "morvane");
        std::vector<testing::ManageRecord> records;
        for (int i = 0; i < 20; ++i)
            records.push_back({"20240105093000" + std::to_string(2000 + i), "03222200" + std::to_string(10 + i),
                               {"20240105093000" + std::to_string(2000 + i) + "_1"}});
        testing::writeStore(home, records);
        std::string g3 = home.folder("G3Image");
        for (auto& r : records) fs::writeFileAtomic(g3 + r.pages[0] + ".G3", a4Page(7));

        EventPump pump;
        double children0 = cpuSeconds(RUSAGE_CHILDREN);
        auto t = Steady::now();
        std::vector<std::unique_ptr<FaxSend>> clients;
        std::vector<FaxSend*> raw;
        int accepted = 0, ended = 0;
        for (auto& r : records) {
            clients.push_back(std::make_unique<FaxSend>(pump));
            FaxSend* c = clients.back().get();
            raw.push_back(c);
            c->setEventSendFaxEnd([c, &ended] {
                ended += c->blnEndStatus().toText() == "True";
                c->release();
            });
            accepted += c->sendFAX({r.number});
        }
        double started = seconds(t);
        bool done = FaxSend::waitForEnds(pump, raw, FaxSend::WaitFor::All, std::chrono::hours(1));
        double wall = seconds(t);
        clients.clear();
        double serverCpu = cpuSeconds(RUSAGE_CHILDREN) - children0;
        std::size_t sent = 0;
        for (auto& r : testing::sendLog(home)) sent += r.result == "OK";
        std::printf("20 concurrent one-page sends over 4 lines: %d accepted, %d ended True, %zu recorded OK%s\n",
                    accepted, ended, sent, done ? "" : " (TIMED OUT)");
        std::printf("  wall %.2f s at time scale %s (%.1f s of the system's time: a 5 s first tick, 10 s "
                    "passes while the lines are taken); servers started in %.3f s\n",
                    wall, scaleText, wall / scale, started);
        std::printf("  CPU of the 20 server processes: %.1f ms each, start and end included\n",
                    serverCpu * 1000 / 20);
    }
    setClock(nullptr);
    return 0;
}
