// Test support: the far end of a pseudo-terminal that answers a modem
// engine by a script. Each command line goes to the rule, whose answer bytes
// are written back as they are (nothing at all plays a modem gone silent).
// After an answer that holds "CONNECT" to AT+FDT the bytes that follow are
// page data up to DLE ETX, DLE "," or DLE "." (DLE doubling removed); the
// page is kept and the rule is asked again with "<DLE ETX>", "<DLE ,>" or
// "<DLE .>" as the command. It is no modem: the tests of the engine script
// what a modem would say.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace fg::testing {

class ScriptedModem {
public:
    using Rule = std::function<std::string(const std::string& command)>;
    explicit ScriptedModem(Rule rule);
    ~ScriptedModem();
    ScriptedModem(const ScriptedModem&) = delete;
    ScriptedModem& operator=(const ScriptedModem&) = delete;

    const std::string& devicePath() const { return device_; }  // /dev/pts/N
    std::vector<std::string> commands() const;
    std::vector<std::string> pages() const;
    // Writes bytes of its own (a RING, noise).
    void send(const std::string& bytes);
    // Waits until `count` commands have come.
    bool waitForCommands(std::size_t count, std::chrono::milliseconds bound) const;

    static std::string dleEscaped(const std::string& data);

private:
    void run();

    Rule rule_;
    int master_ = -1;
    int wake_[2] = {-1, -1};
    std::string device_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::string> commands_;
    std::vector<std::string> pages_;
    std::thread thread_;
};

}  // namespace fg::testing
