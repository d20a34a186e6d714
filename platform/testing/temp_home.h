// Test support: a temporary program folder laid out like an installation,
// and a recorder for the error log.
#pragma once

#include "platform/error_log.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace fg::testing {

// A fresh folder under the test temp root; FAXGATE_HOME points at it while
// the object lives. With `installDemo` the shipped demo home (folder maps,
// settings and sample data) is copied in first, without the address of the
// demo's EDI server: a test that needs one starts its own (LocalEdiServer,
// on a port the system picks) and writes its address into the settings.
class TempHome {
public:
    explicit TempHome(bool installDemo = true);
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    const std::string& path() const { return path_; }     // ends with "/"
    std::string operator/(const std::string& rel) const { return path_ + rel; }
    // The folder of a folder key, as FolderPathInfo gives it (created).
    std::string folder(const std::string& key) const;
    void write(const std::string& rel, const std::string& bytes) const;
    std::string read(const std::string& rel) const;

private:
    std::string path_;
    std::string previousHome_;
    bool hadHome_ = false;
};

// A fresh empty temporary folder, removed at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }  // ends with "/"
    std::string operator/(const std::string& rel) const { return path_ + rel; }

private:
    std::string path_;
};

// Every file, folder and link below `folder`, hidden ones included, as
// paths relative to it ("sub/a.xml"), sorted; links are not followed.
std::vector<std::string> everythingIn(const std::string& folder);

// Records error-log entries while it is installed.
class ErrorLogRecorder : public ErrorLogSink, public std::enable_shared_from_this<ErrorLogRecorder> {
public:
    static std::shared_ptr<ErrorLogRecorder> install();
    ~ErrorLogRecorder() override = default;
    void write(const ErrorLogEntry& entry) override;
    std::vector<ErrorLogEntry> entries() const;
    bool has(long number) const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<ErrorLogEntry> entries_;
};

// Restores the file sink when it goes out of scope.
struct ErrorLogGuard {
    std::shared_ptr<ErrorLogRecorder> log = ErrorLogRecorder::install();
    ~ErrorLogGuard() { setErrorLogSink(nullptr); }
};

// Every (class, folder) entry of a folder map file, in document order.
// Raises std::runtime_error for a file that does not load.
std::vector<std::pair<std::string, std::string>> folderEntries(const std::string& path);

// The source tree and the program folder of the build.
std::string sourceDir();
std::string programDir();

}  // namespace fg::testing
