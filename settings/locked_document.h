// One load-change-save of a settings file that other processes change too.
#pragma once

#include "platform/file_lock.h"
#include "platform/xml.h"

#include <chrono>
#include <string>

namespace fg::settings {

// Holds the file's exclusive lock from the load to the end of its life, so
// that a change another process makes between our load and our save is never
// overwritten. The save is atomic: a reader sees the old file or the new one.
class LockedDocument {
public:
    // Locks the file, waiting up to `lockBound` (raises the lock's fg::Error
    // 70 when it cannot), then loads it. A failed load is not an error here:
    // loaded() tells.
    explicit LockedDocument(const std::string& path,
                            std::chrono::milliseconds lockBound = std::chrono::milliseconds(120000));

    [[nodiscard]] bool loaded() const { return loaded_; }
    const xml::ParseError& parseError() const { return document_.parseError(); }
    xml::Document& document() { return document_; }
    const std::string& path() const { return path_; }

    // Saves over the file. A document whose load failed is empty, and saving
    // it would wipe records a person can still mend: that raises error 75
    // and leaves the file alone.
    void save() const;

private:
    std::string path_;
    FileLock lock_;
    xml::Document document_;
    bool loaded_ = false;
};

// The description of a failed load, for the logs: file and reason.
std::string loadFailure(const std::string& path, const xml::ParseError& error);

}  // namespace fg::settings
