#include "fax_send/morvane/fax_send.h"

#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/process/child_object.h"
#include "platform/process/process.h"

#include <algorithm>
#include <exception>
#include <utility>

namespace fg {

namespace {

constexpr const char* kEndEvent = "eventSendFaxEnd";
constexpr const char* kGoneEvent = "FaxSendServerGone";

void logError(const Error& e) { ErrorLogWriter().writeError(FaxSend::kErrorSource, e); }

// Servers let go of while their job runs. They finish it on their own; the
// client keeps their channel only to hear the end and reap them. Never
// destroyed: a client that ends first must not take the server down with it
// (its socket simply closes), and the list stays reachable for leak checks.
std::vector<std::unique_ptr<ChildObject>>& lingering() {
    static auto* servers = new std::vector<std::unique_ptr<ChildObject>>();
    return *servers;
}

void linger(EventPump& pump, std::unique_ptr<ChildObject> child) {
    ChildObject* raw = child.get();
    child->setEventHandler([&pump, raw](const std::string&, const std::vector<std::string>&) {
        // Its end event or its end: either way it is done.
        pump.post([raw] {
            auto& list = lingering();
            auto it = std::find_if(list.begin(), list.end(), [raw](const auto& c) { return c.get() == raw; });
            if (it == list.end()) return;
            std::unique_ptr<ChildObject> done = std::move(*it);
            list.erase(it);
            done->release();
        });
    });
    lingering().push_back(std::move(child));
}

}  // namespace

struct FaxSend::State {
    std::unique_ptr<ChildObject> child;
    std::function<void()> handler;
    bool sending = false;     // a sendFAX was accepted and its end has not come
    bool ended = false;       // the end of the last accepted sendFAX has come
    bool jobStarted = false;  // some sendFAX was accepted
    bool gone = false;        // the server ended without being asked

    void raiseEnd() {
        sending = false;
        ended = true;
        if (handler) {
            auto h = handler;  // the handler may replace itself or destroy the object
            h();
        }
    }
};

FaxSend::FaxSend(EventPump& pump) : pump_(pump), state_(std::make_shared<State>()) {
    auto program = findProgram(kProgram);
    if (!program)
        throw Error(kChildCannotCreate, std::string("ＦＡＸ送信サーバが見つかりません: ") + kProgram, kErrorSource);
    ChildObjectOptions options;
    options.errorEvent = kGoneEvent;
    state_->child = std::make_unique<ChildObject>(pump, *program, std::vector<std::string>{}, options);

    std::weak_ptr<State> weak = state_;
    state_->child->setEventHandler([weak](const std::string& name, const std::vector<std::string>& args) {
        auto st = weak.lock();
        if (!st) return;
        if (name == kGoneEvent) {
            st->gone = true;
            logError(Error(kChildGone, args.empty() ? std::string(kProgram) : args.front(), kErrorSource));
            // The job died with its server: its end comes now, as a failure.
            if (st->sending) st->raiseEnd();
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
    });
}

FaxSend::~FaxSend() { release(); }

bool FaxSend::sendFAX(const std::vector<std::string>& strRepManageNo) {
    if (!state_->child || !state_->child->alive()) return false;
    try {
        bool accepted = state_->child->callValue("sendFAX", strRepManageNo) == "True";
        if (accepted) {
            state_->sending = true;
            state_->ended = false;
            state_->jobStarted = true;
        }
        return accepted;
    } catch (const Error& e) {
        logError(e);
        return false;
    }
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
            linger(pump_, std::move(child));
            return;
        }
    }
    child->release();
}

bool FaxSend::ended() const { return state_->ended; }
bool FaxSend::sending() const { return state_->sending; }
pid_t FaxSend::serverPid() const { return state_->child && state_->child->alive() ? state_->child->pid() : -1; }

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
    // Waited for in slices, so that a bound of "for ever" cannot overflow the clock.
    const Ms slice = std::chrono::hours(1);
    while (timeout > Ms(0)) {
        Ms step = std::min(timeout, slice);
        if (pump.waitUntil(done, step)) return true;
        if (timeout != Ms::max()) timeout -= step;
    }
    return done();
}

}  // namespace fg
