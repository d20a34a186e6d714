#include "platform/fax_engine/simulated_fax_engine.h"

#include "platform/clock.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/fax_engine/g3_codec.h"
#include "platform/file_lock.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/values.h"
#include "platform/xml.h"


#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace fg::fax {

using std::chrono::milliseconds;

struct SimulatedFaxEngine::Port : CallState {
    std::string folder;  // ends with "/"
    std::optional<FileLock> lock;  // released when the last user of the port lets go

    // guarded by mutex:
    std::string initString;
    std::string localId;   // code page 932
    std::int16_t lineType = 0;
    std::int16_t modemClass = 0;
    std::int32_t resolution = 0;
    std::int16_t scanTime = 0;
    std::int16_t bitRate = 5;
};

// What line.xml says; read afresh for every call, so that a line can be
// changed while its port is open.
struct SimulatedFaxEngine::Line {
    long connectTime = 0;
    std::optional<long> pageTime;
    long ringTimeout = 60000;
    std::string remoteId;  // UTF-8
    std::string failure;   // "", "busy", "noanswer", "drop"
    std::optional<long> failureTimes;
    long dropAfterPage = 0;
    std::string holdEnd;
};

namespace {

constexpr milliseconds kSlice{250};

const char* const kNames[kEntryPointCount] = {
    "PortOpen",      "PortClose",       "SetLineType",      "SetLocalID",       "SetModemClass",
    "SetResolution", "WaitForRing",     "ReceiveFax",       "SendFax",          "GetHangupCode",
    "GetCommHandle", "SetTraceOption",  "SetTraceFileName", "GetRemoteID",      "SetFaxInfoOption",
    "SetStretchOption", "SetShrinkOption", "SetShrinkHeight", "SetShrinkWidth", "BmpToG3",
    "G3ToBmp",       "GetG3Size",       "GetBmpSize",       "SetScanTime",      "SetBitRate",
    "GetNumOfPagesSent",
};

void logError(const std::string& description) {
    ErrorLogWriter().writeError("FaxLines", Error(0, description));
}

// The settings of a line; nullopt (logged) when line.xml cannot be read.
std::optional<SimulatedFaxEngine::Line> readLine(const std::string& folder) {
    SimulatedFaxEngine::Line line;
    auto path = fs::resolve(folder + "line.xml");
    if (!path) return line;
    xml::Document doc;
    if (!doc.load(*path)) {
        logError(*path + ": " + doc.parseError().reason);
        return std::nullopt;
    }
    try {
        auto number = [&](const char* name, long& into) {
            xml::Node n = doc.selectSingleNode(std::string("/FaxLine/") + name);
            if (n) into = toInt32(n.text());
        };
        number("ConnectTime", line.connectTime);
        number("RingTimeout", line.ringTimeout);
        number("DropAfterPage", line.dropAfterPage);
        if (xml::Node n = doc.selectSingleNode("/FaxLine/PageTime")) line.pageTime = toInt32(n.text());
        if (xml::Node n = doc.selectSingleNode("/FaxLine/RemoteID")) line.remoteId = n.text();
        if (xml::Node n = doc.selectSingleNode("/FaxLine/HoldEnd")) line.holdEnd = text::trimBlanks(n.text());
        if (xml::Node n = doc.selectSingleNode("/FaxLine/Failure")) {
            line.failure = text::toLowerAscii(text::trimBlanks(n.text()));
            if (n.hasAttribute("times")) line.failureTimes = toInt32(n.getAttribute("times"));
            if (line.failure != "busy" && line.failure != "noanswer" && line.failure != "drop" && !line.failure.empty())
                throw Error(errnum::InvalidProcedureCall, "unknown failure \"" + line.failure + "\"");
            if (line.failureTimes && *line.failureTimes <= 0) line.failure.clear();
        }
    } catch (const Error& e) {
        logError(*path + ": " + e.description());
        return std::nullopt;
    }
    return line;
}

// One injected failure is used up: a counted failure goes down by one and
// disappears at zero. The port lock is held, so nobody else writes the file.
void useFailure(const std::string& folder, const SimulatedFaxEngine::Line& line) {
    if (!line.failureTimes) return;
    auto path = fs::resolve(folder + "line.xml");
    if (!path) return;
    try {
        xml::Document doc;
        if (!doc.load(*path)) throw Error(errnum::PathFileAccessError, doc.parseError().reason);
        xml::Node n = doc.selectSingleNode("/FaxLine/Failure");
        if (!n) return;
        long left = *line.failureTimes - 1;
        if (left <= 0) n.parentNode().removeChild(n);
        else n.setAttribute("times", std::to_string(left));
        doc.save(*path);
    } catch (const Error& e) {
        logError(*path + ": " + e.description());
    }
}

// Waits in slices so that a close of the port ends the call promptly.
bool waitOnLine(const SimulatedFaxEngine::Port& port, long ms) {
    milliseconds left(std::max(0L, ms));
    while (left.count() > 0) {
        if (port.closed) return false;
        milliseconds step = std::min(left, kSlice);
        clock().sleepFor(step);
        left -= step;
    }
    return !port.closed;
}

long pageMillis(const SimulatedFaxEngine::Line& line, std::size_t bytes, std::int16_t bitRate) {
    if (line.pageTime) return *line.pageTime;
    static const long rates[] = {2400, 4800, 7200, 9600, 12000, 14400};
    long bps = rates[std::clamp<int>(bitRate, 0, 5)];
    return static_cast<long>((static_cast<long long>(bytes) * 8 * 1000) / bps);
}

std::string sixDigits(long n) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%06ld", n);
    return buf;
}

struct CallRecord {
    std::string path;
    xml::Document doc;
    void set(const std::string& name, const std::string& value) {
        xml::Node root = doc.documentElement();
        xml::Node n = root.selectSingleNode(name);
        if (!n) n = root.appendChild(doc.createElement(name));
        n.setText(value);
    }
    void save() {
        try {
            doc.save(path);
        } catch (const Error& e) {
            logError(path + ": " + e.description());
        }
    }
};


}  // namespace

const char* entryPointName(EntryPoint entry) {
    int i = static_cast<int>(entry);
    return i >= 0 && i < kEntryPointCount ? kNames[i] : "";
}

std::string SimulatedFaxEngine::defaultLinesFolder() { return fs::programFolder() + kLinesFolder + "/"; }

SimulatedFaxEngine::SimulatedFaxEngine(std::string linesFolder) : linesFolder_(fs::withSlash(linesFolder)) {}

SimulatedFaxEngine::~SimulatedFaxEngine() = default;

std::shared_ptr<CallState> SimulatedFaxEngine::callState(std::int32_t handle) { return find(handle); }

std::shared_ptr<SimulatedFaxEngine::Port> SimulatedFaxEngine::find(std::int32_t handle) { return ports_.find(handle); }

std::int16_t SimulatedFaxEngine::PortOpen(std::int32_t* handle, std::int16_t number, const char* initString) {
    if (!handle) return EngineCode::BadArgument;
    auto folder = number > 0 ? fs::resolve(linesFolder_ + "COM" + std::to_string(number)) : std::nullopt;
    if (!folder || !fs::folderExists(*folder)) {
        trace("COM" + std::to_string(number) + " open: no such line");
        return EngineCode::NoSuchPort;
    }
    auto port = std::make_shared<Port>();
    port->number = number;
    port->folder = fs::withSlash(*folder);
    try {
        port->lock.emplace(FileLock::tryLock(port->folder + "port"));
    } catch (const Error& e) {
        logError(port->folder + ": " + e.description());
        return EngineCode::NoSuchPort;
    }
    if (!port->lock->held()) {
        trace("COM" + std::to_string(number) + " open: port in use");
        return EngineCode::PortBusy;
    }
    port->initString = initString ? initString : "";
    *handle = ports_.add(port);
    trace("COM" + std::to_string(number) + " open, handle " + std::to_string(*handle) + ", init " +
          utf8(initString));
    return EngineCode::Ok;
}

std::int16_t SimulatedFaxEngine::PortClose(std::int32_t handle) {
    auto port = ports_.close(handle);
    if (!port) return EngineCode::BadHandle;
    trace("COM" + std::to_string(port->number) + " close");
    return EngineCode::Ok;
}

#define FG_PORT_SETTER(Name, Type, field)                                  \
    std::int16_t SimulatedFaxEngine::Name(std::int32_t handle, Type value) { \
        auto port = find(handle);                                          \
        if (!port) return EngineCode::BadHandle;                           \
        std::lock_guard lock(port->mutex);                                 \
        port->field = value;                                               \
        return EngineCode::Ok;                                             \
    }
FG_PORT_SETTER(SetLineType, std::int16_t, lineType)
FG_PORT_SETTER(SetModemClass, std::int16_t, modemClass)
FG_PORT_SETTER(SetResolution, std::int32_t, resolution)
FG_PORT_SETTER(SetScanTime, std::int16_t, scanTime)
FG_PORT_SETTER(SetBitRate, std::int16_t, bitRate)
#undef FG_PORT_SETTER

std::int16_t SimulatedFaxEngine::SetLocalID(std::int32_t handle, const char* localId) {
    auto port = find(handle);
    if (!port) return EngineCode::BadHandle;
    std::lock_guard lock(port->mutex);
    port->localId = localId ? localId : "";
    return EngineCode::Ok;
}

std::int16_t SimulatedFaxEngine::WaitForRing(std::int32_t handle, std::int16_t* status) {
    if (!status) return EngineCode::BadArgument;
    *status = 0;
    auto port = find(handle);
    if (!port) return EngineCode::BadHandle;
    InCall call(*port);
    if (!call.entered) return EngineCode::PortBusy;
    auto line = readLine(port->folder);
    if (!line) return EngineCode::LineSettings;
    long waited = 0;
    for (;;) {
        if (!fs::list(port->folder + "inbox", "*", fs::ListKind::Folders).empty()) {
            *status = 1;
            trace("COM" + std::to_string(port->number) + " ring");
            return EngineCode::Ok;
        }
        if (waited >= line->ringTimeout) return EngineCode::NoCall;
        long step = std::min<long>(kSlice.count(), line->ringTimeout - waited);
        if (!waitOnLine(*port, step)) return EngineCode::Aborted;
        waited += step;
    }
}

std::int16_t SimulatedFaxEngine::sendCall(CallState& state, SendRequest& request) {
    auto& port = static_cast<Port&>(state);
    const std::string& phone = request.number;
    const std::string& tag = request.tag;
    const std::vector<std::string>& data = request.pages;
    const int pages = static_cast<int>(data.size());
    auto line = readLine(port.folder);
    if (!line) return EngineCode::LineSettings;

    struct {
        std::string localId;
        std::int16_t lineType, modemClass, bitRate;
        std::int32_t resolution;
    } snapshot;
    {
        std::lock_guard lock(port.mutex);
        snapshot.localId = port.localId;
        snapshot.lineType = port.lineType;
        snapshot.modemClass = port.modemClass;
        snapshot.resolution = port.resolution;
        snapshot.bitRate = port.bitRate;
    }
    CallRecord record;
    std::string callFolder;
    try {
        std::string outbox = port.folder + "outbox/";
        fs::makeFolders(outbox);
        long last = 0;
        for (const auto& name : fs::list(outbox, "*", fs::ListKind::Folders))
            if (isNumeric(name)) last = std::max<long>(last, toInt32(name));
        callFolder = outbox + sixDigits(last + 1) + "/";
        fs::makeFolders(callFolder);
        record.path = callFolder + "fax.xml";
        record.doc.appendChild(record.doc.createProcessingInstruction("xml", "version=\"1.0\" encoding=\"UTF-8\""));
        record.doc.appendChild(record.doc.createElement("Fax"));
        record.set("PhoneNumber", phone);
        record.set("LocalID", text::fromCp932(snapshot.localId));
        record.set("Resolution", std::to_string(snapshot.resolution));
        record.set("LineType", std::to_string(snapshot.lineType));
        record.set("ModemClass", std::to_string(snapshot.modemClass));
        record.set("BitRate", std::to_string(snapshot.bitRate));
        record.set("FaxInfo", std::to_string(faxInfo()));
        record.set("Pages", std::to_string(pages));
        record.set("PagesSent", "0");
        record.set("Started", timeStamp14(clock().now()));
        record.set("Status", "dialling");
        record.doc.save(record.path);
    } catch (const Error& e) {
        logError(port.folder + "outbox: " + e.description());
        return EngineCode::WriteFailed;
    }

    auto finish = [&](std::int16_t result, std::int32_t hangup, const char* status) {
        port.hangup = hangup;
        record.set("PagesSent", std::to_string(port.pagesSent.load()));
        record.set("Status", status);
        record.set("Result", std::to_string(result));
        record.set("HangupCode", std::to_string(hangup));
        record.set("Finished", timeStamp14(clock().now()));
        record.save();
        trace(tag + status + ", result " + std::to_string(result) + ", hang-up " + std::to_string(hangup));
        return result;
    };

    trace(tag + "dialling, " + std::to_string(pages) + " pages");
    if (!waitOnLine(port, line->connectTime)) return finish(EngineCode::Aborted, HangupCode::Aborted, "aborted");
    if (line->failure == "busy") {
        useFailure(port.folder, *line);
        return finish(EngineCode::LineBusy, HangupCode::PhaseAError, "busy");
    }
    if (line->failure == "noanswer") {
        useFailure(port.folder, *line);
        return finish(EngineCode::NoAnswer, HangupCode::NoAnswer, "no answer");
    }
    {
        std::string remote = line->remoteId.empty() ? phone : line->remoteId;
        std::lock_guard lock(port.mutex);
        port.remoteId = text::toCp932(remote);
    }
    record.set("Status", "sending");
    record.save();
    const bool drop = line->failure == "drop";
    for (int n = 1; n <= pages; ++n) {
        if (drop && n > line->dropAfterPage) {
            useFailure(port.folder, *line);
            return finish(EngineCode::LineDropped, n == 1 ? HangupCode::NoResponseToDcs : HangupCode::NoResponseToMps,
                          "dropped");
        }
        if (!waitOnLine(port, pageMillis(*line, data[static_cast<std::size_t>(n - 1)].size(), snapshot.bitRate)))
            return finish(EngineCode::Aborted, HangupCode::Aborted, "aborted");
        // The last page lands whole at once: the far end has the fax from here.
        if (n == pages && !sendEnding(port)) return finish(EngineCode::Aborted, HangupCode::Aborted, "aborted");
        try {
            fs::writeFileAtomic(callFolder + "p" + std::to_string(n) + ".G3", data[static_cast<std::size_t>(n - 1)]);
        } catch (const Error& e) {
            logError(callFolder + ": " + e.description());
            return finish(EngineCode::WriteFailed, HangupCode::Aborted, "aborted");
        }
        port.pagesSent = static_cast<std::int16_t>(n);
        record.set("PagesSent", std::to_string(n));
        record.save();
    }
    while (!line->holdEnd.empty() && fs::isBareName(line->holdEnd) && fs::fileExists(port.folder + line->holdEnd))
        if (!waitOnLine(port, kSlice.count())) break;
    if (drop) {
        useFailure(port.folder, *line);
        return finish(EngineCode::LineDropped, HangupCode::NoResponseToEop, "dropped");
    }
    return finish(EngineCode::Ok, HangupCode::Normal, "sent");
}

std::int16_t SimulatedFaxEngine::receiveCall(CallState& state, const std::string& file, std::int16_t& pageCount,
                                             const std::string& tag) {
    auto& port = static_cast<Port&>(state);
    std::int16_t* pages = &pageCount;
    auto line = readLine(port.folder);
    if (!line) return EngineCode::LineSettings;
    auto calls = fs::list(port.folder + "inbox", "*", fs::ListKind::Folders);
    if (calls.empty()) return EngineCode::NoCall;
    const std::string callFolder = port.folder + "inbox/" + calls.front() + "/";

    std::vector<std::pair<long, std::string>> pageFiles;
    for (const auto& name : fs::list(callFolder, "p*.g3")) {
        std::string digits = name.substr(1, name.size() - 4);
        if (!digits.empty() && std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
            digits.size() < 6)
            pageFiles.emplace_back(std::stol(digits), name);
    }
    std::sort(pageFiles.begin(), pageFiles.end());
    std::string remote;
    if (auto info = fs::resolve(callFolder + "call.xml")) {
        xml::Document doc;
        if (doc.load(*info))
            if (xml::Node n = doc.selectSingleNode("/Call/RemoteID")) remote = n.text();
    }
    {
        std::lock_guard lock(port.mutex);
        port.remoteId = text::toCp932(remote);
    }
    trace(tag + calls.front() + ", " + std::to_string(pageFiles.size()) + " pages");
    if (!waitOnLine(port, line->connectTime)) {
        port.hangup = HangupCode::Aborted;
        return EngineCode::Aborted;
    }
    const bool drop = line->failure == "drop";
    int n = 0;
    for (const auto& [number, name] : pageFiles) {
        if (drop && n >= line->dropAfterPage) {
            useFailure(port.folder, *line);
            port.hangup = HangupCode::ExpectedPageMissing;
            trace(tag + "dropped after " + std::to_string(n) + " pages");
            return EngineCode::LineDropped;
        }
        try {
            std::string data = fs::readFile(callFolder + name);
            if (!waitOnLine(port, pageMillis(*line, data.size(), 5))) {
                port.hangup = HangupCode::Aborted;
                return EngineCode::Aborted;
            }
            fs::writeFileAtomic(pageName(file, n + 1), data);
        } catch (const Error& e) {
            logError(callFolder + name + ": " + e.description());
            port.hangup = HangupCode::Aborted;
            return EngineCode::WriteFailed;
        }
        *pages = static_cast<std::int16_t>(++n);
    }
    fs::removeTree(callFolder);
    trace(tag + "done, " + std::to_string(n) + " pages");
    return EngineCode::Ok;
}

std::int16_t SimulatedFaxEngine::GetCommHandle(std::int32_t handle, std::int32_t* comm) {
    auto port = find(handle);
    if (!port || !comm) return EngineCode::BadHandle;
    *comm = handle;
    return EngineCode::Ok;
}

}  // namespace fg::fax
