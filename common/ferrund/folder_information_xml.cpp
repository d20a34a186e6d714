#include "common/ferrund/folder_information_xml.h"

namespace fg {

std::string FolderInformationXML::Tag(FOLDER_TAG_TYPE TagType) const {
    switch (TagType) {
    case FOLDER_ROOT_TAG: return "Folders";
    case FOLDER_FOLDER_TAG: return "Folder";
    }
    return {};
}

}  // namespace fg
