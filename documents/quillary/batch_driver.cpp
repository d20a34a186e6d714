// makeFAXSendXML: one batch of EDI message files (or stored documents) made
// into faxes: built, laid out, rendered, handed to send ports, confirmed.
//
// The management records of the batch's documents are held in hand while
// the documents are built, laid out and rendered, and stored in one save
// before the first group is handed over (batch_records.h): the store is
// changed a few times per batch, never per document or page, and never while
// a document is rendered or a port waited for.
//
// What a failed batch leaves behind: every document that was built but will
// not be handed to a port is rolled back (its record, files and layout
// deleted, the old pages of a stored document laid out again put back),
// whichever step failed and however (a False or a raised error); groups
// already handed over keep their records, as their faxes go on. A by-code
// batch that fails also discards its confirmation file, so that no later
// batch confirms files whose faxes were never sent.
//
// A batch whose receipt goes back to the EDI server (the by-code batch's
// archives, the reminder batch's reminder entries) writes down the receipts
// it owes (owed_receipts.h) before it stores its records and hands its first
// group over, and notes each group as it is handed over. Once a group is in
// a fax-send server's hands, what the batch read must not come again, or
// that group would be faxed twice: a batch that dies after that, or whose
// later hand-over fails, has the groups it did not hand over sent and its
// receipts confirmed by the supervisor, never fetched and faxed again. Only
// such a batch that fails before it has handed anything over is rolled back
// whole, and the EDI server, its receipt not confirmed, offers it again;
// should its stored records not go (a full disk), it is left like one that
// handed a group over, its records sent rather than left in the store.
#include "documents/quillary/fax_tran_xml.h"

#include "documents/quillary/batch_records.h"
#include "documents/quillary/builder_support.h"
#include "documents/quillary/grouped_builder.h"
#include "documents/quillary/grouping.h"
#include "documents/quillary/number_reservations.h"
#include "documents/quillary/owed_receipts.h"
#include "documents/quillary/receipt_confirmation.h"
#include "report_maker/fax_report_maker.h"
#include "fax_images/pellior/fax_rep_img.h"
#include "fax_send/kelvra/fax_send_careers.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"
#include "platform/invariant.h"
#include "platform/layout/page_export.h"
#include "platform/processed_file_hook.h"
#include "platform/text.h"
#include "settings/maker_info.h"
#include "settings/manage_records.h"

#include <algorithm>
#include <exception>
#include <set>
#include <unordered_set>

namespace fg {

namespace {

namespace report = documents::report;

constexpr const char* kSource = "makeFAXSendXML";

using ListedFiles = documents::BatchRecords::ListedFiles;

// Removes the files that the records of a roll-back listed and that no
// record left in the store lists: nothing will send or read them. A store
// that cannot be read whole keeps them: better a file too many than one a
// record still lists.
// `unstored`: the files are a batch's own, made under numbers it drew and
// never stored, which no stored record can list; they go even when the
// store cannot be read.
void removeUnlistedFiles(const ListedFiles& removed, bool unstored = false) noexcept {
    try {
        if (removed.sendXml.empty() && removed.temp.empty() && removed.ref.empty()) return;
        ListedFiles kept;
        if (!unstored) {
            const StoredRecords store;
            if (!store.complete()) {
                writeDebugLine("FaxTranXml", "管理番号ファイルを読めないため、戻した管理番号のファイルを残します");
                return;
            }
            for (const ManageRecord& r : store.records()) {
                kept.sendXml.insert(r.sendXml.begin(), r.sendXml.end());
                kept.temp.insert(r.tempImages.begin(), r.tempImages.end());
                kept.ref.insert(r.refImages.begin(), r.refImages.end());
            }
        }
        FolderPathInfo folders;
        struct File {
            const char* prefix;
            const char* extension;
        };
        struct Kind {
            const std::set<std::string>& names;
            const std::set<std::string>& listed;
            const char* folderKey;
            std::vector<File> files;
        } kinds[] = {
            // The fax document, and the copy of it that answers are read against.
            {removed.sendXml, kept.sendXml, "FaxSendXML", {{"", ".xml"}, {"base", ".xml"}}},
            {removed.temp, kept.temp, "G3Image", {{"", ".g3"}}},
            {removed.ref, kept.ref, "Jpg", {{"", ".jpg"}}},
        };
        for (const Kind& kind : kinds) {
            if (kind.names.empty()) continue;
            const std::string folder = folders.getFolderPath(kind.folderKey);
            for (const std::string& name : kind.names) {
                // A name that would reach outside its folder names no file of ours.
                if (kind.listed.count(name) || !fs::isBareName(name)) continue;
                for (const File& file : kind.files) {
                    const std::string path = folder + file.prefix + name + file.extension;
                    if (fs::fileExists(path) && !fs::removeFile(path))
                        writeDebugLine("FaxTranXml", "戻した管理番号のファイルを削除できません: " + path);
                }
            }
        }
    } catch (...) {
        writeDebugLine("FaxTranXml", "戻した管理番号のファイルを削除できません: " + currentError().description());
    }
}

// The layouts of the numbers; one that cannot be deleted does not stop the
// others, and is noted for the person who looks after the folders.
void deleteReports(const std::vector<std::string>& numbers) noexcept {
    try {
        FaxReportMaker maker;
        for (const auto& n : numbers) {
            try {
                bool ok = false;
                maker.deleteReport(n, ok);
            } catch (...) {
                writeDebugLine("FaxTranXml", "レイアウト " + n + " を削除できません: " + currentError().description());
            }
        }
    } catch (...) {
        writeDebugLine("FaxTranXml", "レイアウトを削除できません: " + currentError().description());
    }
}

// The pages a layout of that name has in a folder.
std::set<std::string> pagesOf(const std::string& folderKey, const std::string& layout, const char* extension) {
    const auto pages = layout::listPages(FolderPathInfo().getFolderPath(folderKey), layout, extension);
    return {pages.begin(), pages.end()};
}

void discardConfirmation() noexcept {
    try {
        const std::string folder = FolderPathInfo().getFolderPath(documents::folders::kRequest);
        if (documents::discardList(folder, documents::kConfirmList))
            writeDebugLine(kSource, std::string("送信できなかったバッチの受信確認ファイルを破棄しました: ") + folder +
                                        documents::kConfirmList);
    } catch (...) {
        logCurrentError(kSource);
    }
}

void append(std::vector<std::string>& to, const std::vector<std::string>& numbers) {
    to.insert(to.end(), numbers.begin(), numbers.end());
}

}  // namespace

// The running batch: its records in hand, and the numbers that will not be
// sent if it fails now.
struct FaxTranXml::Batch {
    explicit Batch(FaxTranXml& owner) : owner(owner) {
        reportMaker.setAddresseeLookup(records.addressees());
        owner.batchRecords_ = &records;
    }
    ~Batch() { owner.batchRecords_ = nullptr; }
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

    FaxTranXml& owner;
    documents::BatchRecords records;
    std::vector<std::string> unsent;         // built (or laid out again), in order
    std::unordered_set<std::string> handed;  // of those, handed over
    bool relayout = false;                   // the documents were there before the batch
    bool owesReceipts = false;               // its fetch left a confirmation list, or reminders
    std::vector<documents::OwedArchive> reminders;  // the reminder entries it reads
    std::string owed;                        // its key among the receipts owed, once written
    FaxReportMaker reportMaker;

    // Logs the error being handled as RecordNotStored, after `what`; False.
    static bool notStored(const std::string& what) {
        ErrorLogWriter().writeError(kSource, Error(documents::errs::RecordNotStored,
                                                   what + currentError().description(), kSource));
        return false;
    }
    bool report(const std::string& number, const std::string& type, std::string& workbook) {
        StepTimer timer(owner, BatchStep::Layout);
        bool ok = false;
        reportMaker.makeReport({number}, type, workbook, ok);
        return ok;
    }
    // Every group's records, stored in one save before the first group is
    // handed over: the fax-send servers read them.
    bool storeRecords() {
        StepTimer timer(owner, BatchStep::Store);
        try {
            records.store();
            return true;
        } catch (...) {
            return notStored("バッチの帳票管理番号を記録できません: ");
        }
    }
    // The archives of the confirmation list and the reminder entries, owed
    // from now on, and the groups still to hand over. Written even when
    // nothing is listed: the groups a failed hand-over leaves must still go.
    bool oweReceipts(const std::vector<std::vector<std::string>>& groups) {
        try {
            const std::string folder = FolderPathInfo().getFolderPath(documents::folders::kRequest);
            auto archives = documents::listedArchives(
                folder, {documents::kConfirmList,
                         {std::begin(documents::kFetchCodes), std::end(documents::kFetchCodes)},
                         nullptr});
            archives.insert(archives.end(), reminders.begin(), reminders.end());
            owed = documents::OwedReceipts::owe(archives, groups);
            return true;
        } catch (...) {
            return notStored("バッチの受信確認の記録を書けません: ");
        }
    }
    void handedOver(const std::vector<std::string>& numbers) {
        handed.insert(numbers.begin(), numbers.end());
        if (!owed.empty()) documents::OwedReceipts::handedOver(owed, numbers);
    }
    // A batch that has handed a group over and owes its receipts keeps the
    // records of the groups it could not hand over: they stay owed, and
    // the supervisor sends them and then confirms the archives. True when
    // the batch ends so; else it is rolled back.
    [[nodiscard]] bool leaveOwed() noexcept {
        if (handed.empty()) return false;
        return leaveStored();
    }
    // So does one whose roll-back could not take its stored records back
    // (a full disk): they are whole, and sent like those of a batch that
    // died after storing them, rather than left in the store unsent.
    [[nodiscard]] bool leaveStored() noexcept {
        if (owed.empty() || !records.stored()) return false;
        try {
            std::vector<std::string> left;
            for (const auto& n : unsent)
                if (!handed.count(n)) left.push_back(n);
            writeDebugLine(kSource, "渡せなかった帳票は受信確認の記録に残し、監視プログラムが送信します: " + text::join(left, ','));
        } catch (...) {
            logCurrentError(kSource);
        }
        // Should the file not change now, this process writes the change
        // with its next one, or the batch is left once the process has
        // ended: its groups wait, none is lost.
        if (!documents::OwedReceipts::leave(owed))
            writeDebugLine(kSource, "渡せなかった帳票は、受信確認の記録を書けしだい送信されます: " + owed);
        unsent.clear();
        return true;
    }
    // False when stored records could not be taken back: they stay in the
    // store as stored, with every file and layout they need, and the
    // numbers stay the batch's to send.
    [[nodiscard]] bool rollBack() noexcept {
        std::vector<std::string> left;
        for (const auto& n : unsent)
            if (!handed.count(n)) left.push_back(n);
        if (left.empty()) {
            unsent.clear();
            return true;
        }
        writeDebugLine(kSource, std::string(relayout ? "送信しないレイアウトを削除します: "
                                                     : "送信しない帳票の管理番号を戻します: ") + text::join(left, ','));
        // The files the records list go after the records (records not
        // stored yet never will be), so that none is ever left without them.
        const ListedFiles files = records.filesOf(left);
        const bool stored = records.stored();
        if (stored && !records.unstore(left)) {
            ErrorLogWriter().writeError(kSource, Error(documents::errs::RecordNotStored,
                                                       "送信しない帳票の記録を削除できないため、記録は残ります: " +
                                                           text::join(left, ','), kSource));
            return false;
        }
        if (!stored) records.forget(left);  // a batch built again stores none of them
        unsent.clear();
        deleteReports(left);
        // A batch that never stored its records made its documents under
        // new numbers (a re-layout's were there before it).
        removeUnlistedFiles(files, !stored && !relayout);
        return true;
    }
};

bool FaxTranXml::renderPages(Batch& batch, const std::vector<std::string>& numbers,
                             const std::vector<std::string>& workbooks, const std::string& reportType) {
    StepTimer timer(*this, BatchStep::Render);
    if (renderer_) return renderer_(numbers, workbooks, reportType, batch.records);
    return mobjFaxRepImg->makeFAXImage(numbers, workbooks, reportType, batch.records);
}

// Records, files and layouts of the numbers. The files each record lists
// (its fax document and base copy, G3 pages and reference copies) are read
// before it goes and removed after it, unless another record lists them too.
void FaxTranXml::delManageOrderBalance(const std::vector<std::string>& strRepNo) {
    ListedFiles files;
    try {
        const StoredRecords store;
        for (const std::string& number : strRepNo) {
            if (const ManageRecord* r = store.find(number)) {
                files.sendXml.insert(r->sendXml.begin(), r->sendXml.end());
                files.temp.insert(r->tempImages.begin(), r->tempImages.end());
                files.ref.insert(r->refImages.begin(), r->refImages.end());
            }
        }
    } catch (...) {
        writeDebugLine("FaxTranXml", "管理番号のファイルを読めません: " + currentError().description());
    }
    documents::removeRecords(strRepNo);
    deleteReports(strRepNo);
    removeUnlistedFiles(files);
}

documents::NumberReservations::Cleared documents::clearAbandonedNumbers(
    const std::function<std::vector<std::string>()>& heldBySenders) {
    const auto clearUnrecorded = [](const std::string& number) {
        // Every page and layout a batch makes under a number bears its name.
        ListedFiles files;
        files.sendXml.insert(number);
        files.temp = pagesOf("G3Image", number, ".g3");
        files.ref = pagesOf("Jpg", number, ".jpg");
        removeUnlistedFiles(files, true);
        deleteReports({number});
    };
    const auto clearRecorded = [&](const std::vector<std::string>& numbers) {
        // The hand-overs first: a server writes a number's send-log record
        // before it lets go of it there, so one that neither names was
        // handed over by nobody.
        std::vector<std::string> named = heldBySenders(), sent;
        if (!FaxSendCareers().getManageNumbers(sent, ""))
            throw Error(errnum::PathFileAccessError, "送信履歴を読めないため、終了したジョブの記録を残します", "FaxTranXml");
        named.insert(named.end(), sent.begin(), sent.end());
        std::sort(named.begin(), named.end());
        std::vector<std::string> abandoned;
        StoreChanges records;
        for (const std::string& number : numbers) {
            if (std::binary_search(named.begin(), named.end(), number)) continue;
            abandoned.push_back(number);
            records.remove(number);
        }
        if (abandoned.empty()) return abandoned;
        records.apply();
        for (const std::string& number : abandoned) removeNumberFiles("FaxTranXml", number);
        return abandoned;
    };
    return NumberReservations::clearEnded(clearUnrecorded, clearRecorded);
}

void documents::removeNumberFiles(const char* source, const std::string& number) noexcept {
    try {
        FolderPathInfo folders;
        for (const char* key : {"FaxSendXML", "ExcelLayout", "Msf", "Bitmap", "G3Image", "Jpg"}) {
            const std::string folder = folders.getFolderPath(key);
            for (const std::string& pattern : {number + ".*", number + "_*"})
                for (const std::string& name : fs::list(folder, pattern))
                    if (!fs::removeFile(folder + name)) writeDebugLine(source, "削除できません: " + folder + name);
        }
    } catch (...) {
        writeDebugLine(source, "帳票のファイルを削除できません: " + number + ": " + currentError().description());
    }
}

void FaxTranXml::EditData(const std::vector<GET_FILE>& udtData, std::vector<Edit_File>& udtEdit) {
    documents::editData(udtData, udtEdit);
}

bool FaxTranXml::makeFAXSendXML(const std::vector<GET_FILE>& udtData, const std::string& strReportType,
                                const std::string& strFaxNo) {
    // A batch begun in the same second as the last one continues its
    // counter, so the two batches cannot make the same number.
    beginBatch();
    leftOutReminders_.clear();
    Batch batch(*this);
    const bool byCode = strReportType != report::ReminderBatch && strReportType != report::UnansweredItems &&
                        strReportType != report::OrderBalances && strReportType != report::RelayoutBatch;
    batch.owesReceipts = byCode || strReportType == report::ReminderBatch;
    bool built = false;
    try {
        if (strReportType == report::ReminderBatch)
            built = runReminderBatch(batch, udtData);
        else if (strReportType == report::UnansweredItems)
            built = runUnansweredBatch(batch, strFaxNo);
        else if (strReportType == report::OrderBalances)
            built = runOrderBalanceBatch(batch, udtData, strFaxNo);
        else if (strReportType == report::RelayoutBatch)
            built = runRelayoutBatch(batch, udtData);
        else
            built = runByCodeBatch(batch, udtData, strReportType);
    } catch (...) {
        logCurrentError(kSource);
    }
    if (!built) {
        // The list goes either way: what a left batch owes, its line in the
        // owed receipts carries.
        const bool left = batch.leaveOwed() || (!batch.rollBack() && batch.leaveStored());
        if (byCode) discardConfirmation();
        if (!left) documents::OwedReceipts::forget(batch.owed);
        return false;
    }
    return PutConfirmFax();
}

// Each group that made a fax goes to a free port, one after another; what
// was handed over is no longer the batch's to roll back.
bool FaxTranXml::handOverGroups(Batch& batch, const std::vector<std::vector<std::string>>& groupNumbers) {
    if (batch.owesReceipts && !batch.oweReceipts(groupNumbers)) return false;
    if (!batch.storeRecords()) return false;
    for (const auto& numbers : groupNumbers) {
        if (numbers.empty()) continue;
        if (!sendFAXOnFreePort(numbers)) return false;
        batch.handedOver(numbers);
    }
    return true;
}

// A message file whose own content its builder refused holds back its
// archive alone: the archive goes out of the confirmation list (so out of
// the receipts owed too), its files out of the batch, and the error log
// says which archive, which file and why. The EDI server offers it again,
// and the later archives of its code wait behind it, until the cause is
// removed. False when that cannot be done: the batch then fails whole.
bool FaxTranXml::holdRefusedArchive(std::vector<GET_FILE>& data, const std::string& infoCode,
                                    const documents::Refusal& refused) {
    bool had = false;
    for (GET_FILE& record : data) {
        if (record.strInfoType != infoCode || record.intCnt <= 0) continue;
        record = GET_FILE{};
        had = true;
    }
    if (!had) return false;
    const std::vector<std::string> held = documents::holdListed(
        FolderPathInfo().getFolderPath(documents::folders::kRequest),
        {documents::kConfirmList, {std::begin(documents::kFetchCodes), std::end(documents::kFetchCodes)}, nullptr},
        infoCode);
    const std::string archives = text::quotedList(held);
    ErrorLogWriter().writeError(
        kSource, Error(documents::errs::BadMessageData,
                       "情報区分 " + infoCode + " のアーカイブ " + (archives.empty() ? "(名前不明)" : archives) +
                           " を受信確認せずに残します: 文書 " + text::quotedList(refused.files) +
                           " を受け付けません (" + refused.reason +
                           ")。原因が取り除かれるまで、このアーカイブの他の文書と同じ情報区分の後のアーカイブも送信されません",
                       kSource));
    return true;
}

bool FaxTranXml::runByCodeBatch(Batch& batch, const std::vector<GET_FILE>& udtData, const std::string& strReportType) {
    // Built again without each archive held back; each time one code fewer.
    std::vector<GET_FILE> data = udtData;
    for (;;) {
        std::string held;
        documents::Refusal refusal;
        std::vector<std::vector<std::string>> groupNumbers;
        if (buildByCode(batch, data, strReportType, groupNumbers, held, refusal))
            return handOverGroups(batch, groupNumbers);
        if (held.empty()) return false;
        // Nothing is stored before the whole batch is built.
        checkInvariant(batch.rollBack(), "a batch built again has stored nothing", kSource);
        if (!holdRefusedArchive(data, held, refusal)) return false;
    }
}

bool FaxTranXml::buildByCode(Batch& batch, const std::vector<GET_FILE>& udtData, const std::string& strReportType,
                             std::vector<std::vector<std::string>>& groupNumbers, std::string& held,
                             documents::Refusal& refusal) {
    // The builder and report type of each information code; a group's
    // entries of any other code build nothing.
    using Builder = documents::Built (FaxTranXml::*)(const std::vector<std::string>&, std::vector<std::string>&);
    static const struct {
        const char* code;
        const char* type;
        Builder build;
    } forms[] = {
        {infocode::RFQ, report::QuotationRequest, &FaxTranXml::estiRequests},
        {infocode::ORDER, report::OrderSheet, &FaxTranXml::orderSheets},
        {infocode::REQUEST, report::DeliveryDateConfirmation, &FaxTranXml::limitConfirmLists},
        {infocode::ADVANCE, report::PayablesNotice, &FaxTranXml::creditDetails},
    };
    std::vector<documents::SUPPLIER_GROUP> groups;
    documents::makeGetFileList(udtData, groups);
    for (const auto& group : groups) {
        std::vector<std::string> numbers;
        for (const auto& info : group.udtInfo) {
            const auto form = std::find_if(std::begin(forms), std::end(forms),
                                           [&](const auto& f) { return info.strInfoType == f.code; });
            if (form == std::end(forms)) {
                writeDebugLine(kSource, "情報区分 \"" + info.strInfoType + "\" の帳票はありません (受注者 " +
                                            group.strSupplier + ")");
                continue;
            }
            std::vector<std::string> made;
            {
                StepTimer timer(*this, BatchStep::Build);
                // A builder that fails has rolled back its own records and
                // documents.
                const documents::Built built = (this->*form->build)(info.strFileName, made);
                if (!built) {
                    if (built.refused()) {
                        refusal = built.refusal();
                        held = info.strInfoType;
                    }
                    return false;
                }
            }
            append(batch.unsent, made);
            for (const auto& number : made) {
                std::string workbook;
                if (!batch.report(number, form->type, workbook)) return false;
                numbers.push_back(number);
            }
        }
        // A group of none of the four codes makes no fax.
        if (!numbers.empty() && !renderPages(batch, numbers, numbers, strReportType)) return false;
        groupNumbers.push_back(std::move(numbers));
    }
    return true;
}

bool FaxTranXml::runReminderBatch(Batch& batch, const std::vector<GET_FILE>& udtData) {
    if (udtData.empty()) throw Error::standard(errnum::SubscriptOutOfRange, kSource);
    const GET_FILE& record = udtData[0];
    std::vector<std::string> files(record.strGetFile.begin(),
                                   record.strGetFile.begin() +
                                       std::min<std::size_t>(record.strGetFile.size(),
                                                             static_cast<std::size_t>(std::max<int>(0, record.intCnt))));
    std::vector<WORKTABLE> worktable;
    // Built again without the entries of each refusal, as a by-code batch
    // holds back an archive: one broken entry must not hold back every
    // reminder for good.
    for (;;) {
        StepTimer timer(*this, BatchStep::Build);
        const documents::Built built = estimLimitLists(files, worktable);
        if (built) break;
        if (!built.refused() || !leaveOutReminders(files, built.refusal())) return false;
    }
    if (files.empty()) return true;
    // Their deletion, which the EDI control asks for once the batch has
    // handed every group over, is the batch's receipt; an entry left out is
    // not owed, or its deletion would be asked for unread on the next pass.
    for (const std::string& file : files) batch.reminders.push_back({documents::OwedReceipts::kReminder, file});
    for (const auto& w : worktable) batch.unsent.push_back(w.strFileName);
    std::vector<documents::REMINDER_GROUP> groups;
    documents::makeReminderList(worktable, groups);
    std::vector<std::vector<std::string>> groupNumbers;
    for (const auto& group : groups) {
        std::vector<std::string> numbers;
        for (const auto& item : group.udtRfq) {
            numbers.push_back(item.strRepManageNo);
            std::string workbook;
            if (!batch.report(item.strRepManageNo, report::QuotationReminders, workbook)) return false;
        }
        for (const auto& item : group.udtOther) {
            numbers.push_back(item.strRepManageNo);
            std::string workbook;
            if (!batch.report(item.strRepManageNo, report::DeliveryReminders, workbook)) return false;
        }
        if (!numbers.empty() && !renderPages(batch, numbers, numbers, report::ReminderBatch)) return false;
        groupNumbers.push_back(std::move(numbers));
    }
    return handOverGroups(batch, groupNumbers);
}

// Reminder entries their builder refused (an entry that does not parse, or
// one of a list whose supplier is missing or not registered: every entry
// that fed it) are left out of the batch; the error log names each and why.
// False when the refusal names no entry of the batch: building again could
// only fail the same way.
bool FaxTranXml::leaveOutReminders(std::vector<std::string>& files, const documents::Refusal& refusal) {
    std::vector<std::string> left;
    for (const std::string& file : refusal.files) {
        const auto at = std::find(files.begin(), files.end(), file);
        if (at == files.end()) continue;
        files.erase(at);
        left.push_back(file);
    }
    if (left.empty()) return false;
    leftOutReminders_.insert(leftOutReminders_.end(), left.begin(), left.end());
    ErrorLogWriter().writeError(
        kSource, Error(documents::errs::BadMessageData,
                       "督促 " + text::quotedList(left) + " を送信せず、削除も依頼せずに残します: 受け付けません (" +
                           refusal.reason + ")。原因が取り除かれるまで、EDIサーバーが毎回提供します",
                       kSource));
    return true;
}

bool FaxTranXml::runUnansweredBatch(Batch& batch, const std::string& strFaxNo) {
    std::string number;
    {
        StepTimer timer(*this, BatchStep::Build);
        if (!makeFAXTransaction(strFaxNo, number)) return false;
    }
    batch.unsent.push_back(number);
    std::string workbook;
    if (!batch.report(number, report::UnansweredItems, workbook)) return false;
    if (!renderPages(batch, {number}, {workbook}, report::UnansweredItems)) return false;
    return handOverGroups(batch, {{number}});
}

bool FaxTranXml::runOrderBalanceBatch(Batch& batch, const std::vector<GET_FILE>& udtData,
                                      const std::string& strFaxNo) {
    MakerInfo maker;
    if (!maker.getMakerInfo("", strFaxNo, true)) return false;
    const std::string supplier = maker.strSupplierCode();
    std::vector<Edit_File> groups;
    EditData(udtData, groups);
    std::vector<std::vector<std::string>> groupNumbers;
    for (const auto& group : groups) {
        if (group.strSupplier != supplier) continue;
        std::vector<std::string> numbers;
        {
            StepTimer timer(*this, BatchStep::Build);
            if (!makeOderBalanceList(group.strFileName, numbers, strFaxNo)) return false;
        }
        append(batch.unsent, numbers);
        for (const auto& file : group.strFileName) {
            bool ok = false;
            ProcessedFileHook::current().fileDone(file, ok);
        }
        std::vector<std::string> workbooks;
        for (const auto& number : numbers) {
            std::string workbook;
            if (!batch.report(number, report::OrderBalances, workbook)) return false;
            workbooks.push_back(workbook);
        }
        if (!numbers.empty() && !renderPages(batch, numbers, workbooks, report::OrderBalances)) return false;
        groupNumbers.push_back(std::move(numbers));
    }
    return handOverGroups(batch, groupNumbers);
}

bool FaxTranXml::runRelayoutBatch(Batch& batch, const std::vector<GET_FILE>& udtData) {
    // The documents and their records were made by earlier batches: a
    // failure here deletes the layouts it made and leaves (or puts back)
    // their pages, never the records. Their new pages replace the old ones.
    batch.relayout = true;
    std::vector<std::pair<std::string, const char*>> listed;
    for (std::size_t r = 0; r < 3 && r < udtData.size(); ++r) {
        const GET_FILE& record = udtData[r];
        const int count = std::min<int>(record.intCnt, static_cast<int>(record.strGetFile.size()));
        for (int k = 0; k < count; ++k)
            listed.emplace_back(record.strGetFile[static_cast<std::size_t>(k)], report::StoredDocuments[r]);
    }
    std::vector<std::string> numbers;
    for (const auto& entry : listed) numbers.push_back(entry.first);
    batch.records.holdStored(numbers);
    for (const auto& [number, type] : listed) {
        std::string workbook = number;
        batch.unsent.push_back(number);
        if (!batch.report(number, type, workbook)) return false;
    }
    if (numbers.empty()) return true;
    if (!renderPages(batch, numbers, numbers, report::RelayoutBatch)) return false;
    return handOverGroups(batch, {numbers});
}

}  // namespace fg
