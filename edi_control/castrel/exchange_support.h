// What every exchange of the EDI control shares: folders by key, the
// settings of the EDI server, the request document and its builders, the
// request files, the lock of a request folder, and the checks of names that
// come from the server.
#pragma once

#include "platform/files.h"
#include "platform/request_folder_lock.h"
#include "platform/xml.h"

#include <string>
#include <vector>

namespace fg::castrel {

inline constexpr const char* kRequestXml = "request.xml";
inline constexpr const char* kRequestZip = "request.zip";
inline constexpr const char* kDataXml = "data.xml";
inline constexpr const char* kNoWorkFolder = "一時EDIデータフォルダが見つかりません";

// The folder of a key, ending in "/"; "" when it cannot be told or is blank.
std::string workFolder(const std::string& key);
// A folder value without its trailing separator, as the archive service takes it.
std::string withoutSlash(const std::string& folder);

// The EDI server values of the settings, read once per call.
struct ServerSettings {
    std::string certificateKey;
    std::string makerCode;
    std::string methodRoot;
    static ServerSettings read();
};

bool isSuccess(const std::string& code);  // "T0000" or "C0000"

// The factory's request document for the client certification key.
xml::Document newRequest(const ServerSettings& settings);
// Append their elements under every Request element of the document.
void subSetInfoCodeKind(xml::Document& doc, const std::string& infoCode);
void subSetInfoCode(xml::Document& doc, const std::string& infoCode);
void subSetConfirmID(xml::Document& doc, const std::string& confirmId);
void subSetFileList(xml::Document& doc, const std::vector<std::string>& names);

// Deletes folder & "request.xml" (when asked) and folder & "request.zip",
// each on its own: one that is missing never keeps the other.
void subDelRequestFile(const std::string& folder, bool withRequestXml = true);
void subDelDataFile(const std::string& folder);

// A name that the server gave must name a file inside the folder it goes to.
using fs::isBareName;
// The name up to its first "."; a name without one cannot be cut and
// raises error 5.
std::string cutAtDot(const std::string& name);
// The ConfirmID of an answer archive: its name up to its first ".", or the
// whole name when it has none.
std::string confirmIdOf(const std::string& archive);

// Holds the lock of a request folder for one build, pack, post and delete
// cycle, so that no other process writes or posts that folder's request
// files meanwhile.
class RequestCycle {
public:
    explicit RequestCycle(const std::string& folder);

private:
    RequestFolderLock lock_;
};

void logError(const char* source, long number, const std::string& description) noexcept;

}  // namespace fg::castrel
