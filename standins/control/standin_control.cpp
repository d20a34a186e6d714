#include "standins/control/standin_control.h"

#include "platform/clock.h"
#include "platform/error.h"
#include "platform/process/child_server.h"
#include "platform/process/event_pump.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"
#include "platform/text.h"
#include "platform/values.h"
#include "platform/xml.h"

#include <cstdio>
#include <cstdlib>

namespace fg::standin {

namespace {

std::optional<std::chrono::milliseconds> msAttribute(const xml::Node& n, const char* name) {
    if (!n.hasAttribute(name)) return std::nullopt;
    return std::chrono::milliseconds(toInt32(n.getAttribute(name)));
}

}  // namespace

Behaviour loadBehaviour(const std::string& name, int port) {
    Behaviour b;
    xml::Document doc;
    if (!doc.load(fs::programFolder() + kControlFile)) return b;
    for (const auto& n : doc.getElementsByTagName("StandIn")) {
        if (!text::iequals(n.getAttribute("name"), name)) continue;
        try {
            if (n.hasAttribute("Port") && toInt32(n.getAttribute("Port")) != port) continue;
            if (n.hasAttribute("StartResult")) b.startResult = n.getAttribute("StartResult");
            if (n.hasAttribute("Busy")) b.busy = n.getAttribute("Busy") == "1";
            if (n.hasAttribute("Refuse")) b.refuse = n.getAttribute("Refuse") == "1";
            if (n.hasAttribute("IgnoreTerm")) b.ignoreTerm = n.getAttribute("IgnoreTerm") == "1";
            if (n.hasAttribute("FailHandOver")) b.failHandOver = toInt32(n.getAttribute("FailHandOver"));
            if (n.hasAttribute("HoldHandOver")) b.holdHandOver = toInt32(n.getAttribute("HoldHandOver"));
            if (auto v = msAttribute(n, "ErrorAfter")) b.errorAfter = v;
            if (auto v = msAttribute(n, "DieAfter")) b.dieAfter = v;
            if (auto v = msAttribute(n, "StopDelay")) b.stopDelay = *v;
        } catch (const Error& e) {
            trace(name, "StandIn.xml: " + e.description());
        }
    }
    return b;
}

std::string tracePath() {
    std::string folder;
    FolderPathInfo().getFolderPath("log", folder);
    if (folder.empty()) folder = fs::programFolder() + "log/";
    return folder + kTraceFile;
}

void trace(const std::string& who, const std::string& step) noexcept {
    try {
        std::string path = tracePath();
        fs::makeFolders(fs::folderOf(path));
        std::string line = std::to_string(clock().elapsed().count()) + " " + who + " " + step + "\n";
        // One write per line keeps the lines of several stand-ins whole.
        fs::appendToFile(path, line);
    } catch (...) {
    }
}

int serveObject(EventPump& pump, const std::string& who, const std::string& source, const Behaviour& b,
                const std::function<void(ChildServer& server)>& members) {
    pump.watchEndRequest(EventPump::EndRequest::Terminate, [&] {
        trace(who, "terminated");
        pump.quit();
    });
    ChildServer server(pump);
    if (b.refuse) {
        trace(who, "refused");
        server.refuse(Error(kRefusedNumber, who + " は作成を拒否しました", source));
        return 1;
    }
    members(server);
    if (b.dieAfter)
        pump.addTimer(*b.dieAfter, [&] {
            trace(who, "died");
            std::_Exit(3);  // as a crash ends it: nothing unwound
        });
    server.onRelease([&] {
        trace(who, "released");
        pump.quit();
    });
    trace(who, "created");
    server.ready();
    pump.run();
    return 0;
}

int runStandIn(const std::string& who, int (*body)(void*), void* context) {
    try {
        return body(context);
    } catch (const Error& e) {
        std::fprintf(stderr, "%s: %ld %s\n", who.c_str(), e.number(), e.description().c_str());
        trace(who, "error " + std::to_string(e.number()) + " " + e.description());
        return 2;
    }
}

}  // namespace fg::standin
