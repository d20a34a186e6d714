// ARJ archives through the arj program: started without a shell, waited for
// within a bound, its real exit status reported. Listing parses its verbose
// listing; extraction goes through a private folder inside the target, from
// which only plain files and folders are moved into place.
#pragma once

#include "platform/archive/archive_file.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fg::parvolt {

// Packs (arj "u") `names` of the base folder with the given switches.
std::int32_t packWithArj(const std::string& archive, const std::string& base, const std::vector<std::string>& switches,
                         const std::vector<std::string>& names);
std::int32_t extractWithArj(const std::string& archive, const std::string& dest,
                            const std::vector<std::string>& members, bool keepFolders, bool onlyNewer);
std::vector<arc::Entry> listWithArj(const std::string& archive);
bool isArjArchive(const std::string& path);
long arjVersion();

}  // namespace fg::parvolt
