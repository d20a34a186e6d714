// The durable hand-over of a send: the management numbers a fax-send server
// was handed and has not recorded yet, kept on disk beside its run marker
// (RunMarker::handOverPath) from before the server accepts them until each
// one's send-log record is written.
//
// The server that holds the marker writes it (saved whole, synced, under the
// marker's lock). When a server ends with numbers still listed (killed, the
// power gone, ended by a signal), the next process to find it takes the
// numbers over: the client of that server when it sees it die, else the
// supervisor at start-up and on its rounds (which also takes what a server
// left when it could not write a number's record). Each number that has a send-log
// record by then is left alone (a document recorded "OK" is never sent
// again); each whose pages are all there is sent again by a new server; the
// rest are recorded "NG" with an error-log entry that names them. Then what
// the dead server left (hand-over, run marker, lock, send copies) goes.
//
// File format: the writer's process id on the first line, then one
// management number a line, followed by a tab and a word once its send has
// gone far enough:
// - "in-doubt": the end of its last page was about to go to the line (noted
//   before it goes). From then on the far end may hold the whole fax, and
//   a process that dies cannot say whether it does: the take-over records
//   it "NG" and names it in the error log as a fax that may have gone out,
//   for the operator to ask the recipient before sending it again.
// - "sent": the line has taken its fax whole: the take-over records it "OK".
// A number without a word never reached the far end whole and is sent again.
// A number already recorded may stay listed until the next save; the
// take-over leaves it alone.
#pragma once

#include "platform/process/run_marker.h"

#include <sys/types.h>

#include <string>
#include <vector>

namespace fg::send_handover {

// Writes the hand-over of marker `markerName` ("@<stamp>", in the program
// folder): the numbers not yet recorded, or no file when none is left.
// Raises fg::Error when it cannot be written.
void save(const std::string& markerName, const std::vector<std::string>& numbers,
          const std::vector<std::string>& sent = {}, const std::vector<std::string>& inDoubt = {});

// Every number that a hand-over of the program folder holds, its server
// live or ended. Raises fg::Error when one cannot be read.
std::vector<std::string> numbersHeld();

// The numbers of a dead server, taken over by this process.
class TakeOver {
public:
    TakeOver() = default;
    TakeOver(TakeOver&&) noexcept = default;
    TakeOver& operator=(TakeOver&&) noexcept = default;

    // The hand-overs left by servers that have ended, each claimed by this
    // process (none that another process took first). With `server` above 0,
    // only the hand-over that server wrote. `ignore`: markers not to take
    // (yet). Never raises; what cannot be read is logged.
    static std::vector<TakeOver> claimLeft(pid_t server = 0, const std::vector<std::string>& ignore = {});

    pid_t server() const { return server_; }
    const std::string& markerFile() const { return markerFile_; }
    // The numbers to send again: handed over, without a send-log record, and
    // with every page in place. Those without their pages, and those whose
    // fax may have gone out, were recorded "NG" when claimed, each named in
    // the error log.
    const std::vector<std::string>& toSend() const { return toSend_; }

    // The numbers are in other hands now (a new server accepted them) or
    // there were none: the dead server's hand-over, send copies, marker and
    // lock go. A number whose record could not be written when claimed (a
    // full disk) stays in the hand-over, logged by name, for a later
    // take-over to record.
    void finish() noexcept;
    // No server can take them: each is recorded "NG", named in the error
    // log with `why`, and the rest goes as in finish().
    void giveUp(const std::string& why) noexcept;

    // At start-up, before any send: the send copies of servers that have
    // ended, and the stale run markers that no hand-over keeps (their
    // writers ended with nothing left to send), go. Never raises.
    static void clearEndedSenders() noexcept;
    // The send copies of a server that has ended, when it left no hand-over
    // (it died between its last record and clearing its copies). Never raises.
    static void clearSendCopiesOf(pid_t server) noexcept;

private:
    // A number whose record cannot be written now, with its word ("" for none).
    void keep(const std::string& number, const char* word);

    RunMarker marker_;
    std::string markerFile_;
    pid_t server_ = 0;
    std::vector<std::string> toSend_;
    // Numbers whose record could not be written: they stay in the hand-over.
    std::vector<std::string> unrecorded_, unrecordedSent_, unrecordedInDoubt_;
};

}  // namespace fg::send_handover
