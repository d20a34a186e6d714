// A fax engine for tests: records every call with its arguments, answers
// with scripted codes and values, and holds sends and receives until the
// test lets them finish.
#pragma once

#include "platform/fax_engine/fax_engine.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace fg::fax {

class RecordingFaxEngine : public FaxEngine {
public:
    // Calls as "Name(arg, arg)": numbers in decimal, texts as given.
    std::vector<std::string> calls() const;
    std::vector<std::string> callNames() const;  // names only
    void clearCalls();

    // The code an entry point answers (default 0).
    void setResult(EntryPoint entry, std::int16_t code);
    // Entry points the engine does not export.
    void setMissing(EntryPoint entry);

    // Values the engine hands out.
    std::int32_t handleToGive = 7;
    std::int32_t hangupCode = 0;
    std::int32_t commHandle = 0;
    std::string remoteId;            // code page 932
    std::int16_t pagesSent = 0;
    std::int16_t pagesReceived = 0;  // written by ReceiveFax
    std::int16_t ringStatus = 0;
    std::int32_t sizeColumns = 0, sizeRows = 0;

    // With holdCalls set, SendFax and ReceiveFax wait until release() (or a
    // PortClose, as a hang-up) before they answer.
    bool holdCalls = false;
    void release();
    // Waits until `n` sends or receives have begun.
    void waitForCalls(int n);
    // Waits, up to a minute, until `n` sends or receives have answered.
    [[nodiscard]] bool waitForAnswers(int n);

    [[nodiscard]] bool exports(EntryPoint entry) const override;
    std::int16_t PortOpen(std::int32_t* handle, std::int16_t port, const char* initString) override;
    std::int16_t PortClose(std::int32_t handle) override;
    std::int16_t SetLineType(std::int32_t handle, std::int16_t lineType) override;
    std::int16_t SetLocalID(std::int32_t handle, const char* localId) override;
    std::int16_t SetModemClass(std::int32_t handle, std::int16_t modemClass) override;
    std::int16_t SetResolution(std::int32_t handle, std::int32_t resolution) override;
    std::int16_t WaitForRing(std::int32_t handle, std::int16_t* status) override;
    std::int16_t ReceiveFax(std::int32_t handle, const char* fileName, std::int16_t* pages) override;
    std::int16_t SendFax(std::int32_t handle, const char* phoneNumber, const char* fileName,
                         std::int16_t pages) override;
    std::int16_t GetHangupCode(std::int32_t handle, std::int32_t* code) override;
    std::int16_t GetCommHandle(std::int32_t handle, std::int32_t* comm) override;
    std::int16_t SetTraceOption(std::int16_t option) override;
    std::int16_t SetTraceFileName(const char* fileName) override;
    std::int16_t GetRemoteID(std::int32_t handle, const char** remoteId) override;
    std::int16_t SetFaxInfoOption(std::int16_t on) override;
    std::int16_t SetStretchOption(std::int16_t stretch) override;
    std::int16_t SetShrinkOption(std::int16_t shrink) override;
    std::int16_t SetShrinkHeight(std::int16_t height) override;
    std::int16_t SetShrinkWidth(std::int16_t width) override;
    std::int16_t BmpToG3(const char* bmpFile, const char* g3File) override;
    std::int16_t G3ToBmp(const char* g3File, const char* bmpFile) override;
    std::int16_t GetG3Size(const char* fileName, std::int32_t* columns, std::int32_t* rows) override;
    std::int16_t GetBmpSize(const char* fileName, std::int32_t* columns, std::int32_t* rows) override;
    std::int16_t SetScanTime(std::int32_t handle, std::int16_t scanTime) override;
    std::int16_t SetBitRate(std::int32_t handle, std::int16_t bitRate) override;
    std::int16_t GetNumOfPagesSent(std::int32_t handle, std::int16_t* count) override;

private:
    std::int16_t record(EntryPoint entry, const std::string& args);
    void hold();

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> calls_;
    std::map<EntryPoint, std::int16_t> results_;
    std::set<EntryPoint> missing_;
    int releases_ = 0;
    int started_ = 0;
    int answered_ = 0;
};

}  // namespace fg::fax
