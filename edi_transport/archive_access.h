// The one call of the archive service that the EDI transport and the index
// make: extract one member of a tar/gzip archive into a folder.
#pragma once

#include <string>

namespace fg::edi {

// The archive service's result: 0 when the member was extracted, else its
// error number (60004 no folder, 60005 no archive, 60006 the archiver failed).
long expandMember(const std::string& archive, const std::string& folder, const std::string& member);

}  // namespace fg::edi
