// Element names of the folder information file (folder.xml).
#pragma once

#include <cstdint>
#include <string>

namespace fg {

enum FOLDER_TAG_TYPE : int32_t {
    FOLDER_ROOT_TAG = 0,
    FOLDER_FOLDER_TAG = 1,
};

class FolderInformationXML {
public:
    // "Folders", "Folder", or "" for a value outside the enumeration.
    std::string Tag(FOLDER_TAG_TYPE TagType) const;
};

}  // namespace fg
