#include "common/vantrel/edi_folder_information_object.h"

#include "platform/error.h"
#include "platform/file_lock.h"
#include "platform/files.h"

#include <chrono>

namespace fg {

EdiFolderInformationObject::EdiFolderInformationObject() : file_(fs::programFolder() + "folder.xml") {
    if (!folder_.load(file_))
        throw Error(errnum::ClientClassError, "Load Error." + file_, "EdiFolderInformationObject");
}

std::string EdiFolderInformationObject::getData(const std::string& strTag) const {
    std::string value = folder_.getData(strTag);
    if (value.empty() || value.back() != '/') value += '/';
    return value;
}

void EdiFolderInformationObject::setData(const std::string& strFolderKind, const std::string& strData) {
    folder_.setData(strFolderKind, strData);
    changes_.emplace_back(strFolderKind, strData);
}

bool EdiFolderInformationObject::save() {
    try {
        // Client programs in other processes write their own entries of the
        // same file. Writing back the copy loaded at creation would undo
        // whatever they saved since, so the changes of this object are laid
        // over the file as it is now, under the file's lock.
        FileLock lock(file_, FileLock::Mode::Exclusive, std::chrono::milliseconds(10000));
        FolderInformationObject current;
        bool merged = current.load(file_);
        if (merged) {
            try {
                for (const auto& [kind, data] : changes_) current.setData(kind, data);
            } catch (const Error&) {
                merged = false;  // an entry was taken out meanwhile: write what this object holds
            }
        }
        if (!(merged ? current.save(file_) : folder_.save(file_))) return false;
        if (merged) folder_ = std::move(current);
        changes_.clear();
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace fg
