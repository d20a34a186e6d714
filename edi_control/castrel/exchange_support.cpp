#include "edi_control/castrel/exchange_support.h"

#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"
#include "platform/text.h"

namespace fg::castrel {

namespace {

void appendUnderRequests(xml::Document& doc, const std::string& name, const std::string& text) {
    for (xml::Node request : doc.getElementsByTagName("Request")) {
        xml::Node element = doc.createElement(name);
        element.setText(text);
        request.appendChild(element);
    }
}

}  // namespace

std::string workFolder(const std::string& key) {
    std::string path;
    FolderPathInfo().getFolderPath(key, path);
    if (text::trimBlanks(path).empty()) return {};
    return fs::withSlash(path);
}

std::string withoutSlash(const std::string& folder) {
    std::string out = folder;
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    return out;
}

void subSetInfoCodeKind(xml::Document& doc, const std::string& infoCode) {
    appendUnderRequests(doc, "Information-code", infoCode);
    appendUnderRequests(doc, "ClientKind", "2");
}

void subSetInfoCode(xml::Document& doc, const std::string& infoCode) {
    appendUnderRequests(doc, "Information-code", infoCode);
}

void subDelDataFile(const std::string& folder) { (void)fs::removeFile(folder + kDataXml); }

std::string cutAtDot(const std::string& name) {
    auto dot = name.find('.');
    if (dot == std::string::npos)
        throw Error(errnum::InvalidProcedureCall, "名前に \".\" がありません: \"" + name + "\"");
    return name.substr(0, dot);
}

void logError(const char* source, long number, const std::string& description) noexcept {
    ErrorLogWriter().writeError(source, number, description);
}

}  // namespace fg::castrel
