// Tells whether the files of one folder may have changed since it was last
// asked, without reading the folder: a reader that keeps what it learnt of
// the files (an index of them) asks before each use and reads them again
// only when the answer is yes.
//
// The answer errs on the side of yes. It is yes after any notice of the
// system about a listed name of the folder (created, deleted, moved in or
// out, written, closed after writing, its attributes changed), when notices
// were lost, when the folder itself was moved or deleted or the path now
// names another folder, in a child process made by fork, and whenever the
// watch cannot tell at all: no watch could be had, or the folder lies on a
// file system whose changes made elsewhere no watch sees (a network one).
#pragma once

#include "platform/owned.h"

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace fg {

class FolderWatch {
public:
    // Watches `folder` (the path as given) for the names that fs::list lists
    // with `pattern`: not hidden, matching without regard to case. Never
    // raises; a watch that cannot be had answers yes to every question.
    FolderWatch(std::string folder, std::string pattern);
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    const std::string& folder() const { return folder_; }

    // Takes the notices that have come since the last call (since the watch
    // began, for the first), without waiting: true when any of them may
    // concern a listed file. Never raises.
    [[nodiscard]] bool changed() noexcept;

    // Whether the file system of that type (statfs's f_type) passes every
    // change through this machine's kernel, which tells the watches. On a
    // network or user-space one, a change made on another machine or behind
    // the kernel's back reaches no watch: a reader there reads afresh.
    [[nodiscard]] static bool toldOfEveryChange(unsigned long fileSystemType) noexcept;

    // Whether every change of this file of the watched folder is told to the
    // watch: a plain file with no other name. A link, or a file with a
    // second name in another folder, can be changed without the folder
    // hearing of it. Never raises.
    [[nodiscard]] static bool coversFile(const std::string& path) noexcept;

private:
    // (Re)starts the watch; false when it cannot tell.
    bool arm() noexcept;
    [[nodiscard]] bool stillTheFolder() const noexcept;

    std::string folder_;
    std::string pattern_;
    Descriptor notices_;
    pid_t owner_ = -1;  // the process that made the watch: a forked child shares its notices
    std::uintmax_t device_ = 0, inode_ = 0;
};

}  // namespace fg
