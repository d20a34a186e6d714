// The lock of a request folder ("TempReqEDI" and its kind): one exchange
// with the EDI server writes request.xml and request.zip there, posts them
// and deletes them again, and the confirmation file PutConfirmFax.xml lives
// there too. Whoever builds, packs, posts and deletes in such a folder (the
// EDI control's passes, the receipt confirmation of the document builder,
// the job programs) holds this lock for that one cycle, so that two of them
// never overwrite each other's request files.
//
// The lock file lies beside the folder (".<folder name>.lock" in its parent,
// see FileLock), not inside it: the folder's contents are cleared by the
// same people who take the lock. The lock is not re-entrant, not even within
// one process: hold it for one cycle only (a fetch keeps it on through the
// receipt it settles at once of what it fetched), never across a whole batch.
#pragma once

#include "platform/file_lock.h"

#include <chrono>
#include <string>
#include <utility>

namespace fg {

class RequestFolderLock {
public:
    // Locks the request folder `folder` (with or without its final "/"),
    // waiting up to `timeout` of the system's time; raises fg::Error 70.
    explicit RequestFolderLock(const std::string& folder,
                               std::chrono::milliseconds timeout = std::chrono::milliseconds(120000))
        : lock_(guardedPath(folder), FileLock::Mode::Exclusive, timeout) {}

    // Tries once: an unheld lock (held() false) while another holder has
    // it, that is while an exchange in that folder is under way.
    static RequestFolderLock tryLock(const std::string& folder) {
        return RequestFolderLock(FileLock::tryLock(guardedPath(folder)));
    }

    // The lock file that guards the folder.
    static std::string lockPath(const std::string& folder) { return FileLock::lockPathFor(guardedPath(folder)); }

    [[nodiscard]] bool held() const { return lock_.held(); }
    void unlock() { lock_.unlock(); }

private:
    explicit RequestFolderLock(FileLock lock) : lock_(std::move(lock)) {}
    static std::string guardedPath(std::string folder) {
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        return folder;
    }
    FileLock lock_;
};

}  // namespace fg
