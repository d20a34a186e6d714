#include "common/ferrund/folder_information_object.h"

#include "platform/error.h"

#include <exception>

namespace fg {

bool FolderInformationObject::load(const std::string& strFileName) {
    // A fresh document each time, so a failed load leaves nothing of the
    // previous file behind for getData to find.
    xml::Document fresh;
    bool ok = false;
    try {
        ok = fresh.load(strFileName);
    } catch (const std::exception&) {
        ok = false;
    }
    document_ = ok ? fresh : xml::Document();
    return ok;
}

xml::Node FolderInformationObject::entry(const std::string& kind, const char* member) const {
    // The kind goes in as a quoted literal: a kind holding an apostrophe
    // must find nothing rather than break the expression.
    std::string path = tags_.Tag(FOLDER_ROOT_TAG) + "/" + tags_.Tag(FOLDER_FOLDER_TAG) + "[@class=" +
                       xml::xpathLiteral(kind) + "]";
    xml::Node node = document_.selectSingleNode(path);
    if (node.isNull()) throw Error::standard(errnum::ObjectNotSet, std::string("FolderInformationObject.") + member);
    return node;
}

std::string FolderInformationObject::getData(const std::string& strFolderKind) const {
    return entry(strFolderKind, "getData").text();
}

void FolderInformationObject::setData(const std::string& strFolderKind, const std::string& strData) {
    entry(strFolderKind, "setData").setText(strData);
}

bool FolderInformationObject::save(const std::string& strFileName) const {
    // An object that never loaded a file holds nothing worth writing; saving
    // it would wipe the installed file.
    if (document_.documentElement().isNull()) return false;
    try {
        document_.save(strFileName);
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace fg
