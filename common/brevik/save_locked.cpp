#include "common/brevik/save_locked.h"

#include "platform/file_lock.h"
#include "platform/files.h"

#include <chrono>

namespace fg::brevik {

bool saveLocked(const xml::Document& document, const std::string& path) {
    try {
        // A document whose load failed is empty; writing it would wipe a file
        // a person can still mend.
        if (path.empty() || document.documentElement().isNull()) return false;
        std::string target = fs::resolve(path).value_or(path);
        // Client programs in other processes save the same files; the lock
        // keeps their writes from interleaving with this one.
        FileLock lock(target, FileLock::Mode::Exclusive, std::chrono::milliseconds(10000));
        document.save(target);
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace fg::brevik
