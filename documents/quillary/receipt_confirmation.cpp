#include "documents/quillary/receipt_confirmation.h"

#include "documents/quillary/catalogue.h"
#include "edi_transport/request_reception.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"
#include "platform/invariant.h"
#include "platform/request_folder_lock.h"
#include "platform/text.h"

#include <algorithm>
#include <optional>

namespace fg::documents {

namespace {

void setConfirmId(xml::Document& doc, const std::string& confirmId) {
    for (xml::Node request : doc.getElementsByTagName("Request")) {
        request.appendChild(doc.createElement("ConfirmID")).setText(confirmId);
        request.appendChild(doc.createElement("ClientKind")).setText("2");
    }
}

bool blank(const std::string& s) { return s.find_first_not_of(" \t\r\n\x0b\x0c") == std::string::npos; }

xml::Node listNode(const xml::Document& confirm, const std::string& path) {
    xml::Node put = confirm.selectSingleNode("/Puts/Put");
    if (!put) put = confirm.selectSingleNode("//Puts/Put");
    if (!put) throw Error(errnum::ObjectNotSet, "受信確認ファイルに Puts/Put がありません: " + path);
    return put;
}

xml::Document loadList(const std::string& path) {
    xml::Document confirm;
    if (!confirm.load(path))
        throw Error(errnum::PathFileAccessError, "受信確認ファイルを読めません: " + path + " " + confirm.parseError().reason);
    return confirm;
}

std::string readList(const std::string& path) { return listNode(loadList(path), path).text(); }

}  // namespace

std::string confirmIdOf(const std::string& archive) { return archive.substr(0, archive.find('.')); }

Confirmation postRequest(const ServerSettings& settings, const std::string& requestFolder,
                         const std::string& infoCode, const std::function<void(xml::Document&)>& complete,
                         const std::function<std::string(RequestReception&, const std::string& zip)>& post) {
    const long packed = packRequest(settings, requestFolder, complete);
    if (packed != 0)
        return {Confirmation::Outcome::NotPacked,
                requestFolder + kRequestXml + "[ErrorCode:]" + std::to_string(packed) + "]"};
    RequestReception exchange;
    exchange.setCertificateKey(settings.certificateKey);
    exchange.setServerCode(settings.makerCode);
    exchange.setInfoCode(infoCode);
    exchange.setAnswerFileName("");
    const std::string code = post(exchange, requestFolder + kRequestZip);
    deleteRequestFiles(requestFolder);
    if (isSuccess(code)) return {};
    return {Confirmation::Outcome::Refused, "[ErrCode:" + code + "]"};
}

Confirmation confirmReceipt(const ServerSettings& settings, const std::string& requestFolder,
                            const std::string& infoCode, const std::string& confirmId) {
    return postRequest(
        settings, requestFolder, infoCode, [&](xml::Document& doc) { setConfirmId(doc, confirmId); },
        [&](RequestReception& exchange, const std::string& zip) { return exchange.putConfirm(settings.methodRoot, zip); });
}

void setFileList(xml::Document& doc, const std::vector<std::string>& names) {
    for (xml::Node request : doc.getElementsByTagName("Request")) {
        xml::Node list = doc.createElement("FileList");
        for (const std::string& name : names) list.appendChild(doc.createElement("FileName")).setText(name);
        request.appendChild(list);
    }
}

Confirmation deleteReminders(const ServerSettings& settings, const std::string& requestFolder,
                             const std::vector<std::string>& names) {
    return postRequest(
        settings, requestFolder, "", [&](xml::Document& doc) { setFileList(doc, names); },
        [&](RequestReception& exchange, const std::string& zip) { return exchange.delFaxReminder(settings.methodRoot, zip); });
}

Receipt::Kind kindOf(const std::string& infoCode) {
    if (infoCode == OwedReceipts::kReminder) return Receipt::Kind::Reminders;
    return infoCode == infocode::ORDERBALANCE ? Receipt::Kind::OrderBalance : Receipt::Kind::Archive;
}

namespace {

// The fetch folder of a kind, then the folder its payment is packed in.
std::vector<std::string> foldersOf(Receipt::Kind kind) {
    FolderPathInfo info;
    const std::string request = info.getFolderPath(folders::kRequest);
    switch (kind) {
    case Receipt::Kind::Reminders:
        return {info.getFolderPath(folders::kReminderRequest)};
    case Receipt::Kind::OrderBalance:
        return {info.getFolderPath(folders::kOrderRequest), request};
    case Receipt::Kind::Archive:
        break;
    }
    return {request};
}

bool sameFolder(std::string a, std::string b) {
    while (a.size() > 1 && a.back() == '/') a.pop_back();
    while (b.size() > 1 && b.back() == '/') b.pop_back();
    return a == b;
}

}  // namespace

std::vector<Receipt> receiptsOf(const std::vector<OwedArchive>& owed) {
    std::vector<Receipt> receipts;
    Receipt reminders{Receipt::Kind::Reminders, "", {}};
    for (const OwedArchive& a : owed) {
        if (kindOf(a.infoCode) == Receipt::Kind::Reminders)
            reminders.names.push_back(a.name);
        else
            receipts.push_back({kindOf(a.infoCode), a.infoCode, {a.name}});
    }
    if (!reminders.names.empty()) receipts.push_back(std::move(reminders));
    return receipts;
}

Confirmation payReceipt(const Receipt& receipt, const ServerSettings& settings, const PayOptions& options) {
    const bool reminders = receipt.kind == Receipt::Kind::Reminders;
    checkInvariant(reminders || !receipt.names.empty(), "an archive's receipt names the archive");
    const std::vector<std::string> folders = foldersOf(receipt.kind);
    std::vector<RequestFolderLock> locks;
    locks.reserve(folders.size());
    for (const std::string& folder : folders) {
        if (std::any_of(options.held.begin(), options.held.end(), [&](const std::string& h) { return sameFolder(h, folder); }))
            continue;
        locks.push_back(options.wait ? RequestFolderLock(folder) : RequestFolderLock::tryLock(folder));
        if (!locks.back().held()) return {Confirmation::Outcome::FolderBusy, "[要求フォルダ使用中:" + folder + "]"};
    }
    std::vector<OwedArchive> owed;
    for (const std::string& name : receipt.names) {
        const OwedArchive a{reminders ? OwedReceipts::kReminder : receipt.infoCode, name};
        if (!options.onlyWhileOwed || OwedReceipts::find(a.infoCode, a.name) == OwedReceipts::Owed::Yes) owed.push_back(a);
    }
    // A reminder list the fetch built from an answer of no entry is
    // deleted all the same, with an empty list, as it always was.
    if (owed.empty() && options.onlyWhileOwed) return {Confirmation::Outcome::NotOwed, ""};
    std::vector<std::string> names;
    for (const OwedArchive& a : owed) names.push_back(a.name);
    const Confirmation done = reminders ? deleteReminders(settings, folders.back(), names)
                                        : confirmReceipt(settings, folders.back(), receipt.infoCode, confirmIdOf(names.front()));
    if (done) OwedReceipts::paid(owed);
    return done;
}

namespace {

const std::string& codeAt(const ConfirmationList& list, std::size_t i) {
    return list.infoCodes.at(std::min(i, list.infoCodes.size() - 1));
}

}  // namespace

std::vector<OwedArchive> listedArchives(const std::string& requestFolder, const ConfirmationList& list) {
    RequestFolderLock lock(requestFolder);
    const std::string path = requestFolder + list.fileName;
    std::vector<OwedArchive> archives;
    if (!fs::fileExists(path)) return archives;
    const std::vector<std::string> entries = text::split(readList(path), ',');
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (!blank(entries[i])) archives.push_back({codeAt(list, i), entries[i]});
    return archives;
}

bool confirmListed(const std::string& requestFolder, const ConfirmationList& list) {
    // One confirmation at a time in the request folder: the EDI control and
    // the job programs pack and post their own requests there. Order
    // balances are paid under their fetch's folder too, locked first.
    const bool orders = std::find(list.infoCodes.begin(), list.infoCodes.end(), infocode::ORDERBALANCE) != list.infoCodes.end();
    PayOptions held{{requestFolder}, true, false};
    std::optional<RequestFolderLock> fetchLock;
    if (orders) {
        held.held.push_back(FolderPathInfo().getFolderPath(folders::kOrderRequest));
        fetchLock.emplace(held.held.back());
    }
    RequestFolderLock lock(requestFolder);
    const std::string path = requestFolder + list.fileName;
    if (!fs::fileExists(path)) return true;
    std::string names;
    try {
        names = readList(path);
    } catch (...) {
        (void)fs::removeFile(path);
        throw;
    }
    // From here on the file is gone, whatever happens: a confirmation is
    // never sent twice.
    (void)fs::removeFile(path);

    const std::vector<std::string> entries = text::split(names, ',');
    const ServerSettings settings = ServerSettings::read();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (blank(entries[i])) continue;
        const std::string& infoCode = codeAt(list, i);
        const Confirmation done = payReceipt({kindOf(infoCode), infoCode, {entries[i]}}, settings, held);
        if (done) continue;
        if (list.failed) list.failed(done);
        return done.outcome == Confirmation::Outcome::Refused;
    }
    return true;
}

std::vector<std::string> holdListed(const std::string& requestFolder, const ConfirmationList& list,
                                    const std::string& infoCode) {
    RequestFolderLock lock(requestFolder);
    const std::string path = requestFolder + list.fileName;
    std::vector<std::string> held;
    if (!fs::fileExists(path)) return held;
    xml::Document confirm = loadList(path);
    xml::Node put = listNode(confirm, path);
    std::vector<std::string> entries = text::split(put.text(), ',');
    std::string names;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!blank(entries[i]) && codeAt(list, i) == infoCode) {
            held.push_back(entries[i]);
            entries[i].clear();
        }
        names += (i ? "," : "") + entries[i];
    }
    if (held.empty()) return held;
    put.setText(names);
    confirm.save(path);
    return held;
}

bool discardList(const std::string& requestFolder, const std::string& fileName) {
    RequestFolderLock lock(requestFolder);
    const std::string path = requestFolder + fileName;
    return fs::fileExists(path) && fs::removeFile(path);
}

}  // namespace fg::documents
