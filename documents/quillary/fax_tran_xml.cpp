#include "documents/quillary/fax_tran_xml.h"

#include "fax_images/pellior/fax_rep_img.h"
#include "fax_send/morvane/fax_send.h"
#include "platform/clock.h"
#include "platform/process/event_pump.h"
#include "settings/set_up_info.h"

namespace fg {

FaxTranXml::FaxTranXml(EventPump* pump) {
    if (!pump) {
        ownPump_ = std::make_unique<EventPump>();
        pump = ownPump_.get();
    }
    pump_ = pump;
    mobjFaxRepImg = std::make_unique<FaxRepImg>(pump_);
    mobjSetUpInfo = std::make_unique<SetUpInfo>();
}

FaxTranXml::~FaxTranXml() {
    // The servers go before the pump they are registered with.
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
