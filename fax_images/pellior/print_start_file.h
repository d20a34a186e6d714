// The print start file, MyTalkStUp.xml in the program folder: it tells that
// a print to the fax printer is under way on this machine.
//
// Prints are serialised by an exclusive lock beside the start file, not by
// the file's existence: testing for the file and then writing it were two
// steps another process could slip between, and a file left by a process
// that died while printing stopped every later print until someone removed
// it. The lock is the kernel's and goes with its holder, so a print started
// after a crash proceeds (and writes the start file anew). While it waits,
// the caller's events keep being delivered through its event pump.
#pragma once

#include "platform/file_lock.h"

#include <chrono>
#include <string>

namespace fg {

class EventPump;

class PrintStartFile {
public:
    static constexpr const char* kFileName = "MyTalkStUp.xml";
    // The pause between two tries for the lock, in the system's time.
    static constexpr std::chrono::milliseconds kPause{200};

    // The start file's path: the program folder and the name, joined with a
    // separator.
    static std::string path();

    // Waits until this process holds the print lock: pumps pending events
    // once, then tries, and pauses between tries while pumping (or sleeping
    // through the platform clock without a pump). Raises fg::Error when the
    // lock file cannot be made, and 70 when another print still holds the
    // lock after the bound of waits.xml (PrintStart).
    static FileLock acquire(EventPump* pump);

    // Writes the start file: the declaration with encoding "shift-jis", then
    // <MyTalk><My>Start</My></MyTalk>. Raises fg::Error on failure.
    static void write();
    // Removes the start file; a missing file is no failure.
    static void remove() noexcept;
};

}  // namespace fg
