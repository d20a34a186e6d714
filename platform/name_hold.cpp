#include "platform/name_hold.h"

#include "platform/clock.h"
#include "platform/error.h"

#include <unistd.h>

namespace fg {

namespace {

bool plainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string("/\0", 2)) == std::string::npos;
}

std::string checkedPath(const std::string& folder, const std::string& name) {
    if (!plainName(name))
        throw Error(errnum::InvalidProcedureCall, "保持する名前が不正です: \"" + name + "\"", "NameHold");
    return NameHold::pathFor(folder, name);
}

}  // namespace

std::string NameHold::pathFor(const std::string& folder, const std::string& name) {
    return folder + "." + name + ".hold";
}

// The holder works in the system's time; the wait for it runs in real time,
// as every wait on another process does.
NameHold::NameHold(const std::string& folder, const std::string& name, std::chrono::milliseconds bound)
    : path_(checkedPath(folder, name)),
      lock_(FileLock::ownFile(path_,
                              std::chrono::duration_cast<std::chrono::milliseconds>(clock().realDuration(bound)))) {}

NameHold::~NameHold() {
    // Removed while held (the lock goes after): a waiter that opened it
    // takes the lock of a file no longer named, sees so, and makes a new one.
    (void)::unlink(path_.c_str());
}

}  // namespace fg
