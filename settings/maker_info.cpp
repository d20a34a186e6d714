#include "settings/maker_info.h"

#include "platform/error.h"
#include "platform/file_lock.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"
#include "platform/processed_file_hook.h"
#include "platform/text.h"
#include "platform/xml.h"
#include "settings/errors.h"
#include "settings/member_guard.h"

#include <cstdint>
#include <limits>

namespace fg {

namespace {

constexpr long kMakerError = settings::errs::MakerError;

bool blank(const std::string& s) { return text::trim(s).empty(); }

Error missingFolder(const std::string& folder) {
    return Error(kMakerError, "メーカ情報格納位置がありません。(" + folder + ")");
}

// The eight values of one supplier file; a document that did not load
// gives eight empty values.
MakerInfo::Supplier readSupplier(const xml::Document& doc) {
    MakerInfo::Supplier s;
    struct Slot {
        const char* name;
        std::string MakerInfo::Supplier::*value;
    };
    static constexpr Slot slots[] = {
        {"Supplier-code", &MakerInfo::Supplier::supplierCode},
        {"Supplier-name", &MakerInfo::Supplier::supplierName},
        {"Person-name", &MakerInfo::Supplier::personName},
        {"Section-name", &MakerInfo::Supplier::sectionName},
        {"E-mail", &MakerInfo::Supplier::email},
        {"Telephone-number", &MakerInfo::Supplier::telephoneNumber},
        {"Fax-number", &MakerInfo::Supplier::faxNumber},
        {"Relative-client-code", &MakerInfo::Supplier::relativeClientCode},
    };
    // One walk in document order: a later element of a name overwrites an earlier one.
    for (const xml::Node& element : doc.getElementsByTagName("*")) {
        std::string name = element.nodeName();
        for (const Slot& slot : slots)
            if (name == slot.name) s.*slot.value = element.text();
    }
    s.faxNumber = MakerInfo::digitForm(s.faxNumber);
    return s;
}

// A name that could leave the supplier folder, hide from the listing, or
// give the processed-file hook no base name.
void checkNames(const std::vector<std::string>& names) {
    if (names.empty())
        throw Error(errnum::SubscriptOutOfRange,
                    Error::standardText(errnum::SubscriptOutOfRange) + " メーカ情報ファイルの一覧が空です。");
    if (names.size() - 1 > static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max()))
        throw Error::standard(errnum::Overflow);
    for (const std::string& name : names) {
        bool bad = name.empty() || name.find('/') != std::string::npos || name.find('\\') != std::string::npos ||
                   name.find("..") != std::string::npos || name.front() == '.' ||
                   name.find('.') == std::string::npos || name.find('\0') != std::string::npos;
        if (bad)
            throw Error(errnum::BadFileNameOrNumber,
                        Error::standardText(errnum::BadFileNameOrNumber) + " メーカ情報ファイル名=" + name);
    }
}

// The supplier folder's locks. flock grants a shared lock whenever no
// exclusive one is held, so a steady stream of lookups could keep a
// replacement out for good. Writers therefore take a gate first and hold it
// until done; a lookup passes the gate (holding it only while it takes its
// shared lock) and so queues behind a waiting writer.
std::string gatePath(const std::string& folder) { return fs::join(folder, "writer-gate"); }

FileLock lookupLock(const std::string& folder) {
    FileLock gate(gatePath(folder));
    return FileLock::forFolder(folder, FileLock::Mode::Shared);
}

struct ReplaceLock {
    explicit ReplaceLock(const std::string& folder)
        : gate(gatePath(folder)), folderLock(FileLock::forFolder(folder, FileLock::Mode::Exclusive)) {}
    FileLock gate;
    FileLock folderLock;  // released first, as members go in reverse order
};

}  // namespace

MakerInfo::MakerInfo() : folder_(FolderPathInfo().getFolderPath("MakerInfo")) {}

std::string MakerInfo::digitForm(const std::string& faxNumber) {
    std::string digits;
    for (char c : faxNumber)
        if (c >= '0' && c <= '9') digits += c;
    return digits;
}

bool MakerInfo::getMakerInfo(const std::string& strSupplierCode, const std::string& strFaxNo, bool blnErrOut) {
    const bool byCode = !blank(strSupplierCode);
    const bool byFax = !blank(strFaxNo);
    if (!byCode && !byFax) return false;
    try {
        if (!fs::folderExists(folder_)) throw missingFolder(folder_);
        FileLock lock = lookupLock(folder_);
        for (const std::string& name : fs::list(folder_, kPattern)) {
            xml::Document doc;
            if (!doc.load(fs::join(folder_, name))) {
                settings::traceFailure(kErrorSource, Error(kMakerError, name + " " + doc.parseError().reason));
                throw Error(kMakerError, "メーカ情報XMLファイルが不正です。(" + name + ")");
            }
            Supplier s = readSupplier(doc);
            bool match = byCode && byFax ? s.supplierCode == strSupplierCode && s.faxNumber == strFaxNo
                         : byCode        ? s.supplierCode == strSupplierCode
                                         : s.faxNumber == strFaxNo;
            if (match) {
                found_ = std::move(s);
                return true;
            }
        }
        if (blnErrOut) throw Error(kMakerError, "受注者コード=" + strSupplierCode + ", " + "FAX番号=" + strFaxNo);
        return false;
    } catch (...) {
        logCurrentError(kErrorSource);
        return false;
    }
}

bool MakerInfo::saveMakerInfo(const std::vector<std::string>& strFileName) {
    try {
        if (!fs::folderExists(folder_)) throw missingFolder(folder_);
        std::string source = FolderPathInfo().getFolderPath("TempEDI");
        checkNames(strFileName);

        // Every new file is copied aside first: a name that is not there or
        // cannot be read stops the install while the old set is untouched.
        // The folders aside are hidden ones inside the supplier folder: on
        // the same file system, so moving files in and out of them are
        // renames, and never listed as suppliers.
        const fs::TempFolder incoming(folder_, ".incoming-");
        for (const std::string& name : strFileName) fs::copyFile(fs::join(source, name), incoming.path() + name);
        std::vector<std::string> staged = fs::list(incoming.path(), "*");

        {
            // Lookups hold the shared lock: none of them sees the folder
            // between the two sets.
            ReplaceLock lock(folder_);
            const fs::TempFolder previous(folder_, ".previous-");
            std::vector<std::string> movedOut, movedIn;
            try {
                for (const std::string& name : fs::list(folder_, kPattern)) {
                    fs::rename(folder_ + name, previous.path() + name);
                    movedOut.push_back(name);
                }
                for (const std::string& name : staged) {
                    fs::rename(incoming.path() + name, folder_ + name);
                    movedIn.push_back(name);
                }
            } catch (...) {
                // Put the old set back, so that a failed install leaves the
                // suppliers as they were.
                for (const std::string& name : movedIn) (void)fs::removeFile(folder_ + name);
                for (const std::string& name : movedOut) {
                    try {
                        fs::rename(previous.path() + name, folder_ + name);
                    } catch (const Error&) {
                        // The way back is the rename that just went out; the
                        // install's own error is the one to report.
                    }
                }
                throw;
            }
        }

        for (const std::string& name : strFileName) {
            std::string base = name.substr(0, name.find('.'));
            bool ok = false;
            ProcessedFileHook::current().fileDone(base, ok);
        }
        return true;
    } catch (...) {
        logCurrentError(kErrorSource);
        return false;
    }
}

void MakerInfo::delMakerInfo() {
    try {
        if (!fs::folderExists(folder_)) throw missingFolder(folder_);
        ReplaceLock lock(folder_);
        for (const std::string& name : fs::list(folder_, kPattern)) {
            if (!fs::removeFile(folder_ + name))
                throw Error(errnum::PathFileAccessError, "メーカ情報ファイルを削除できません。(" + name + ")");
        }
    } catch (...) {
        logCurrentError(kErrorSource);
    }
}

bool MakerInfo::checkMaker(const std::string& strFaxNo) {
    if (blank(strFaxNo)) return false;
    try {
        if (!fs::folderExists(folder_)) return false;
        FileLock lock = lookupLock(folder_);
        for (const std::string& name : fs::list(folder_, kPattern)) {
            xml::Document doc;
            (void)doc.load(fs::join(folder_, name));  // a file that does not parse has no number
            if (readSupplier(doc).faxNumber == strFaxNo) return true;
        }
        return false;
    } catch (...) {
        logCurrentError(kErrorSource);
        return false;
    }
}

std::optional<std::vector<std::string>> MakerInfo::getAllMakerInfo() {
    try {
        std::vector<std::string> codes;
        if (!fs::folderExists(folder_)) return codes;
        FileLock lock = lookupLock(folder_);
        for (const std::string& name : fs::list(folder_, kPattern)) {
            xml::Document doc;
            (void)doc.load(fs::join(folder_, name));  // a file that does not parse has no code
            codes.push_back(readSupplier(doc).supplierCode);
        }
        return codes;
    } catch (...) {
        logCurrentError(kErrorSource);
        return std::nullopt;
    }
}

}  // namespace fg
