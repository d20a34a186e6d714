#include "edi_transport/archive_access.h"

#include "archive/grenwald/archive.h"

namespace fg::edi {

long expandMember(const std::string& archive, const std::string& folder, const std::string& member) {
    Archive service;
    service.setFile(archive);
    return service.expand(folder, member);
}

std::optional<std::vector<std::string>> storedNames(const std::string& archive) {
    Archive service;
    service.setFile(archive);
    return service.getStoredNameList();
}

}  // namespace fg::edi
