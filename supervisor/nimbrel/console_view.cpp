#include "supervisor/nimbrel/console_view.h"

#include "platform/message_sink.h"

#include <cstdio>
#include <memory>

namespace fg {

int runCommand(const std::string& command) {
    setMessageSink(std::make_shared<ConsoleMessageSink>());
    ConsoleView view;
    FrmMainWin window(view);
    if (!window.Form_Load()) return 1;
    bool running = window.buttonCaption() == FrmMainWin::kStop;
    int code = 0;
    if (command == "start") {
        if (window.status() == FrmMainWin::kStatusStopping) {
            // Nothing started now would run once the stop ends: the start
            // waits for that end, as a stop waits for it.
            std::fprintf(stderr, "nimbrel: ＦＡＸサーバーの終了処理中です。終了を待ってから起動します。\n");
            if (!window.awaitStopEnd())
                std::fprintf(stderr, "nimbrel: ＦＡＸサーバーの終了処理が終わらないため、起動していません。\n");
            running = window.buttonCaption() == FrmMainWin::kStop;
        }
        if (!running) window.cmdStartEnd_Click();
        // Success is a server that said it is up, not one still shutting
        // down or still starting.
        code = window.buttonCaption() == FrmMainWin::kStop && window.status() == FrmMainWin::kStatusRunning ? 0 : 1;
        if (window.laterStopWon())
            std::fprintf(stderr, "nimbrel: 終了を待つ間に改めて停止が求められたため、起動していません。\n");
        if (window.status() == FrmMainWin::kStatusStarting) {
            std::fprintf(stderr, "nimbrel: ＦＡＸサーバーは起動を続けていますが、待ち時間内に起動を報告しませんでした"
                                 " (nimbrel status で確かめてください)。\n");
            code = kStillStarting;
        }
    } else if (command == "stop") {
        if (running) window.cmdStartEnd_Click();
        code = window.buttonCaption() == FrmMainWin::kStart ? 0 : 1;
    }
    std::printf("%s\n", window.status().c_str());
    if (code != 0 && !window.startFailure().empty()) std::fprintf(stderr, "nimbrel: %s\n", window.startFailure().c_str());
    return code;
}

}  // namespace fg
