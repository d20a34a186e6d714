// Owners of the libxml2 objects that the DOM facade and the style-sheet
// layer make and give back. For the files of platform/ only.
#pragma once

#include "platform/owned.h"

#include <libxml/tree.h>
#include <libxml/xmlerror.h>

namespace fg::xml {

inline void freeXmlString(xmlChar* text) noexcept { xmlFree(text); }

using XmlString = Owned<xmlChar*, freeXmlString>;
using OwnedDocument = Owned<xmlDocPtr, xmlFreeDoc>;
using OwnedNode = Owned<xmlNodePtr, xmlFreeNode>;
using Buffer = Owned<xmlBufferPtr, xmlBufferFree>;

// While it lives, what libxml2 tells on its generic error channel is
// dropped; the handler in force before is given back afterwards.
class QuietXmlGenericErrors {
public:
    QuietXmlGenericErrors() : previous_(xmlGenericError), previousContext_(xmlGenericErrorContext) {
        xmlSetGenericErrorFunc(nullptr, drop);
    }
    ~QuietXmlGenericErrors() { xmlSetGenericErrorFunc(previousContext_, previous_); }
    QuietXmlGenericErrors(const QuietXmlGenericErrors&) = delete;
    QuietXmlGenericErrors& operator=(const QuietXmlGenericErrors&) = delete;

private:
    static void drop(void*, const char*, ...) {}
    xmlGenericErrorFunc previous_;
    void* previousContext_;
};

}  // namespace fg::xml
