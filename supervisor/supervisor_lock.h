// The lock that lets only one supervisor run on a program folder: the
// supervisor holds it for its life, and the main window tests it to tell a
// running supervisor from a stopped one, whoever started it.
#pragma once

#include "platform/file_lock.h"

#include <string>

namespace fg {

class SupervisorLock {
public:
    // The file the lock guards: the supervisor's name in the program folder
    // (the lock itself is the hidden ".tolvern.lock" beside it).
    static std::string guardedPath();
    // Takes the lock for the supervisor's life; an unheld lock when another
    // supervisor holds it. Raises fg::Error when the lock file cannot be made.
    static FileLock acquire();
    // Whether a supervisor holds the lock now.
    static bool supervisorRunning();
};

}  // namespace fg
