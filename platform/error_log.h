// The system's error logs. A call appends one UTF-8 line (time stamp,
// process id, source, number, description) to a log in the "log" folder.
// Writing never throws and never waits for long: a log that cannot be
// written falls back to standard error.
#pragma once

#include "platform/error.h"

#include <memory>
#include <string>
#include <string_view>

namespace fg {

struct ErrorLogEntry {
    std::string log;  // "ErrorLog" or "TelephonyErrorLog"
    std::string source;
    long number = 0;
    std::string description;
    bool flag = true;
};

// Where entries go. The default writes the log files; tests install a recorder.
class ErrorLogSink {
public:
    virtual ~ErrorLogSink() = default;
    virtual void write(const ErrorLogEntry& entry) = 0;
};

void setErrorLogSink(std::shared_ptr<ErrorLogSink> sink);  // nullptr restores the files

class ErrorLogWriter {
public:
    void writeError(const std::string& source, const Error& error) noexcept;
    // Some callers pass a result argument that nobody reads.
    void writeError(const std::string& source, const Error& error, long& /*result*/) noexcept {
        writeError(source, error);
    }
    void writeError(const std::string& source, long number, const std::string& description) noexcept;
};

// Writes the error to the error log under `source`; never throws.
void logError(const std::string& source, const Error& error) noexcept;

class TelephonyErrorLog {
public:
    void writeError(const Error& error, bool flag = true) noexcept;
    // Inside a catch: writes the exception being handled, as currentError()
    // makes it, under `source`, with `number` in place of its own number
    // when one is given. Never throws.
    void writeCurrentError(const std::string& source, long number = 0, bool flag = true) noexcept;
};

// Bytes as the logs show them: printable ASCII and well-formed UTF-8 as they
// are, every other byte (control bytes, tabs and line ends included) as
// "\xNN". Whatever a line quotes from a damaged file, the log stays text.
std::string escapedForLog(std::string_view bytes);

// Writes the entry to the log files (the default sink).
void writeLogFile(const ErrorLogEntry& entry) noexcept;
// A line for the debug log ("DebugLog.txt"); never throws.
void writeDebugLine(const std::string& source, const std::string& message) noexcept;

}  // namespace fg
