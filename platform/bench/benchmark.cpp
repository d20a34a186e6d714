// Prints figures for the platform base: the code page 932 codec, a
// management-number-sized document loaded and saved, and locked
// load-change-save cycles. Never a test.
#include "platform/file_lock.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/xml.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace fg;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

}  // namespace

int main() {
    char tmpl[] = "/tmp/fgbench-XXXXXX";
    if (!::mkdtemp(tmpl)) return 1;
    std::string dir = std::string(tmpl) + "/";

    // A CSV-like text of mixed Japanese and ASCII, 4 MB of UTF-8.
    std::string line = "202401010900000001,0301,株式会社髙橋製作所,①見積依頼,0312345678,ｶﾌﾞｼｷｶﾞｲｼｬ\r\n";
    std::string utf8;
    while (utf8.size() < (4u << 20)) utf8 += line;
    auto t = Clock::now();
    std::string sjis = text::toCp932(utf8);
    double enc = seconds(t);
    t = Clock::now();
    std::string back = text::fromCp932(sjis);
    double dec = seconds(t);
    std::printf("cp932 encode: %.1f MB/s of UTF-8; decode: %.1f MB/s of code page 932 (round trip %s)\n",
                utf8.size() / enc / 1e6, sjis.size() / dec / 1e6, back == utf8 ? "exact" : "BROKEN");
    text::toCp932OrReferences("表");  // its table is made once per process
    t = Clock::now();
    std::string xmlBytes = text::toCp932OrReferences(utf8);
    std::printf("cp932 encode for XML (references where the code page has no exact form): %.1f MB/s of UTF-8 (%s)\n",
                utf8.size() / seconds(t) / 1e6, xmlBytes == sjis ? "same bytes" : "OTHER BYTES");

    // A management-number file of 2000 records.
    xml::Document doc;
    doc.appendChild(doc.createProcessingInstruction("xml", "version=\"1.0\" encoding=\"Shift_JIS\""));
    xml::Node root = doc.appendChild(doc.createElement("FAXManageNumber"));
    for (int i = 0; i < 2000; ++i) {
        xml::Node rec = root.appendChild(doc.createElement("ManageNo"));
        rec.setAttribute("code", "0301");
        rec.appendChild(doc.createElement("RepManageNo")).setText("20240101090000" + std::to_string(1000 + i));
        rec.appendChild(doc.createElement("MakerName")).setText("株式会社髙橋製作所");
        rec.appendChild(doc.createElement("DecisionCondition")).setText("0");
    }
    std::string path = dir + "FAXManageNumber.xml";
    doc.save(path);
    const int rounds = 50;
    t = Clock::now();
    for (int i = 0; i < rounds; ++i) {
        xml::Document d;
        if (!d.load(path)) return 1;
    }
    double load = seconds(t) / rounds;
    t = Clock::now();
    for (int i = 0; i < rounds; ++i) doc.save(path);
    double save = seconds(t) / rounds;
    std::printf("2000-record file (%zu bytes): load %.2f ms, atomic save %.2f ms\n", fs::readFile(path).size(),
                load * 1e3, save * 1e3);

    // Locked load-change-save of a small shared file, one process.
    std::string counter = dir + "End.xml";
    fs::writeFileAtomic(counter, "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<End><N>0</N></End>\r\n");
    const int cycles = 500;
    t = Clock::now();
    for (int i = 0; i < cycles; ++i) {
        FileLock lock(counter);
        xml::Document d;
        (void)d.load(counter);
        xml::Node n = d.selectSingleNode("/End/N");
        n.setText(std::to_string(std::atoi(n.text().c_str()) + 1));
        d.save(counter);
    }
    std::printf("locked load-change-save of a small file: %.0f cycles/s\n", cycles / seconds(t));
    fs::removeTree(dir);
    return 0;
}
