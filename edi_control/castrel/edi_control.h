// EDIControl: every exchange the system has with the EDI server. The
// scheduled fetch of documents by information code and their hand-over to
// the fax document builder, the reminder lists, the order balances, the
// refresh of the registered suppliers, the upload of answers and the
// receipt confirmations.
//
// One object keeps one FaxTranXml for its life, so every batch built
// through it shares the builder's 20 send ports. Everything else (folders,
// settings, transport, archives, index, suppliers) is looked up again in
// each call.
//
// Members log their failures (platform/error_log.h) under the member's
// source and return their result; only SendPortEndCheck lets an error
// through. A True result of an exchange means that the caller may go on:
// nothing to fetch, a logged server refusal of a fetch or of a receipt
// confirmation also give True.
//
// Beyond the plain exchange, the control keeps these rules:
// - one bad answer never stops the scheduled fetch: a document of an answer
//   that cannot be had (its name not bare, in a folder of the archive, or
//   without a "."; missing from the archive) is logged by name and left
//   out, and its archive is confirmed with the documents that were had; an
//   answer that cannot be read at all (no archive, a broken index) is
//   logged and left unconfirmed, for the server to offer again, and the
//   fetch goes on with the next code. Only a failure of the exchange
//   itself or of this installation's own files fails a pass;
// - names that come from the EDI server (download names, archive entries
//   as the archive stores them, index file names) must be bare file names;
//   any other is skipped and logged, and archives are extracted entry by
//   entry, never as a whole, so nothing lands where no name says;
// - an answer archive whose receipt an earlier batch owes (its faxes handed
//   over, its confirmation cut off) is confirmed without being read again;
// - an answer archive without an index, in any letter case, keeps no
//   document and is confirmed at once; an archive name without a "." is
//   confirmed under its whole name;
// - each request folder's build, pack, post and delete cycle runs under the
//   folder's lock (platform/request_folder_lock.h, the one the builder's
//   receipt confirmation and the job programs take), held for one
//   cycle and never while the builder runs, so two processes never post each
//   other's request; an upload of answers instead packs and posts in a
//   folder of its own below the upload folder, so that the uploads of
//   several processes run side by side;
// - request files are deleted one by one: a missing request.xml never keeps
//   request.zip;
// - documents of suppliers that are not registered are removed from the
//   work folder, each with a log line;
// - a supplier refresh that keeps no record leaves the registered suppliers
//   as they are;
// - an order-balance archive whose index does not load is deleted.
#pragma once

#include "documents/quillary/fax_tran_xml.h"
#include "edi_control/castrel/catalogue.h"
#include "platform/xml.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fg {

class Index;
class RequestReception;
namespace documents {
struct Confirmation;
}

class EDIControl {
public:
    // The builder delivers its send-end events through `pump` (one of its
    // own when none is given); a given pump must outlive the object.
    explicit EDIControl(EventPump* pump = nullptr);
    ~EDIControl();
    EDIControl(const EDIControl&) = delete;
    EDIControl& operator=(const EDIControl&) = delete;

    // Deletes strEdiPath & each name; a missing or undeletable file is
    // skipped and the next one tried. Names that are not bare are skipped
    // and logged.
    void delEdiXmlFile(const std::string& strEdiPath, const std::vector<std::string>& strEDIFile);
    // "0": fetches the codes of castrel::kFetchCodes and hands the documents
    // of registered suppliers to the builder in one batch; any other value:
    // the reminder lists, built as the builder's reminder batch and then
    // confirmed.
    bool getEDIData(const std::string& strEDIDataType);
    // The order balances (infocode::ORDERBALANCE) of every registered
    // supplier in the answer, returned in udtAllData (one record); strDelAry
    // gets the archive's entry names for the caller to delete when done.
    bool getOrderBalanceData(const std::string& strFaxNo, std::vector<GET_FILE>& udtAllData,
                             std::vector<std::string>& strDelAry);
    // Uploads the documents one after another as answers of strEdiType.
    bool putEDIData(const std::vector<xml::Document>& objEDIData, const std::string& strEdiType);
    // Replaces the registered suppliers with this client's supplier records
    // on the EDI server.
    bool getMakerInfoData();
    // True while a send of this object's builder is under way.
    bool SendPortEndCheck();
    // Writes the receipt-confirmation list (Puts/Put) into the fetch's
    // request folder.
    bool CreatePutConfirmXml(const std::string& strInfo, const std::string& strFilename);

    // The builder every batch goes to.
    FaxTranXml& faxTranXml() { return *mobjFaxTranXml; }

    // Tests watch the batches handed to the builder through this; nullptr
    // restores the builder's makeFAXSendXML. Not for production callers.
    using BatchBuilder =
        std::function<bool(const std::vector<GET_FILE>& udtData, const std::string& strReportType, const std::string& strFaxNo)>;
    void setBatchBuilder(BatchBuilder builder) { batchBuilder_ = std::move(builder); }

    // The confirmation lists (see castrel/catalogue.h).
    static constexpr const char* kPutConfirmFax = castrel::kConfirmList;
    static constexpr const char* kPutConfirmOrderFax = castrel::kOrderConfirmList;

private:
    struct Session;

    bool subGetEDIData(GET_FILE& udtData, const std::string& strInfoCode, std::string& strArchive);
    bool subCheckMaker(const std::vector<GET_FILE>& udtData, std::vector<std::string>& strRegistered);
    bool subGetFaxReminder();
    bool confirmAtOnce(const Session& session, const std::string& requestFolder, const std::string& tempEdi,
                       const std::string& infoCode, const std::string& archive,
                       const std::vector<std::string>& entries, const char* source, bool keepFilesOnPackFailure);
    // After a fetch of the information code has looked at what it brought:
    // the archives its batches handed over whole and could not have
    // confirmed (a full disk, the server out of reach) are confirmed now,
    // not only when the server offers them again. A server that offered
    // their documents again under another archive's name would have them
    // faxed twice. Failures are logged; the fetch goes on.
    void payDueReceipts(const Session& session, const std::string& requestFolder, const std::string& tempEdi,
                        const std::string& infoCode);
    // The receipt an archive is owed, paid (documents::payReceipt) and a
    // failure logged as the pass's; `folderHeld` when the caller holds the
    // request folder's lock already.
    bool payOwed(const Session& session, const std::string& requestFolder, const std::string& tempEdi,
                 const std::string& infoCode, const std::string& archive, const char* source,
                 bool keepFilesOnPackFailure, bool folderHeld);
    // An answer archive that an earlier batch handed over and did not have
    // confirmed (documents/quillary/owed_receipts.h) is not read again: it
    // is confirmed (and logged), or left unconfirmed while that batch still
    // has groups to hand over. Answers the pass's result then; nothing when
    // the archive is not owed. The caller holds the request folder's lock
    // since the download (see fetchOnce).
    std::optional<bool> receiptOwed(const Session& session, const std::string& requestFolder,
                                    const std::string& tempEdi, const std::string& infoCode,
                                    const std::string& archive, const char* source, bool keepFilesOnPackFailure);
    // Extracts from the archive the document (field 9) of each row its index
    // lists for each supplier, when the row has ten fields and `wanted`
    // (when given) takes it, and hands it to `take` (supplier, name). A
    // document whose name is not bare or has no ".", or that cannot be
    // extracted, is logged (DocumentNotExpanded, under source, with the
    // archive's name and its own) and left out; the others go on.
    void expandIndexed(Index& index, const std::string& archive, const std::string& tempEdi,
                       const std::string& download, const std::vector<std::string>& entries, const char* source,
                       const std::function<bool(const std::vector<std::string>&)>& wanted,
                       const std::function<void(const std::string&, const std::string&)>& take);
    // What a failed confirmation deletes (the entries in tempEdi) and logs.
    struct ConfirmFailure {
        std::string tempEdi;
        std::vector<std::string> entries;
        const char* source;
        long notPacked;  // the request could not be packed: False
        long refused;    // the server refused it: True
        bool keepFilesOnPackFailure;
    };
    // The deletion of the reminders of the entries named (their receipt,
    // paid by documents::payReceipt, of those still owed only when
    // `onlyWhileOwed`); the caller holds the request folder's lock. A
    // failure is logged as the reminder pass's.
    bool deleteReminders(const Session& session, const std::string& requestFolder,
                         const std::vector<std::string>& names, bool onlyWhileOwed);
    // The reminder pass's triage, under the fetch's lock: the entries the
    // answer lists, those not owed (`fresh`, to read), and the deletion of
    // those owed with every group handed over (`owedDeleted`: asked for, or
    // nothing to ask). Answers the pass's result when the answer cannot be
    // read.
    std::optional<bool> owedReminders(const Session& session, const std::string& request, const std::string& tempEdi,
                                      const std::string& download, std::optional<std::vector<std::string>>& listed,
                                      std::vector<std::string>& fresh, bool& owedDeleted);
    // What a confirmation's failure leaves: the entries deleted, and logged;
    // False when the request could not be packed.
    bool confirmed(const documents::Confirmation& done, const std::string& requestFolder,
                   const ConfirmFailure& failure);
    bool keepMakerDocuments(const std::string& folder, const std::string& supplierCode,
                            const std::vector<std::string>& names, std::vector<std::string>& kept);
    void subDelGetFile(const std::string& folder, const std::vector<GET_FILE>& udtData);
    bool buildBatch(const std::vector<GET_FILE>& udtData, const std::string& reportType);

    std::unique_ptr<FaxTranXml> mobjFaxTranXml;
    BatchBuilder batchBuilder_;
};

}  // namespace fg
