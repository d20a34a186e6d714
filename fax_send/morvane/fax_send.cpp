#include "fax_send/morvane/fax_send.h"

#include "fax_send/morvane/send_records.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"
#include "platform/process/child_object.h"
#include "platform/process/process.h"
#include "platform/process/run_marker.h"
#include "platform/wait_bounds.h"

#include <algorithm>
#include <exception>
#include <string_view>
#include <utility>

namespace fg {

namespace {

constexpr const char* kEndEvent = "eventSendFaxEnd";
constexpr const char* kGoneEvent = "FaxSendServerGone";

void logError(const Error& e) { ErrorLogWriter().writeError(FaxSend::kErrorSource, e); }

// What a server under a job leaves, should it die: the numbers it was
// handed, its send copies (named by its process id) and its run marker.
struct Handover {
    std::vector<std::string> numbers;
    ProcessId server = -1;
    std::string runFile;
};

bool isDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The run marker of a server that has ended, if it left one: found by the
// process id its lock names, since a server that died before it answered
// its creation or a sendFAX never told its marker's name.
void removeMarkerLeftBy(pid_t server) { RunMarker::removeLeftBy(fs::programFolder(), server); }

// A server died under its job: no number it was handed may vanish. Those it
// did not record are recorded "NG" with their pages kept, as a failed send
// is, and what it left in the folders goes.
void clearAfterDeadServer(const Handover& h, const std::string& why) {
    std::string numbers;
    for (const std::string& n : h.numbers) numbers += (numbers.empty() ? "" : ",") + n;
    logError(Error(kChildGone, why + "　送信中の帳票管理番号：" + numbers, FaxSend::kErrorSource));
    for (const std::string& n : h.numbers)
        if (!send_records::hasSendRecord(n)) send_records::recordUnsent(n, kChildGone);
    try {
        // Its send copies: the stamp, "_", its process id, "_", then the page.
        std::string temp = FolderPathInfo().getFolderPath("SendTemp");
        const std::string mark = "_" + std::to_string(h.server) + "_";
        for (const std::string& name : fs::list(temp, "*" + mark + "*.G3"))
            if (name.size() > 14 + mark.size() && isDigits(std::string_view(name).substr(0, 14)) &&
                name.compare(14, mark.size(), mark) == 0)
                fs::removeFile(temp + name);
    } catch (...) {
        logCurrentError(FaxSend::kErrorSource);
    }
    if (!h.runFile.empty()) deleteRunFile(fs::programFolder(), h.runFile);
    removeMarkerLeftBy(h.server);
}

// Servers let go of while their job runs. They finish it on their own; the
// client keeps their channel only to hear the end and reap them. Never
// destroyed: a client that ends first must not take the server down with it
// (its socket simply closes), and the list stays reachable for leak checks.
std::vector<std::unique_ptr<ChildObject>>& lingering() {
    static auto* servers = new std::vector<std::unique_ptr<ChildObject>>();
    return *servers;
}

void linger(EventPump& pump, std::unique_ptr<ChildObject> child, Handover handover) {
    ChildObject* raw = child.get();
    auto ended = std::make_shared<bool>(false);
    child->setEventHandler([&pump, raw, handover, ended](const std::string& name,
                                                         const std::vector<std::string>& args) {
        // Its end event or its end: either way it is done; an end before
        // its end event leaves its job to be cleared up here.
        if (name == kEndEvent) *ended = true;
        if (name == kGoneEvent && !*ended)
            clearAfterDeadServer(handover, args.empty() ? std::string(FaxSend::kProgram) : args.front());
        pump.post([raw] {
            auto& list = lingering();
            auto it = std::find_if(list.begin(), list.end(), [raw](const auto& c) { return c.get() == raw; });
            if (it == list.end()) return;
            std::unique_ptr<ChildObject> done = std::move(*it);
            list.erase(it);
            done->release();
            removeMarkerLeftBy(done->pid());
        });
    });
    lingering().push_back(std::move(child));
}

}  // namespace

struct FaxSend::State {
    std::unique_ptr<ChildObject> child;
    Handover handover;  // of the last accepted sendFAX
    std::function<void()> handler;
    bool sending = false;     // a sendFAX was accepted and its end has not come
    bool ended = false;       // the end of the last accepted sendFAX has come
    bool jobStarted = false;  // some sendFAX was accepted
    bool gone = false;        // the server ended without being asked
    pid_t server = -1;        // its process id, also once it has ended

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
    options.started = [st = state_.get()](pid_t pid) { st->server = pid; };
    try {
        state_->child = std::make_unique<ChildObject>(pump, *program, std::vector<std::string>{}, options);
    } catch (...) {
        // A server that died, or was ended, before it answered may have
        // written its marker already.
        removeMarkerLeftBy(state_->server);
        throw;
    }

    std::weak_ptr<State> weak = state_;
    state_->child->setEventHandler([weak](const std::string& name, const std::vector<std::string>& args) {
        auto st = weak.lock();
        if (!st) return;
        if (name == kGoneEvent) {
            st->gone = true;
            std::string why = args.empty() ? std::string(kProgram) : args.front();
            if (!st->sending) {
                logError(Error(kChildGone, why, kErrorSource));
                removeMarkerLeftBy(st->server);
                return;
            }
            // The job died with its server: its end comes now, as a failure.
            clearAfterDeadServer(st->handover, why);
            st->raiseEnd();
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
        std::vector<std::string> answer = state_->child->call("sendFAX", strRepManageNo);
        bool accepted = !answer.empty() && answer.front() == "True";
        if (accepted) {
            state_->sending = true;
            state_->ended = false;
            state_->jobStarted = true;
            state_->handover = {strRepManageNo, state_->child->pid(), answer.size() > 1 ? answer[1] : std::string()};
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
            linger(pump_, std::move(child), st.handover);
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
