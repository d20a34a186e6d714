// The objects of the outside programs that the supervisor creates: the
// maker-information schedule, the EDI-data schedule and one fax-reception
// line per receive port. Each lives in a child process of its own program
// (found in the programs folder) and speaks the child-object protocol.
//
// Each object has one error event. It fires when the program raises it and
// also when the program ends without being released: for the supervisor a
// reception program that died is as much a failure as one that reported one.
#pragma once

#include "platform/process/child_object.h"
#include "platform/process/event_pump.h"

#include <functional>
#include <memory>
#include <string>

namespace fg {

class OutsideObject {
public:
    using ErrorHandler = std::function<void(const std::string& event, const std::string& detail)>;

    // Starts `program` (found without regard to case in `programsFolder`, or by
    // findProgram when that is empty). Raises fg::Error 429 when it cannot.
    OutsideObject(EventPump& pump, const std::string& programsFolder, const std::string& program,
                  const std::vector<std::string>& args, std::string errorEvent, ErrorHandler onError);
    virtual ~OutsideObject() = default;

    // Lets go of the object: its program ends.
    void release() { object_->release(); }
    // Ends its program without asking.
    void terminate() { object_->terminate(); }
    bool alive() const { return object_->alive(); }
    pid_t pid() const { return object_->pid(); }
    const std::string& errorEvent() const { return errorEvent_; }

protected:
    // A member whose answer is a Variant: its text, "" for Empty.
    std::string callVariant(const std::string& member, const std::vector<std::string>& args = {});

private:
    std::unique_ptr<ChildObject> object_;
    std::string errorEvent_;
};

class MakerInfoScheduler : public OutsideObject {
public:
    static constexpr const char* kProgram = "Trundel";
    static constexpr const char* kErrorEvent = "ErrorMakerInfo";
    MakerInfoScheduler(EventPump& pump, const std::string& programsFolder, ErrorHandler onError);
    std::string startSchedule() { return callVariant("startSchedule"); }
    std::string getRunState() { return callVariant("getRunState"); }
};

class EdiDataScheduler : public OutsideObject {
public:
    static constexpr const char* kProgram = "Ospery";
    static constexpr const char* kErrorEvent = "ErrorEDIData";
    EdiDataScheduler(EventPump& pump, const std::string& programsFolder, ErrorHandler onError);
    std::string startSchedule() { return callVariant("startSchedule"); }
    std::string getRunState() { return callVariant("getRunState"); }
};

class FaxReceptionLine : public OutsideObject {
public:
    static constexpr const char* kProgram = "Alvaret";
    static constexpr const char* kErrorEvent = "ErrorReceiveFAX";
    // The line of modem port `port` (1 to 20); the program gets it on its command line.
    FaxReceptionLine(EventPump& pump, const std::string& programsFolder, int port, ErrorHandler onError);
    std::string getLineState() { return callVariant("getLineState"); }
    void stopLine(bool stop) { callVariant("stopLine", {stop ? "True" : "False"}); }
    int port() const { return port_; }

private:
    int port_;
};

}  // namespace fg
