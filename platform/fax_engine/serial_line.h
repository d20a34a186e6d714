// A serial device with a modem behind it: opened raw (8 data bits, no
// parity, one stop bit, RTS/CTS flow control until told otherwise, hang-up
// on close) under the UUCP lock file that other serial programs on Linux
// honour, and read and written without blocking, every wait with a bound.
//
// The lock file is "LCK..<name>" in the lock folder, <name> being the
// device's path below /dev/ with "/" written "_" (/dev/ttyS0 gives
// "LCK..ttyS0", /dev/pts/3 "LCK..pts_3"); it holds the owner's process id
// as ten characters and a line feed. A lock whose process has ended is
// removed; a lock of a living process, this one included, keeps the device.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace fg::fax {

class SerialLine {
public:
    enum class Status { Ok, NoDevice, Busy, Failed };
    struct Opened {
        Status status = Status::Failed;
        std::unique_ptr<SerialLine> line;
        std::string reason;  // why it did not open, for the log
    };
    // Opens `device` at `speed` bits per second under a lock in
    // `lockFolder` (ending with "/").
    static Opened open(const std::string& device, long speed, const std::string& lockFolder);

    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;
    // Closes the device (which drops DTR) and removes the lock.
    ~SerialLine();

    // Waits end at a point of real time, which callers take from the
    // platform clock (clock().realDuration of a bound in the system's time).
    using Deadline = std::chrono::steady_clock::time_point;
    enum class Io { Ok, TimedOut, Lost };
    // Writes `bytes` by the deadline, taking what is written off their
    // front (all of them when Ok).
    Io write(std::string_view& bytes, Deadline deadline);
    // Reads what has come, waiting until the deadline for the first byte;
    // Ok with at least one byte appended to `into`.
    Io read(std::string& into, Deadline deadline);
    // Drops DTR for a moment, which makes a modem hang up and leave data
    // mode; false (with the reason) on a device that has no DTR.
    [[nodiscard]] bool pulseDtr(std::string& reason);
    // Ends the waits of write and read under way, and every later one, at
    // once, as TimedOut: the line is being closed. Safe from any thread.
    void interrupt() noexcept;
    // Throws away what the modem sent and nobody read.
    void discardInput();
    // Throws away what was written and has not gone to the modem yet (data
    // the modem's XOFF holds back, say).
    void discardOutput();
    // How the modem holds the host back: RTS/CTS, or XON/XOFF for a modem
    // without it. Under XON/XOFF the line stops on the modem's XOFF only
    // while obeyXoff is on: the bytes 0x11 and 0x13 are data everywhere
    // else. False (with the reason) when the device takes no such setting.
    enum class Flow { RtsCts, XonXoff };
    [[nodiscard]] bool setFlow(Flow flow, std::string& reason);
    // Stops sending on the modem's XOFF until its XON (on), or never (off,
    // which lets held-back data go at once).
    [[nodiscard]] bool obeyXoff(bool on, std::string& reason);
    int descriptor() const { return fd_; }
    const std::string& device() const { return device_; }

    // The lock file of a device in a lock folder.
    static std::string lockFileFor(const std::string& device, const std::string& lockFolder);

private:
    SerialLine() = default;
    int fd_ = -1;
    int wake_ = -1;  // eventfd that interrupt() makes readable
    std::string device_;
    std::string lockFile_;
};

}  // namespace fg::fax
