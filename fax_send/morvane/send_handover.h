// The durable hand-over of a send: the management numbers a fax-send server
// was handed and has not recorded yet, kept on disk beside its run marker
// (RunMarker::handOverPath) from before the server accepts them until each
// one's send-log record is written.
//
// The server that holds the marker writes it (saved whole, synced, under the
// marker's lock). When a server ends with numbers still listed (killed, the
// power gone, ended by a signal), the next process to find it takes the
// numbers over: the client of that server when it sees it die, else the
// supervisor at start-up and on its rounds. Each number that has a send-log
// record by then is left alone (a document recorded "OK" is never sent
// again); each whose pages are all there is sent again by a new server; the
// rest are recorded "NG" with an error-log entry that names them. Then what
// the dead server left (hand-over, run marker, lock, send copies) goes.
//
// File format: the writer's process id on the first line, then one
// management number a line, followed by a tab and "sent" once the line has
// taken its fax whole: such a number is recorded "OK" by the take-over, not
// sent again. (Only a fax that went out in the moment between the line's
// word and that note can go out twice.)
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
          const std::vector<std::string>& sent = {});

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
    // with every page in place. Those without their pages were recorded
    // "NG" when claimed, each named in the error log.
    const std::vector<std::string>& toSend() const { return toSend_; }

    // The numbers are in other hands now (a new server accepted them) or
    // there were none: the dead server's hand-over, send copies, marker and
    // lock go.
    void finish() noexcept;
    // No server can take them: each is recorded "NG", named in the error
    // log with `why`, and the rest goes as in finish().
    void giveUp(const std::string& why) noexcept;

    // At start-up, before any send: the send copies of servers that have
    // ended, and the stale run markers that no hand-over keeps (their
    // writers ended with nothing left to send), go. Never raises.
    static void clearEndedSenders() noexcept;

private:
    RunMarker marker_;
    std::string markerFile_;
    pid_t server_ = 0;
    std::vector<std::string> toSend_;
};

}  // namespace fg::send_handover
