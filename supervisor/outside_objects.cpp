#include "supervisor/outside_objects.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/process/process.h"
#include "platform/text.h"

namespace fg {

namespace {

std::string locate(const std::string& programsFolder, const std::string& program) {
    std::optional<std::string> path;
    if (programsFolder.empty()) path = findProgram(program);
    else path = fs::resolve(fs::join(programsFolder, program));
    if (!path)
        throw Error(kChildCannotCreate,
                    "オブジェクトを作成できません: プログラム " + program + " が見つかりません" +
                        (programsFolder.empty() ? std::string() : " (" + programsFolder + ")"),
                    "Halgrove");
    return *path;
}

ChildObjectOptions optionsFor(const std::string& errorEvent) {
    ChildObjectOptions o;
    o.errorEvent = errorEvent;
    // The supervisor's thread waits in these calls, and a pass of the
    // shutdown calls every object: a hung program must not stall it long.
    o.callBound = std::chrono::milliseconds(10000);
    o.workingFolder = fs::programFolder();
    // The programs are the supervisor's: a Ctrl-C meant for it must not end
    // them behind its back, and none may outlive it.
    o.ownProcessGroup = true;
    o.endWithParent = true;
    return o;
}

}  // namespace

OutsideObject::OutsideObject(EventPump& pump, const std::string& programsFolder, const std::string& program,
                             const std::vector<std::string>& args, std::string errorEvent, ErrorHandler onError)
    : errorEvent_(std::move(errorEvent)) {
    object_ = std::make_unique<ChildObject>(pump, locate(programsFolder, program), args, optionsFor(errorEvent_));
    object_->setEventHandler([this, onError = std::move(onError)](const std::string& name,
                                                                 const std::vector<std::string>& eventArgs) {
        // Only the error event concerns the supervisor.
        if (!text::iequals(name, errorEvent_) || !onError) return;
        onError(name, eventArgs.empty() ? std::string() : eventArgs.front());
    });
}

std::string OutsideObject::callVariant(const std::string& member, const std::vector<std::string>& args) {
    return object_->callValue(member, args);
}

MakerInfoScheduler::MakerInfoScheduler(EventPump& pump, const std::string& programsFolder, ErrorHandler onError)
    : OutsideObject(pump, programsFolder, kProgram, {}, kErrorEvent, std::move(onError)) {}

EdiDataScheduler::EdiDataScheduler(EventPump& pump, const std::string& programsFolder, ErrorHandler onError)
    : OutsideObject(pump, programsFolder, kProgram, {}, kErrorEvent, std::move(onError)) {}

FaxReceptionLine::FaxReceptionLine(EventPump& pump, const std::string& programsFolder, int port, ErrorHandler onError)
    : OutsideObject(pump, programsFolder, kProgram, {std::to_string(port)}, kErrorEvent, std::move(onError)),
      port_(port) {}

}  // namespace fg
