// Owners of the libxml2 objects that the DOM facade and the style-sheet
// layer make and give back. For the files of platform/ only.
#pragma once

#include "platform/owned.h"

#include <libxml/tree.h>

namespace fg::xml {

inline void freeXmlString(xmlChar* text) noexcept { xmlFree(text); }

using XmlString = Owned<xmlChar*, freeXmlString>;
using OwnedDocument = Owned<xmlDocPtr, xmlFreeDoc>;
using OwnedNode = Owned<xmlNodePtr, xmlFreeNode>;
using Buffer = Owned<xmlBufferPtr, xmlBufferFree>;

}  // namespace fg::xml
