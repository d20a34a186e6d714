#include "platform/testing/scripted_modem.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>

namespace fg::testing {

namespace {
constexpr char DLE = 0x10, ETX = 0x03;
}

ScriptedModem::ScriptedModem(Rule rule) : rule_(std::move(rule)) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 || !::ptsname(master_) ||
        ::pipe2(wake_, O_CLOEXEC) != 0)
        throw std::runtime_error("no pseudo-terminal");
    device_ = ::ptsname(master_);
    // The slave side keeps the line's settings while nobody has it open.
    int slave = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    if (slave < 0 || ::tcgetattr(slave, &t) != 0) throw std::runtime_error("pseudo-terminal settings");
    ::cfmakeraw(&t);
    if (::tcsetattr(slave, TCSANOW, &t) != 0) throw std::runtime_error("pseudo-terminal settings");
    ::close(slave);
    thread_ = std::thread([this] { run(); });
}

ScriptedModem::~ScriptedModem() {
    if (::write(wake_[1], "x", 1) != 1) std::terminate();
    thread_.join();
    ::close(master_);
    ::close(wake_[0]);
    ::close(wake_[1]);
}

std::string ScriptedModem::dleEscaped(const std::string& data) {
    std::string out;
    for (char c : data) {
        out += c;
        if (c == DLE) out += DLE;
    }
    return out;
}

std::vector<std::string> ScriptedModem::commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}

std::vector<std::string> ScriptedModem::pages() const {
    std::lock_guard lock(mutex_);
    return pages_;
}

void ScriptedModem::send(const std::string& bytes) {
    std::lock_guard lock(mutex_);
    for (std::size_t at = 0; at < bytes.size();) {
        ssize_t n = ::write(master_, bytes.data() + at, bytes.size() - at);
        if (n <= 0) return;
        at += static_cast<std::size_t>(n);
    }
}

bool ScriptedModem::waitForCommands(std::size_t count, std::chrono::milliseconds bound) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, bound, [&] { return commands_.size() >= count; });
}

void ScriptedModem::run() {
    std::string line, page;
    bool inData = false, afterDle = false;
    auto answer = [&](const std::string& command) {
        {
            std::lock_guard lock(mutex_);
            commands_.push_back(command);
        }
        changed_.notify_all();
        std::string reply = rule_(command);
        send(reply);
        if (command == "AT+FDT" && reply.find("CONNECT") != std::string::npos) inData = true;
    };
    for (;;) {
        pollfd p[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (::poll(p, 2, -1) < 0) continue;
        if (p[1].revents) return;
        char buf[4096];
        ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) {
            // The engine has closed its side; wait for it to come back or
            // for the end.
            pollfd w{wake_[0], POLLIN, 0};
            if (::poll(&w, 1, 20) > 0) return;
            continue;
        }
        for (ssize_t i = 0; i < n; ++i) {
            char c = buf[i];
            if (inData) {
                if (afterDle) {
                    afterDle = false;
                    if (c == DLE) {
                        page += DLE;
                        continue;
                    }
                    if (c == ETX || c == ',' || c == '.') {
                        {
                            std::lock_guard lock(mutex_);
                            pages_.push_back(page);
                        }
                        page.clear();
                        inData = false;
                        answer(c == ETX ? "<DLE ETX>" : std::string("<DLE ") + c + ">");
                    }
                    continue;
                }
                if (c == DLE) afterDle = true;
                else page += c;
                continue;
            }
            if (c == '\r' || c == '\n') {
                if (!line.empty()) answer(line);
                line.clear();
            } else if (c >= 0x20 && c < 0x7f) {
                line += c;
            }
        }
    }
}

}  // namespace fg::testing
