#include "edi_control/castrel/archive_calls.h"

#include "archive/grenwald/archive.h"

#include <algorithm>

namespace fg::castrel {

std::optional<std::vector<std::string>> entryNames(const std::string& archive) {
    Archive service;
    service.setFile(archive);
    return service.getStoredNameList();
}

std::vector<bool> expandEntries(const std::string& archive, const std::string& folder,
                                const std::vector<std::string>& members) {
    std::vector<bool> extracted(members.size(), false);
    Archive service;
    service.setFile(archive);
    for (std::size_t first = 0; first < members.size(); first += Archive::kMaxExpandNames) {
        const std::size_t end = std::min(members.size(), first + Archive::kMaxExpandNames);
        const std::vector<std::string> some(members.begin() + static_cast<std::ptrdiff_t>(first),
                                            members.begin() + static_cast<std::ptrdiff_t>(end));
        if (service.expand(folder, some) == mstrARCHIVE_SUCCESS) {
            std::fill(extracted.begin() + static_cast<std::ptrdiff_t>(first),
                      extracted.begin() + static_cast<std::ptrdiff_t>(end), true);
            continue;
        }
        for (std::size_t k = first; k < end; ++k) extracted[k] = service.expand(folder, members[k]) == mstrARCHIVE_SUCCESS;
    }
    return extracted;
}

}  // namespace fg::castrel
