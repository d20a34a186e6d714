// The programs as an operator runs them: the window's command line starts
// the supervisor in a temporary install tree, the supervisor starts the
// stand-ins of the outside programs, and a stop request or a signal brings
// everything down.
#include "supervisor_fixture.h"
#include "platform/testing/run_program.h"

#include "documents/quillary/owed_receipts.h"
#include "supervisor/end_control_file.h"
#include "supervisor/supervisor_lock.h"
#include "settings/modem_info.h"

#include "platform/process/event_pump.h"
#include "platform/process/process.h"
#include "platform/process/run_marker.h"
#include "platform/text.h"
#include "platform/xml.h"
#include "platform/testing/send_lines.h"
#include "platform/testing/whole_home.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>


namespace fg {
namespace {

using namespace std::chrono_literals;
using testing::runProgram;
using testing::SupervisorHome;
using testing::eventually;
using testing::processesOf;

TEST(EndToEnd, TheWindowsCommandLineStartsAndStopsTheServer) {
    SupervisorHome h;
    // The server talks to an EDI server of this test alone, never to the
    // demo's at its fixed port.
    testing::TempDir answers, record;
    h.ediServer(answers.path(), record.path());
    const std::string nimbrel = testing::programDir() + "nimbrel";
    const std::string tolvern = testing::programDir() + "tolvern";

    auto status = runProgram({nimbrel, "status"});
    EXPECT_EQ(status.exitCode, 0);
    EXPECT_EQ(status.output, "停止\n");

    auto start = runProgram({nimbrel, "start"});
    EXPECT_EQ(start.exitCode, 0);
    EXPECT_EQ(start.output, "起動中\n");
    ASSERT_TRUE(eventually([&] { return h.at("Alvaret 6 created") >= 0; }));
    EXPECT_TRUE(SupervisorLock::supervisorRunning());
    EXPECT_EQ(runProgram({nimbrel, "status"}).output, "起動中\n");
    // Helper, two schedules and one reception line per receive port.
    EXPECT_EQ(processesOf(h.home.path()).size(), 6u);

    // A second supervisor ends at once.
    auto second = runProgram({tolvern}, 20000ms);
    EXPECT_EQ(second.exitCode, 3);
    EXPECT_EQ(runProgram({nimbrel, "start"}).output, "起動中\n");  // already running: nothing started
    EXPECT_EQ(processesOf(h.home.path()).size(), 6u);

    // The schedule's fetches reach this test's EDI server.
    EXPECT_TRUE(eventually([&] { return !fs::list(record.path(), "*-GetEdiData.body").empty(); }));

    auto stop = runProgram({nimbrel, "stop"});
    EXPECT_EQ(stop.exitCode, 0);
    EXPECT_EQ(stop.output, "停止\n");
    EXPECT_FALSE(SupervisorLock::supervisorRunning());
    EXPECT_EQ(EndControlFile().read().value, 1);
    EXPECT_TRUE(eventually([&] { return processesOf(h.home.path()).empty(); }));
    for (const char* step : {"PGPWIN32 terminated", "Trundel released", "Ospery released", "Alvaret 5 released",
                             "Alvaret 6 released"})
        EXPECT_GE(h.at(step), 0) << step;
}

TEST(EndToEnd, AStartThatEndsInItsStartUpIsToldAsAFailure) {
    const std::string nimbrel = testing::programDir() + "nimbrel";
    const struct { bool noHelper; const char* description; } cases[] = {
        {true, "PGPWIN32"},  // no helper in RunTime
        {false, "ＦＡＸ受信回線を開始できませんでした"},  // modem information that does not load
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        SupervisorHome h;
        if (c.noHelper) (void)fs::removeFile(h.home / "RunTime/PGPWIN32");
        else fs::writeFileAtomic(h.home.folder("ModemInfo") + ModemInfo::kFileName, "<ModemInfo><Modem>");
        auto start = runProgram({nimbrel, "start"});
        EXPECT_NE(start.exitCode, 0);
        EXPECT_EQ(start.output, "ＦＡＸサーバーの起動に失敗しました。\n");
        EXPECT_NE(start.errors.find(c.description), std::string::npos) << start.errors;
        EXPECT_NE(h.programsLog().find(c.description), std::string::npos) << h.programsLog();
        EXPECT_EQ(runProgram({nimbrel, "status"}).output, "停止\n") << "it has ended by the time start answers";
    }
}

TEST(EndToEnd, AStartAskedDuringAStopStartsTheServerOnceTheStopHasEnded) {
    SupervisorHome h;
    testing::TempDir answers, record;
    h.ediServer(answers.path(), record.path());
    const std::string nimbrel = testing::programDir() + "nimbrel";
    // A supervisor on its way out: its stop asked, its lock held.
    h.endFile("<End-Request>1</End-Request><TelephonyErrReq>0</TelephonyErrReq>");
    std::optional<FileLock> stopping = SupervisorLock::acquire();
    Process start = Process::start(nimbrel, {"start"}, {.outputFile = h.home / "start.out"});
    ASSERT_TRUE(eventually([&] { return !h.fileLines("start.out").empty(); }));  // it says that it waits
    stopping.reset();
    ASSERT_TRUE(start.waitFor(120000ms));
    EXPECT_EQ(start.exitCode(), 0);
    EXPECT_EQ(h.fileLines("start.out").back(), "起動中");
    EXPECT_EQ(runProgram({nimbrel, "stop"}).output, "停止\n");
}

TEST(EndToEnd, AStopAskedWhileAStartWaitsForAnEarlierStopWins) {
    SupervisorHome h;
    testing::TempDir answers, record;
    h.ediServer(answers.path(), record.path());  // were a server started, it would talk to no other
    const std::string nimbrel = testing::programDir() + "nimbrel";
    h.endFile("<End-Request>1</End-Request><TelephonyErrReq>0</TelephonyErrReq>");
    std::optional<FileLock> stopping = SupervisorLock::acquire();
    Process start = Process::start(nimbrel, {"start"}, {.outputFile = h.home / "start.out"});
    ASSERT_TRUE(eventually([&] { return !h.fileLines("start.out").empty(); }));  // it says that it waits
    const auto before = EndControlFile().stamp();
    Process stop = Process::start(nimbrel, {"stop"}, {.outputFile = h.home / "stop.out"});
    ASSERT_TRUE(eventually([&] { return EndControlFile().stamp() != before; }));  // its request is written
    stopping.reset();
    ASSERT_TRUE(start.waitFor(120000ms) && stop.waitFor(120000ms));
    EXPECT_EQ(stop.exitCode(), 0);
    EXPECT_EQ(h.fileLines("stop.out"), std::vector<std::string>{"停止"});
    EXPECT_EQ(start.exitCode(), 1);  // and says that it started nothing
    EXPECT_EQ(h.fileLines("start.out").back(), "停止");
    EXPECT_FALSE(SupervisorLock::supervisorRunning());
}

// scripts/run-demo (a free port, this build's programs) over the home of a
// server whose stop waits for a send under way.
TEST(EndToEnd, TheDemoScriptLeavesAHomeThatAServerStillWorksIn) {
    SupervisorHome h;
    testing::TempDir answers, record;
    h.ediServer(answers.path(), record.path());
    const std::string nimbrel = testing::programDir() + "nimbrel";
    std::filesystem::create_symlink(nimbrel, h.home / "nimbrel");
    ASSERT_EQ(runProgram({nimbrel, "start"}).output, "起動中\n");
    std::optional<RunMarker> sending = RunMarker::create(h.home.path() + "/");
    EndControlFile().set({{EndControlFile::kEndRequest, "1"}});
    const std::string port = testing::runPython(
        "import socket\ns = socket.socket()\ns.bind(('127.0.0.1', 0))\nprint(s.getsockname()[1], end='')").output;
    ::setenv("FAXGATE_DEMO_HOME", h.home.path().c_str(), 1);
    ::setenv("FAXGATE_DEMO_PORT", port.c_str(), 1);
    ::setenv("FAXGATE_DEMO_PROGRAMS", testing::programDir().c_str(), 1);
    testing::ProgramRun demo = runProgram({testing::sourceDir() + "scripts/run-demo"}, 300000ms);
    EXPECT_NE(demo.exitCode, 0);
    EXPECT_NE(demo.errors.find("is left as it is"), std::string::npos) << demo.output << demo.errors;
    EXPECT_TRUE(fs::fileExists(h.home / "folder.xml") && fs::fileExists(sending->path()));
    sending.reset();
    EXPECT_TRUE(eventually([&] { return processesOf(h.home.path()).empty(); }));
}

struct ShutdownCase {
    const char* name;
    const char* control;
    int signal;
    int exitCode;
};
constexpr ShutdownCase kShutdownCases[] = {
    {"OperatorsStop", "", SIGTERM, 0},
    {"AReceptionProgramDies", "<StandIn name='Alvaret' Port='5' DieAfter='100000'/>", 0, 1},
    {"AScheduleDoesNotStart", "<StandIn name='Ospery' StartResult='1'/>", 0, 1},
};
void PrintTo(const ShutdownCase& c, std::ostream* os) { *os << c.name; }

// A whole server per case: each case is a test of its own, run side by side.
class TheSupervisorShutsDownInOrder : public ::testing::TestWithParam<ShutdownCase> {};

TEST_P(TheSupervisorShutsDownInOrder, OnSignalsAndFailures) {
    const ShutdownCase& c = GetParam();
    SupervisorHome h;
    h.endFile("<End-Request>0</End-Request><TelephonyErrReq>0</TelephonyErrReq>");
    h.standIns(c.control);
    SpawnOptions o;
    o.workingFolder = h.home.path();
    Process tolvern = Process::start(testing::programDir() + "tolvern", {}, o);
    if (c.signal) {
        ASSERT_TRUE(eventually([&] { return h.at("Alvaret 6 created") >= 0; }));
        ::kill(tolvern.pid(), c.signal);
    }
    ASSERT_TRUE(eventually([&] { return !tolvern.running(); }));
    EXPECT_EQ(tolvern.exitCode(), c.exitCode);
    EXPECT_TRUE(eventually([&] { return processesOf(h.home.path()).empty(); }));
}

INSTANTIATE_TEST_SUITE_P(EndToEnd, TheSupervisorShutsDownInOrder, ::testing::ValuesIn(kShutdownCases),
                         [](const ::testing::TestParamInfo<ShutdownCase>& info) { return std::string(info.param.name); });

namespace {

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// The text of an element of the request.xml a recorded request archive holds.
std::string requestText(const std::string& zip) { return runProgram({"unzip", "-p", zip, "request.xml"}).output; }

}  // namespace

TEST(EndToEnd, BadAnswersOfTheEdiServerNeverStopTheServer) {
    SupervisorHome h;
    testing::TempDir answers, record;
    // The demo's answers, with these in place of the document fetches and
    // the reminder list: an archive of "0301" without its index, one of
    // "0500" whose good order comes with a document named without a "."
    // and one in a folder of the archive, and a reminder list with a second
    // list in a folder.
    std::filesystem::copy(testing::sourceDir() + "demo/edi_server", answers.path(),
                          std::filesystem::copy_options::recursive);
    fs::removeTree(answers / "GetEdiData");
    fs::removeTree(answers / "GetFaxReminder");
    const std::string demo = testing::sourceDir() + "demo/edi_server/";
    const std::string n0301 = answers / "GetEdiData/1/N0301_20240110083000.tgz/";
    fs::makeFolders(n0301);
    fs::copyFile(demo + "GetEdiData/1/D0301_20240110083000.tgz/DORE0301_0001.xml", n0301 + "DORE0301_0001.xml");
    const std::string d0500 = answers / "GetEdiData/2/D0500_20240111090000.tgz/";
    fs::makeFolders(d0500 + "sub");
    const std::string order = demo + "GetEdiData/2/D0500_20240111090000.tgz/DORE0500_0001.xml";
    fs::copyFile(order, d0500 + "DORE0500_0001.xml");
    fs::copyFile(order, d0500 + "NODOT");
    fs::copyFile(order, d0500 + "sub/DORE0500_0002.xml");
    fs::writeFileAtomic(d0500 + "index.csv",
                        fs::readFile(demo + "GetEdiData/2/D0500_20240111090000.tgz/index.csv") +
                            "C0001,S0001,PO-240012,0,01,20240111,A,B,0500,NODOT\r\n"
                            "C0001,S0001,PO-240013,0,01,20240111,A,B,0500,sub/DORE0500_0002.xml\r\n");
    const std::string r0003 = answers / "GetFaxReminder/1/R0003_20240115070000.tgz/";
    fs::makeFolders(r0003 + "sub");
    const std::string reminder = demo + "GetFaxReminder/1/R0001_20240115070000.tgz/Reminder_0001.xml";
    fs::copyFile(reminder, r0003 + "Reminder_0001.xml");
    fs::copyFile(reminder, r0003 + "sub/Reminder_0002.xml");
    h.ediServer(answers.path(), record.path());
    // The demo's sample messages are no part of these answers.
    for (const auto& name : fs::list(h.home.folder("TempEDI"))) (void)fs::removeFile(h.home.folder("TempEDI") + name);
    for (int port = 1; port <= 6; ++port) testing::writeLine(h.home.path(), port, testing::kLineAtOnce);

    const std::string nimbrel = testing::programDir() + "nimbrel";
    ASSERT_EQ(runProgram({nimbrel, "start"}).output, "起動中\n");
    // Three document fetches of four codes each, and a reminder fetch: the
    // bad answers were met two passes ago at least.
    ASSERT_TRUE(eventually(
        [&] {
            return fs::list(record.path(), "*-GetEdiData.body").size() >= 12 &&
                   fs::list(record.path(), "*-DelFaxReminder.zip").size() >= 1 &&
                   fs::list(record.path(), "*-PutConfirm.zip").size() >= 2;
        },
        120000ms))
        << h.programsLog();
    EXPECT_TRUE(SupervisorLock::supervisorRunning());
    EXPECT_EQ(h.at("Ospery ErrorEDIData"), -1);

    // The good order and the reminder list were faxed, both logged OK.
    xml::Document sendLog;
    ASSERT_TRUE(eventually([&] {
        return sendLog.load(h.home.folder("FaxSendLog") + "FaxSendLog.xml") &&
               sendLog.selectNodes("/FaxSendLogs/FaxSendLog").size() >= 2;
    }));
    for (const auto& entry : sendLog.selectNodes("/FaxSendLogs/FaxSendLog"))
        EXPECT_NE(entry.xml().find("OK"), std::string::npos) << entry.xml();
    // Both data archives confirmed, the one without an index at once; the
    // reminder confirmed with its good list only.
    std::string confirmed;
    for (const auto& zip : fs::list(record.path(), "*-PutConfirm.zip")) confirmed += requestText(record / zip);
    EXPECT_EQ(count(confirmed, "<ConfirmID>N0301_20240110083000</ConfirmID>"), 1u) << confirmed;
    EXPECT_EQ(count(confirmed, "<ConfirmID>D0500_20240111090000</ConfirmID>"), 1u) << confirmed;
    std::string reminders = requestText(record / fs::list(record.path(), "*-DelFaxReminder.zip").front());
    EXPECT_NE(reminders.find("<FileList><FileName>Reminder_0001.xml</FileName></FileList>"), std::string::npos)
        << reminders;
    // Each bad document is in the log by name.
    std::string logged = h.programsLog();
    for (const char* name : {"\"NODOT\"", "\"sub/DORE0500_0002.xml\"", "\"sub/Reminder_0002.xml\""})
        EXPECT_EQ(count(logged, name), 1u) << name << "\n" << logged;

    auto stop = runProgram({nimbrel, "stop"});
    EXPECT_EQ(stop.output, "停止\n");
    EXPECT_TRUE(eventually([&] { return processesOf(h.home.path()).empty(); }));
    // Nothing of the answers stayed in the work folder.
    std::vector<std::string> left = testing::everythingIn(h.home.folder("TempEDI"));
    left.erase(std::remove(left.begin(), left.end(), ".keep"), left.end());
    EXPECT_EQ(left, std::vector<std::string>{});
}

struct KillMoment {
    const char* name;
    std::size_t sentBefore;
};
constexpr KillMoment kKillMoments[] = {{"BeforeAnyFax", 0}, {"AfterOneFax", 1}, {"AfterThreeFaxes", 3}};
void PrintTo(const KillMoment& m, std::ostream* os) { *os << m.name; }

// Each moment of the kill is a test of its own, run side by side.
class AWholeServerKilledInItsSendPhase : public ::testing::TestWithParam<KillMoment> {};

TEST_P(AWholeServerKilledInItsSendPhase, LosesNoDocumentAndFaxesNoneTwice) {
    // Every process of the home killed at once, as a power cut does it, once
    // the batch has confirmed its archives: before any fax, after one, after three.
    const std::size_t sentBefore = GetParam().sentBefore;
    SupervisorHome h;
    testing::TempDir answers, record;
    std::filesystem::copy(testing::sourceDir() + "demo/edi_server", answers.path(),
                          std::filesystem::copy_options::recursive);
    fs::removeTree(answers / "GetFaxReminder");
    h.ediServer(answers.path(), record.path());
    for (const auto& name : fs::list(h.home.folder("TempEDI"))) (void)fs::removeFile(h.home.folder("TempEDI") + name);
    // A loaded machine stalls the scaled clocks: no send may reach its
    // bound here, as a hung-up call that the line completed anyway is
    // sent again.
    h.home.write("waits.xml", "<Waits><SendPage>600000000</SendPage></Waits>");
    // Slow lines, each of its own speed (a page takes a quarter of a
    // second of real time or more), so that the kill after a record does
    // not fall where another line has just finished its fax: a fax that
    // went out whole and was not recorded yet is sent again.
    for (int port = 1; port <= 6; ++port)
        testing::writeLine(h.home.path(), port,
                           "<ConnectTime>0</ConnectTime><PageTime>" + std::to_string(170000 + 80000 * port) +
                               "</PageTime>");
    const std::string nimbrel = testing::programDir() + "nimbrel";
    auto recorded = [&] { return testing::accountSends(h.home.path()).results.size(); };
    ASSERT_EQ(runProgram({nimbrel, "start"}).output, "起動中\n");
    ASSERT_TRUE(eventually([&] { return !fs::list(record.path(), "*-PutConfirm.zip").empty() && recorded() >= sentBefore; },
                           120000ms))
        << h.programsLog();
    ASSERT_GT(testing::killWholeHome(h.home.path()), 0u);

    // The restart sends what was handed over, then the server drains (no
    // fetch under way either) and stops.
    ASSERT_EQ(runProgram({nimbrel, "start"}).output, "起動中\n");
    EXPECT_TRUE(eventually(
        [&] {
            return testing::handOversOf(h.home.path()).empty() && fs::list(h.home.folder("TempEDI")).empty() &&
                   testing::accountSends(h.home.path()).notRecordedOnce().empty();
        },
        120000ms))
        << h.programsLog();
    EXPECT_EQ(runProgram({nimbrel, "stop"}, 120000ms).output, "停止\n");

    testing::SendAccount sends = testing::accountSends(h.home.path());
    EXPECT_FALSE(sends.numbers.empty());
    EXPECT_EQ(sends.notRecordedOnce(), std::vector<std::string>{});
    EXPECT_EQ(sends.duplicates(), 0u);
    // An exchange or a supplier refresh that the stop ended midway
    // leaves its temporaries to the next start, which removes them as
    // it removed those of the kill.
    testing::takeTemporariesOfEndedWriters(sends.leftovers);
    EXPECT_EQ(sends.leftovers, std::vector<std::string>{});
    // A document that could not be sent again is named in the log.
    const std::string logged = h.programsLog();
    for (const auto& [number, results] : sends.results) {
        if (results.front() != "OK") {
            EXPECT_NE(logged.find(number), std::string::npos) << number;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EndToEnd, AWholeServerKilledInItsSendPhase, ::testing::ValuesIn(kKillMoments),
                         [](const ::testing::TestParamInfo<KillMoment>& info) { return std::string(info.param.name); });

// Killed while its confirmation waits, or (as its files are made to say)
// before it handed a group over; or, with no kill, its batch's second group
// found no fax-send server, the first one faxed already: each a test of its
// own, run side by side.
class AnArchiveWhoseConfirmationWasCutOff : public ::testing::TestWithParam<const char*> {};

TEST_P(AnArchiveWhoseConfirmationWasCutOff, IsConfirmedOnceNotFaxedAgain) {
    const std::string cut = GetParam();
    const bool killed = cut != "FailedHandOver", handedOver = cut != "NotHandedOver";
    SupervisorHome h;
    testing::TempDir answers, record;
    // The demo's archives, each offered until its receipt is confirmed,
    // as the EDI server does; the first confirmation is held unanswered.
    const std::string demo = testing::sourceDir() + "demo/edi_server/";
    std::filesystem::copy(demo, answers.path(), std::filesystem::copy_options::recursive);
    fs::removeTree(answers / "GetEdiData");
    fs::removeTree(answers / "GetFaxReminder");
    for (const char* step : {"1", "2", "3", "4"}) {
        for (const auto& archive : fs::list(demo + "GetEdiData/" + step, "*", fs::ListKind::Folders)) {
            const std::string to = answers / ("GetEdiData/unconfirmed/" + archive.substr(1, 4) + "/");
            fs::makeFolders(to);
            std::filesystem::copy(demo + "GetEdiData/" + step + "/" + archive, to + archive,
                                  std::filesystem::copy_options::recursive);
        }
    }
    if (killed) fs::writeFileAtomic(answers / "PutConfirm.fault", "hold\n");
    else h.standIns("<StandIn name='Ospery' FailHandOver='2'/>");
    h.ediServer(answers.path(), record.path());
    for (const auto& name : fs::list(h.home.folder("TempEDI"))) (void)fs::removeFile(h.home.folder("TempEDI") + name);
    h.home.write("waits.xml", "<Waits><SendPage>600000000</SendPage></Waits>");
    // Lines that finish no fax before the kill.
    for (int port = 1; port <= 6; ++port)
        testing::writeLine(h.home.path(), port, killed ? "<ConnectTime>0</ConnectTime><PageTime>600000000</PageTime>"
                                                       : testing::kLineAtOnce);
    const std::string nimbrel = testing::programDir() + "nimbrel";
    ASSERT_EQ(runProgram({nimbrel, "start"}).output, "起動中\n");
    // Every group is handed over once the batch asks for its confirmation.
    ASSERT_TRUE(eventually(
        [&] { return killed ? !fs::list(record.path(), "*-PutConfirm.body").empty() : h.at("Ospery hand-over 2 failed") >= 0; },
        120000ms))
        << h.programsLog();
    if (killed) {
        ASSERT_GT(testing::killWholeHome(h.home.path()), 0u);
    }
    const std::vector<std::string> numbers = testing::accountSends(h.home.path()).numbers;
    const std::size_t held = fs::list(record.path(), "*-PutConfirm.zip").size();
    (void)fs::removeFile(answers / "PutConfirm.fault");
    if (!handedOver) {
        // No server had them: neither hand-overs nor send copies.
        for (const std::string& file : testing::handOversOf(h.home.path())) (void)fs::removeFile(h.home / file);
        for (const std::string& copy : fs::list(h.home.folder("SendTemp"), "*.G3"))
            (void)fs::removeFile(h.home.folder("SendTemp") + copy);
        const std::string owed = h.home / documents::OwedReceipts::kFileName;
        std::vector<std::string> fields = text::split(text::trimBlanks(fs::readFile(owed)), '\t');
        ASSERT_GE(fields.size(), 3u);
        fields[1].clear();
        for (const std::string& n : numbers) fields[1] += (fields[1].empty() ? "" : ",") + n;
        std::string line;
        for (const std::string& f : fields) line += (line.empty() ? "" : "\t") + f;
        fs::writeFileAtomic(owed, line + "\n");
    }

    for (int port = 1; port <= 6; ++port) testing::writeLine(h.home.path(), port, testing::kLineAtOnce);
    if (killed) {
        ASSERT_EQ(runProgram({nimbrel, "start"}).output, "起動中\n");
    }
    // Without a kill, two more fetches after the failure: an archive
    // offered again would have been built and faxed by then.
    EXPECT_TRUE(eventually(
        [&] {
            return testing::handOversOf(h.home.path()).empty() &&
                   testing::accountSends(h.home.path()).notRecordedOnce().empty() &&
                   !fs::fileExists(h.home / documents::OwedReceipts::kFileName) &&
                   fs::list(record.path(), "*-GetEdiData.body").size() >= (killed ? 8u : 12u);
        },
        120000ms))
        << h.programsLog();
    EXPECT_EQ(runProgram({nimbrel, "stop"}, 120000ms).output, "停止\n");
    EXPECT_TRUE(eventually([&] { return processesOf(h.home.path()).empty(); }));

    // Each document faxed once under its first number; each archive
    // confirmed once after the cut.
    testing::SendAccount sends = testing::accountSends(h.home.path());
    EXPECT_FALSE(numbers.empty());
    EXPECT_EQ(sends.numbers, numbers);
    EXPECT_EQ(sends.notRecordedOnce(), std::vector<std::string>{});
    EXPECT_EQ(sends.faxesSent, numbers.size());
    EXPECT_EQ(sends.leftovers, std::vector<std::string>{});
    std::vector<std::string> zips = fs::list(record.path(), "*-PutConfirm.zip");
    std::sort(zips.begin(), zips.end());
    std::string confirmed;
    for (std::size_t k = held; k < zips.size(); ++k) confirmed += requestText(record / zips[k]);
    for (const char* id :
         {"D0301_20240110083000", "D0500_20240111090000", "D0701_20240112100000", "D1101_20240105080000"})
        EXPECT_EQ(count(confirmed, std::string("<ConfirmID>") + id + "</ConfirmID>"), 1u) << id << "\n" << confirmed;
}

INSTANTIATE_TEST_SUITE_P(EndToEnd, AnArchiveWhoseConfirmationWasCutOff,
                         ::testing::Values("HandedOver", "NotHandedOver", "FailedHandOver"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

// A reminder batch of three lists for two suppliers whose second hand-over fails, or that is
// killed between its two hand-overs; the EDI server keeps reminders until told to delete them.
class AReminderBatchCutOffAfterItsFirstHandOver : public ::testing::TestWithParam<const char*> {};

TEST_P(AReminderBatchCutOffAfterItsFirstHandOver, FaxesEachListOnceAndDeletesEachReminderOnce) {
    const bool killed = std::string(GetParam()) == "Killed";
    SupervisorHome h;
    testing::TempDir answers, record;
    fs::makeFolders(answers / "GetFaxReminder/kept/");
    fs::copyFile(testing::sourceDir() + "demo/edi_server/GetFaxReminder/1/R0001_20240115070000.tgz/Reminder_0001.xml",
                 answers / "GetFaxReminder/kept/Reminder_0001.xml");
    h.standIns(std::string("<StandIn name='Ospery' ") + (killed ? "Hold" : "Fail") + "HandOver='2'/>");
    h.ediServer(answers.path(), record.path());
    h.home.write("waits.xml", "<Waits><SendPage>600000000</SendPage></Waits>");
    for (int port = 1; port <= 6; ++port)
        testing::writeLine(h.home.path(), port, killed ? "<ConnectTime>0</ConnectTime><PageTime>600000000</PageTime>"
                                                       : testing::kLineAtOnce);
    ASSERT_EQ(runProgram({testing::programDir() + "nimbrel", "start"}).output, "起動中\n");
    ASSERT_TRUE(eventually([&] { return h.at(std::string("Ospery hand-over 2 ") + (killed ? "held" : "failed")) >= 0; },
                           120000ms))
        << h.programsLog();
    ASSERT_TRUE(!killed || testing::killWholeHome(h.home.path()) > 0);
    h.standIns("");
    const std::vector<std::string> numbers = testing::accountSends(h.home.path()).numbers;
    for (int port = 1; port <= 6; ++port) testing::writeLine(h.home.path(), port, testing::kLineAtOnce);
    ASSERT_TRUE(!killed || runProgram({testing::programDir() + "nimbrel", "start"}).output == "起動中\n");
    std::string deleted;  // then two fetches more, which would fax a reminder offered again
    EXPECT_TRUE(eventually(
        [&] {
            const auto fetches = fs::list(record.path(), "*-GetFaxReminder.body"),
                       deletions = fs::list(record.path(), "*-DelFaxReminder.zip");
            deleted.clear();
            for (const auto& zip : deletions) deleted += requestText(record / zip);
            return count(deleted, "<FileName>") >= 1 && testing::handOversOf(h.home.path()).empty() &&
                   !fs::fileExists(h.home / documents::OwedReceipts::kFileName) &&
                   std::count_if(fetches.begin(), fetches.end(), [&](const auto& f) { return f > deletions.back(); }) >= 2;
        },
        120000ms))
        << h.programsLog();
    EXPECT_EQ(runProgram({testing::programDir() + "nimbrel", "stop"}, 120000ms).output, "停止\n");
    EXPECT_TRUE(eventually([&] { return processesOf(h.home.path()).empty(); }));

    // The batch's three lists, each faxed once; the reminder deleted once.
    testing::SendAccount sends = testing::accountSends(h.home.path());
    EXPECT_EQ(numbers.size(), 3u);
    EXPECT_EQ(sends.notRecordedOnce(), std::vector<std::string>{});
    EXPECT_EQ(sends.faxesSent, numbers.size());
    EXPECT_EQ(sends.leftovers, std::vector<std::string>{});
    EXPECT_EQ(count(deleted, "<FileName>Reminder_0001.xml</FileName>"), 1u) << deleted;
}

INSTANTIATE_TEST_SUITE_P(EndToEnd, AReminderBatchCutOffAfterItsFirstHandOver, ::testing::Values("FailedHandOver", "Killed"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

}  // namespace
}  // namespace fg
