// The modem engine against the software fax modem of the test support: what
// arrives at the far end is what was sent, line for line, read by our
// decoder and by fax2tiff; each failure of a call has its codes; a ringing
// call's pages are received.
#include "platform/fax_engine/modem_fax_engine.h"

#include "platform/clock.h"
#include "platform/fax_engine/g3_codec.h"
#include "platform/files.h"
#include "platform/testing/fax_pages.h"
#include "platform/testing/print_like_page.h"
#include "platform/testing/software_fax_modem.h"
#include "platform/testing/temp_home.h"

#include <gtest/gtest.h>

namespace fg::fax {
namespace {

using testing::SoftwareFaxModem;
using testing::reversedBitOrder;
using Outcome = SoftwareFaxModem::Outcome;
using namespace std::chrono_literals;

std::string folder(const testing::TempHome& home, const std::string& name) {
    fs::makeFolders(home / name);
    return home / (name + "/");
}

class SoftwareModemLine : public ::testing::Test {
protected:
    SoftwareModemLine() { setClock(std::make_shared<ScaledClock>(0.2)); }
    ~SoftwareModemLine() override { setClock(nullptr); }

    // The engine's port 1 on the modem, opened in a class, with the local
    // ID and resolution put before the opening.
    std::int32_t open(SoftwareFaxModem& modem, std::int16_t modemClass, std::int32_t resolution) {
        home.write("faxports.xml", "<FaxPorts><LockFolder>" + folder(home, "log") + "</LockFolder><Port><Number>1</Number><Device>" +
                                       modem.devicePath() + "</Device></Port></FaxPorts>");
        engine.SetModemClass(0, modemClass);
        engine.SetResolution(0, resolution);
        engine.SetLocalID(0, "1234");
        std::int32_t h = 0;
        EXPECT_EQ(engine.PortOpen(&h, 1, "ATZ"), EngineCode::Ok);
        return h;
    }
    // Pages "send_p<n>.G3" of `lines` lines each, answered as written: print
    // at the top, a rule on the last line, white between (a short call).
    std::vector<std::string> pages(int count, int lines, int width = kFaxWidth) {
        std::vector<std::string> written;
        for (int n = 1; n <= count; ++n) {
            BilevelImage page(width, lines);
            BilevelImage print = testing::printLikePage(width, 120, static_cast<unsigned>(n));
            std::copy(print.bits.begin(), print.bits.end(), page.bits.begin());
            for (int x = 100; x < 1600; ++x) page.setBlack(x, lines - 1);
            written.push_back(encodeG3(page));
            fs::writeFileAtomic(home / ("send_p" + std::to_string(n) + ".G3"), written.back());
        }
        return written;
    }

    void traceTo(const std::string& name) {
        engine.SetTraceOption(1);
        engine.SetTraceFileName((home / name).c_str());
    }

    testing::TempHome home{false};
    testing::ErrorLogGuard log;
    ModemFaxEngine engine;
};

TEST_F(SoftwareModemLine, PagesArriveLineForLineInBothClassesAndResolutions) {
    struct Case {
        std::int16_t modemClass;  // 0 asks the modem (it offers 2.0)
        std::int32_t resolution;  // 0 fine, 1 normal
        int pageCount;
        int expectClass;
    } cases[] = {{2, 0, 1, 2}, {3, 1, 2, 20}, {0, 0, 2, 20}, {2, 1, 1, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.modemClass) + "/" + std::to_string(c.resolution));
        SoftwareFaxModem modem(folder(home, "received"));
        modem.setStation("0312345678", {});
        std::int32_t h = open(modem, c.modemClass, c.resolution);
        auto sent = pages(c.pageCount, c.resolution == 0 ? 2291 : 1145);
        ASSERT_EQ(engine.SendFax(h, "03-1234-5678", (home / "send.G3").c_str(), static_cast<std::int16_t>(c.pageCount)),
                  EngineCode::Ok);
        ASSERT_TRUE(modem.waitForCalls(1, 30s));
        auto call = modem.calls().front();
        EXPECT_EQ(call.dialled, "0312345678");
        EXPECT_EQ(call.localId, "1234");
        EXPECT_EQ(call.modemClass, c.expectClass);
        EXPECT_EQ(call.fine, c.resolution == 0);
        ASSERT_EQ(call.pages.size(), sent.size());
        for (std::size_t n = 0; n < sent.size(); ++n) {
            BilevelImage ours = decodeWholeG3(sent[n]);
            EXPECT_EQ(decodeWholeG3(fs::readFile(call.pages[n])), ours) << n;
            // fax2tiff reads the lines we sent and, past them, only the
            // white lines of the page's end.
            std::string failure;
            testing::Sheet theirs = testing::readG3WithFax2tiff(call.pages[n], folder(home, "scratch"), failure);
            ASSERT_TRUE(failure.empty()) << failure;
            ASSERT_GE(theirs.pels.height(), ours.height);
            int differing = -1;
            for (int y = 0; y < theirs.pels.height() && differing < 0; ++y)
                for (int x = 0; x < ours.width; ++x)
                    if ((theirs.pels.row(y)[x] < 128) != (y < ours.height && ours.black(x, y))) differing = y;
            EXPECT_EQ(differing, -1) << "page " << n + 1;
        }
        std::int32_t code = -1;
        std::int16_t confirmed = 0;
        const char* id = nullptr;
        engine.GetHangupCode(h, &code);
        engine.GetNumOfPagesSent(h, &confirmed);
        engine.GetRemoteID(h, &id);
        EXPECT_EQ(code, 0);
        EXPECT_EQ(confirmed, c.pageCount);
        EXPECT_STREQ(id, "+81 3 1234 5678");
        engine.PortClose(h);
    }
}

// A modem that offers only one of the two Class 2 families is driven in it,
// whichever the caller asks for and whether or not the opening asked the
// modem's classes; the trace says so.
TEST_F(SoftwareModemLine, AModemOfOneClass2FamilyIsDrivenInIt) {
    struct Case {
        const char* classes;
        std::int16_t atOpen, asked;
        int expectClass;
    } cases[] = {{"0,1,1.0,2.0", 2, 2, 20}, {"0,1,1.0,2.0", 0, 2, 20}, {"0,1,2", 3, 3, 2}, {"0,1,2", 0, 3, 2}};
    pages(1, 200);
    engine.SetTraceOption(1);
    engine.SetTraceFileName((home / "trace.txt").c_str());
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.classes) + " " + std::to_string(c.atOpen));
        SoftwareFaxModem modem(folder(home, "received"));
        modem.setClasses(c.classes);
        std::int32_t h = open(modem, c.atOpen, 0);
        engine.SetModemClass(h, c.asked);
        for (int call = 0; call < 2; ++call)
            EXPECT_EQ(engine.SendFax(h, "0312345678", (home / "send.G3").c_str(), 1), EngineCode::Ok);
        ASSERT_TRUE(modem.waitForCalls(2, 30s));
        EXPECT_EQ(modem.calls()[1].modemClass, c.expectClass);
        engine.PortClose(h);
    }
    EXPECT_NE(fs::readFile(home / "trace.txt").find("driven in class 2.0"), std::string::npos);
}

// A modem without RTS/CTS holds the page data back with XOFF, which the line
// obeys while a page goes out, and only then: pages go out whole in both
// classes, and received pages keep their bytes 0x11 and 0x13.
TEST_F(SoftwareModemLine, AModemWithoutRtsCtsIsNeitherOverrunNorPaused) {
    auto sent = pages(2, 1145);
    // The second page more than a pseudo-terminal holds: XOFF stops it midway.
    sent[1] = encodeG3(testing::printLikePage(kFaxWidth, 500, 2));
    fs::writeFileAtomic(home / "send_p2.G3", sent[1]);
    ASSERT_NE(endedByRtc(sent[0]).find('\x11'), std::string::npos);
    ASSERT_NE(endedByRtc(sent[0]).find('\x13'), std::string::npos);
    for (std::int16_t modemClass : {2, 3}) {
        SCOPED_TRACE(modemClass);
        SoftwareFaxModem modem(folder(home, "received"));
        modem.setNoRtsCts(true);
        std::int32_t h = open(modem, modemClass, 1);
        EXPECT_EQ(engine.SendFax(h, "0312345678", (home / "send.G3").c_str(), 2), EngineCode::Ok);
        ASSERT_TRUE(modem.waitForCalls(1, 30s));
        ASSERT_EQ(modem.calls()[0].pages.size(), 2u);
        EXPECT_EQ(modem.calls()[0].lostBytes, 0);
        EXPECT_TRUE(fs::readFile(modem.calls()[0].pages[1]) == endedByRtc(sent[1])) << "page 2 differs";
        modem.ring({home / "send_p1.G3"}, "+81 6 5555 0000");
        std::int16_t status = 0, count = 0;
        ASSERT_EQ(engine.WaitForRing(h, &status), EngineCode::Ok);
        ASSERT_EQ(engine.ReceiveFax(h, (home / "in.G3").c_str(), &count), EngineCode::Ok);
        EXPECT_EQ(decodeWholeG3(fs::readFile(home / "in_p1.G3")), decodeWholeG3(sent[0]));
        engine.PortClose(h);
    }
}

// A modem that answers ATH0 only after the engine has given up on it: its
// late answer is taken for no later command, not even the AT that checks
// the modem after the hang-up (in real time: it comes within the quiet the
// engine waits for), and the calls after it go through.
TEST_F(SoftwareModemLine, ALateAnswerShiftsNoLaterAnswer) {
    setClock(std::make_shared<ScaledClock>(1.0));
    pages(1, 200);
    traceTo("trace.txt");
    SoftwareFaxModem modem(folder(home, "received"));
    modem.setHangUpDelay(5400ms);
    modem.setStation("0399998888", {"", Outcome::DialRefused, 0});
    std::int32_t h = open(modem, 3, 0);
    EXPECT_EQ(engine.SendFax(h, "0399998888", (home / "send.G3").c_str(), 1), EngineCode::NoAnswer);
    for (int call = 0; call < 2; ++call)
        EXPECT_EQ(engine.SendFax(h, "0312345678", (home / "send.G3").c_str(), 1), EngineCode::Ok);
    EXPECT_TRUE(modem.waitForCalls(2, 30s));
    engine.PortClose(h);
    const std::string trace = fs::readFile(home / "trace.txt");
    EXPECT_NE(trace.find("COM1 < OK (late, dropped)"), std::string::npos) << trace;
    EXPECT_EQ(trace.find("COM1 < AT (late, dropped)"), std::string::npos) << trace;
}

// Modems of other habits: a Class 2 modem that starts page data with DC2
// (taken at once, not after the wait for XON), and stored profiles that
// answer the operator's initialisation string with a digit, or not at all.
TEST_F(SoftwareModemLine, ModemsOfOtherHabitsAreDrivenAsTheRest) {
    struct Case { const char* name; bool dc2, digits, quiet; } const cases[] = {{"DC2 start", true, false, false}, {"V0 profile", false, true, false}, {"Q1 profile", false, false, true}};
    pages(1, 200);
    traceTo("trace.txt");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SoftwareFaxModem modem(folder(home, "received"));
        modem.setDc2Start(c.dc2);
        modem.setStoredProfile(c.digits, c.quiet);
        std::int32_t h = open(modem, 2, 0);
        EXPECT_EQ(engine.SendFax(h, "0312345678", (home / "send.G3").c_str(), 1), EngineCode::Ok);
        engine.PortClose(h);
    }
    EXPECT_EQ(fs::readFile(home / "trace.txt").find("(no XON"), std::string::npos);
}

// A fine page arrives whole: every other line into a far end of normal
// resolution, all lines from a 9600 bit/s modem asked again within what it
// offers. A page wider than the far end prints, or than A4, is not sent.
TEST_F(SoftwareModemLine, APageArrivesAtTheSessionsResolution) {
    struct Case {
        const char* name;
        std::int16_t modemClass, code;
        bool normalOnly, fine;  // fine: the session's resolution
        int maxBitRate, farEndWidth, pageWidth;
    } const cases[] = {
        {"normal-only far end, class 2", 2, EngineCode::Ok, true, false, 5, 0, kFaxWidth},
        {"normal-only far end, class 2.0", 3, EngineCode::Ok, true, false, 5, 0, kFaxWidth},
        {"9600 bit/s modem, class 2", 2, EngineCode::Ok, false, true, 3, 0, kFaxWidth},
        {"9600 bit/s modem, class 2.0", 3, EngineCode::Ok, false, true, 3, 0, kFaxWidth},
        {"far end of A5 width", 2, EngineCode::BadImage, false, true, 5, 3, kFaxWidth},
        {"page wider than A4", 3, EngineCode::BadImage, false, true, 5, 0, 2048},
    };
    traceTo("trace.txt");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const BilevelImage sent = decodeWholeG3(pages(1, 2291, c.pageWidth)[0]);
        SoftwareFaxModem modem(folder(home, "received"));
        modem.setMaxBitRate(c.maxBitRate);
        modem.setStation("0312345678", {"+81 3 1234 5678", Outcome::Answer, 0, c.normalOnly, c.farEndWidth});
        std::int32_t h = open(modem, c.modemClass, 0);
        ASSERT_EQ(engine.SendFax(h, "0312345678", (home / "send.G3").c_str(), 1), c.code);
        engine.PortClose(h);
        if (c.code != EngineCode::Ok) {  // no page goes; wider than A4, no call either
            ASSERT_EQ(modem.calls().size(), c.farEndWidth != 0 ? 1u : 0u);
            EXPECT_TRUE(modem.calls().empty() || modem.calls().front().pages.empty());
            continue;
        }
        ASSERT_TRUE(modem.waitForCalls(1, 30s));
        const auto call = modem.calls().front();
        EXPECT_EQ(call.fine, c.fine);
        ASSERT_EQ(call.pages.size(), 1u);
        BilevelImage expected = sent;
        if (!c.fine) {
            expected = BilevelImage(sent.width, (sent.height + 1) / 2);
            for (int y = 0; y < expected.height; ++y)
                std::copy(sent.row(2 * y), sent.row(2 * y) + sent.stride, expected.row(y));
        }
        EXPECT_TRUE(decodeWholeG3(fs::readFile(call.pages[0])) == expected);
    }
    EXPECT_NE(fs::readFile(home / "trace.txt").find("normal resolution, every other line of the fine page)"),
              std::string::npos);
}

struct FailureCase {
    const char* name;
    Outcome outcome;
    int page;
    std::int16_t code;
    std::int32_t hangup;
    std::int16_t modemClass = 0;
    bool noRtsCts = false;
};
const FailureCase kFailures[] = {
    {"Busy", Outcome::Busy, 0, EngineCode::LineBusy, 0x10},
    {"NoAnswer", Outcome::NoAnswer, 0, EngineCode::NoAnswer, 0x04},
    {"NoCarrier", Outcome::NoCarrier, 0, EngineCode::NoAnswer, 0x11},
    {"DropBeforePage1", Outcome::DropAfterPage, 0, EngineCode::LineDropped, 0x25},
    {"DropAfterPage1", Outcome::DropAfterPage, 1, EngineCode::LineDropped, 0x52},
    {"DropAfterPage2", Outcome::DropAfterPage, 2, EngineCode::LineDropped, 0x54},
    {"RetrainPage1", Outcome::RetrainPage, 1, EngineCode::Ok, 0x00},
    {"Silent", Outcome::Silent, 0, EngineCode::ModemSilent, 0x02},
    // The modem never acknowledges the end of a page: the page did not go through.
    {"SilentAfterPageData", Outcome::Silent, 1, EngineCode::LineDropped, 0x52},
    // The modem holds the page back with XOFF, loses the call and never sends XON.
    {"DropWhileHeldByXoff", Outcome::DropMidPage, 1, EngineCode::LineDropped, 0x40, 0, true},
    // The modem answers the post-page message with OK alone: the pages went through.
    {"NoPageStatus", Outcome::NoPageStatus, 0, EngineCode::Ok, 0x00},
};
// Every failure in both classes, but a silent modem costs the dialling
// bound: once is enough. Each a test of its own, run side by side.
std::vector<FailureCase> failureCases() {
    std::vector<FailureCase> out;
    for (std::int16_t modemClass : {2, 3})
        for (FailureCase c : kFailures) {
            if (c.outcome == Outcome::Silent && modemClass == 2) continue;
            c.modemClass = modemClass;
            out.push_back(c);
        }
    return out;
}
void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name << " in class " << c.modemClass; }

class EachFailure : public SoftwareModemLine, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(EachFailure, GivesItsEngineCodeAndHangupCode) {
    const FailureCase& c = GetParam();
    pages(2, 200);
    // A page that XOFF must stop midway: more than a pseudo-terminal holds.
    if (c.noRtsCts) fs::writeFileAtomic(home / "send_p1.G3", encodeG3(testing::printLikePage(kFaxWidth, 500, 1)));
    SoftwareFaxModem modem(folder(home, "received"));
    modem.setNoRtsCts(c.noRtsCts);
    modem.setStation("0399998888", {"+81 3 9999 8888", c.outcome, c.page});
    std::int32_t h = open(modem, c.modemClass, 0);
    EXPECT_EQ(engine.SendFax(h, "0399998888", (home / "send.G3").c_str(), 2), c.code);
    std::int32_t code = -1;
    std::int16_t confirmed = -1;
    engine.GetHangupCode(h, &code);
    engine.GetNumOfPagesSent(h, &confirmed);
    EXPECT_EQ(code, c.hangup);
    if (modem.waitForCalls(1, 10s)) {
        EXPECT_EQ(confirmed, modem.calls().front().confirmedPages);
    }
    // The port lets the device go, and the modem takes commands again.
    EXPECT_EQ(engine.PortClose(h), EngineCode::Ok);
    engine.PortClose(open(modem, c.modemClass, 0));
    // No byte of a page given up reached the modem back in command state.
    EXPECT_EQ(modem.strayBytesForTest(), 0u);
}

INSTANTIATE_TEST_SUITE_P(SoftwareModemLine, EachFailure, ::testing::ValuesIn(failureCases()),
                         [](const ::testing::TestParamInfo<FailureCase>& info) {
                             return std::string(info.param.modemClass == 2 ? "Class2_" : "Class20_") + info.param.name;
                         });

TEST_F(SoftwareModemLine, ARingingCallsPagesAreReceived) {
    auto sent = pages(2, 1145);
    // A third page holds two DLE bytes in a row in either bit order.
    sent.push_back(encodeG3(testing::printLikePage(kFaxWidth, 300, 395)));
    fs::writeFileAtomic(home / "send_p3.G3", sent.back());
    ASSERT_NE(endedByRtc(sent[2]).find("\x10\x10"), std::string::npos);
    ASSERT_NE(reversedBitOrder(endedByRtc(sent[2])).find("\x10\x10"), std::string::npos);
    for (std::int16_t modemClass : {2, 3}) {
        SCOPED_TRACE(modemClass);
        SoftwareFaxModem modem(folder(home, "received"));
        modem.setDleSub(true);  // two DLE bytes in a row come as DLE SUB
        std::int32_t h = open(modem, modemClass, 1);
        modem.ring({home / "send_p1.G3", home / "send_p2.G3", home / "send_p3.G3"}, "+81 6 5555 0000");
        std::int16_t status = 0, count = 0;
        ASSERT_EQ(engine.WaitForRing(h, &status), EngineCode::Ok);
        EXPECT_EQ(status, 1);
        std::string base = home / ("in" + std::to_string(modemClass) + ".G3");
        ASSERT_EQ(engine.ReceiveFax(h, base.c_str(), &count), EngineCode::Ok);
        EXPECT_EQ(count, 3);
        for (int n = 1; n <= 3; ++n)
            EXPECT_EQ(decodeWholeG3(fs::readFile(home / ("in" + std::to_string(modemClass) + "_p" + std::to_string(n) + ".G3"))),
                      decodeWholeG3(sent[static_cast<std::size_t>(n - 1)]));
        const char* id = nullptr;
        engine.GetRemoteID(h, &id);
        EXPECT_STREQ(id, "+81 6 5555 0000");
        // The reception's image conversion takes the received page.
        std::int32_t columns = 0, rows = 0;
        std::string first = home / ("in" + std::to_string(modemClass) + "_p1.G3");
        EXPECT_EQ(engine.GetG3Size(first.c_str(), &columns, &rows), EngineCode::Ok);
        EXPECT_EQ(columns, kFaxWidth);
        EXPECT_EQ(rows, 1145);
        EXPECT_EQ(engine.G3ToBmp(first.c_str(), (home / "in.bmp").c_str()), EngineCode::Ok);
        engine.PortClose(h);
    }
}



// A page that comes damaged (noise all through it, or bad by the modem's own
// check) is asked for again. Sent again, it is kept once; not sent again,
// its bytes are kept as they came under its name, the damage logged, and
// no page is lost.
TEST_F(SoftwareModemLine, ADamagedPageIsNeitherLostNorKeptTwice) {
    struct Case { const char* name; SoftwareFaxModem::Damage damage; bool firstWhole; } const cases[] = {
        {"noise, not sent again", {1, false, false}, false},
        {"noise, sent again", {1, false, true}, true},
        {"bad by the modem, sent again", {1, true, true}, true},
        {"last page bad by the modem, not sent again", {2, true, false}, true},
    };
    auto sent = pages(2, 1145);
    for (std::int16_t modemClass : {2, 3})
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", class " + std::to_string(modemClass));
            log.log->clear();
            SoftwareFaxModem modem(folder(home, "received"));
            std::int32_t h = open(modem, modemClass, 1);
            modem.setDamage(c.damage);
            modem.ring({home / "send_p1.G3", home / "send_p2.G3"}, "+81 6 5555 0000");
            std::int16_t status = 0, count = 0;
            ASSERT_EQ(engine.WaitForRing(h, &status), EngineCode::Ok);
            ASSERT_EQ(engine.ReceiveFax(h, (home / "in.G3").c_str(), &count), EngineCode::Ok);
            engine.PortClose(h);
            EXPECT_EQ(count, 2);
            EXPECT_EQ(decodeWholeG3(fs::readFile(home / "in_p2.G3")), decodeWholeG3(sent[1]));
            const std::string first = fs::readFile(home / "in_p1.G3");
            if (c.firstWhole) EXPECT_EQ(decodeWholeG3(first), decodeWholeG3(sent[0]));
            else EXPECT_EQ(first.size(), endedByRtc(sent[0]).size() + 2);  // as it came, with two bytes of fill
            EXPECT_EQ(log.log->has(481), !c.damage.sentAgain);
        }
}

}  // namespace
}  // namespace fg::fax
