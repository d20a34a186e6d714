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

std::string oneLine(std::string s) {
    for (char& c : s)
        if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    return s;
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
