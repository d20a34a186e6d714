// What every fax job program shares. The telephone request handler starts a
// job program with one argument, the fax number alone or the fax number, a
// comma and the job's argument, and does not wait for it. The program
// builds one fax, hands it to a fax-send server of its own and ends once the
// server reports the end of the send:
//
//   start-up   the command line is read and the job object made, which
//              starts its fax-send server (eventSend);
//   5000 ms    later the job builds its fax (blnSendFax): the document, the
//              management record, the layout, the pages (makeFAXImage) and
//              the hand-over to the server;
//   end        the program waits for the end event, within the bound of a
//              client's wait for its send job; a send that ended in
//              failure logs the job's end-event number.
//
// On standard error the program tells, as it happens, that it waits
// because no send line opens (with each line's code), and how its send
// ended: each number's result in the send log, a failed job, or a wait
// that ran out while the server sends on.
//
// A job that finds nothing to fax (the order-balance job, when the EDI
// server has nothing for the caller's supplier) ends once its work is done:
// there is no send to wait for. A job that fails after handing its fax over
// (the order-balance job's confirmation) still waits for the send's end, so
// that the fax goes; it ends failed all the same.
//
// Exit codes: 0 when the server's send job went through its list (whether
// each send got through, "OK" or "NG", is in the send log, as for every
// send) or there was nothing to fax, 1 when the job failed (logged), 2 for a
// command line that is not of the job's form (logged). Failures go to the
// telephony error log under the program's name.
#pragma once

#include "fax_images/pellior/fax_rep_img.h"
#include "fax_send/morvane/fax_send.h"
#include "platform/error.h"
#include "platform/process/event_pump.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fg {
class MakerInfo;
}

namespace fg::jobs {

class FaxJob {
public:
    // The wait between start-up and the build.
    static constexpr std::chrono::milliseconds kStartDelay{5000};

    struct Program {
        const char* name;      // the program's name, the source of its log entries
        long endEventNumber;   // logged when the send ends in failure
        FaxRepImg::ReferenceCopy referenceCopy;  // the page picture its page step keeps as each copy
    };

    // Starts the job's fax-send server. Raises fg::Error when it cannot be
    // started.
    FaxJob(EventPump& pump, const Program& program);
    virtual ~FaxJob();
    FaxJob(const FaxJob&) = delete;
    FaxJob& operator=(const FaxJob&) = delete;

    const std::string& strFaxNo() const { return faxNo_; }
    void setStrFaxNo(const std::string& faxNo) { faxNo_ = faxNo; }

    // Builds the fax and hands it over. True when the server took it; False
    // when a step failed, with the job's number logged.
    virtual bool blnSendFax() = 0;

    // The page step: the pages of each number, from the layout of the same
    // index of strExcelName, through the page pipeline (the reference copy
    // kept before or after the page is shaped, as the program does), then
    // the whole list handed to the server. False when a page could not be
    // made or the server refused the list (it logs why): a refused list
    // brings no end event, so the job must not wait for one. strRepType has
    // no effect.
    bool makeFAXImage(const std::vector<std::string>& strRepManageNo, const std::vector<std::string>& strExcelName,
                      const std::string& strRepType);

    // The server, until the end event has let it go.
    FaxSend* eventSend() { return eventSend_.get(); }

    // Whether the server took the job's fax.
    bool handedOver() const { return handedOver_; }
    // Whether the job found nothing to fax, which is no failure.
    bool nothingToFax() const { return nothingToFax_; }

    // Pumps until the end event, up to the bound of a client's wait for its
    // send job (waits.xml, SendJob), whose expiry is logged with the job's
    // end-event number. The server finishes a send on its own once it has
    // taken it, so a program that stops waiting leaves nothing half done.
    // True when the send job went through its list. A send not handed over
    // has no end to wait for: False.
    bool waitForEnd();

protected:
    // Hands the numbers, whose pages are made, to the server. False when it
    // refused them (it logs why): no end event will come.
    bool handOver(const std::vector<std::string>& strRepManageNo);
    // Notes that the job has nothing to fax.
    void noteNothingToFax() { nothingToFax_ = true; }
    // The pump the job's events come through.
    EventPump& eventPump() { return pump_; }

    // Writes an error of the job to the telephony error log under the
    // program's name, with the log's flag.
    void logFailure(long number, const std::string& description = {}, bool flag = true) const noexcept;
    // Inside a catch: logs the error being handled, as it came, under the
    // program's name.
    void logCurrentFailure() const noexcept;

private:
    void eventSend_eventSendFaxEnd();
    // A line on standard error, where an operator who runs the program by
    // hand looks; the logs keep what they always kept.
    void tell(const std::string& line) const noexcept;
    // Each number's send-log result, once the send job has ended.
    void tellResults() const noexcept;

    EventPump& pump_;
    Program program_;
    std::string faxNo_;
    std::unique_ptr<FaxSend> eventSend_;
    bool handedOver_ = false;
    std::vector<std::string> handedNumbers_;
    bool nothingToFax_ = false;
    std::optional<bool> endStatus_;
};

// Stores the management record of a job's fax: its number (also the name of
// its fax document), title and send date, and the addressee found for its
// fax number; the supplier code only where `withSupplierCode` asks for it.
// The decision condition is left blank (stored as "9"), the employment mode
// is "0". False when the store did not take it.
bool storeJobRecord(const std::string& number, const std::string& title, const std::string& sendDate,
                    const MakerInfo& supplier, bool withSupplierCode);

// Takes back what a failed job wrote for its number: the management record,
// and the files named by the number in the folders of the fax document, the
// layout, the printed file, the page bitmaps, the G3 pages and the
// reference copies. A failed fax leaves nothing that no record names. What
// cannot be deleted is noted in the debug log under the program's name.
void removeJobOutput(const char* program, const std::string& number) noexcept;

// The command line of a job program: the fax number, and the argument of a
// program that takes one.
struct JobCommandLine {
    std::string faxNo;
    std::string argument;
};

// The form of a program's command line: exactly one argument, holding a
// fax number that is not empty, and with `withArgument` one comma and the
// argument after it (which may be empty). A program without an argument
// takes the whole command line as the fax number. nullopt when the command
// line is not of that form.
std::optional<JobCommandLine> readCommandLine(int argc, const char* const* argv, bool withArgument);

// A job program from start to end (see the head of this file); answers the
// exit code. `make` creates the job for the command line read.
using JobMaker = std::function<std::unique_ptr<FaxJob>(EventPump&, const JobCommandLine&)>;
int runFaxJob(const char* program, bool withArgument, int argc, const char* const* argv, const JobMaker& make);

// The exit codes of runFaxJob.
inline constexpr int kExitSent = 0;  // the send job went through its list, or nothing to fax
inline constexpr int kExitFailed = 1;
inline constexpr int kExitBadCommandLine = 2;

}  // namespace fg::jobs
