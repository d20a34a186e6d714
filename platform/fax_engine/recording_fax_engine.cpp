#include "platform/fax_engine/recording_fax_engine.h"

namespace fg::fax {

namespace {
std::string q(const char* s) { return s ? std::string(s) : std::string("<null>"); }
std::string n(long long v) { return std::to_string(v); }
}  // namespace

std::vector<std::string> RecordingFaxEngine::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<std::string> RecordingFaxEngine::callNames() const {
    std::vector<std::string> names;
    for (const auto& c : calls()) names.push_back(c.substr(0, c.find('(')));
    return names;
}

void RecordingFaxEngine::clearCalls() {
    std::lock_guard lock(mutex_);
    calls_.clear();
}

void RecordingFaxEngine::setResult(EntryPoint entry, std::int16_t code) {
    std::lock_guard lock(mutex_);
    results_[entry] = code;
}

void RecordingFaxEngine::setMissing(EntryPoint entry) {
    std::lock_guard lock(mutex_);
    missing_.insert(entry);
}

bool RecordingFaxEngine::exports(EntryPoint entry) const {
    std::lock_guard lock(mutex_);
    return missing_.count(entry) == 0;
}

void RecordingFaxEngine::release() {
    std::lock_guard lock(mutex_);
    ++releases_;
    changed_.notify_all();
}

void RecordingFaxEngine::waitForCalls(int count) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return started_ >= count; });
}

void RecordingFaxEngine::hold() {
    std::unique_lock lock(mutex_);
    int ticket = ++started_;
    changed_.notify_all();
    if (holdCalls) changed_.wait(lock, [&] { return releases_ >= ticket; });
    ++answered_;
    changed_.notify_all();
}

bool RecordingFaxEngine::waitForAnswers(int count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::minutes(1), [&] { return answered_ >= count; });
}

std::int16_t RecordingFaxEngine::record(EntryPoint entry, const std::string& args) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::string(entryPointName(entry)) + "(" + args + ")");
    auto it = results_.find(entry);
    return it == results_.end() ? 0 : it->second;
}

std::int16_t RecordingFaxEngine::PortOpen(std::int32_t* handle, std::int16_t port, const char* init) {
    std::int16_t rc = record(EntryPoint::PortOpen, n(port) + ", " + q(init));
    *handle = handleToGive;
    return rc;
}
std::int16_t RecordingFaxEngine::PortClose(std::int32_t handle) {
    std::int16_t rc = record(EntryPoint::PortClose, n(handle));
    // A close hangs up whatever call is held.
    std::lock_guard lock(mutex_);
    releases_ = started_;
    changed_.notify_all();
    return rc;
}
std::int16_t RecordingFaxEngine::SetLineType(std::int32_t h, std::int16_t v) {
    return record(EntryPoint::SetLineType, n(h) + ", " + n(v));
}
std::int16_t RecordingFaxEngine::SetLocalID(std::int32_t h, const char* v) {
    return record(EntryPoint::SetLocalID, n(h) + ", " + q(v));
}
std::int16_t RecordingFaxEngine::SetModemClass(std::int32_t h, std::int16_t v) {
    return record(EntryPoint::SetModemClass, n(h) + ", " + n(v));
}
std::int16_t RecordingFaxEngine::SetResolution(std::int32_t h, std::int32_t v) {
    return record(EntryPoint::SetResolution, n(h) + ", " + n(v));
}
std::int16_t RecordingFaxEngine::WaitForRing(std::int32_t h, std::int16_t* status) {
    std::int16_t rc = record(EntryPoint::WaitForRing, n(h));
    *status = ringStatus;
    return rc;
}
std::int16_t RecordingFaxEngine::ReceiveFax(std::int32_t h, const char* file, std::int16_t* pages) {
    std::int16_t rc = record(EntryPoint::ReceiveFax, n(h) + ", " + q(file) + ", " + n(*pages));
    hold();
    *pages = pagesReceived;
    return rc;
}
std::int16_t RecordingFaxEngine::SendFax(std::int32_t h, const char* phone, const char* file, std::int16_t pages) {
    std::int16_t rc = record(EntryPoint::SendFax, n(h) + ", " + q(phone) + ", " + q(file) + ", " + n(pages));
    hold();
    return rc;
}
std::int16_t RecordingFaxEngine::GetHangupCode(std::int32_t h, std::int32_t* code) {
    std::int16_t rc = record(EntryPoint::GetHangupCode, n(h));
    *code = hangupCode;
    return rc;
}
std::int16_t RecordingFaxEngine::GetCommHandle(std::int32_t h, std::int32_t* comm) {
    std::int16_t rc = record(EntryPoint::GetCommHandle, n(h));
    *comm = commHandle;
    return rc;
}
std::int16_t RecordingFaxEngine::SetTraceOption(std::int16_t v) { return record(EntryPoint::SetTraceOption, n(v)); }
std::int16_t RecordingFaxEngine::SetTraceFileName(const char* v) { return record(EntryPoint::SetTraceFileName, q(v)); }
std::int16_t RecordingFaxEngine::GetRemoteID(std::int32_t h, const char** id) {
    std::int16_t rc = record(EntryPoint::GetRemoteID, n(h));
    *id = remoteId.c_str();
    return rc;
}
std::int16_t RecordingFaxEngine::SetFaxInfoOption(std::int16_t v) { return record(EntryPoint::SetFaxInfoOption, n(v)); }
std::int16_t RecordingFaxEngine::SetStretchOption(std::int16_t v) { return record(EntryPoint::SetStretchOption, n(v)); }
std::int16_t RecordingFaxEngine::SetShrinkOption(std::int16_t v) { return record(EntryPoint::SetShrinkOption, n(v)); }
std::int16_t RecordingFaxEngine::SetShrinkHeight(std::int16_t v) { return record(EntryPoint::SetShrinkHeight, n(v)); }
std::int16_t RecordingFaxEngine::SetShrinkWidth(std::int16_t v) { return record(EntryPoint::SetShrinkWidth, n(v)); }
std::int16_t RecordingFaxEngine::BmpToG3(const char* bmp, const char* g3) {
    return record(EntryPoint::BmpToG3, q(bmp) + ", " + q(g3));
}
std::int16_t RecordingFaxEngine::G3ToBmp(const char* g3, const char* bmp) {
    return record(EntryPoint::G3ToBmp, q(g3) + ", " + q(bmp));
}
std::int16_t RecordingFaxEngine::GetG3Size(const char* file, std::int32_t* cols, std::int32_t* rows) {
    std::int16_t rc = record(EntryPoint::GetG3Size, q(file));
    *cols = sizeColumns;
    *rows = sizeRows;
    return rc;
}
std::int16_t RecordingFaxEngine::GetBmpSize(const char* file, std::int32_t* cols, std::int32_t* rows) {
    std::int16_t rc = record(EntryPoint::GetBmpSize, q(file));
    *cols = sizeColumns;
    *rows = sizeRows;
    return rc;
}
std::int16_t RecordingFaxEngine::SetScanTime(std::int32_t h, std::int16_t v) {
    return record(EntryPoint::SetScanTime, n(h) + ", " + n(v));
}
std::int16_t RecordingFaxEngine::SetBitRate(std::int32_t h, std::int16_t v) {
    return record(EntryPoint::SetBitRate, n(h) + ", " + n(v));
}
std::int16_t RecordingFaxEngine::GetNumOfPagesSent(std::int32_t h, std::int16_t* count) {
    std::int16_t rc = record(EntryPoint::GetNumOfPagesSent, n(h));
    *count = pagesSent;
    return rc;
}

}  // namespace fg::fax
