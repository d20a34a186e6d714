// The fax engine: the 26 operations through which the fax-modem control
// drives fax lines and converts page images.
//
// Strings reach the engine as zero-terminated code page 932 text; results are
// 16-bit codes, 0 for success. Port-bound operations take the handle that
// PortOpen wrote. Codes other than 0 are the engine's own; EngineCode lists
// the ones the engines of this folder give.
//
// An engine is used from the thread of its control and from that control's
// worker at the same time (a worker sends while the control reads the pages
// sent or the hang-up code), so every implementation is thread-safe.
#pragma once

#include <cstdint>
#include <functional>

namespace fg::fax {

enum class EntryPoint {
    PortOpen,
    PortClose,
    SetLineType,
    SetLocalID,
    SetModemClass,
    SetResolution,
    WaitForRing,
    ReceiveFax,
    SendFax,
    GetHangupCode,
    GetCommHandle,
    SetTraceOption,
    SetTraceFileName,
    GetRemoteID,
    SetFaxInfoOption,
    SetStretchOption,
    SetShrinkOption,
    SetShrinkHeight,
    SetShrinkWidth,
    BmpToG3,
    G3ToBmp,
    GetG3Size,
    GetBmpSize,
    SetScanTime,
    SetBitRate,
    GetNumOfPagesSent,
};
inline constexpr int kEntryPointCount = 26;
// The exported name of an entry point ("PortOpen", ...).
const char* entryPointName(EntryPoint entry);

// Result codes of the engines of this folder.
namespace EngineCode {
inline constexpr std::int16_t Ok = 0;
inline constexpr std::int16_t NoSuchPort = 1;     // no line behind the port number
inline constexpr std::int16_t PortBusy = 2;       // another program has the port open
inline constexpr std::int16_t BadHandle = 3;      // the port is not open
inline constexpr std::int16_t BadArgument = 4;    // empty phone number, page count below 1, null pointer
inline constexpr std::int16_t FileNotFound = 5;   // a page or image file is missing
inline constexpr std::int16_t BadImage = 6;       // a file is not a bitmap or G3 page
inline constexpr std::int16_t WriteFailed = 7;    // an output file cannot be written
inline constexpr std::int16_t LineSettings = 8;   // the line's settings file is unreadable
inline constexpr std::int16_t LineBusy = 10;      // the called number is busy
inline constexpr std::int16_t NoAnswer = 11;      // the called number does not answer
inline constexpr std::int16_t LineDropped = 12;   // the call broke off during the transfer
inline constexpr std::int16_t Aborted = 13;       // the port was closed during the call
inline constexpr std::int16_t NoCall = 14;        // no incoming call
inline constexpr std::int16_t ModemSilent = 15;   // the modem did not answer a command within its bound
inline constexpr std::int16_t ModemRefused = 16;  // the modem refused its initialisation or the fax class
inline constexpr std::int16_t DeviceFailed = 17;  // the serial device or its lock failed
}  // namespace EngineCode

// Hang-up status values after a call (the fax hang-up codes of ITU-T T.32).
namespace HangupCode {
inline constexpr std::int32_t Normal = 0x00;             // normal end of the connection
inline constexpr std::int32_t Aborted = 0x02;            // call aborted
inline constexpr std::int32_t NoLoopCurrent = 0x03;      // no loop current (no dial tone)
inline constexpr std::int32_t NoAnswer = 0x04;           // ringback detected, no answer
inline constexpr std::int32_t PhaseAError = 0x10;        // unspecified transmit phase A error (busy line)
inline constexpr std::int32_t NoFaxAnswer = 0x11;        // no answer (T.30 T1 timeout)
inline constexpr std::int32_t NoResponseToDcs = 0x25;    // DCS sent three times without response
inline constexpr std::int32_t NoResponseToMps = 0x52;    // no response to MPS repeated three times
inline constexpr std::int32_t NoResponseToEop = 0x54;    // no response to EOP repeated three times
inline constexpr std::int32_t ReceivePhaseBError = 0x70;  // receive: unspecified phase B error
inline constexpr std::int32_t ExpectedPageMissing = 0x73;  // receive: T2 timeout, expected page not received
}  // namespace HangupCode

class FaxEngine {
public:
    virtual ~FaxEngine() = default;

    // Whether the engine exports this entry point. The control leaves a
    // missing one unbound and fails the operations that need it.
    [[nodiscard]] virtual bool exports(EntryPoint) const { return true; }

    // A hook that a send runs on its own thread just before the end of its
    // last page goes to the line: from then on the far end may hold the whole
    // fax, whatever becomes of the sender. The line waits for the hook, so
    // it may make a note durable; it must not call the engine. A hook that
    // raises (its note could not be made) ends the call before the end goes
    // out, as a closed port does. An empty hook
    // takes the last one away, and once this returns the old one is never
    // called again. Engines that cannot tell the moment ignore it.
    virtual void setSendEndHook(std::function<void()> hook) { (void)hook; }

    virtual std::int16_t PortOpen(std::int32_t* handle, std::int16_t port, const char* initString) = 0;
    virtual std::int16_t PortClose(std::int32_t handle) = 0;
    virtual std::int16_t SetLineType(std::int32_t handle, std::int16_t lineType) = 0;
    virtual std::int16_t SetLocalID(std::int32_t handle, const char* localId) = 0;
    virtual std::int16_t SetModemClass(std::int32_t handle, std::int16_t modemClass) = 0;
    virtual std::int16_t SetResolution(std::int32_t handle, std::int32_t resolution) = 0;
    // Waits for an incoming call; *status is 1 when one rings, 0 otherwise.
    virtual std::int16_t WaitForRing(std::int32_t handle, std::int16_t* status) = 0;
    // Receives the pages of the ringing call into "<base>_p<n><ext>" for the
    // file name "<base><ext>"; *pages is the number received.
    virtual std::int16_t ReceiveFax(std::int32_t handle, const char* fileName, std::int16_t* pages) = 0;
    // Sends the pages "<base>_p1<ext>" .. "<base>_p<pages><ext>" of the file
    // name "<base><ext>" (matched without regard to case).
    virtual std::int16_t SendFax(std::int32_t handle, const char* phoneNumber, const char* fileName,
                                 std::int16_t pages) = 0;
    virtual std::int16_t GetHangupCode(std::int32_t handle, std::int32_t* code) = 0;
    virtual std::int16_t GetCommHandle(std::int32_t handle, std::int32_t* comm) = 0;
    virtual std::int16_t SetTraceOption(std::int16_t option) = 0;
    virtual std::int16_t SetTraceFileName(const char* fileName) = 0;
    // The station identifier of the last remote party; the text stays the
    // engine's and is valid until this thread asks again.
    virtual std::int16_t GetRemoteID(std::int32_t handle, const char** remoteId) = 0;
    virtual std::int16_t SetFaxInfoOption(std::int16_t on) = 0;
    virtual std::int16_t SetStretchOption(std::int16_t stretch) = 0;
    virtual std::int16_t SetShrinkOption(std::int16_t shrink) = 0;
    virtual std::int16_t SetShrinkHeight(std::int16_t height) = 0;
    virtual std::int16_t SetShrinkWidth(std::int16_t width) = 0;
    virtual std::int16_t BmpToG3(const char* bmpFile, const char* g3File) = 0;
    virtual std::int16_t G3ToBmp(const char* g3File, const char* bmpFile) = 0;
    virtual std::int16_t GetG3Size(const char* fileName, std::int32_t* columns, std::int32_t* rows) = 0;
    virtual std::int16_t GetBmpSize(const char* fileName, std::int32_t* columns, std::int32_t* rows) = 0;
    virtual std::int16_t SetScanTime(std::int32_t handle, std::int16_t scanTime) = 0;
    virtual std::int16_t SetBitRate(std::int32_t handle, std::int16_t bitRate) = 0;
    virtual std::int16_t GetNumOfPagesSent(std::int32_t handle, std::int16_t* count) = 0;
};

}  // namespace fg::fax
