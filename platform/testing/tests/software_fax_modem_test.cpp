// The software fax modem against fax programs that do not share our code:
// efax and mgetty-fax's sendfax send a page through it in Class 2 and Class
// 2.0, and the page it writes is the page they were given, line for line.
#include "platform/testing/software_fax_modem.h"

#include "platform/fax_engine/g3_codec.h"
#include "platform/files.h"
#include "platform/testing/fax_pages.h"
#include "platform/testing/print_like_page.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_home.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <algorithm>

namespace fg::testing {
namespace {

using namespace std::chrono_literals;

std::string found(const std::string& program) {
    for (const char* folder : {"/usr/bin/", "/usr/sbin/", "/bin/", "/sbin/"})
        if (::access((std::string(folder) + program).c_str(), X_OK) == 0) return std::string(folder) + program;
    return {};
}

std::string transcriptText(const SoftwareFaxModem& modem) {
    std::string text;
    for (const auto& line : modem.transcript()) text += line + "\n";
    return text;
}

unsigned char reversedBits(unsigned char b) {
    unsigned char r = 0;
    for (int i = 0; i < 8; ++i)
        if (b & (1 << i)) r |= static_cast<unsigned char>(0x80 >> i);
    return r;
}

// Where the lines of `sent` stand, one after the other and unchanged, in
// `received` (efax puts a header of its own above them); -1 when nowhere.
int placeOf(const fax::BilevelImage& sent, const fax::BilevelImage& received) {
    if (sent.width != received.width || sent.stride != received.stride) return -1;
    for (int top = 0; top + sent.height <= received.height; ++top) {
        if (std::equal(sent.bits.begin(), sent.bits.end(), received.row(top))) return top;
    }
    return -1;
}

TEST(SoftwareFaxModem, IndependentProgramsSendAPageThroughIt) {
    struct Case {
        const char* what;
        const char* program;
        std::vector<std::string> options;  // before the device, number and page
        int modemClass;
        // efax is given the page as a bitmap and codes it itself; sendfax
        // sends G3 pages as they are, in its own bit order (most significant
        // bit first, as its pbm2g3 writes them).
        bool bitmap;
        int headerLines;
    } cases[] = {
        {"efax, Class 2.0", "efax", {"-o0"}, 20, true, 20},
        {"efax, Class 2", "efax", {"-o2"}, 2, true, 20},
        {"sendfax, Class 2.0", "sendfax", {"-C", "c2.0"}, 20, false, 0},
        {"sendfax, Class 2", "sendfax", {"-C", "cls2"}, 2, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string program = found(c.program);
        if (program.empty()) GTEST_SKIP() << c.program << " is not installed";
        TempDir dir;
        const fax::BilevelImage sent = printLikePage(1728, 150, 7);
        std::string coded = fax::encodeG3(sent);
        fs::writeFileAtomic(dir / "page.g3", coded);
        std::string page;
        if (c.bitmap) {
            page = dir / "page.pbm";
            std::string pbm = "P4\n" + std::to_string(sent.width) + " " + std::to_string(sent.height) + "\n";
            pbm.append(sent.bits.begin(), sent.bits.end());
            fs::writeFileAtomic(page, pbm);
        } else {
            for (char& b : coded) b = static_cast<char>(reversedBits(static_cast<unsigned char>(b)));
            page = dir / "msb.g3";
            fs::writeFileAtomic(page, coded);
        }
        SoftwareFaxModem modem(dir / "received/");
        std::vector<std::string> args{program};
        if (std::string(c.program) == "efax") {
            args.insert(args.end(), c.options.begin(), c.options.end());
            args.insert(args.end(), {"-d", modem.devicePath(), "-l", "+1 555 0100", "-h", "", "-v", "ewinchmtfa", "-t",
                                     "T0312345678", page});
        } else {
            args.insert(args.end(), c.options.begin(), c.options.end());
            args.insert(args.end(), {"-l", modem.devicePath().substr(5), "-v", "-x", "5", "0312345678", page});
        }
        ProgramRun run = runProgram(args, 120000ms);
        ASSERT_EQ(run.exitCode, 0) << run.errors << run.output << transcriptText(modem);
        ASSERT_TRUE(modem.waitForCalls(1, 30000ms)) << transcriptText(modem);
        auto call = modem.calls().at(0);
        EXPECT_EQ(call.modemClass, c.modemClass);
        ASSERT_EQ(call.pages.size(), 1u);
        fax::G3DecodeReport report;
        fax::BilevelImage received = fax::decodeG3(fs::readFile(call.pages[0]), fax::BitOrder::Detect, &report);
        EXPECT_EQ(report.bitOrder, fax::BitOrder::LsbFirst);
        EXPECT_EQ(report.damagedLines, 0);
        // efax heads the page with a band of its own (white, as its header
        // text is empty), and sends the lines as they are below it.
        ASSERT_EQ(received.height, sent.height + c.headerLines);
        EXPECT_EQ(placeOf(sent, received), c.headerLines);
        for (int y = 0; y < c.headerLines; ++y)
            EXPECT_TRUE(std::all_of(received.row(y), received.row(y) + received.stride, [](auto b) { return b == 0; }));
        // fax2tiff reads the same lines (and the end-of-page codes as white
        // lines of their own).
        std::string failure;
        Sheet sheet = readG3WithFax2tiff(call.pages[0], dir.path(), failure);
        ASSERT_EQ(failure, "");
        ASSERT_GE(sheet.pels.height(), received.height);
        ASSERT_EQ(sheet.pels.width(), received.width);
        int differing = 0;
        for (int y = 0; y < received.height; ++y)
            for (int x = 0; x < received.width; ++x)
                differing += (sheet.pels.row(y)[x] < 128) != received.black(x, y);
        EXPECT_EQ(differing, 0);

    }
}

}  // namespace
}  // namespace fg::testing
