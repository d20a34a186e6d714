#include "platform/fax_engine/modem_fax_engine.h"

#include "platform/clock.h"
#include "platform/fax_engine/g3_codec.h"
#include "platform/fax_engine/serial_line.h"
#include "platform/files.h"
#include "platform/testing/scripted_modem.h"
#include "platform/testing/temp_home.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <thread>

namespace fg::fax {
namespace {

using std::chrono::milliseconds;
using testing::ScriptedModem;
using Override = std::function<std::optional<std::string>(const std::string&)>;

std::string page(int n) {
    BilevelImage p(1728, 40 + n);
    for (int x = 0; x < 100 * n; ++x) p.setBlack(x, 5);
    // A byte 0x10 inside the data must reach the far end as one byte.
    return encodeG3(p, PageEnd::Rtc) + std::string("\x10\x00", 2);
}

// What a Class 2 (or 2.0) modem answers when all goes well; `special`
// answers first where it has an answer ("" is a modem gone silent).
ScriptedModem::Rule modem(bool c20, Override special = {}) {
    return [=](const std::string& cmd) -> std::string {
        if (special)
            if (auto s = special(cmd)) return *s;
        if (cmd == "AT+FCLASS=?") return c20 ? "0,1,2,2.0\r\nOK\r\n" : "0,1,2\r\nOK\r\n";
        if (cmd == "AT+FCLASS?") return c20 ? "2.0\r\nOK\r\n" : "2\r\nOK\r\n";
        if (cmd.rfind("ATD", 0) == 0)
            return c20 ? "+FCO\r\n+FCI:\"+81 3 1234 5678\"\r\nOK\r\n" : "+FCON\r\n+FCSI:\" +81 3 1234 5678\"\r\nOK\r\n";
        if (cmd == "AT+FDT") return c20 ? "+FCS:1,5,0,2,0,0,0,0\r\nCONNECT\r\n" : "+FDCS:1,5,0,2,0,0,0,0\r\nCONNECT\r\n\x11";
        if (cmd == "AT+FET=2") return "+FPTS:1\r\n+FHNG:0\r\nOK\r\n";
        if (cmd == "AT+FET=0") return "+FPTS:1\r\nOK\r\n";
        if (cmd == "<DLE .>") return "+FPS:1\r\n+FHS:00\r\nOK\r\n";
        if (cmd == "<DLE ,>") return "+FPS:1\r\nOK\r\n";
        return "OK\r\n";
    };
}

class ModemLines : public ::testing::Test {
protected:
    ModemLines() {
        setClock(std::make_shared<ScaledClock>(0.2));
        fs::makeFolders(home / "lock");
        for (int n = 1; n <= 3; ++n) fs::writeFileAtomic(home / ("send_p" + std::to_string(n) + ".G3"), page(n));
    }
    ~ModemLines() override { setClock(nullptr); }
    void ports(const std::string& body) {
        home.write("faxports.xml", "<?xml version=\"1.0\"?><FaxPorts><LockFolder>" + home / "lock" +
                                       "</LockFolder><RingTimeout>20000</RingTimeout>" + body + "</FaxPorts>");
    }
    std::int32_t open(ScriptedModem& peer, std::int16_t expect = EngineCode::Ok) {
        ports("<Port><Number>1</Number><Device>" + peer.devicePath() + "</Device><Speed>115200</Speed></Port>");
        std::int32_t h = 0;
        EXPECT_EQ(engine.PortOpen(&h, 1, "ATZ"), expect);
        return h;
    }
    std::int16_t send(std::int32_t h, int pages) {
        return engine.SendFax(h, "03-1234 5678", (home / "send.G3").c_str(), static_cast<std::int16_t>(pages));
    }
    std::int32_t hangup(std::int32_t h) {
        std::int32_t code = -1;
        engine.GetHangupCode(h, &code);
        return code;
    }

    testing::TempHome home{false};
    testing::ErrorLogGuard log;
    ModemFaxEngine engine;
};

// The commands of each call up to its dial.
std::vector<std::vector<std::string>> setUps(const std::vector<std::string>& commands) {
    std::vector<std::vector<std::string>> out(1);
    for (const auto& c : commands) {
        if (c.rfind("ATD", 0) == 0) out.emplace_back();
        else if (c.rfind("AT+FDT", 0) != 0 && c.rfind("AT+FET", 0) != 0 && c[0] != '<') out.back().push_back(c);
    }
    return out;
}

// The class and the settings the control hands over after the opening go
// to the modem once; a later call sends what changed, and the whole set-up
// again only to a modem that has left its fax class.
TEST_F(ModemLines, SetsUpTheClassOnceAndAgainOnlyWhatChanged) {
    using Commands = std::vector<std::string>;
    struct Case {
        std::int16_t modemClass, lineType, resolution, bitRate, scanTime;
        bool class20;
        Commands open, setUp, changedId;
        const char* dial;
    } cases[] = {
        {2, 1, 1, 3, 2, false, {"ATZ", "ATQ0V1", "AT+FCLASS=?"},
         {"AT+FCLASS=2", "AT+FBOR=0", "AT+FLID=\"1234\"", "AT+FDCC=0,3,0,2,0,0,0,2", "AT+FCR=1"},
         {"AT+FCLASS?", "AT+FLID=\"5678\""}, "ATDP0312345678"},
        {0, 0, 0, 5, 0, true, {"ATZ", "ATQ0V1", "AT+FCLASS=?"},
         {"AT+FCLASS=2.0", "AT+FNR=1,1,1,0", "AT+FLO=2", "AT+FBO=0", "AT+FLI=\"1234\"", "AT+FCC=1,5,0,2,0,0,0,0",
          "AT+FCR=1"},
         {"AT+FCLASS?", "AT+FLI=\"5678\""}, "ATDT0312345678"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.modemClass);
        ModemFaxEngine e;
        bool classLost = false;
        ScriptedModem peer(modem(c.class20, [&](const std::string& cmd) -> std::optional<std::string> {
            if (cmd == "AT+FCLASS?" && classLost) return "0\r\nOK\r\n";
            return std::nullopt;
        }));
        ports("<Port><Number>1</Number><Device>" + peer.devicePath() + "</Device></Port>");
        std::int32_t h = 0;
        ASSERT_EQ(e.PortOpen(&h, 1, "ATZ"), EngineCode::Ok);
        // Put after the opening, as the control hands them over.
        e.SetModemClass(h, c.modemClass);
        e.SetLineType(h, c.lineType);
        e.SetResolution(h, c.resolution);
        e.SetBitRate(h, c.bitRate);
        e.SetScanTime(h, c.scanTime);
        e.SetLocalID(h, "1234");
        auto sendTwo = [&] { return e.SendFax(h, "03-1234 5678", (home / "send.g3").c_str(), 2); };
        ASSERT_EQ(sendTwo(), EngineCode::Ok);
        EXPECT_EQ(peer.commands().at(c.open.size() + c.setUp.size()), c.dial);
        EXPECT_EQ(peer.pages(), (std::vector<std::string>{endedByRtc(page(1)), endedByRtc(page(2))}));
        const char* id = nullptr;
        std::int16_t sent = 0;
        std::int32_t code = -1;
        e.GetRemoteID(h, &id);
        e.GetNumOfPagesSent(h, &sent);
        e.GetHangupCode(h, &code);
        EXPECT_STREQ(id, "+81 3 1234 5678");
        EXPECT_EQ(sent, 2);
        EXPECT_EQ(code, 0);

        ASSERT_EQ(sendTwo(), EngineCode::Ok);
        e.SetLocalID(h, "5678");
        ASSERT_EQ(sendTwo(), EngineCode::Ok);
        e.SetLocalID(h, "1234");
        classLost = true;
        ASSERT_EQ(sendTwo(), EngineCode::Ok);
        Commands first = c.open, lost{"AT+FCLASS?"};
        first.insert(first.end(), c.setUp.begin(), c.setUp.end());
        lost.insert(lost.end(), c.setUp.begin(), c.setUp.end());
        EXPECT_EQ(setUps(peer.commands()), (std::vector<Commands>{first, {"AT+FCLASS?"}, c.changedId, lost, {}}));
        e.PortClose(h);
    }
}

// The failures a software modem does not play (the others: the end-to-end
// test).
TEST_F(ModemLines, APageRefusedAgainAndACallLostMidPageEndTheCall) {
    struct Case {
        const char* name;
        Override special;
        std::int32_t hangup;
    } cases[] = {
        {"page refused always",
         [](auto& c) {
             return c == "AT+FET=0" ? std::optional<std::string>("+FPTS:2\r\nOK\r\n")
                    : c == "AT+FK"  ? std::optional<std::string>("+FHNG:2\r\nOK\r\n")
                                    : std::nullopt;
         },
         0x02},
        {"lost mid-page", [](auto& c) { return c == "<DLE ETX>" ? std::optional<std::string>("NO CARRIER\r\n") : std::nullopt; },
         0x52},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedModem peer(modem(false, c.special));
        std::int32_t h = open(peer);
        EXPECT_EQ(send(h, 2), EngineCode::LineDropped);
        EXPECT_EQ(hangup(h), c.hangup);
        std::int16_t sent = -1;
        engine.GetNumOfPagesSent(h, &sent);
        EXPECT_EQ(sent, 0);
        EXPECT_EQ(engine.PortClose(h), EngineCode::Ok);
    }
}

TEST_F(ModemLines, HostileModemOutputNeitherCrashesNorHangs) {
    const std::string noise = std::string("\x00\xff\x13\x11garbage\x7f", 13);
    struct Case {
        const char* name;
        Override special;
        std::int16_t code;
    } cases[] = {
        {"noise and an overlong line before each answer",
         [&](auto& c) {
             auto plain = modem(false)(c);
             return std::optional<std::string>(noise + "\r\n" + std::string(5000, 'X') + "\r\n" + noise + "\r\n" + plain);
         },
         EngineCode::Ok},

        // The second OK must not be taken for the dial's answer.
        {"an answer given twice", [](auto& c) { return c == "AT+FCR=1" ? std::optional<std::string>("OK\r\nOK\r\n") : std::nullopt; },
         EngineCode::Ok},
        {"a remote ID of binary bytes", [](auto& c) { return c.rfind("ATD", 0) == 0 ? std::optional<std::string>("+FCSI:\"\x01\xfe\"\"" + std::string(300, '9') + "\r\nOK\r\n") : std::nullopt; },
         EngineCode::Ok},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedModem peer(modem(false, c.special));
        std::int32_t h = open(peer);
        EXPECT_EQ(send(h, 1), c.code);
        engine.PortClose(h);
    }
    // A modem that says nothing, or a line without end, fails the opening.
    ScriptedModem silent([](const std::string&) { return std::string(); });
    open(silent, EngineCode::ModemSilent);
    ScriptedModem endless([](const std::string&) { return std::string(20000, 'R'); });
    open(endless, EngineCode::ModemSilent);
}

TEST_F(ModemLines, TheLockFileKeepsTheDeviceToOneProgram) {
    ScriptedModem peer(modem(false));
    std::string lock = SerialLine::lockFileFor(peer.devicePath(), home / "lock/");
    // A lock of a process that has ended is stale; one of a living process
    // (this one, through another engine) keeps the port.
    pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    fs::writeFileAtomic(lock, std::to_string(child) + "\n");
    std::int32_t h = open(peer);
    char expected[16];
    std::snprintf(expected, sizeof expected, "%10d\n", static_cast<int>(::getpid()));
    EXPECT_EQ(fs::readFile(lock), expected);
    ModemFaxEngine other;
    std::int32_t h2 = 0;
    EXPECT_EQ(other.PortOpen(&h2, 1, "ATZ"), EngineCode::PortBusy);
    engine.PortClose(h);
    EXPECT_FALSE(fs::fileExists(lock));

    ports("<Port><Number>2</Number><Device>/dev/no-such-modem</Device></Port>");
    EXPECT_EQ(engine.PortOpen(&h2, 1, "ATZ"), EngineCode::NoSuchPort);
    EXPECT_EQ(engine.PortOpen(&h2, 2, "ATZ"), EngineCode::NoSuchPort);
    home.write("faxports.xml", "<FaxPorts><Port><Number>one</Number></Port></FaxPorts>");
    EXPECT_EQ(engine.PortOpen(&h2, 1, "ATZ"), EngineCode::LineSettings);
}

TEST_F(ModemLines, ReceivesEveryPageOfARingingCallInOneBitOrder) {
    // The second page comes most significant bit first, as Class 2 modems
    // give it.
    std::string msbFirst = page(2);
    for (char& c : msbFirst) {
        unsigned char b = static_cast<unsigned char>(c), r = 0;
        for (int i = 0; i < 8; ++i) r = static_cast<unsigned char>(r | (((b >> i) & 1) << (7 - i)));
        c = static_cast<char>(r);
    }
    // The first begins with a byte 0x0A, which is data and no line end.
    const std::string firstPage = "\n" + page(1);
    int fdr = 0;
    ScriptedModem peer(modem(false, [&](const std::string& c) -> std::optional<std::string> {
        if (c == "ATA") return "+FCON\r\n+FTSI:\"0311112222\"\r\n+FDCS:1,5,0,2,0,0,0,0\r\nOK\r\n";
        if (c == "AT+FDR") {
            ++fdr;
            if (fdr == 3) return "+FHNG:0\r\nOK\r\n";
            return "CONNECT\r\n" + ScriptedModem::dleEscaped(fdr == 1 ? firstPage : msbFirst) + "\x10\x03" +
                   "+FPTS:1\r\n+FET:" + (fdr == 1 ? "0" : "2") + "\r\nOK\r\n";
        }
        return std::nullopt;
    }));
    engine.SetTraceOption(1);
    engine.SetTraceFileName((home / "trace.txt").c_str());
    std::int32_t h = open(peer);
    std::int16_t status = 0, pages = 0;
    peer.send("\r\nRING\r\n");
    EXPECT_EQ(engine.WaitForRing(h, &status), EngineCode::Ok);
    EXPECT_EQ(status, 1);
    ASSERT_EQ(engine.ReceiveFax(h, (home / "in.G3").c_str(), &pages), EngineCode::Ok);
    EXPECT_EQ(pages, 2);
    EXPECT_EQ(fs::readFile(home / "in_p1.G3"), firstPage);
    EXPECT_EQ(fs::readFile(home / "in_p2.G3"), page(2));
    const char* id = nullptr;
    engine.GetRemoteID(h, &id);
    EXPECT_STREQ(id, "0311112222");
    // The trace has the dialogue with times, and no page data.
    std::string trace = fs::readFile(home / "trace.txt");
    EXPECT_NE(trace.find(" COM1 > AT+FDR\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find(" COM1 < +FTSI:\"0311112222\"\n"), std::string::npos);
    EXPECT_EQ(trace.find(page(1).substr(0, 40)), std::string::npos);
    EXPECT_EQ(engine.WaitForRing(h, &status), EngineCode::NoCall);
}

TEST_F(ModemLines, ClosingThePortEndsTheCallUnderWay) {
    ScriptedModem peer(modem(false, [](const std::string& c) {
        return c.rfind("ATD", 0) == 0 ? std::optional<std::string>("") : std::nullopt;
    }));
    std::int32_t h = open(peer);
    std::int16_t result = -1;
    std::thread call([&] { result = send(h, 1); });
    ASSERT_TRUE(peer.waitForCommands(9, milliseconds(20000)));  // the dial: ATZ, ATQ0V1, class, set-up
    engine.PortClose(h);
    call.join();
    EXPECT_EQ(result, EngineCode::Aborted);
}

// A wait on the line ends once the line is interrupted (as PortClose does),
// however far off its deadline, and so does every later one.
TEST_F(ModemLines, AnInterruptedLineEndsItsWaitsAtOnce) {
    ScriptedModem peer(modem(false));
    SerialLine::Opened opened = SerialLine::open(peer.devicePath(), 19200, home / "lock/");
    ASSERT_EQ(opened.status, SerialLine::Status::Ok) << opened.reason;
    const auto never = std::chrono::steady_clock::now() + std::chrono::hours(1);
    std::string got;
    SerialLine::Io io = SerialLine::Io::Ok;
    std::thread reader([&] { io = opened.line->read(got, never); });
    opened.line->interrupt();
    reader.join();
    EXPECT_EQ(io, SerialLine::Io::TimedOut);
    EXPECT_EQ(opened.line->read(got, never), SerialLine::Io::TimedOut);
    EXPECT_TRUE(got.empty());
}

}  // namespace
}  // namespace fg::fax
