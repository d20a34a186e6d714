#include "platform/http/connection_settings.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/values.h"
#include "platform/xml.h"

namespace fg {

namespace {

std::string childText(const xml::Node& root, const char* name) {
    for (const xml::Node& child : root.childNodes())
        if (child.type() == xml::NodeType::Element && child.nodeName() == name) return text::trimBlanks(child.text());
    return {};
}

std::chrono::milliseconds milliseconds(const xml::Node& root, const char* name, std::chrono::milliseconds fallback,
                                       const std::string& file) {
    std::string value = childText(root, name);
    if (value.empty()) return fallback;
    int32_t ms = 0;
    try {
        ms = toInt32(value);
    } catch (const Error&) {
        ms = 0;
    }
    if (ms <= 0)
        throw Error(errnum::TypeMismatch, file + ": " + name + " はミリ秒の正の整数で指定してください: " + value,
                    "ConnectionSettings");
    return std::chrono::milliseconds(ms);
}

std::string tlsFile(const xml::Node& root, const char* name, const std::string& file) {
    std::string value = childText(root, name);
    if (value.empty()) return {};
    std::string path = value.front() == '/' ? value : fs::programFolder() + value;
    auto found = fs::resolve(path);
    if (!found || !fs::fileExists(*found))
        throw Error(errnum::FileNotFound, file + ": " + name + " のファイルがありません: " + path, "ConnectionSettings");
    return *found;
}

}  // namespace

ConnectionSettings ConnectionSettings::load() {
    ConnectionSettings settings;
    std::string file = fs::programFolder() + kFileName;
    auto found = fs::resolve(file);
    if (!found) return settings;
    xml::Document doc;
    if (!doc.load(*found))
        throw Error(errnum::PathFileAccessError, *found + " を読めません: " + doc.parseError().reason,
                    "ConnectionSettings");
    xml::Node root = doc.documentElement();
    if (root.isNull() || root.nodeName() != "Connection")
        throw Error(errnum::PathFileAccessError, *found + ": ルート要素は Connection です", "ConnectionSettings");
    settings.connectTimeout = milliseconds(root, "ConnectTimeout", settings.connectTimeout, *found);
    settings.timeout = milliseconds(root, "Timeout", settings.timeout, *found);
    settings.caFile = tlsFile(root, "CAFile", *found);
    settings.clientCertificate = tlsFile(root, "ClientCertificate", *found);
    settings.clientKey = tlsFile(root, "ClientKey", *found);
    return settings;
}

}  // namespace fg
