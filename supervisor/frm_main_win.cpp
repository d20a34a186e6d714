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

#include <utility>
#include <vector>

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
    view_.setEndTimer(options_.endInterval);
    return true;
}

void FrmMainWin::showLockHolder(bool stopping) {
    if (SupervisorLock::supervisorRunning()) {
        setStatus(stopping ? kStatusStopping : kStatusRunning);
        setCaption(kStop);
    } else {
        setStatus(kStatusStopped);
        setCaption(kStart);
    }
}

void FrmMainWin::cmdStartEnd_Click() {
    clicking_ = true;
    view_.setButtonEnabled(false);
    if (caption_ != kStop) {
        setStatus(kStatusStarting);
        switch (startServer()) {
        case StartResult::Up:
            setStatus(kStatusRunning);
            setCaption(kStop);
            break;
        case StartResult::StillStarting:
            // It runs but has not said that it is up: the button can ask
            // its stop, and the ticks show what becomes of it.
            setCaption(kStop);
            break;
        case StartResult::Failed:
            setStatus(kStatusStartFailed);
            break;
        case StartResult::Withdrawn:
            setStatus(kStatusStopped);
            break;
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
            // shutdown: keep saying so; the ticks notice its end.
            break;
        case StopResult::Failed:
            // No request reached the supervisor: it still runs.
            setStatus(kStatusRunning);
            break;
        }
    }
    view_.setEndTimer(options_.endInterval);
    view_.setButtonEnabled(true);
    clicking_ = false;
}

FrmMainWin::StartResult FrmMainWin::startServer() {
    startFailure_.clear();
    const auto awaited = std::exchange(stopAskedAt_, std::nullopt);
    if (SupervisorLock::supervisorRunning()) {
        startFailure_ = "ＦＡＸサーバーは既に起動しています: " + fs::programFolder();
        logError(Error(supervisor_errors::AlreadyRunning, startFailure_));
        return StartResult::Failed;
    }
    try {
        // An old request must not stop the new supervisor; but a stop asked
        // while this start waited for the one before is the later request,
        // and wins.
        const std::vector<std::pair<std::string, std::string>> reset{{EndControlFile::kEndRequest, "0"},
                                                                     {EndControlFile::kTelephonyErrReq, "0"}};
        EndControlFile end;
        if (!awaited || !end.setIfUnchanged(reset, *awaited)) {
            if (awaited && end.read().value == 1) {
                laterStopWon_ = true;
                return StartResult::Withdrawn;
            }
            end.set(reset);
        }
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
        return awaitStartUp(report);
    } catch (const Error& e) {
        startFailure_ = e.description();
        logError(e);
        return StartResult::Failed;
    }
}

FrmMainWin::StartResult FrmMainWin::awaitStartUp(StartReportReader& report) {
    // A supervisor that cannot start ends at once, and one that started has
    // its helper, schedules and lines running: the window says which only
    // once it knows, delivering window events meanwhile.
    const auto deadline = std::chrono::steady_clock::now() + realStartBound(options_.startWaitBound);
    StartReportReader::State state = StartReportReader::State::Waiting;
    while (state == StartReportReader::State::Waiting) {
        state = report.waitFor(options_.stopPollInterval);
        if (state != StartReportReader::State::Waiting) break;
        // Past the bound it is still starting, not up: only its own report
        // says that it runs.
        if (std::chrono::steady_clock::now() >= deadline || !view_.pumpEvents(Ms(0))) return StartResult::StillStarting;
    }
    if (state == StartReportReader::State::Up) return StartResult::Up;
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
    return StartResult::Failed;
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
    laterStopWon_ = false;
    // A stop asked while this waits saves End.xml anew.
    const std::optional<fs::FileStamp> asked = EndControlFile().stamp();
    // The stop is over once its supervisor has let go of its lock, or once
    // a start (of another window, say) has withdrawn the request.
    const bool over = waitForShutdown([] {
        if (!SupervisorLock::supervisorRunning()) return true;
        const EndControlFile::Reading end = EndControlFile().read();
        return end.loaded && end.value != 1;
    });
    view_.setEndTimer(options_.endInterval);
    if (!over) return false;
    stopAskedAt_ = asked;
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
    // The button's own wait shows its outcome when it ends.
    if (!clicking_) showProgramFolder();
    view_.setEndTimer(options_.endInterval);
}

void FrmMainWin::showProgramFolder() {
    // Ours has ended: from now on the lock tells of whichever runs.
    if (lngServerProcess.valid() && !lngServerProcess.running()) lngServerProcess = Process();
    const char* status = kStatusStopped;
    const char* caption = kStart;
    if (SupervisorLock::supervisorRunning()) {
        const EndControlFile::Reading end = EndControlFile().read();
        status = end.loaded && end.value == 1 ? kStatusStopping : kStatusRunning;
        caption = kStop;
        startFailure_.clear();
    } else if (status_ == kStatusStartFailed) {
        return;  // shown until a supervisor runs
    }
    if (status_ != status) setStatus(status);
    if (caption_ != caption) setCaption(caption);
}

}  // namespace fg
