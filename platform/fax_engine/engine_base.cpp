#include "platform/fax_engine/engine_base.h"

#include "platform/clock.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/fax_engine/fax_page.h"
#include "platform/fax_engine/g3_codec.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"
#include "platform/text.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <string_view>
#include <new>

namespace fg::fax {

std::string FaxEngineBase::utf8(const char* ansi) { return ansi ? text::fromCp932(ansi) : std::string(); }

std::string FaxEngineBase::pageName(const std::string& fileName, int n) {
    std::string::size_type slash = fileName.rfind('/');
    std::string::size_type dot = fileName.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = fileName.size();
    return fileName.substr(0, dot) + "_p" + std::to_string(n) + fileName.substr(dot);
}

std::string FaxEngineBase::dialString(const std::string& number) {
    std::string out;
    for (char c : number)
        if (std::isdigit(static_cast<unsigned char>(c)) || std::string_view("*#,+WwPpTt!@").find(c) != std::string::npos)
            out += c;
    return out;
}

std::int16_t FaxEngineBase::SendFax(std::int32_t handle, const char* phoneNumber, const char* fileName,
                                    std::int16_t pages) {
    auto port = callState(handle);
    if (!port) return EngineCode::BadHandle;
    InCall call(*port);
    if (!call.entered) return EngineCode::PortBusy;
    port->pagesSent = 0;
    port->hangup = HangupCode::Normal;
    SendRequest request;
    request.number = utf8(phoneNumber);
    request.dial = dialString(request.number);
    request.file = utf8(fileName);
    request.tag = "COM" + std::to_string(port->number) + " send to " + request.dial + ": ";
    if (request.dial.empty() || request.file.empty() || pages < 1) {
        trace(request.tag + "bad arguments");
        return EngineCode::BadArgument;
    }
    if (std::int16_t code = readPages(pages, request); code != EngineCode::Ok)
        return code;
    return sendCall(*port, request);
}

std::int16_t FaxEngineBase::ReceiveFax(std::int32_t handle, const char* fileName, std::int16_t* pages) {
    if (!pages) return EngineCode::BadArgument;
    *pages = 0;
    auto port = callState(handle);
    if (!port) return EngineCode::BadHandle;
    InCall call(*port);
    if (!call.entered) return EngineCode::PortBusy;
    port->hangup = HangupCode::Normal;
    const std::string file = utf8(fileName);
    if (file.empty()) return EngineCode::BadArgument;
    return receiveCall(*port, file, *pages, "COM" + std::to_string(port->number) + " receive: ");
}

std::int16_t FaxEngineBase::readPages(int pages, SendRequest& request) {
    request.pages.clear();
    request.widths.clear();
    for (int n = 1; n <= pages; ++n) {
        std::string name = pageName(request.file, n);
        try {
            request.pages.push_back(fs::readFile(name));
            request.widths.push_back(inspectWholeG3(request.pages.back()).width);
        } catch (const Error& e) {
            trace(request.tag + name + ": " + e.description());
            return e.number() == errnum::FileNotFound ? EngineCode::FileNotFound : EngineCode::BadImage;
        }
    }
    return EngineCode::Ok;
}

void FaxEngineBase::trace(const std::string& message) noexcept {
    try {
        std::int16_t option = traceOption_;
        if (option == 0) return;
        auto now = clock().now();
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
        char millis[8];
        std::snprintf(millis, sizeof millis, ".%03d", static_cast<int>(ms));
        std::string line = timeStamp14(now) + millis + " " + message;
        if (option == 2) {
            writeDebugLine("FaxEngine", line);
            return;
        }
        std::string file;
        {
            std::lock_guard lock(traceMutex_);
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
    } catch (...) {
        // A trace that cannot be written never fails what it traces.
    }
}

std::int16_t FaxEngineBase::GetHangupCode(std::int32_t handle, std::int32_t* code) {
    auto port = callState(handle);
    if (!port || !code) return EngineCode::BadHandle;
    *code = port->hangup;
    return EngineCode::Ok;
}

std::int16_t FaxEngineBase::GetRemoteID(std::int32_t handle, const char** remoteId) {
    auto port = callState(handle);
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

std::int16_t FaxEngineBase::GetNumOfPagesSent(std::int32_t handle, std::int16_t* count) {
    auto port = callState(handle);
    if (!port || !count) return EngineCode::BadHandle;
    *count = port->pagesSent;
    return EngineCode::Ok;
}

void FaxEngineBase::setSendEndHook(std::function<void()> hook) {
    std::lock_guard lock(sendEndMutex_);
    sendEndHook_ = std::move(hook);
}

bool FaxEngineBase::sendEnding(const CallState& port) noexcept {
    // The port's close is looked at under the hook's lock: a sender that
    // hangs up and then takes the hook away knows afterwards whether the
    // end went out after a note.
    std::lock_guard lock(sendEndMutex_);
    if (port.closed) return false;
    if (sendEndHook_) {
        try {
            sendEndHook_();
        } catch (...) {
            // The note the hook makes is what keeps the fax from being sent
            // twice after a crash: without it the end does not go out.
            logCurrentError("FaxEngine");
            return false;
        }
    }
    return true;
}

std::int16_t FaxEngineBase::SetTraceOption(std::int16_t option) {
    traceOption_ = option;
    return EngineCode::Ok;
}

std::int16_t FaxEngineBase::SetTraceFileName(const char* fileName) {
    std::lock_guard lock(traceMutex_);
    traceFile_ = utf8(fileName);
    return EngineCode::Ok;
}

std::int16_t FaxEngineBase::SetFaxInfoOption(std::int16_t on) {
    faxInfo_ = on;
    return EngineCode::Ok;
}
std::int16_t FaxEngineBase::SetStretchOption(std::int16_t v) {
    stretch_ = v;
    return EngineCode::Ok;
}
std::int16_t FaxEngineBase::SetShrinkOption(std::int16_t v) {
    shrink_ = v;
    return EngineCode::Ok;
}
std::int16_t FaxEngineBase::SetShrinkHeight(std::int16_t v) {
    shrinkHeight_ = v;
    return EngineCode::Ok;
}
std::int16_t FaxEngineBase::SetShrinkWidth(std::int16_t v) {
    shrinkWidth_ = v;
    return EngineCode::Ok;
}

std::int16_t FaxEngineBase::imageCall(const char* what, const std::function<void()>& body) {
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

std::int16_t FaxEngineBase::BmpToG3(const char* bmpFile, const char* g3File) {
    if (!bmpFile || !g3File) return EngineCode::BadArgument;
    return imageCall("BmpToG3", [&] { bmpFileToG3(utf8(bmpFile), utf8(g3File), stretch_); });
}

std::int16_t FaxEngineBase::G3ToBmp(const char* g3File, const char* bmpFile) {
    if (!bmpFile || !g3File) return EngineCode::BadArgument;
    return imageCall("G3ToBmp", [&] { g3FileToBmp(utf8(g3File), utf8(bmpFile), shrink_, shrinkWidth_, shrinkHeight_); });
}

std::int16_t FaxEngineBase::GetG3Size(const char* fileName, std::int32_t* columns, std::int32_t* rows) {
    if (!fileName || !columns || !rows) return EngineCode::BadArgument;
    return imageCall("GetG3Size", [&] {
        PageSize s = g3FileSize(utf8(fileName));
        *columns = s.columns;
        *rows = s.rows;
    });
}

std::int16_t FaxEngineBase::GetBmpSize(const char* fileName, std::int32_t* columns, std::int32_t* rows) {
    if (!fileName || !columns || !rows) return EngineCode::BadArgument;
    return imageCall("GetBmpSize", [&] {
        PageSize s = bmpFileSize(utf8(fileName));
        *columns = s.columns;
        *rows = s.rows;
    });
}

}  // namespace fg::fax
