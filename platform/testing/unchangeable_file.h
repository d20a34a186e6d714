// A shared file that no process can change while this lives, as on a full
// disk (permissions do not stop root): a folder stands where its lock file
// goes, so every locked change and locked read fails. The file is untouched.
#pragma once

#include "platform/file_lock.h"

#include <filesystem>

namespace fg::testing {

struct UnchangeableFile {
    explicit UnchangeableFile(const std::string& path) : lock(FileLock::lockPathFor(path)) {
        std::filesystem::remove(lock);
        std::filesystem::create_directory(lock);
    }
    ~UnchangeableFile() { release(); }
    void release() {
        std::error_code ignored;
        std::filesystem::remove(lock, ignored);
    }
    std::filesystem::path lock;
};

}  // namespace fg::testing
