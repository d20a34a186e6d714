// Packs a request document alone into a ZIP archive beside it, through the
// archive service.
#pragma once

#include <string>

namespace fg::documents {

// 0 when `archiveName` (a bare name) now holds `requestFile`, else the
// archive service's error number.
long packRequest(const std::string& requestFile, const std::string& archiveName);

}  // namespace fg::documents
