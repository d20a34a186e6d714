// The send job of one fax-send server: for each management number of a list,
// open a send line, copy the number's G3 pages into the send folder, send
// them with retries, record the outcome in the send history and clear the
// work files.
//
// Waits (between passes over the modem lines, between tries, while a send
// runs) go through the JobPump, which keeps serving the server's client in
// the meantime; the job itself never blocks the process. A send that runs
// past the bound of waits.xml (SendPage, per page and once more for the
// call) is hung up and counts as a failed try.
//
// Whatever happens, no document silently disappears: a number the job could
// not send is recorded "NG" with page count 0 and its pages are kept in the
// G3Image folder until a copy of each is in G3ReImage. A number whose record
// cannot be written keeps its pages and stays handed over.
#pragma once

#include "fax_send/morvane/errors.h"
#include "fax_send/morvane/send_modem.h"
#include "fax_send/morvane/send_records.h"
#include "settings/modem_info.h"

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace fg {

class Error;

// What the job needs of the process around it.
class JobPump {
public:
    virtual ~JobPump() = default;
    // Waits this long in the system's time, serving the client meanwhile.
    virtual void wait(std::chrono::milliseconds duration) = 0;
    // The end of the number's fax is about to go to the line: from now on
    // the far end may hold it whole, whatever becomes of this process. Runs
    // on the line's thread while the line waits, so the note it makes is on
    // disk before the end goes out. False when the note cannot be made: the
    // end must not go out then, and the try fails.
    virtual bool sendEnding(const std::string& /*manageNumber*/) { return true; }
    // The line has taken the number's fax whole (its record comes next).
    virtual void sent(const std::string& /*manageNumber*/) {}
    // The send-log record of a number has been written.
    virtual void recorded(const std::string& /*manageNumber*/) {}
    // No send line opened on a pass (`codes`: each line's port and the code
    // of its opening, as the error log shows them); the job tries again a
    // pass wait later. Told once, and again only after a line has opened.
    virtual void waitingForLine(const std::string& /*codes*/) {}
    // The record of a number cannot be written now: it stays handed over,
    // with what became of its send. Answers whether that is on disk.
    virtual bool keepUnrecorded(const std::string& /*manageNumber*/) { return true; }
    // The process is asked to end: the send under way is hung up and
    // recorded, the numbers after it are left to whoever takes them over.
    virtual bool stopping() const { return false; }
};

class FaxSendJob {
public:
    static constexpr const char* kSource = "FaxSend";
    static constexpr long kNoSendLine = send_errors::NoSendLine;
    static constexpr long kSendFailed = send_errors::SendFailed;
    static constexpr long kNoPages = send_errors::NoPages;
    static constexpr long kPageDeleteFailed = send_errors::PageDeleteFailed;
    static constexpr long kRecordFailed = send_errors::SendFailed;

    static constexpr std::chrono::milliseconds kPassWait{10000};
    static constexpr std::chrono::milliseconds kTryWait{5000};
    // A send takes seconds per page; a look ten times a second costs nothing
    // and ends the wait soon after the line does.
    static constexpr std::chrono::milliseconds kPollInterval{100};
    // At most this many modem lines are walked.
    static constexpr std::size_t kMaxModemLines = 20;
    // A record that cannot be written (a full disk) is tried this often, a
    // wait apart, before its number is left to the take-over: space freed
    // within a few minutes costs no second round.
    static constexpr int kRecordTries = 10;
    static constexpr std::chrono::milliseconds kRecordRetryWait{30000};

    FaxSendJob(SendModem& modem, JobPump& pump) : modem_(modem), pump_(pump) {}

    // Runs the job over the list. True when every number was dealt with
    // (each outcome is in the send history), False when the modem lines
    // cannot be read or the job had to stop.
    bool run(const std::vector<std::string>& manageNumbers);

    // Deletes the send copies names[1..] (".G3", any case) from the send
    // folder; names[0] is the base name, which has no file. False, logged, at
    // the first that cannot be deleted.
    static bool delG3DummyFile(const std::vector<std::string>& names);
    // Deletes the G3 pages of a number from the G3Image folder. False after
    // logging 40016 at the first that cannot be deleted; True when the number
    // is not on record.
    static bool delG3FromManageNo(const std::string& manageNumber);

private:
    // The first send line whose port opens, in passes over the lines: a
    // line that does not open counts as taken, and the next pass comes
    // after kPassWait, for as long as it takes. A pass in which no line was
    // taken by another program but none opened either (the lines are gone
    // or broken) is logged once, with each line's code, until a port opens
    // again. False when there is no send line, or when the job must stop.
    bool openSendModem();
    void closePort();
    // The send copies of the number's pages, and its record (`record`,
    // made here) from the same read of the store.
    void collectG3Images(const std::string& manageNumber, std::vector<std::string>& sendNames,
                         std::optional<send_records::ReadRecord>& record);
    bool findSendResult(const std::string& manageNumber, std::string& result);
    bool sendWithRetry(const std::string& manageNumber, const FaxManageNum& record, const std::string& baseName,
                       std::int16_t pages);
    std::int16_t awaitResult(std::int16_t startCode, const std::string& manageNumber, std::int16_t pages);
    void recordUnsent(const std::vector<std::string>& manageNumbers, std::size_t from, const Error& cause);
    // The outcome's record, tried kRecordTries times, each failure logged.
    send_records::SendRecord recordWithRetry(const std::string& manageNumber, bool sent,
                                             const send_records::ReadRecord& read);

    SendModem& modem_;
    JobPump& pump_;
    std::vector<ModemLine> modemLines_;
    bool unopenedLogged_ = false;
    bool waitTold_ = false;  // the pump has heard that no line opened
    // The end of the number under way went to the line in some try.
    std::atomic<bool> endWent_{false};
};

}  // namespace fg
