// What every engine of this folder shares beside its lines: the trace, the
// page-image operations with their stretch and shrink options, the page
// information option, and the opening of a send and of a receive (the
// checks of the port and the arguments, and the reading of the pages to
// send). The rest of the port-bound operations is each engine's own.
#pragma once

#include "platform/fax_engine/fax_engine.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace fg::fax {

// What a port keeps of its last call, in every engine's ports.
struct CallState {
    std::int16_t number = 0;  // the port number: "COM<number>" in the trace
    std::atomic<bool> closed{false};
    std::atomic<bool> inCall{false};
    std::atomic<std::int16_t> pagesSent{0};
    std::atomic<std::int32_t> hangup{HangupCode::Normal};
    std::mutex mutex;      // guards remoteId, and the values an engine adds
    std::string remoteId;  // code page 932
};

// Marks a port as in a call for the life of the object; `entered` is false
// when another call had it already.
struct InCall {
    explicit InCall(CallState& p) : port(p), entered(!p.inCall.exchange(true)) {}
    ~InCall() {
        if (entered) port.inCall = false;
    }
    InCall(const InCall&) = delete;
    InCall& operator=(const InCall&) = delete;
    CallState& port;
    bool entered;
};

class FaxEngineBase : public FaxEngine {
public:
    // Both check the port and the arguments, and a send reads and checks
    // its pages, before the engine's own call (sendCall, receiveCall)
    // begins; the port is the call's until they answer.
    std::int16_t SendFax(std::int32_t handle, const char* phoneNumber, const char* fileName,
                         std::int16_t pages) final;
    std::int16_t ReceiveFax(std::int32_t handle, const char* fileName, std::int16_t* pages) final;
    std::int16_t GetHangupCode(std::int32_t handle, std::int32_t* code) override;
    std::int16_t GetRemoteID(std::int32_t handle, const char** remoteId) override;
    std::int16_t GetNumOfPagesSent(std::int32_t handle, std::int16_t* count) override;
    std::int16_t SetTraceOption(std::int16_t option) override;
    std::int16_t SetTraceFileName(const char* fileName) override;
    std::int16_t SetFaxInfoOption(std::int16_t on) override;
    std::int16_t SetStretchOption(std::int16_t stretch) override;
    std::int16_t SetShrinkOption(std::int16_t shrink) override;
    std::int16_t SetShrinkHeight(std::int16_t height) override;
    std::int16_t SetShrinkWidth(std::int16_t width) override;
    std::int16_t BmpToG3(const char* bmpFile, const char* g3File) override;
    std::int16_t G3ToBmp(const char* g3File, const char* bmpFile) override;
    std::int16_t GetG3Size(const char* fileName, std::int32_t* columns, std::int32_t* rows) override;
    std::int16_t GetBmpSize(const char* fileName, std::int32_t* columns, std::int32_t* rows) override;
    void setSendEndHook(std::function<void()> hook) override;

protected:
    struct SendRequest {
        std::string number;              // as given (UTF-8)
        std::string dial;                // what is dialled: see dialString
        std::string file;                // the first page's name without its "_p<n>"
        std::vector<std::string> pages;  // the pages' data, each a whole G3 page
        std::vector<int> widths;         // each page's width in pels
        std::string tag;                 // "COM<n> send to <dial>: ", for the trace
    };
    // A send on a port that is the caller's, its pagesSent and hangup reset.
    virtual std::int16_t sendCall(CallState& port, SendRequest& request) = 0;
    // A receive on a port that is the caller's, its hangup reset; `pages`
    // counts the pages written, from 0.
    virtual std::int16_t receiveCall(CallState& port, const std::string& file, std::int16_t& pages,
                                     const std::string& tag) = 0;
    // The digits and dial modifiers of a number; the rest (spaces, "-",
    // brackets) only helps people read it. A number without any is refused.
    static std::string dialString(const std::string& number);

    // Runs the send-end hook (see FaxEngine::setSendEndHook) unless the port
    // was closed, which ends the call before its end goes out: false then,
    // and false as well when the hook raises (logged). Never raises.
    [[nodiscard]] bool sendEnding(const CallState& port) noexcept;
    // The port of a handle, or nullptr.
    virtual std::shared_ptr<CallState> callState(std::int32_t handle) = 0;
    // One trace line, with the time to the millisecond, where the trace
    // option says: 0 nowhere, 1 the trace file, 2 the debug log. Never raises.
    void trace(const std::string& message) noexcept;
    std::int16_t faxInfo() const { return faxInfo_; }

    // Engine text (code page 932) as UTF-8.
    static std::string utf8(const char* ansi);
    // "<base><ext>" -> "<base>_p<n><ext>"
    static std::string pageName(const std::string& fileName, int n);
private:
    // Reads and checks every page of a send before anything is dialled: a
    // page that cannot be sent must not cost a call. Ok, FileNotFound or
    // BadImage (traced after `tag`).
    std::int16_t readPages(int pages, SendRequest& request);

    std::int16_t imageCall(const char* what, const std::function<void()>& body);

    // Held while the hook runs, so that taking it away waits for its end.
    std::mutex sendEndMutex_;
    std::function<void()> sendEndHook_;  // guarded by sendEndMutex_
    std::atomic<std::int16_t> traceOption_{0};
    std::mutex traceMutex_;
    std::string traceFile_;  // guarded by traceMutex_
    std::atomic<std::int16_t> faxInfo_{0};
    std::atomic<std::int16_t> stretch_{0};
    std::atomic<std::int16_t> shrink_{0};
    std::atomic<std::int16_t> shrinkHeight_{1145};
    std::atomic<std::int16_t> shrinkWidth_{864};
};

}  // namespace fg::fax
