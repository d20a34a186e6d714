#include "platform/folder_path_info.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/xml.h"

namespace fg {

std::string FolderPathInfo::getFolderPath(const std::string& key) {
    std::string mapPath = fs::programFolder() + kFileName;
    xml::Document doc;
    if (!doc.load(mapPath))
        throw Error(errnum::PathNotFound, "フォルダ情報を読めません: " + mapPath + " " + doc.parseError().reason);
    xml::Node root = doc.documentElement();
    std::string value;
    bool found = false;
    // Compared in C++, so a key with quotes cannot break a query.
    for (const xml::Node& entry : root.childNodes()) {
        if (entry.type() == xml::NodeType::Element && entry.nodeName() == "Folder" &&
            entry.getAttribute("class") == key) {
            value = entry.text();
            found = true;
            break;
        }
    }
    if (!found) throw Error(errnum::PathNotFound, "フォルダのキーがありません: " + key);
    // A hand-edited map may break the line inside an entry.
    value = text::trimBlanks(value);
    if (value.empty()) throw Error(errnum::PathNotFound, "フォルダが設定されていません: " + key);
    if (value.front() != '/') value = fs::programFolder() + value;
    return fs::withSlash(value);
}

void FolderPathInfo::getFolderPath(const std::string& key, std::string& path) noexcept {
    try {
        path = getFolderPath(key);
    } catch (...) {
        path.clear();
    }
}

}  // namespace fg
