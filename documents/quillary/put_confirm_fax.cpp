// PutConfirmFax: the receipt of the archives a fetch listed in its
// confirmation list is confirmed to the EDI server, one request per
// information code.
#include "documents/quillary/fax_tran_xml.h"

#include "documents/quillary/catalogue.h"
#include "documents/quillary/receipt_confirmation.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"

namespace fg {

namespace {

constexpr const char* kSource = "PutConfirmFax";

}  // namespace

bool FaxTranXml::PutConfirmFax() {
    std::string folder;
    try {
        folder = FolderPathInfo().getFolderPath(documents::folders::kRequest);
        return documents::confirmListed(
            folder, {documents::kConfirmList,
                     {std::begin(documents::kFetchCodes), std::end(documents::kFetchCodes)},
                     [](const documents::Confirmation& failed) {
                         const bool refused = failed.outcome == documents::Confirmation::Outcome::Refused;
                         ErrorLogWriter().writeError(
                             kSource, Error(refused ? documents::errs::ConfirmRefused : documents::errs::ConfirmNotPacked,
                                            failed.detail, kSource));
                     }});
    } catch (...) {
        // Whatever failed, the list goes: a confirmation is never sent twice.
        if (!folder.empty()) (void)fs::removeFile(folder + documents::kConfirmList);
        logCurrentError(kSource);
    }
    return false;
}

xml::Document FaxTranXml::loadFAXSendXML(const std::string& strFileName) {
    mstrSendXMLFolder = FolderPathInfo().getFolderPath("FaxSendXML");
    xml::Document document;
    (void)document.load(mstrSendXMLFolder + strFileName + ".xml");
    return document;
}

}  // namespace fg
