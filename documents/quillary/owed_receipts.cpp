#include "documents/quillary/owed_receipts.h"

#include "documents/quillary/receipt_confirmation.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/file_lock.h"
#include "platform/files.h"
#include "platform/process/process.h"
#include "platform/text.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string_view>

namespace fg::documents {

namespace {

constexpr const char* kSource = "OwedReceipts";

struct Line {
    std::string batch;
    SendGroups groups;
    std::vector<OwedArchive> archives;
};

std::string path() { return fs::programFolder() + OwedReceipts::kFileName; }

// Keys and numbers are ours: printable ASCII, never empty.
bool plainWord(const std::string& word) {
    return !word.empty() && std::all_of(word.begin(), word.end(), [](char c) { return c > ' ' && c < 0x7F; });
}

// A line as written: at least the batch and the groups, a batch key with its
// serial, numbers as we make them and no receipt without its code and name.
// Anything else is no line of ours; read as one, it could hand over or
// confirm what it only seems to name.
std::optional<Line> parseLine(const std::string& text) {
    if (text.find('\0') != std::string::npos) return std::nullopt;
    std::vector<std::string> fields = text::split(text, '\t');
    if (fields.size() < 2 || fields[0].find('/') == std::string::npos || !plainWord(fields[0])) return std::nullopt;
    Line line{fields[0], {}, {}};
    if (!fields[1].empty())
        for (const std::string& group : text::split(fields[1], ';')) {
            line.groups.push_back(text::split(group, ','));
            if (!std::all_of(line.groups.back().begin(), line.groups.back().end(), plainWord)) return std::nullopt;
        }
    for (std::size_t k = 2; k < fields.size(); ++k) {
        std::size_t slash = fields[k].find('/');
        if (slash == std::string::npos || slash == 0 || slash + 1 == fields[k].size()) return std::nullopt;
        line.archives.push_back({fields[k].substr(0, slash), fields[k].substr(slash + 1)});
    }
    return line;
}

struct Contents {
    std::vector<Line> lines;
    std::vector<std::string> damaged;  // as read, without their line ends
};

Contents parse(const std::string& bytes) {
    Contents contents;
    std::istringstream in(bytes);
    std::string text;
    while (std::getline(in, text)) {
        if (text.empty()) continue;
        if (std::optional<Line> line = parseLine(text)) contents.lines.push_back(std::move(*line));
        else contents.damaged.push_back(text);
    }
    return contents;
}

std::string format(const std::vector<Line>& lines) {
    std::string bytes;
    for (const Line& line : lines) {
        std::vector<std::string> groups;
        for (const auto& g : line.groups) groups.push_back(text::join(g, ','));
        bytes += line.batch + "\t" + text::join(groups, ';');
        for (const OwedArchive& a : line.archives) bytes += "\t" + a.infoCode + "/" + a.name;
        bytes += "\n";
    }
    return bytes;
}

Contents readContents() { return fs::fileExists(path()) ? parse(fs::readFile(path())) : Contents{}; }

// Moves the lines that do not parse into the set-aside file, each named once
// in the error log; the caller holds the file's lock and saves the lines
// that parse. Whatever those lines owed cannot be told any more: the set-
// aside copy holds back every archive and reminder it names until the
// operator has seen to it and removed the copy.
void setAside(const std::vector<std::string>& damaged) {
    if (damaged.empty()) return;
    const std::string aside = fs::programFolder() + OwedReceipts::kSetAsideFileName;
    std::string bytes = fs::fileExists(aside) ? fs::readFile(aside) : std::string();
    if (!bytes.empty() && bytes.back() != '\n') bytes += '\n';
    for (const std::string& line : damaged) bytes += line + "\n";
    fs::writeFileAtomic(aside, bytes);
    for (const std::string& line : damaged)
        logError(kSource, Error(errnum::InvalidPropertyValue,
                                std::string("受信確認の記録の読めない行を ") + OwedReceipts::kSetAsideFileName +
                                    " へ移しました。この行に名のあるアーカイブと督促は、そのファイルが削除されるまで"
                                    "受信を確認しません: \"" + escapedForLog(line) + "\""));
}

void save(const std::vector<Line>& lines) {
    if (lines.empty()) {
        if (fs::fileExists(path()) && !fs::removeFile(path()))
            throw Error(errnum::PathFileAccessError, "受信確認の記録を削除できません: " + path(), kSource);
        return;
    }
    fs::writeFileAtomic(path(), format(lines));
}

// Under the file's exclusive lock: the lines that parse, those that do not
// set aside first (the caller saves the rest).
std::vector<Line> readSettingAside() {
    Contents contents = readContents();
    setAside(contents.damaged);
    return std::move(contents.lines);
}

// The lines that parse, under the shared lock held by the caller; to set
// lines that do not parse aside, the exclusive lock is taken in its place.
std::vector<Line> read(std::optional<FileLock>& lock) {
    Contents contents = readContents();
    if (contents.damaged.empty()) return std::move(contents.lines);
    lock.reset();
    lock.emplace(path());
    std::vector<Line> lines = readSettingAside();
    save(lines);
    return lines;
}

using Edit = std::function<void(std::vector<Line>&)>;

// The changes this process could not write (a full disk), in order. Each is
// written with the next change the process makes, or before its next read:
// a batch it forgot or left must not stay owed under its live name, holding
// its archives back, for as long as the process runs.
struct Unwritten {
    std::mutex mutex;
    std::vector<Edit> edits;
};
Unwritten& unwritten() {
    static Unwritten u;
    return u;
}

// One read-change-write of the file under its lock, after the changes not
// written yet; a file left with no line goes. An edit that fails is kept
// to be written later when `keep` (a receipt owed is never written late:
// its batch hands nothing over without it).
void change(const Edit& edit, bool keep = true) {
    Unwritten& u = unwritten();
    std::lock_guard<std::mutex> guard(u.mutex);
    try {
        FileLock lock(path());
        std::vector<Line> lines = readSettingAside();
        for (const Edit& e : u.edits) e(lines);
        if (edit) edit(lines);
        lines.erase(std::remove_if(lines.begin(), lines.end(),
                                   [](const Line& l) { return l.groups.empty() && l.archives.empty(); }),
                    lines.end());
        save(lines);
        u.edits.clear();
    } catch (...) {
        if (edit && keep) u.edits.push_back(edit);
        throw;
    }
}

// Before a read: what this process could not write before, written now if
// it can be (a failure is logged, the edits kept).
void writeUnwritten() noexcept {
    {
        Unwritten& u = unwritten();
        std::lock_guard<std::mutex> guard(u.mutex);
        if (u.edits.empty()) return;
    }
    try {
        change(nullptr);
    } catch (...) {
        logCurrentError(kSource);
    }
}

// Whether a line set aside names the archive (by its ConfirmID, which is
// what the server knows it by) or the reminder entry.
bool namedAside(const std::string& infoCode, const std::string& archive) {
    const std::string aside = fs::programFolder() + OwedReceipts::kSetAsideFileName;
    if (!fs::fileExists(aside)) return false;
    const std::string name = infoCode == OwedReceipts::kReminder ? archive : confirmIdOf(archive);
    return !name.empty() && fs::readFile(aside).find(name) != std::string::npos;
}

bool sameArchive(const OwedArchive& a, const std::string& infoCode, const std::string& archive) {
    if (a.infoCode != infoCode) return false;
    return OwedReceipts::isReminder(a) ? a.name == archive : confirmIdOf(a.name) == confirmIdOf(archive);
}

// The key of a batch that its writer has left.
constexpr std::string_view kLeft = "failed/";

bool writerLive(const std::string& batch) {
    if (batch.compare(0, kLeft.size(), kLeft) == 0) return false;
    return processMarkLive(batch.substr(0, batch.rfind('/')));
}

}  // namespace

std::string OwedReceipts::owe(const std::vector<OwedArchive>& archives, const SendGroups& groups) {
    static std::atomic<unsigned> serial{0};
    // A name from the server that would break its line is refused before
    // anything is handed over: the line must read back as written.
    for (const OwedArchive& a : archives)
        if (!recordable(a.name))
            throw Error(errnum::InvalidPropertyValue, "受信確認の記録に書けない名前です: \"" + a.name + "\"", kSource);
    Line line{processMark(currentProcessId()) + "/" + std::to_string(++serial), {}, archives};
    for (const auto& g : groups)
        if (!g.empty()) line.groups.push_back(g);
    change([line](std::vector<Line>& lines) { lines.push_back(line); }, false);
    return line.batch;
}

void OwedReceipts::handedOver(const std::string& batch, const std::vector<std::string>& group) noexcept {
    try {
        change([batch, group](std::vector<Line>& lines) {
            for (Line& l : lines) {
                if (l.batch != batch) continue;
                if (group.empty()) l.groups.clear();
                l.groups.erase(std::remove(l.groups.begin(), l.groups.end(), group), l.groups.end());
            }
        });
    } catch (...) {
        logCurrentError(kSource);
    }
}

void OwedReceipts::forget(const std::string& batch) noexcept {
    if (batch.empty()) return;
    try {
        change([batch](std::vector<Line>& lines) {
            lines.erase(std::remove_if(lines.begin(), lines.end(), [&](const Line& l) { return l.batch == batch; }),
                        lines.end());
        });
    } catch (...) {
        logCurrentError(kSource);
    }
}

bool OwedReceipts::leave(const std::string& batch) noexcept {
    if (batch.empty()) return false;
    try {
        // Kept to be written later, the edit outlives this call: it tells
        // what it found through its own copy.
        auto found = std::make_shared<bool>(false);
        change([batch, found](std::vector<Line>& lines) {
            for (Line& l : lines)
                if (l.batch == batch) {
                    l.batch = std::string(kLeft) + l.batch;
                    *found = true;
                }
        });
        if (!*found) throw Error(errnum::InvalidPropertyValue, "受信確認の記録にバッチがありません: " + batch, kSource);
        return true;
    } catch (...) {
        logCurrentError(kSource);
        return false;
    }
}

void OwedReceipts::paid(const std::string& infoCode, const std::string& archive) noexcept {
    paid(std::vector<OwedArchive>{{infoCode, archive}});
}

void OwedReceipts::paid(const std::vector<OwedArchive>& receipts) noexcept {
    if (receipts.empty()) return;
    try {
        change([receipts](std::vector<Line>& lines) {
            for (Line& l : lines)
                l.archives.erase(std::remove_if(l.archives.begin(), l.archives.end(),
                                                [&](const OwedArchive& a) {
                                                    return std::any_of(receipts.begin(), receipts.end(),
                                                                       [&](const OwedArchive& r) {
                                                                           return sameArchive(a, r.infoCode, r.name);
                                                                       });
                                                }),
                                 l.archives.end());
        });
    } catch (...) {
        logCurrentError(kSource);
    }
}

OwedReceipts::Owed OwedReceipts::find(const std::string& infoCode, const std::string& archive) noexcept {
    writeUnwritten();
    try {
        std::optional<FileLock> lock;
        lock.emplace(path(), FileLock::Mode::Shared);
        for (const Line& l : read(lock))
            for (const OwedArchive& a : l.archives)
                if (sameArchive(a, infoCode, archive)) return l.groups.empty() ? Owed::Yes : Owed::Pending;
        if (namedAside(infoCode, archive)) {
            logError(kSource, Error(0, std::string("受信確認の記録の読めない行に名があるため、受信を確認せずに残します (") +
                                           kSetAsideFileName + "): \"" + escapedForLog(archive) + "\""));
            return Owed::Pending;
        }
        return Owed::No;
    } catch (...) {
        logCurrentError(kSource);
        return Owed::Pending;
    }
}

std::vector<std::string> OwedReceipts::due(const std::string& infoCode) noexcept {
    writeUnwritten();
    std::vector<std::string> out;
    try {
        std::optional<FileLock> lock;
        lock.emplace(path(), FileLock::Mode::Shared);
        for (const Line& l : read(lock))
            for (const OwedArchive& a : l.archives)
                if (l.groups.empty() && a.infoCode == infoCode) out.push_back(a.name);
    } catch (...) {
        logCurrentError(kSource);
    }
    return out;
}

std::vector<OwedReceipts::Left> OwedReceipts::left() {
    writeUnwritten();
    std::vector<Left> out;
    std::optional<FileLock> lock;
    lock.emplace(path(), FileLock::Mode::Shared);
    for (Line& l : read(lock))
        if (!writerLive(l.batch)) out.push_back({l.batch, std::move(l.groups), std::move(l.archives)});
    return out;
}

}  // namespace fg::documents
