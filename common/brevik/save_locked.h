// Saving a client file whole: under the file's lock, atomically, and never an
// empty document over an installed file.
#pragma once

#include "platform/xml.h"

#include <string>

namespace fg::brevik {

// Writes the document to the file (an existing file is matched without
// regard to case, so that no second spelling appears beside it). False when
// the document holds no root element or the write fails; never raises.
bool saveLocked(const xml::Document& document, const std::string& path);

}  // namespace fg::brevik
