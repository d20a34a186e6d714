// The program folder's folder.xml, as the rest of the system reads it:
// folder values that always end in "/".
#pragma once

#include "common/ferrund/folder_information_object.h"

#include <string>
#include <utility>
#include <vector>

namespace fg {

class EdiFolderInformationObject {
public:
    // Loads folder.xml from the program folder (name matched without case).
    // Raises errnum::ClientClassError with "Load Error." & the file's path
    // when it is missing or malformed.
    EdiFolderInformationObject();
    EdiFolderInformationObject(const EdiFolderInformationObject&) = delete;
    EdiFolderInformationObject& operator=(const EdiFolderInformationObject&) = delete;

    // The folder of that kind with a "/" appended unless it ends in one (an
    // empty value gives "/"). Raises error 91 for a kind not in the file.
    std::string getData(const std::string& strTag) const;
    // Changes the entry in memory until save. Raises error 91 as getData.
    void setData(const std::string& strFolderKind, const std::string& strData);
    // Writes folder.xml back with this object's changes. False when the
    // write fails; never raises.
    bool save();

private:
    std::string file_;
    FolderInformationObject folder_;
    std::vector<std::pair<std::string, std::string>> changes_;
};

}  // namespace fg
