// A shared file that no process can change for a while, as on a full disk
// (tests run as root, whom permissions do not stop): a folder stands where
// its lock file goes, so that every locked change fails, and reads that
// take the lock fail too. The file itself is left as it is.
#pragma once

#include "platform/file_lock.h"

#include <filesystem>
#include <string>

namespace fg::testing {

class UnchangeableFile {
public:
    explicit UnchangeableFile(const std::string& path) : lock_(FileLock::lockPathFor(path)) {
        std::filesystem::remove(lock_);
        std::filesystem::create_directory(lock_);
    }
    ~UnchangeableFile() { release(); }
    UnchangeableFile(const UnchangeableFile&) = delete;
    UnchangeableFile& operator=(const UnchangeableFile&) = delete;

    // Changeable again from now on.
    void release() {
        std::error_code ignored;
        std::filesystem::remove(lock_, ignored);
    }

private:
    std::string lock_;
};

}  // namespace fg::testing
