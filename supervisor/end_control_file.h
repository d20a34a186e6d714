// End.xml, the end-control file in the program folder: the main window and
// an outside writer ask the supervisor to stop through it.
//
// A document with a root of any name and, anywhere in it, elements
// End-Request and TelephonyErrReq. Each is read as a 16-bit integer and the
// last element of each name counts; TelephonyErrReq is consulted only when
// End-Request gives 0. A final 1 is a stop request, any other value none.
// Text that is no number counts as 0 (no request): a hand-edited file must
// neither stop the server nor keep it from being read.
//
// The file is installed, never created here. Writers change it under its
// file lock and save it atomically, so the supervisor, the window and an
// outside writer never lose each other's changes.
#pragma once

#include "platform/files.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace fg {

class EndControlFile {
public:
    static constexpr const char* kFileName = "End.xml";
    static constexpr const char* kEndRequest = "End-Request";
    static constexpr const char* kTelephonyErrReq = "TelephonyErrReq";

    // End.xml of the program folder.
    EndControlFile();
    explicit EndControlFile(std::string path) : path_(std::move(path)) {}

    struct Reading {
        bool loaded = false;     // false: missing or not well-formed (then no request)
        std::string loadError;   // why it did not load
        int value = 0;           // the request value; 1 asks for a stop
        std::string badText;     // the last text that was no number, with its element
    };
    Reading read() const;

    // Sets the text of every element named `element` (each pair) and saves the
    // file, all under its lock. Raises fg::Error when the file does not load
    // (53 when it is missing) or cannot be saved.
    void set(const std::vector<std::pair<std::string, std::string>>& values) const;
    // As set, but only while the file is still the save `since` stamps:
    // false, the file left alone, once another writer has saved it (a later
    // request wins over what was decided on the older one).
    [[nodiscard]] bool setIfUnchanged(const std::vector<std::pair<std::string, std::string>>& values,
                                      const std::optional<fs::FileStamp>& since) const;
    // Which save of the file is there now; nullopt when there is none.
    std::optional<fs::FileStamp> stamp() const;

    const std::string& path() const { return path_; }

private:
    // Changes the file under its lock; with `since`, only while it is that save.
    bool change(const std::vector<std::pair<std::string, std::string>>& values,
                const std::optional<fs::FileStamp>* since) const;

    std::string path_;
};

}  // namespace fg
