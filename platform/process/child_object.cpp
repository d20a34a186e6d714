#include "platform/process/child_object.h"

#include "platform/process/line_protocol.h"
#include "platform/error.h"
#include "platform/owned.h"
#include "platform/text.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <optional>

namespace fg {

using childproto::Message;
using Steady = std::chrono::steady_clock;

struct ChildObject::Impl : std::enable_shared_from_this<Impl> {
    enum class State { Alive, Gone, Released };

    Impl(EventPump& p, std::string prog, ChildObjectOptions opts)
        : pump(p), program(std::move(prog)), options(std::move(opts)) {}
    ~Impl() {
        detachFromPump();
        stopProbing();
    }

    EventPump& pump;
    std::string program;
    ChildObjectOptions options;
    Process process;
    Descriptor fd;
    EventPump::Id socketWatch = 0;
    EventPump::Id processWatch = 0;
    childproto::LineBuffer input;
    std::deque<Message> events;
    bool drainPosted = false;
    int callDepth = 0;
    std::uint64_t nextId = 1;
    std::uint64_t waitingFor = 0;
    std::optional<Message> answer;
    State state = State::Alive;
    std::string goneReason;
    EventHandler handler;
    // The probe of answerBound: its timer, and the call id and real time of
    // the probe not yet answered (id 0: none).
    EventPump::Id probeTimer = 0;
    std::uint64_t probeId = 0;
    Steady::time_point probeSentAt{};

    Steady::time_point deadlineAfter(Ms bound) const {
        return Steady::now() + std::chrono::duration_cast<Steady::duration>(realBound(bound));
    }
    // The answer to the creation comes from a program just started.
    Steady::time_point creationDeadline() const {
        return Steady::now() + std::chrono::duration_cast<Steady::duration>(realStartBound(options.createBound));
    }

    void detachFromPump() {
        if (socketWatch) pump.unwatch(socketWatch);
        if (processWatch) pump.unwatch(processWatch);
        socketWatch = processWatch = 0;
    }

    void closeSocket() { fd.reset(); }

    void stopProbing() {
        if (probeTimer) pump.cancelTimer(probeTimer);
        probeTimer = 0;
        probeId = 0;
    }

    void startProbing() {
        if (options.answerBound <= Ms(0)) return;
        std::weak_ptr<Impl> weak = weak_from_this();
        const Ms interval = std::max(options.answerBound / 4, Ms(1));
        probeTimer = pump.addTimer(interval, [weak] {
            if (auto self = weak.lock()) self->probe();
        }, true);
    }

    // A tick of the probe timer. What the child sent meanwhile is read
    // first: a client that did not pump for a while must not take its own
    // delay for the child's silence.
    void probe() {
        if (state != State::Alive) return;
        auto keep = shared_from_this();
        readAvailable();
        if (state != State::Alive) return;
        if (probeId != 0) {
            if (Steady::now() - probeSentAt < realBound(options.answerBound)) return;
            markHung();
            if (callDepth == 0) drain();
            return;
        }
        Message req;
        req.kind = Message::Kind::Request;
        req.id = nextId++;
        req.member = childproto::kProbeMember;
        const std::string line = childproto::encode(req);
        // Never waits: a child that does not even take the probe off its
        // socket has not answered it either.
        ssize_t n = ::send(fd.get(), line.data(), line.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            markGone(std::string("通信エラー: ") + std::strerror(errno));
            if (callDepth == 0) drain();
            return;
        }
        probeId = req.id;
        probeSentAt = Steady::now();
    }

    // The child left a probe unanswered for the whole bound: it is killed
    // at once, since a stopped or hung process acts on no polite request.
    void markHung() {
        const auto bound = std::chrono::duration_cast<std::chrono::seconds>(options.answerBound).count();
        markGone("プロセス " + std::to_string(process.pid()) + " が " + std::to_string(bound) +
                     " 秒応答しないため強制終了しました",
                 End::Kill);
    }

    std::string exitText() {
        auto code = process.exitCode();
        if (!code) return "終了しました";
        return "終了コード " + std::to_string(*code) + " で終了しました";
    }

    // The child is gone without being released: it died, closed its socket or
    // broke the protocol. It is reaped (or ended and reaped), and the error
    // event goes behind the events it raised before.
    enum class End { Wait, Terminate, Kill };
    void markGone(const std::string& reason, bool broken = false) {
        markGone(reason, broken ? End::Terminate : End::Wait);
    }
    void markGone(const std::string& reason, End end) {
        if (state != State::Alive) return;
        state = State::Gone;
        detachFromPump();
        stopProbing();
        closeSocket();
        if (end == End::Kill) process.kill();
        else if (end == End::Terminate || !process.waitFor(options.releaseBound)) (void)process.terminate(options.releaseBound);
        goneReason = program + ": " + reason;
        if (process.exitCode() && reason.find("終了") == std::string::npos) goneReason += " (" + exitText() + ")";
        if (!options.errorEvent.empty()) {
            Message m;
            m.kind = Message::Kind::Event;
            m.member = options.errorEvent;
            m.values = {goneReason};
            events.push_back(std::move(m));
            scheduleDrain();
        }
    }

    void processLine(const std::string& line) {
        Message m;
        try {
            m = childproto::decode(line);
        } catch (const Error& e) {
            markGone(e.description(), true);
            return;
        }
        switch (m.kind) {
        case Message::Kind::Answer:
            if (probeId != 0 && m.id == probeId) {
                probeId = 0;
                break;
            }
            // An answer to a call that timed out comes too late: drop it.
            if (m.id == waitingFor && !answer) answer = std::move(m);
            break;
        case Message::Kind::Event:
            events.push_back(std::move(m));
            scheduleDrain();
            break;
        default:
            markGone("子プロセスが要求を送りました", true);
        }
    }

    // Reads what the socket holds now. EOF or a broken line marks the child gone.
    void readAvailable() {
        char buf[65536];
        while (state == State::Alive && fd) {
            ssize_t n = ::recv(fd.get(), buf, sizeof buf, MSG_DONTWAIT);
            if (n > 0) {
                try {
                    input.append(buf, static_cast<std::size_t>(n));
                    while (state == State::Alive) {
                        auto line = input.nextLine();
                        if (!line) break;
                        processLine(*line);
                    }
                } catch (const Error& e) {
                    markGone(e.description(), true);
                }
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
            markGone(n == 0 ? "子プロセスが通信を閉じました" : std::string("通信エラー: ") + std::strerror(errno));
            return;
        }
    }

    void onProcessEnded() {
        readAvailable();
        if (state == State::Alive && !process.running()) markGone(exitText());
    }

    void scheduleDrain() {
        if (drainPosted) return;
        drainPosted = true;
        std::weak_ptr<Impl> weak = weak_from_this();
        pump.post([weak] {
            if (auto self = weak.lock()) self->drain();
        });
    }

    void drain() {
        drainPosted = false;
        auto keep = shared_from_this();  // a handler may release or destroy the object
        while (!events.empty() && state != State::Released) {
            Message m = std::move(events.front());
            events.pop_front();
            EventHandler h = handler;
            if (h) h(m.member, m.values);
        }
    }

    void attachToPump() {
        std::weak_ptr<Impl> weak = weak_from_this();
        socketWatch = pump.watch(fd.get(), [weak] {
            if (auto self = weak.lock()) {
                self->readAvailable();
                if (self->callDepth == 0) self->drain();
            }
        });
        if (process.descriptor() >= 0) {
            processWatch = pump.watch(process.descriptor(), [weak] {
                if (auto self = weak.lock()) {
                    self->onProcessEnded();
                    if (self->callDepth == 0) self->drain();
                }
            });
        }
    }

    void writeAll(const std::string& data, Steady::time_point deadline) {
        std::size_t done = 0;
        while (done < data.size()) {
            ssize_t n = ::send(fd.get(), data.data() + done, data.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Steady::now()).count();
                if (left <= 0) throw Error(kChildTimedOut, "子プロセスが要求を受け取りません: " + program, "ChildObject");
                pollfd p{fd.get(), POLLOUT, 0};
                if (::poll(&p, 1, static_cast<int>(std::min<long long>(left, 1000))) < 0 && errno != EINTR) {
                    // Sending again at once would only spin until the deadline.
                    markGone(std::string("poll: ") + std::strerror(errno), true);
                    throw gone();
                }
                continue;
            }
            markGone(std::string("通信エラー: ") + std::strerror(errno));
            throw gone();
        }
    }

    Error gone() const {
        return Error(kChildGone, "子プロセスが終了しています: " + (goneReason.empty() ? program : goneReason),
                     "ChildObject");
    }

    // Waits for the answer to `id` until the deadline, reading events on the way.
    Message awaitAnswer(std::uint64_t id, Steady::time_point deadline, const std::string& member) {
        waitingFor = id;
        answer.reset();
        for (;;) {
            if (answer) break;
            if (state != State::Alive) throw gone();
            auto left = deadline - Steady::now();
            if (left <= Steady::duration::zero())
                throw Error(kChildTimedOut, "子プロセスが時間内に応答しません: " + program + " " + member, "ChildObject");
            auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left);
            timespec ts{static_cast<time_t>(ns.count() / 1000000000), static_cast<long>(ns.count() % 1000000000)};
            pollfd fds[2] = {{fd.get(), POLLIN, 0}, {process.descriptor(), POLLIN, 0}};
            int n = process.descriptor() >= 0 ? 2 : 1;
            int rc = ::ppoll(fds, static_cast<nfds_t>(n), &ts, nullptr);
            if (rc < 0 && errno != EINTR) {
                markGone(std::string("poll: ") + std::strerror(errno), true);
                continue;
            }
            if (rc <= 0) continue;
            if (fds[0].revents) readAvailable();
            if (n == 2 && fds[1].revents && !answer) onProcessEnded();
        }
        waitingFor = 0;
        Message m = std::move(*answer);
        answer.reset();
        return m;
    }

    struct CallScope {
        Impl& impl;
        explicit CallScope(Impl& i) : impl(i) { ++impl.callDepth; }
        ~CallScope() { --impl.callDepth; }
    };
};

ChildObject::ChildObject(EventPump& pump, const std::string& program, const std::vector<std::string>& args,
                         ChildObjectOptions options)
    : impl_(std::make_shared<Impl>(pump, program, std::move(options))) {
    Impl& d = *impl_;
    auto systemFailure = [&program] {
        return Error(kChildCannotCreate, "オブジェクトを作成できません: " + program + ": " + std::strerror(errno),
                     "ChildObject");
    };
    int sv[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) throw systemFailure();
    d.fd.reset(sv[0]);
    // The child's end is closed here whichever way the start goes.
    Descriptor childEnd(sv[1]);
    int flags = ::fcntl(d.fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(d.fd.get(), F_SETFL, flags | O_NONBLOCK) != 0) throw systemFailure();
    SpawnOptions spawn;
    spawn.workingFolder = d.options.workingFolder;
    spawn.environment = d.options.environment;
    spawn.childFd = childEnd.get();
    spawn.ownProcessGroup = d.options.ownProcessGroup;
    spawn.endWithParent = d.options.endWithParent;
    try {
        d.process = Process::start(program, args, spawn);
    } catch (const Error& e) {
        d.closeSocket();
        d.state = Impl::State::Released;
        throw Error(kChildCannotCreate, "オブジェクトを作成できません: " + e.description(), "ChildObject");
    }
    childEnd.reset();
    if (d.options.started) d.options.started(d.process.pid());
    try {
        Impl::CallScope scope(d);
        Message m = d.awaitAnswer(0, d.creationDeadline(), "(作成)");
        if (!m.ok)
            throw Error(kChildCannotCreate,
                        "オブジェクトを作成できません: " + program + ": " + std::to_string(m.errorNumber) + " " +
                            m.errorDescription,
                        "ChildObject");
    } catch (const Error& e) {
        d.events.clear();
        d.state = Impl::State::Released;
        d.closeSocket();
        (void)d.process.terminate(d.options.releaseBound);
        if (e.number() == kChildCannotCreate) throw;
        throw Error(kChildCannotCreate, "オブジェクトを作成できません: " + e.description(), "ChildObject");
    }
    d.attachToPump();
    d.startProbing();
    // Events raised before the answer to the creation wait for the pump.
    if (!d.events.empty()) d.scheduleDrain();
}

ChildObject::~ChildObject() { release(); }

void ChildObject::setEventHandler(EventHandler handler) { impl_->handler = std::move(handler); }

std::vector<std::string> ChildObject::call(const std::string& member, const std::vector<std::string>& args) {
    return call(member, args, impl_->options.callBound);
}

std::vector<std::string> ChildObject::call(const std::string& member, const std::vector<std::string>& args, Ms bound) {
    auto keep = impl_;
    Impl& d = *keep;
    if (d.state == Impl::State::Released)
        throw Error(kChildGone, "オブジェクトは解放されています: " + d.program, "ChildObject");
    if (d.state != Impl::State::Alive) throw d.gone();
    Impl::CallScope scope(d);
    Message req;
    req.kind = Message::Kind::Request;
    req.id = d.nextId++;
    req.member = member;
    req.values = args;
    auto deadline = d.deadlineAfter(bound);
    d.writeAll(childproto::encode(req), deadline);
    Message m = d.awaitAnswer(req.id, deadline, member);
    if (!m.ok) throw Error(m.errorNumber, m.errorDescription, m.errorSource);
    return m.values;
}

std::string ChildObject::callValue(const std::string& member, const std::vector<std::string>& args) {
    auto values = call(member, args);
    return values.empty() ? std::string() : values.front();
}

void ChildObject::release() {
    if (!impl_) return;
    Impl& d = *impl_;
    if (d.state == Impl::State::Released) return;
    bool alive = d.state == Impl::State::Alive;
    d.state = Impl::State::Released;
    d.detachFromPump();
    d.stopProbing();
    d.events.clear();
    if (alive) {
        try {
            Message rel;
            rel.kind = Message::Kind::Release;
            std::string line = childproto::encode(rel);
            ssize_t n = ::send(d.fd.get(), line.data(), line.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            (void)n;  // a child that cannot take it is ended below all the same
        } catch (...) {
        }
        d.closeSocket();
        if (!d.process.waitFor(d.options.releaseBound)) (void)d.process.terminate(d.options.releaseBound);
    }
    d.closeSocket();
}

void ChildObject::terminate() {
    if (!impl_) return;
    Impl& d = *impl_;
    d.state = Impl::State::Released;
    d.detachFromPump();
    d.stopProbing();
    d.events.clear();
    d.closeSocket();
    (void)d.process.terminate(d.options.releaseBound);
}

bool ChildObject::alive() const { return impl_ && impl_->state == Impl::State::Alive; }
pid_t ChildObject::pid() const { return impl_ ? impl_->process.pid() : -1; }
const std::string& ChildObject::program() const { return impl_->program; }

}  // namespace fg
