// Wall time of one 100-document batch through makeFAXSendXML on 20 simulated
// lines with no line time: 20 suppliers (or as many as the one argument
// says: 2000 make a batch of 10,000 documents) with five documents each (two
// quotation requests, an order sheet, a delivery-date confirmation and a
// payables notice), split into building (documents, records and layouts),
// rendering (the page pipeline) and handing over (20 fax-send servers
// started and given their groups), each also in CPU time of this process.
// The time until every send has ended is shown apart; the servers' waits
// run at a hundredth of their length. Runs in a scratch copy of the demo
// installation.
#include "documents/bench/bench_support.h"
#include "documents/quillary/fax_tran_xml.h"
#include "fax_images/pellior/fax_rep_img.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process/event_pump.h"
#include "platform/text.h"
#include "platform/xml.h"

#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using namespace fg;
using namespace fg::bench;

namespace {

using Steady = std::chrono::steady_clock;

// CPU time of this process, in seconds.
double cpuNow() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}


}  // namespace

int main(int argc, char** argv) {
    const int suppliers = argc > 1 ? std::atoi(argv[1]) : 20;
    if (suppliers < 1) {
        std::fprintf(stderr, "usage: %s [suppliers]\n", argv[0]);
        return 2;
    }
    std::string home = scratchHome("/tmp/fgbatch-XXXXXX");
    if (home.empty()) return 1;
    std::filesystem::create_symlink(std::string(FAXGATE_PROGRAM_DIR) + "/morvane", home + "morvane");
    ::setenv("FAXGATE_HOME", home.c_str(), 1);
    ::setenv("FAXGATE_TIME_SCALE", "0.01", 1);
    setClock(std::make_shared<ScaledClock>(0.01));
    testing::writeSendLines(home, home + "data/modeminformation.xml", 20);

    std::vector<GET_FILE> data = byCodeMessages(home + "temp/TempEDI/", home + "Maker/", suppliers);

    EventPump pump;
    Steady::duration rendering{};
    Steady::time_point firstHandOver{};
    double renderingCpu = 0, cpuAtFirstHandOver = 0;
    int groups = 0;
    std::size_t documents = 0;
    {
        FaxTranXml builder(&pump);
        FaxRepImg pages(&pump);
        builder.setPageRenderer([&](const std::vector<std::string>& numbers, const std::vector<std::string>& workbooks,
                                    const std::string& type, PageRecords& records) {
            auto start = Steady::now();
            const double cpu = cpuNow();
            bool ok = pages.makeFAXImage(numbers, workbooks, type, records);
            renderingCpu += cpuNow() - cpu;
            rendering += Steady::now() - start;
            return ok;
        });
        builder.setSendObserver([&](int, const std::vector<std::string>& numbers) {
            if (groups++ == 0) {
                firstHandOver = Steady::now();
                cpuAtFirstHandOver = cpuNow();
            }
            documents += numbers.size();
        });

        auto start = Steady::now();
        const double cpuAtStart = cpuNow();
        bool ok = builder.makeFAXSendXML(data, "", "");
        auto handedOver = Steady::now();
        const double cpuAtEnd = cpuNow();
        bool ended = pump.waitUntil([&] { return !builder.SendPortEndCheck(); }, std::chrono::hours(1));
        auto done = Steady::now();

        xml::Document log;
        std::size_t sentOk = 0, pagesSent = 0;
        if (log.load(home + "data/FaxSendLog.xml"))
            for (const auto& r : log.selectNodes("/FaxSendLogs/FaxSendLog")) {
                sentOk += r.selectSingleNode("Result").text() == "OK";
                pagesSent += static_cast<std::size_t>(std::atoi(r.selectSingleNode("PageNum").text().c_str()));
            }

        std::printf("batch: %s, %zu documents in %d groups, %zu sent OK, %zu pages%s\n", ok ? "ok" : "FAILED",
                    documents, groups, sentOk, pagesSent, ended ? "" : " (sends did not end)");
        const double whole = seconds(handedOver - start);
        const double render = seconds(rendering);
        const double build = seconds(firstHandOver - start) - render;
        const double buildCpu = cpuAtFirstHandOver - cpuAtStart - renderingCpu;
        const double handOver = seconds(handedOver - firstHandOver);
        std::printf("                                            wall          CPU\n");
        std::printf("building (documents, records, layouts): %8.3f s  %8.3f s  %6.1f documents/s\n", build, buildCpu,
                    documents / build);
        std::printf("rendering (page pipeline):              %8.3f s  %8.3f s  %6.1f documents/s  %5.1f ms CPU/page\n",
                    render, renderingCpu, documents / render, pagesSent ? renderingCpu * 1000 / pagesSent : 0.0);
        std::printf("handing over (20 servers started):      %8.3f s  %8.3f s  %6.1f ms/group\n", handOver,
                    cpuAtEnd - cpuAtFirstHandOver, groups ? handOver * 1000 / groups : 0.0);
        std::printf("whole makeFAXSendXML:                   %8.3f s  %8.3f s\n", whole, cpuAtEnd - cpuAtStart);
        std::printf("until every send ended (scaled waits):  %8.3f s\n", seconds(done - start));
        if (!ok || !ended) {
            fs::removeTree(home);
            return 1;
        }
    }
    setClock(nullptr);
    fs::removeTree(home);
    return 0;
}
