#include "edi_control/castrel/archive_calls.h"

#include "archive/grenwald/archive.h"
#include "platform/archive/archive_file.h"
#include "platform/text.h"

#include <algorithm>
#include <unordered_set>

namespace fg::castrel {

std::optional<std::vector<std::string>> entryNames(const std::string& archive) {
    Archive service;
    service.setFile(archive);
    return service.getStoredNameList();
}

namespace {

// After a failed extraction of members [first, end), whose failure the
// archive has logged naming every member it lacks: the archive is listed
// once and the members it holds are extracted together in one more pass; a
// member missing no longer costs a pass over the whole archive for every
// member. Should the members it holds still fail together (one of them
// refused), each is extracted alone, so that an entry that cannot be had
// costs only itself.
void expandApart(Archive& service, const std::string& folder, const std::vector<std::string>& members,
                 std::size_t first, std::size_t end, std::vector<bool>& extracted) {
    std::optional<std::vector<std::string>> stored = service.getStoredNameList();
    std::unordered_set<std::u32string> held;
    for (const std::string& name : stored.value_or(std::vector<std::string>{})) held.insert(text::caseFolded(name));
    std::vector<std::string> present;
    std::vector<std::size_t> presentAt;
    for (std::size_t k = first; k < end; ++k) {
        if (!held.count(text::caseFolded(arc::normalName(members[k])))) continue;
        present.push_back(members[k]);
        presentAt.push_back(k);
    }
    if (present.empty()) return;
    if (service.expand(folder, present) == mstrARCHIVE_SUCCESS) {
        for (std::size_t k : presentAt) extracted[k] = true;
        return;
    }
    for (std::size_t k : presentAt) extracted[k] = service.expand(folder, members[k]) == mstrARCHIVE_SUCCESS;
}

}  // namespace

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
        expandApart(service, folder, members, first, end, extracted);
    }
    return extracted;
}

}  // namespace fg::castrel
