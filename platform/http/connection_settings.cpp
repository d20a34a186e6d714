#include "platform/http/connection_settings.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/settings_values.h"
#include "platform/text.h"
#include "platform/values.h"
#include "platform/xml.h"

namespace fg {

namespace {

std::string tlsFile(const xml::Node& root, const char* name, const std::string& file) {
    std::string value = settings_values::childText(root, name);
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
    settings.connectTimeout =
        settings_values::milliseconds(root, "ConnectTimeout", settings.connectTimeout, *found, "ConnectionSettings");
    settings.timeout = settings_values::milliseconds(root, "Timeout", settings.timeout, *found, "ConnectionSettings");
    settings.maxAnswerBytes = settings_values::positiveNumber(root, "MaxAnswerBytes", settings.maxAnswerBytes, *found,
                                                              "ConnectionSettings");
    settings.caFile = tlsFile(root, "CAFile", *found);
    settings.clientCertificate = tlsFile(root, "ClientCertificate", *found);
    settings.clientKey = tlsFile(root, "ClientKey", *found);
    return settings;
}

}  // namespace fg
