// The request files of an exchange with the EDI server: the settings it is
// made with, the request document, its packing into request.zip, and the
// deletion of both files. The builder's receipt confirmation, the EDI
// control and the job programs make their requests so.
#pragma once

#include "platform/xml.h"

#include <functional>
#include <string>
#include <vector>

namespace fg::documents {

inline constexpr const char* kRequestXml = "request.xml";
inline constexpr const char* kRequestZip = "request.zip";

// The EDI server values of the settings, read once per exchange.
struct ServerSettings {
    std::string certificateKey;
    std::string makerCode;
    std::string methodRoot;
    static ServerSettings read();
};

// Whether an answer code of the EDI server tells success.
bool isSuccess(const std::string& code);

// The factory's request document for the client certification key; raises
// fg::Error 91 when it is no Request document.
xml::Document newRequest(const ServerSettings& settings);

// Packs the files (full paths) as a ZIP archive named `archiveName` in the
// folder of the first file, through the archive service. 0 on success, else
// the service's error number.
long packZip(const std::string& archiveName, const std::vector<std::string>& files);
// Writes the request document, completed by `complete` (when given), as
// request.xml of the folder and packs it into request.zip there; the
// archive service's code (0: packed).
long packRequest(const ServerSettings& settings, const std::string& folder,
                 const std::function<void(xml::Document&)>& complete);
// Deletes folder & "request.xml" (when asked) and folder & "request.zip",
// each on its own: one that is missing never keeps the other.
void deleteRequestFiles(const std::string& folder, bool withRequestXml = true);

}  // namespace fg::documents
