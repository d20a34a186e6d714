#include "fax_send/ostrand/ostrand.h"

#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/fax_engine/fax_engine_loader.h"
#include "platform/message_sink.h"
#include "platform/text.h"

namespace fg {

using fax::EntryPoint;

struct Ostrand::FaxJob {
    std::shared_ptr<fax::FaxEngine> engine;
    std::int32_t port = 0;
    std::string fileName;     // code page 932, at most kFileNameBytes
    std::string phoneNumber;  // code page 932, at most kPhoneNumberBytes
    std::int16_t pages = 0;
    std::int16_t result = 0;
    bool send = true;
};

namespace {

constexpr const char* kSource = "Ostrand";
constexpr const char* kErrorCaption = "エラー";

[[noreturn]] void invalidValue() { throw Error(errnum::InvalidPropertyValue, "プロパティの値が不正です。", kSource); }
[[noreturn]] void readOnly() { throw Error(errnum::ReadOnlyProperty, "プロパティは読み取り専用です。", kSource); }

// The engine takes code page 932 text in fixed buffers. A text that would
// not come back the same, or that does not fit, is refused and logged: a cut
// file name would name another file, a cut phone number dial another number.
bool toEngineText(const std::string& value, std::size_t maxBytes, const char* what, std::string& out) {
    bool lossless = true;
    std::string bytes = text::toCp932(value, &lossless);
    const char* why = nullptr;
    if (!lossless || bytes.find('\0') != std::string::npos || text::fromCp932(bytes) != value)
        why = "コードページ932で表せない文字があります";
    else if (bytes.size() > maxBytes)
        why = "長すぎます";
    if (why) {
        ErrorLogWriter().writeError(kSource, OstrandResultCode::TextRefused,
                                    std::string(what) + "をファックスエンジンに渡せません。" + why + "(" +
                                        std::to_string(bytes.size()) + "/" + std::to_string(maxBytes) +
                                        "バイト): " + value);
        return false;
    }
    out = std::move(bytes);
    return true;
}

std::int16_t to16(std::int32_t v) { return static_cast<std::int16_t>(v); }

}  // namespace

Ostrand::Ostrand() {
    long systemError = 0;
    engine_ = fax::FaxEngineLoader::load(kEngineLibrary, systemError);
    if (!engine_) {
        messageSink().show("SKM001 Skelmar.dllがロードできません。(" + std::to_string(systemError) + ")",
                           msgbox::OKOnly, kErrorCaption);
        return;
    }
    for (int i = 0; i < fax::kEntryPointCount; ++i)
        bound_[static_cast<std::size_t>(i)] = engine_->exports(static_cast<EntryPoint>(i));
}

Ostrand::~Ostrand() {
    if (windowCreated_) destroyWindow();
    // A worker still on the line is hung up, so that waiting for it is short.
    auto hangUp = [&](const std::unique_ptr<fax::WorkerThread>& worker, const std::shared_ptr<FaxJob>& job) {
        if (worker && job && worker->running() && bound(EntryPoint::PortClose)) engine_->PortClose(job->port);
    };
    hangUp(worker_, job_);
    for (const auto& [worker, job] : forgotten_) hangUp(worker, job);
    worker_.reset();
    forgotten_.clear();
    job_.reset();
    engine_.reset();
}

bool Ostrand::bound(EntryPoint entry) const { return engine_ && bound_[static_cast<std::size_t>(entry)]; }

// An operation runs only when every entry point it calls is there: a port
// opened without its settings, or a page converted without its stretch
// option, would quietly be the wrong one.
bool Ostrand::boundAll(std::initializer_list<EntryPoint> entries) const {
    for (EntryPoint e : entries)
        if (!bound(e)) return false;
    return true;
}

void Ostrand::createWindow() {
    windowCreated_ = true;
    if (!userMode_ || autoOpen_ == 0) return;
    std::int16_t code = 0;
    PortOpen(code);
    if (code != 0)
        messageSink().show("SKM002 ポートのオープンに失敗しました(" + std::to_string(code) + ")", msgbox::OKOnly,
                           kErrorCaption);
}

void Ostrand::destroyWindow() {
    if (!windowCreated_) return;
    windowCreated_ = false;
    if (!userMode_) return;
    std::int16_t code = 0;
    PortClose(code);
    if (autoOpen_ != 0 && code != 0)
        messageSink().show("SKM003 ポートのクローズに失敗しました。(" + std::to_string(code) + ")", msgbox::OKOnly,
                           kErrorCaption);
}

int Ostrand::addPropertyNotifySink(std::function<void(std::int32_t)> sink) {
    sinks_[nextCookie_] = std::move(sink);
    return nextCookie_++;
}

void Ostrand::removePropertyNotifySink(int cookie) { sinks_.erase(cookie); }

void Ostrand::notify() {
    auto sinks = sinks_;
    for (auto& [cookie, sink] : sinks) sink(0);
}

// ---- Properties ------------------------------------------------------------

void Ostrand::setLastFaxError(std::int32_t) { readOnly(); }
void Ostrand::setHangupCode(std::int32_t) { readOnly(); }
void Ostrand::setCommID(std::int32_t) { readOnly(); }
void Ostrand::setRemoteID(const std::string&) { readOnly(); }
void Ostrand::setNumOfPagesSent(std::int16_t) { readOnly(); }

void Ostrand::setLineType(std::int32_t value) {
    if (value == lineType_) return;
    lineType_ = value;
    if (userMode_ && bound(EntryPoint::SetLineType)) engine_->SetLineType(portHandle_, to16(value));
}

void Ostrand::setModemInitString(const std::string& value) {
    modemInitString_ = value;
    notify();
}

void Ostrand::setLocalID(const std::string& value) {
    localId_ = value;
    notify();
}

void Ostrand::setThreadPriority(std::int32_t value) {
    switch (value) {
    case otIDLE:
    case otLowest:
    case otBelowNormal:
    case otNormal:
    case otAboveNormal:
    case otHighest:
    case otTimeCritical: threadPriority_ = value; return;
    default: invalidValue();
    }
}

std::int32_t Ostrand::HangupCode() {
    std::int32_t value = 0;
    if (bound(EntryPoint::GetHangupCode)) engine_->GetHangupCode(portHandle_, &value);
    return value;
}

std::int32_t Ostrand::CommID() {
    std::int32_t value = 0;
    if (bound(EntryPoint::GetCommHandle)) engine_->GetCommHandle(portHandle_, &value);
    return value;
}

void Ostrand::setTraceOption(std::int32_t value) {
    if (value == traceOption_) return;
    traceOption_ = value;
    if (userMode_ && bound(EntryPoint::SetTraceOption)) engine_->SetTraceOption(to16(value));
}

void Ostrand::setTraceFileName(const std::string& value) {
    traceFileName_ = value;
    if (!userMode_ || !bound(EntryPoint::SetTraceFileName)) return;
    std::string ansi;
    if (toEngineText(value, kConversionBytes, "TraceFileName", ansi)) engine_->SetTraceFileName(ansi.c_str());
}

std::string Ostrand::RemoteID() {
    if (!userMode_ || !bound(EntryPoint::GetRemoteID)) return {};
    const char* text = nullptr;
    if (engine_->GetRemoteID(portHandle_, &text) != 0 || !text) return {};
    remoteId_ = text::fromCp932(text);
    return remoteId_;
}

void Ostrand::setFaxInfoOption(std::int16_t value) {
    faxInfoOption_ = value;
    if (userMode_ && bound(EntryPoint::SetFaxInfoOption)) engine_->SetFaxInfoOption(value == VariantTrue ? 1 : 0);
}

void Ostrand::setStretch(std::int32_t value) {
    if (value < otStretchNone || value > otStretchBothHigh) invalidValue();
    stretch_ = value;
}

void Ostrand::setShrink(std::int32_t value) {
    if (value < otShrinkNone || value > otShrinkBoth) invalidValue();
    shrink_ = value;
}

void Ostrand::setShrinkHeight(std::int16_t value) {
    if (value <= 0) invalidValue();
    shrinkHeight_ = value;
    notify();
}

void Ostrand::setShrinkWidth(std::int16_t value) {
    if (value <= 0) invalidValue();
    shrinkWidth_ = value;
    notify();
}

void Ostrand::setScanTime(std::int16_t value) {
    if (value == scanTime_) return;
    scanTime_ = value;
    if (userMode_ && bound(EntryPoint::SetScanTime)) engine_->SetScanTime(portHandle_, value);
}

void Ostrand::setBitRate(std::int16_t value) {
    if (value == bitRate_) return;
    bitRate_ = value;
    if (userMode_ && bound(EntryPoint::SetBitRate)) engine_->SetBitRate(portHandle_, value);
}

std::int16_t Ostrand::NumOfPagesSent() {
    std::int16_t value = 0;
    if (userMode_ && bound(EntryPoint::GetNumOfPagesSent)) engine_->GetNumOfPagesSent(portHandle_, &value);
    return value;
}

// ---- Port and ring ---------------------------------------------------------

void Ostrand::PortOpen(std::int16_t& pVal) {
    busy_ = false;
    forgetWorker();
    if (!boundAll({EntryPoint::SetTraceOption, EntryPoint::SetTraceFileName, EntryPoint::PortOpen,
                   EntryPoint::SetResolution, EntryPoint::SetModemClass, EntryPoint::SetLineType,
                   EntryPoint::SetLocalID})) {
        pVal = OstrandResultCode::EngineMissing;
        return;
    }
    // Every text is converted before the first call, so that a text the
    // engine cannot take refuses the open as a whole.
    std::string trace, init, local;
    if (!toEngineText(traceFileName_, kConversionBytes, "TraceFileName", trace) ||
        !toEngineText(modemInitString_, kConversionBytes, "ModemInitString", init) ||
        !toEngineText(localId_, kConversionBytes, "LocalID", local)) {
        pVal = OstrandResultCode::TextRefused;
        return;
    }
    engine_->SetTraceOption(to16(traceOption_));
    engine_->SetTraceFileName(trace.c_str());
    pVal = engine_->PortOpen(&portHandle_, to16(commPort_), init.c_str());
    if (pVal != 0) return;
    engine_->SetResolution(portHandle_, resolution_);
    engine_->SetModemClass(portHandle_, to16(modemClass_));
    engine_->SetLineType(portHandle_, to16(lineType_));
    engine_->SetLocalID(portHandle_, local.c_str());
}

void Ostrand::PortClose(std::int16_t& pVal) {
    pVal = bound(EntryPoint::PortClose) ? engine_->PortClose(portHandle_) : OstrandResultCode::EngineMissing;
    busy_ = false;
    forgetWorker();
}

void Ostrand::WaitForRing(std::int16_t& Status, std::int16_t& pRc) {
    pRc = bound(EntryPoint::WaitForRing) ? engine_->WaitForRing(portHandle_, &Status)
                                         : OstrandResultCode::EngineMissing;
}

// ---- Workers ---------------------------------------------------------------

void Ostrand::setSendEndHook(std::function<void()> hook) {
    if (engine_) engine_->setSendEndHook(std::move(hook));
}

void Ostrand::SendFax(const std::string& PhoneNumber, const std::string& FileName, std::int16_t& pRc) {
    startWorker(true, PhoneNumber, FileName, pRc);
}

void Ostrand::ReceiveFax(const std::string& lpFileName, std::int16_t& pRc) {
    startWorker(false, std::string(), lpFileName, pRc);
}

void Ostrand::startWorker(bool send, const std::string& phone, const std::string& file, std::int16_t& pRc) {
    if (busy_) {
        pRc = OstrandResultCode::Busy;
        return;
    }
    reapWorkers();
    auto job = std::make_shared<FaxJob>();
    job->engine = engine_;
    job->port = portHandle_;
    job->pages = send ? pages_ : 0;
    job->send = send;

    // An operation that cannot start is kept as a finished, failed one: a
    // host that polls GetResult until it answers 0 learns of the failure.
    std::int16_t refused = 0;
    if (!bound(send ? EntryPoint::SendFax : EntryPoint::ReceiveFax))
        refused = OstrandResultCode::EngineMissing;
    else if (!toEngineText(file, kFileNameBytes, "ファイル名", job->fileName) ||
             (send && !toEngineText(phone, kPhoneNumberBytes, "電話番号", job->phoneNumber)))
        refused = OstrandResultCode::TextRefused;
    if (refused) {
        job->result = refused;
        job_ = job;
        worker_.reset();
        busy_ = true;
        pRc = refused;
        return;
    }

    auto worker = std::make_unique<fax::WorkerThread>();
    auto started = worker->start(
        [job] {
            if (job->send) {
                job->result = job->engine->SendFax(job->port, job->phoneNumber.c_str(), job->fileName.c_str(), job->pages);
            } else {
                job->result = job->engine->ReceiveFax(job->port, job->fileName.c_str(), &job->pages);
            }
        },
        threadPriority_);
    switch (started.failedAt) {
    case fax::WorkerThread::Step::Create:
        lastFaxError_ = static_cast<std::int32_t>(started.systemError);
        pRc = OstrandResultCode::CreateFailed;
        return;
    case fax::WorkerThread::Step::Priority:
        lastFaxError_ = static_cast<std::int32_t>(started.systemError);
        pRc = OstrandResultCode::PriorityFailed;
        return;
    case fax::WorkerThread::Step::Resume:
        lastFaxError_ = static_cast<std::int32_t>(started.systemError);
        pRc = OstrandResultCode::ResumeFailed;
        return;
    case fax::WorkerThread::Step::Started: break;
    }
    job_ = std::move(job);
    worker_ = std::move(worker);
    busy_ = true;
    pRc = OstrandResultCode::Done;
}

void Ostrand::GetResult(std::int16_t& pResult, std::int16_t& pRc) {
    pResult = 0;
    pRc = OstrandResultCode::Done;
    if (!busy_ || !job_) {
        pRc = OstrandResultCode::NothingToReport;
        return;
    }
    if (worker_ && worker_->running()) {
        pRc = OstrandResultCode::StillRunning;
        return;
    }
    pResult = job_->result;
    pages_ = job_->pages;
    busy_ = false;
    worker_.reset();  // ended: the join returns at once
    job_.reset();
}

void Ostrand::forgetWorker() {
    if (worker_) forgotten_.emplace_back(std::move(worker_), job_);
    job_.reset();
    reapWorkers();
}

void Ostrand::reapWorkers() {
    std::erase_if(forgotten_, [](const auto& entry) { return !entry.first->running(); });
}

// ---- Images ----------------------------------------------------------------

void Ostrand::BmpToG3(const std::string& bstrBmpFile, const std::string& bstrG3File, std::int16_t& pRc) {
    if (!boundAll({EntryPoint::SetStretchOption, EntryPoint::BmpToG3})) {
        pRc = OstrandResultCode::EngineMissing;
        return;
    }
    std::string bmp, g3;
    if (!toEngineText(bstrBmpFile, kFileNameBytes, "ファイル名", bmp) ||
        !toEngineText(bstrG3File, kFileNameBytes, "ファイル名", g3)) {
        pRc = OstrandResultCode::TextRefused;
        return;
    }
    engine_->SetStretchOption(to16(stretch_));
    pRc = engine_->BmpToG3(bmp.c_str(), g3.c_str());
}

void Ostrand::G3ToBmp(const std::string& bstrG3File, const std::string& bstrBmpFile, std::int16_t& pRc) {
    if (!boundAll({EntryPoint::SetShrinkOption, EntryPoint::SetShrinkHeight, EntryPoint::SetShrinkWidth,
                   EntryPoint::G3ToBmp})) {
        pRc = OstrandResultCode::EngineMissing;
        return;
    }
    std::string g3, bmp;
    if (!toEngineText(bstrG3File, kFileNameBytes, "ファイル名", g3) ||
        !toEngineText(bstrBmpFile, kFileNameBytes, "ファイル名", bmp)) {
        pRc = OstrandResultCode::TextRefused;
        return;
    }
    engine_->SetShrinkOption(to16(shrink_));
    engine_->SetShrinkHeight(shrinkHeight_);
    engine_->SetShrinkWidth(shrinkWidth_);
    pRc = engine_->G3ToBmp(g3.c_str(), bmp.c_str());
}

void Ostrand::GetG3Size(const std::string& bstrFileName, std::int32_t& pCols, std::int32_t& pRows, std::int16_t& pRc) {
    std::string name;
    if (!bound(EntryPoint::GetG3Size)) pRc = OstrandResultCode::EngineMissing;
    else if (!toEngineText(bstrFileName, kConversionBytes, "ファイル名", name)) pRc = OstrandResultCode::TextRefused;
    else pRc = engine_->GetG3Size(name.c_str(), &pCols, &pRows);
}

void Ostrand::GetBmpSize(const std::string& bstrFileName, std::int32_t& pCols, std::int32_t& pRows, std::int16_t& pRc) {
    std::string name;
    if (!bound(EntryPoint::GetBmpSize)) pRc = OstrandResultCode::EngineMissing;
    else if (!toEngineText(bstrFileName, kConversionBytes, "ファイル名", name)) pRc = OstrandResultCode::TextRefused;
    else pRc = engine_->GetBmpSize(name.c_str(), &pCols, &pRows);
}

}  // namespace fg
