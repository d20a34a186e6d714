#include "supervisor/frm_main_ctrl.h"

#include "supervisor/end_control_file.h"
#include "supervisor/supervisor_lock.h"

#include "documents/quillary/catalogue.h"
#include "documents/quillary/fax_tran_xml.h"
#include "documents/quillary/owed_receipts.h"
#include "documents/quillary/receipt_confirmation.h"
#include "edi_control/castrel/catalogue.h"
#include "fax_send/morvane/errors.h"
#include "fax_send/morvane/fax_send.h"
#include "fax_send/morvane/send_handover.h"
#include "fax_send/morvane/send_records.h"
#include "platform/clock.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"
#include "platform/process/run_marker.h"
#include "platform/process/start_report.h"
#include "platform/text.h"
#include "platform/values.h"
#include "platform/wait_bounds.h"
#include "settings/fax_manage_num.h"
#include "settings/modem_info.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace fg {

namespace errs = supervisor_errors;

namespace {

// A state answer of an outside object: Empty and 0 mean stopped. Anything
// that is no number is as good as a failed call.
bool stateIsStopped(const std::string& state) {
    if (state.empty()) return true;
    return toDouble(state) == 0.0;
}

bool resultIsOne(const std::string& result) { return isNumeric(result) && toDouble(result) == 1.0; }

// Where the supervisor notes the helper's process id for the supervisor
// that comes after it, should it end without stopping its helper.
std::string helperRecord() { return fs::programFolder() + ".pgpwin32.pid"; }

// At start-up no program of this server runs yet, so what the last run's
// programs left half done goes before anything new starts: the temporary
// files and folders of writers that ended, anywhere in the home, the
// message files of a fetch that never finished (its documents were handed
// over already, or the EDI server offers them again, unconfirmed), and the
// confirmation lists of batches that were killed. Confirmed by the next
// batch, such a list would lose its archives for good: had its batch
// written what it owes, OwedReceipts.txt carries it; had it not, the
// archives must come again. A live run marker (a telephone job that
// outlived its server) keeps the messages and the order-balance list.
void clearEndedWork() {
    const std::string home = fs::programFolder();
    fs::removeTemporariesOfEndedWriters(home);
    const std::vector<RunMarker::Found> markers = RunMarker::find(home);
    const bool jobLives = std::any_of(markers.begin(), markers.end(), [](const RunMarker::Found& m) { return m.live; });
    std::string messages;
    FolderPathInfo().getFolderPath("TempEDI", messages);
    if (!messages.empty() && !jobLives)
        for (const std::string& name : fs::list(messages)) (void)fs::removeFile(messages + name);
    // Whatever fails here, the take-over that follows still runs.
    try {
        std::string request;
        FolderPathInfo().getFolderPath(documents::folders::kRequest, request);
        if (request.empty()) return;
        std::vector<const char*> lists{castrel::kConfirmList};
        if (!jobLives) lists.push_back(castrel::kOrderConfirmList);
        for (const char* list : lists)
            if (documents::discardList(request, list))
                writeDebugLine(FrmMainCtrl::kSource, std::string("前回の実行が残した受信確認ファイルを破棄しました: ") + request + list);
    } catch (...) {
        logCurrentError(FrmMainCtrl::kSource);
    }
}

}  // namespace

FrmMainCtrl::FrmMainCtrl(EventPump& pump, SupervisorOptions options)
    : tmrWatch(pump, [this] { tmrWatch_Timer(); }),
      tmrDestroy(pump, [this] { tmrDestroy_Timer(); }),
      tmrTakeOver(pump,
                  [this] {
                      takeOverLeftSends(false);
                      settleOwedReceipts(false);
                  }),
      pump_(pump),
      options_(std::move(options)) {}

FrmMainCtrl::~FrmMainCtrl() {
    if (helperWatch_) pump_.unwatch(helperWatch_);
}

void FrmMainCtrl::log(long number, const std::string& description) {
    ErrorLogWriter().writeError(kSource, Error(number, description, kSource));
}

int FrmMainCtrl::run() {
    // Taken before any program is started: none of them may hold it open.
    StartReportWriter report = StartReportWriter::fromEnvironment();
    if (!acquireLock()) {
        report.failed(startFailure_);
        return 3;
    }
    tmrWatch.setInterval(options_.watchInterval);
    if (!Form_Load()) {
        report.failed(startFailure_);
        return 2;
    }
    if (failed_ || ended_)
        report.failed(startFailure_.empty() ? "ＦＡＸサーバーは起動処理の間に終了を始めました。" : startFailure_);
    else
        report.up();
    while (!ended_) (void)pump_.waitFor(Ms(3600000));
    return exitCode();
}

bool FrmMainCtrl::acquireLock() {
    try {
        lock_ = SupervisorLock::acquire();
    } catch (const Error& e) {
        log(e.number(), e.description());
        std::fprintf(stderr, "tolvern: %s\n", e.description().c_str());
        startFailure_ = e.description();
        return false;
    }
    if (lock_->held()) return true;
    const std::string text = "ＦＡＸサーバーは既に起動しています: " + fs::programFolder();
    startFailure_ = text;
    log(errs::AlreadyRunning, text);
    std::fprintf(stderr, "tolvern: %s\n", text.c_str());
    return false;
}

bool FrmMainCtrl::Form_Load() {
    std::string runTime;
    try {
        runTime = FolderPathInfo().getFolderPath("RunTime");
    } catch (const Error& e) {
        // Without its folders the supervisor cannot even log reliably; it
        // ends at once, and says why where a person starting it will look.
        startFailure_ = "RunTime フォルダが分かりません: " + e.description();
        std::fprintf(stderr, "tolvern: %s\n", startFailure_.c_str());
        ended_ = true;
        failed_ = true;
        return false;
    }
    // What the last run handed over and never sent goes out before anything
    // new is fetched.
    takeOverLeftSends(true);
    settleOwedReceipts(true);
    // A stop asked while it settled: nothing more starts.
    if (shuttingDown_) return true;
    tmrTakeOver.setInterval(options_.takeOverInterval);
    try {
        startHelper(runTime);

        eventMakerErr = std::make_unique<MakerInfoScheduler>(pump_, options_.programsFolder,
                                                             errorHandler("メーカー情報スケジュール"));
        blnMakerActive = true;
        if (resultIsOne(eventMakerErr->startSchedule()))
            throw Error(errs::MakerScheduleFailed, "メーカー情報スケジュールを開始できませんでした。", kSource);

        eventEDIErr = std::make_unique<EdiDataScheduler>(pump_, options_.programsFolder,
                                                         errorHandler("EDIデータスケジュール"));
        blnEdiActive = true;
        if (resultIsOne(eventEDIErr->startSchedule()))
            throw Error(errs::EdiScheduleFailed, "EDIデータスケジュールを開始できませんでした。", kSource);

        std::string reason;
        if (!startReceiveLines(reason))
            throw Error(errs::ReceiveLinesFailed, "ＦＡＸ受信回線を開始できませんでした。" + reason, kSource);

        strAppPath = fs::programFolder();
        MfRemote1Member30();
    } catch (...) {
        // Whatever failed, what has started is brought down in order.
        startFailure_ = logCurrentError(kSource).description();
        failed_ = true;
        beginShutdown();
    }
    return true;
}

void FrmMainCtrl::startHelper(const std::string& runTimeFolder) {
    auto program = fs::resolve(runTimeFolder + kHelperProgram);
    if (!program)
        throw Error(errnum::FileNotFound, std::string(kHelperProgram) + " が見つかりません: " + runTimeFolder, kSource);
    endLeftoverHelper(*program);
    SpawnOptions o;
    o.workingFolder = runTimeFolder;
    o.ownProcessGroup = true;
    o.endWithParent = true;
    lngPgpProcess = Process::start(*program, {}, o);
    // Set only once it really runs: the shutdown must not count on a helper
    // that never started.
    blnPgpActive = true;
    try {
        fs::writeFileAtomic(helperRecord(), std::to_string(lngPgpProcess.pid()) + "\n");
    } catch (const Error& e) {
        log(e.number(), "PGPWIN32 のプロセス番号を記録できません: " + e.description());
    }
    if (lngPgpProcess.descriptor() >= 0)
        helperWatch_ = pump_.watch(lngPgpProcess.descriptor(), [this] { onHelperEnded(); });
}

void FrmMainCtrl::endLeftoverHelper(const std::string& program) {
    // This supervisor holds the program folder's lock, so the supervisor that
    // noted this helper has ended; a helper that survived it (one that does
    // not end on SIGTERM) would otherwise run twice from now on.
    std::string noted;
    try {
        if (!fs::fileExists(helperRecord())) return;
        noted = fs::readFile(helperRecord());
    } catch (const Error&) {
        return;
    }
    pid_t pid = 0;
    std::from_chars(noted.data(), noted.data() + noted.size(), pid);
    if (endLeftoverProcess(pid, program, options_.helperGrace))
        log(errs::LeftoverHelper, "前回の ＦＡＸサーバーが残した " + std::string(kHelperProgram) + " (プロセス " +
                                      std::to_string(pid) + ") を終了しました。");
    (void)fs::removeFile(helperRecord());
}

void FrmMainCtrl::onHelperEnded() {
    if (lngPgpProcess.running()) return;
    pump_.unwatch(helperWatch_);
    helperWatch_ = 0;
    auto code = lngPgpProcess.exitCode();
    log(errs::HelperEnded, std::string(kHelperProgram) + " が終了しました (終了コード " +
                               std::to_string(code.value_or(-1)) + ")。");
}

OutsideObject::ErrorHandler FrmMainCtrl::errorHandler(const std::string& who) {
    return [this, who](const std::string& event, const std::string& detail) {
        beginShutdown(who + " からエラーイベント " + event + " を受けました。" + (detail.empty() ? "" : " " + detail));
    };
}

bool FrmMainCtrl::startReceiveLines(std::string& reason) {
    bool result = true;
    std::vector<ModemLine> lines;
    try {
        ModemInfo modems;
        if (!modems.getModemLines(lines)) {
            result = false;
            reason = " モデム情報を読めません。";
        }
        for (int port = 1; port <= kModemLineCount; ++port) blnLineActive[static_cast<std::size_t>(port)] = false;
        for (std::size_t i = 0; i < kModemLineCount; ++i) {
            if (i >= lines.size())
                throw Error(errnum::SubscriptOutOfRange,
                            "モデム情報が " + std::to_string(lines.size()) + " 件しかありません (" +
                                std::to_string(kModemLineCount) + " 件必要)。");
            const ModemLine& line = lines[i];
            if (!line.complete)
                throw Error(errnum::SubscriptOutOfRange, "モデム情報 " + std::to_string(i + 1) + " 件目の項目が足りません。");
            if (!line.receives()) continue;  // send lines and unused records
            int port = toInt16(line.port);
            if (port < 0 || port > kModemLineCount)
                throw Error(errnum::SubscriptOutOfRange, "受信回線のポート番号が範囲外です: " + line.port);
            auto slot = static_cast<std::size_t>(port);
            if (blnLineActive[slot]) {
                reason = " 受信回線のポート番号 " + std::to_string(port) + " が重複しています。";
                return false;
            }
            blnLineActive[slot] = true;
            if (port >= 1)
                eventReciveErr[slot] = std::make_unique<FaxReceptionLine>(
                    pump_, options_.programsFolder, port, errorHandler("受信回線 " + std::to_string(port)));
            clock().sleepFor(options_.linePause);
        }
    } catch (const Error& e) {
        reason = " " + e.description();
        return false;
    }
    return result;
}

void FrmMainCtrl::tmrWatch_Timer() {
    auto reading = EndControlFile().read();
    if (reading.badText != lastBadEndValue_) {
        lastBadEndValue_ = reading.badText;
        if (!reading.badText.empty())
            log(errs::BadEndValue, "起動･終了ファイル[End.xml]の値が数値ではありません (要求なしとします): " +
                                       reading.badText);
    }
    if (reading.value == 1) beginShutdown({}, false);
}

void FrmMainCtrl::requestStop(const std::string& why) {
    ErrorLogWriter().writeError(kSource, 0, "停止の要求を受けました: " + why);
    beginShutdown({}, false);
}

void FrmMainCtrl::beginShutdown(const std::string& reason, bool failure) {
    if (ended_) return;
    if (failure) failed_ = true;
    if (!reason.empty()) log(errs::ErrorEvent, reason);
    shuttingDown_ = true;
    tmrWatch.setInterval(Ms(0));
    if (stopAll()) {
        endProcess();
        return;
    }
    tmrDestroy.setInterval(options_.destroyInterval);
}

void FrmMainCtrl::tmrDestroy_Timer() {
    if (ended_) return;
    if (stopAll()) endProcess();
}

void FrmMainCtrl::takeOverLeftSends(bool atStart) {
    try {
        // Before the take-over starts senders of this run.
        if (atStart) clearEndedWork();
        std::vector<std::string> left, notYet;
        for (const auto& h : RunMarker::findHandOvers(fs::programFolder())) {
            if (h.live) continue;
            left.push_back(h.fileName);
            if (!atStart && std::find(leftSeen_.begin(), leftSeen_.end(), h.fileName) == leftSeen_.end())
                notYet.push_back(h.fileName);
        }
        leftSeen_ = left;
        if (left.size() > notYet.size()) {
            std::size_t handed = FaxSend::takeOverLeft(pump_, 0, notYet);
            log(errs::SendsTakenOver, "終了したＦＡＸ送信サーバの送信を引き継ぎました (" + std::to_string(left.size() - notYet.size()) +
                                          " 件、再送信 " + std::to_string(handed) + " 通)。");
        }
        // At start-up no sender of this server runs yet: markers and send
        // copies of those that ended go too.
        if (atStart) send_handover::TakeOver::clearEndedSenders();
        // A sender killed as it made or removed its marker left a lock
        // that guards nothing.
        RunMarker::removeStrayLocks(fs::programFolder());
    } catch (...) {
        logCurrentError(kSource);
    }
    clearAbandonedDocuments();
}

void FrmMainCtrl::clearAbandonedDocuments() {
    try {
        const auto cleared = documents::clearAbandonedNumbers(send_handover::numbersHeld);
        if (!cleared.unrecorded.empty())
            log(errs::AbandonedDocuments, "記録を保存する前に終了したバッチの帳票を削除しました。アーカイブは受信確認していないため再び届きます: " +
                                              text::join(cleared.unrecorded, ','));
        if (!cleared.recorded.empty())
            log(errs::AbandonedDocuments, "送信を引き渡す前に終了したジョブの帳票を、送信されていないため記録とともに削除しました: " +
                                              text::join(cleared.recorded, ','));
    } catch (...) {
        logCurrentError(kSource);
    }
}

FrmMainCtrl::LeftGroup FrmMainCtrl::handOverLeftGroup(const std::vector<std::string>& numbers) {
    try {
        auto send = std::make_unique<FaxSend>(pump_);
        FaxSend* raw = send.get();
        send->setEventSendFaxEnd([this, raw] {
            pump_.post([this, raw] {
                auto it = std::find_if(resumed_.begin(), resumed_.end(), [raw](const auto& s) { return s.get() == raw; });
                if (it != resumed_.end()) resumed_.erase(it);
            });
        });
        if (send->sendFAX(numbers)) {
            resumed_.push_back(std::move(send));
            return LeftGroup::HandedOver;
        }
    } catch (...) {
        logCurrentError(kSource);
    }
    // Recorded "NG", a number is settled; one whose record cannot be
    // written (a full disk) keeps its group owed, for the next round.
    bool recorded = true;
    for (const std::string& n : numbers) {
        log(send_errors::SendFailed, "帳票管理番号：" + n + "　終了したバッチの送信を始められません。");
        if (!send_records::recordUnsent(n, send_errors::SendFailed)) recorded = false;
    }
    if (recorded) return LeftGroup::RecordedNg;
    log(errs::ReceiptsOwed, "送信できず記録もできない帳票の組を、受信確認の記録に残します: " + text::join(numbers, ','));
    return LeftGroup::Owed;
}

bool FrmMainCtrl::handOverLeftBatch(const documents::OwedReceipts::Left& batch, const std::vector<std::string>& held) {
    if (batch.groups.empty()) return true;
    // A store that cannot be read tells nothing of what the batch stored:
    // the batch waits for the next round.
    std::vector<std::string> storedNumbers;
    if (!FaxManageNum().getManageNumbers(storedNumbers)) {
        log(errs::ReceiptsOwed, "帳票管理番号ファイルを読めないため、終了したバッチの残りを次の巡回で処理します: " + batch.batch);
        return false;
    }
    std::sort(storedNumbers.begin(), storedNumbers.end());
    std::vector<std::vector<std::string>> toSend;
    bool stored = false;
    for (const auto& group : batch.groups) {
        std::vector<std::string> numbers;
        for (const std::string& n : group) {
            if (!std::binary_search(storedNumbers.begin(), storedNumbers.end(), n)) continue;
            stored = true;
            if (std::find(held.begin(), held.end(), n) == held.end() && !send_records::hasSendRecord(n))
                numbers.push_back(n);
        }
        toSend.push_back(std::move(numbers));
    }
    if (!stored) {
        // It died before its records were stored: nothing of it lasts, and
        // the EDI server offers its archives again.
        log(errs::ReceiptsOwed, "記録を保存する前に終了したバッチです。受信を確認せず、アーカイブの再取得を待ちます: " +
                                    batch.batch);
        documents::OwedReceipts::forget(batch.batch);
        return false;
    }
    std::size_t handed = 0, recordedNg = 0, owed = 0;
    for (std::size_t g = 0; g < toSend.size(); ++g) {
        const LeftGroup became = toSend[g].empty() ? LeftGroup::HandedOver : handOverLeftGroup(toSend[g]);
        (became == LeftGroup::HandedOver ? handed : became == LeftGroup::RecordedNg ? recordedNg : owed) +=
            toSend[g].size();
        if (became != LeftGroup::Owed) documents::OwedReceipts::handedOver(batch.batch, batch.groups[g]);
    }
    log(errs::ReceiptsOwed, "送信を渡し終えずに終了したバッチの残りを処理しました (送信 " + std::to_string(handed) +
                                " 通、送信できず記録 " + std::to_string(recordedNg) + " 通、記録もできず残す " +
                                std::to_string(owed) + " 通): " + batch.batch);
    return owed == 0;
}

bool FrmMainCtrl::stopAskedMeanwhile() {
    (void)pump_.pumpOnce();
    if (!shuttingDown_) tmrWatch_Timer();
    return shuttingDown_ || ended_;
}

void FrmMainCtrl::settleOwedReceipts(bool atStart) {
    using documents::OwedReceipts;
    // Its exchanges pump between them: a round due meanwhile is not begun.
    if (settling_) return;
    settling_ = true;
    try {
        std::vector<OwedReceipts::Left> left = OwedReceipts::left();
        // On a round, only batches with groups still to hand over: one whose
        // receipts alone are owed is confirmed by the fetch when the EDI
        // server offers them again, not tried (and logged) once a round.
        if (!atStart)
            left.erase(std::remove_if(left.begin(), left.end(),
                                      [](const OwedReceipts::Left& batch) { return batch.groups.empty(); }),
                       left.end());
        if (!left.empty()) {
            if (leftReadForTest) leftReadForTest();
            settleLeft(left);
        }
    } catch (...) {
        logCurrentError(kSource);
    }
    settling_ = false;
}

void FrmMainCtrl::settleLeft(const std::vector<documents::OwedReceipts::Left>& left) {
    // Taken over just now or still sending: their servers have them.
    const std::vector<std::string> held = send_handover::numbersHeld();
    const documents::ServerSettings settings = documents::ServerSettings::read();
    std::vector<std::string> confirmed, waiting;
    for (const documents::OwedReceipts::Left& batch : left) {
        // Every group in a server's hands or recorded: the receipts go, each
        // paid under its fetch's lock while still owed. A folder in use is an
        // exchange under way, not waited for: its fetch pays what it meets
        // owed. After a failure, or once a stop is asked, the rest wait for
        // the EDI server to offer them again; a batch met once a stop is
        // asked keeps its groups for the next start.
        if (shuttingDown_) break;
        if (!handOverLeftBatch(batch, held)) continue;
        for (const documents::Receipt& receipt : documents::receiptsOf(batch.archives)) {
            if (!waiting.empty() || stopAskedMeanwhile()) {
                waiting.insert(waiting.end(), receipt.names.begin(), receipt.names.end());
                continue;
            }
            documents::Confirmation done;
            try {
                done = documents::payReceipt(receipt, settings, {{}, false, true});
            } catch (...) {
                done = {documents::Confirmation::Outcome::NotPacked, currentError().description()};
            }
            if (done) confirmed.insert(confirmed.end(), receipt.names.begin(), receipt.names.end());
            if (done || done.outcome == documents::Confirmation::Outcome::NotOwed) continue;
            log(errs::ReceiptsOwed, "受信確認が済んでいないアーカイブの受信を確認できません: " +
                                        text::join(receipt.names, ',') + " " + done.detail);
            waiting.insert(waiting.end(), receipt.names.begin(), receipt.names.end());
        }
    }
    if (!confirmed.empty())
        log(errs::ReceiptsOwed, "前回受信確認が済んでいなかったアーカイブの受信を確認しました: " + text::join(confirmed, ','));
    if (!waiting.empty())
        log(errs::ReceiptsOwed, "受信確認が済んでいないアーカイブは、再び届いたときに確認します: " + text::join(waiting, ','));
}

void FrmMainCtrl::endProcess() {
    tmrTakeOver.setInterval(Ms(0));
    tmrDestroy.setInterval(Ms(0));
    tmrWatch.setInterval(Ms(0));
    // What a program ended in the middle of its work left (a schedule ended
    // after the stop bound in an exchange) goes now, not at the next start.
    try {
        fs::removeTemporariesOfEndedWriters(fs::programFolder());
    } catch (...) {
        logCurrentError(kSource);
    }
    ended_ = true;
    pump_.quit();
}

bool FrmMainCtrl::stopBoundPassed(const std::string& key) {
    Ms now = clock().elapsed();
    auto [it, inserted] = firstAsked_.try_emplace(key, now);
    return !inserted && now - it->second >= options_.stopBound;
}

bool FrmMainCtrl::stopAll() {
    bool result = true;

    // Run markers: a fax send or a telephone call is under way.
    bool hold = false;
    std::string holders;
    try {
        for (const auto& m : RunMarker::find(fs::programFolder())) {
            if (m.live) {
                hold = true;
                holders += " " + m.fileName;
            } else if (staleLogged_.insert(m.fileName).second) {
                log(errs::StaleRunMarker, "実行中ファイル " + m.fileName + " の作成元は既に終了しています。無視します。");
            }
        }
    } catch (const Error& e) {
        hold = true;  // a folder that cannot be listed may hold a marker
        holders = " (" + e.description() + ")";
    }
    if (hold) {
        Ms now = clock().elapsed();
        if (!markerHoldSince_) markerHoldSince_ = now;
        if (now - *markerHoldSince_ < options_.markerBound) return false;
        if (!markerBoundLogged_) {
            markerBoundLogged_ = true;
            log(errs::RunMarkerBound, "実行中ファイルが " + secondsText(options_.markerBound) +
                                          "を過ぎても残っています。終了処理を続けます:" + holders);
        }
    } else {
        markerHoldSince_.reset();
    }

    // The helper.
    if (blnPgpActive) {
        if (helperWatch_) pump_.unwatch(helperWatch_);
        helperWatch_ = 0;
        if (lngPgpProcess.running()) (void)lngPgpProcess.terminate(options_.helperGrace);
        blnPgpActive = false;
        (void)fs::removeFile(helperRecord());
    }

    // The schedules are never told to stop: they are let go once idle.
    auto stopSchedule = [&](auto& object, bool& active, const char* key, const char* name) {
        if (!active) return;
        bool stopped = true;
        try {
            if (!object->alive() || stateIsStopped(object->getRunState())) stopped = true;
            else stopped = false;
        } catch (const Error&) {
            stopped = true;  // an object that cannot answer is let go
        }
        if (!stopped) {
            if (!stopBoundPassed(key)) {
                result = false;
                return;
            }
            log(errs::ObjectDidNotStop, std::string(name) + " が " + secondsText(options_.stopBound) +
                                            "以内に停止しませんでした。強制終了します。");
            object->terminate();
        }
        object.reset();
        active = false;
    };
    stopSchedule(eventMakerErr, blnMakerActive, "maker", "メーカー情報スケジュール");
    stopSchedule(eventEDIErr, blnEdiActive, "edi", "EDIデータスケジュール");

    if (!stopReceiveLines()) result = false;
    return result;
}

bool FrmMainCtrl::stopReceiveLines() {
    for (int port = 1; port <= kModemLineCount; ++port) {
        auto slot = static_cast<std::size_t>(port);
        if (!blnLineActive[slot]) continue;
        auto& line = eventReciveErr[slot];
        const std::string key = "line" + std::to_string(port);
        auto letGo = [&] {
            line.reset();
            blnLineActive[slot] = false;
        };
        if (!line || !line->alive()) {
            letGo();  // a line whose program has ended is down
            continue;
        }
        bool failed = false;
        try {
            if (stateIsStopped(line->getLineState())) {
                letGo();
                continue;
            }
            line->stopLine(true);
        } catch (const Error&) {
            if (!line->alive()) {
                letGo();
                continue;
            }
            failed = true;
        }
        if (stopBoundPassed(key)) {
            log(errs::ObjectDidNotStop, "受信回線 " + std::to_string(port) + " が " + secondsText(options_.stopBound) +
                                            "以内に停止しませんでした。強制終了します。");
            line->terminate();
            letGo();
            continue;
        }
        // A call that failed ends this pass of the lines; the ones after it
        // are visited on the next pass.
        if (failed) break;
    }
    for (int port = 1; port <= kModemLineCount; ++port)
        if (blnLineActive[static_cast<std::size_t>(port)]) return false;
    return true;
}

}  // namespace fg
