#include "child.h"
#include "platform/clock.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"
#include "platform/message_sink.h"
#include "platform/processed_file_hook.h"
#include "platform/testing/temp_home.h"
#include "platform/wait_bounds.h"

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <new>
#include <stdexcept>
#include <ctime>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using namespace fg;
using namespace std::chrono_literals;
using fg::testing::Child;
using fg::testing::ErrorLogGuard;
using fg::testing::TempHome;

namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        std::size_t tab = line.find('\t', start);
        out.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) return out;
        start = tab + 1;
    }
}

// "YYYY/MM/DD HH:MM:SS.mmm"
bool isLogStamp(const std::string& s) {
    const std::string shape = "dddd/dd/dd dd:dd:dd.ddd";
    if (s.size() != shape.size()) return false;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (shape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(s[i])) : s[i] != shape[i]) return false;
    return true;
}

struct ClockGuard {
    ~ClockGuard() { setClock(nullptr); }
};

}  // namespace

TEST(Clock, ScaledWaitsAreShortAndTimeAdvancesInTheSystemsTime) {
    ClockGuard guard;
    auto clock = std::make_shared<ScaledClock>(0.01);
    setClock(clock);
    auto realStart = std::chrono::steady_clock::now();
    auto start = fg::clock().elapsed();
    auto wallStart = fg::clock().now();
    fg::clock().sleepFor(5000ms);
    auto real = std::chrono::steady_clock::now() - realStart;
    EXPECT_GE(fg::clock().elapsed() - start, 4900ms);
    EXPECT_GE(fg::clock().now() - wallStart, 4900ms);
    EXPECT_LT(real, 2500ms);  // 50 ms expected; far from the 5 s the code asked for
    EXPECT_EQ(fg::clock().realDuration(1000ms), 10ms);
}

TEST(Clock, ManualClockMovesOnlyWhenTold) {
    ClockGuard guard;
    auto start = std::chrono::system_clock::from_time_t(1700000000);
    auto manual = std::make_shared<ManualClock>(start);
    setClock(manual);
    fg::clock().sleepFor(30000ms);  // returns at once, time moves on
    EXPECT_EQ(fg::clock().now(), start + 30000ms);
    EXPECT_EQ(fg::clock().elapsed(), 30000ms);
    manual->advance(500ms);
    manual->advance(-100ms);  // time never runs back
    EXPECT_EQ(fg::clock().elapsed(), 30500ms);
    manual->set(start);
    EXPECT_EQ(fg::clock().now(), start);
    EXPECT_EQ(fg::clock().realDuration(1000ms), 0ns);
    setClock(nullptr);
    EXPECT_EQ(fg::clock().realDuration(1000ms), 1000ms);
}

TEST(Clock, ChildProcessesInheritTheScale) {
    for (auto [scale, expected] : std::vector<std::pair<std::string, std::string>>{
             {"0.01", "10000000"}, {"0.5", "500000000"}, {"garbage", "1000000000"}, {"", "1000000000"}}) {
        Child c = Child::start({"scale"}, true, {"FAXGATE_TIME_SCALE=" + scale});
        EXPECT_EQ(c.readLine(), expected) << scale;
        EXPECT_EQ(c.wait(), 0);
    }
}

TEST(Clock, TimeStampsUseFixedFormats) {
    const char* tz = std::getenv("TZ");
    std::string saved = tz ? tz : "";
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    auto t = std::chrono::system_clock::from_time_t(1704067200 + 9 * 3600 + 5 * 60 + 7);  // 2024-01-01 09:05:07 UTC
    EXPECT_EQ(timeStamp14(t), "20240101090507");
    EXPECT_EQ(formatLocal(t, "%Y/%m/%d %H:%M"), "2024/01/01 09:05");
    if (tz) ::setenv("TZ", saved.c_str(), 1);
    else ::unsetenv("TZ");
    ::tzset();
}

TEST(MessageSink, EveryStyleAnswersItsDefaultButton) {
    using namespace msgbox;
    struct Case {
        int style, button;
    };
    for (const Case& c : std::vector<Case>{
             {OKOnly, OK}, {OKCancel, OK}, {OKCancel | DefaultButton2, Cancel}, {AbortRetryIgnore, Abort},
             {AbortRetryIgnore | DefaultButton2, Retry}, {AbortRetryIgnore | DefaultButton3, Ignore},
             {YesNoCancel | Question, Yes}, {YesNoCancel | DefaultButton3, Cancel}, {YesNo | Critical, Yes},
             {YesNo | DefaultButton2 | Exclamation, No}, {RetryCancel, Retry}, {RetryCancel | DefaultButton2, Cancel},
             {OKOnly | Information | DefaultButton2, OK}}) {
        EXPECT_EQ(defaultButton(c.style), c.button) << "style " << c.style;
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(ConsoleMessageSink().show("m", c.style, "t"), c.button);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "t: m\n");
    }
}

TEST(MessageSink, ServerDefaultLogsAndAnswersAtOnce) {
    ErrorLogGuard log;
    setMessageSink(nullptr);
    EXPECT_EQ(messageSink().show("モデムが見つかりません。", msgbox::YesNo | msgbox::DefaultButton2, "FaxSend"), msgbox::No);
    auto entries = log.log->entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].source, "FaxSend");
    EXPECT_NE(entries[0].description.find("モデムが見つかりません。"), std::string::npos);
}

TEST(MessageSink, RecordingSinkCapturesAndAnswersFromAScript) {
    auto sink = std::make_shared<RecordingMessageSink>();
    setMessageSink(sink);
    sink->scriptAnswer(msgbox::Cancel);
    EXPECT_EQ(messageSink().show("one", msgbox::OKCancel, "T1"), msgbox::Cancel);
    EXPECT_EQ(messageSink().show("two", msgbox::OKCancel, "T2"), msgbox::OK);  // script used up
    auto shown = sink->shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].prompt, "two");
    EXPECT_EQ(shown[1].title, "T2");
    EXPECT_EQ(shown[0].style, msgbox::OKCancel);
    setMessageSink(nullptr);
}

TEST(ErrorLog, OneLinePerCallWithStampPidSourceNumberAndDescription) {
    TempHome home;
    ClockGuard guard;
    setErrorLogSink(nullptr);
    // Whatever bytes a description quotes, the line stays one line of text.
    ErrorLogWriter().writeError("Delmora.FaxManageNum",
                                Error(40001, "保存できません。\r\n二行目\tタブ" + std::string("\0\x01\x7F\xFF\xE3\x81", 6)));
    Error tel(40501, "番号がありません。", "Orbisk");
    TelephonyErrorLog().writeError(tel, true);
    TelephonyErrorLog().writeError(tel, false);

    auto errorLines = lines(fs::readFile(home / "log/ErrorLog.txt"));
    ASSERT_EQ(errorLines.size(), 1u);
    auto f = fields(errorLines[0]);
    ASSERT_EQ(f.size(), 5u) << errorLines[0];
    EXPECT_TRUE(isLogStamp(f[0])) << f[0];
    EXPECT_EQ(f[1], std::to_string(::getpid()));
    EXPECT_EQ(f[2], "Delmora.FaxManageNum");
    EXPECT_EQ(f[3], "40001");
    EXPECT_EQ(f[4], "保存できません。  二行目 タブ\\x00\\x01\\x7F\\xFF\\xE3\\x81");

    auto telLines = lines(fs::readFile(home / "log/TelephonyErrorLog.txt"));
    ASSERT_EQ(telLines.size(), 2u);
    auto t = fields(telLines[0]);
    ASSERT_EQ(t.size(), 6u);
    EXPECT_EQ(t[2], "Orbisk");
    EXPECT_EQ(t[3], "40501");
    EXPECT_EQ(t[5], "True");
    EXPECT_EQ(fields(telLines[1])[5], "False");

    // The stamp comes from the system's clock.
    setClock(std::make_shared<ManualClock>(std::chrono::system_clock::from_time_t(0)));
    ErrorLogWriter().writeError("s", 1, "d");
    EXPECT_EQ(fields(lines(fs::readFile(home / "log/ErrorLog.txt")).back())[0], formatLocal(fg::clock().now(), "%Y/%m/%d %H:%M:%S") + ".000");
}

TEST(ErrorLog, CreatesItsFolderAndNeverThrowsWhenItCannotWrite) {
    TempHome home;
    setErrorLogSink(nullptr);
    fs::removeTree(home / "log");
    ErrorLogWriter().writeError("src", Error(5, "x"));
    EXPECT_EQ(lines(fs::readFile(home / "log/ErrorLog.txt")).size(), 1u);

    // The log folder is a file: the line goes to standard error, nothing is thrown.
    fs::removeTree(home / "log");
    fs::writeFileAtomic(home / "log", "not a folder");
    ::testing::internal::CaptureStderr();
    ErrorLogWriter().writeError("src", Error(6, "fallback"));
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("fallback"), std::string::npos);

    // A sink that throws does not reach the caller either.
    struct Throwing : ErrorLogSink {
        void write(const ErrorLogEntry&) override { throw std::runtime_error("full disk"); }
    };
    setErrorLogSink(std::make_shared<Throwing>());
    ::testing::internal::CaptureStderr();
    TelephonyErrorLog().writeError(Error(7, "lost?"));
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("lost?"), std::string::npos);
    setErrorLogSink(nullptr);
}

TEST(ErrorLog, SeveralProcessesAppendWholeLines) {
    TempHome home;
    std::vector<Child> writers;
    for (int i = 0; i < 4; ++i) writers.push_back(Child::start({"log", "150", "w" + std::to_string(i)}));
    for (auto& w : writers) EXPECT_EQ(w.wait(), 0);
    auto all = lines(fs::readFile(home / "log/ErrorLog.txt"));
    ASSERT_EQ(all.size(), 600u);
    std::map<std::string, int> perWriter;
    for (const auto& line : all) {
        auto f = fields(line);
        ASSERT_EQ(f.size(), 5u);
        // "w<writer>:<i>:" then 3000 x and ":end", nothing torn or mixed in.
        std::size_t c1 = f[4].find(':'), c2 = f[4].find(':', c1 + 1);
        ASSERT_NE(c2, std::string::npos) << line.substr(0, 80);
        EXPECT_EQ(f[4].substr(c2 + 1), std::string(3000, 'x') + ":end");
        EXPECT_TRUE(isLogStamp(f[0]));
        EXPECT_EQ(f[3], std::to_string(40000 + std::stoi(f[4].substr(c1 + 1, c2 - c1 - 1))));
        ++perWriter[f[4].substr(0, c1)];
    }
    EXPECT_EQ(perWriter.size(), 4u);
    for (auto& [w, n] : perWriter) EXPECT_EQ(n, 150) << w;
}

TEST(ErrorLog, RecorderSeesEveryCall) {
    ErrorLogGuard log;
    ErrorLogWriter().writeError("A", Error(40100, "設定"));
    long ignored = 0;
    ErrorLogWriter().writeError("B", Error(40101, "x"), ignored);
    TelephonyErrorLog().writeError(Error(40502, "y", "Sorvik"), true);
    auto e = log.log->entries();
    ASSERT_EQ(e.size(), 3u);
    EXPECT_EQ(e[0].log, "ErrorLog");
    EXPECT_EQ(e[1].source, "B");
    EXPECT_EQ(e[2].log, "TelephonyErrorLog");
    EXPECT_EQ(e[2].source, "Sorvik");
    EXPECT_TRUE(log.log->has(40101));
    log.log->clear();
    EXPECT_TRUE(log.log->entries().empty());
}

TEST(ErrorLog, ForeignExceptionsGetOneNumberPerKindAndAreLogged) {
    ErrorLogGuard log;
    struct Case {
        std::function<void()> raise;
        long number;
    };
    const Case cases[] = {
        {[] { throw Error(40013, "ours", "X"); }, 40013},
        {[] { throw std::bad_alloc(); }, errnum::OutOfMemory},
        {[] { (void)std::string().at(3); }, errnum::SubscriptOutOfRange},
        {[] { throw std::runtime_error("broken"); }, errnum::InvalidProcedureCall},
        {[] { throw 42; }, errnum::InvalidProcedureCall},
    };
    for (const auto& c : cases) {
        try {
            c.raise();
        } catch (...) {
            EXPECT_EQ(currentError().number(), c.number);
            EXPECT_EQ(logCurrentError("Src").number(), c.number);
        }
    }
    auto e = log.log->entries();
    ASSERT_EQ(e.size(), std::size(cases));
    EXPECT_EQ(e[0].description, "ours");
    EXPECT_EQ(e[3].source, "Src");
    EXPECT_NE(e[3].description.find("broken"), std::string::npos);
}

TEST(ErrorLog, TheTelephonyLogTakesTheErrorBeingHandledUnderASource) {
    ErrorLogGuard log;
    try {
        throw Error(40013, "ours", "X");
    } catch (...) {
        TelephonyErrorLog().writeCurrentError("Member");
        TelephonyErrorLog().writeCurrentError("Member", 40516, false);
    }
    try {
        throw std::runtime_error("broken");
    } catch (...) {
        TelephonyErrorLog().writeCurrentError("Job");
    }
    auto e = log.log->entries();
    ASSERT_EQ(e.size(), 3u);
    for (const auto& entry : e) EXPECT_EQ(entry.log, "TelephonyErrorLog");
    EXPECT_EQ(e[0].number, 40013);
    EXPECT_EQ(e[0].source, "Member");
    EXPECT_EQ(e[0].description, "ours");
    EXPECT_TRUE(e[0].flag);
    EXPECT_EQ(e[1].number, 40516);
    EXPECT_EQ(e[1].description, "ours");
    EXPECT_FALSE(e[1].flag);
    EXPECT_EQ(e[2].number, errnum::InvalidProcedureCall);
    EXPECT_NE(e[2].description.find("broken"), std::string::npos);
}

TEST(FolderPathInfo, TheDemoHomeMapsAllKeys) {
    TempHome home;
    const std::vector<std::pair<std::string, std::string>> keys = {
        {"RunTime", "RunTime/"},        {"TempEDI", "temp/TempEDI/"},  {"TempReqEDI", "temp/TempReqEDI/"},
        {"TempReqOrder", "temp/TempReqOrder/"}, {"TempReqPut", "temp/TempReqPut/"}, {"TempReqRem", "temp/TempReqRem/"},
        {"Xsl", "Xsl/"},                {"FaxSendXML", "FaxSendXML/"}, {"FaxManageNum", "data/"},
        {"FaxSendLog", "data/"},        {"ModemInfo", "data/"},        {"Schedule", "data/"},
        {"MakerInfo", "Maker/"},        {"SetupInfo", "data/"},        {"log", "log/"},
        {"SendTemp", "SendTemp/"},      {"G3Image", "G3Image/"},       {"G3ReImage", "G3ReImage/"},
        {"Bitmap", "Bitmap/"},          {"Jpg", "Jpg/"},               {"Msf", "Msf/"},
        {"ExcelLayout", "ExcelLayout/"}, {"ReportID", "ReportID/"}};
    ASSERT_EQ(keys.size(), 23u);
    for (const auto& [key, folder] : keys) {
        EXPECT_EQ(FolderPathInfo().getFolderPath(key), home.path() + folder) << key;
        std::string path;
        FolderPathInfo().getFolderPath(key, path);
        EXPECT_EQ(path, home.path() + folder);
    }
}

TEST(FolderPathInfo, UnknownAndEmptyEntriesRaiseOrGiveEmpty) {
    TempHome home(false);
    home.write("folderpath.xml",
               "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<Folders><Folder class=\"Abs\">/var/faxgate/log</Folder>"
               "<Folder class=\"Empty\"></Folder><Folder class=\"Blank\">  </Folder>"
               "<Folder class=\"Wrapped\">\r\n  data/sub\r\n</Folder><Folder class=\"It's\">q/</Folder></Folders>\r\n");
    FolderPathInfo info;
    EXPECT_EQ(info.getFolderPath("Abs"), "/var/faxgate/log/");
    EXPECT_EQ(info.getFolderPath("Wrapped"), home.path() + "data/sub/");
    EXPECT_EQ(info.getFolderPath("It's"), home.path() + "q/");
    for (const char* key : {"Empty", "Blank", "Unknown", "abs", ""}) {
        EXPECT_THROW(info.getFolderPath(key), Error) << key;
        std::string path = "previous";
        info.getFolderPath(key, path);
        EXPECT_EQ(path, "") << key;
    }
    (void)fs::removeFile(home / "folderpath.xml");
    EXPECT_THROW(info.getFolderPath("Abs"), Error);
    home.write("FolderPath.XML", "<Folders><Folder class=\"x\">y</Folder></Folders>");  // any spelling
    EXPECT_EQ(info.getFolderPath("x"), home.path() + "y/");
}

TEST(ProcessedFileHook, DefaultDoesNothingButADebugLineAndTestsRecord) {
    TempHome home;
    bool ok = false;
    ProcessedFileHook::current().fileDone("202401010900000001.xml", ok);
    EXPECT_TRUE(ok);
    EXPECT_NE(fs::readFile(home / "log/DebugLog.txt").find("202401010900000001.xml"), std::string::npos);

    struct Recorder : ProcessedFileHook {
        std::vector<std::string> names;
        void fileDone(const std::string& name, bool& done) override {
            names.push_back(name);
            done = true;
        }
    };
    auto recorder = std::make_shared<Recorder>();
    ProcessedFileHook::install(recorder);
    ProcessedFileHook::current().fileDone("a.xml", ok);
    ProcessedFileHook::current().fileDone("b.xml", ok);
    EXPECT_EQ(recorder->names, (std::vector<std::string>{"a.xml", "b.xml"}));
    ProcessedFileHook::install(nullptr);
    ProcessedFileHook::current().fileDone("c.xml", ok);
    EXPECT_EQ(recorder->names.size(), 2u);
}

TEST(WaitBounds, AnOperatorsMistakeInWaitsXmlLeavesEveryWaitBounded) {
    TempHome home(false);
    ErrorLogGuard log;
    const WaitBounds defaults;
    auto file = [](const std::string& inner) {
        return "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<Waits>" + inner + "</Waits>\r\n";
    };
    struct Case {
        const char* what;
        std::string content;  // "" for no file at all
        std::chrono::milliseconds printStart, sendPage, sendJob;
        std::size_t logged;
    } cases[] = {
        {"no file", "", defaults.printStart, defaults.sendPage, defaults.sendJob, 0},
        {"every value", file("<PrintStart>1000</PrintStart><SendPage> 2000 </SendPage><SendJob>3000</SendJob>"), 1000ms,
         2000ms, 3000ms, 0},
        {"one value, the others missing or empty", file("<SendPage>2500</SendPage><SendJob/>"), defaults.printStart,
         2500ms, defaults.sendJob, 0},
        {"values that are no positive whole number",
         file("<PrintStart>0</PrintStart><SendPage>-5</SendPage><SendJob>ten</SendJob>"), defaults.printStart,
         defaults.sendPage, defaults.sendJob, 3},
        {"a bad value beside a good one", file("<PrintStart>soon</PrintStart><SendJob>4000</SendJob>"),
         defaults.printStart, defaults.sendPage, 4000ms, 1},
        {"a file that does not parse", "<Waits><PrintStart>1000</Waits", defaults.printStart, defaults.sendPage,
         defaults.sendJob, 1},
        {"another root", "<?xml version=\"1.0\"?><Bounds><PrintStart>1000</PrintStart></Bounds>", defaults.printStart,
         defaults.sendPage, defaults.sendJob, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        log.log->clear();
        (void)fs::removeFile(home / WaitBounds::kFileName);
        if (!c.content.empty()) home.write(WaitBounds::kFileName, c.content);
        WaitBounds b = WaitBounds::load();
        EXPECT_EQ(b.printStart, c.printStart);
        EXPECT_EQ(b.sendPage, c.sendPage);
        EXPECT_EQ(b.sendJob, c.sendJob);
        auto entries = log.log->entries();
        EXPECT_EQ(entries.size(), c.logged);
        for (const auto& e : entries) {
            EXPECT_EQ(e.source, WaitBounds::kSource);
            EXPECT_NE(e.description.find(WaitBounds::kFileName), std::string::npos) << e.description;
        }
    }
}
