#include "platform/process/start_report.h"

#include "platform/error.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace fg {

namespace {

constexpr const char* kVariable = "FAXGATE_START_REPORT_FD";
constexpr std::string_view kUp = "UP";
constexpr std::string_view kFailed = "FAILED";
// A description longer than this is cut: the report is one line to read.
constexpr std::size_t kMaxLine = 4096;

}  // namespace

StartReportReader::StartReportReader() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        throw Error(errnum::PathFileAccessError, std::string("起動報告のパイプを作れません: ") + std::strerror(errno));
    reading_.reset(ends[0]);
    writing_.reset(ends[1]);
}

void StartReportReader::prepare(SpawnOptions& options) const {
    options.childFd = writing_.get();
    options.environment.push_back(std::string(kVariable) + "=3");
}

void StartReportReader::started() { writing_.reset(); }

StartReportReader::State StartReportReader::waitFor(std::chrono::milliseconds upTo) {
    const auto deadline = std::chrono::steady_clock::now() + upTo;
    while (state_ == State::Waiting) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{reading_.get(), POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(std::max<long long>(0, left.count())));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        char buffer[512];
        const ssize_t n = ::read(reading_.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            state_ = State::Silent;
            break;
        }
        pending_.append(buffer, static_cast<std::size_t>(n));
        const auto end = pending_.find('\n');
        if (end == std::string::npos) {
            if (pending_.size() > kMaxLine) state_ = State::Silent;
            continue;
        }
        const std::string line = pending_.substr(0, end);
        if (line == kUp) {
            state_ = State::Up;
        } else if (line.compare(0, kFailed.size(), kFailed) == 0) {
            description_ = line.substr(std::min(line.size(), kFailed.size() + 1));
            state_ = State::Failed;
        } else {
            state_ = State::Silent;
        }
    }
    return state_;
}

StartReportWriter StartReportWriter::fromEnvironment() {
    StartReportWriter w;
    const char* v = std::getenv(kVariable);
    if (!v || !*v) return w;
    int fd = -1;
    const std::string_view s(v);
    const auto r = std::from_chars(s.data(), s.data() + s.size(), fd);
    // The start that passed the report named it as a child object's socket
    // too: neither name may reach the programs this one starts.
    ::unsetenv(kVariable);
    ::unsetenv("FAXGATE_CHILD_FD");
    if (r.ec != std::errc() || r.ptr != s.data() + s.size() || fd < 0 || ::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) return w;
    w.fd_.reset(fd);
    return w;
}

void StartReportWriter::up() noexcept { tell(std::string(kUp) + "\n"); }

void StartReportWriter::failed(const std::string& description) noexcept {
    try {
        std::string text = description.substr(0, kMaxLine - kFailed.size() - 2);
        for (char& c : text)
            if (c == '\n' || c == '\r') c = ' ';
        tell(std::string(kFailed) + " " + text + "\n");
    } catch (...) {
        tell("FAILED\n");
    }
}

void StartReportWriter::tell(const std::string& line) noexcept {
    if (!fd_) return;
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(fd_.get(), line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    fd_.reset();
}

}  // namespace fg
