// The software fax modem against fax programs that share nothing with our
// code: efax and mgetty-fax's sendfax send pages through it in Class 2 and
// Class 2.0, and the pages it writes are the pages they were given, line for
// line; the far end's failures reach them as a real modem's would; efax
// receives the pages it delivers.
#include "platform/testing/software_fax_modem.h"

#include "platform/fax_engine/g3_codec.h"
#include "platform/files.h"
#include "platform/owned.h"
#include "platform/testing/fax_pages.h"
#include "platform/testing/print_like_page.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_home.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

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

// Where the lines of `sent` stand, one after the other and unchanged, in
// `received` (efax puts a header of its own above them); -1 when nowhere.
int placeOf(const fax::BilevelImage& sent, const fax::BilevelImage& received) {
    if (sent.width != received.width || sent.stride != received.stride) return -1;
    for (int top = 0; top + sent.height <= received.height; ++top) {
        if (std::equal(sent.bits.begin(), sent.bits.end(), received.row(top))) return top;
    }
    return -1;
}

struct Sender {
    const char* what;
    const char* program;
    std::vector<std::string> classOptions;
    int modemClass;
};
const Sender kEfax20{"efax, Class 2.0", "efax", {"-o0"}, 20};
const Sender kEfax2{"efax, Class 2", "efax", {"-o2"}, 2};
const Sender kSendfax20{"sendfax, Class 2.0", "sendfax", {"-C", "c2.0"}, 20};
const Sender kSendfax2{"sendfax, Class 2", "sendfax", {"-C", "cls2"}, 2};

// efax heads each page with a band of its own (white, as its header text is
// empty here) and sends the lines below it as they are.
constexpr int kEfaxHeaderLines = 20;
int headerLines(const Sender& s) { return std::string(s.program) == "efax" ? kEfaxHeaderLines : 0; }

// Sends the pages to the number through the modem. efax is given bitmaps
// and codes them itself; sendfax sends G3 pages as they are, in its own bit
// order (most significant bit first, as its pbm2g3 writes them).
ProgramRun sendThrough(const Sender& s, SoftwareFaxModem& modem, const std::vector<fax::BilevelImage>& pages,
                       const TempDir& dir, const std::string& number) {
    std::vector<std::string> args{found(s.program)};
    args.insert(args.end(), s.classOptions.begin(), s.classOptions.end());
    if (headerLines(s)) {
        args.insert(args.end(), {"-d", modem.devicePath(), "-l", "+1 555 0100", "-h", "", "-v", "ewinchmtfa",
                                 "-t", "T" + number});
    } else {
        args.insert(args.end(), {"-l", modem.devicePath().substr(std::string("/dev/").size()), "-v", "-x", "5",
                                 number});
    }
    for (std::size_t n = 0; n < pages.size(); ++n) {
        const fax::BilevelImage& page = pages[n];
        std::string file = dir / ("page" + std::to_string(n + 1));
        if (headerLines(s)) {
            std::string pbm = "P4\n" + std::to_string(page.width) + " " + std::to_string(page.height) + "\n";
            pbm.append(page.bits.begin(), page.bits.end());
            fs::writeFileAtomic(file += ".pbm", pbm);
        } else {
            fs::writeFileAtomic(file += ".g3", reversedBitOrder(fax::encodeG3(page)));
        }
        args.push_back(file);
    }
    return runProgram(args, 120000ms);
}

// A received page holds the page sent below the sender's header band, and
// fax2tiff reads the same lines from it as our decoder (and the end-of-page
// codes as white lines of their own).
void expectPage(const std::string& path, const fax::BilevelImage& sent, int header, const TempDir& dir) {
    SCOPED_TRACE(path);
    fax::G3DecodeReport report;
    fax::BilevelImage received = fax::decodeG3(fs::readFile(path), fax::BitOrder::Detect, &report);
    EXPECT_EQ(report.bitOrder, fax::BitOrder::LsbFirst);
    EXPECT_EQ(report.damagedLines, 0);
    ASSERT_EQ(received.height, sent.height + header);
    EXPECT_EQ(placeOf(sent, received), header);
    for (int y = 0; y < header; ++y)
        EXPECT_TRUE(std::all_of(received.row(y), received.row(y) + received.stride, [](auto b) { return b == 0; }));
    std::string failure;
    Sheet sheet = readG3WithFax2tiff(path, dir.path(), failure);
    ASSERT_EQ(failure, "");
    ASSERT_GE(sheet.pels.height(), received.height);
    ASSERT_EQ(sheet.pels.width(), received.width);
    int differing = 0;
    for (int y = 0; y < received.height; ++y)
        for (int x = 0; x < received.width; ++x) differing += (sheet.pels.row(y)[x] < 128) != received.black(x, y);
    EXPECT_EQ(differing, 0);
}

TEST(SoftwareFaxModem, IndependentProgramsSendPagesThroughIt) {
    for (const Sender* s : {&kEfax20, &kEfax2, &kSendfax20, &kSendfax2}) {
        SCOPED_TRACE(s->what);
        if (found(s->program).empty()) GTEST_SKIP() << s->program << " is not installed";
        TempDir dir;
        const std::vector<fax::BilevelImage> pages = {printLikePage(1728, 100, 7), printLikePage(1728, 80, 8)};
        SoftwareFaxModem modem(dir / "received/");
        ProgramRun run = sendThrough(*s, modem, pages, dir, "0312345678");
        ASSERT_EQ(run.exitCode, 0) << run.errors << run.output << transcriptText(modem);
        ASSERT_TRUE(modem.waitForCalls(1, 30000ms)) << transcriptText(modem);
        const auto call = modem.calls().at(0);
        EXPECT_EQ(call.modemClass, s->modemClass);
        EXPECT_EQ(call.dialled, "0312345678");
        EXPECT_EQ(call.dialMode, 'T');
        EXPECT_TRUE(call.fine);
        EXPECT_EQ(call.hangupCode, 0);
        EXPECT_EQ(call.confirmedPages, 2);
        if (headerLines(*s)) {
            EXPECT_EQ(call.localId, "         +1 555 0100");  // efax pads the ID to 20 characters
        }
        ASSERT_EQ(call.pages.size(), pages.size());
        for (std::size_t n = 0; n < pages.size(); ++n) expectPage(call.pages[n], pages[n], headerLines(*s), dir);
    }
}

// What the far end does reaches the programs as a real modem's answers
// would: each ends with the exit code its manual gives for that failure
// (efax names the T.32 hang-up code in its log), and in Class 2 a page
// refused with RTN is sent again. (Both programs take a Class 2.0 +FPS:2
// followed by OK as the end of the page: efax then aborts the call, and
// sendfax reads only the final result code.)
TEST(SoftwareFaxModem, TheFarEndsAnswersReachThePrograms) {
    using Outcome = SoftwareFaxModem::Outcome;
    struct Case {
        const Sender* sender;
        Outcome outcome;
        int page;
        int exitCode;
        int hangupCode;
        std::size_t pagesWritten;
        int confirmed;
    } cases[] = {
        {&kEfax20, Outcome::Busy, 0, 1, -1, 0, 0},
        {&kEfax2, Outcome::NoAnswer, 0, 2, 0x04, 0, 0},
        {&kSendfax20, Outcome::NoCarrier, 0, 10, 0x11, 0, 0},
        {&kSendfax2, Outcome::Busy, 0, 4, -1, 0, 0},
        {&kEfax20, Outcome::DropAfterPage, 1, 2, 0x52, 1, 0},
        {&kSendfax2, Outcome::DropAfterPage, 2, 12, 0x54, 2, 1},
        {&kEfax2, Outcome::RetrainPage, 1, 0, 0x00, 2, 2},
        {&kSendfax2, Outcome::RetrainPage, 1, 0, 0x00, 2, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.sender->what) + ", outcome " + std::to_string(static_cast<int>(c.outcome)));
        if (found(c.sender->program).empty()) GTEST_SKIP() << c.sender->program << " is not installed";
        TempDir dir;
        SoftwareFaxModem modem(dir / "received/");
        modem.setStation("0312345678", {"+81 3 1234 5678", c.outcome, c.page});
        const std::vector<fax::BilevelImage> pages = {printLikePage(1728, 80, 1), printLikePage(1728, 80, 2)};
        ProgramRun run = sendThrough(*c.sender, modem, pages, dir, "0312345678");
        EXPECT_EQ(run.exitCode, c.exitCode) << run.errors << run.output << transcriptText(modem);
        ASSERT_TRUE(modem.waitForCalls(1, 30000ms)) << transcriptText(modem);
        const auto call = modem.calls().at(0);
        EXPECT_EQ(call.hangupCode, c.hangupCode);
        EXPECT_EQ(call.pages.size(), c.pagesWritten);
        EXPECT_EQ(call.confirmedPages, c.confirmed);
    }
}

// A page efax wrote as a TIFF file.
fax::BilevelImage readTiff(const std::string& path) {
    TIFFSetWarningHandler(nullptr);
    TIFF* in = TIFFOpen(path.c_str(), "r");
    if (!in) return {};
    std::uint32_t width = 0, length = 0;
    std::uint16_t photometric = PHOTOMETRIC_MINISWHITE;
    TIFFGetField(in, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(in, TIFFTAG_IMAGELENGTH, &length);
    TIFFGetFieldDefaulted(in, TIFFTAG_PHOTOMETRIC, &photometric);
    fax::BilevelImage page(static_cast<int>(width), static_cast<int>(length));
    std::vector<std::uint8_t> line(static_cast<std::size_t>(TIFFScanlineSize(in)));
    for (std::uint32_t y = 0; y < length; ++y) {
        if (TIFFReadScanline(in, line.data(), y, 0) < 0) break;
        for (std::size_t b = 0; b < page.stride && b < line.size(); ++b)
            page.row(static_cast<int>(y))[b] = photometric == PHOTOMETRIC_MINISWHITE ? line[b] : ~line[b];
    }
    TIFFClose(in);
    return page;
}

// efax answers the ring (with ATA, or by the modem's own answer after S0
// rings) and receives the pages the modem delivers, line for line.
TEST(SoftwareFaxModem, EfaxReceivesThePagesItDelivers) {
    struct Case {
        const char* what;
        std::vector<std::string> options;
        int modemClass;
    } cases[] = {
        {"Class 2.0, answered with ATA", {"-o0"}, 20},
        {"Class 2, answered by the modem after two rings", {"-o2", "-w", "-iS0=2"}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (found("efax").empty()) GTEST_SKIP() << "efax is not installed";
        TempDir dir;
        const std::vector<fax::BilevelImage> pages = {printLikePage(1728, 100, 3), printLikePage(1728, 60, 4)};
        std::vector<std::string> files;
        for (std::size_t n = 0; n < pages.size(); ++n) {
            files.push_back(dir / ("delivered" + std::to_string(n + 1) + ".g3"));
            fs::writeFileAtomic(files.back(), fax::encodeG3(pages[n]));
        }
        SoftwareFaxModem modem(dir / "received/");
        modem.ring(files, "+81 6 5555 1234");
        std::vector<std::string> args{found("efax")};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.insert(args.end(), {"-d", modem.devicePath(), "-v", "ewinchmtfa", "-r", dir / "in"});
        ProgramRun run = runProgram(args, 120000ms);
        ASSERT_EQ(run.exitCode, 0) << run.errors << transcriptText(modem);
        EXPECT_NE(run.errors.find("remote ID -> \"+81 6 5555 1234\""), std::string::npos) << run.errors;
        for (std::size_t n = 0; n < pages.size(); ++n)
            EXPECT_TRUE(readTiff(dir / ("in.00" + std::to_string(n + 1))) == pages[n]) << "page " << n + 1;
        ASSERT_TRUE(modem.waitForCalls(1, 30000ms)) << transcriptText(modem);
        const auto call = modem.calls().at(0);
        EXPECT_TRUE(call.incoming);
        EXPECT_EQ(call.modemClass, c.modemClass);
        EXPECT_EQ(call.confirmedPages, 2);
        EXPECT_EQ(call.hangupCode, 0);
    }
}

// Writes the bytes as a host on a raw line, then a probe (a page still open
// ends with its DLE ETX); the transcript once the probe's last is answered.
std::string talkTo(SoftwareFaxModem& modem, const std::string& bytes) {
    Descriptor host(::open(modem.devicePath().c_str(), O_RDWR | O_NOCTTY));
    EXPECT_TRUE(host);
    termios tio{};
    EXPECT_EQ(::tcgetattr(host.get(), &tio), 0);
    ::cfmakeraw(&tio);
    EXPECT_EQ(::tcsetattr(host.get(), TCSANOW, &tio), 0);
    const std::string all = bytes + "\x10\x03\rATE0\rAT\r";
    EXPECT_EQ(::write(host.get(), all.data(), all.size()), static_cast<ssize_t>(all.size()));
    auto probeAnswered = [&] {
        auto t = modem.transcript();
        return t.size() >= 2 && t[t.size() - 2] == "> AT" && t.back() == "< OK";
    };
    for (const auto deadline = std::chrono::steady_clock::now() + 30s; !probeAnswered();) {
        if (std::chrono::steady_clock::now() >= deadline) return "no answer to the probe\n" + transcriptText(modem);
        pollfd p{host.get(), POLLIN, 0};
        char buffer[4096];
        if (::poll(&p, 1, 100) > 0 && ::read(host.get(), buffer, sizeof buffer) < 0) break;
    }
    return transcriptText(modem);
}

// A host that sends noise, binary bytes, an overlong line or a page that
// never ends leaves the modem answering the next command.
TEST(SoftwareFaxModem, HostileBytesLeaveItAnswering) {
    std::string binary;
    for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 37 + 11) & 0xFF);
    const struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"binary noise", binary + "\r"},
        {"an overlong command line", "AT" + std::string(5000, 'Z') + "\r"},
        {"unknown and malformed commands", "AT+\rATS999=1\rAT&&&\rAT+FCLASS=9\rAT+FBO=77\rATD\rA/\rATS3=65\rATS5=13\r"},
        {"answers and dials out of turn", "ATA\rAT+FCLASS=2\rATA\rAT+FDR\rAT+FET=2\rATD1\rATD2\rATA\rATH\r"},
        {"a page with dangling DLEs", "AT+FCLASS=2.0\rATD1\rAT+FDT\r" + std::string(3000, '\x10') + binary},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SoftwareFaxModem modem(dir / "received/");
        EXPECT_EQ(talkTo(modem, c.bytes).find("no answer to the probe"), std::string::npos);
    }
}

// What a real modem refuses or keeps to itself: Class 2.0 reports only what
// +FNR asks for, a call is taken only after +FCR=1, values out of range are
// refused, and under XON/XOFF a host whose line ignores XOFF overruns it.
TEST(SoftwareFaxModem, ItIsAsStrictAsTheCommandSets) {
    const std::string page(2600, '\x55');
    const struct Case {
        const char* what;
        std::string bytes;
        std::vector<std::string> present, absent;
        int lostBytes = 0;  // at most
    } cases[] = {
        {"Class 2.0 without +FNR", "AT+FCLASS=2.0\rAT+FLO=2\rATD1\rAT+FDT\r" + page,
         {"< +FCO\n", "< CONNECT\n"}, {"< +FCI:", "< +FIS:", "< +FCS:"}},
        {"Class 2.0 with +FNR", "AT+FCLASS=2.0\rAT+FNR=1,1,1,0\rAT+FLO=2\rATD1\rAT+FDT\r" + page,
         {"< +FCI:\"", "< +FIS:1", "< +FCS:1"}, {}},
        {"XON/XOFF on a line that ignores XOFF", "AT+FCLASS=2.0\rATD1\rAT+FDT\r" + page + page + page, {}, {},
         3 * 2600 - 2048},
        {"answering without +FCR=1", "AT+FCLASS=2\rATA\r", {"< NO CARRIER\n"}, {"< +FCON"}},
        {"answering with +FCR=1", "AT+FCLASS=2.0\rAT+FCR=1\rATA\r", {"< +FCO\n"}, {"< +FTI:"}},
        {"values out of range",
         "AT+FCLASS=2\rAT+FNR=1,1,1,0\rAT+FCLASS=2.0\rAT+FNR=2\rAT+FNR=1,1,1,1,1\rAT+FLO=3\rAT+FCR=2\rAT+FLO=2\r",
         {"> AT+FNR=1,1,1,0\n< ERROR\n", "> AT+FNR=2\n< ERROR\n", "> AT+FNR=1,1,1,1,1\n< ERROR\n",
          "> AT+FLO=3\n< ERROR\n", "> AT+FCR=2\n< ERROR\n", "> AT+FLO=2\n< OK\n"},
         {}},
    };
    TempDir dir;
    fs::writeFileAtomic(dir / "ring.g3", fax::encodeG3(printLikePage(1728, 20, 1)));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SoftwareFaxModem modem(dir / "received/");
        modem.ring({dir / "ring.g3"}, "+81 6 5555 1234");
        const std::string transcript = talkTo(modem, c.bytes);
        for (const auto& line : c.present) EXPECT_NE(transcript.find(line), std::string::npos) << line << transcript;
        for (const auto& line : c.absent) EXPECT_EQ(transcript.find(line), std::string::npos) << line << transcript;
        if (c.lostBytes) {  // the call ends as the host lets the device go
            ASSERT_TRUE(modem.waitForCalls(1, 30000ms)) << transcript;
            // All that came past the full buffer, less what the line carried
            // away meanwhile: a loaded machine reads the bytes later.
            EXPECT_GT(modem.calls().front().lostBytes, 0) << transcript;
            EXPECT_LE(modem.calls().front().lostBytes, c.lostBytes) << transcript;
        }
    }
}

}  // namespace
}  // namespace fg::testing
