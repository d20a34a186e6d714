// The calls the EDI control makes on the archive service to read an answer,
// in one place: list an answer archive, extract from it. Requests are packed
// as the document builder packs them (documents/quillary/request_packing.h).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace fg::castrel {

// The entry names of an archive as it stores them, folders included
// ("sub/a.xml"), in the archive's order; nullopt when it cannot be read.
std::optional<std::vector<std::string>> entryNames(const std::string& archive);
// Extracts one entry (every entry when `member` is "") into the folder,
// given without its trailing separator. 0 on success.
long expandEntry(const std::string& archive, const std::string& folder, const std::string& member);

}  // namespace fg::castrel
