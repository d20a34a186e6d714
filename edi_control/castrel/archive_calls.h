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
// Extracts the named entries into the folder, given without its trailing
// separator, and answers which of them were extracted. The archive is read
// once for all of them (once per kMaxExpandNames of them); should that
// extraction fail, it leaves nothing, and the entries the archive holds are
// extracted together in one more pass (one by one only when that fails
// too), so that an entry that cannot be had costs only itself and every
// other entry is had as it would be alone.
std::vector<bool> expandEntries(const std::string& archive, const std::string& folder,
                                const std::vector<std::string>& members);

}  // namespace fg::castrel
