// A work folder of one's own: made fresh inside a parent folder and removed
// with everything in it when the object ends. Several processes exchange
// with the EDI server at once; a fixed file name in a shared folder would
// let one process read or delete another's answer.
#pragma once

#include "platform/files.h"

#include <string>

namespace fg::edi {

class PrivateFolder {
public:
    // Raises fg::Error 76 (75) when no folder can be made in `parent`, which
    // is created when it is missing.
    PrivateFolder(const std::string& parent, const std::string& prefix) : folder_(madeIn(parent), prefix) {}

    // Ends with "/".
    const std::string& path() const { return folder_.path(); }

private:
    static const std::string& madeIn(const std::string& parent) {
        fs::makeFolders(parent);
        return parent;
    }
    fs::TempFolder folder_;
};

}  // namespace fg::edi
