// Figures of the EDI transport and the index: the peak memory of one exchange
// whose answer is large (430 MB of data, a 582 MB answer text; the first
// argument gives another size in MB), exchanges per second against the local
// EDI server with a 1 MB answer, and the load of a 10,000-row index. Prints
// its figures; never fails a build.
#include "archive/grenwald/archive.h"
#include "edi_transport/index.h"
#include "edi_transport/request_reception.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/process/process.h"
#include "platform/text.h"
#include "standins/edi_server/local_edi_server.h"

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The most memory this process has held so far, in MB.
double peakMegabytes() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// GNU tar, which makes the index archives.
bool tar(const std::vector<std::string>& args) {
    try {
        fg::Process p = fg::Process::start("/usr/bin/tar", args);
        return p.waitFor(std::chrono::milliseconds(600000)) && p.exitCode() == 0;
    } catch (const fg::Error& e) {
        std::fprintf(stderr, "tar: %s\n", e.description().c_str());
        return false;
    }
}

class Quiet : public fg::ErrorLogSink {
public:
    void write(const fg::ErrorLogEntry& e) override { std::fprintf(stderr, "error log: %s %ld %s\n", e.source.c_str(), e.number, e.description.c_str()); }
};

}  // namespace

int main(int argc, char** argv) {
    const long long largeBytes = (argc > 1 ? std::atoll(argv[1]) : 430) * 1000000LL;
    char tmpl[] = "/tmp/edi-bench-XXXXXX";
    if (!::mkdtemp(tmpl)) return 1;
    std::string root = std::string(tmpl) + "/";
    std::string home = root + "home/";
    std::filesystem::copy(std::string(FAXGATE_SOURCE_DIR) + "/demo/home", home, std::filesystem::copy_options::recursive);
    ::setenv("FAXGATE_HOME", home.c_str(), 1);
    fg::setErrorLogSink(std::make_shared<Quiet>());

    // Exchanges with a 1 MB data answer.
    std::string answers = root + "answers/";
    std::string save = root + "save/";
    fg::fs::makeFolders(answers + "GetEdiData");
    fg::fs::makeFolders(save);
    std::mt19937 random(3);
    std::string data(1 << 20, '\0');
    for (char& c : data) c = static_cast<char>(random());
    fg::fs::writeFileAtomic(answers + "GetEdiData/D0301.tgz", data);
    // The request as the callers make it: request.xml packed into request.zip.
    std::string requestXml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Request><InfoType>0301</InfoType>"
                             "<Supplier>S001</Supplier></Request>";
    fg::fs::writeFileAtomic(root + "request.xml", requestXml);
    {
        fg::Archive archive;
        archive.setFile(root + "request.zip");
        if (archive.compress(fg::ZIP, {root + "request.xml"}) != 0) return 1;
    }
    {
        // One large answer, made by the server as it goes out.
        fg::fs::writeFileAtomic(answers + "GetEdiData.fault", "generate " + std::to_string(largeBytes) + "\n");
        fg::testing::LocalEdiServer server(answers);
        fg::RequestReception reception;
        double before = peakMegabytes();
        auto start = Clock::now();
        std::string code = reception.getEdiData(server.methodRoot(), root + "request.zip", save);
        double took = seconds(Clock::now() - start);
        std::uintmax_t stored = 0;
        if (auto found = fg::fs::resolve(save + "generated.dat")) stored = std::filesystem::file_size(*found);
        std::printf("one answer of %.0f MB (answer text %.0f MB): %s, %ju bytes stored, %.1f s; "
                    "peak memory %.1f MB before, %.1f MB after\n",
                    largeBytes / 1e6, (largeBytes + 2) / 3 * 4 * 62 / 60 / 1e6, code.c_str(), stored, took, before,
                    peakMegabytes());
        (void)fg::fs::removeFile(save + "generated.dat");
        (void)fg::fs::removeFile(answers + "GetEdiData.fault");
    }
    {
        fg::testing::LocalEdiServer server(answers);
        fg::RequestReception reception;
        reception.setServerCode("S001");
        reception.setInfoCode("0301");
        const int exchanges = 40;
        auto start = Clock::now();
        int ok = 0;
        for (int i = 0; i < exchanges; ++i)
            ok += reception.getEdiData(server.methodRoot(), root + "request.zip", save) == "T0000";
        double took = seconds(Clock::now() - start);
        std::printf("exchanges with a 1 MB answer: %d of %d ok, %.1f exchanges/s, %.1f ms each, %.1f MB/s of answer\n",
                    ok, exchanges, exchanges / took, took * 1000 / exchanges, exchanges / took);
    }

    // Loading a 10,000-row index.
    fg::fs::writeFileAtomic(home + "IndexInfo/9999-info.xml",
                            "<IndexInfo COLCOUNT=\"10\"><Col>Customer-code</Col><Col>Supplier-code</Col>"
                            "<Col>RFQ-number</Col><Col>Status</Col><Col DATATYPE=\"date\">Issue-date</Col>"
                            "<Col>Name</Col><Col>Note</Col><Col>Amount</Col><Col>Kind</Col><Col>File-name</Col></IndexInfo>");
    std::string csv;
    for (int i = 0; i < 10000; ++i)
        csv += "C" + std::to_string(i % 50) + ",S" + std::to_string(i % 400) + "," + std::to_string(100000 + i) +
               ",0,20240131,\"東京商事 株式会社\",\"note, with comma\",12345,01,F" + std::to_string(i) + ".xml\r\n";
    std::string scratch = root + "scratch/";
    fg::fs::makeFolders(scratch);
    fg::fs::writeFileAtomic(scratch + "index.csv", fg::text::toCp932(csv));
    if (!tar({"-czf", root + "index.tgz", "-C", scratch, "index.csv"})) return 1;
    fg::Index index;
    const int loads = 10;
    auto start = Clock::now();
    int ok = 0;
    for (int i = 0; i < loads; ++i) ok += index.loadIndex({root + "index.tgz"}, "9999", {"KEY"});
    double took = seconds(Clock::now() - start);
    std::printf("index load of 10,000 rows x 10 columns: %d of %d ok, %.1f ms each, %.0f rows/s\n", ok, loads,
                took * 1000 / loads, 10000.0 * loads / took);
    start = Clock::now();
    auto suppliers = index.getList("Supplier-code", false);
    std::size_t rows = 0;
    for (const auto& s : suppliers) rows += index.getSearchedListXArray("Supplier-code", s).size();
    std::printf("supplier list and per-supplier rows (%zu suppliers, %zu rows): %.1f ms\n", suppliers.size(), rows,
                seconds(Clock::now() - start) * 1000);

    fg::fs::removeTree(root);
    return 0;
}
