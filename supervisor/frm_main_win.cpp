#include "supervisor/frm_main_win.h"

#include "supervisor/end_control_file.h"
#include "supervisor/errors.h"
#include "supervisor/supervisor_lock.h"

#include "platform/clock.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"
#include "platform/message_sink.h"
#include "platform/process/start_report.h"

namespace fg {

namespace {

void logError(const Error& e) { ErrorLogWriter().writeError(FrmMainWin::kTitle, e); }

}  // namespace

FrmMainWin::FrmMainWin(MainWinView& view, MainWinOptions options) : view_(view), options_(std::move(options)) {}

FrmMainWin::~FrmMainWin() { lngServerProcess.detach(); }

void FrmMainWin::setStatus(const std::string& text) {
    status_ = text;
    view_.setStatus(text);
}

void FrmMainWin::setCaption(const std::string& caption) {
    caption_ = caption;
    view_.setButton(caption);
}

bool FrmMainWin::folderFileExists() { return fs::fileExists(fs::programFolder() + "Folder.xml"); }

bool FrmMainWin::Form_Load() {
    if (!folderFileExists()) {
        messageSink().show("フォルダー情報ファイル[Folder.xml]が指定位置ない為、FAXサーバを起動できません", msgbox::OKOnly,
                           kTitle);
        return false;
    }
    auto reading = EndControlFile().read();
    if (!reading.loaded) {
        messageSink().show("起動・終了ファイル[End.xml]が指定位置ない為、FAXサーバを起動できません", msgbox::OKOnly, kTitle);
        return false;
    }
    if (!reading.badText.empty())
        logError(Error(supervisor_errors::BadEndValue, "起動･終了ファイル[End.xml]の値が数値ではありません (要求なしとします): " + reading.badText));
    // A supervisor that this window did not start shows as running, or as
    // shutting down when its stop was already asked (it may take minutes to
    // finish its sends).
    showLockHolder(reading.value == 1);
    return true;
}

void FrmMainWin::showLockHolder(bool stopping) {
    if (SupervisorLock::supervisorRunning()) {
        setStatus(stopping ? kStatusStopping : kStatusRunning);
        setCaption(kStop);
        view_.setEndTimer(options_.endInterval);
    } else {
        setStatus(kStatusStopped);
        setCaption(kStart);
    }
}

void FrmMainWin::cmdStartEnd_Click() {
    view_.setButtonEnabled(false);
    if (caption_ != kStop) {
        setStatus(kStatusStarting);
        if (startServer()) {
            setStatus(kStatusRunning);
            setCaption(kStop);
        } else {
            setStatus(kStatusStartFailed);
        }
    } else {
        setStatus(kStatusStopping);
        switch (requestServerEnd()) {
        case StopResult::Stopped:
            setStatus(kStatusStopped);
            setCaption(kStart);
            break;
        case StopResult::StillRunning:
            // The request is written and the supervisor works through its
            // shutdown: keep saying so, and notice its end later.
            view_.setEndTimer(options_.endInterval);
            break;
        case StopResult::Failed:
            // No request reached the supervisor: it still runs.
            setStatus(kStatusRunning);
            if (lngServerProcess.valid() || SupervisorLock::supervisorRunning()) view_.setEndTimer(options_.endInterval);
            break;
        }
    }
    view_.setButtonEnabled(true);
}

bool FrmMainWin::startServer() {
    startFailure_.clear();
    if (SupervisorLock::supervisorRunning()) {
        startFailure_ = "ＦＡＸサーバーは既に起動しています: " + fs::programFolder();
        logError(Error(supervisor_errors::AlreadyRunning, startFailure_));
        return false;
    }
    try {
        // An old request must not stop the new supervisor.
        EndControlFile().set({{EndControlFile::kEndRequest, "0"}, {EndControlFile::kTelephonyErrReq, "0"}});
        std::optional<std::string> program;
        if (options_.programsFolder.empty()) program = findProgram("Tolvern");
        else program = fs::resolve(fs::join(options_.programsFolder, "Tolvern"));
        if (!program) throw Error(errnum::FileNotFound, "プログラム Tolvern が見つかりません");
        SpawnOptions o;
        o.workingFolder = fs::programFolder();
        o.newSession = true;  // the server outlives this window and its terminal
        // ...and does not write into them: what it says on its way out (a
        // start without its folders) stays in the log folder.
        std::string logFolder;
        FolderPathInfo().getFolderPath("log", logFolder);
        o.outputFile = (logFolder.empty() || !fs::folderExists(logFolder) ? fs::programFolder() : logFolder) + kServerOutput;
        StartReportReader report;
        report.prepare(o);
        lngServerProcess = Process::start(*program, {}, o);
        report.started();
        if (!awaitStartUp(report)) return false;
    } catch (const Error& e) {
        startFailure_ = e.description();
        logError(e);
        return false;
    }
    view_.setEndTimer(options_.endInterval);
    return true;
}

bool FrmMainWin::awaitStartUp(StartReportReader& report) {
    // A supervisor that cannot start ends at once, and one that started has
    // its helper, schedules and lines running: the window says which only
    // once it knows, delivering window events meanwhile.
    const auto deadline = std::chrono::steady_clock::now() + realStartBound(options_.startWaitBound);
    StartReportReader::State state = StartReportReader::State::Waiting;
    while (state == StartReportReader::State::Waiting) {
        state = report.waitFor(options_.stopPollInterval);
        if (state != StartReportReader::State::Waiting) break;
        if (std::chrono::steady_clock::now() >= deadline || !view_.pumpEvents(Ms(0))) return true;
    }
    if (state == StartReportReader::State::Up) return true;
    // It brings down in order what it had started, then ends: the window
    // shows the failure once it has, so that a new start finds none running.
    const auto ending = std::chrono::steady_clock::now() + realBound(options_.stopWaitBound);
    while (!serverEnded() && std::chrono::steady_clock::now() < ending && view_.pumpEvents(options_.stopPollInterval)) {
    }
    const std::optional<int> code = lngServerProcess.exitCode();
    std::string why = state == StartReportReader::State::Failed && !report.description().empty()
                          ? report.description()
                          : std::string("ＦＡＸサーバーは起動を報告せずに終了しました。");
    startFailure_ = why;
    logError(Error(supervisor_errors::StartFailed,
                   "ＦＡＸサーバーが起動できませんでした (終了コード " + (code ? std::to_string(*code) : std::string("不明")) +
                       "): " + why,
                   kTitle));
    return false;
}

FrmMainWin::StopResult FrmMainWin::requestServerEnd() {
    view_.setEndTimer(Ms(0));
    const std::string folder = fs::programFolder();
    if (!fs::folderExists(folder)) {
        messageSink().show("フォルダー情報ファイル[folder.xml]が指定位置に見つかりません\r又は内容が不正です。",
                           msgbox::OKOnly, kTitle);
        return StopResult::Failed;
    }
    EndControlFile end;
    if (!end.read().loaded) {
        messageSink().show("起動･終了ファイル[End.xml]が指定位置に見つかりません\r又は内容が不正です。", msgbox::OKOnly,
                           kTitle);
        return StopResult::Failed;
    }
    try {
        end.set({{EndControlFile::kEndRequest, "1"}});
    } catch (const Error& e) {
        messageSink().show(e.description(), msgbox::OKOnly, kTitle);
        return StopResult::Failed;
    }
    // The supervisor reads End.xml on its own schedule and then shuts down
    // in order; wait for its end, but not for ever.
    return waitForShutdown([this] { return serverEnded(); }) ? StopResult::Stopped : StopResult::StillRunning;
}

bool FrmMainWin::waitForShutdown(const std::function<bool()>& ended) {
    // The bound is one on another process's shutdown, which a loaded machine
    // slows down: a scaled clock does not shrink it below half a minute.
    const auto bound = std::max<std::chrono::nanoseconds>(
        realBound(options_.stopWaitBound), std::min<std::chrono::nanoseconds>(options_.stopWaitBound, std::chrono::seconds(30)));
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
        if (ended()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        if (!view_.pumpEvents(options_.stopPollInterval)) return false;
    }
}

bool FrmMainWin::awaitStopEnd() {
    view_.setEndTimer(Ms(0));
    // The stop is over once its supervisor has let go of its lock, or once
    // a start (of another window, say) has withdrawn the request.
    const bool over = waitForShutdown([] {
        if (!SupervisorLock::supervisorRunning()) return true;
        const EndControlFile::Reading end = EndControlFile().read();
        return end.loaded && end.value != 1;
    });
    if (!over) {
        view_.setEndTimer(options_.endInterval);
        return false;
    }
    showLockHolder(false);
    return true;
}

bool FrmMainWin::serverEnded() {
    // The process this window started, or else the lock of whichever
    // supervisor runs on this program folder.
    return lngServerProcess.valid() ? !lngServerProcess.running() : !SupervisorLock::supervisorRunning();
}

void FrmMainWin::trmEnd_Timer() {
    view_.setEndTimer(Ms(0));
    if (!serverEnded()) {
        view_.setEndTimer(options_.endInterval);
        return;
    }
    if (SupervisorLock::supervisorRunning()) {
        // Ours has ended but another supervisor runs: it is not ours to stop.
        lngServerProcess = Process();
        setStatus(kStatusRunning);
        setCaption(kStop);
        view_.setEndTimer(options_.endInterval);
        return;
    }
    requestServerEnd();
    setStatus(kStatusStopped);
    setCaption(kStart);
}

}  // namespace fg
