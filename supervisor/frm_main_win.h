// The main window (frmMainWin): one button that starts the supervisor and
// asks it to stop through End.xml, and a status text. The controller works
// through a view, so the same window logic drives the GTK window, the
// command line of a headless server and the tests.
//
// Beyond the window's bare logic:
// - the supervisor's lock tells whether a supervisor runs, whoever started
//   it: a start while one runs shows the start failure; a window opened
//   with no stop request but no supervisor shows the stopped state;
// - the stop waits for the end with a bound, delivering window events and
//   without spinning; after the bound the window says the shutdown goes on
//   and keeps watching;
// - a stop request that could not be written leaves the running state shown;
// - a start waits until the supervisor reports that it has come up; one that
//   ends in its start-up (no helper, modem information that does not load)
//   shows the start failure, with the supervisor's description logged and
//   kept in startFailure(). A start-up that outlasts the bound is shown as
//   still starting, not as running, until the next tick;
// - the end timer runs while the window is open, and each tick shows what
//   is true of the program folder, whoever started or stopped the
//   supervisor: running, stopping (its stop asked) or stopped; a start
//   failure stays shown until a supervisor runs. The tick never writes
//   End.xml: a request written once a supervisor has ended could stop the
//   next one, which another start may have begun meanwhile.
#pragma once

#include "platform/files.h"
#include "platform/process/process.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace fg {

class StartReportReader;

class MainWinView {
public:
    virtual ~MainWinView() = default;
    virtual void setStatus(const std::string& text) = 0;       // lblStatus
    virtual void setButton(const std::string& caption) = 0;    // cmdStartEnd's caption
    virtual void setButtonEnabled(bool enabled) = 0;
    // Arms (or with 0 stops) trmEnd; the view calls trmEnd_Timer on each tick.
    virtual void setEndTimer(std::chrono::milliseconds interval) = 0;
    // Delivers window events for up to `upTo` of the system's time. False
    // once the window is closing.
    virtual bool pumpEvents(std::chrono::milliseconds upTo) = 0;
};

struct MainWinOptions {
    using Ms = std::chrono::milliseconds;
    std::string programsFolder;    // where Tolvern lies; "" finds it beside this program
    Ms endInterval{5000};          // trmEnd
    Ms stopWaitBound{120000};      // how long a stop waits for the supervisor's end
    Ms stopPollInterval{200};      // how often the wait looks
    Ms startWaitBound{600000};     // how long a start waits for the supervisor's start-up
};

class FrmMainWin {
public:
    using Ms = std::chrono::milliseconds;
    static constexpr const char* kCaption = "MainWindow";
    // The supervisor's standard output and error, in the log folder.
    static constexpr const char* kServerOutput = "Tolvern.out";
    static constexpr const char* kTitle = "Nimbrel";  // message boxes
    static constexpr const char* kStart = "起動";
    static constexpr const char* kStop = "停止";
    static constexpr const char* kStatusRunning = "起動中";
    static constexpr const char* kStatusStopped = "停止";
    static constexpr const char* kStatusStarting = "只今起動中です。しばらくお待ち下さい。";
    static constexpr const char* kStatusStopping = "終了処理中です。しばらくお待ち下さい。";
    static constexpr const char* kStatusStartFailed = "ＦＡＸサーバーの起動に失敗しました。";
    static constexpr const char* kLabel1 = "FAXゲートウェイ";
    static constexpr const char* kLabel2 = "FAXサーバーの起動と停止";
    static constexpr const char* kLabel3 = "このウィンドウを閉じてもFAXサーバーは停止しません。";

    explicit FrmMainWin(MainWinView& view, MainWinOptions options = {});
    // Closing the window leaves the supervisor running.
    ~FrmMainWin();
    FrmMainWin(const FrmMainWin&) = delete;
    FrmMainWin& operator=(const FrmMainWin&) = delete;

    // False when the window must end (its message has been shown).
    bool Form_Load();
    void cmdStartEnd_Click();
    void trmEnd_Timer();

    const std::string& status() const { return status_; }
    const std::string& buttonCaption() const { return caption_; }
    // Why the last start failed ("" after a start that succeeded).
    const std::string& startFailure() const { return startFailure_; }

    // With a stop under way (the window loaded showing it): waits for its
    // end as a stop does, without asking anything of the supervisor, then
    // shows the stopped state, or the running state of a supervisor that
    // someone started meanwhile. False, the stop still shown, when the
    // supervisor still shuts down after the bound. A stop asked again while
    // it waited wins over the start that waits: the next start then starts
    // nothing (laterStopWon()).
    [[nodiscard]] bool awaitStopEnd();
    bool laterStopWon() const { return laterStopWon_; }

    enum class StopResult { Stopped, StillRunning, Failed };
    StopResult requestServerEnd();
    // Withdrawn: a stop asked after the stop that awaitStopEnd waited for.
    enum class StartResult { Up, StillStarting, Failed, Withdrawn };
    StartResult startServer();

    Process lngServerProcess;

private:
    bool folderFileExists();
    bool serverEnded();
    // Waits, delivering window events, until `ended` holds or the bound on a
    // supervisor's shutdown passes; false then, or when the window closes.
    bool waitForShutdown(const std::function<bool()>& ended);
    StartResult awaitStartUp(StartReportReader& report);
    // What a tick shows: the supervisor of the program folder as it is.
    void showProgramFolder();
    // Shows the supervisor that holds the lock (as stopping when its stop
    // was asked) and watches it for its end, or shows none running.
    void showLockHolder(bool stopping);
    void setStatus(const std::string& text);
    void setCaption(const std::string& caption);

    MainWinView& view_;
    MainWinOptions options_;
    std::string status_;
    std::string caption_ = kStart;
    std::string startFailure_;
    std::optional<std::optional<fs::FileStamp>> stopAskedAt_;  // End.xml as the awaited stop left it
    bool laterStopWon_ = false;
    bool clicking_ = false;  // a tick inside the button's wait leaves the window to it
};

}  // namespace fg
