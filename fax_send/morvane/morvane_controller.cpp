#include "fax_send/morvane/morvane_controller.h"

#include "fax_send/morvane/fax_send.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/process/child_server.h"
#include "platform/process/event_pump.h"
#include "platform/values.h"

#include <exception>
#include <iostream>
#include <utility>

namespace fg {

namespace {

std::vector<std::string> answer(bool value) { return {fromBoolean(value)}; }

}  // namespace

MorvaneController::MorvaneController(SendModemFactory modems) : modems_(std::move(modems)) {}

MorvaneController::~MorvaneController() = default;

int MorvaneController::run() {
    if (!ChildServer::startedAsChild()) {
        std::cerr << "morvane: the fax-send server is started by its client (FaxSend), not by hand\n";
        return 2;
    }
    // The server reads the store and the send log for every send: their
    // buffers serve one read after another while it serves its client.
    fs::ReusedReads reusedReads;
    EventPump pump;
    ChildServer child(pump);
    FaxSendServer object(*this, modems_);
    PumpTimer timer(pump, [this] { onTick(); });
    pump_ = &pump;
    child_ = &child;
    timer_ = &timer;
    object_ = &object;

    child.on("sendFAX", [&](const ChildServer::Values& args) {
        bool armed = object.sendFAX(args);
        if (!armed) return answer(false);
        eventDone_ = false;
        timer.setInterval(FaxSendServer::kFirstTick);
        // The client keeps the marker's name, to remove it should this
        // process die under the job.
        return ChildServer::Values{fromBoolean(true), object.runFile()};
    });
    child.on("blnEndStatus", [&](const ChildServer::Values&) {
        Variant status = object.blnEndStatus();
        return status.isEmpty() ? ChildServer::Values{} : ChildServer::Values{status.toText()};
    });
    child.on("delG3DummyFile",
             [&](const ChildServer::Values& args) { return answer(object.delG3DummyFile(args)); });
    child.on("delG3FromManageNo", [&](const ChildServer::Values& args) {
        if (args.size() != 1) throw Error::standard(errnum::InvalidProcedureCall);
        return answer(object.delG3FromManageNo(args.front()));
    });
    child.on("endEventDone", [&](const ChildServer::Values&) {
        eventDone_ = true;
        return ChildServer::Values{};
    });
    child.on("releaseWhenDone", [&](const ChildServer::Values&) {
        released_ = true;
        // Answered first, then the pump ends: the client hears the answer.
        if (!inTick_) pump.post([&] { pump.quit(); });
        return answer(inTick_);
    });
    child.onRelease([this] { onRelease(); });
    pump.watchEndRequest(EventPump::EndRequest::Terminate, [&] {
        terminating_ = true;
        if (!inTick_) pump.quit();
    });

    child.ready();
    pump.run();

    object_ = nullptr;
    timer_ = nullptr;
    child_ = nullptr;
    pump_ = nullptr;
    return 0;
}

void MorvaneController::onRelease() {
    released_ = true;
    // A release during the tick waits for its end: the send under way is
    // finished, recorded and its marker deleted first.
    if (!inTick_) pump_->quit();
}

void MorvaneController::onTick() {
    timer_->setInterval(std::chrono::milliseconds(0));
    // Released while armed: the object is gone for its client, so its job
    // does not start (a release ends an armed object at once).
    if (released_) {
        pump_->quit();
        return;
    }
    inTick_ = true;
    object_->tick();
    inTick_ = false;
    if (released_ || terminating_) pump_->quit();
}

void MorvaneController::wait(std::chrono::milliseconds duration) {
    (void)pump_->waitUntil([this] { return terminating_; }, duration);
}

void MorvaneController::waitingForLine(const std::string& codes) {
    // Only a client that watches for it hears of it (a job program run by
    // hand tells its operator); the server waits for a line all the same.
    if (!released_) (void)child_->raiseEvent(FaxSend::kWaitingForLineEvent, {codes});
}

void MorvaneController::raiseSendFaxEnd() {
    eventDone_ = false;
    if (released_ || !child_->raiseEvent("eventSendFaxEnd")) return;
    // The client's handler runs before the marker goes; it may read the end
    // status or release the object meanwhile.
    (void)pump_->waitUntilPeer([this] { return eventDone_ || released_ || child_->released(); }, kEventBound);
    if (!eventDone_ && !released_ && !child_->released())
        ErrorLogWriter().writeError(FaxSendJob::kSource,
                                    Error(errnum::PathFileAccessError, "送信終了イベントの処理が終わりません。"));
}

}  // namespace fg
