#include "platform/error_log.h"

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"
#include "platform/owned.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>

namespace fg {

namespace {

std::mutex sinkMutex;
std::shared_ptr<ErrorLogSink>& sinkSlot() {
    static std::shared_ptr<ErrorLogSink> sink;
    return sink;
}

void dispatch(const ErrorLogEntry& entry) noexcept {
    std::shared_ptr<ErrorLogSink> sink;
    {
        std::lock_guard lock(sinkMutex);
        sink = sinkSlot();
    }
    try {
        if (sink) sink->write(entry);
        else writeLogFile(entry);
    } catch (...) {
        std::fprintf(stderr, "%s: %ld %s\n", entry.source.c_str(), entry.number, entry.description.c_str());
    }
}

// Line ends and tabs would split the line or its fields: they become spaces,
// as in every log line so far. Every other byte that is not text is shown
// escaped, so that no quoted bytes make the log a binary file.
std::string oneLine(std::string s) {
    for (char& c : s)
        if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    return escapedForLog(s);
}

// The length of the well-formed UTF-8 character at `at`; 0 when none starts there.
std::size_t utf8Length(std::string_view s, std::size_t at) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(at);
    std::size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 0;
    if (length == 0 || at + length > s.size()) return 0;
    for (std::size_t k = 1; k < length; ++k)
        if ((byte(at + k) & 0xC0) != 0x80) return 0;
    // Overlong forms, surrogates and code points past U+10FFFF are not text.
    const unsigned char second = byte(at + 1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90) ||
        (lead == 0xF4 && second > 0x8F))
        return 0;
    return length;
}

std::string logFolder() {
    std::string folder;
    try {
        FolderPathInfo().getFolderPath("log", folder);
    } catch (...) {
        folder.clear();
    }
    if (folder.empty()) folder = fs::programFolder() + "log/";
    return folder;
}

void appendLine(const std::string& fileName, const std::string& line) noexcept {
    std::string folder = logFolder();
    std::string path = folder + fileName;
    Descriptor fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    if (!fd) {
        try {
            fs::makeFolders(folder);
        } catch (...) {
        }
        fd.reset(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    }
    // One write per line: O_APPEND keeps lines of several processes whole.
    if (!fd || ::write(fd.get(), line.data(), line.size()) != static_cast<ssize_t>(line.size()))
        std::fwrite(line.data(), 1, line.size(), stderr);
}

std::string stamp() {
    auto now = clock().now();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    char frac[8];
    std::snprintf(frac, sizeof frac, ".%03lld", static_cast<long long>(ms));
    return formatLocal(now, "%Y/%m/%d %H:%M:%S") + frac;
}

}  // namespace

std::string escapedForLog(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t at = 0; at < bytes.size();) {
        const unsigned char c = static_cast<unsigned char>(bytes[at]);
        if (c >= 0x20 && c < 0x7F) {
            out += bytes[at++];
            continue;
        }
        if (std::size_t length = c >= 0x80 ? utf8Length(bytes, at) : 0) {
            out.append(bytes.substr(at, length));
            at += length;
            continue;
        }
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        out += hex;
        ++at;
    }
    return out;
}

void setErrorLogSink(std::shared_ptr<ErrorLogSink> sink) {
    std::lock_guard lock(sinkMutex);
    sinkSlot() = std::move(sink);
}

void writeLogFile(const ErrorLogEntry& entry) noexcept {
    try {
        std::string line = stamp() + "\t" + std::to_string(::getpid()) + "\t" + oneLine(entry.source) + "\t" +
                           std::to_string(entry.number) + "\t" + oneLine(entry.description);
        if (entry.log == "TelephonyErrorLog") line += std::string("\t") + (entry.flag ? "True" : "False");
        line += "\n";
        appendLine(entry.log + ".txt", line);
    } catch (...) {
        std::fprintf(stderr, "%s: %ld\n", entry.source.c_str(), entry.number);
    }
}

void writeDebugLine(const std::string& source, const std::string& message) noexcept {
    try {
        appendLine("DebugLog.txt",
                   stamp() + "\t" + std::to_string(::getpid()) + "\t" + oneLine(source) + "\t" + oneLine(message) + "\n");
    } catch (...) {
    }
}

void ErrorLogWriter::writeError(const std::string& source, const Error& error) noexcept {
    writeError(source, error.number(), error.description());
}

void ErrorLogWriter::writeError(const std::string& source, long number, const std::string& description) noexcept {
    try {
        dispatch(ErrorLogEntry{"ErrorLog", source, number, description, true});
    } catch (...) {
    }
}

void logError(const std::string& source, const Error& error) noexcept { ErrorLogWriter().writeError(source, error); }

void TelephonyErrorLog::writeError(const Error& error, bool flag) noexcept {
    try {
        dispatch(ErrorLogEntry{"TelephonyErrorLog", error.source(), error.number(), error.description(), flag});
    } catch (...) {
    }
}

void TelephonyErrorLog::writeCurrentError(const std::string& source, long number, bool flag) noexcept {
    try {
        Error e = currentError();
        writeError(Error(number != 0 ? number : e.number(), e.description(), source), flag);
    } catch (...) {
        // Only the copies can fail here: log what we can.
        writeError(Error(number != 0 ? number : errnum::OutOfMemory, {}, source), flag);
    }
}

Error logCurrentError(const std::string& source) noexcept {
    try {
        Error error = currentError();
        ErrorLogWriter().writeError(source, error);
        return error;
    } catch (...) {
        // Only the copy itself can fail here: log what we can.
        ErrorLogWriter().writeError(source, errnum::OutOfMemory, Error::standardText(errnum::OutOfMemory));
        return Error(errnum::OutOfMemory, {});
    }
}

}  // namespace fg
