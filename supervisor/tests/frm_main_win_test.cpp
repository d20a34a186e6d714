// The main window's logic through a recording view, starting and stopping
// the real supervisor program.
#include "supervisor_fixture.h"

#include "supervisor/end_control_file.h"
#include "supervisor/frm_main_win.h"
#include "supervisor/supervisor_lock.h"

#include "platform/message_sink.h"
#include "platform/xml.h"
#include "platform/process/event_pump.h"

#include <gtest/gtest.h>
#include <time.h>

#include <optional>

namespace fg {
namespace {

using namespace std::chrono_literals;
using testing::SupervisorHome;

constexpr std::chrono::milliseconds kLong{60000000};

struct RecordingView : MainWinView {
    EventPump pump;
    std::vector<std::string> statuses;
    std::string button;
    bool enabled = true;
    std::chrono::milliseconds endTimer{0};
    int pumps = 0;

    void setStatus(const std::string& text) override { statuses.push_back(text); }
    void setButton(const std::string& caption) override { button = caption; }
    void setButtonEnabled(bool e) override { enabled = e; }
    void setEndTimer(std::chrono::milliseconds interval) override { endTimer = interval; }
    bool pumpEvents(std::chrono::milliseconds upTo) override {
        ++pumps;
        (void)pump.waitFor(upTo);
        return true;
    }
};

struct WindowHome : SupervisorHome {
    std::shared_ptr<RecordingMessageSink> messages = std::make_shared<RecordingMessageSink>();
    WindowHome() { setMessageSink(messages); }
    ~WindowHome() { setMessageSink(nullptr); }
    MainWinOptions options() const {
        MainWinOptions o;
        o.programsFolder = testing::programDir();
        o.stopWaitBound = kLong;
        return o;
    }
    std::string endRequest() const {
        xml::Document d;
        (void)d.load(home / "End.xml");
        return d.selectSingleNode("//End-Request").text() + "/" + d.selectSingleNode("//TelephonyErrReq").text();
    }
};

std::chrono::nanoseconds cpuTime() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
}

// Waits until the supervisor the window started holds its lock.
bool supervisorUp() {
    return testing::eventually([] { return SupervisorLock::supervisorRunning(); });
}

// A window over a home of its own, made by the test once End.xml and the
// locks are as the case needs them.
class MainWindow : public ::testing::Test {
protected:
    FrmMainWin& makeWindow(const MainWinOptions& options) { return window_.emplace(view, options); }
    // The window over End.xml holding `endBody`.
    FrmMainWin& windowOver(const std::string& endBody) {
        h.endFile(endBody);
        return makeWindow(h.options());
    }
    // Starts the supervisor from the window, has an outside writer ask for its
    // stop and waits until it has ended, before the window's end watch ticks.
    static void startAndLetTheSupervisorEnd(FrmMainWin& window) {
        window.cmdStartEnd_Click();
        ASSERT_TRUE(supervisorUp());
        EndControlFile().set({{"TelephonyErrReq", "1"}});
        ASSERT_TRUE(window.lngServerProcess.waitFor(kLong));
    }

    WindowHome h;
    RecordingView view;

private:
    std::optional<FrmMainWin> window_;
};

TEST_F(MainWindow, LoadRefusesToRunWithoutItsFiles) {
    struct Case {
        const char* name;
        const char* message;
    } cases[] = {
        {"folder.xml", "フォルダー情報ファイル[Folder.xml]が指定位置ない為、FAXサーバを起動できません"},
        {"End.xml", "起動・終了ファイル[End.xml]が指定位置ない為、FAXサーバを起動できません"},
        {"broken End.xml", "起動・終了ファイル[End.xml]が指定位置ない為、FAXサーバを起動できません"},
    };
    for (const auto& c : cases) {
        WindowHome h;
        std::string name = c.name;
        if (name == "broken End.xml") h.home.write("End.xml", "<End><End-Request>1");
        else (void)fs::removeFile(h.home / name);
        RecordingView view;
        FrmMainWin window(view, h.options());
        EXPECT_FALSE(window.Form_Load()) << name;
        ASSERT_EQ(h.messages->shown().size(), 1u) << name;
        EXPECT_EQ(h.messages->shown()[0].prompt, c.message);
        EXPECT_EQ(h.messages->shown()[0].style, msgbox::OKOnly);
    }
}

TEST_F(MainWindow, LoadShowsTheStateOfTheServer) {
    struct Case {
        const char* body;
        bool supervisorHoldsLock;
        const char* status;
        const char* button;
    } cases[] = {
        {"<End-Request>1</End-Request><TelephonyErrReq>0</TelephonyErrReq>", false, "停止", "起動"},
        {"<End-Request>0</End-Request><TelephonyErrReq>1</TelephonyErrReq>", false, "停止", "起動"},
        // A stop was asked but the supervisor still finishes its work.
        {"<End-Request>1</End-Request>", true, "終了処理中です。しばらくお待ち下さい。", "停止"},
        {"", true, "起動中", "停止"},
        {"<End-Request>0</End-Request>", true, "起動中", "停止"},
        // No stop request, but no supervisor either: it is not shown as running.
        {"", false, "停止", "起動"},
        {"<End-Request>x</End-Request>", false, "停止", "起動"},
    };
    for (const auto& c : cases) {
        WindowHome h;
        h.endFile(c.body);
        std::optional<FileLock> other;
        if (c.supervisorHoldsLock) other = SupervisorLock::acquire();
        RecordingView view;
        FrmMainWin window(view, h.options());
        ASSERT_TRUE(window.Form_Load()) << c.body;
        EXPECT_EQ(window.status(), c.status) << c.body;
        EXPECT_EQ(view.button, c.button) << c.body;
        // The window watches the program folder whatever it shows.
        EXPECT_EQ(view.endTimer, 5000ms) << c.body;
    }
}

TEST_F(MainWindow, StartsAndStopsTheSupervisorTwice) {
    FrmMainWin& window = windowOver("<End-Request>1</End-Request><TelephonyErrReq>1</TelephonyErrReq>");
    ASSERT_TRUE(window.Form_Load());
    pid_t previous = -1;
    for (int cycle = 0; cycle < 2; ++cycle) {
        SCOPED_TRACE(cycle);
        view.statuses.clear();
        window.cmdStartEnd_Click();
        EXPECT_EQ(view.statuses, (std::vector<std::string>{"只今起動中です。しばらくお待ち下さい。", "起動中"}));
        EXPECT_EQ(view.button, "停止");
        EXPECT_TRUE(view.enabled);
        EXPECT_EQ(view.endTimer, 5000ms);
        // An old request must not stop the new supervisor.
        EXPECT_EQ(h.endRequest(), "0/0");
        ASSERT_TRUE(window.lngServerProcess.valid());
        EXPECT_NE(window.lngServerProcess.pid(), previous);
        previous = window.lngServerProcess.pid();
        ASSERT_TRUE(supervisorUp());
        // Its end watch ticks while it runs.
        window.trmEnd_Timer();
        EXPECT_EQ(view.endTimer, 5000ms);

        view.statuses.clear();
        window.cmdStartEnd_Click();
        EXPECT_EQ(view.statuses, (std::vector<std::string>{"終了処理中です。しばらくお待ち下さい。", "停止"}));
        EXPECT_EQ(view.button, "起動");
        EXPECT_EQ(view.endTimer, 5000ms);
        EXPECT_EQ(h.endRequest(), "1/0");
        EXPECT_FALSE(window.lngServerProcess.running());
        EXPECT_EQ(window.lngServerProcess.exitCode(), 0);
        EXPECT_FALSE(SupervisorLock::supervisorRunning());
        EXPECT_GT(view.pumps, 0);  // the window kept pumping while it waited
    }
    EXPECT_TRUE(h.messages->shown().empty());
}

TEST_F(MainWindow, AStartWhileASupervisorRunsFails) {
    FrmMainWin& window = windowOver("<End-Request>1</End-Request><TelephonyErrReq>0</TelephonyErrReq>");
    ASSERT_TRUE(window.Form_Load());
    FileLock other = SupervisorLock::acquire();  // started elsewhere meanwhile
    ASSERT_TRUE(other.held());
    window.cmdStartEnd_Click();
    EXPECT_EQ(window.status(), "ＦＡＸサーバーの起動に失敗しました。");
    EXPECT_EQ(view.button, "起動");
    EXPECT_FALSE(window.lngServerProcess.valid());
    EXPECT_EQ(h.endRequest(), "1/0");  // its End.xml is left alone
    EXPECT_TRUE(h.logged(40030, "Nimbrel"));
    window.trmEnd_Timer();  // shown until a supervisor runs: this one does, its stop asked
    EXPECT_EQ(window.status(), "終了処理中です。しばらくお待ち下さい。");
}

TEST_F(MainWindow, AStartThatOutlastsItsBoundIsShownStillStarting) {
    auto o = h.options();
    o.startWaitBound = o.stopPollInterval = 1ms;  // no supervisor reports its start-up so soon
    FrmMainWin& window = makeWindow(o);
    ASSERT_TRUE(window.Form_Load());
    window.cmdStartEnd_Click();
    EXPECT_EQ(window.status(), "只今起動中です。しばらくお待ち下さい。");
    ASSERT_TRUE(supervisorUp());
    window.cmdStartEnd_Click();  // its stop can be asked
    EXPECT_EQ(window.status(), "停止");
}

TEST_F(MainWindow, EveryTickShowsTheProgramFolderWhoeverStartedOrStoppedTheServer) {
    FrmMainWin& window = windowOver("<End-Request>1</End-Request><TelephonyErrReq>0</TelephonyErrReq>");
    ASSERT_TRUE(window.Form_Load());
    const struct { bool runs; const char* endRequest; const char* status; const char* button; } ticks[] = {
        {true, "0", "起動中", "停止"}, {true, "1", "終了処理中です。しばらくお待ち下さい。", "停止"},
        {false, "1", "停止", "起動"}, {true, "0", "起動中", "停止"}, {false, "0", "停止", "起動"}};
    for (const auto& t : ticks) {
        std::optional<FileLock> supervisor;
        if (t.runs) supervisor = SupervisorLock::acquire();
        EndControlFile().set({{"End-Request", t.endRequest}});
        ASSERT_EQ(view.endTimer, 5000ms) << t.status;  // it never stops
        window.trmEnd_Timer();
        EXPECT_EQ(window.status() + view.button, std::string(t.status) + t.button);
    }
}

TEST_F(MainWindow, TheEndWatchNoticesASupervisorThatEndedByItself) {
    FrmMainWin& window = windowOver("<End-Request>1</End-Request><TelephonyErrReq>0</TelephonyErrReq>");
    ASSERT_TRUE(window.Form_Load());
    ASSERT_NO_FATAL_FAILURE(startAndLetTheSupervisorEnd(window));
    // Another start has withdrawn the request; its supervisor is not up yet.
    EndControlFile().set({{"End-Request", "0"}, {"TelephonyErrReq", "0"}});
    window.trmEnd_Timer();
    EXPECT_EQ(window.status(), "停止");
    EXPECT_EQ(view.button, "起動");
    EXPECT_EQ(h.endRequest(), "0/0");  // no request to stop that one
}

TEST_F(MainWindow, TheEndWatchLeavesAnotherSupervisorAlone) {
    FrmMainWin& window = windowOver("<End-Request>1</End-Request><TelephonyErrReq>0</TelephonyErrReq>");
    ASSERT_TRUE(window.Form_Load());
    ASSERT_NO_FATAL_FAILURE(startAndLetTheSupervisorEnd(window));
    // Before the window's watch ticks, another supervisor has started.
    EndControlFile().set({{"TelephonyErrReq", "0"}});
    FileLock other = SupervisorLock::acquire();
    ASSERT_TRUE(other.held());
    window.trmEnd_Timer();
    EXPECT_EQ(window.status(), "起動中");
    EXPECT_EQ(view.button, "停止");
    EXPECT_EQ(h.endRequest(), "0/0");  // no stop request for a supervisor it did not start
    EXPECT_EQ(view.endTimer, 5000ms);
    // Once that one ends too, the window shows it.
    other.unlock();
    window.trmEnd_Timer();
    EXPECT_EQ(window.status(), "停止");
    EXPECT_EQ(h.endRequest(), "0/0");
}

TEST_F(MainWindow, TheStopWaitIsBoundedAndSaysTheShutdownGoesOn) {
    h.endFile("<End-Request>0</End-Request><TelephonyErrReq>0</TelephonyErrReq>");
    FileLock stuck = SupervisorLock::acquire();  // a supervisor that does not end
    auto o = h.options();
    o.stopWaitBound = 3000ms;
    FrmMainWin& window = makeWindow(o);
    ASSERT_TRUE(window.Form_Load());
    ASSERT_EQ(view.button, "停止");
    auto start = std::chrono::steady_clock::now();
    auto cpuStart = cpuTime();
    window.cmdStartEnd_Click();
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_LT(waited, 10s);
    // It sleeps between looks instead of spinning.
    EXPECT_LT(cpuTime() - cpuStart, waited / 2);
    EXPECT_EQ(window.status(), "終了処理中です。しばらくお待ち下さい。");
    EXPECT_EQ(view.button, "停止");
    EXPECT_TRUE(view.enabled);
    EXPECT_EQ(view.endTimer, 5000ms);
    EXPECT_EQ(h.endRequest(), "1/0");
    EXPECT_GT(view.pumps, 0);
    stuck.unlock();
    window.trmEnd_Timer();
    EXPECT_EQ(window.status(), "停止");
    EXPECT_EQ(view.button, "起動");
}

TEST_F(MainWindow, AStopRequestThatCannotBeWrittenLeavesTheServerShownRunning) {
    h.endFile("<End-Request>0</End-Request>");
    FileLock running = SupervisorLock::acquire();
    FrmMainWin& window = makeWindow(h.options());
    ASSERT_TRUE(window.Form_Load());
    (void)fs::removeFile(h.home / "End.xml");
    window.cmdStartEnd_Click();
    ASSERT_EQ(h.messages->shown().size(), 1u);
    EXPECT_EQ(h.messages->shown()[0].prompt, "起動･終了ファイル[End.xml]が指定位置に見つかりません\r又は内容が不正です。");
    EXPECT_EQ(window.status(), "起動中");
    EXPECT_EQ(view.button, "停止");
}

}  // namespace
}  // namespace fg
