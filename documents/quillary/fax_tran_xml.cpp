#include "documents/quillary/fax_tran_xml.h"

#include "fax_images/pellior/fax_rep_img.h"
#include "fax_send/morvane/fax_send.h"
#include "platform/clock.h"
#include "platform/error_log.h"
#include "platform/process/event_pump.h"
#include "settings/set_up_info.h"

#include <exception>

namespace fg {

namespace {

// The pump of objects that were given none. It lives as long as the process:
// a server let go of during its job stays registered with it until its end.
EventPump& processPump() {
    static EventPump* pump = new EventPump();
    return *pump;
}

}  // namespace

FaxTranXml::FaxTranXml(EventPump* pump) {
    pump_ = pump ? pump : &processPump();
    mobjFaxRepImg = std::make_unique<FaxRepImg>(pump_);
    mobjSetUpInfo = std::make_unique<SetUpInfo>();
}

FaxTranXml::~FaxTranXml() {
    // Sends under way end on their own; their ends free and reap them here.
    auto idle = [this] {
        for (int n = 1; n <= kSendPorts; ++n)
            if (ports_[n].busy) return false;
        return true;
    };
    try {
        if (!idle() && !pump_->waitUntil(idle, kEndWait))
            writeDebugLine("FaxTranXml", "送信中のＦＡＸ送信サーバを待たずに解放します");
    } catch (...) {
        writeDebugLine("FaxTranXml", currentError().description());
    }
    for (int n = 1; n <= kSendPorts; ++n) freePort(n);
    mobjFaxRepImg.reset();
}

void FaxTranXml::beginBatch() {
    std::string stamp = timeStamp14(clock().now());
    if (stamp != mstrRepManageDate) mlngRepManageCount = 0;
    mstrRepManageDate = stamp;
}

void FaxTranXml::restamp() { mstrRepManageDate = timeStamp14(clock().now()); }

}  // namespace fg
