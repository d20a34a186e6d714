// The three calls the EDI control makes on the archive service, in one
// place: pack the request archive, list an answer archive, extract from it.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace fg::castrel {

// Packs the files (full paths) as a ZIP archive named `archiveName` in the
// folder of the first file. 0 on success, else the service's error number.
long packZip(const std::string& archiveName, const std::vector<std::string>& files);
// The entry names of an archive as it stores them, folders included
// ("sub/a.xml"), in the archive's order; nullopt when it cannot be read.
std::optional<std::vector<std::string>> entryNames(const std::string& archive);
// Extracts one entry (every entry when `member` is "") into the folder,
// given without its trailing separator. 0 on success.
long expandEntry(const std::string& archive, const std::string& folder, const std::string& member);

}  // namespace fg::castrel
