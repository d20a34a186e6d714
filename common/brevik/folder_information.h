// The client folders of folder.xml as ready-to-use paths. Each property reads
// one folder entry and makes it a full path ending in "/"; two entries can be
// changed and written back.
//
// folder.xml is read once per object, at the first member that needs it; a
// missing or malformed file raises its load error (ClientClassError) from
// that member, and a missing entry error 91.
#pragma once

#include "common/vantrel/edi_folder_information_object.h"

#include <memory>
#include <string>

namespace fg {

class FolderInformation {
public:
    FolderInformation();
    ~FolderInformation();
    FolderInformation(const FolderInformation&) = delete;
    FolderInformation& operator=(const FolderInformation&) = delete;

    std::string Html() const;          // "html", under the program folder
    std::string Arc() const;           // "arc", under the EDI data folder
    std::string SendData() const;      // "send", under the EDI data folder
    std::string Amount() const;        // "amount", under the EDI data folder
    std::string Options() const;       // "option", under the program folder
    std::string XmlXsl() const;        // "xmlxsl", under the program folder
    std::string RcXml() const;         // "rcxml"
    std::string Temp() const;          // "temp"
    std::string Download() const;      // "download"
    void setDownload(const std::string& value);
    std::string Upload() const;        // "upload"
    void setUpload(const std::string& value);
    std::string ErrorFile() const;     // "errorfile"
    std::string TempCollaboration() const;  // "tempcollab"
    std::string Dtd() const;           // "dtd"
    std::string SendLog() const;       // "sendlog"
    // "log". Any failure is raised as ClientClassError whose description is
    // the standard text of the failure's number.
    std::string CommLog() const;

    // Writes the changed entries back to folder.xml; False when that fails.
    bool save();

private:
    EdiFolderInformationObject& folder() const;
    std::string programRooted(const std::string& key) const;
    std::string folderRooted(const std::string& key) const;
    std::string dataRooted(const std::string& key) const;

    mutable std::unique_ptr<EdiFolderInformationObject> folder_;
};

}  // namespace fg
