#include "documents/quillary/request_packing.h"

#include "archive/grenwald/archive.h"
#include "report_maker/request_document_factory.h"
#include "edi_transport/constant.h"
#include "platform/error.h"
#include "platform/files.h"
#include "settings/set_up_info.h"

namespace fg::documents {

ServerSettings ServerSettings::read() {
    SetUpInfo info;
    return {info.strClientCertiKey().textOrEmpty(), info.strEDIMakerCode().textOrEmpty(),
            info.strEDIMethodRoot().textOrEmpty()};
}

bool isSuccess(const std::string& code) {
    const Constant codes;
    return code == codes.ERR_NONE() || code == codes.SERVER_ERR_NONE();
}

xml::Document newRequest(const ServerSettings& settings) {
    xml::Document doc;
    RequestDocumentFactory().createRequest(settings.certificateKey, doc);
    if (doc.documentElement().isNull() || doc.documentElement().nodeName() != "Request")
        throw Error(errnum::ObjectNotSet, "要求文書を作れません", "RequestDocumentFactory");
    return doc;
}

long packZip(const std::string& archiveName, const std::vector<std::string>& files) {
    Archive service;
    service.setFile(archiveName);
    return service.compress(ZIP, files);
}

long packRequest(const ServerSettings& settings, const std::string& folder,
                 const std::function<void(xml::Document&)>& complete) {
    xml::Document doc = newRequest(settings);
    if (complete) complete(doc);
    doc.save(folder + kRequestXml);
    return packZip(kRequestZip, {folder + kRequestXml});
}

void deleteRequestFiles(const std::string& folder, bool withRequestXml) {
    if (withRequestXml) (void)fs::removeFile(folder + kRequestXml);
    (void)fs::removeFile(folder + kRequestZip);
}

}  // namespace fg::documents
