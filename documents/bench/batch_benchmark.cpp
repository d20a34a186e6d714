// Wall time of one 100-document batch through makeFAXSendXML on 20 simulated
// lines with no line time: 20 suppliers with five documents each (two
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

void writeLines(const std::string& home, int sendLines) {
    std::string body = "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><Modems>";
    for (int p = 1; p <= sendLines + 1; ++p) {
        bool pilot = p == sendLines + 1;
        body += "<Modem><PortNo>" + std::to_string(p) + "</PortNo><InitString>ATZ</InitString><LineType>0</LineType>"
                "<Usefulness>" + std::string(pilot ? "0" : "1") + "</Usefulness><PilotFlag>" + (pilot ? "1" : "0") +
                "</PilotFlag><PilotFAXNumber>" + (pilot ? "0312340000" : "") + "</PilotFAXNumber></Modem>";
        if (!pilot) {
            fs::makeFolders(home + "FaxLines/COM" + std::to_string(p));
            fs::writeFileAtomic(home + "FaxLines/COM" + std::to_string(p) + "/line.xml",
                                "<?xml version=\"1.0\" encoding=\"UTF-8\"?><FaxLine><ConnectTime>0</ConnectTime>"
                                "<PageTime>0</PageTime></FaxLine>");
        }
    }
    fs::writeFileAtomic(home + "data/modeminformation.xml", text::toCp932(body + "</Modems>"));
}

}  // namespace

int main() {
    std::string home = scratchHome("/tmp/fgbatch-XXXXXX");
    if (home.empty()) return 1;
    std::filesystem::create_symlink(std::string(FAXGATE_PROGRAM_DIR) + "/morvane", home + "morvane");
    ::setenv("FAXGATE_HOME", home.c_str(), 1);
    ::setenv("FAXGATE_TIME_SCALE", "0.01", 1);
    setClock(std::make_shared<ScaledClock>(0.01));
    writeLines(home, 20);

    const std::string tempEdi = home + "temp/TempEDI/";
    std::vector<GET_FILE> data{{0, "0301", {}, {}}, {0, "0500", {}, {}}, {0, "0701", {}, {}}, {0, "1101", {}, {}}};
    auto add = [&](std::size_t record, const std::string& supplier, const std::string& name, const std::string& body) {
        fs::writeFileAtomic(tempEdi + name + ".xml", body);
        data[record].strSupplier.push_back(supplier);
        data[record].strGetFile.push_back(name);
        ++data[record].intCnt;
    };
    for (int s = 1; s <= 20; ++s) {
        char code[8], fax[16];
        std::snprintf(code, sizeof code, "S1%03d", s);
        std::snprintf(fax, sizeof fax, "031111%04d", s);
        fs::writeFileAtomic(home + "Maker/" + code + ".XML",
                            text::toCp932(std::string("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><Maker-information>"
                                                      "<Supplier-code>") + code + "</Supplier-code><Supplier-name>受注者" +
                                          code + "</Supplier-name><Person-name>担当</Person-name><Section-name>営業部"
                                          "</Section-name><Fax-number>" + fax + "</Fax-number></Maker-information>"));
        const std::string n = code;
        const std::string rfqLine = "<JPM001><JPM001R><RFQ-goods-quantity>5</RFQ-goods-quantity></JPM001R></JPM001>";
        add(0, code, "q1_" + n, "<DORE0301>" + jptrm(code, s * 10 + 1, rfqLine) + "</DORE0301>");
        add(0, code, "q2_" + n, "<DORE0301>" + jptrm(code, s * 10 + 2, rfqLine) + "</DORE0301>");
        add(1, code, "o_" + n, "<DORE0500>" + jptrm(code, s * 10 + 3, "") + "</DORE0500>");
        add(2, code, "d_" + n, "<DORE0701>" + jptrm(code, s * 10 + 4, "") + jptrm(code, s * 10 + 5, "") + "</DORE0701>");
        add(3, code, "p_" + n, "<DORE1101>" + jptrm(code, s * 10 + 6, "") + jptrm(code, s * 10 + 7, "") + "</DORE1101>");
    }

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
