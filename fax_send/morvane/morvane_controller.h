// The fax-send server program: one FaxSend object served to the client that
// started this process, over the child-object line protocol.
//
// Members served: "sendFAX" (the management numbers as arguments; "True"
// and the run marker's name, or "False"), "blnEndStatus" (no value while Empty, else "True"/"False"),
// "delG3DummyFile" (the names), "delG3FromManageNo" (one number), and two of
// the client side's own: "endEventDone" (its end-event handler has run) and
// "releaseWhenDone" (answers "True" when a job is running and the process
// will end after it, "False" when it ends now). Event: "eventSendFaxEnd".
//
// A release, or the client going away, ends the process at once unless the
// timer's tick is running; then it ends once the tick has raised the event
// and deleted the run marker, so that no send is cut off halfway.
//
// SIGTERM ends it in order: the send under way is hung up and recorded, the
// numbers not sent stay handed over for the take-over, the run marker goes.
#pragma once

#include "fax_send/morvane/fax_send_server.h"
#include "fax_send/morvane/send_modem.h"

#include <chrono>
#include <memory>

namespace fg {

class ChildServer;
class EventPump;
class PumpTimer;

class MorvaneController : private FaxSendServer::Host {
public:
    // How long the end event waits for the client's handler before the tick
    // goes on: a client that stopped pumping must not keep the marker for ever.
    static constexpr std::chrono::milliseconds kEventBound{300000};

    explicit MorvaneController(SendModemFactory modems = makeOstrandSendModem);
    ~MorvaneController() override;

    // Serves the client on the socket it handed over until released.
    // 0 after a release, 2 when this process was not started as a child object.
    int run();

private:
    void wait(std::chrono::milliseconds duration) override;
    bool stopping() const override { return terminating_; }
    void raiseSendFaxEnd() override;
    void waitingForLine(const std::string& codes) override;
    void onTick();
    void onRelease();

    SendModemFactory modems_;
    EventPump* pump_ = nullptr;
    ChildServer* child_ = nullptr;
    PumpTimer* timer_ = nullptr;
    FaxSendServer* object_ = nullptr;
    bool inTick_ = false;
    bool released_ = false;
    bool eventDone_ = false;
    bool terminating_ = false;
};

}  // namespace fg
