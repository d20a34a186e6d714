// Test support: tar/gzip archives made with GNU tar, and files in folders.
#pragma once

#include "platform/files.h"
#include "platform/testing/run_program.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace fg::testing {

// Writes `archive` holding the members (name -> bytes), made by GNU tar.
inline void makeTgz(const std::string& archive, const std::map<std::string, std::string>& members,
                    const std::string& scratch) {
    fs::removeTree(scratch);
    fs::makeFolders(scratch);
    std::vector<std::string> args{"tar", "-czf", archive, "-C", scratch};
    for (const auto& [name, bytes] : members) {
        fs::makeFolders(fs::folderOf(fs::join(scratch, name)));
        fs::writeFileAtomic(fs::join(scratch, name), bytes);
        args.push_back(name);
    }
    ProgramRun run = runProgram(args);
    fs::removeTree(scratch);
    if (run.exitCode != 0) throw std::runtime_error("tar failed for " + archive + ": " + run.errors);
}

// Names in a folder, hidden ones included, sorted.
inline std::vector<std::string> everything(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace fg::testing
