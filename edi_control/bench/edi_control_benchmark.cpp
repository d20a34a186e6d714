// One full schedule pass of 100 documents: getEDIData("0") against the local
// EDI server, whose four answer archives hold 25 documents each of the three
// registered suppliers, then the wait on SendPortEndCheck until every send
// on the simulated lines has ended.
//
// The fixed waits of the system (the send job's start delay, the waits for a
// free port and between tries) are scaled away with FAXGATE_TIME_SCALE and
// the simulated lines take no time, so the figures are the work itself. Two runs are reported: the exchange alone
// (the batch handed to a builder that only records it) and the whole pass
// with the document builder, pages and sends.
#include "edi_control/castrel/edi_control.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/testing/send_lines.h"
#include "settings/set_up_info.h"
#include "standins/edi_server/local_edi_server.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace fg;

namespace {

const char* kCodes[4] = {"0301", "0500", "0701", "1101"};
const char* kSuppliers[3] = {"S0001", "S0002", "S0003"};

double seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

std::string scratch(const char* pattern) {
    std::string path = std::string("/tmp/") + pattern;
    if (!::mkdtemp(path.data())) std::exit(1);
    return path + "/";
}

// 25 documents of one code, made from the demo's sample message of that code
// with the supplier changed.
void cannedFetch(const std::string& answers, int step, const std::string& code) {
    std::string folder = answers + "GetEdiData/" + std::to_string(step) + "/D" + code + "_BENCH.tgz/";
    fs::makeFolders(folder);
    std::string sample =
        fs::readFile(std::string(FAXGATE_SOURCE_DIR) + "/demo/home/temp/TempEDI/DORE" + code + "_0001.xml");
    std::string index;
    for (int i = 0; i < 25; ++i) {
        std::string supplier = kSuppliers[i % 3];
        std::string document = sample;
        for (std::string::size_type at = 0; (at = document.find("<Supplier-code>S0001<", at)) != std::string::npos;)
            document.replace(at + 15, 5, supplier), at += 20;
        char name[32];
        std::snprintf(name, sizeof name, "B%s_%04d.xml", code.c_str(), i);
        fs::writeFileAtomic(folder + name, document);
        index += "C0001," + supplier + ",N" + std::to_string(i) + ",0,01,20240110,C,S," + code + "," + name + "\r\n";
    }
    fs::writeFileAtomic(folder + "index.csv", index);
}

struct Run {
    double pass = 0;
    double sends = 0;
    bool ok = false;
};

Run runOnce(bool withBuilder) {
    std::string home = scratch("fgbench-castrel-XXXXXX");
    std::filesystem::copy(std::string(FAXGATE_SOURCE_DIR) + "/demo/home", home,
                          std::filesystem::copy_options::recursive);
    for (const auto& name : fs::list(home + "temp/TempEDI/")) (void)fs::removeFile(home + "temp/TempEDI/" + name);
    ::setenv("FAXGATE_HOME", home.c_str(), 1);
    // The fax-send servers start from the installation; the simulated
    // lines take no time per call or page.
    std::filesystem::create_symlink(std::string(FAXGATE_PROGRAM_DIR) + "/morvane", home + "morvane");
    for (int port = 1; port <= 6; ++port) testing::writeLine(home, port, testing::kLineAtOnce);
    std::string answers = scratch("fgbench-answers-XXXXXX");
    for (int k = 0; k < 4; ++k) cannedFetch(answers, k + 1, kCodes[k]);

    Run run;
    {
        testing::LocalEdiServer server(answers);
        SetUpInfo settings;
        settings.setStrEDIMethodRoot(server.methodRoot());
        (void)settings.save();
        EDIControl control;
        if (!withBuilder)
            control.setBatchBuilder([](const std::vector<GET_FILE>&, const std::string&, const std::string&) {
                return true;
            });
        auto start = std::chrono::steady_clock::now();
        run.ok = control.getEDIData("0");
        auto built = std::chrono::steady_clock::now();
        while (control.SendPortEndCheck()) fg::clock().sleepFor(std::chrono::milliseconds(1000));
        auto ended = std::chrono::steady_clock::now();
        run.pass = seconds(built - start);
        run.sends = seconds(ended - built);
    }
    if (!std::getenv("FAXGATE_KEEP_TEMP")) {
        fs::removeTree(home);
        fs::removeTree(answers);
    }
    return run;
}

}  // namespace

int main() {
    if (!std::getenv("FAXGATE_TIME_SCALE")) ::setenv("FAXGATE_TIME_SCALE", "0.001", 1);
    std::printf("one schedule pass of 100 documents (4 codes x 25, 3 suppliers), time scale %s\n",
                std::getenv("FAXGATE_TIME_SCALE"));
    Run exchange = runOnce(false);
    std::printf("exchange only (fetch, index, expand, supplier check, confirmation list): %.3f s, %s\n",
                exchange.pass, exchange.ok ? "ok" : "FAILED");
    Run whole = runOnce(true);
    std::printf("whole pass (documents built, laid out, rendered and queued): %.3f s, %s\n", whole.pass,
                whole.ok ? "ok" : "FAILED (see log/ of the home with FAXGATE_KEEP_TEMP=1)");
    std::printf("then until every send ended: %.3f s; pass and sends: %.3f s, %.1f documents/s\n", whole.sends,
                whole.pass + whole.sends, 100.0 / (whole.pass + whole.sends));
    return 0;
}
