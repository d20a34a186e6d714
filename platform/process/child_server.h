// The child side of a child object: serves the members of one object over
// the socket its parent handed it (line_protocol.h tells the wire format).
//
//   EventPump pump;
//   ChildServer server(pump);             // the socket named in FAXGATE_CHILD_FD
//   server.on("getLineState", [&](const auto&) { return Values{state}; });
//   server.ready();                       // answers the creation
//   pump.run();                           // ends on release or the parent's end
//
// A handler that raises fg::Error answers the call with that error; any
// other exception answers error 5 with its text. A member nobody serves
// answers error 438. When the parent releases the object or goes away
// (its end of the socket closes), the release handler runs; by default it
// quits the pump.
#pragma once

#include "platform/process/event_pump.h"
#include "platform/process/line_protocol.h"

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace fg {

class Error;

class ChildServer {
public:
    using Values = std::vector<std::string>;
    using Handler = std::function<Values(const Values& args)>;

    // The socket named in FAXGATE_CHILD_FD; raises fg::Error when there is none.
    explicit ChildServer(EventPump& pump);
    ChildServer(EventPump& pump, int fd);
    ~ChildServer();
    ChildServer(const ChildServer&) = delete;
    ChildServer& operator=(const ChildServer&) = delete;

    // Whether this process was started as a child object.
    [[nodiscard]] static bool startedAsChild();

    void on(const std::string& member, Handler handler);
    void onRelease(std::function<void()> handler);

    // Answers the creation: ready to serve, or refused (then end the program).
    void ready();
    void refuse(const Error& error);

    // Raises an event in the parent. False when the parent is gone, or when
    // it has not read for the send bound: then the channel is closed and the
    // object released (the parent sees it end), and the expiry is logged.
    [[nodiscard]] bool raiseEvent(const std::string& name, const Values& args = {});

    // How long a send waits for a parent that does not read, in the
    // system's time (see realBound for its real floor). Five minutes.
    void setSendBound(std::chrono::milliseconds bound) { sendBound_ = bound; }

    [[nodiscard]] bool released() const { return released_; }

private:
    void onReadable();
    void handleLine(const std::string& line);
    [[nodiscard]] bool send(const std::string& line);
    void endService();

    EventPump& pump_;
    int fd_ = -1;
    EventPump::Id watch_ = 0;
    std::map<std::string, Handler> handlers_;  // keys in lower case
    std::function<void()> onRelease_;
    childproto::LineBuffer input_;
    bool released_ = false;
    std::chrono::milliseconds sendBound_{300000};
};

}  // namespace fg
