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

std::vector<Line> parse(const std::string& bytes) {
    std::vector<Line> lines;
    std::istringstream in(bytes);
    std::string text;
    while (std::getline(in, text)) {
        if (text.empty()) continue;
        std::vector<std::string> fields = text::split(text, '\t');
        if (fields.size() < 2) throw Error(errnum::InvalidPropertyValue, "受信確認の記録の行が不正です: " + text, kSource);
        Line line{fields[0], {}, {}};
        if (!fields[1].empty())
            for (const std::string& group : text::split(fields[1], ';')) line.groups.push_back(text::split(group, ','));
        for (std::size_t k = 2; k < fields.size(); ++k) {
            std::size_t slash = fields[k].find('/');
            if (slash == std::string::npos)
                throw Error(errnum::InvalidPropertyValue, "受信確認の記録の行が不正です: " + text, kSource);
            line.archives.push_back({fields[k].substr(0, slash), fields[k].substr(slash + 1)});
        }
        lines.push_back(std::move(line));
    }
    return lines;
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

std::vector<Line> read() { return fs::fileExists(path()) ? parse(fs::readFile(path())) : std::vector<Line>{}; }

// One read-change-write of the file under its lock; a file left with no
// line goes.
void change(const std::function<void(std::vector<Line>&)>& edit) {
    FileLock lock(path());
    std::vector<Line> lines = read();
    edit(lines);
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [](const Line& l) { return l.groups.empty() && l.archives.empty(); }),
                lines.end());
    if (lines.empty()) {
        if (fs::fileExists(path()) && !fs::removeFile(path()))
            throw Error(errnum::PathFileAccessError, "受信確認の記録を削除できません: " + path(), kSource);
        return;
    }
    fs::writeFileAtomic(path(), format(lines));
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
    change([&](std::vector<Line>& lines) { lines.push_back(line); });
    return line.batch;
}

void OwedReceipts::handedOver(const std::string& batch, const std::vector<std::string>& group) noexcept {
    try {
        change([&](std::vector<Line>& lines) {
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
        change([&](std::vector<Line>& lines) {
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
        bool found = false;
        change([&](std::vector<Line>& lines) {
            for (Line& l : lines)
                if (l.batch == batch) {
                    l.batch = std::string(kLeft) + l.batch;
                    found = true;
                }
        });
        if (!found) throw Error(errnum::InvalidPropertyValue, "受信確認の記録にバッチがありません: " + batch, kSource);
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
        change([&](std::vector<Line>& lines) {
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
    try {
        FileLock lock(path(), FileLock::Mode::Shared);
        for (const Line& l : read())
            for (const OwedArchive& a : l.archives)
                if (sameArchive(a, infoCode, archive)) return l.groups.empty() ? Owed::Yes : Owed::Pending;
        return Owed::No;
    } catch (...) {
        logCurrentError(kSource);
        return Owed::Pending;
    }
}

std::vector<OwedReceipts::Left> OwedReceipts::left() {
    std::vector<Left> out;
    FileLock lock(path(), FileLock::Mode::Shared);
    for (Line& l : read())
        if (!writerLive(l.batch)) out.push_back({l.batch, std::move(l.groups), std::move(l.archives)});
    return out;
}

}  // namespace fg::documents
