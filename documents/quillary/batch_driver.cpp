// makeFAXSendXML: one batch of EDI message files (or stored documents) made
// into faxes: built, laid out, rendered, handed to send ports, confirmed.
//
// What a failed batch leaves behind: every document that was built but will
// not be handed to a port is rolled back (its record, files and layout
// deleted), whichever step failed and however (a False or a raised error);
// groups already handed over keep their records, as their faxes go on. A by-code
// batch that fails also discards its confirmation file, so that no later
// batch confirms files whose faxes were never sent: the EDI server keeps
// them unconfirmed and offers them again.
#include "documents/quillary/fax_tran_xml.h"

#include "documents/quillary/grouping.h"
#include "documents/quillary/page_lists.h"
#include "fax_images/pellior/fax_rep_img.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"
#include "documents/report_maker/fax_report_maker.h"
#include "platform/processed_file_hook.h"
#include "platform/request_folder_lock.h"
#include "settings/fax_manage_num.h"
#include "settings/maker_info.h"

#include <algorithm>
#include <exception>
#include <map>
#include <optional>
#include <set>

namespace fg {

namespace {

namespace report = documents::report;

constexpr const char* kSource = "makeFAXSendXML";

// Removes the files that the records of a roll-back listed and that no
// record left in the store lists: nothing will send or read them.
void removeUnlistedFiles(const documents::ListedFiles& removed) {
    const documents::ListedFiles kept = documents::readListedFiles();
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
}

// Record, files and layout of each number; one that cannot be removed does
// not stop the others, and is noted for the person who looks after the store.
// The files a record lists (its fax document and base copy, G3 pages and
// reference copies) are read before it goes and removed after it, unless
// another record lists them too: a record is never left without its files.
void rollBackNumbers(const std::vector<std::string>& numbers) noexcept {
    if (numbers.empty()) return;
    std::optional<documents::ListedFiles> listed;
    try {
        listed = documents::readListedFiles(&numbers);
    } catch (...) {
        // A store that cannot be read keeps the files: better a file too
        // many than one a record still lists.
        writeDebugLine("FaxTranXml", "管理番号のファイルを読めません: " + currentError().description());
    }
    try {
        FaxManageNum store;
        FaxReportMaker maker;
        for (const auto& n : numbers) {
            try {
                if (!store.delManageNum(n)) writeDebugLine("FaxTranXml", "管理番号を削除できません: " + n);
                bool ok = false;
                maker.deleteReport(n, ok);
            } catch (...) {
                writeDebugLine("FaxTranXml", "管理番号 " + n + " を戻せません: " + currentError().description());
            }
        }
        if (listed) removeUnlistedFiles(*listed);
    } catch (...) {
        writeDebugLine("FaxTranXml", "管理番号を戻せません: " + currentError().description());
    }
}

// The layouts only (documents whose records this batch did not make).
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

void discardConfirmation() noexcept {
    try {
        const std::string folder = FolderPathInfo().getFolderPath(documents::folders::kRequest);
        const std::string list = folder + documents::kConfirmList;
        RequestFolderLock lock(folder);
        if (fs::fileExists(list) && fs::removeFile(list))
            writeDebugLine(kSource, "送信できなかったバッチの受信確認ファイルを破棄しました: " + list);
    } catch (...) {
        logCurrentError(kSource);
    }
}

void removeAll(std::vector<std::string>& from, const std::vector<std::string>& numbers) {
    for (const auto& n : numbers) {
        auto it = std::find(from.begin(), from.end(), n);
        if (it != from.end()) from.erase(it);
    }
}

void append(std::vector<std::string>& to, const std::vector<std::string>& numbers) {
    to.insert(to.end(), numbers.begin(), numbers.end());
}

}  // namespace

// The numbers of the running batch that will not be sent if it fails now.
struct FaxTranXml::Batch {
    std::vector<std::string> unsent;  // built (or laid out again) and not yet handed over
    bool relayout = false;            // the documents were there before the batch
    std::map<std::string, documents::PageLists> pagesBefore;  // relayout: the lists to restore
    FaxReportMaker reportMaker;

    bool report(const std::string& number, const std::string& type, std::string& workbook) {
        bool ok = false;
        reportMaker.makeReport({number}, type, workbook, ok);
        return ok;
    }
    void handedOver(const std::vector<std::string>& numbers) { removeAll(unsent, numbers); }
    void rollBack() noexcept {
        if (!unsent.empty()) {
            std::string list;
            for (const auto& n : unsent) list += (list.empty() ? "" : ",") + n;
            writeDebugLine(kSource, std::string(relayout ? "送信しないレイアウトを削除します: "
                                                         : "送信しない帳票の管理番号を戻します: ") + list);
        }
        if (relayout) {
            deleteReports(unsent);
            for (const auto& [number, lists] : pagesBefore) {
                try {
                    documents::writePageLists(number, lists);
                } catch (const Error& e) {
                    ErrorLogWriter().writeError(kSource, e);
                }
            }
        } else {
            rollBackNumbers(unsent);
        }
        unsent.clear();
    }
};

bool FaxTranXml::renderPages(const std::vector<std::string>& numbers, const std::vector<std::string>& workbooks,
                             const std::string& reportType) {
    if (renderer_) return renderer_(numbers, workbooks, reportType);
    return mobjFaxRepImg->makeFAXImage(numbers, workbooks, reportType);
}

void FaxTranXml::delManageOrderBalance(const std::vector<std::string>& strRepNo) { rollBackNumbers(strRepNo); }

void FaxTranXml::EditData(const std::vector<GET_FILE>& udtData, std::vector<Edit_File>& udtEdit) {
    documents::editData(udtData, udtEdit);
}

bool FaxTranXml::makeFAXSendXML(const std::vector<GET_FILE>& udtData, const std::string& strReportType,
                                const std::string& strFaxNo) {
    // A batch begun in the same second as the last one continues its
    // counter, so the two batches cannot make the same number.
    beginBatch();
    Batch batch;
    const bool byCode = strReportType != report::ReminderBatch && strReportType != report::UnansweredItems &&
                        strReportType != report::OrderBalances && strReportType != report::RelayoutBatch;
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
        batch.rollBack();
        if (byCode) discardConfirmation();
        return false;
    }
    return PutConfirmFax();
}

// Each group that made a fax goes to a free port, one after another; what
// was handed over is no longer the batch's to roll back.
bool FaxTranXml::handOverGroups(Batch& batch, const std::vector<std::vector<std::string>>& groupNumbers) {
    for (const auto& numbers : groupNumbers) {
        if (numbers.empty()) continue;
        if (!sendFAXOnFreePort(numbers)) return false;
        batch.handedOver(numbers);
    }
    return true;
}

bool FaxTranXml::runByCodeBatch(Batch& batch, const std::vector<GET_FILE>& udtData, const std::string& strReportType) {
    // The builder and report type of each information code; a group's
    // entries of any other code build nothing.
    using Builder = bool (FaxTranXml::*)(const std::vector<std::string>&, std::vector<std::string>&);
    static const struct {
        const char* code;
        const char* type;
        Builder build;
    } forms[] = {
        {infocode::RFQ, report::QuotationRequest, &FaxTranXml::makeEstiRequest},
        {infocode::ORDER, report::OrderSheet, &FaxTranXml::makeOrderSheet},
        {infocode::REQUEST, report::DeliveryDateConfirmation, &FaxTranXml::makeLimitConfirmList},
        {infocode::ADVANCE, report::PayablesNotice, &FaxTranXml::makeCreditDetail},
    };
    std::vector<documents::SUPPLIER_GROUP> groups;
    documents::makeGetFileList(udtData, groups);
    std::vector<std::vector<std::string>> groupNumbers;
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
            // A builder that fails has rolled back its own records.
            if (!(this->*form->build)(info.strFileName, made)) return false;
            append(batch.unsent, made);
            for (const auto& number : made) {
                std::string workbook;
                if (!batch.report(number, form->type, workbook)) return false;
                numbers.push_back(number);
            }
        }
        // A group of none of the four codes makes no fax.
        if (!numbers.empty() && !renderPages(numbers, numbers, strReportType)) return false;
        groupNumbers.push_back(std::move(numbers));
    }
    return handOverGroups(batch, groupNumbers);
}

bool FaxTranXml::runReminderBatch(Batch& batch, const std::vector<GET_FILE>& udtData) {
    if (udtData.empty()) throw Error::standard(errnum::SubscriptOutOfRange, kSource);
    const GET_FILE& record = udtData[0];
    std::vector<std::string> files(record.strGetFile.begin(),
                                   record.strGetFile.begin() +
                                       std::min<std::size_t>(record.strGetFile.size(),
                                                             static_cast<std::size_t>(std::max<int>(0, record.intCnt))));
    std::vector<WORKTABLE> worktable;
    if (!makeEstimLimitList(files, worktable)) return false;
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
        if (!numbers.empty() && !renderPages(numbers, numbers, report::ReminderBatch)) return false;
        groupNumbers.push_back(std::move(numbers));
    }
    return handOverGroups(batch, groupNumbers);
}

bool FaxTranXml::runUnansweredBatch(Batch& batch, const std::string& strFaxNo) {
    std::string number;
    if (!makeFAXTransaction(strFaxNo, number)) return false;
    batch.unsent.push_back(number);
    std::string workbook;
    if (!batch.report(number, report::UnansweredItems, workbook)) return false;
    if (!renderPages({number}, {workbook}, report::UnansweredItems)) return false;
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
        if (!makeOderBalanceList(group.strFileName, numbers, strFaxNo)) return false;
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
        if (!numbers.empty() && !renderPages(numbers, workbooks, report::OrderBalances)) return false;
        groupNumbers.push_back(std::move(numbers));
    }
    return handOverGroups(batch, groupNumbers);
}

bool FaxTranXml::runRelayoutBatch(Batch& batch, const std::vector<GET_FILE>& udtData) {
    // The documents and their records were made by earlier batches: a
    // failure here deletes the layouts it made and puts the page lists back,
    // never the records.
    batch.relayout = true;
    std::vector<std::string> numbers;
    for (std::size_t r = 0; r < 3 && r < udtData.size(); ++r) {
        const GET_FILE& record = udtData[r];
        const int count = std::min<int>(record.intCnt, static_cast<int>(record.strGetFile.size()));
        for (int k = 0; k < count; ++k) {
            const std::string& number = record.strGetFile[static_cast<std::size_t>(k)];
            std::string workbook = number;
            batch.unsent.push_back(number);
            if (!batch.report(number, report::StoredDocuments[r], workbook)) return false;
            numbers.push_back(number);
        }
    }
    if (numbers.empty()) return true;
    for (const auto& number : numbers)
        if (auto lists = documents::readPageLists(number)) batch.pagesBefore.emplace(number, *lists);
    if (!renderPages(numbers, numbers, report::RelayoutBatch)) return false;
    // The pipeline appended the new pages after the old ones: keep the new.
    for (const auto& [number, before] : batch.pagesBefore) {
        auto now = documents::readPageLists(number);
        if (!now) continue;
        documents::PageLists fresh;
        fresh.temp.assign(now->temp.begin() + std::min(before.temp.size(), now->temp.size()), now->temp.end());
        fresh.ref.assign(now->ref.begin() + std::min(before.ref.size(), now->ref.size()), now->ref.end());
        documents::writePageLists(number, fresh);
    }
    batch.pagesBefore.clear();
    return handOverGroups(batch, {numbers});
}

}  // namespace fg
