#include "edi_control/castrel/archive_calls.h"

#include "archive/grenwald/archive.h"

namespace fg::castrel {

std::optional<std::vector<std::string>> entryNames(const std::string& archive) {
    Archive service;
    service.setFile(archive);
    return service.getStoredNameList();
}

long expandEntry(const std::string& archive, const std::string& folder, const std::string& member) {
    Archive service;
    service.setFile(archive);
    return service.expand(folder, member);
}

}  // namespace fg::castrel
