// What every exchange of the EDI control shares: folders by key, the
// settings of the EDI server, the request document and its builders, the
// request files, the lock of a request folder, and the checks of names that
// come from the server. The settings, the request document and its files
// are the document builder's (documents/quillary/request_packing.h), which
// confirms receipts the same way.
#pragma once

#include "documents/quillary/request_packing.h"
#include "platform/files.h"
#include "platform/request_folder_lock.h"
#include "platform/xml.h"

#include <string>
#include <vector>

namespace fg::castrel {

using documents::kRequestXml;
using documents::kRequestZip;
inline constexpr const char* kDataXml = "data.xml";
inline constexpr const char* kNoWorkFolder = "一時EDIデータフォルダが見つかりません";

// The folder of a key, ending in "/"; "" when it cannot be told or is blank.
std::string workFolder(const std::string& key);
// A folder value without its trailing separator, as the archive service takes it.
std::string withoutSlash(const std::string& folder);

using documents::isSuccess;
using documents::newRequest;
using documents::ServerSettings;

// Append their elements under every Request element of the document.
void subSetInfoCodeKind(xml::Document& doc, const std::string& infoCode);
void subSetInfoCode(xml::Document& doc, const std::string& infoCode);

using documents::deleteRequestFiles;
void subDelDataFile(const std::string& folder);

// A name that the server gave must name a file inside the folder it goes to.
using fs::isBareName;
// The name up to its first "."; a name without one cannot be cut and
// raises error 5.
std::string cutAtDot(const std::string& name);

void logError(const char* source, long number, const std::string& description) noexcept;

}  // namespace fg::castrel
