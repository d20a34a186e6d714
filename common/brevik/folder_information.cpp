#include "common/brevik/folder_information.h"

#include "common/brevik/program_path.h"
#include "platform/error.h"

namespace fg {

FolderInformation::FolderInformation() = default;
FolderInformation::~FolderInformation() = default;

EdiFolderInformationObject& FolderInformation::folder() const {
    if (!folder_) folder_ = std::make_unique<EdiFolderInformationObject>();
    return *folder_;
}

// The program folder followed by the entry as written.
std::string FolderInformation::programRooted(const std::string& key) const {
    return brevik::underProgramFolder(folder().getData(key));
}

// The entry made a folder of the program folder: one "/" in front, one at
// the end ("temp", "/temp" and "/temp/" all give "<program folder>/temp/").
// A POSIX value carries no drive, so no value stands for itself.
std::string FolderInformation::folderRooted(const std::string& key) const {
    std::string v = folder().getData(key);
    std::size_t b = v.find_first_not_of('/');
    std::size_t e = v.find_last_not_of('/');
    std::string inner = b == std::string::npos ? std::string() : v.substr(b, e - b + 1);
    return brevik::underProgramFolder(inner.empty() ? std::string("/") : "/" + inner + "/");
}

// The entry below the EDI data folder ("edidata").
std::string FolderInformation::dataRooted(const std::string& key) const {
    std::string v = folder().getData(key);
    if (!v.empty() && v.front() == '/') v.erase(0, 1);
    return folderRooted("edidata") + v;
}

std::string FolderInformation::Html() const { return programRooted("html"); }
std::string FolderInformation::Arc() const { return dataRooted("arc"); }
std::string FolderInformation::SendData() const { return dataRooted("send"); }
std::string FolderInformation::Amount() const { return dataRooted("amount"); }
std::string FolderInformation::Options() const { return programRooted("option"); }
std::string FolderInformation::XmlXsl() const { return programRooted("xmlxsl"); }
std::string FolderInformation::RcXml() const { return folderRooted("rcxml"); }
std::string FolderInformation::Temp() const { return folderRooted("temp"); }
std::string FolderInformation::Download() const { return folderRooted("download"); }
void FolderInformation::setDownload(const std::string& value) { folder().setData("download", value); }
std::string FolderInformation::Upload() const { return folderRooted("upload"); }
void FolderInformation::setUpload(const std::string& value) { folder().setData("upload", value); }
std::string FolderInformation::ErrorFile() const { return folderRooted("errorfile"); }
std::string FolderInformation::TempCollaboration() const { return folderRooted("tempcollab"); }
std::string FolderInformation::Dtd() const { return folderRooted("dtd"); }
std::string FolderInformation::SendLog() const { return folderRooted("sendlog"); }

std::string FolderInformation::CommLog() const {
    try {
        return folderRooted("log");
    } catch (...) {
        // The caller learns the kind of failure by its standard text; the
        // original description does not travel.
        throw Error(errnum::ClientClassError, Error::standardText(currentError().number()), "FolderInformation");
    }
}

bool FolderInformation::save() { return folder().save(); }

}  // namespace fg
