#include "settings/maker_info.h"

#include "platform/error.h"
#include "platform/file_lock.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"
#include "platform/folder_watch.h"
#include "platform/invariant.h"
#include "platform/processed_file_hook.h"
#include "platform/text.h"
#include "platform/xml.h"
#include "settings/errors.h"
#include "settings/member_guard.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <unordered_map>

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
    // A lookup takes the gate once per supplier of a fetch: at the cost of
    // a lock, not of the folder's listing.
    FileLock gate = FileLock::forGate(gatePath(folder));
    return FileLock::forFolder(folder, FileLock::Mode::Shared);
}

struct ReplaceLock {
    explicit ReplaceLock(const std::string& folder)
        : gate(FileLock::forGate(gatePath(folder))),
          folderLock(FileLock::forFolder(folder, FileLock::Mode::Exclusive)) {}
    FileLock gate;
    FileLock folderLock;  // released first, as members go in reverse order
};

// What the lookups of this process know of the supplier folder: its listing
// and the files loaded so far, in listing order, with where each code and
// each number occur among them. A fetch looks up every supplier it meets,
// each with a MakerInfo of its own; reading the folder for each would cost
// the folder once per supplier. Files are loaded only as far as a lookup
// needs, so a single lookup costs what reading up to its match costs.
//
// Every lookup answers what reading the folder at that moment answers: the
// folder's watch is asked first, and any change to a supplier file since the
// last lookup (a file added, removed, renamed, replaced, written in place or
// its attributes changed, by any process) starts the index over from a new
// listing. The index is not trusted at all where the watch cannot tell
// (see FolderWatch), nor while a supplier file is a link or has a second
// name elsewhere: those lookups read the folder afresh.
class SupplierIndex {
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    struct Entry {
        std::string name;
        bool loaded = false;
        std::string reason;  // why it did not load
        MakerInfo::Supplier supplier;
    };

    // Brings the index up to the folder as it is now.
    void refresh(const std::string& folder) {
        const std::string where = fs::resolve(folder).value_or(folder);
        if (!watch_ || watch_->folder() != where) {
            // The watch first: a change made while the folder is read shows
            // on the next lookup.
            watch_ = std::make_unique<FolderWatch>(where, MakerInfo::kPattern);
            startOver();
            return;
        }
        const bool changed = watch_->changed();  // taken even when unsure, so notices do not pile up
        if (changed || unsure_) startOver();
    }

    // After a failure midway, nothing of the index is trusted.
    void forget() { watch_.reset(); }

    // The first file in listing order that carries the code and the number
    // (a null one: any), or with stopAtBroken one that does not load,
    // whichever comes first. npos when there is none.
    std::size_t first(const std::string* code, const std::string* fax, bool stopAtBroken) {
        auto matches = [&](const Entry& e) {
            return e.loaded && (!code || e.supplier.supplierCode == *code) &&
                   (!fax || e.supplier.faxNumber == *fax);
        };
        checkInvariant(code || fax, "a supplier lookup asks for a code or a number");
        std::size_t hit = npos;
        const auto& keyed = code ? byCode_ : byFax_;
        if (auto it = keyed.find(code ? *code : *fax); it != keyed.end()) {
            for (std::size_t i : it->second)
                if (matches(entries_[i])) {
                    hit = i;
                    break;
                }
        }
        if (stopAtBroken && firstBroken_ < hit) return firstBroken_;
        if (hit != npos) return hit;
        while (entries_.size() < names_.size()) {
            const Entry& e = loadNext();
            if ((stopAtBroken && !e.loaded) || matches(e)) return entries_.size() - 1;
        }
        return npos;
    }

    const Entry& entry(std::size_t i) const { return entries_.at(i); }

    std::vector<std::string> allCodes() {
        while (entries_.size() < names_.size()) (void)loadNext();
        std::vector<std::string> codes;
        codes.reserve(entries_.size());
        for (const Entry& e : entries_) codes.push_back(e.supplier.supplierCode);
        return codes;
    }

private:
    void startOver() {
        names_ = fs::list(watch_->folder(), MakerInfo::kPattern);
        entries_.clear();
        byCode_.clear();
        byFax_.clear();
        firstBroken_ = npos;
        unsure_ = false;
    }

    const Entry& loadNext() {
        Entry e;
        e.name = names_[entries_.size()];
        const std::string path = fs::join(watch_->folder(), e.name);
        if (!FolderWatch::coversFile(path)) unsure_ = true;
        xml::Document doc;
        e.loaded = doc.load(path);
        if (!e.loaded) e.reason = doc.parseError().reason;
        e.supplier = readSupplier(doc);  // a document that did not load gives empty values
        const std::size_t i = entries_.size();
        if (e.loaded) {
            byCode_[e.supplier.supplierCode].push_back(i);
            byFax_[e.supplier.faxNumber].push_back(i);
        } else if (firstBroken_ == npos) {
            firstBroken_ = i;
        }
        entries_.push_back(std::move(e));
        return entries_.back();
    }

    std::unique_ptr<FolderWatch> watch_;  // on the folder the index reads
    std::vector<std::string> names_;
    std::vector<Entry> entries_;  // the first entries_.size() of names_
    std::unordered_map<std::string, std::vector<std::size_t>> byCode_, byFax_;
    std::size_t firstBroken_ = npos;
    bool unsure_ = false;
};

// The one index of the process, for whichever thread looks up (one for all
// members: a static of the template below would be one per caller).
struct SharedIndex {
    std::mutex mutex;
    SupplierIndex index;
};

SharedIndex& sharedIndex() {
    static SharedIndex shared;
    return shared;
}

// Runs `use` on the index brought up to the folder; the caller holds the
// folder's shared lock.
template <class Use>
auto withIndex(const std::string& folder, Use use) {
    SharedIndex& shared = sharedIndex();
    std::lock_guard<std::mutex> guard(shared.mutex);
    SupplierIndex& index = shared.index;
    try {
        index.refresh(folder);
        return use(index);
    } catch (...) {
        index.forget();
        throw;
    }
}

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
        using Found = std::optional<SupplierIndex::Entry>;
        Found first = withIndex(folder_, [&](SupplierIndex& index) -> Found {
            std::size_t i = index.first(byCode ? &strSupplierCode : nullptr, byFax ? &strFaxNo : nullptr, true);
            if (i == SupplierIndex::npos) return std::nullopt;
            return index.entry(i);
        });
        if (first && !first->loaded) {
            settings::traceFailure(kErrorSource, Error(kMakerError, first->name + " " + first->reason));
            throw Error(kMakerError, "メーカ情報XMLファイルが不正です。(" + first->name + ")");
        }
        if (first) {
            found_ = std::move(first->supplier);
            return true;
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
        // A file that does not parse has no number.
        return withIndex(folder_, [&](SupplierIndex& index) {
            return index.first(nullptr, &strFaxNo, false) != SupplierIndex::npos;
        });
    } catch (...) {
        logCurrentError(kErrorSource);
        return false;
    }
}

std::optional<std::vector<std::string>> MakerInfo::getAllMakerInfo() {
    try {
        if (!fs::folderExists(folder_)) return std::vector<std::string>{};
        FileLock lock = lookupLock(folder_);
        // A file that does not parse has no code.
        return withIndex(folder_, [](SupplierIndex& index) { return index.allCodes(); });
    } catch (...) {
        logCurrentError(kErrorSource);
        return std::nullopt;
    }
}

}  // namespace fg
