#include "documents/quillary/fax_tran_xml.h"

#include "platform/clock.h"

namespace fg {

FaxTranXml::FaxTranXml() = default;
FaxTranXml::~FaxTranXml() = default;

void FaxTranXml::beginBatch() {
    std::string stamp = timeStamp14(clock().now());
    if (stamp != mstrRepManageDate) mlngRepManageCount = 0;
    mstrRepManageDate = stamp;
}

void FaxTranXml::restamp() { mstrRepManageDate = timeStamp14(clock().now()); }

}  // namespace fg
