// Ostrand, the fax-modem control: the modem settings as properties, the port,
// ring, send and receive operations over the fax engine, sends and receives
// on a worker thread that the host polls, and the bitmap/G3 conversions.
//
// The engine is loaded by name ("Skelmar.dll", see fax_engine_loader.h) when
// the control is created. When it cannot be loaded the control still works
// as a holder of settings, shows SKM001 through the message sink, and every
// operation that needs the engine answers EngineMissing instead of calling.
//
// Strings go to the engine as code page 932 text. A text that does not fit
// its buffer (file names 259 bytes, phone numbers 63, other texts 1023) or
// that code page 932 cannot hold is refused whole, never cut: the operation
// answers TextRefused and the refusal is logged. A refused send or receive
// counts as a finished, failed operation, so the host's next GetResult
// answers 0 with pResult TextRefused instead of leaving it polling for ever.
//
// Refused property puts raise fg::Error 380 (invalid property value, the
// automation error 0x800A017C) or 383 (read-only property, 0x800A017F) and
// change nothing.
//
// Host duties: set the properties, then createWindow() (opens the port when
// AutoOpen is set); destroyWindow() or the destructor closes it. All members
// run on the host's thread. A worker still running when the control goes is
// hung up (its port is closed) and waited for.
#pragma once

#include "platform/fax_engine/fax_engine.h"
#include "platform/fax_engine/worker_thread.h"

#include <bitset>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace fg {

enum enumLineType : std::int32_t { otToneLine = 0, otPulseLine = 1 };
enum enumModemClass : std::int32_t { otAutoDetect = 0, otClass2 = 2, otClass20 = 3 };
enum enumResolution : std::int32_t { otHighResolution = 0, otNrmalResolution = 1 };
enum enumThreadPriority : std::int32_t {
    otIDLE = -15,
    otLowest = -2,
    otBelowNormal = -1,
    otNormal = 0,
    otAboveNormal = 1,
    otHighest = 2,
    otTimeCritical = 15,
};
enum enumCommPort : std::int32_t {
    otCOM1 = 1, otCOM2, otCOM3, otCOM4, otCOM5, otCOM6, otCOM7, otCOM8, otCOM9, otCOM10,
};
enum enumTraceOption : std::int32_t { otNoTrace = 0, otTraceToFile = 1, otTraceToSystem = 2 };
enum enumStretch : std::int32_t {
    otStretchNone = 0,
    otStretchHorizontal = 1,
    otStretchVerticalLow = 2,
    otStretchBothLow = 3,
    otStretchVerticalHigh = 4,
    otStretchBothHigh = 5,
};
enum enumShrink : std::int32_t { otShrinkNone = 0, otShrinkHorizontal = 1, otShrinkVertical = 2, otShrinkBoth = 3 };

// Codes the control itself puts in pRc.
namespace OstrandResultCode {
inline constexpr std::int16_t Done = 0;                // started, or finished and collected
inline constexpr std::int16_t Busy = 300;              // an operation is already under way
inline constexpr std::int16_t NothingToReport = 301;   // none started, collected, or port opened/closed since
inline constexpr std::int16_t CreateFailed = 302;      // the worker thread could not be created
inline constexpr std::int16_t StillRunning = 304;
inline constexpr std::int16_t PriorityFailed = 305;    // the worker's priority could not be set
inline constexpr std::int16_t ResumeFailed = 306;      // the worker could not be let go
inline constexpr std::int16_t EngineMissing = 307;     // the engine or its entry point is not loaded
inline constexpr std::int16_t TextRefused = 310;       // a text too long for, or not expressible in, code page 932
}  // namespace OstrandResultCode

// Automation Booleans: True is -1.
inline constexpr std::int16_t VariantTrue = -1;
inline constexpr std::int16_t VariantFalse = 0;

class Ostrand {
public:
    static constexpr const char* kEngineLibrary = "Skelmar.dll";

    Ostrand();
    ~Ostrand();
    Ostrand(const Ostrand&) = delete;
    Ostrand& operator=(const Ostrand&) = delete;

    // The control's window: created by the host once the properties are set.
    void createWindow();
    void destroyWindow();

    // The container's user mode: true (run mode) on a server; tests switch
    // to design mode to see its rules.
    bool userMode() const { return userMode_; }
    void setUserMode(bool runMode) { userMode_ = runMode; }

    // Property-change sinks: called with dispid 0 after a notifying put.
    int addPropertyNotifySink(std::function<void(std::int32_t dispid)> sink);
    void removePropertyNotifySink(int cookie);

    // ---- Properties --------------------------------------------------------
    std::int32_t LastFaxError() const { return lastFaxError_; }
    void setLastFaxError(std::int32_t);  // read-only: 383
    std::int32_t LineType() const { return lineType_; }
    void setLineType(std::int32_t value);
    std::int32_t ModemClass() const { return modemClass_; }
    void setModemClass(std::int32_t value) { modemClass_ = value; }
    std::int32_t Resolution() const { return resolution_; }
    void setResolution(std::int32_t value) { resolution_ = value; }
    const std::string& ModemInitString() const { return modemInitString_; }
    void setModemInitString(const std::string& value);
    const std::string& LocalID() const { return localId_; }
    void setLocalID(const std::string& value);
    std::int16_t Pages() const { return pages_; }
    void setPages(std::int16_t value) { pages_ = value; }
    std::int32_t ThreadPriority() const { return threadPriority_; }
    void setThreadPriority(std::int32_t value);
    std::int32_t HangupCode();
    void setHangupCode(std::int32_t);  // 383
    std::int32_t CommID();
    void setCommID(std::int32_t);  // 383
    std::int16_t AutoOpen() const { return autoOpen_; }
    void setAutoOpen(std::int16_t value) { autoOpen_ = value; }
    std::int32_t CommPort() const { return commPort_; }
    void setCommPort(std::int32_t value) { commPort_ = value; }
    std::int32_t TraceOption() const { return traceOption_; }
    void setTraceOption(std::int32_t value);
    const std::string& TraceFileName() const { return traceFileName_; }
    void setTraceFileName(const std::string& value);
    std::string RemoteID();
    void setRemoteID(const std::string&);  // 383
    std::int16_t FaxInfoOption() const { return faxInfoOption_; }
    void setFaxInfoOption(std::int16_t value);
    std::int32_t Stretch() const { return stretch_; }
    void setStretch(std::int32_t value);
    std::int32_t Shrink() const { return shrink_; }
    void setShrink(std::int32_t value);
    std::int16_t ShrinkHeight() const { return shrinkHeight_; }
    void setShrinkHeight(std::int16_t value);
    std::int16_t ShrinkWidth() const { return shrinkWidth_; }
    void setShrinkWidth(std::int16_t value);
    std::int16_t ScanTime() const { return scanTime_; }
    void setScanTime(std::int16_t value);
    std::int16_t BitRate() const { return bitRate_; }
    void setBitRate(std::int16_t value);
    std::int16_t NumOfPagesSent();
    void setNumOfPagesSent(std::int16_t);  // 383

    // ---- Operations --------------------------------------------------------
    void PortOpen(std::int16_t& pVal);
    void PortClose(std::int16_t& pVal);
    void WaitForRing(std::int16_t& Status, std::int16_t& pRc);
    void SendFax(const std::string& PhoneNumber, const std::string& FileName, std::int16_t& pRc);
    void ReceiveFax(const std::string& lpFileName, std::int16_t& pRc);
    void GetResult(std::int16_t& pResult, std::int16_t& pRc);
    void BmpToG3(const std::string& bstrBmpFile, const std::string& bstrG3File, std::int16_t& pRc);
    void G3ToBmp(const std::string& bstrG3File, const std::string& bstrBmpFile, std::int16_t& pRc);
    void GetG3Size(const std::string& bstrFileName, std::int32_t& pCols, std::int32_t& pRows, std::int16_t& pRc);
    void GetBmpSize(const std::string& bstrFileName, std::int32_t& pCols, std::int32_t& pRows, std::int16_t& pRc);

    // The engine's send-end hook (FaxEngine::setSendEndHook): run on the
    // worker just before the end of a send's last page goes to the line.
    void setSendEndHook(std::function<void()> hook);

    // Buffer sizes of the engine texts, terminator excluded.
    static constexpr std::size_t kFileNameBytes = 259;
    static constexpr std::size_t kPhoneNumberBytes = 63;
    static constexpr std::size_t kConversionBytes = 1023;

private:
    struct FaxJob;
    bool bound(fax::EntryPoint entry) const;
    bool boundAll(std::initializer_list<fax::EntryPoint> entries) const;
    void notify();
    void startWorker(bool send, const std::string& phone, const std::string& file, std::int16_t& pRc);
    void forgetWorker();
    void reapWorkers();

    std::shared_ptr<fax::FaxEngine> engine_;
    std::bitset<fax::kEntryPointCount> bound_;
    bool userMode_ = true;
    bool windowCreated_ = false;
    std::map<int, std::function<void(std::int32_t)>> sinks_;
    int nextCookie_ = 1;

    std::int32_t lastFaxError_ = 0;
    std::int32_t lineType_ = otToneLine;
    std::int32_t modemClass_ = otAutoDetect;
    std::int32_t resolution_ = otHighResolution;
    std::string modemInitString_ = "ATZ";
    std::string localId_;
    std::int16_t pages_ = 0;
    std::int32_t threadPriority_ = otNormal;
    std::int16_t autoOpen_ = VariantFalse;
    std::int32_t commPort_ = otCOM1;
    std::int32_t traceOption_ = otNoTrace;
    std::string traceFileName_;
    std::string remoteId_;
    std::int16_t faxInfoOption_ = VariantFalse;
    std::int32_t stretch_ = otStretchBothLow;
    std::int32_t shrink_ = otShrinkNone;
    std::int16_t shrinkHeight_ = 1145;
    std::int16_t shrinkWidth_ = 864;
    std::int16_t scanTime_ = 0;
    std::int16_t bitRate_ = 5;

    std::int32_t portHandle_ = 0;

    // The last started operation. Each start makes a new job record, owned
    // together by the control and its worker, so a worker that the control
    // forgot (a port opened or closed under it) keeps its own record and no
    // later start can write into it.
    bool busy_ = false;
    std::shared_ptr<FaxJob> job_;
    std::unique_ptr<fax::WorkerThread> worker_;
    std::vector<std::pair<std::unique_ptr<fax::WorkerThread>, std::shared_ptr<FaxJob>>> forgotten_;
};

}  // namespace fg
