#include "edi_control/castrel/edi_control.h"

#include "edi_control/castrel/archive_calls.h"
#include "documents/quillary/owed_receipts.h"
#include "documents/quillary/receipt_confirmation.h"
#include "edi_control/castrel/catalogue.h"
#include "edi_control/castrel/exchange_support.h"
#include "edi_transport/index.h"
#include "edi_transport/request_reception.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/request_folder_lock.h"
#include "platform/text.h"
#include "settings/maker_info.h"

#include <algorithm>
#include <functional>
#include <iterator>
#include <unordered_set>

namespace fg {

using namespace castrel;

struct EDIControl::Session : ServerSettings {
    explicit Session(ServerSettings s) : ServerSettings(std::move(s)) {}
};

namespace {

void prepare(RequestReception& exchange, const ServerSettings& settings, const std::string& infoCode,
             const std::string& answerFileName) {
    exchange.setCertificateKey(settings.certificateKey);
    exchange.setServerCode(settings.makerCode);
    exchange.setInfoCode(infoCode);
    exchange.setAnswerFileName(answerFileName);
}

// One fetch: the request is packed, `post` sends request.zip and the
// request files are deleted. The caller holds the request folder's lock. A
// request that cannot be packed is logged under source and number and gives
// False.
bool fetchOnce(const ServerSettings& session, const std::string& request, const std::string& infoCode,
               const std::function<void(xml::Document&)>& complete,
               const std::function<std::string(RequestReception&, const std::string&)>& post, const char* source,
               long number, std::string& code, std::string& download) {
    long packed = documents::packRequest(session, request, complete);
    if (packed != 0) {
        deleteRequestFiles(request);
        logError(source, number, std::string(kRequestXml) + "[ErrCode:" + std::to_string(packed) + "]");
        return false;
    }
    RequestReception exchange;
    prepare(exchange, session, infoCode, "");
    code = post(exchange, request + kRequestZip);
    download = exchange.DownloadFileName();
    deleteRequestFiles(request);
    return true;
}

// Whether a fetch's answer brought an archive to read. Neither the code
// that says there is nothing (nor kNothingToFetch) does, nor a refusal, a
// download name that is not bare or one that the receipts owed could not
// record (the archive, saved in tempEdi, goes); those are logged under
// source and number.
bool brought(const std::string& code, const std::string& download, const std::string& tempEdi, const char* nothing,
             const char* source, long number) {
    if (code == nothing || code == answer::kNothingToFetch) return false;
    if (!isSuccess(code)) {
        logError(source, number, "[ErrCode:" + code + "]");
        return false;
    }
    const bool bare = isBareName(download);
    if (!bare || !documents::OwedReceipts::recordable(download)) {
        if (bare) (void)fs::removeFile(tempEdi + download);
        logError(source, number, "[ErrCode:" + code + "] 不正なファイル名: \"" + download + "\"");
        return false;
    }
    return true;
}

// What one fetch pass asks for, and how it logs.
struct FetchPass {
    const char* source;
    std::string infoCode;  // "" for the reminders
    std::function<void(xml::Document&)> complete;
    std::function<std::string(RequestReception&, const std::string&)> post;
    long notPacked, refused;
    const char* nothing;  // the answer code that says there is nothing to fetch
};

// The opening of every fetch pass, as one block under the request folder's
// lock: the fetch, then `triage` of what came, which settles what is owed
// already. The lock is held from before the fetch until the triage ends:
// the supervisor pays owed receipts under the same lock, so none is paid
// between the download and that look (read again as new, it would be faxed
// twice). Answers the pass's result when it ends here (a request not
// packed: False; nothing brought: True; else the triage's answer), nothing
// when the download is to be read.
std::optional<bool> fetchAndTriage(const ServerSettings& session, const std::string& request, const std::string& tempEdi,
                                   const FetchPass& pass, std::string& download,
                                   const std::function<std::optional<bool>()>& triage) {
    RequestFolderLock lock(request);
    std::string code;
    if (!fetchOnce(session, request, pass.infoCode, pass.complete, pass.post, pass.source, pass.notPacked, code,
                   download))
        return false;
    if (!brought(code, download, tempEdi, pass.nothing, pass.source, pass.refused)) return true;
    return triage();
}

bool hasIndexEntry(const std::vector<std::string>& entries) {
    return std::any_of(entries.begin(), entries.end(), [](const std::string& e) { return text::toUpperAscii(e) == "INDEX.CSV"; });
}

// Extracts the entries of an answer archive into the folder by the names
// they are stored under, and answers those extracted. An entry whose name is
// not bare would land elsewhere than its name says (in a folder of its own,
// or outside): it is left out, as is one that cannot be extracted, and
// `skipped` hears of each, in the archive's order (the entry, whether its
// name was at fault). A failed extraction leaves nothing of its entry.
std::vector<std::string> expandEach(const std::string& archive, const std::string& folder,
                                    const std::vector<std::string>& entries,
                                    const std::function<void(const std::string&, bool)>& skipped) {
    std::vector<std::string> bare;
    std::copy_if(entries.begin(), entries.end(), std::back_inserter(bare), isBareName);
    std::vector<bool> had = expandEntries(archive, withoutSlash(folder), bare);
    std::vector<std::string> extracted;
    std::size_t k = 0;
    for (const std::string& entry : entries) {
        if (!isBareName(entry)) {
            skipped(entry, true);
        } else if (!had[k++]) {
            skipped(entry, false);
        } else {
            extracted.push_back(entry);
        }
    }
    return extracted;
}

std::vector<std::string> bareOnly(const std::vector<std::string>& names) {
    std::vector<std::string> out;
    std::copy_if(names.begin(), names.end(), std::back_inserter(out), isBareName);
    return out;
}

// One document of an answer that cannot be had: logged with the archive's
// name and its own, and left out; the others of the pass go on.
void skipDocument(const char* source, const std::string& folder, const std::string& archive,
                  const std::string& document, const char* why) {
    logError(source, errs::DocumentNotExpanded,
             folder + " 文書を飛ばしました (" + why + "): アーカイブ " + archive + ", 文書 \"" + document + "\"");
}

}  // namespace

EDIControl::EDIControl(EventPump* pump) : mobjFaxTranXml(std::make_unique<FaxTranXml>(pump)) {}

EDIControl::~EDIControl() = default;

bool EDIControl::buildBatch(const std::vector<GET_FILE>& udtData, const std::string& reportType) {
    if (batchBuilder_) return batchBuilder_(udtData, reportType, "");
    return mobjFaxTranXml->makeFAXSendXML(udtData, reportType, "");
}

bool EDIControl::SendPortEndCheck() { return mobjFaxTranXml->SendPortEndCheck(); }

// ---------------------------------------------------------------------------
// Deletion routines

void EDIControl::delEdiXmlFile(const std::string& strEdiPath, const std::vector<std::string>& strEDIFile) {
    for (const std::string& name : strEDIFile) {
        if (name.empty()) continue;  // an unused entry of the caller's list
        if (!isBareName(name)) {
            // A name from the server that is not bare would reach outside
            // the work folder.
            logError("delEdiXmlFile", 0, "不正なファイル名は削除しません: \"" + name + "\"");
            continue;
        }
        (void)fs::removeFile(strEdiPath + name);
    }
}

void EDIControl::subDelGetFile(const std::string& folder, const std::vector<GET_FILE>& udtData) {
    for (const GET_FILE& record : udtData)
        for (std::int16_t j = 0; j < record.intCnt && j < static_cast<std::int16_t>(record.strGetFile.size()); ++j)
            (void)fs::removeFile(folder + record.strGetFile[j] + ".xml");
}

// ---------------------------------------------------------------------------
// The confirmation list

bool EDIControl::CreatePutConfirmXml(const std::string& strInfo, const std::string& strFilename) {
    try {
        std::string folder = workFolder(folders::kFetchRequest);
        if (folder.empty()) throw Error(errs::WorkFolderMissing, kNoWorkFolder);
        xml::Document doc;
        doc.appendChild(doc.createProcessingInstruction("xml", "version=\"1.0\" encoding=\"shift-jis\""));
        xml::Node puts = doc.appendChild(doc.createElement("Puts"));
        xml::Node put = puts.appendChild(doc.createElement("Put"));
        put.setText(strInfo);
        // The builder's receipt confirmation takes and deletes this file
        // under the same lock.
        RequestFolderLock lock(folder);
        doc.save(folder + strFilename);
        return true;
    } catch (...) {
        logCurrentError("CreatePutConfirmXml");
        return false;
    }
}

// ---------------------------------------------------------------------------
// The fetch pass of one information code

bool EDIControl::subGetEDIData(GET_FILE& udtData, const std::string& strInfoCode, std::string& strArchive) {
    udtData.intCnt = 0;
    std::string tempEdi = workFolder(folders::kMessages);
    std::string request = workFolder(folders::kFetchRequest);
    if (tempEdi.empty() || request.empty()) {
        logError("subGetEDIData", errs::WorkFolderMissing, kNoWorkFolder);
        return false;
    }
    Session session(ServerSettings::read());
    std::string download;
    const FetchPass pass{"getEDIData", strInfoCode, [&](xml::Document& doc) { subSetInfoCodeKind(doc, strInfoCode); },
                         [&](RequestReception& exchange, const std::string& zip) {
                             return exchange.getEdiData(session.methodRoot, zip, tempEdi);
                         },
                         errs::FetchNotPacked, errs::FetchRefused, answer::kNoDocuments};
    const auto ended = fetchAndTriage(session, request, tempEdi, pass, download, [&] {
        return receiptOwed(session, request, tempEdi, strInfoCode, download, "getEDIData", true);
    });
    // After the triage, which meets an owed archive offered again as owed.
    payDueReceipts(session, request, tempEdi, strInfoCode);
    if (ended) return *ended;

    std::string archive = tempEdi + download;
    Index index;
    std::optional<std::vector<std::string>> listed;
    if (!index.loadIndex({archive}, strInfoCode, {session.certificateKey}) || !(listed = entryNames(archive))) {
        (void)fs::removeFile(archive);
        logError("getEDIData", errs::IndexNotLoaded, tempEdi + download);
        // An answer that cannot be read is the answer's fault: it stays
        // unconfirmed, the server offers it again, and the other codes go on.
        // A failure of this installation (its column file, its folders)
        // stops the fetch.
        return index.loadFault() != Index::LoadFault::Installation;
    }
    std::vector<std::string> entries = bareOnly(*listed);
    expandIndexed(
        index, archive, tempEdi, download, *listed, "getEDIData",
        [](const std::vector<std::string>& row) { return row[3] == "0"; },
        [&](const std::string& supplier, const std::string& name) {
            udtData.intCnt++;
            udtData.strSupplier.push_back(supplier);
            udtData.strGetFile.push_back(cutAtDot(name));
        });
    (void)fs::removeFile(archive);
    if (udtData.intCnt > 0) {
        strArchive = download;
        return true;
    }
    return confirmAtOnce(session, request, tempEdi, strInfoCode, download, entries, "getEDIData", true);
}

// The receipt confirmation of an answer archive that kept no document.
bool EDIControl::confirmAtOnce(const Session& session, const std::string& requestFolder, const std::string& tempEdi,
                               const std::string& infoCode, const std::string& archive,
                               const std::vector<std::string>& entries, const char* source,
                               bool keepFilesOnPackFailure) {
    RequestFolderLock lock(requestFolder);
    return confirmed(documents::confirmReceipt(session, requestFolder, infoCode, documents::confirmIdOf(archive)),
                     requestFolder,
                     {tempEdi, entries, source, errs::ConfirmNotPacked, errs::ConfirmRefused, keepFilesOnPackFailure});
}

void EDIControl::payDueReceipts(const Session& session, const std::string& requestFolder, const std::string& tempEdi,
                                const std::string& infoCode) {
    for (const std::string& archive : documents::OwedReceipts::due(infoCode)) {
        logError("getEDIData", 0, "送信済みで受信確認が済んでいないアーカイブの受信を確認します: \"" + archive + "\"");
        try {
            (void)payOwed(session, requestFolder, tempEdi, infoCode, archive, "getEDIData", true, false);
        } catch (...) {
            logCurrentError("getEDIData");
        }
    }
}

bool EDIControl::payOwed(const Session& session, const std::string& requestFolder, const std::string& tempEdi,
                         const std::string& infoCode, const std::string& archive, const char* source,
                         bool keepFilesOnPackFailure, bool folderHeld) {
    documents::PayOptions options;
    if (folderHeld) options.held = {requestFolder};
    const documents::Confirmation done =
        documents::payReceipt({documents::kindOf(infoCode), infoCode, {archive}}, session, options);
    return confirmed(done, requestFolder,
                     {tempEdi, {}, source, errs::ConfirmNotPacked, errs::ConfirmRefused, keepFilesOnPackFailure});
}

std::optional<bool> EDIControl::receiptOwed(const Session& session, const std::string& requestFolder,
                                            const std::string& tempEdi, const std::string& infoCode,
                                            const std::string& archive, const char* source,
                                            bool keepFilesOnPackFailure) {
    const auto owed = documents::OwedReceipts::find(infoCode, archive);
    if (owed == documents::OwedReceipts::Owed::No) return std::nullopt;
    (void)fs::removeFile(tempEdi + archive);
    if (owed == documents::OwedReceipts::Owed::Pending) {
        // Its batch has groups left to hand over: confirmed now, they would
        // never be faxed; read again, the rest would go twice.
        logError(source, 0, "送信を渡し終えていないバッチのアーカイブです。受信を確認せずに残します: \"" + archive + "\"");
        return true;
    }
    logError(source, 0,
             "送信済みで受信確認が済んでいないアーカイブです。読み直さずに受信を確認します: \"" + archive + "\"");
    return payOwed(session, requestFolder, tempEdi, infoCode, archive, source, keepFilesOnPackFailure, true);
}

void EDIControl::expandIndexed(Index& index, const std::string& archive, const std::string& tempEdi,
                               const std::string& download, const std::vector<std::string>& entries,
                               const char* source, const std::function<bool(const std::vector<std::string>&)>& wanted,
                               const std::function<void(const std::string&, const std::string&)>& take) {
    if (!hasIndexEntry(entries)) {
        // Its receipt is confirmed all the same, so its documents never come
        // again: the log names them, as nothing else will.
        const std::string held = text::quotedList(entries);
        logError(source, errs::ArchiveWithoutIndex,
                 "index.csv のないアーカイブです。何も送信せずに受信を確認します: \"" + download + "\" 内容: " +
                     (held.empty() ? "(なし)" : held));
        return;
    }
    // The documents the index lists, supplier by supplier, in the order the
    // walk meets them; all that can be had are extracted together.
    struct Document {
        std::string supplier, name;
        enum { BadName, Absent, Extract } kind;
    };
    std::vector<Document> documents;
    std::unordered_set<std::u32string> stored;
    for (const std::string& entry : entries) stored.insert(text::caseFolded(entry));
    std::vector<std::string> names;
    for (const std::string& supplier : index.getList("Supplier-code", false)) {
        if (supplier.empty()) continue;  // the index lists no supplier
        for (const auto& row : index.getSearchedListXArray("Supplier-code", supplier)) {
            if (row.size() < 10 || (wanted && !wanted(row))) continue;
            const std::string& name = row[9];
            // The name must be a bare file name, and one with a "." to be
            // recorded up to it. One the archive does not hold (as
            // extraction matches names) cannot be extracted.
            if (!isBareName(name) || name.find('.') == std::string::npos) {
                documents.push_back({supplier, name, Document::BadName});
            } else if (!stored.count(text::caseFolded(name))) {
                documents.push_back({supplier, name, Document::Absent});
            } else {
                documents.push_back({supplier, name, Document::Extract});
                names.push_back(name);
            }
        }
    }
    std::vector<bool> had = expandEntries(archive, withoutSlash(tempEdi), names);
    std::size_t k = 0;
    for (const Document& d : documents) {
        if (d.kind == Document::BadName) {
            skipDocument(source, tempEdi, download, d.name, "不正な文書名");
        } else if (d.kind == Document::Absent || !had[k++]) {
            skipDocument(source, tempEdi, download, d.name, "書庫から取り出せません");
        } else {
            take(d.supplier, d.name);
        }
    }
}

bool EDIControl::deleteReminders(const Session& session, const std::string& requestFolder,
                                 const std::vector<std::string>& names, bool onlyWhileOwed) {
    const documents::Confirmation done = documents::payReceipt(
        {documents::Receipt::Kind::Reminders, "", names}, session, {{requestFolder}, true, onlyWhileOwed});
    // The reminder files are gone already: a failed deletion has nothing
    // more to delete.
    return confirmed(done, requestFolder,
                     {"", {}, "subGetFaxReminder", errs::ReminderConfirmNotPacked, errs::ReminderConfirmRefused, false});
}

bool EDIControl::confirmed(const documents::Confirmation& done, const std::string& requestFolder,
                           const ConfirmFailure& failure) {
    // Not owed any more (the receipts owed could not be read again): there
    // is nothing to pay, and it is not read again either.
    if (done || done.outcome == documents::Confirmation::Outcome::NotOwed) return true;
    delEdiXmlFile(failure.tempEdi, failure.entries);
    if (done.outcome == documents::Confirmation::Outcome::Refused) {
        logError(failure.source, failure.refused, done.detail);
        return true;
    }
    if (!failure.keepFilesOnPackFailure) deleteRequestFiles(requestFolder);
    logError(failure.source, failure.notPacked, done.detail);
    return false;
}

// ---------------------------------------------------------------------------
// The scheduled fetch

bool EDIControl::subCheckMaker(const std::vector<GET_FILE>& udtData, std::vector<std::string>& strRegistered) {
    strRegistered.clear();
    try {
        std::vector<std::pair<std::string, bool>> suppliers;
        std::unique_ptr<MakerInfo> makers;
        for (const GET_FILE& record : udtData) {
            for (std::int16_t j = 0; j < record.intCnt; ++j) {
                const std::string& code = record.strSupplier.at(j);
                auto seen = std::find_if(suppliers.begin(), suppliers.end(),
                                         [&](const auto& s) { return s.first == code; });
                if (seen != suppliers.end()) continue;
                if (!makers) makers = std::make_unique<MakerInfo>();
                suppliers.emplace_back(code, makers->getMakerInfo(code, "", false));
            }
        }
        for (const auto& [code, registered] : suppliers)
            if (registered) strRegistered.push_back(code);
        return true;
    } catch (...) {
        // Without this line a broken supplier folder would stop every fetch
        // without a trace.
        logCurrentError("getEDIData");
        return false;
    }
}

bool EDIControl::getEDIData(const std::string& strEDIDataType) {
    // A batch reads the store and the send log several times over: their
    // buffers serve one read after another until the pass ends.
    fs::ReusedReads reusedReads;
    try {
        if (strEDIDataType != "0") return subGetFaxReminder();

        constexpr std::size_t fetches = std::size(kFetchCodes);
        std::vector<GET_FILE> fetched(fetches);
        std::vector<std::string> archives(fetches);
        for (std::size_t k = 0; k < fetches; ++k)
            if (!subGetEDIData(fetched[k], kFetchCodes[k], archives[k])) return false;

        std::vector<std::string> registered;
        if (!subCheckMaker(fetched, registered)) return false;

        std::string tempEdi = workFolder(folders::kMessages);
        std::vector<GET_FILE> batch(fetches);
        for (std::size_t k = 0; k < fetches; ++k) {
            const GET_FILE& record = fetched[k];
            if (record.intCnt > 0) batch[k].strInfoType = kFetchCodes[k];
            for (std::int16_t j = 0; j < record.intCnt; ++j) {
                const std::string& supplier = record.strSupplier[j];
                if (std::find(registered.begin(), registered.end(), supplier) != registered.end()) {
                    batch[k].intCnt++;
                    batch[k].strSupplier.push_back(supplier);
                    batch[k].strGetFile.push_back(record.strGetFile[j]);
                } else {
                    // Nobody would ever fax or delete it.
                    (void)fs::removeFile(tempEdi + record.strGetFile[j] + ".xml");
                    logError("getEDIData", errs::UnregisteredSupplier,
                             "未登録の受注者の文書を削除しました: 受注者コード=" + supplier + ", " +
                                 record.strGetFile[j] + ".xml (" + kFetchCodes[k] + ")");
                }
            }
        }
        if (registered.empty()) return true;

        std::string names = archives[0] + "," + archives[1] + "," + archives[2] + "," + archives[3];
        if (!CreatePutConfirmXml(names, kPutConfirmFax)) {
            subDelGetFile(tempEdi, batch);
            return false;
        }
        bool built = buildBatch(batch, "");
        subDelGetFile(tempEdi, batch);
        return built;
    } catch (...) {
        logCurrentError("getEDIData");
        return false;
    }
}

bool EDIControl::subGetFaxReminder() {
    std::string tempEdi = workFolder(folders::kMessages);
    std::string request = workFolder(folders::kReminderRequest);
    if (tempEdi.empty() || request.empty()) {
        logError("subGetFaxReminder", errs::ReminderFolderMissing, kNoWorkFolder);
        return false;
    }
    Session session(ServerSettings::read());
    std::string download;
    std::optional<std::vector<std::string>> listed;
    std::vector<std::string> fresh;
    bool owedDeleted = true;
    const FetchPass pass{"subGetFaxReminder", "", nullptr,
                         [&](RequestReception& exchange, const std::string& zip) {
                             return exchange.getFaxReminder(session.methodRoot, zip, tempEdi);
                         },
                         errs::ReminderNotPacked, errs::ReminderRefused, answer::kNoReminders};
    if (auto ended = fetchAndTriage(session, request, tempEdi, pass, download, [&] {
            return owedReminders(session, request, tempEdi, download, listed, fresh, owedDeleted);
        }))
        return *ended;
    const std::string archive = tempEdi + download;
    std::vector<std::string> entries =
        expandEach(archive, tempEdi, fresh, [&](const std::string& entry, bool badName) {
            skipDocument("subGetFaxReminder", tempEdi, download, entry, badName ? "不正な文書名" : "書庫から取り出せません");
        });
    (void)fs::removeFile(archive);
    std::vector<GET_FILE> batch(1);
    for (const std::string& entry : entries) {
        if (text::toUpperAscii(entry).find(".XML") == std::string::npos) continue;
        batch[0].intCnt++;
        batch[0].strGetFile.push_back(entry);
    }
    // Owed reminders (or names left out) and nothing new: nothing to fax.
    if (batch[0].intCnt == 0 && fresh.size() != listed->size()) {
        delEdiXmlFile(tempEdi, entries);
        return owedDeleted;
    }
    bool built = buildBatch(batch, documents::report::ReminderBatch);
    delEdiXmlFile(tempEdi, entries);
    if (!built) return false;
    // An entry the batch left out was neither faxed nor owed: the server
    // keeps it, and offers it again. An answer of no list at all is still
    // answered with its (empty) deletion, as it always was.
    std::vector<std::string> faxed;
    for (const std::string& entry : batch[0].strGetFile)
        if (std::ranges::find(mobjFaxTranXml->leftOutReminders(), entry) == mobjFaxTranXml->leftOutReminders().end())
            faxed.push_back(entry);
    if (faxed.empty() && !batch[0].strGetFile.empty()) return owedDeleted;
    RequestFolderLock lock(request);
    return deleteReminders(session, request, faxed, false) && owedDeleted;
}

std::optional<bool> EDIControl::owedReminders(const Session& session, const std::string& request,
                                              const std::string& tempEdi, const std::string& download,
                                              std::optional<std::vector<std::string>>& listed,
                                              std::vector<std::string>& fresh, bool& owedDeleted) {
    const std::string archive = tempEdi + download;
    listed = entryNames(archive);
    if (!listed) {
        // The answer's fault: unconfirmed, the server offers it again.
        (void)fs::removeFile(archive);
        logError("subGetFaxReminder", errs::ReminderNotExpanded, "[Directory:" + tempEdi + "] " + download);
        return true;
    }
    // The server keeps a reminder until it is told to delete it, and offers
    // it again in any archive, beside new ones. An entry a batch owes the
    // deletion of is not read again: once every group of its batch is
    // handed over, its deletion is asked for now; before that, it waits for
    // the supervisor to hand the rest over. An entry whose name the receipts
    // owed cannot record is left out alone: in the batch, it would fail the
    // whole pass on every fetch.
    std::vector<std::string> owedNow, pending;
    for (const std::string& entry : *listed) {
        if (!documents::OwedReceipts::recordable(entry)) {
            skipDocument("subGetFaxReminder", tempEdi, download, entry, "不正な文書名");
            continue;
        }
        const auto owed = documents::OwedReceipts::find(documents::OwedReceipts::kReminder, entry);
        (owed == documents::OwedReceipts::Owed::No ? fresh
         : owed == documents::OwedReceipts::Owed::Yes ? owedNow
                                                       : pending)
            .push_back(entry);
    }
    if (!pending.empty())
        logError("subGetFaxReminder", 0,
                 "送信を渡し終えていないバッチの督促です。削除を依頼せずに残します: " + text::quotedList(pending));
    if (!owedNow.empty()) {
        logError("subGetFaxReminder", 0,
                 "送信済みで削除の依頼が済んでいない督促です。読み直さずに削除を依頼します: " + text::quotedList(owedNow));
        // Its failure must not keep the new reminders beside them from
        // their faxes: they stay owed, and are asked for again when offered.
        try {
            owedDeleted = deleteReminders(session, request, owedNow, true);
        } catch (...) {
            logCurrentError("subGetFaxReminder");
            deleteRequestFiles(request);
            owedDeleted = false;
        }
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------
// The upload of answers

bool EDIControl::putEDIData(const std::vector<xml::Document>& objEDIData, const std::string& strEdiType) {
    try {
        const std::string uploads = workFolder(folders::kUploadRequest);
        if (uploads.empty()) throw Error(errs::UploadNotPrepared, kNoWorkFolder);
        Session session(ServerSettings::read());
        // Each upload packs and posts in a folder of its own below the
        // upload folder, made under a name no other exchange can take and
        // removed with all it holds at the end, so that uploads of other
        // processes (one per telephone decision) run side by side instead of
        // waiting for each other's whole batch, and never post each other's
        // request. What killed uploaders left is swept here and by the
        // server's start.
        fs::removeTemporariesOfEndedWriters(uploads);
        const fs::TempFolder own(uploads, ".put");
        const std::string& data = own.path();
        const std::string& request = own.path();
        xml::Document doc = newRequest(session);
        subSetInfoCode(doc, strEdiType);
        doc.save(request + kRequestXml);
        std::vector<std::string> files{request + kRequestXml, data + kDataXml};
        RequestReception exchange;
        exchange.setCertificateKey(session.certificateKey);
        for (const xml::Document& answer : objEDIData) {
            answer.save(data + kDataXml);
            long packed = documents::packZip(kRequestZip, files);
            if (packed != 0) {
                deleteRequestFiles(request);
                subDelDataFile(data);
                logError("putEDIData", errs::UploadNotPrepared, std::string(kRequestXml) + "[ErrCode:" + std::to_string(packed) + "]");
                return false;
            }
            prepare(exchange, session, strEdiType, kRequestZip);
            std::string code = exchange.putEdiData(session.methodRoot, request + kRequestZip);
            if (!isSuccess(code)) {
                deleteRequestFiles(request);
                subDelDataFile(data);
                logError("putEDIData", errs::UploadRefused, "[ErrCode:" + code + "]");
                return false;
            }
            deleteRequestFiles(request, false);
            subDelDataFile(data);
        }
        deleteRequestFiles(request);
        subDelDataFile(data);
        return true;
    } catch (...) {
        logCurrentError("putEDIData");
        return false;
    }
}

// ---------------------------------------------------------------------------
// The supplier refresh

namespace {

// This client's supplier code: the Supplier-code child of the document
// element of the first entry of the first answer archive.
bool getSupplierCodeText(const std::string& path, std::string& code) {
    try {
        xml::Document doc;
        if (!doc.load(path) || doc.parseError().errorCode != 0) return false;
        xml::Node root = doc.documentElement();
        if (root.isNull()) return false;
        xml::Node child = root.selectSingleNode("Supplier-code");
        if (child.isNull()) return false;
        code = child.text();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// Expands every entry of a supplier answer archive whose name is bare; when
// the archive cannot be read or an entry not extracted, nothing of it stays
// and SupplierNotExpanded is logged: a refresh from part of an answer would
// drop the suppliers left out.
bool expandSupplierArchive(EDIControl& control, const std::string& archive, const std::string& tempEdi,
                           std::vector<std::string>& entries) {
    std::optional<std::vector<std::string>> listed = entryNames(archive);
    bool whole = listed.has_value();
    entries = !listed ? std::vector<std::string>{}
                      : expandEach(archive, tempEdi, *listed, [&](const std::string& entry, bool badName) {
                            if (badName)
                                logError("getMakerInfoData", 0,
                                         "アーカイブの不正なファイル名を飛ばしました: \"" + entry + "\" (" + archive + ")");
                            else
                                whole = false;
                        });
    if (!whole) {
        control.delEdiXmlFile(tempEdi, entries);
        (void)fs::removeFile(archive);
        logError("getMakerInfoData", errs::SupplierNotExpanded, "[Directory:" + tempEdi + "] " + archive);
        return false;
    }
    return true;
}

}  // namespace

bool EDIControl::keepMakerDocuments(const std::string& folder, const std::string& supplierCode,
                                    const std::vector<std::string>& names, std::vector<std::string>& kept) {
    kept.clear();
    for (const std::string& name : names) {
        if (!isBareName(name)) continue;  // logged when the archive was expanded
        xml::Document doc;
        if (!doc.load(folder + name) || doc.parseError().errorCode != 0) return false;
        xml::Node root = doc.documentElement();
        xml::Node relative = root.isNull() ? xml::Node() : root.selectSingleNode("Relative-client-code");
        if (relative.isNull()) return false;
        if (relative.text() == supplierCode) kept.push_back(name);
    }
    return true;
}

bool EDIControl::getMakerInfoData() {
    try {
        std::string tempEdi = workFolder(folders::kMessages);
        std::string request = workFolder(folders::kMessages);
        if (tempEdi.empty() || request.empty()) {
            logError("getMakerInfoData", errs::MakerFolderMissing, kNoWorkFolder);
            return false;
        }
        Session session(ServerSettings::read());
        std::vector<std::string> entries;
        std::string supplierCode;
        std::string code;
        std::string download;
        {
            // The request files serve both exchanges of the refresh.
            RequestFolderLock lock(request);
            if (documents::packRequest(session, request, nullptr) != 0) {
                deleteRequestFiles(request);
                logError("getMakerInfoData", errs::SupplierNotPacked, tempEdi + kRequestXml);
                return false;
            }
            RequestReception exchange;
            prepare(exchange, session, "", "");
            code = exchange.getSupplierCode(session.methodRoot, request + kRequestZip, tempEdi);
            if (code == answer::kNoSupplierData) {
                deleteRequestFiles(request);
                return true;
            }
            if (!isSuccess(code)) {
                deleteRequestFiles(request);
                logError("getMakerInfoData", errs::SupplierRefused, std::string(kRequestXml) + "[getSupplierCode:ErrCode:" + code + "]");
                return true;
            }
            download = exchange.DownloadFileName();
            if (!isBareName(download)) {
                deleteRequestFiles(request);
                logError("getMakerInfoData", errs::SupplierNotExpanded, "[Directory:" + tempEdi + "] 不正なファイル名: \"" + download + "\"");
                return false;
            }
            std::string first = tempEdi + download;
            if (!expandSupplierArchive(*this, first, tempEdi, entries)) {
                deleteRequestFiles(request);
                return false;
            }
            bool read = !entries.empty() && isBareName(entries[0]) &&
                        getSupplierCodeText(tempEdi + entries[0], supplierCode);
            delEdiXmlFile(tempEdi, entries);
            (void)fs::removeFile(first);
            if (!read) {
                deleteRequestFiles(request);
                logError("getMakerInfoData", errs::SupplierCodeUnread, "[Directory:" + tempEdi + "]");
                return false;
            }

            prepare(exchange, session, "", "");
            code = exchange.getFaxMaker(session.methodRoot, request + kRequestZip, tempEdi);
            download = exchange.DownloadFileName();
            deleteRequestFiles(request);
        }
        if (code == answer::kNoSupplierData) return true;
        if (!isSuccess(code)) {
            logError("getMakerInfoData", errs::SupplierRefused, std::string(kRequestXml) + "[ErrCode:" + code + "]");
            return true;
        }
        if (!isBareName(download)) {
            logError("getMakerInfoData", errs::SupplierNotExpanded, "[Directory:" + tempEdi + "] 不正なファイル名: \"" + download + "\"");
            return false;
        }
        std::string second = tempEdi + download;
        if (!expandSupplierArchive(*this, second, tempEdi, entries)) return false;
        (void)fs::removeFile(second);

        std::vector<std::string> kept;
        if (!keepMakerDocuments(tempEdi, supplierCode, entries, kept)) {
            delEdiXmlFile(tempEdi, entries);
            logError("getMakerInfoData", errs::SupplierRecordsUnread, "");
            return false;
        }
        bool stored = true;
        if (kept.empty()) {
            // An answer with no record of this client is no reason to lose
            // the suppliers this server faxes to.
            logError("getMakerInfoData", 0,
                     "この得意先のメーカ情報がありません。登録済みのメーカ情報はそのままです (受注者コード=" +
                         supplierCode + ")");
        } else {
            stored = MakerInfo().saveMakerInfo(kept);
        }
        delEdiXmlFile(tempEdi, entries);
        return stored;
    } catch (...) {
        logCurrentError("getMakerInfoData");
        return false;
    }
}

// ---------------------------------------------------------------------------
// The order-balance fetch

bool EDIControl::getOrderBalanceData(const std::string& /*strFaxNo*/, std::vector<GET_FILE>& udtAllData,
                                     std::vector<std::string>& strDelAry) {
    try {
        udtAllData.assign(1, GET_FILE{});
        GET_FILE& record = udtAllData[0];
        std::string tempEdi = workFolder(folders::kMessages);
        std::string request = workFolder(folders::kOrderRequest);
        if (tempEdi.empty() || request.empty()) {
            logError("getOrderBalanceData", errs::WorkFolderMissing, kNoWorkFolder);
            return false;
        }
        Session session(ServerSettings::read());
        std::string download;
        const FetchPass pass{"getOrderBalanceData", infocode::ORDERBALANCE,
                             [](xml::Document& doc) { subSetInfoCodeKind(doc, infocode::ORDERBALANCE); },
                             [&](RequestReception& exchange, const std::string& zip) {
                                 return exchange.getEdiData(session.methodRoot, zip, tempEdi);
                             },
                             errs::OrderBalanceNotPacked, errs::FetchRefused, answer::kNoDocuments};
        if (auto ended = fetchAndTriage(session, request, tempEdi, pass, download, [&] {
                return receiptOwed(session, request, tempEdi, infocode::ORDERBALANCE, download,
                                   "getOrderBalanceData", false);
            }))
            return *ended;
        std::string archive = tempEdi + download;
        Index index;
        std::optional<std::vector<std::string>> listed;
        if (!index.loadIndex({archive}, infocode::ORDERBALANCE, {session.certificateKey}) || !(listed = entryNames(archive))) {
            // Left behind, the archive would lie in the work folder for good.
            (void)fs::removeFile(archive);
            logError("getOrderBalanceData", errs::IndexNotLoaded, tempEdi + download);
            return false;
        }
        strDelAry = bareOnly(*listed);
        expandIndexed(index, archive, tempEdi, download, *listed, "getOrderBalanceData", nullptr,
                      [&](const std::string& supplier, const std::string& name) {
                          if (!MakerInfo().getMakerInfo(supplier, "", false)) return;
                          record.intCnt++;
                          record.strGetFile.push_back(cutAtDot(name));
                          record.strSupplier.push_back(supplier);
                      });
        (void)fs::removeFile(archive);
        if (record.intCnt > 0) {
            if (CreatePutConfirmXml(download, kPutConfirmOrderFax)) return true;
            delEdiXmlFile(tempEdi, strDelAry);
            logError("getOrderBalanceData", errs::ConfirmRefused, "[取得確認用XMLファイル作成失敗]");
            return false;
        }
        return confirmAtOnce(session, request, tempEdi, infocode::ORDERBALANCE, download, strDelAry, "getOrderBalanceData",
                             false);
    } catch (...) {
        logCurrentError("getOrderBalanceData");
        return false;
    }
}

}  // namespace fg
