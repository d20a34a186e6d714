#include "platform/process/child_server.h"

#include "platform/process/child_object.h"
#include "platform/process/process.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/text.h"
#include "platform/wait_bounds.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace fg {

using childproto::Message;

namespace {

int childFdFromEnvironment() {
    const char* v = std::getenv("FAXGATE_CHILD_FD");
    int fd = -1;
    if (v && *v) {
        std::string_view s(v);
        auto r = std::from_chars(s.data(), s.data() + s.size(), fd);
        if (r.ec != std::errc() || r.ptr != s.data() + s.size()) fd = -1;
    }
    if (fd < 0 || ::fcntl(fd, F_GETFD) < 0)
        throw Error(kChildCannotCreate, "このプログラムは子プロセスのオブジェクトとしてだけ起動できます",
                    "ChildServer");
    return fd;
}

}  // namespace

bool ChildServer::startedAsChild() {
    const char* v = std::getenv("FAXGATE_CHILD_FD");
    return v && *v;
}

ChildServer::ChildServer(EventPump& pump) : ChildServer(pump, childFdFromEnvironment()) {}

ChildServer::ChildServer(EventPump& pump, int fd) : pump_(pump), fd_(fd) {
    // Programs this child starts in turn must not hold our socket open: the
    // parent would never see it close when we end.
    ::fcntl(fd_, F_SETFD, FD_CLOEXEC);
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
    ::unsetenv("FAXGATE_CHILD_FD");
    onRelease_ = [this] { pump_.quit(); };
    watch_ = pump_.watch(fd_, [this] { onReadable(); });
}

ChildServer::~ChildServer() {
    if (watch_) pump_.unwatch(watch_);
    if (fd_ >= 0) ::close(fd_);
}

void ChildServer::on(const std::string& member, Handler handler) {
    handlers_[text::toLowerAscii(member)] = std::move(handler);
}

void ChildServer::onRelease(std::function<void()> handler) { onRelease_ = std::move(handler); }

bool ChildServer::send(const std::string& line) {
    if (fd_ < 0 || released_) return false;
    std::size_t done = 0;
    using Steady = std::chrono::steady_clock;
    auto deadline = Steady::now() + std::chrono::duration_cast<Steady::duration>(realBound(sendBound_));
    while (done < line.size()) {
        ssize_t n = ::send(fd_, line.data() + done, line.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            deadline = Steady::now() + std::chrono::duration_cast<Steady::duration>(realBound(sendBound_));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The parent reads as it pumps; a full socket only means it is
            // busy, up to a bound: a parent that lives but no longer reads
            // is as good as gone.
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Steady::now()).count();
            if (left > 0) {
                pollfd p{fd_, POLLOUT, 0};
                ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 1000)));
                continue;
            }
            ErrorLogWriter().writeError(
                "ChildServer", Error(kChildTimedOut, "親プロセスが " + secondsText(sendBound_) +
                                                         "を過ぎても受け取りません。通信を閉じます。",
                                     "ChildServer"));
        }
        // Half a line must never be followed by another: the channel is closed
        // for good, which the parent sees as our end.
        ::shutdown(fd_, SHUT_RDWR);
        endService();
        return false;
    }
    return true;
}

void ChildServer::ready() {
    Message m;
    m.kind = Message::Kind::Answer;
    m.id = 0;
    (void)send(childproto::encode(m));
}

void ChildServer::refuse(const Error& error) {
    Message m;
    m.kind = Message::Kind::Answer;
    m.id = 0;
    m.ok = false;
    m.errorNumber = error.number();
    m.errorDescription = error.description();
    m.errorSource = error.source();
    (void)send(childproto::encode(m));
}

bool ChildServer::raiseEvent(const std::string& name, const Values& args) {
    Message m;
    m.kind = Message::Kind::Event;
    m.member = name;
    m.values = args;
    return send(childproto::encode(m));
}

void ChildServer::endService() {
    if (released_) return;
    released_ = true;
    if (watch_) pump_.unwatch(watch_);
    watch_ = 0;
    if (onRelease_) onRelease_();
}

void ChildServer::onReadable() {
    char buf[65536];
    for (;;) {
        if (released_) return;
        ssize_t n = ::recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
        if (n > 0) {
            try {
                input_.append(buf, static_cast<std::size_t>(n));
                while (auto line = input_.nextLine()) {
                    handleLine(*line);
                    if (released_) return;
                }
            } catch (const Error&) {
                // A parent that sends no lines is no parent we can serve.
                endService();
                return;
            }
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        // The parent has gone: that releases the object as well.
        endService();
        return;
    }
}

void ChildServer::handleLine(const std::string& line) {
    Message request = childproto::decode(line);
    if (request.kind == Message::Kind::Release) {
        endService();
        return;
    }
    if (request.kind != Message::Kind::Request) throw Error(errnum::InvalidProcedureCall, "unexpected message");
    Message answer;
    answer.kind = Message::Kind::Answer;
    answer.id = request.id;
    auto it = handlers_.find(text::toLowerAscii(request.member));
    if (request.member == childproto::kProbeMember) {
        // Answered here, so that an object busy in nested waits still shows it lives.
        (void)send(childproto::encode(answer));
        return;
    }
    try {
        if (it == handlers_.end())
            throw Error(kChildNoSuchMember, "このメンバーはありません: " + request.member, "ChildServer");
        Handler h = it->second;
        answer.values = h(request.values);
    } catch (...) {
        const Error e = currentError();
        answer.ok = false;
        answer.errorNumber = e.number();
        answer.errorDescription = e.description();
        answer.errorSource = e.source();
    }
    (void)send(childproto::encode(answer));
}

}  // namespace fg
