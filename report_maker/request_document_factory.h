// The skeleton of every request document sent to the EDI server. Callers
// append their own elements under each Request element and save it as
// request.xml.
#pragma once

#include "platform/xml.h"

#include <string>

namespace fg {

class RequestDocumentFactory {
public:
    // A new document: the UTF-8 declaration, then the root Request holding
    // the client certification key (ClientCertiKey).
    void createRequest(const std::string& certificateKey, xml::Document& document);
};

}  // namespace fg
