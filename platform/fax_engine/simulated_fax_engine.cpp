#include "platform/fax_engine/simulated_fax_engine.h"

#include "platform/clock.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/fax_engine/fax_page.h"
#include "platform/fax_engine/g3_codec.h"
#include "platform/file_lock.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"
#include "platform/text.h"
#include "platform/values.h"
#include "platform/xml.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace fg::fax {

using std::chrono::milliseconds;

struct SimulatedFaxEngine::Port {
    std::int16_t number = 0;
    std::string folder;  // ends with "/"
    std::optional<FileLock> lock;  // released when the last user of the port lets go
    std::atomic<bool> closed{false};
    std::atomic<bool> inCall{false};
    std::atomic<std::int16_t> pagesSent{0};
    std::atomic<std::int32_t> hangup{HangupCode::Normal};

    std::mutex mutex;  // guards the values below
    std::string initString;
    std::string localId;   // code page 932
    std::string remoteId;  // code page 932
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

std::string utf8(const char* ansi) { return ansi ? text::fromCp932(ansi) : std::string(); }

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

// "<base><ext>" -> "<base>_p<n><ext>"
std::string pageName(const std::string& fileName, int n) {
    std::string::size_type slash = fileName.rfind('/');
    std::string::size_type dot = fileName.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = fileName.size();
    return fileName.substr(0, dot) + "_p" + std::to_string(n) + fileName.substr(dot);
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

struct InCall {
    explicit InCall(SimulatedFaxEngine::Port& p) : port(p), entered(!p.inCall.exchange(true)) {}
    ~InCall() {
        if (entered) port.inCall = false;
    }
    SimulatedFaxEngine::Port& port;
    bool entered;
};

}  // namespace

const char* entryPointName(EntryPoint entry) {
    int i = static_cast<int>(entry);
    return i >= 0 && i < kEntryPointCount ? kNames[i] : "";
}

std::string SimulatedFaxEngine::defaultLinesFolder() { return fs::programFolder() + kLinesFolder + "/"; }

SimulatedFaxEngine::SimulatedFaxEngine(std::string linesFolder) : linesFolder_(fs::withSlash(linesFolder)) {}

SimulatedFaxEngine::~SimulatedFaxEngine() {
    std::lock_guard lock(mutex_);
    for (auto& [handle, port] : ports_) port->closed = true;
    ports_.clear();
}

std::shared_ptr<SimulatedFaxEngine::Port> SimulatedFaxEngine::find(std::int32_t handle) {
    std::lock_guard lock(mutex_);
    auto it = ports_.find(handle);
    return it == ports_.end() ? nullptr : it->second;
}

void SimulatedFaxEngine::trace(const std::string& message) {
    std::int16_t option = traceOption_;
    if (option == 0) return;
    std::string line = timeStamp14(clock().now()) + " " + message;
    if (option == 2) {
        writeDebugLine("FaxEngine", line);
        return;
    }
    std::string file;
    {
        std::lock_guard lock(mutex_);
        file = traceFile_;
    }
    if (file.empty()) return;
    // A name in another system's form ("c:\SendTrace.txt") keeps only its
    // file name and goes to the log folder; a relative name lies below the
    // program folder.
    if (file.find('\\') != std::string::npos || (file.size() > 1 && file[1] == ':')) {
        std::string name = file.substr(file.find_last_of("\\/:") + 1);
        std::string folder;
        FolderPathInfo().getFolderPath("log", folder);
        file = (folder.empty() ? fs::programFolder() : folder) + name;
    } else if (file.front() != '/') {
        file = fs::programFolder() + file;
    }
    line += "\n";
    int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
        writeDebugLine("FaxEngine", "trace file " + file + " cannot be written: " + message);
    if (fd >= 0) ::close(fd);
}

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
    {
        std::lock_guard lock(mutex_);
        *handle = nextHandle_++;
        ports_[*handle] = port;
    }
    trace("COM" + std::to_string(number) + " open, handle " + std::to_string(*handle) + ", init " +
          utf8(initString));
    return EngineCode::Ok;
}

std::int16_t SimulatedFaxEngine::PortClose(std::int32_t handle) {
    std::shared_ptr<Port> port;
    {
        std::lock_guard lock(mutex_);
        auto it = ports_.find(handle);
        if (it == ports_.end()) return EngineCode::BadHandle;
        port = it->second;
        ports_.erase(it);
    }
    port->closed = true;
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

std::int16_t SimulatedFaxEngine::SendFax(std::int32_t handle, const char* phoneNumber, const char* fileName,
                                         std::int16_t pages) {
    auto port = find(handle);
    if (!port) return EngineCode::BadHandle;
    InCall call(*port);
    if (!call.entered) return EngineCode::PortBusy;
    port->pagesSent = 0;
    port->hangup = HangupCode::Normal;
    const std::string phone = utf8(phoneNumber);
    const std::string file = utf8(fileName);
    const std::string tag = "COM" + std::to_string(port->number) + " send to " + phone + ": ";
    if (text::trimBlanks(phone).empty() || file.empty() || pages < 1) {
        trace(tag + "bad arguments");
        return EngineCode::BadArgument;
    }
    auto line = readLine(port->folder);
    if (!line) return EngineCode::LineSettings;

    // Every page is read and checked before dialling: a page that cannot be
    // sent must not cost a call.
    std::vector<std::string> data;
    for (int n = 1; n <= pages; ++n) {
        std::string name = pageName(file, n);
        try {
            data.push_back(fs::readFile(name));
            decodeWholeG3(data.back());
        } catch (const Error& e) {
            trace(tag + name + ": " + e.description());
            return e.number() == errnum::FileNotFound ? EngineCode::FileNotFound : EngineCode::BadImage;
        }
    }

    struct {
        std::string localId;
        std::int16_t lineType, modemClass, bitRate;
        std::int32_t resolution;
    } snapshot;
    {
        std::lock_guard lock(port->mutex);
        snapshot.localId = port->localId;
        snapshot.lineType = port->lineType;
        snapshot.modemClass = port->modemClass;
        snapshot.resolution = port->resolution;
        snapshot.bitRate = port->bitRate;
    }
    CallRecord record;
    std::string callFolder;
    try {
        std::string outbox = port->folder + "outbox/";
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
        record.set("FaxInfo", std::to_string(faxInfo_.load()));
        record.set("Pages", std::to_string(pages));
        record.set("PagesSent", "0");
        record.set("Started", timeStamp14(clock().now()));
        record.set("Status", "dialling");
        record.doc.save(record.path);
    } catch (const Error& e) {
        logError(port->folder + "outbox: " + e.description());
        return EngineCode::WriteFailed;
    }

    auto finish = [&](std::int16_t result, std::int32_t hangup, const char* status) {
        port->hangup = hangup;
        record.set("PagesSent", std::to_string(port->pagesSent.load()));
        record.set("Status", status);
        record.set("Result", std::to_string(result));
        record.set("HangupCode", std::to_string(hangup));
        record.set("Finished", timeStamp14(clock().now()));
        record.save();
        trace(tag + status + ", result " + std::to_string(result) + ", hang-up " + std::to_string(hangup));
        return result;
    };

    trace(tag + "dialling, " + std::to_string(pages) + " pages");
    if (!waitOnLine(*port, line->connectTime)) return finish(EngineCode::Aborted, HangupCode::Aborted, "aborted");
    if (line->failure == "busy") {
        useFailure(port->folder, *line);
        return finish(EngineCode::LineBusy, HangupCode::PhaseAError, "busy");
    }
    if (line->failure == "noanswer") {
        useFailure(port->folder, *line);
        return finish(EngineCode::NoAnswer, HangupCode::NoAnswer, "no answer");
    }
    {
        std::string remote = line->remoteId.empty() ? phone : line->remoteId;
        std::lock_guard lock(port->mutex);
        port->remoteId = text::toCp932(remote);
    }
    record.set("Status", "sending");
    record.save();
    const bool drop = line->failure == "drop";
    for (int n = 1; n <= pages; ++n) {
        if (drop && n > line->dropAfterPage) {
            useFailure(port->folder, *line);
            return finish(EngineCode::LineDropped, n == 1 ? HangupCode::NoResponseToDcs : HangupCode::NoResponseToMps,
                          "dropped");
        }
        if (!waitOnLine(*port, pageMillis(*line, data[static_cast<std::size_t>(n - 1)].size(), snapshot.bitRate)))
            return finish(EngineCode::Aborted, HangupCode::Aborted, "aborted");
        try {
            fs::writeFileAtomic(callFolder + "p" + std::to_string(n) + ".G3", data[static_cast<std::size_t>(n - 1)]);
        } catch (const Error& e) {
            logError(callFolder + ": " + e.description());
            return finish(EngineCode::WriteFailed, HangupCode::Aborted, "aborted");
        }
        port->pagesSent = static_cast<std::int16_t>(n);
        record.set("PagesSent", std::to_string(n));
        record.save();
    }
    if (drop) {
        useFailure(port->folder, *line);
        return finish(EngineCode::LineDropped, HangupCode::NoResponseToEop, "dropped");
    }
    return finish(EngineCode::Ok, HangupCode::Normal, "sent");
}

std::int16_t SimulatedFaxEngine::ReceiveFax(std::int32_t handle, const char* fileName, std::int16_t* pages) {
    if (!pages) return EngineCode::BadArgument;
    *pages = 0;
    auto port = find(handle);
    if (!port) return EngineCode::BadHandle;
    InCall call(*port);
    if (!call.entered) return EngineCode::PortBusy;
    port->hangup = HangupCode::Normal;
    const std::string file = utf8(fileName);
    const std::string tag = "COM" + std::to_string(port->number) + " receive: ";
    if (file.empty()) return EngineCode::BadArgument;
    auto line = readLine(port->folder);
    if (!line) return EngineCode::LineSettings;
    auto calls = fs::list(port->folder + "inbox", "*", fs::ListKind::Folders);
    if (calls.empty()) return EngineCode::NoCall;
    const std::string callFolder = port->folder + "inbox/" + calls.front() + "/";

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
        std::lock_guard lock(port->mutex);
        port->remoteId = text::toCp932(remote);
    }
    trace(tag + calls.front() + ", " + std::to_string(pageFiles.size()) + " pages");
    if (!waitOnLine(*port, line->connectTime)) {
        port->hangup = HangupCode::Aborted;
        return EngineCode::Aborted;
    }
    const bool drop = line->failure == "drop";
    int n = 0;
    for (const auto& [number, name] : pageFiles) {
        if (drop && n >= line->dropAfterPage) {
            useFailure(port->folder, *line);
            port->hangup = HangupCode::ExpectedPageMissing;
            trace(tag + "dropped after " + std::to_string(n) + " pages");
            return EngineCode::LineDropped;
        }
        try {
            std::string data = fs::readFile(callFolder + name);
            if (!waitOnLine(*port, pageMillis(*line, data.size(), 5))) {
                port->hangup = HangupCode::Aborted;
                return EngineCode::Aborted;
            }
            fs::writeFileAtomic(pageName(file, n + 1), data);
        } catch (const Error& e) {
            logError(callFolder + name + ": " + e.description());
            port->hangup = HangupCode::Aborted;
            return EngineCode::WriteFailed;
        }
        *pages = static_cast<std::int16_t>(++n);
    }
    fs::removeTree(callFolder);
    trace(tag + "done, " + std::to_string(n) + " pages");
    return EngineCode::Ok;
}

std::int16_t SimulatedFaxEngine::GetHangupCode(std::int32_t handle, std::int32_t* code) {
    auto port = find(handle);
    if (!port || !code) return EngineCode::BadHandle;
    *code = port->hangup;
    return EngineCode::Ok;
}

std::int16_t SimulatedFaxEngine::GetCommHandle(std::int32_t handle, std::int32_t* comm) {
    auto port = find(handle);
    if (!port || !comm) return EngineCode::BadHandle;
    *comm = handle;
    return EngineCode::Ok;
}

std::int16_t SimulatedFaxEngine::SetTraceOption(std::int16_t option) {
    traceOption_ = option;
    return EngineCode::Ok;
}

std::int16_t SimulatedFaxEngine::SetTraceFileName(const char* fileName) {
    std::lock_guard lock(mutex_);
    traceFile_ = utf8(fileName);
    return EngineCode::Ok;
}

std::int16_t SimulatedFaxEngine::GetRemoteID(std::int32_t handle, const char** remoteId) {
    auto port = find(handle);
    if (!port || !remoteId) return EngineCode::BadHandle;
    // Each asking thread gets a text of its own, which a worker on the same
    // port cannot change under it.
    thread_local std::string text;
    {
        std::lock_guard lock(port->mutex);
        text = port->remoteId;
    }
    *remoteId = text.c_str();
    return EngineCode::Ok;
}

std::int16_t SimulatedFaxEngine::SetFaxInfoOption(std::int16_t on) {
    faxInfo_ = on;
    return EngineCode::Ok;
}
std::int16_t SimulatedFaxEngine::SetStretchOption(std::int16_t v) {
    stretch_ = v;
    return EngineCode::Ok;
}
std::int16_t SimulatedFaxEngine::SetShrinkOption(std::int16_t v) {
    shrink_ = v;
    return EngineCode::Ok;
}
std::int16_t SimulatedFaxEngine::SetShrinkHeight(std::int16_t v) {
    shrinkHeight_ = v;
    return EngineCode::Ok;
}
std::int16_t SimulatedFaxEngine::SetShrinkWidth(std::int16_t v) {
    shrinkWidth_ = v;
    return EngineCode::Ok;
}

std::int16_t SimulatedFaxEngine::imageCall(const char* what, const std::function<void()>& body) {
    try {
        body();
        return EngineCode::Ok;
    } catch (const Error& e) {
        trace(std::string(what) + ": " + e.description());
        if (e.number() == errnum::FileNotFound) return EngineCode::FileNotFound;
        if (e.number() == errnum::InvalidPicture) return EngineCode::BadImage;
        return EngineCode::WriteFailed;
    } catch (const std::bad_alloc&) {
        trace(std::string(what) + ": out of memory");
        return EngineCode::BadImage;
    }
}

std::int16_t SimulatedFaxEngine::BmpToG3(const char* bmpFile, const char* g3File) {
    if (!bmpFile || !g3File) return EngineCode::BadArgument;
    return imageCall("BmpToG3", [&] { bmpFileToG3(utf8(bmpFile), utf8(g3File), stretch_); });
}

std::int16_t SimulatedFaxEngine::G3ToBmp(const char* g3File, const char* bmpFile) {
    if (!bmpFile || !g3File) return EngineCode::BadArgument;
    return imageCall("G3ToBmp", [&] { g3FileToBmp(utf8(g3File), utf8(bmpFile), shrink_, shrinkWidth_, shrinkHeight_); });
}

std::int16_t SimulatedFaxEngine::GetG3Size(const char* fileName, std::int32_t* columns, std::int32_t* rows) {
    if (!fileName || !columns || !rows) return EngineCode::BadArgument;
    return imageCall("GetG3Size", [&] {
        PageSize s = g3FileSize(utf8(fileName));
        *columns = s.columns;
        *rows = s.rows;
    });
}

std::int16_t SimulatedFaxEngine::GetBmpSize(const char* fileName, std::int32_t* columns, std::int32_t* rows) {
    if (!fileName || !columns || !rows) return EngineCode::BadArgument;
    return imageCall("GetBmpSize", [&] {
        PageSize s = bmpFileSize(utf8(fileName));
        *columns = s.columns;
        *rows = s.rows;
    });
}

std::int16_t SimulatedFaxEngine::GetNumOfPagesSent(std::int32_t handle, std::int16_t* count) {
    auto port = find(handle);
    if (!port || !count) return EngineCode::BadHandle;
    *count = port->pagesSent;
    return EngineCode::Ok;
}

}  // namespace fg::fax
