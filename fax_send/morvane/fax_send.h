// FaxSend as its clients see it: one fax-send server process per object.
//
//   EventPump pump;
//   FaxSend send(pump);                      // starts "morvane" from the program folder
//   send.setEventSendFaxEnd([&] { ok = send.blnEndStatus(); send.release(); });
//   if (send.sendFAX(numbers)) FaxSend::waitForEnds(pump, {&send});
//
// sendFAX answers at once; the job starts in the server 5000 ms later and
// ends with eventSendFaxEnd, delivered through the pump while the client
// pumps. The send port driver keeps up to 20 objects and waits for any of
// them with waitForEnds(..., WaitFor::Any).
//
// Releasing (release() or the destructor) ends the server at once unless its
// job is running; then the server finishes the job (sends, records, clears
// its run marker) and ends by itself, while the client goes on at once.
//
// A server keeps the numbers it accepted on disk until each is recorded
// (send_handover.h). One that ends without being asked (killed, crashed)
// while it holds numbers has them taken over: the client logs the numbers,
// hands those not yet recorded to a new server and removes what the dead one
// left (send copies, run marker, hand-over); the object's end event is the
// new server's. A number whose pages are gone is recorded "NG" and named in
// the error log instead. A server let go of during its job and then dead is
// taken over the same way, on an object of the client's own. A server that
// dies while it starts or while it is handed its list is replaced, up to
// three servers in all; sendFAX answers False only when no server took the
// list (and then none has it on disk). When the client too has ended, the
// supervisor takes the numbers over (takeOverLeft).
#pragma once

#include "platform/process/event_pump.h"
#include "platform/process/process.h"
#include "platform/values.h"

#include <chrono>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace fg {

class ChildObject;

class FaxSend {
public:
    using Ms = std::chrono::milliseconds;
    static constexpr const char* kProgram = "morvane";
    static constexpr const char* kErrorSource = "FaxSend";
    // The server's event that no send line opened for its job (argument:
    // each line's port and code); it goes on trying.
    static constexpr const char* kWaitingForLineEvent = "eventWaitingForLine";

    // Starts the server. Raises fg::Error (kChildCannotCreate) when the
    // program cannot be found or started or refuses to serve.
    explicit FaxSend(EventPump& pump);
    ~FaxSend();
    FaxSend(const FaxSend&) = delete;
    FaxSend& operator=(const FaxSend&) = delete;

    // The members of the server. A failed call (server gone, no answer) is
    // logged and answers False (blnEndStatus: False once a job was started,
    // else Empty).
    bool sendFAX(const std::vector<std::string>& strRepManageNo);
    Variant blnEndStatus();
    bool delG3DummyFile(const std::vector<std::string>& strFileName);
    bool delG3FromManageNo(const std::string& strRepManageNo);

    // The handler of eventSendFaxEnd; it may read blnEndStatus and release
    // or destroy the object.
    void setEventSendFaxEnd(std::function<void()> handler);
    // The handler of the server's word that no send line opened for the
    // job (with each line's port and code); told once until a line opens.
    void setEventWaitingForLine(std::function<void(const std::string& codes)> handler);

    // Lets go of the server (see above). Calls after it answer False.
    void release();

    // Whether the end event of the last accepted sendFAX has arrived.
    bool ended() const;
    // Whether a sendFAX was accepted and its end event has not yet arrived.
    bool sending() const;
    // The server's process id while it lives, else -1.
    ProcessId serverPid() const;

    // Pumps until the end events have arrived: of every object (All) or of
    // at least one (Any) among those that are sending. True when that
    // happened in time; objects that are not sending count as ended.
    // Without a timeout the wait lasts at most the bound of waits.xml
    // (SendJob), and its expiry is logged; with one, the caller waits in
    // slices of its own and learns of the expiry from the answer alone.
    enum class WaitFor { All, Any };
    static bool waitForEnds(EventPump& pump, const std::vector<FaxSend*>& objects, WaitFor mode = WaitFor::All);
    static bool waitForEnds(EventPump& pump, const std::vector<FaxSend*>& objects, WaitFor mode, Ms timeout);

    // Takes over the numbers left by fax-send servers that have ended (see
    // above), each on a new object of this process that lives until its
    // end event; with `server`, only what that server left. `notYet`: hand-
    // over files (by marker file name) left for a later round. Answers the
    // numbers handed to new servers. Never raises.
    static std::size_t takeOverLeft(EventPump& pump, pid_t server = 0, const std::vector<std::string>& notYet = {});

    struct State;

private:
    EventPump& pump_;
    std::shared_ptr<State> state_;
};

}  // namespace fg
