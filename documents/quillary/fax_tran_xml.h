// FaxTranXml: turns the EDI message files of a fetch into numbered fax
// documents, one XML file per report management number in the "FaxSendXML"
// folder, each recorded in the management-number store.
//
// This header holds the object's lasting state (the batch stamp and number
// counter, the page pipeline, the 20 send ports), the records its callers
// exchange with it, the document builders, the batch driver and the receipt
// confirmation. Each lives in a file of its own.
//
// One thread owns the object. The end of a send arrives as an event of the
// event pump the object was given (or owns); it is delivered while the owner
// pumps, while a batch waits for a free port, and in SendPortEndCheck.
#pragma once

#include "documents/quillary/catalogue.h"
#include "documents/quillary/number_reservations.h"
#include "platform/process/process.h"
#include "platform/xml.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fg {

// The downloaded files of one information code: strSupplier(k) is the
// supplier code of the file strGetFile(k); intCnt entries are used.
struct GET_FILE {
    std::int16_t intCnt = 0;
    std::string strInfoType;
    std::vector<std::string> strSupplier;
    std::vector<std::string> strGetFile;
};

// The file names of one supplier, as EditData groups them.
struct Edit_File {
    std::int16_t intCnt = 0;
    std::string strSupplier;
    std::vector<std::string> strFileName;
};

// One reminder-list document: its in-memory document, its keys, the reminder
// kind ("RFQ-number" or "Order-number") and its management number.
struct WORKTABLE {
    xml::Document DomXml;
    std::string strCustomerCode;
    std::string strSupplierCode;
    std::string strTagName;
    std::string strFileName;
};

namespace documents {
class BatchRecords;
class BuilderCall;
class Built;
class NumberReservations;
struct Refusal;
}

class EventPump;
class FaxRepImg;
class PageRecords;
class FaxSend;
class SetUpInfo;

class FaxTranXml {
public:
    // With no pump the object uses the process's own; a given pump must
    // outlive the object. Destroying the object waits, pumping, up to
    // kEndWait for the sends under way to end, so that their servers are
    // reaped; a send still running then is let go of: its server finishes
    // the job and ends by itself.
    explicit FaxTranXml(EventPump* pump = nullptr);
    ~FaxTranXml();
    FaxTranXml(const FaxTranXml&) = delete;
    FaxTranXml& operator=(const FaxTranXml&) = delete;

    // Document builders. Each takes message file names of the messages
    // folder (documents::folders::kMessages) and answers True when every
    // document it made is recorded and written. The failures they recognise
    // (documents::errs: a message that does not parse, an unregistered
    // supplier, a record not stored) are
    // logged under the builder's name and give False after the records of
    // the call are rolled back; any other failure is raised as fg::Error
    // for the batch driver to log, after the same roll-back.
    bool makeLimitConfirmList(const std::vector<std::string>& strFileName, std::vector<std::string>& strOutFile);
    bool makeEstimLimitList(const std::vector<std::string>& strFileName, std::vector<WORKTABLE>& udtData);
    // The order-balance list and the unanswered-items list are also made
    // outside a batch (by the job programs), so they take a stamp of their
    // own; they log every failure themselves and never raise.
    bool makeOderBalanceList(const std::vector<std::string>& strFileName, std::vector<std::string>& strOutFile,
                             const std::string& strFaxNum);
    bool makeFAXTransaction(const std::string& strFaxNum, std::string& strFileName);
    bool makeCreditDetail(const std::vector<std::string>& strFileName, std::vector<std::string>& strOutFile);
    bool makeOrderSheet(const std::vector<std::string>& strFileName, std::vector<std::string>& strOutFile);
    bool makeEstiRequest(const std::vector<std::string>& strFileName, std::vector<std::string>& strOutFile);

    // One batch (strReportType, of documents::report): the downloaded
    // message files of a fetch (""), the reminder lists (ReminderBatch), the
    // order-balance list for the supplier of strFaxNo (OrderBalances), the
    // unanswered-items list for strFaxNo (UnansweredItems) or stored
    // documents laid out and sent again (RelayoutBatch: records 0 to 2 hold
    // management numbers). Every document is built, laid out and
    // rendered, every recipient group handed to a send port, and the receipt
    // confirmation runs last. True only when all of that succeeded; a
    // failure rolls back what will not be sent, is logged (source
    // "makeFAXSendXML" for a raised error) and answers False; but the
    // groups of a fetch that fails after handing one over stay owed, for
    // the supervisor to send (documents/quillary/owed_receipts.h). While
    // every port is busy the call waits for end events, without limit.
    bool makeFAXSendXML(const std::vector<GET_FILE>& udtData, const std::string& strReportType,
                        const std::string& strFaxNo);
    // The reminder entries the last reminder batch left out, their builder
    // having refused them (named in the error log): neither faxed nor owed,
    // so their deletion is not to be asked and the EDI server offers them
    // again. Empty after any other batch.
    const std::vector<std::string>& leftOutReminders() const { return leftOutReminders_; }
    // True while any send port holds a send whose end has not yet come.
    // Delivers the pending events first, so that an end that has happened
    // is seen.
    bool SendPortEndCheck();
    // Confirms the receipt of the archives in the confirmation list
    // (documents::kConfirmList) of the request folder to the EDI server (see
    // documents::confirmListed); True when there is nothing to confirm, when
    // every entry was confirmed, or when the server refused one (logged
    // ConfirmRefused: the server keeps those files unconfirmed and offers
    // them again). False after a packing failure (ConfirmNotPacked) or any
    // other error, all logged under "PutConfirmFax".
    bool PutConfirmFax();
    // The fax document of a management number ("FaxSendXML" folder, number +
    // ".xml"); an empty document when it does not load.
    xml::Document loadFAXSendXML(const std::string& strFileName);
    // Deletes the management records and layouts of the numbers; a number
    // that cannot be rolled back does not stop the others.
    void delManageOrderBalance(const std::vector<std::string>& strRepNo);
    // Groups the files of record 0 by supplier, in the order of first
    // appearance. Raises fg::Error 6 for a group beyond 32767 files.
    void EditData(const std::vector<GET_FILE>& udtData, std::vector<Edit_File>& udtEdit);

    static constexpr int kSendPorts = 20;
    // The wait between two searches for a free port (system time).
    static constexpr std::chrono::milliseconds kPortWait{30000};
    // The longest wait of the destructor for sends under way (system time).
    static constexpr std::chrono::milliseconds kEndWait{600000};
    // Whether port n (1 to 20) holds a send, and the process id of its
    // server (-1 when none): for the owner's monitoring and for tests.
    bool sendPortBusy(int port) const;
    ProcessId sendPortServerPid(int port) const;
    // The event pump the object delivers its events through.
    EventPump& eventPump() { return *pump_; }

    // Batch stamp ("YYYYMMDDHHNNSS") and number counter. A report management
    // number is the stamp followed by the counter in at least four digits.
    const std::string& repManageDate() const { return mstrRepManageDate; }
    std::int32_t repManageCount() const { return mlngRepManageCount; }
    void setRepManageDate(const std::string& stamp) { mstrRepManageDate = stamp; }
    void setRepManageCount(std::int32_t count) { mlngRepManageCount = count; }
    // Starts a batch: the stamp becomes the present time and the counter 0,
    // except that a batch begun in the same second as the last stamp goes on
    // counting, so its numbers cannot meet the earlier batch's.
    void beginBatch();
    // Takes a fresh stamp and keeps the counter (the lists made outside a batch).
    void restamp();

    // Called with each document's number and in-memory document just before
    // its style sheets run; lets a test or a trace see what the sheets get.
    using DocumentObserver = std::function<void(const std::string& number, const xml::Document& document)>;
    void setDocumentObserver(DocumentObserver observer) { observer_ = std::move(observer); }
    // Renders the pages of a group in place of the page pipeline (a test
    // or benchmark that leaves the rendering out, or looks on); it takes the
    // titles from the batch's records and gives them the page names, as the
    // pipeline does. Empty restores the pipeline.
    using PageRenderer =
        std::function<bool(const std::vector<std::string>& numbers, const std::vector<std::string>& workbooks,
                           const std::string& reportType, PageRecords& records)>;
    void setPageRenderer(PageRenderer renderer) { renderer_ = std::move(renderer); }
    // Called with the port and the numbers of each recipient group just
    // before the group is handed to its port.
    using SendObserver = std::function<void(int port, const std::vector<std::string>& numbers)>;
    void setSendObserver(SendObserver observer) { sendObserver_ = std::move(observer); }
    // Called as each step of a batch ends, with the real time it took: for a
    // benchmark that shows where a batch spends its time, and leaves out
    // the waits for a free port.
    enum class BatchStep {
        Build,     // a document builder's call: documents and records made
        Layout,    // one document laid out
        Render,    // the pages of a recipient group
        Store,     // the batch's records stored
        PortWait,  // a wait for a free send port
        HandOver,  // a group handed to its port
    };
    using StepObserver = std::function<void(BatchStep step, std::chrono::steady_clock::duration took)>;
    void setStepObserver(StepObserver observer) { stepObserver_ = std::move(observer); }

private:
    friend class documents::BuilderCall;
    friend class documents::NumberReservations;
    void observe(const std::string& number, const xml::Document& document) const {
        if (observer_) observer_(number, document);
    }

    struct SendPort {
        bool busy = false;  // the flag: set before the hand-over, cleared with the release
        std::unique_ptr<FaxSend> send;
    };
    struct Batch;

    bool sendFAXOnFreePort(const std::vector<std::string>& strRepManageNo);
    void onSendEnd(int port);
    void freePort(int port) noexcept;
    int takeFreePort();
    bool renderPages(Batch& batch, const std::vector<std::string>& numbers,
                     const std::vector<std::string>& workbooks, const std::string& reportType);
    // Times a step of a batch for the step observer, in real time (what the
    // step cost, not the system's time), from its making to end() or its end.
    class StepTimer {
    public:
        StepTimer(const FaxTranXml& owner, BatchStep step)
            : owner_(owner), step_(step), start_(std::chrono::steady_clock::now()) {}
        ~StepTimer() { end(); }
        StepTimer(const StepTimer&) = delete;
        StepTimer& operator=(const StepTimer&) = delete;
        void end() noexcept;

    private:
        const FaxTranXml& owner_;
        BatchStep step_;
        std::chrono::steady_clock::time_point start_;
        bool ended_ = false;
    };

    bool handOverGroups(Batch& batch, const std::vector<std::vector<std::string>>& groupNumbers);
    bool runByCodeBatch(Batch& batch, const std::vector<GET_FILE>& udtData, const std::string& strReportType);
    // The build pass of a by-code batch; False on a failure, with `held` the
    // information code whose builder refused message files for their own
    // content, and `refusal` which and why.
    [[nodiscard]] bool buildByCode(Batch& batch, const std::vector<GET_FILE>& udtData,
                                   const std::string& strReportType,
                                   std::vector<std::vector<std::string>>& groupNumbers, std::string& held,
                                   documents::Refusal& refusal);
    bool runReminderBatch(Batch& batch, const std::vector<GET_FILE>& udtData);
    [[nodiscard]] bool leaveOutReminders(std::vector<std::string>& files, const documents::Refusal& refusal);
    // The builders as a batch calls them: what the call came to, a refusal
    // naming the message files it would not take. The public builders
    // answer whether it was done.
    documents::Built estiRequests(const std::vector<std::string>& strFileName, std::vector<std::string>& strOutFile);
    documents::Built orderSheets(const std::vector<std::string>& strFileName, std::vector<std::string>& strOutFile);
    documents::Built limitConfirmLists(const std::vector<std::string>& strFileName,
                                       std::vector<std::string>& strOutFile);
    documents::Built creditDetails(const std::vector<std::string>& strFileName, std::vector<std::string>& strOutFile);
    documents::Built estimLimitLists(const std::vector<std::string>& strFileName, std::vector<WORKTABLE>& udtData);
    bool runUnansweredBatch(Batch& batch, const std::string& strFaxNo);
    bool runOrderBalanceBatch(Batch& batch, const std::vector<GET_FILE>& udtData, const std::string& strFaxNo);
    bool runRelayoutBatch(Batch& batch, const std::vector<GET_FILE>& udtData);

    EventPump* pump_ = nullptr;
    std::unique_ptr<FaxRepImg> mobjFaxRepImg;
    std::unique_ptr<SetUpInfo> mobjSetUpInfo;
    std::string mstrSendXMLFolder;
    std::array<SendPort, kSendPorts + 1> ports_;  // index 0 is never used

    std::string mstrRepManageDate;
    std::int32_t mlngRepManageCount = 0;
    DocumentObserver observer_;
    SendObserver sendObserver_;
    StepObserver stepObserver_;
    PageRenderer renderer_;
    // The records of the batch under way, which its builders hand theirs to;
    // nullptr outside a batch.
    documents::BatchRecords* batchRecords_ = nullptr;
    std::vector<std::string> leftOutReminders_;
    [[nodiscard]] bool holdRefusedArchive(std::vector<GET_FILE>& data, const std::string& infoCode,
                                          const documents::Refusal& refusal);
};

namespace documents {

// What batches and job programs that ended without giving their numbers
// back left (NumberReservations::clearEnded). Documents made and never
// stored: fax documents and their base copies, layouts, pages and reference
// copies. A job's records stored and never handed over: the record and every
// file of the number (removeNumberFiles), unless `heldBySenders` (the
// numbers the fax-send servers' hand-overs hold, read before the send log)
// or the send log names it. Raises fg::Error when the reservations, the
// hand-overs or the send log cannot be read.
NumberReservations::Cleared clearAbandonedNumbers(const std::function<std::vector<std::string>()>& heldBySenders);

// Every file a job program writes under its number, in the folders of the
// fax document, the layout, the printed file, the page bitmaps, the G3
// pages and the reference copies: named by the number alone or followed by
// "_" and a page. What cannot be deleted is noted in the debug log under
// `source`. Never raises.
void removeNumberFiles(const char* source, const std::string& number) noexcept;

}  // namespace documents

}  // namespace fg
