#include "report_maker/request_document_factory.h"

namespace fg {

void RequestDocumentFactory::createRequest(const std::string& certificateKey, xml::Document& document) {
    xml::Document request;
    request.appendChild(request.createProcessingInstruction("xml", "version=\"1.0\" encoding=\"UTF-8\""));
    xml::Node root = request.appendChild(request.createElement("Request"));
    root.appendChild(request.createElement("ClientCertiKey")).setText(certificateKey);
    document = request;
}

}  // namespace fg
