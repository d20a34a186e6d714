// The 20 send ports: each busy port holds the FaxSend object (and so the
// fax-send process) of one recipient group until that send's end event.
#include "documents/quillary/fax_tran_xml.h"

#include "fax_send/morvane/fax_send.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/process/event_pump.h"

#include <exception>

namespace fg {

namespace {
constexpr const char* kSource = "sendFAXOnFreePort";
}

bool FaxTranXml::SendPortEndCheck() {
    // An end that has happened must be seen: the owner polls this between
    // its own waits, which may not pump our events.
    try {
        while (pump_->pumpOnce()) {
        }
    } catch (...) {
        logCurrentError("SendPortEndCheck");
    }
    for (int n = 1; n <= kSendPorts; ++n)
        if (ports_[n].busy) return true;
    return false;
}

bool FaxTranXml::sendPortBusy(int port) const { return port >= 1 && port <= kSendPorts && ports_[port].busy; }

ProcessId FaxTranXml::sendPortServerPid(int port) const {
    if (port < 1 || port > kSendPorts || !ports_[port].send) return -1;
    return ports_[port].send->serverPid();
}

int FaxTranXml::takeFreePort() {
    for (int n = 1; n <= kSendPorts; ++n)
        if (!ports_[n].busy) {
            ports_[n].busy = true;
            return n;
        }
    return 0;
}

void FaxTranXml::freePort(int port) noexcept {
    SendPort& p = ports_[port];
    // The object goes first: the flag is cleared only with the release, so
    // that a port never shows free while its server is still held.
    std::unique_ptr<FaxSend> send = std::move(p.send);
    send.reset();
    p.busy = false;
}

void FaxTranXml::onSendEnd(int port) {
    // A send that failed frees its port like one that succeeded; its result
    // is in the send log. A server that died without its end event has its
    // end raised by the client as a failure, which lands here too.
    freePort(port);
}

void FaxTranXml::StepTimer::end() noexcept {
    if (ended_) return;
    ended_ = true;
    if (!owner_.stepObserver_) return;
    try {
        owner_.stepObserver_(step_, std::chrono::steady_clock::now() - start_);
    } catch (...) {
        writeDebugLine("FaxTranXml", "step observer: " + currentError().description());
    }
}

bool FaxTranXml::sendFAXOnFreePort(const std::vector<std::string>& strRepManageNo) {
    StepTimer waiting(*this, BatchStep::PortWait);
    int port = takeFreePort();
    while (port == 0) {
        // Every port is busy: wait for an end event, at most one wait at a
        // time, then look again from port 1, so that the lowest freed port
        // is taken.
        std::vector<FaxSend*> sends;
        for (int n = 1; n <= kSendPorts; ++n)
            if (ports_[n].send) sends.push_back(ports_[n].send.get());
        FaxSend::waitForEnds(*pump_, sends, FaxSend::WaitFor::Any, kPortWait);
        while (pump_->pumpOnce()) {
        }
        port = takeFreePort();
    }
    waiting.end();
    StepTimer handing(*this, BatchStep::HandOver);
    try {
        if (sendObserver_) sendObserver_(port, strRepManageNo);
        ports_[port].send = std::make_unique<FaxSend>(*pump_);
        ports_[port].send->setEventSendFaxEnd([this, port] { onSendEnd(port); });
        if (ports_[port].send->sendFAX(strRepManageNo)) return true;
        ErrorLogWriter().writeError(kSource, Error(errnum::InvalidProcedureCall,
                                                   "送信ポート" + std::to_string(port) + "の送信依頼が受け付けられませんでした",
                                                   kSource));
    } catch (...) {
        logCurrentError(kSource);
    }
    // No end event will come for this port.
    freePort(port);
    return false;
}

}  // namespace fg
