// One folder information file in memory: load it, read or change the folder
// of one kind, save it whole.
#pragma once

#include "common/ferrund/folder_information_xml.h"
#include "platform/xml.h"

#include <string>

namespace fg {

class FolderInformationObject {
public:
    FolderInformationObject() = default;
    FolderInformationObject(const FolderInformationObject&) = delete;
    FolderInformationObject& operator=(const FolderInformationObject&) = delete;
    FolderInformationObject(FolderInformationObject&&) = default;
    FolderInformationObject& operator=(FolderInformationObject&&) = default;

    // Replaces the document by the file's content. False for a missing or
    // malformed file (the object is then empty); never raises.
    bool load(const std::string& strFileName);
    // The text of the first entry of that kind (kinds compare exactly).
    // Raises error 91 when no entry has that kind.
    std::string getData(const std::string& strFolderKind) const;
    // Writes the whole document to the file, atomically. False when the
    // write fails for any reason; never raises.
    bool save(const std::string& strFileName) const;
    // Replaces the text of the first entry of that kind, in memory only.
    // Raises error 91 when no entry has that kind.
    void setData(const std::string& strFolderKind, const std::string& strData);

private:
    xml::Node entry(const std::string& kind, const char* member) const;

    xml::Document document_;
    FolderInformationXML tags_;
};

}  // namespace fg
