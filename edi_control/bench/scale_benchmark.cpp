// How the costs of a schedule pass grow with the work: each step is timed on
// generated data of growing size, and each line shows how many times the
// cost grew when the work grew ten times. Linear work grows about ten times;
// much more means a cost that grows faster than the work.
//
//   index walk     the suppliers of an index (one per 25 rows) and the rows of
//                  each, as the EDI control walks them
//   fetch          one answer archive of that many documents fetched, its
//                  index walked and its documents extracted (the batch left out)
//   suppliers      the same fetch of documents of as many suppliers as
//                  documents against documents of 3 suppliers, as many
//                  supplier files installed for both; and 200 distinct
//                  supplier lookups (a MakerInfo each, as the callers make
//                  them) in a folder of 10,000 supplier files, against
//                  reading every supplier file once; each the median of three
//   batch          documents of 5 per supplier built, recorded, laid out,
//                  rendered and handed to the 20 send ports; the sends are
//                  answered at once by the simulated lines, and the waits for a
//                  free port are left out (what the sends themselves cost is the
//                  fax-send servers' own); the fastest of three runs
//   send log       one send's history (look-up and record) against a send log
//                  of that many records, the file's size per record, and the
//                  peak memory of the process that makes the largest one
//   send log blank one record written to a send log of that many records
//                  (setSendCareer), and the same write again just after a
//                  record whose section name is a blank (" "), with the
//                  memory each write adds to its process
//   store          one record's condition changed in a management store of
//                  that many records
//   telephone      a caller's check before a decision (checkBeforeDecision)
//                  against a store of that many records, each sent to a fax
//                  number of its own, and again with every record sent to
//                  the caller's number (a supplier of many years)
//   extract-missing the listed documents of an answer archive extracted when
//                  one of them is missing from it; the median of nine runs
//
// The files are written as the system's saves write them. A whole-file pass
// is set beside what the bytes alone cost: a copy of the file made as a
// save makes it (read, written to a temporary file, synced, renamed over),
// or for a read, one read of its bytes; each the best of three.
//
// The last lines are for scripts:
//   scale index-walk 10k=<seconds> 100k=<seconds> ratio=<100k/10k>
//   scale batch 100=<seconds> 1000=<seconds> ratio=<1000/100>
//   scale send-log 1k=<s> 100k=<s> copy=<s> ratio=<100k/copy>
//   scale send-log-blank before=<s> after=<s> ratio=<after/before> grew-before=<MB> grew-after=<MB> file=<MB>
//   scale store 1k=<s> 100k=<s> copy=<s> ratio=<100k/copy>
//   scale telephone 1k=<s> 100k=<s> read=<s> ratio=<100k/read>
//   scale telephone-one-supplier 1k=<s> 100k=<s> read=<s> ratio=<100k/read>
//   scale extract-missing 100=<s> 1000=<s> ratio=<1000/100>
//   scale fetch-suppliers 3=<s> 3k=<s> ratio=<3k/3>
//   scale supplier-lookups read=<s> 200=<s> ratio=<200/read>
// With --quick every size is a tenth (the lines keep their names), so that a
// script can run it in well under two minutes.
#include "archive/grenwald/archive.h"
#include "documents/bench/bench_support.h"
#include "documents/quillary/fax_tran_xml.h"
#include "edi_control/castrel/archive_calls.h"
#include "edi_control/castrel/edi_control.h"
#include "edi_transport/index.h"
#include "fax_send/kelvra/fax_send_careers.h"
#include "fax_send/morvane/send_records.h"
#include "platform/archive/archive_file.h"
#include "platform/clock.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/process/event_pump.h"
#include "platform/testing/history_files.h"
#include "platform/testing/store_files.h"
#include "platform/testing/temp_home.h"
#include "platform/text.h"
#include "platform/xml_scan.h"
#include "settings/fax_manage_num.h"
#include "settings/maker_info.h"
#include "settings/set_up_info.h"
#include "standins/edi_server/local_edi_server.h"
#include "telephony/telephony_control.h"

#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace fg;

namespace {

using Steady = std::chrono::steady_clock;

double since(Steady::time_point start) { return std::chrono::duration<double>(Steady::now() - start).count(); }

// Counts what the error log receives, so that a run that went wrong shows.
class CountingLog : public ErrorLogSink {
public:
    void write(const ErrorLogEntry& e) override {
        if (count_++ < 5) std::fprintf(stderr, "  error log: %s %ld %s\n", e.source.c_str(), e.number, e.description.c_str());
    }
    long take() { return count_.exchange(0); }

private:
    std::atomic<long> count_{0};
};

std::shared_ptr<CountingLog> errorLog;

std::string errorsNote() {
    long n = errorLog->take();
    return n == 0 ? std::string() : "  (" + std::to_string(n) + " error log entries)\n";
}

std::string sizeName(long n) {
    if (n >= 1000 && n % 1000 == 0) return std::to_string(n / 1000) + "k";
    return std::to_string(n);
}

void row(const char* what, const std::vector<long>& sizes, const std::vector<double>& secs, const char* unit) {
    std::printf("%-44s", what);
    for (std::size_t i = 0; i < sizes.size(); ++i) std::printf("  %6s %-9s %9.3f s", sizeName(sizes[i]).c_str(), unit, secs[i]);
    // A growth from next to nothing says nothing: shown as "x-".
    for (std::size_t i = 1; i < secs.size(); ++i) {
        if (secs[i - 1] >= 1e-4)
            std::printf("  x%.1f", secs[i] / secs[i - 1]);
        else
            std::printf("  x-");
    }
    std::printf("\n");
    std::fflush(stdout);
}

// ---- Index --------------------------------------------------------------------

const char* const kColumns =
    "<IndexInfo COLCOUNT=\"10\"><Col>Customer-code</Col><Col>Supplier-code</Col><Col>RFQ-number</Col>"
    "<Col>Status</Col><Col DATATYPE=\"date\">Issue-date</Col><Col>Name</Col><Col>Note</Col><Col>Amount</Col>"
    "<Col>Kind</Col><Col>File-name</Col></IndexInfo>";

// index.csv of `rows` rows, one supplier per 25 rows, the suppliers' rows
// spread over the file; every 50th row is marked fetched already.
std::string indexCsv(long rows, const std::function<std::string(long)>& supplierOf, const std::string& code) {
    std::string csv;
    for (long i = 0; i < rows; ++i)
        csv += "C" + std::to_string(i % 50) + "," + supplierOf(i) + "," + std::to_string(100000 + i) + "," +
               (i % 50 == 49 ? "1" : "0") + ",20240131,\"東京商事 株式会社\",\"note, with comma\",12345," + code +
               ",B" + code + "_" + std::to_string(i) + ".xml\r\n";
    return text::toCp932(csv);
}

void tarGz(const std::string& archive, const std::string& folder) {
    arc::PackRequest pack;
    pack.archive = archive;
    pack.format = arc::Format::Tar;
    pack.compression = arc::Compression::Gzip;
    for (const std::string& name : fs::list(folder)) pack.items.push_back({folder + name, name});
    arc::pack(pack);
}

double indexWalk(const testing::TempHome& home, long rows) {
    fs::writeFileAtomic(home.path() + "IndexInfo/9999-info.xml", kColumns);
    const long suppliers = std::max(1L, rows / 25);
    std::string scratch = home.path() + "walk/";
    fs::removeTree(scratch);
    fs::makeFolders(scratch);
    fs::writeFileAtomic(scratch + "index.csv", indexCsv(rows, [&](long i) {
                            char s[32];
                            std::snprintf(s, sizeof s, "S%05ld", (i * 7919) % suppliers);
                            return std::string(s);
                        }, "9999"));
    tarGz(home.path() + "walk.tgz", scratch);
    // The best of five walks, each over an index loaded afresh, as the EDI
    // control walks an index it has just loaded (a walk keeps what it learns
    // of the index until the next load).
    double best = 1e300;
    for (int run = 0; run < 5; ++run) {
        Index index;
        if (!index.loadIndex({home.path() + "walk.tgz"}, "9999", {"KEY"})) std::fprintf(stderr, "index did not load\n");
        auto start = Steady::now();
        std::size_t found = 0;
        for (const std::string& supplier : index.getList("Supplier-code", false))
            found += index.getSearchedListXArray("Supplier-code", supplier).size();
        best = std::min(best, since(start));
        if (found != static_cast<std::size_t>(rows)) std::fprintf(stderr, "walk found %zu rows of %ld\n", found, rows);
    }
    return best;
}

// ---- Fetch --------------------------------------------------------------------

// `count` supplier files written into the supplier folder as the EDI
// server sends them (codes M00000 on); their codes in listing order.
std::vector<std::string> installSuppliers(const std::string& makerFolder, long count) {
    std::vector<std::string> codes;
    for (long i = 0; i < count; ++i) {
        char code[32], fax[48];
        std::snprintf(code, sizeof code, "M%05ld", i);
        std::snprintf(fax, sizeof fax, "06-7%03ld-%04ld", i / 10000, i % 10000);
        fs::writeFileAtomic(makerFolder + code + ".XML",
                            text::toCp932(std::string("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n"
                                                      "<Maker-information><Supplier-code>") + code +
                                          "</Supplier-code><Supplier-name>受注工業株式会社</Supplier-name><Person-name>"
                                          "山田 太郎</Person-name><Section-name>営業部</Section-name><E-mail>"
                                          "m@example.invalid</E-mail><Telephone-number>06-1234-5678"
                                          "</Telephone-number><Fax-number>" + fax + "</Fax-number>"
                                          "<Relative-client-code>C0001</Relative-client-code></Maker-information>"),
                            fs::Sync::Passing);
        codes.push_back(code);
    }
    return codes;
}

// One schedule pass whose "0301" answer holds `documents` documents; the
// other codes have nothing. The batch is left out. The documents are of the
// three demo suppliers, or with `installed` supplier files written, of
// `suppliers` of them spread over the folder.
double fetchPass(long documents, long suppliers = 3, long installed = 0) {
    testing::TempHome home;
    testing::TempDir answers;
    std::string folder = answers.path() + "GetEdiData/1/D0301_SCALE.tgz/";
    fs::makeFolders(folder);
    const std::string sample = fs::readFile(testing::sourceDir() + "demo/home/temp/TempEDI/DORE0301_0001.xml");
    std::vector<std::string> codes{"S0001", "S0002", "S0003"};
    if (installed > 0) {
        std::vector<std::string> all = installSuppliers(home.folder("MakerInfo"), installed);
        codes.clear();
        for (long s = 0; s < suppliers; ++s)
            codes.push_back(all[static_cast<std::size_t>(s * (installed / suppliers))]);
    }
    for (long i = 0; i < documents; ++i)
        fs::writeFileAtomic(folder + "B0301_" + std::to_string(i) + ".xml", sample);
    fs::writeFileAtomic(folder + "index.csv", indexCsv(documents, [&](long i) {
                            return codes[static_cast<std::size_t>(i) % codes.size()];
                        }, "0301"));
    testing::LocalEdiServer server(answers.path());
    SetUpInfo settings;
    settings.setStrEDIMethodRoot(server.methodRoot());
    (void)settings.save();
    EDIControl control;
    long handed = 0;
    control.setBatchBuilder([&](const std::vector<GET_FILE>& data, const std::string&, const std::string&) {
        for (const GET_FILE& record : data) handed += record.intCnt;
        return true;
    });
    auto start = Steady::now();
    bool ok = control.getEDIData("0");
    double took = since(start);
    long expected = documents - documents / 50;
    if (!ok || handed != expected)
        std::fprintf(stderr, "fetch of %ld: %s, %ld documents of %ld\n", documents, ok ? "ok" : "FAILED", handed, expected);
    return took;
}

// ---- Batch --------------------------------------------------------------------

// 20 send lines that answer at once, and the fax-send server in the home.
void sendLines(const testing::TempHome& home) {
    testing::writeSendLines(home.path(), home.folder("ModemInfo") + "modeminformation.xml", 20);
    std::filesystem::create_symlink(testing::programDir() + "morvane", home.path() + "morvane");
}

struct BatchTimes {
    double whole = 0;  // up to the last hand-over, the waits for a free port left out
    double build = 0, layout = 0, render = 0, store = 0, handOver = 0;
    double waiting = 0;  // for a free port
    long handed = 0;
};

BatchTimes batch(long documents) {
    testing::TempHome home;
    sendLines(home);
    std::vector<GET_FILE> data =
        bench::byCodeMessages(home.folder("TempEDI"), home.folder("MakerInfo"), static_cast<int>(documents / 5));
    BatchTimes t;
    EventPump pump;
    {
        FaxTranXml builder(&pump);
        Steady::time_point lastHandOver{};
        builder.setStepObserver([&](FaxTranXml::BatchStep step, Steady::duration took) {
            const double s = std::chrono::duration<double>(took).count();
            switch (step) {
            case FaxTranXml::BatchStep::Build: t.build += s; break;
            case FaxTranXml::BatchStep::Layout: t.layout += s; break;
            case FaxTranXml::BatchStep::Render: t.render += s; break;
            case FaxTranXml::BatchStep::Store: t.store += s; break;
            case FaxTranXml::BatchStep::PortWait: t.waiting += s; break;
            case FaxTranXml::BatchStep::HandOver:
                t.handOver += s;
                lastHandOver = Steady::now();
                break;
            }
        });
        builder.setSendObserver([&](int, const std::vector<std::string>& numbers) {
            t.handed += static_cast<long>(numbers.size());
        });
        auto start = Steady::now();
        bool ok = builder.makeFAXSendXML(data, "", "");
        t.whole = std::chrono::duration<double>(lastHandOver - start).count() - t.waiting;
        if (!ok || t.handed != documents)
            std::fprintf(stderr, "batch of %ld: %s, %ld documents handed over\n", documents, ok ? "ok" : "FAILED", t.handed);
        (void)pump.waitUntil([&] { return !builder.SendPortEndCheck(); }, std::chrono::hours(10));
    }
    return t;
}

// ---- Whole-file passes ----------------------------------------------------------

// The best of three runs of `step`, each after `prepare` (left out).
double bestOf3(const std::function<void()>& prepare, const std::function<void()>& step) {
    double best = 1e300;
    for (int run = 0; run < 3; ++run) {
        prepare();
        auto start = Steady::now();
        step();
        best = std::min(best, since(start));
    }
    return best;
}

// The median of `runs` runs of `step`, each after `prepare` (left out): for a
// step of a few milliseconds, where one slice of other work on the machine
// weighs as much as the step and the best of three still swings.
double medianOf(int runs, const std::function<void()>& prepare, const std::function<void()>& step) {
    std::vector<double> took;
    for (int run = 0; run < runs; ++run) {
        prepare();
        auto start = Steady::now();
        step();
        took.push_back(since(start));
    }
    std::nth_element(took.begin(), took.begin() + runs / 2, took.end());
    return took[runs / 2];
}

// One copy of the file as a save makes it: its bytes read, written to a
// temporary file, synced and renamed over a copy beside it.
double copyOf(const std::string& path) {
    return bestOf3([] {}, [&] { fs::writeFileAtomic(path + ".copy", fs::readFile(path)); });
}

double readOf(const std::string& path) {
    return bestOf3([] {}, [&] {
        if (fs::readFile(path).empty()) std::fprintf(stderr, "nothing read\n");
    });
}

void checkPlain(const std::string& path) {
    if (!xml::ScannedFile(fs::readFile(path)).canonical())
        std::fprintf(stderr, "%s is not written as a save writes it\n", path.c_str());
}

struct SendLogFigures {
    double send = 0;  // one send's history: look-up and record
    double copy = 0;
    double bytesPerRecord = 0;
    double peakBytes = 0;  // of a process that makes one send's history
    double fileBytes = 0;
};

// A send log of that many records, as the fax-send servers write it.
std::string sendLogXml(long records) {
    std::string log = "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<FaxSendLogs>";
    for (long i = 0; i < records; ++i) log += testing::oldSendLogRecord(i);
    return text::toCp932(log + "</FaxSendLogs>\r\n");
}

// The peak memory of a child process that runs `step`, in bytes.
double peakOfChild(const std::function<void()>& step) {
    pid_t pid = ::fork();
    if (pid == 0) {
        step();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_maxrss) * 1024.0;
}

SendLogFigures sendLog(long records, bool measureMemory) {
    testing::TempHome home;
    const std::string number = "202404010930009999";
    testing::StoreRecord r;
    r.number = number;
    r.tempImages = {number + "_001"};
    r.refImages = {number + "_001"};
    r.sendXml = {number};
    fs::writeFileAtomic(home.folder("FaxManageNum") + FaxManageNum::kFileName, testing::storeXml({r}));
    fs::writeFileAtomic(home.folder("G3Image") + number + "_001.g3", "G3");
    const std::string path = home.folder("FaxSendLog") + FaxSendCareers::kFileName;
    SendLogFigures f;
    {
        const std::string log = sendLogXml(records);
        f.fileBytes = static_cast<double>(log.size());
        auto fresh = [&] { fs::writeFileAtomic(path, log); };
        fresh();
        checkPlain(path);
        f.copy = copyOf(path);
        f.send = bestOf3(fresh, [&] {
            if (!send_records::writeSendResult(number, true).written) std::fprintf(stderr, "send of %ld: failed\n", records);
        });
        if (!send_records::hasSendRecord(number)) std::fprintf(stderr, "send of %ld: not recorded\n", records);
        f.bytesPerRecord = static_cast<double>(std::filesystem::file_size(path)) / static_cast<double>(records + 1);
        fresh();
    }
    if (measureMemory) f.peakBytes = peakOfChild([&] { (void)send_records::writeSendResult(number, true); });
    return f;
}

// The memory a child process adds while it runs `step`, in bytes: its
// resident high-water mark after the step over what it held before it (the
// mark is reset first, so the parent's past peaks do not count, and the
// memory the parent freed is given back first).
double growthOfChild(const std::function<void()>& step) {
    int fds[2];
    if (::pipe(fds) != 0) return -1;
    auto statusField = [](const char* field) {
        std::FILE* f = std::fopen("/proc/self/status", "r");
        double kb = -1;
        char line[256];
        while (f && std::fgets(line, sizeof line, f))
            if (std::strncmp(line, field, std::strlen(field)) == 0) kb = std::atof(line + std::strlen(field));
        if (f) std::fclose(f);
        return kb * 1024.0;
    };
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        // Memory the parent freed would be taken again unseen.
        ::malloc_trim(0);
        if (std::FILE* clear = std::fopen("/proc/self/clear_refs", "w")) {
            std::fputs("5", clear);
            std::fclose(clear);
        }
        const double before = statusField("VmRSS:");
        step();
        const double grew = statusField("VmHWM:") - before;
        if (::write(fds[1], &grew, sizeof grew) != sizeof grew) ::_exit(1);
        ::_exit(0);
    }
    ::close(fds[1]);
    double grew = -1;
    if (::read(fds[0], &grew, sizeof grew) != sizeof grew) grew = -1;
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return grew;
}

// One ordinary record written to a log of that many records, and the same
// write again just after a record whose section name is a blank: a blank is
// a value like any other, so the write after it costs what the one before
// did.
struct BlankFigures {
    double before = 0, after = 0;  // setSendCareer
    double grewBefore = 0, grewAfter = 0;  // the memory each write adds to its process
    double fileBytes = 0;
};

BlankFigures sendLogBlank(long records) {
    testing::TempHome home;
    const std::string path = home.folder("FaxSendLog") + FaxSendCareers::kFileName;
    const std::string log = sendLogXml(records);
    BlankFigures f;
    f.fileBytes = static_cast<double>(log.size());
    auto write = [&](long i, const std::string& postName) {
        FaxSendCareers careers;
        careers.setStrSendDate("20240401093000");
        careers.setStrRepManageNo("20240401093000" + std::to_string(1000 + i));
        careers.setStrRepType("注文書");
        careers.setStrSendCompanyName("受注工業株式会社");
        careers.setStrSendPostName(postName);
        careers.setStrSendFAXNum("0312345678");
        careers.setStrEnploymentMode("0");
        careers.setStrSendPageNum("1");
        careers.setStrSendResult("OK");
        if (!careers.setSendCareer()) std::fprintf(stderr, "send log write of %ld: failed\n", records);
    };
    auto fresh = [&] { fs::writeFileAtomic(path, log); };
    auto afterBlank = [&] {
        fresh();
        write(1, " ");
    };
    f.before = bestOf3(fresh, [&] { write(2, "営業部"); });
    f.after = bestOf3(afterBlank, [&] { write(2, "営業部"); });
    fresh();
    f.grewBefore = growthOfChild([&] { write(2, "営業部"); });
    afterBlank();
    checkPlain(path);
    f.grewAfter = growthOfChild([&] { write(2, "営業部"); });
    return f;
}

// A store of that many records, each sent to its own fax number or all to
// one (a supplier holding every record), with the record asked about in its
// middle.
struct StoreFigures {
    double change = 0, copy = 0;  // setDecisionCondition
    double check = 0, read = 0;   // checkBeforeDecision
    double checkOneSupplier = 0;  // checkBeforeDecision, every record of the caller's number
};

double telephoneCheck(long records, const std::string& faxNum, const std::string& number) {
    return bestOf3([] {}, [&] {
        std::string asked = number;
        if (TelephonyControl().checkBeforeDecision(faxNum, asked) != 0)
            std::fprintf(stderr, "check of %ld: not answerable\n", records);
    });
}

StoreFigures store(long records) {
    testing::TempHome home;
    std::vector<testing::StoreRecord> all;
    all.reserve(static_cast<std::size_t>(records));
    for (long i = 0; i < records; ++i) all.push_back(testing::oldStoreRecord(i));
    const testing::StoreRecord asked = all[all.size() / 2];
    const std::string path = home.folder("FaxManageNum") + FaxManageNum::kFileName;
    fs::writeFileAtomic(path, testing::storeXml(all));
    checkPlain(path);
    StoreFigures f;
    f.copy = copyOf(path);
    f.read = readOf(path);
    int condition = 0;
    f.change = bestOf3([] {}, [&] {
        if (!FaxManageNum().setDecisionCondition(asked.number, std::to_string(condition++ % 2)))
            std::fprintf(stderr, "condition of %ld: not set\n", records);
    });
    f.check = telephoneCheck(records, asked.faxNum, asked.number);
    // Years of one supplier: every record sent to the caller's number.
    for (testing::StoreRecord& r : all) r.faxNum = asked.faxNum;
    all[all.size() / 2].decision = "0";  // as the changes above left it
    fs::writeFileAtomic(path, testing::storeXml(all));
    f.checkOneSupplier = telephoneCheck(records, asked.faxNum, asked.number);
    return f;
}

// The listed documents of an archive of that many, one of them missing.
double extractMissing(long documents) {
    testing::TempDir work;
    const std::string folder = work.path() + "docs/";
    const std::string out = work.path() + "out";
    fs::makeFolders(folder);
    fs::makeFolders(out);
    const std::string sample = fs::readFile(testing::sourceDir() + "demo/home/temp/TempEDI/DORE0301_0001.xml");
    std::vector<std::string> names;
    for (long i = 0; i < documents; ++i) {
        names.push_back("B0301_" + std::to_string(i) + ".xml");
        if (i != documents / 2) fs::writeFileAtomic(folder + names.back(), sample);
    }
    tarGz(work.path() + "answer.tgz", folder);
    std::vector<bool> extracted;
    double took = medianOf(9, [&] {
        fs::removeTree(out);
        fs::makeFolders(out);
    }, [&] { extracted = castrel::expandEntries(work.path() + "answer.tgz", out, names); });
    long had = static_cast<long>(std::count(extracted.begin(), extracted.end(), true));
    if (had != documents - 1) std::fprintf(stderr, "extract of %ld: %ld documents\n", documents, had);
    return took;
}

// 200 distinct lookups by supplier code, in an order of their own, in a
// folder of `files` supplier files, against reading every supplier file once
// (listed and read). Before each run of the lookups one supplier file is
// written again, so that each starts from a folder it has not seen.
struct LookupFigures {
    double read = 0, lookups = 0;
};

LookupFigures supplierLookups(long files, long lookups) {
    testing::TempHome home;
    const std::string folder = home.folder("MakerInfo");
    const std::vector<std::string> codes = installSuppliers(folder, files);
    LookupFigures f;
    f.read = medianOf(3, [] {}, [&] {
        std::size_t bytes = 0;
        for (const std::string& name : fs::list(folder, MakerInfo::kPattern))
            bytes += fs::readFile(folder + name).size();
        if (bytes == 0) std::fprintf(stderr, "nothing read\n");
    });
    const std::string touched = folder + codes.front() + ".XML";
    const std::string bytes = fs::readFile(touched);
    f.lookups = medianOf(3, [&] { fs::writeFileAtomic(touched, bytes, fs::Sync::Passing); }, [&] {
        for (long k = 0; k < lookups; ++k) {
            const std::string& code = codes[static_cast<std::size_t>((k * 37 % lookups) * (files / lookups))];
            if (!MakerInfo().getMakerInfo(code, "", false))
                std::fprintf(stderr, "supplier %s not found\n", code.c_str());
        }
    });
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    bool quick = false;
    std::string only;  // --only=walk|fetch|suppliers|batch|log|store|extract: one part alone, for a profiler
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            quick = true;
        } else if (std::strncmp(argv[i], "--only=", 7) == 0) {
            only = argv[i] + 7;
        } else {
            std::fprintf(stderr, "usage: scale_benchmark [--quick] [--only=walk|fetch|suppliers|batch|log|store|extract]\n");
            return 64;
        }
    }
    auto runs = [&](const char* part) { return only.empty() || only == part; };
    const long tenth = quick ? 10 : 1;
    ::setenv("FAXGATE_TIME_SCALE", "0.001", 1);
    setClock(std::make_shared<ScaledClock>(0.001));
    errorLog = std::make_shared<CountingLog>();
    setErrorLogSink(errorLog);
    std::printf("scale benchmark%s: seconds per step; x: how many times the cost grew from the size before\n",
                quick ? " (--quick: every size a tenth)" : "");

    std::vector<long> walkSizes{1000 / tenth, 10000 / tenth, 100000 / tenth};
    std::vector<double> walk;
    if (runs("walk")) {
        testing::TempHome home;
        for (long rows : walkSizes) walk.push_back(indexWalk(home, rows));
        row("index supplier walk (25 rows per supplier)", walkSizes, walk, "rows");
        std::printf("%s", errorsNote().c_str());
    }

    if (runs("fetch")) {
        std::vector<long> fetchSizes{1000 / tenth, 10000 / tenth};
        std::vector<double> fetch;
        // The exchange's own time bounds at their real length: the server
        // packs a large answer for a while.
        setClock(std::make_shared<SystemClock>());
        for (long n : fetchSizes) fetch.push_back(fetchPass(n));
        setClock(std::make_shared<ScaledClock>(0.001));
        row("fetch of one answer archive", fetchSizes, fetch, "documents");
        std::printf("%s", errorsNote().c_str());
    }

    std::vector<double> fetchSuppliers;
    LookupFigures lookups;
    if (runs("suppliers")) {
        const long documents = 3000 / tenth;
        setClock(std::make_shared<SystemClock>());
        for (long suppliers : {3L, documents}) {
            std::vector<double> took;
            for (int run = 0; run < 3; ++run) took.push_back(fetchPass(documents, suppliers, documents));
            std::nth_element(took.begin(), took.begin() + 1, took.end());
            fetchSuppliers.push_back(took[1]);
        }
        setClock(std::make_shared<ScaledClock>(0.001));
        std::printf("fetch of %s documents, as many supplier files: from 3 suppliers %.3f s, from %s %.3f s  x%.1f\n",
                    sizeName(documents).c_str(), fetchSuppliers[0], sizeName(documents).c_str(), fetchSuppliers[1],
                    fetchSuppliers[1] / fetchSuppliers[0]);
        lookups = supplierLookups(10000 / tenth, 200 / tenth);
        std::printf("supplier lookups in %s supplier files: reading each once %.3f s, %ld distinct lookups %.3f s"
                    "  x%.1f\n",
                    sizeName(10000 / tenth).c_str(), lookups.read, 200 / tenth, lookups.lookups,
                    lookups.lookups / lookups.read);
        std::printf("%s", errorsNote().c_str());
    }

    std::vector<long> batchSizes{100 / tenth, 1000 / tenth};
    std::vector<BatchTimes> batches;
    if (runs("batch")) {
        // The fastest of three runs of each size: other work on the machine
        // only ever adds to a run's time.
        for (long n : batchSizes) {
            BatchTimes best;
            for (int run = 0; run < 3; ++run) {
                BatchTimes t = batch(n);
                if (run == 0 || t.whole < best.whole) best = t;
            }
            batches.push_back(best);
        }
        auto batchRow = [&](const char* what, double BatchTimes::*field) {
            std::vector<double> secs;
            for (const BatchTimes& b : batches) secs.push_back(b.*field);
            row(what, batchSizes, secs, "documents");
        };
        batchRow("batch: build documents and records", &BatchTimes::build);
        batchRow("batch: lay out", &BatchTimes::layout);
        batchRow("batch: render pages", &BatchTimes::render);
        batchRow("batch: store the records", &BatchTimes::store);
        batchRow("batch: hand over (waits left out)", &BatchTimes::handOver);
        batchRow("batch: whole, up to the last hand-over", &BatchTimes::whole);
        batchRow("(batch: waits for a free port, left out)", &BatchTimes::waiting);
        std::printf("%s", errorsNote().c_str());
    }

    std::vector<long> fileSizes{1000 / tenth, 10000 / tenth, 100000 / tenth};
    std::vector<SendLogFigures> logs;
    if (runs("log")) {
        std::vector<double> logSends;
        for (long n : fileSizes) {
            logs.push_back(sendLog(n, n == fileSizes.back()));
            logSends.push_back(logs.back().send);
        }
        row("send log: one send's history", fileSizes, logSends, "records");
        std::printf("send log: %.0f bytes per record on file; one send's history at %s records peaks at %.0f MB "
                    "for a log of %.0f MB\n",
                    logs.back().bytesPerRecord, sizeName(fileSizes.back()).c_str(), logs.back().peakBytes / 1e6,
                    logs.back().fileBytes / 1e6);
        std::printf("%s", errorsNote().c_str());
    }
    BlankFigures blank;
    if (runs("log")) {
        blank = sendLogBlank(fileSizes.back());
        std::printf("send log: one record written at %s records %.3f s, after a blank section name %.3f s (x%.1f); "
                    "the writes add %.0f and %.0f MB to their process for a log of %.0f MB\n",
                    sizeName(fileSizes.back()).c_str(), blank.before, blank.after,
                    blank.before > 0 ? blank.after / blank.before : 0.0, blank.grewBefore / 1e6,
                    blank.grewAfter / 1e6, blank.fileBytes / 1e6);
        std::printf("%s", errorsNote().c_str());
    }

    std::vector<StoreFigures> stores;
    if (runs("store")) {
        std::vector<double> changes, checks, oneSupplier;
        for (long n : fileSizes) {
            stores.push_back(store(n));
            changes.push_back(stores.back().change);
            checks.push_back(stores.back().check);
            oneSupplier.push_back(stores.back().checkOneSupplier);
        }
        row("store: one record's condition changed", fileSizes, changes, "records");
        row("telephone: check before a decision", fileSizes, checks, "records");
        row("telephone: the same, one supplier's records", fileSizes, oneSupplier, "records");
        std::printf("%s", errorsNote().c_str());
    }

    std::vector<long> extractSizes{100 / tenth, 1000 / tenth};
    std::vector<double> extracts;
    if (runs("extract")) {
        for (long n : extractSizes) extracts.push_back(extractMissing(n));
        row("extract the listed documents, one missing", extractSizes, extracts, "documents");
        std::printf("%s", errorsNote().c_str());
    }

    if (!walk.empty())
        std::printf("scale index-walk 10k=%.4f 100k=%.4f ratio=%.1f\n", walk[1], walk[2],
                    walk[1] > 0 ? walk[2] / walk[1] : 0.0);
    if (!batches.empty())
        std::printf("scale batch 100=%.3f 1000=%.3f ratio=%.1f\n", batches[0].whole, batches[1].whole,
                    batches[0].whole > 0 ? batches[1].whole / batches[0].whole : 0.0);
    auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
    if (!logs.empty())
        std::printf("scale send-log 1k=%.4f 100k=%.4f copy=%.4f ratio=%.1f\n", logs.front().send, logs.back().send,
                    logs.back().copy, ratio(logs.back().send, logs.back().copy));
    if (runs("log"))
        std::printf("scale send-log-blank before=%.4f after=%.4f ratio=%.1f grew-before=%.1f grew-after=%.1f "
                    "file=%.1f\n", blank.before, blank.after, ratio(blank.after, blank.before), blank.grewBefore / 1e6,
                    blank.grewAfter / 1e6, blank.fileBytes / 1e6);
    if (!stores.empty()) {
        std::printf("scale store 1k=%.4f 100k=%.4f copy=%.4f ratio=%.1f\n", stores.front().change,
                    stores.back().change, stores.back().copy, ratio(stores.back().change, stores.back().copy));
        std::printf("scale telephone 1k=%.4f 100k=%.4f read=%.4f ratio=%.1f\n", stores.front().check,
                    stores.back().check, stores.back().read, ratio(stores.back().check, stores.back().read));
        std::printf("scale telephone-one-supplier 1k=%.4f 100k=%.4f read=%.4f ratio=%.1f\n",
                    stores.front().checkOneSupplier, stores.back().checkOneSupplier, stores.back().read,
                    ratio(stores.back().checkOneSupplier, stores.back().read));
    }
    if (!extracts.empty())
        std::printf("scale extract-missing 100=%.3f 1000=%.3f ratio=%.1f\n", extracts[0], extracts[1],
                    ratio(extracts[1], extracts[0]));
    if (!fetchSuppliers.empty()) {
        std::printf("scale fetch-suppliers 3=%.3f 3k=%.3f ratio=%.1f\n", fetchSuppliers[0], fetchSuppliers[1],
                    ratio(fetchSuppliers[1], fetchSuppliers[0]));
        std::printf("scale supplier-lookups read=%.4f 200=%.4f ratio=%.1f\n", lookups.read, lookups.lookups,
                    ratio(lookups.lookups, lookups.read));
    }
    return 0;
}
