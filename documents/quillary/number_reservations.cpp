#include "documents/quillary/number_reservations.h"

#include "documents/quillary/fax_tran_xml.h"
#include "fax_send/kelvra/fax_send_careers.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/file_lock.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"
#include "platform/invariant.h"
#include "settings/fax_manage_num.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iterator>
#include <limits>
#include <map>
#include <mutex>
#include <set>
#include <unordered_set>

namespace fg::documents {

namespace {

// The store is large and rewritten by every record; it is parsed again only
// when the file has changed since the last reservation read it.
// Every save renames a new file into place, so the file's number on its
// disk tells one save from the next, whatever the clock's grain.
std::string signatureOf(const std::string& path) {
    auto real = fs::resolve(path);
    if (!real) return "missing";
    const auto stamp = fs::stampOf(*real);
    if (!stamp) return "unreadable";
    return *real + "|" + std::to_string(stamp->device) + ":" + std::to_string(stamp->inode) + "|" +
           std::to_string(stamp->size) + "|" + std::to_string(stamp->modified);
}

// The numbers of one prefix as this process last read them from a file: the
// builders of a batch each draw through reservations of their own, and read
// the store and the log once between the changes of either, not once each.
struct LastRead {
    std::string signature;  // of the file, and the prefix
    bool read = false;
    std::vector<std::string> numbers;
};

// Copies what the process last read under `signature` into `numbers`, or
// reads it with `read` and keeps it for the next reservation. A prefix of
// every number (the supervisor's sweep) is read each time and not kept.
bool numbersOf(LastRead& last, const std::string& signature, bool everyNumber, std::vector<std::string>& numbers,
               const std::function<bool(std::vector<std::string>&)>& read) {
    static std::mutex guard;
    std::unique_lock<std::mutex> lock(guard);
    if (!everyNumber && last.signature == signature) {
        numbers = last.numbers;
        return last.read;
    }
    lock.unlock();
    numbers.clear();
    const bool ok = read(numbers);
    std::sort(numbers.begin(), numbers.end());
    if (!everyNumber) {
        lock.lock();
        last = {signature, ok, numbers};
    }
    return ok;
}

LastRead& lastStore() {
    static LastRead last;
    return last;
}

LastRead& lastLog() {
    static LastRead last;
    return last;
}

// The lists' names end so; a reservation made before they existed was a
// lock file of its own, ".<number>.reserved.lock", which only the sweep
// still meets (one left by a batch killed before the lists came).
constexpr const char* kListSuffix = ".reserved";

// A list's first line says who holds it.
constexpr const char* kJobWord = "job";
constexpr const char* kBatchWord = "batch";

// The reservation lists of the store's folder as this process last read
// them, shared by all its reservations: a batch draws through one object per
// builder call, and each list is read once, then only as it grows.
struct ListsRead {
    struct List {
        HeldList::Reading at;
        bool headed = false;
        std::unordered_set<std::string> numbers;
    };
    std::string folder;
    std::map<std::string, List> lists;  // by path
};

std::mutex listsGuard;

ListsRead& listsRead() {
    static ListsRead read;
    return read;
}

// Under the store's lock, where every reservation is listed: what the lists
// of `folder` gained since this process last read them. A list left by a
// process that died keeps its numbers taken until the sweep clears them.
void readLists(const std::string& folder) {
    const std::vector<std::string> paths = HeldList::find(folder, kListSuffix);
    std::lock_guard<std::mutex> lock(listsGuard);
    ListsRead& read = listsRead();
    if (read.folder != folder) read = ListsRead{folder, {}};
    for (auto it = read.lists.begin(); it != read.lists.end();)
        it = std::binary_search(paths.begin(), paths.end(), it->first) ? std::next(it) : read.lists.erase(it);
    for (const std::string& path : paths) {
        ListsRead::List& list = read.lists[path];
        std::vector<std::string> lines;
        const HeldList::Read got = HeldList::readNew(path, list.at, lines);
        if (got == HeldList::Read::Gone) {
            read.lists.erase(path);
            continue;
        }
        if (got == HeldList::Read::Restarted) list = ListsRead::List{list.at, false, {}};
        for (std::string& line : lines) {
            if (list.headed) list.numbers.insert(std::move(line));
            list.headed = true;
        }
    }
}

bool listed(const std::string& number) {
    std::lock_guard<std::mutex> lock(listsGuard);
    for (const auto& [path, list] : listsRead().lists)
        if (list.numbers.count(number)) return true;
    return false;
}

}  // namespace

NumberReservations::NumberReservations(FaxTranXml& owner) : NumberReservations(Holder::Batch) { owner_ = &owner; }

NumberReservations::NumberReservations(Holder holder) : holder_(holder) {
    FolderPathInfo folders;
    storeFolder_ = folders.getFolderPath("FaxManageNum");
    storePath_ = storeFolder_ + "FAXManageNumber.xml";
    sendFolder_ = folders.getFolderPath("FaxSendXML");
    logPath_ = folders.getFolderPath("FaxSendLog") + FaxSendCareers::kFileName;
}

NumberReservations::~NumberReservations() { releaseAll(); }

std::string NumberReservations::format(const std::string& stamp, long long counter) {
    char digits[32];
    std::snprintf(digits, sizeof digits, "%04lld", counter);
    return stamp + digits;
}

bool NumberReservations::loadStoredNumbers(const std::string& prefix) {
    std::string signature = signatureOf(storePath_) + "|" + prefix;
    if (signature != storeSignature_) {
        // A store that does not load holds no number we could meet; its own
        // writers refuse to save over it, so it stays as it is.
        if (signature == "missing|" + prefix) {
            stored_.clear();
            storeRead_ = true;
        } else {
            storeRead_ = numbersOf(lastStore(), signature, prefix.empty(), stored_, [&](std::vector<std::string>& out) {
                return FaxManageNum().getManageNumbers(out, prefix);
            });
        }
        storeSignature_ = signature;
    }
    // A number the send log holds was faxed under it, though its record may
    // be gone from the store (one put back from a copy, the clock set back):
    // drawn again, its new document would pass for the one already sent.
    std::string logSignature = signatureOf(logPath_) + "|" + prefix;
    if (logSignature != logSignature_) {
        if (logSignature == "missing|" + prefix) {
            sent_.clear();
        } else if (!numbersOf(lastLog(), logSignature, prefix.empty(), sent_, [&](std::vector<std::string>& out) {
                       return FaxSendCareers().getManageNumbers(out, prefix);
                   })) {
            writeDebugLine("FaxTranXml", "送信履歴を読めないため、送信済みの番号を確かめられません: " + logPath_);
        }
        logSignature_ = logSignature;
    }
    return storeRead_;
}

bool NumberReservations::taken(const std::string& number) {
    if (std::binary_search(stored_.begin(), stored_.end(), number)) return true;
    if (std::binary_search(sent_.begin(), sent_.end(), number)) return true;
    if (fs::fileExists(sendFolder_ + number + ".xml") || fs::fileExists(sendFolder_ + "base" + number + ".xml"))
        return true;
    return false;
}

bool NumberReservations::hold(const std::string& number) {
    if (taken(number) || listed(number)) return false;
    list({number});
    return true;
}

void NumberReservations::list(const std::vector<std::string>& numbers) {
    if (!list_.held()) list_ = HeldList::create(storeFolder_, kListSuffix, holder_ == Holder::Job ? kJobWord : kBatchWord);
    list_.append(numbers);
    held_.insert(held_.end(), numbers.begin(), numbers.end());
}

std::string NumberReservations::next() {
    checkInvariant(owner_ != nullptr, "next() needs the builder's counter", "FaxTranXml");
    FileLock storeLock(storePath_);
    loadStoredNumbers(owner_->mstrRepManageDate);
    readLists(storeFolder_);
    for (;;) {
        if (owner_->mlngRepManageCount == std::numeric_limits<std::int32_t>::max())
            throw Error::standard(errnum::Overflow, "FaxTranXml");
        ++owner_->mlngRepManageCount;
        std::string number = format(owner_->mstrRepManageDate, owner_->mlngRepManageCount);
        if (hold(number)) return number;
    }
}

bool NumberReservations::reserve(const std::string& number) {
    FileLock storeLock(storePath_);
    loadStoredNumbers(number);
    readLists(storeFolder_);
    return hold(number);
}

void NumberReservations::releaseAll() noexcept {
    held_.clear();
    if (!list_.held()) return;
    try {
        // Removed under the store's lock, where every reservation is drawn
        // and every list swept.
        FileLock storeLock(storePath_);
        list_.remove();
    } catch (const Error& e) {
        // Given back all the same: its numbers are stored or rolled back by
        // now, and a list left behind would keep them taken until a sweep.
        writeDebugLine("FaxTranXml", std::string("reservations given back without the store's lock: ") + e.description());
        list_.remove();
    }
}

void NumberReservations::keep(NumberReservations& other) {
    if (other.held_.empty()) return;
    FileLock storeLock(storePath_);
    // Listed here before they leave the other list: a draw always sees them.
    list(other.held_);
    other.held_.clear();
    other.list_.remove();
}

namespace {

struct ListRead {
    bool job = false;
    std::vector<std::string> numbers;
};

// The holder and numbers of a list; an unended line is no number, and a list
// whose holder is not told is taken for a batch's, whose records stay.
ListRead readList(const std::string& path) {
    ListRead read;
    HeldList::Reading at;
    std::vector<std::string> lines;
    if (HeldList::readNew(path, at, lines) == HeldList::Read::Gone || lines.empty()) return read;
    read.job = lines.front() == kJobWord;
    read.numbers.assign(std::make_move_iterator(lines.begin() + 1), std::make_move_iterator(lines.end()));
    return read;
}

}  // namespace

NumberReservations::Cleared NumberReservations::clearEnded(
    const std::function<void(const std::string&)>& clear,
    const std::function<std::vector<std::string>(const std::vector<std::string>&)>& clearRecorded) {
    NumberReservations found;
    Cleared cleared;
    const std::string legacySuffix = std::string(kListSuffix) + ".lock";
    std::vector<std::string> legacy;
    std::error_code error;
    for (std::filesystem::directory_iterator it(found.storeFolder_, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() > legacySuffix.size() + 1 && name[0] == '.' &&
            name.compare(name.size() - legacySuffix.size(), legacySuffix.size(), legacySuffix) == 0)
            legacy.push_back(name.substr(1, name.size() - legacySuffix.size() - 1));
    }
    if (error) throw Error(errnum::PathFileAccessError, found.storeFolder_ + ": " + error.message(), "FaxTranXml");
    const std::vector<std::string> paths = HeldList::find(found.storeFolder_, kListSuffix);
    if (legacy.empty() && paths.empty()) return cleared;
    std::sort(legacy.begin(), legacy.end());

    struct Ended {
        HeldList list;
        ListRead read;
    };
    std::vector<Ended> ended;
    // On every way out but the last, the lists stay for the next sweep,
    // their numbers taken meanwhile.
    struct Keep {
        std::vector<Ended>& ended;
        ~Keep() {
            for (Ended& e : ended) e.list.release();
        }
    } keep{ended};
    std::vector<std::string> jobRecords;
    {
        FileLock storeLock(found.storePath_);
        // A list whose lock is free has lost its process; one still locked
        // is at work, and its numbers are not ours to clear, whatever else
        // names them. The store is read only when something has ended.
        std::set<std::string> live;
        for (const std::string& path : paths) {
            HeldList list = HeldList::claimEnded(path);
            ListRead read = readList(path);
            if (list.held())
                ended.push_back({std::move(list), std::move(read)});
            else
                live.insert(read.numbers.begin(), read.numbers.end());
        }
        std::vector<std::pair<std::string, FileLock>> endedMarkers;
        for (const std::string& number : legacy) {
            FileLock lock = FileLock::tryLock(found.storeFolder_ + number + kListSuffix);
            if (lock.held()) endedMarkers.emplace_back(number, std::move(lock));
        }
        if (ended.empty() && endedMarkers.empty()) return cleared;
        if (!found.loadStoredNumbers("")) {
            writeDebugLine("FaxTranXml", "管理番号ファイルを読めないため、終了した予約の番号を残します");
            return cleared;
        }
        std::set<std::string> seen;
        const auto sweep = [&](const std::string& number, bool job) {
            if (live.count(number) || !seen.insert(number).second || !fs::isBareName(number)) return;
            if (!std::binary_search(found.stored_.begin(), found.stored_.end(), number)) {
                clear(number);
                cleared.unrecorded.push_back(number);
            } else if (job) {
                jobRecords.push_back(number);
            }
        };
        for (const Ended& e : ended)
            for (const std::string& number : e.read.numbers) sweep(number, e.read.job);
        for (auto& [number, lock] : endedMarkers) {
            sweep(number, false);
            lock.unlock();
            (void)fs::removeFile(FileLock::lockPathFor(found.storeFolder_ + number + kListSuffix));
        }
    }
    if (!jobRecords.empty()) cleared.recorded = clearRecorded(jobRecords);
    for (Ended& e : ended) e.list.remove();
    return cleared;
}

}  // namespace fg::documents
