// The calls of the archive service that the EDI transport and the index
// make: list a tar/gzip archive, extract one member of it into a folder.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace fg::edi {

// The archive service's result: 0 when the member was extracted, else its
// error number (60004 no folder, 60005 no archive, 60006 the archiver failed).
long expandMember(const std::string& archive, const std::string& folder, const std::string& member);
// The entry names as the archive stores them; nullopt when it cannot be read.
std::optional<std::vector<std::string>> storedNames(const std::string& archive);

}  // namespace fg::edi
