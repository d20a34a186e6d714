#include "fax_send/morvane/fax_send.h"

#include "fax_send/morvane/send_handover.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/process/child_object.h"
#include "platform/process/process.h"
#include "platform/process/run_marker.h"
#include "platform/text.h"
#include "platform/wait_bounds.h"

#include <algorithm>
#include <exception>
#include <utility>

namespace fg {

namespace {

constexpr const char* kEndEvent = "eventSendFaxEnd";
constexpr const char* kGoneEvent = "FaxSendServerGone";
// Servers started for one list, the first included, before the numbers are
// given up as unsendable: a server that dies while starting or while taking
// its list is replaced, since the list must not come back to the client
// once another server may have it.
constexpr int kServerTries = 3;

void logError(const Error& e) { ErrorLogWriter().writeError(FaxSend::kErrorSource, e); }

// The run marker of a server that has ended, if it left one: found by the
// process id its lock names, since a server that died before it answered
// its creation or a sendFAX never told its marker's name.
// Its send copies go too: one that died between its last record and
// clearing them left no hand-over that would take them along, and so does a
// lock it made before it could write its id into it.
void removeMarkerLeftBy(pid_t server) {
    RunMarker::removeLeftBy(fs::programFolder(), server);
    RunMarker::removeStrayLocks(fs::programFolder());
    send_handover::TakeOver::clearSendCopiesOf(server);
}


// The numbers a dead server left in its hand-over, claimed by this process.
struct Claimed {
    std::vector<send_handover::TakeOver> claims;
    std::vector<std::string> toSend;
    bool found() const { return !claims.empty(); }
    void finish() {
        for (auto& c : claims) c.finish();
    }
    void giveUp(const std::string& why) {
        for (auto& c : claims) c.giveUp(why);
    }
};

Claimed claimLeftBy(pid_t server) {
    Claimed c;
    c.claims = send_handover::TakeOver::claimLeft(server);
    for (const auto& t : c.claims) c.toSend.insert(c.toSend.end(), t.toSend().begin(), t.toSend().end());
    return c;
}

// Objects that carry on what dead servers left, for nobody waiting. Never
// destroyed, as lingering() below.
std::vector<std::unique_ptr<FaxSend>>& adopted() {
    static auto* sends = new std::vector<std::unique_ptr<FaxSend>>();
    return *sends;
}

// Servers let go of while their job runs. They finish it on their own; the
// client keeps their channel only to hear the end and reap them. Never
// destroyed: a client that ends first must not take the server down with it
// (its socket simply closes), and the list stays reachable for leak checks.
std::vector<std::unique_ptr<ChildObject>>& lingering() {
    static auto* servers = new std::vector<std::unique_ptr<ChildObject>>();
    return *servers;
}

void linger(EventPump& pump, std::unique_ptr<ChildObject> child, pid_t server, const std::vector<std::string>& numbers) {
    ChildObject* raw = child.get();
    auto ended = std::make_shared<bool>(false);
    child->setEventHandler([&pump, raw, server, numbers, ended](const std::string& name,
                                                               const std::vector<std::string>& args) {
        // Its end event or its end: either way it is done; an end before
        // its end event leaves its numbers to be taken over here.
        if (name == kEndEvent) *ended = true;
        const bool died = name == kGoneEvent && !*ended;
        if (died)
            logError(Error(kChildGone,
                           (args.empty() ? std::string(FaxSend::kProgram) : args.front()) + "　送信中の帳票管理番号：" +
                               text::join(numbers, ','),
                           FaxSend::kErrorSource));
        pump.post([&pump, raw, server, died] {
            auto& list = lingering();
            auto it = std::find_if(list.begin(), list.end(), [raw](const auto& c) { return c.get() == raw; });
            if (it == list.end()) return;
            std::unique_ptr<ChildObject> done = std::move(*it);
            list.erase(it);
            done->release();
            if (died) FaxSend::takeOverLeft(pump, server);
            removeMarkerLeftBy(done->pid());
        });
    });
    lingering().push_back(std::move(child));
}

}  // namespace

struct FaxSend::State {
    EventPump* pump = nullptr;
    std::unique_ptr<ChildObject> child;
    std::function<void()> handler;
    std::function<void(const std::string&)> waitingHandler;
    std::vector<std::string> handedOver;  // the list of the last accepted sendFAX
    bool sending = false;     // a sendFAX was accepted and its end has not come
    bool ended = false;       // the end of the last accepted sendFAX has come
    bool jobStarted = false;  // some sendFAX was accepted
    bool gone = false;        // the server ended without being asked
    pid_t server = -1;        // its process id, also once it has ended
    unsigned generation = 0;  // of the server: events of one replaced are stale

    void raiseEnd() {
        sending = false;
        ended = true;
        if (handler) {
            auto h = handler;  // the handler may replace itself or destroy the object
            h();
        }
    }

    static void start(const std::shared_ptr<State>& st);
    static void onEvent(const std::weak_ptr<State>& weak, unsigned generation, const std::string& name,
                        const std::vector<std::string>& args);
    // Hands `numbers` to the server; "True"/"False", or raises when it died.
    bool handOver(const std::vector<std::string>& numbers);
    // After the server died: what it left handed over (or, unless
    // `leftOnly`, `numbers` when it left nothing) goes to new servers until
    // one takes it. True when the numbers are handed over: to a new server
    // (the child lives), or recorded unsendable after the last try.
    static bool handOverAnew(const std::shared_ptr<State>& st, const std::vector<std::string>& numbers,
                             bool leftOnly = false);
    // The server died: what it had not recorded goes to a new server.
    static void takeOver(const std::shared_ptr<State>& st);
};

void FaxSend::State::start(const std::shared_ptr<State>& st) {
    auto program = findProgram(kProgram);
    if (!program)
        throw Error(kChildCannotCreate, std::string("ＦＡＸ送信サーバが見つかりません: ") + kProgram, kErrorSource);
    ChildObjectOptions options;
    options.errorEvent = kGoneEvent;
    // A server that stops answering (hung, or stopped by a signal) would
    // hold its numbers and every send behind them for good: found within
    // the bound, it is killed and its numbers are taken over as a dead one's.
    options.answerBound = WaitBounds::load().sendServerAnswer;
    options.started = [raw = st.get()](pid_t pid) { raw->server = pid; };
    const unsigned generation = ++st->generation;
    st->gone = false;
    try {
        st->child = std::make_unique<ChildObject>(*st->pump, *program, std::vector<std::string>{}, options);
    } catch (...) {
        // A server that died, or was ended, before it answered may have
        // written its marker already.
        removeMarkerLeftBy(st->server);
        throw;
    }
    std::weak_ptr<State> weak = st;
    st->child->setEventHandler([weak, generation](const std::string& name, const std::vector<std::string>& args) {
        onEvent(weak, generation, name, args);
    });
}

void FaxSend::State::onEvent(const std::weak_ptr<State>& weak, unsigned generation, const std::string& name,
                             const std::vector<std::string>& args) {
    auto st = weak.lock();
    if (!st || generation != st->generation) return;
    if (name == kGoneEvent) {
        st->gone = true;
        std::string why = args.empty() ? std::string(kProgram) : args.front();
        if (!st->sending) {
            logError(Error(kChildGone, why, kErrorSource));
            removeMarkerLeftBy(st->server);
            return;
        }
        logError(Error(kChildGone, why + "　送信中の帳票管理番号：" + text::join(st->handedOver, ','), kErrorSource));
        // Not from within the dead server's own event.
        st->pump->post([weak] {
            if (auto s = weak.lock(); s && s->sending) takeOver(s);
        });
        return;
    }
    if (name == kWaitingForLineEvent) {
        if (st->waitingHandler && st->sending) st->waitingHandler(args.empty() ? std::string() : args.front());
        return;
    }
    if (name != kEndEvent || !st->sending) return;
    st->raiseEnd();
    // The server keeps its run marker until the handler has run.
    if (st->child && st->child->alive()) {
        try {
            st->child->call("endEventDone");
        } catch (const Error& e) {
            logError(e);
        }
    }
}

bool FaxSend::State::handOver(const std::vector<std::string>& numbers) {
    std::vector<std::string> answer = child->call("sendFAX", numbers);
    return !answer.empty() && answer.front() == "True";
}

bool FaxSend::State::handOverAnew(const std::shared_ptr<State>& st, const std::vector<std::string>& numbers,
                                  bool leftOnly) {
    std::vector<std::string> pending = numbers;
    std::vector<Claimed> held;  // what each dead server left, until the numbers are in new hands
    bool inHandOver = false;    // some dead server had them on disk: they are handed over for good
    for (int attempt = 1; attempt <= kServerTries; ++attempt) {
        // The server that died is reaped first, so that its locks are free.
        if (st->child) st->child->release();
        Claimed c = claimLeftBy(st->server);
        if (c.found()) {
            inHandOver = true;
            pending = c.toSend;
        } else {
            removeMarkerLeftBy(st->server);
        }
        held.push_back(std::move(c));
        // Nothing on disk: it finished and recorded them, or another
        // process took them over.
        if (leftOnly && !inHandOver) return false;
        if (pending.empty()) break;
        try {
            start(st);
            if (st->handOver(pending)) {
                for (auto& h : held) h.finish();
                return true;
            }
            break;  // refused by a server that lives
        } catch (const Error& e) {
            logError(e);
        }
    }
    if (!inHandOver) return false;  // never handed over: the caller keeps them
    // Handed over once, so never given back: recorded as unsendable, by name.
    bool recorded = false;
    for (auto it = held.rbegin(); it != held.rend(); ++it) {
        if (it->found() && !recorded) {
            it->giveUp("");
            recorded = true;
        } else {
            it->finish();
        }
    }
    if (st->child) st->child->release();
    return true;
}

void FaxSend::State::takeOver(const std::shared_ptr<State>& st) {
    // The new server's end is this object's end; without one it ends now.
    if (handOverAnew(st, st->handedOver, true) && st->child && st->child->alive()) return;
    if (st->child) st->child->release();
    st->raiseEnd();
}

FaxSend::FaxSend(EventPump& pump) : pump_(pump), state_(std::make_shared<State>()) {
    state_->pump = &pump;
    for (int attempt = 1;; ++attempt) {
        try {
            State::start(state_);
            return;
        } catch (const Error& e) {
            // A server that dies while it starts is tried again; one that
            // cannot be started at all is not.
            if (attempt >= kServerTries || !findProgram(kProgram)) throw;
            logError(e);
        }
    }
}

FaxSend::~FaxSend() { release(); }

bool FaxSend::sendFAX(const std::vector<std::string>& strRepManageNo) {
    auto& st = *state_;
    if (!st.child || !st.child->alive()) return false;
    bool accepted = false;
    try {
        accepted = st.handOver(strRepManageNo);
    } catch (const Error& e) {
        logError(e);
        // A server that died while taking the list: the list goes to another.
        if (st.child->alive()) return false;
        accepted = State::handOverAnew(state_, strRepManageNo);
    }
    if (accepted) {
        st.sending = true;
        st.ended = false;
        st.jobStarted = true;
        st.handedOver = strRepManageNo;
        // Handed over and recorded unsendable at once: its end is now.
        if (!st.child || !st.child->alive()) {
            std::weak_ptr<State> weak = state_;
            pump_.post([weak] {
                if (auto s = weak.lock(); s && s->sending) s->raiseEnd();
            });
        }
    }
    return accepted;
}

Variant FaxSend::blnEndStatus() {
    auto& st = *state_;
    Variant failed = st.jobStarted ? Variant(false) : Variant();
    if (st.gone || !st.child || !st.child->alive()) return failed;
    try {
        auto values = st.child->call("blnEndStatus");
        if (values.empty()) return Variant();
        return Variant(values.front() == "True");
    } catch (const Error& e) {
        logError(e);
        return failed;
    }
}

bool FaxSend::delG3DummyFile(const std::vector<std::string>& strFileName) {
    if (!state_->child || !state_->child->alive()) return false;
    try {
        return state_->child->callValue("delG3DummyFile", strFileName) == "True";
    } catch (const Error& e) {
        logError(e);
        return false;
    }
}

bool FaxSend::delG3FromManageNo(const std::string& strRepManageNo) {
    if (!state_->child || !state_->child->alive()) return false;
    try {
        return state_->child->callValue("delG3FromManageNo", {strRepManageNo}) == "True";
    } catch (const Error& e) {
        logError(e);
        return false;
    }
}

void FaxSend::setEventSendFaxEnd(std::function<void()> handler) { state_->handler = std::move(handler); }

void FaxSend::setEventWaitingForLine(std::function<void(const std::string&)> handler) {
    state_->waitingHandler = std::move(handler);
}

void FaxSend::release() {
    auto& st = *state_;
    if (!st.child) return;
    std::unique_ptr<ChildObject> child = std::move(st.child);
    bool wasSending = st.sending;
    st.sending = false;
    if (child->alive() && wasSending) {
        // A job under way is not cut off: the server ends after it.
        std::string later;
        try {
            later = child->callValue("releaseWhenDone");
        } catch (const Error& e) {
            logError(e);
        }
        if (later == "True") {
            linger(pump_, std::move(child), st.server, st.handedOver);
            return;
        }
    }
    child->release();
    // Ended now, however early: a server killed before it took a job (or
    // while taking one) leaves its marker to its client.
    removeMarkerLeftBy(st.server);
}

bool FaxSend::ended() const { return state_->ended; }
bool FaxSend::sending() const { return state_->sending; }
ProcessId FaxSend::serverPid() const { return state_->child && state_->child->alive() ? state_->child->pid() : -1; }

std::size_t FaxSend::takeOverLeft(EventPump& pump, pid_t server, const std::vector<std::string>& notYet) {
    std::size_t handed = 0;
    for (send_handover::TakeOver& left : send_handover::TakeOver::claimLeft(server, notYet)) {
        if (left.toSend().empty()) {
            left.finish();
            continue;
        }
        try {
            auto send = std::make_unique<FaxSend>(pump);
            FaxSend* raw = send.get();
            send->setEventSendFaxEnd([&pump, raw] {
                pump.post([raw] {
                    auto& list = adopted();
                    auto it = std::find_if(list.begin(), list.end(), [raw](const auto& s) { return s.get() == raw; });
                    if (it != list.end()) list.erase(it);
                });
            });
            if (send->sendFAX(left.toSend())) {
                handed += left.toSend().size();
                left.finish();
                adopted().push_back(std::move(send));
                continue;
            }
        } catch (...) {
            logCurrentError(kErrorSource);
        }
        left.giveUp("");
    }
    if (server > 0) removeMarkerLeftBy(server);
    return handed;
}

bool FaxSend::waitForEnds(EventPump& pump, const std::vector<FaxSend*>& objects, WaitFor mode, Ms timeout) {
    // Objects are looked at afresh on every check: a handler may destroy
    // other objects of the list only by its own design, so only the flags
    // of the State each object shares are read.
    std::vector<std::shared_ptr<State>> states;
    for (FaxSend* object : objects)
        if (object) states.push_back(object->state_);
    auto done = [&] {
        std::size_t sending = 0;
        for (const auto& st : states) sending += st->sending ? 1 : 0;
        if (mode == WaitFor::All) return sending == 0;
        return sending < states.size() || states.empty();
    };
    // Waited for in slices, so that a long bound cannot overflow the clock.
    const Ms slice = std::chrono::hours(1);
    while (timeout > Ms(0)) {
        Ms step = std::min(timeout, slice);
        if (pump.waitUntil(done, step)) return true;
        timeout -= step;
    }
    return done();
}

bool FaxSend::waitForEnds(EventPump& pump, const std::vector<FaxSend*>& objects, WaitFor mode) {
    const Ms bound = WaitBounds::load().sendJob;
    if (waitForEnds(pump, objects, mode, bound)) return true;
    // The servers go on with their jobs; this client stops waiting for them.
    logError(Error(kChildTimedOut, "ＦＡＸ送信の終了を " + secondsText(bound) + "待ちましたが終わりません。",
                   kErrorSource));
    return false;
}

}  // namespace fg
