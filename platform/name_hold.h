// A hold on a name that processes take one at a time for a piece of work
// (the approval of one management number, say), with nothing left behind
// once the work is done: unlike a FileLock, whose lock file stays for good,
// the hold's file "<folder>.<name>.hold" exists only while it is held or
// after its holder died. The holder removes it before it lets go; a taker
// that finds, once it has the lock, that its file is no longer the one of
// that name takes the new one, so two holders never hold one name.
#pragma once

#include "platform/file_lock.h"

#include <chrono>
#include <string>

namespace fg {

class NameHold {
public:
    // Takes the hold of `name` (a plain file name) in `folder` (ending with
    // "/"), waiting up to `bound` of the system's time (less when a
    // WaitDeadline of the thread ends sooner, but a second at least).
    // Raises fg::Error 70 when the bound passes or the hold's file cannot be
    // made, and 5 for a name that is no plain file name.
    NameHold(const std::string& folder, const std::string& name, std::chrono::milliseconds bound);
    ~NameHold();  // lets go, removing the file
    NameHold(const NameHold&) = delete;
    NameHold& operator=(const NameHold&) = delete;

    // The file that a hold of `name` in `folder` takes.
    static std::string pathFor(const std::string& folder, const std::string& name);

private:
    std::string path_;
    FileLock lock_;  // on the hold's file itself
};

}  // namespace fg
