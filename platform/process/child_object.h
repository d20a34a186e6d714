// An object served by a child process: the parent side of the line protocol
// (line_protocol.h tells the wire format).
//
// Creating a ChildObject starts the program with a socketpair and waits for
// its answer to the creation. call() sends one request and waits for its
// answer; events that the child raises are delivered through the event pump
// to the handler, in the order the child raised them. release() tells the
// child to end, waits for it within a bound, then terminates it, and always
// reaps it.
//
// A call fails with fg::Error when no answer comes within its bound
// (kChildTimedOut), when the child has ended or its socket closed
// (kChildGone), or when the child answers with an error (its own number,
// description and source). An end of the child that nobody asked for
// (it died, closed its socket, or broke the protocol) raises the object's
// error event, when one is named, once and after the events the child
// raised before it; so does a child found hung (answerBound).
#pragma once

#include "platform/process/event_pump.h"
#include "platform/process/process.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fg {

// Error numbers of child objects.
inline constexpr long kChildCannotCreate = 429;  // the program cannot be started or refused to serve
inline constexpr long kChildTimedOut = 440;      // no answer within the bound
inline constexpr long kChildGone = 462;          // the child has ended or closed its socket
inline constexpr long kChildNoSuchMember = 438;  // the child does not serve the member

struct ChildObjectOptions {
    using Ms = std::chrono::milliseconds;
    // The child's working folder ("" keeps ours) and extra environment.
    std::string workingFolder;
    std::vector<std::string> environment;
    // The event raised when the child ends unasked ("" for none). Its one
    // argument tells how the child ended.
    std::string errorEvent;
    // See SpawnOptions: a process group of the child's own, and an end
    // together with the thread that creates the object.
    bool ownProcessGroup = false;
    bool endWithParent = false;
    // Told the child's process id once it has started, before its answer to
    // the creation: a caller that clears up after a child that died early
    // learns which process it was, even when the creation fails.
    std::function<void(pid_t)> started;
    // Bounds in the system's time (see realBound and, for the creation,
    // realStartBound for their real floors).
    Ms createBound{30000};  // for the answer to the creation
    Ms callBound{30000};    // for each call that gives none of its own
    Ms releaseBound{5000};  // for the child to end after a release, and again after SIGTERM
    // Above 0: a child that has stopped answering is found within this bound
    // (with the real floor of realBound) even while nobody calls it. The
    // object probes the child from the pump whenever a quarter of the bound
    // has passed; a child that leaves a probe unanswered for the whole bound
    // is taken for hung: it is killed (SIGKILL) and reaped, and the error
    // event follows, its reason saying so.
    Ms answerBound{0};
};

class ChildObject {
public:
    using Ms = std::chrono::milliseconds;
    using EventHandler = std::function<void(const std::string& name, const std::vector<std::string>& args)>;

    // Starts `program` with `args` and waits for its answer to the creation.
    // Raises fg::Error kChildCannotCreate (the reason in the description)
    // when it cannot be started, refuses, ends or does not answer in time.
    // The pump must outlive the object.
    ChildObject(EventPump& pump, const std::string& program, const std::vector<std::string>& args,
                ChildObjectOptions options = {});
    ~ChildObject();  // releases
    ChildObject(const ChildObject&) = delete;
    ChildObject& operator=(const ChildObject&) = delete;

    void setEventHandler(EventHandler handler);

    // Calls a member; answers its values. Raises fg::Error (see above).
    std::vector<std::string> call(const std::string& member, const std::vector<std::string>& args = {});
    std::vector<std::string> call(const std::string& member, const std::vector<std::string>& args, Ms bound);
    // The first value of the answer, "" for an answer without values.
    std::string callValue(const std::string& member, const std::vector<std::string>& args = {});

    // Ends the child: "REL", a wait of releaseBound, SIGTERM, a second wait,
    // SIGKILL. Never raises; releasing twice does nothing. No error event follows.
    void release();
    // Ends the child at once without asking (SIGTERM, then SIGKILL after the
    // release bound). No error event follows.
    void terminate();

    // False once the child has ended, closed its socket or been released.
    [[nodiscard]] bool alive() const;
    pid_t pid() const;
    const std::string& program() const;

    struct Impl;

private:
    std::shared_ptr<Impl> impl_;
};

}  // namespace fg
