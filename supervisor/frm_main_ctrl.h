// The supervisor (frmMainCtrl): starts the helper program of the RunTime
// folder, the maker-information and EDI-data schedules and one reception
// line per receive modem port, watches End.xml and the objects' error events,
// and shuts everything down in order.
//
// One thread over an event pump: start-up, the timers and the events run on
// it one at a time. Every timer runs on the platform clock.
//
// Beyond the bare order of start and shutdown, it keeps the server honest:
// - only one supervisor runs on a program folder (SupervisorLock); a second
//   one logs 40030 and ends at once;
// - a run marker whose writer has gone is logged (40031) and ignored; live
//   markers hold the shutdown for at most markerBound (then 40032);
// - an object that does not report its stopped state within stopBound of
//   being first asked is terminated (40033); a program that died is down;
// - every reason for a shutdown that is not a stop request is logged (40035),
//   and the helper's own end while the server runs as well (40036);
// - its children run in process groups of their own (a Ctrl-C in the
//   terminal reaches the supervisor alone, which then shuts down in order)
//   and end when it ends, even killed; a helper that an earlier supervisor
//   of the program folder left running all the same is ended before the
//   new one starts (40037);
// - End.xml text that is no number is no request, logged once (40034);
// - the sends that fax-send servers were handed and never finished (the
//   whole server killed, a server and its client both gone) are taken over
//   at start-up, before the schedules fetch anything, and on every round of
//   takeOverInterval: sent again by new servers, or recorded "NG" by name
//   (send_handover.h). A hand-over is taken on a round only when the
//   round before found it left too, so that a client whose server just died
//   takes its own over first.
#pragma once

#include "supervisor/errors.h"
#include "supervisor/outside_objects.h"

#include "documents/quillary/owed_receipts.h"

#include "platform/file_lock.h"
#include "platform/process/event_pump.h"
#include "platform/process/process.h"
#include "settings/modem_info.h"

#include <array>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace fg {

class FaxSend;

struct SupervisorOptions {
    using Ms = std::chrono::milliseconds;
    // Where the outside programs lie; "" finds them beside the running
    // program or in the program folder.
    std::string programsFolder;
    Ms watchInterval{50000};    // End.xml watch
    Ms destroyInterval{500};    // shutdown passes
    Ms linePause{2000};         // after each receive line
    Ms helperGrace{5000};       // between SIGTERM and SIGKILL for the helper
    Ms markerBound{3600000};    // live run markers hold the shutdown this long at most
    Ms stopBound{600000};       // an object that still works is ended after this
    Ms takeOverInterval{60000}; // rounds over the sends left by ended fax-send servers
};

class FrmMainCtrl {
public:
    using Ms = std::chrono::milliseconds;
    static constexpr const char* kSource = "Halgrove";
    static constexpr const char* kHelperProgram = "PGPWIN32";

    explicit FrmMainCtrl(EventPump& pump, SupervisorOptions options = {});
    ~FrmMainCtrl();
    FrmMainCtrl(const FrmMainCtrl&) = delete;
    FrmMainCtrl& operator=(const FrmMainCtrl&) = delete;

    // The whole life: the lock, the start-up, then the pump until the
    // shutdown has ended. Answers the exit code: 0 after a stop request,
    // 1 after a failure or error event, 2 without a RunTime folder, 3 when
    // another supervisor runs. A starter that asked for a start report
    // (StartReportWriter) is told once the start-up has ended: up, or the
    // description of the failure that the error log holds.
    int run();

    // The steps, for the program and the tests.
    bool acquireLock();
    // Start-up. False when it ended at once (no RunTime folder).
    bool Form_Load();
    void tmrWatch_Timer();
    // Starts (or repeats) the shutdown. `reason` is logged unless it is a
    // stop request (`failure` false).
    void beginShutdown(const std::string& reason = {}, bool failure = true);
    // A stop request from outside End.xml (a signal).
    void requestStop(const std::string& why);
    bool stopAll();
    bool stopReceiveLines();
    void tmrDestroy_Timer();
    // Takes over the sends left by ended fax-send servers: all of them at
    // start-up, those found left on the round before too on later rounds.
    void takeOverLeftSends(bool atStart);

    // The receipts that batches of ended processes, and batches whose
    // hand-over failed, owe the EDI server (documents/quillary/
    // owed_receipts.h): the groups such a batch had not handed over go to
    // fax-send servers, then its archives are confirmed and its reminders'
    // deletion asked for, once every group is handed over or recorded
    // unsent. At start-up before the first fetch every such batch; on the
    // take-over rounds those with groups still to hand over. What cannot be
    // confirmed now (the server, or a request folder in use by an exchange,
    // which is never waited for) stays owed: the fetch confirms it when the
    // EDI server offers it again. A stop asked meanwhile is taken up as
    // soon as the exchange under way ends.
    void settleOwedReceipts(bool atStart);
    // Called by the settle once it has read the batches left: a test makes
    // the fetch's moves there.
    std::function<void()> leftReadForTest;
    // What batches and jobs that ended before storing their records made
    // under their numbers, and the records of jobs that ended before
    // handing their forms over (documents::clearAbandonedNumbers), named in
    // the log. The batches' archives were not confirmed: the EDI server
    // offers them again.
    void clearAbandonedDocuments();

    bool ended() const { return ended_; }
    bool shuttingDown() const { return shuttingDown_; }
    int exitCode() const { return failed_ ? 1 : 0; }

    // The form's members.
    PumpTimer tmrWatch;
    PumpTimer tmrDestroy;
    PumpTimer tmrTakeOver;
    std::unique_ptr<MakerInfoScheduler> eventMakerErr;
    std::unique_ptr<EdiDataScheduler> eventEDIErr;
    std::array<std::unique_ptr<FaxReceptionLine>, kModemLineCount + 1> eventReciveErr;  // by port; 0 unused
    Process lngPgpProcess;
    bool blnPgpActive = false;
    bool blnMakerActive = false;
    bool blnEdiActive = false;
    std::array<bool, kModemLineCount + 1> blnLineActive{};
    std::string strAppPath;

private:
    // One group of such a batch to a fax-send server of its own: one is
    // started for each left group (the batch's own hand-over would wait for
    // a free port inside this supervisor's event loop). Without one, its
    // numbers are recorded unsent ("NG"); when a record cannot be written
    // the group stays owed.
    enum class LeftGroup { HandedOver, RecordedNg, Owed };
    [[nodiscard]] LeftGroup handOverLeftGroup(const std::vector<std::string>& numbers);
    // The groups of a left batch that no server holds and no record names
    // yet, each to handOverLeftGroup, and the round counted in the log.
    // True when the batch's receipts may go: every group handed over or
    // recorded. A batch that stored no record is forgotten.
    [[nodiscard]] bool handOverLeftBatch(const documents::OwedReceipts::Left& batch,
                                         const std::vector<std::string>& held);
    void settleLeft(const std::vector<documents::OwedReceipts::Left>& left);
    // Between two exchanges of the settle: a stop asked meanwhile (a signal,
    // End.xml) is taken up now. True when the server is stopping.
    [[nodiscard]] bool stopAskedMeanwhile();
    bool startReceiveLines(std::string& reason);
    void startHelper(const std::string& runTimeFolder);
    void endLeftoverHelper(const std::string& program);
    void onHelperEnded();
    // The fax-printer member the start-up calls last. Nothing here drives
    // a fax printer: the page images are made by our own pipeline.
    void MfRemote1Member30() {}
    OutsideObject::ErrorHandler errorHandler(const std::string& who);
    // Whether an object that still works has had its time; then it is ended.
    bool stopBoundPassed(const std::string& key);
    void endProcess();
    void log(long number, const std::string& description);

    EventPump& pump_;
    SupervisorOptions options_;
    std::optional<FileLock> lock_;
    EventPump::Id helperWatch_ = 0;
    bool ended_ = false;
    bool shuttingDown_ = false;
    bool settling_ = false;
    bool failed_ = false;
    std::string startFailure_;  // what ended the start-up, for its starter
    std::optional<Ms> markerHoldSince_;
    bool markerBoundLogged_ = false;
    std::set<std::string> staleLogged_;
    std::string lastBadEndValue_;
    std::map<std::string, Ms> firstAsked_;
    std::vector<std::string> leftSeen_;  // hand-overs found left on the last round
    std::vector<std::unique_ptr<FaxSend>> resumed_;  // sends of batches that ended before their hand-over did
};

}  // namespace fg
