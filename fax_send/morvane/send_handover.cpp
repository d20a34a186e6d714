#include "fax_send/morvane/send_handover.h"

#include "fax_send/morvane/errors.h"
#include "fax_send/morvane/send_records.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"
#include "platform/process/process.h"
#include "platform/text.h"
#include "settings/fax_manage_num.h"

#include <algorithm>
#include <charconv>
#include <sstream>
#include <string_view>

namespace fg::send_handover {

namespace {

constexpr const char* kSource = "FaxSend";

void logError(long number, const std::string& description) {
    ErrorLogWriter().writeError(kSource, Error(number, description, kSource));
}

bool isDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

struct Content {
    pid_t server = 0;
    std::vector<std::string> numbers;
    std::vector<std::string> sent;
    std::vector<std::string> inDoubt;
};

constexpr const char* kSent = "sent";
constexpr const char* kInDoubt = "in-doubt";

bool has(const std::vector<std::string>& list, const std::string& number) {
    return std::find(list.begin(), list.end(), number) != list.end();
}

Content parse(const std::string& bytes) {
    Content c;
    std::istringstream in(bytes);
    std::string line;
    bool first = true;
    while (std::getline(in, line)) {
        line = text::trim(line);  // spaces only: the tab before "sent" stays
        if (first) {
            first = false;
            std::from_chars(line.data(), line.data() + line.size(), c.server);
            continue;
        }
        std::size_t tab = line.find('\t');
        if (tab != std::string::npos) {
            const std::string word = line.substr(tab + 1);
            if (word == kSent) c.sent.push_back(line.substr(0, tab));
            else if (word == kInDoubt) c.inDoubt.push_back(line.substr(0, tab));
            line = line.substr(0, tab);
        }
        if (!line.empty()) c.numbers.push_back(line);
    }
    return c;
}

// Whether every page of the number is in G3Image, from where a new server
// sends it. False for a number without a management record.
bool pagesInPlace(const std::string& number) {
    FaxManageNum store;
    if (!store.getManageNum(number, "", false)) return false;
    std::vector<std::string> pages = send_records::pageNames(store, number);
    if (pages.empty()) return false;
    std::string g3 = FolderPathInfo().getFolderPath("G3Image");
    return std::all_of(pages.begin(), pages.end(), [&](const std::string& p) { return fs::fileExists(g3 + p + ".G3"); });
}

// The process id a send copy's name gives ("<stamp>_<pid>_..."), else 0.
pid_t senderOf(const std::string& name) {
    if (name.size() < 17 || !isDigits(std::string_view(name).substr(0, 14)) || name[14] != '_') return 0;
    std::size_t end = name.find('_', 15);
    if (end == std::string::npos || !isDigits(std::string_view(name).substr(15, end - 15))) return 0;
    pid_t pid = 0;
    std::from_chars(name.data() + 15, name.data() + end, pid);
    return pid;
}

// The send copies a server made: the stamp, "_", its process id, "_", then
// the page; with `server` 0, those of every server that has ended.
void removeSendCopiesOf(pid_t server) {
    std::string temp = FolderPathInfo().getFolderPath("SendTemp");
    for (const std::string& name : fs::list(temp, "*.G3")) {
        pid_t of = senderOf(name);
        if (of > 0 && (server > 0 ? of == server : !processExists(of))) (void)fs::removeFile(temp + name);
    }
}

void write(const std::string& path, pid_t server, const std::vector<std::string>& numbers,
           const std::vector<std::string>& sent, const std::vector<std::string>& inDoubt) {
    std::string bytes = std::to_string(server) + "\n";
    for (const std::string& n : numbers) {
        bytes += n;
        if (has(sent, n)) bytes += std::string("\t") + kSent;
        else if (has(inDoubt, n)) bytes += std::string("\t") + kInDoubt;
        bytes += "\n";
    }
    fs::writeFileAtomic(path, bytes);
}

}  // namespace

void save(const std::string& markerName, const std::vector<std::string>& numbers, const std::vector<std::string>& sent,
          const std::vector<std::string>& inDoubt) {
    const std::string path = RunMarker::handOverPath(fs::programFolder(), markerName + ".XML");
    if (numbers.empty()) {
        (void)fs::removeFile(path);
        return;
    }
    write(path, currentProcessId(), numbers, sent, inDoubt);
}

std::vector<std::string> numbersHeld() {
    std::vector<std::string> held;
    const std::string folder = fs::programFolder();
    for (const RunMarker::Found& found : RunMarker::findHandOvers(folder)) {
        const std::string path = RunMarker::handOverPath(folder, found.fileName);
        std::string bytes;
        try {
            bytes = fs::readFile(path);
        } catch (const Error&) {
            if (fs::fileExists(path)) throw;
            continue;  // its numbers were all recorded meanwhile
        }
        const Content c = parse(bytes);
        held.insert(held.end(), c.numbers.begin(), c.numbers.end());
    }
    return held;
}

std::vector<TakeOver> TakeOver::claimLeft(pid_t server, const std::vector<std::string>& ignore) {
    std::vector<TakeOver> taken;
    try {
        const std::string folder = fs::programFolder();
        const std::vector<RunMarker::Found> handOvers = RunMarker::findHandOvers(folder);
        std::vector<std::string> heldLive, seen;
        for (const RunMarker::Found& found : handOvers) {
            if (!found.live) continue;
            try {
                const Content c = parse(fs::readFile(RunMarker::handOverPath(folder, found.fileName)));
                heldLive.insert(heldLive.end(), c.numbers.begin(), c.numbers.end());
            } catch (const Error&) {
                // Gone meanwhile: its numbers are recorded.
            }
        }
        for (const RunMarker::Found& found : handOvers) {
            if (found.live || std::find(ignore.begin(), ignore.end(), found.fileName) != ignore.end()) continue;
            const std::string path = RunMarker::handOverPath(folder, found.fileName);
            if (server > 0) {
                // Only the one of that server: told by what it wrote.
                std::string bytes;
                try {
                    bytes = fs::readFile(path);
                } catch (const Error&) {
                    continue;
                }
                if (parse(bytes).server != server) continue;
            }
            TakeOver t;
            t.marker_ = RunMarker::claim(folder, found.fileName);
            if (!t.marker_.held()) continue;  // its writer lives after all, or another process took it
            t.markerFile_ = found.fileName;
            if (!fs::fileExists(path)) {
                t.marker_.remove();  // taken over and cleared meanwhile
                continue;
            }
            Content c;
            try {
                c = parse(fs::readFile(path));
            } catch (const Error& e) {
                logError(e.number(), "送信の引き継ぎファイルを読めません: " + path + " " + e.description());
                continue;  // stays, for a later round
            }
            t.server_ = c.server;
            for (const std::string& number : c.numbers) {
                // Listed twice (a hand-over that could not be rewritten after
                // a take-over): dealt with once.
                if (std::find(seen.begin(), seen.end(), number) != seen.end()) continue;
                seen.push_back(number);
                // Recorded already: sent, or failed and logged; never sent
                // twice. Nor is one that a live server holds now.
                if (send_records::hasSendRecord(number) || has(heldLive, number)) continue;
                if (has(c.sent, number)) {
                    // Its fax went out whole; only its record was missing.
                    const send_records::SendRecord r = send_records::writeSendResult(number, true);
                    if (r.pagesMayGo) (void)send_records::deletePages(r.pages);
                    if (!r.settled()) t.keep(number, kSent);
                    continue;
                }
                if (has(c.inDoubt, number)) {
                    // Sent again blindly it might reach the recipient twice:
                    // the operator asks first, with its pages kept for a re-send.
                    send_records::logMayHaveGoneOut(number, "送信サーバ (プロセス " + std::to_string(c.server) +
                                                                ") が最後のページを回線に出す間に終わりました。");
                    const send_records::SendRecord r = send_records::writeSendResult(number, false);
                    if (r.pagesMayGo) (void)send_records::deletePages(r.pages);
                    if (!r.settled()) t.keep(number, kInDoubt);
                    continue;
                }
                if (pagesInPlace(number)) {
                    t.toSend_.push_back(number);
                    continue;
                }
                logError(send_errors::NoPages, "帳票管理番号：" + number + "　終了した送信サーバ (プロセス " +
                                                   std::to_string(c.server) +
                                                   ") から引き継ぎましたが、送信するページがありません。");
                if (!send_records::recordUnsent(number, send_errors::NoPages)) t.keep(number, "");
            }
            taken.push_back(std::move(t));
        }
    } catch (...) {
        logCurrentError(kSource);
    }
    return taken;
}

void TakeOver::clearEndedSenders() noexcept {
    try {
        const std::string folder = fs::programFolder();
        for (const RunMarker::Found& m : RunMarker::find(folder)) {
            if (m.live || fs::fileExists(RunMarker::handOverPath(folder, m.fileName))) continue;
            // Only a live writer of the marker writes its hand-over, and
            // this one's writer has ended: held, it goes whole.
            RunMarker::claim(folder, m.fileName).remove();
        }
        removeSendCopiesOf(0);
    } catch (...) {
        logCurrentError(kSource);
    }
}

void TakeOver::clearSendCopiesOf(pid_t server) noexcept {
    if (server <= 0) return;
    try {
        removeSendCopiesOf(server);
    } catch (...) {
        logCurrentError(kSource);
    }
}

void TakeOver::keep(const std::string& number, const char* word) {
    unrecorded_.push_back(number);
    if (std::string_view(word) == kSent) unrecordedSent_.push_back(number);
    else if (std::string_view(word) == kInDoubt) unrecordedInDoubt_.push_back(number);
}

void TakeOver::finish() noexcept {
    if (!marker_.held()) return;
    try {
        if (server_ > 0) removeSendCopiesOf(server_);
    } catch (...) {
        logCurrentError(kSource);
    }
    const std::string path = RunMarker::handOverPath(fs::programFolder(), markerFile_);
    if (unrecorded_.empty()) {
        (void)fs::removeFile(path);
    } else {
        // What could not be recorded stays in the hand-over, under the dead
        // server's name and with what became of each send, for a later
        // round; the marker and its lock go, so that round can claim it.
        logError(send_errors::SendFailed, "帳票管理番号：" + text::join(unrecorded_, ',') + "　送信履歴に記録できないため、引き継ぎに残します (送信サーバ プロセス " +
                                              std::to_string(server_) + ")。");
        try {
            write(path, server_, unrecorded_, unrecordedSent_, unrecordedInDoubt_);
        } catch (...) {
            // The file as it was still holds them (and what went to new
            // servers, which the next round leaves to them).
            logCurrentError(kSource);
        }
    }
    marker_.remove();
}

void TakeOver::giveUp(const std::string& why) noexcept {
    for (const std::string& number : toSend_) {
        logError(send_errors::SendFailed, "帳票管理番号：" + number + "　引き継いだ送信を始められません。" + why);
        if (!send_records::recordUnsent(number, send_errors::SendFailed)) keep(number, "");
    }
    toSend_.clear();
    finish();
}

}  // namespace fg::send_handover
