#include "documents/quillary/number_reservations.h"

#include "documents/quillary/fax_tran_xml.h"
#include "fax_send/kelvra/fax_send_careers.h"
#include "platform/error.h"
#include "platform/error_log.h"
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
#include <mutex>

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

constexpr const char* kMarkerExtension = ".reserved";

}  // namespace

NumberReservations::NumberReservations(FaxTranXml& owner) : NumberReservations() { owner_ = &owner; }

NumberReservations::NumberReservations() {
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
    if (taken(number)) return false;
    // A marker held by anyone, this process included, is a live reservation.
    std::string marker = storeFolder_ + number + kMarkerExtension;
    FileLock lock = FileLock::tryLock(marker);
    if (!lock.held()) return false;
    held_.push_back({marker, std::move(lock)});
    return true;
}

std::string NumberReservations::next() {
    checkInvariant(owner_ != nullptr, "next() needs the builder's counter", "FaxTranXml");
    FileLock storeLock(storePath_);
    loadStoredNumbers(owner_->mstrRepManageDate);
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
    return hold(number);
}

void NumberReservations::releaseAll() noexcept {
    if (held_.empty()) return;
    try {
        // The marker files are removed under the store's lock, where every
        // reservation is taken, so no other process can be opening one.
        FileLock storeLock(storePath_);
        for (auto& h : held_) {
            h.lock.unlock();
            (void)fs::removeFile(FileLock::lockPathFor(h.markerPath));
        }
    } catch (const Error& e) {
        // A marker left behind is unlocked now, so the next reservation of
        // its number takes it over; only the file stays.
        writeDebugLine("FaxTranXml", std::string("reservation markers not removed: ") + e.description());
        for (auto& h : held_) h.lock.unlock();
    }
    held_.clear();
}

void NumberReservations::keep(NumberReservations& other) noexcept {
    held_.insert(held_.end(), std::make_move_iterator(other.held_.begin()), std::make_move_iterator(other.held_.end()));
    other.held_.clear();
}

std::vector<std::string> NumberReservations::clearEnded(const std::function<void(const std::string&)>& clear) {
    NumberReservations found;
    // The markers' lock files: "." + number + ".reserved.lock".
    const std::string suffix = std::string(kMarkerExtension) + ".lock";
    std::vector<std::string> left;
    std::error_code error;
    for (std::filesystem::directory_iterator it(found.storeFolder_, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() > suffix.size() + 1 && name[0] == '.' &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            left.push_back(name.substr(1, name.size() - suffix.size() - 1));
    }
    if (error) throw Error(errnum::PathFileAccessError, found.storeFolder_ + ": " + error.message(), "FaxTranXml");
    std::vector<std::string> cleared;
    if (left.empty()) return cleared;
    std::sort(left.begin(), left.end());

    FileLock storeLock(found.storePath_);
    // A marker whose lock is free has lost its process; one still locked is
    // at work, and the store is read only when some marker has ended.
    std::vector<std::pair<std::string, FileLock>> ended;
    for (const std::string& number : left) {
        FileLock lock = FileLock::tryLock(found.storeFolder_ + number + kMarkerExtension);
        if (lock.held()) ended.emplace_back(number, std::move(lock));
    }
    if (ended.empty()) return cleared;
    if (!found.loadStoredNumbers("")) {
        writeDebugLine("FaxTranXml", "管理番号ファイルを読めないため、終了した予約の番号を残します");
        return cleared;
    }
    for (auto& [number, lock] : ended) {
        const std::string marker = found.storeFolder_ + number + kMarkerExtension;
        if (!std::binary_search(found.stored_.begin(), found.stored_.end(), number) && fs::isBareName(number)) {
            clear(number);
            cleared.push_back(number);
        }
        lock.unlock();
        (void)fs::removeFile(FileLock::lockPathFor(marker));
    }
    return cleared;
}

}  // namespace fg::documents
