#include "documents/quillary/fax_tran_xml.h"

#include "platform/error_log.h"

namespace fg {

bool FaxTranXml::makeFAXSendXML(const std::vector<GET_FILE>&, const std::string&, const std::string&) {
    ErrorLogWriter().writeError("makeFAXSendXML", 5, "not yet available");
    return false;
}
bool FaxTranXml::PutConfirmFax() { return false; }
xml::Document FaxTranXml::loadFAXSendXML(const std::string&) { return {}; }
void FaxTranXml::delManageOrderBalance(const std::vector<std::string>&) {}
void FaxTranXml::EditData(const std::vector<GET_FILE>&, std::vector<Edit_File>&) {}

}  // namespace fg
