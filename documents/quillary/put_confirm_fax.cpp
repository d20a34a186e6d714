// PutConfirmFax: the receipt of the files a fetch listed in PutConfirmFax.xml
// is confirmed to the EDI server, one request per information code.
#include "documents/quillary/fax_tran_xml.h"

#include "documents/quillary/request_packing.h"
#include "documents/report_maker/request_document_factory.h"
#include "edi_transport/request_reception.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"
#include "platform/request_folder_lock.h"
#include "platform/text.h"
#include "settings/set_up_info.h"

#include <exception>

namespace fg {

namespace {

constexpr const char* kSource = "PutConfirmFax";
constexpr const char* kConfirmFile = "PutConfirmFax.xml";
constexpr long kPackingFailed = 40204;
constexpr long kConfirmRefused = 40205;
const char* const kInfoCodes[4] = {"0301", "0500", "0701", "1101"};

bool blank(const std::string& s) { return s.find_first_not_of(" \t\r\n\x0b\x0c") == std::string::npos; }

void delFile(const std::string& path) noexcept {
    try {
        fs::removeFile(path);
    } catch (...) {
    }
}

// request.xml, then request.zip; the first that will not go stops it.
void delRequestFiles(const std::string& folder) noexcept {
    try {
        for (const char* name : {"request.xml", "request.zip"}) {
            if (fs::fileExists(folder + name) && !fs::removeFile(folder + name)) return;
        }
    } catch (...) {
    }
}

void makeRequestXML(xml::Document& document, const std::string& confirmId) {
    for (xml::Node request : document.getElementsByTagName("Request")) {
        request.appendChild(document.createElement("ConfirmID")).setText(confirmId);
        request.appendChild(document.createElement("ClientKind")).setText("2");
    }
}

}  // namespace

bool FaxTranXml::PutConfirmFax() {
    std::string folder;
    try {
        folder = FolderPathInfo().getFolderPath("TempReqEDI");
        // One confirmation at a time in the request folder: the EDI control
        // and the job programs pack and post their own requests there.
        RequestFolderLock lock(folder);
        if (!fs::fileExists(folder + kConfirmFile)) return true;

        std::string list;
        {
            xml::Document confirm;
            if (!confirm.load(folder + kConfirmFile))
                throw Error(errnum::PathFileAccessError,
                            "受信確認ファイルを読めません: " + folder + kConfirmFile + " " + confirm.parseError().reason,
                            kSource);
            xml::Node put = confirm.selectSingleNode("/Puts/Put");
            if (!put) put = confirm.selectSingleNode("//Puts/Put");
            if (!put)
                throw Error(errnum::ObjectNotSet, "受信確認ファイルに Puts/Put がありません: " + folder + kConfirmFile,
                            kSource);
            list = put.text();
        }
        // From here on the file is gone, whatever happens: a confirmation is
        // never sent twice.
        delFile(folder + kConfirmFile);

        const std::vector<std::string> entries = text::split(list, ',');
        const std::string key = mobjSetUpInfo->strClientCertiKey().toText();
        const std::string root = mobjSetUpInfo->strEDIMethodRoot().toText();
        RequestReception reception;
        reception.setCertificateKey(SetUpInfo().strClientCertiKey().toText());
        reception.setServerCode(SetUpInfo().strEDIMakerCode().toText());
        reception.setAnswerFileName("");
        for (std::size_t i = 0; i < entries.size(); ++i) {
            reception.setInfoCode(kInfoCodes[i < 4 ? i : 3]);
            const std::string& entry = entries[i];
            if (blank(entry)) continue;
            const std::size_t dot = entry.find('.');
            if (dot == std::string::npos)
                throw Error(errnum::InvalidProcedureCall,
                            "受信確認のファイル名に拡張子がありません: \"" + entry + "\"", kSource);
            xml::Document request;
            RequestDocumentFactory().createRequest(key, request);
            makeRequestXML(request, entry.substr(0, dot));
            request.save(folder + "request.xml");

            const long packed = documents::packRequest(folder + "request.xml", "request.zip");
            if (packed != 0) {
                ErrorLogWriter().writeError(kSource, Error(kPackingFailed,
                                                           folder + "request.xml" + "[ErrorCode:]" +
                                                               std::to_string(packed) + "]",
                                                           kSource));
                return false;
            }
            const std::string code = reception.putConfirm(root, folder + "request.zip");
            delRequestFiles(folder);
            if (code == "T0000" || code == "C0000") continue;
            // The server keeps the files unconfirmed and offers them again
            // with the next fetch; the batch itself has succeeded.
            ErrorLogWriter().writeError(kSource, Error(kConfirmRefused, "[ErrCode:" + code + "]", kSource));
            return true;
        }
        return true;
    } catch (const Error& e) {
        if (!folder.empty()) delFile(folder + kConfirmFile);
        ErrorLogWriter().writeError(kSource, e);
    } catch (const std::exception& e) {
        if (!folder.empty()) delFile(folder + kConfirmFile);
        ErrorLogWriter().writeError(kSource, Error(errnum::OutOfMemory, e.what(), kSource));
    }
    return false;
}

xml::Document FaxTranXml::loadFAXSendXML(const std::string& strFileName) {
    mstrSendXMLFolder = FolderPathInfo().getFolderPath("FaxSendXML");
    xml::Document document;
    document.load(mstrSendXMLFolder + strFileName + ".xml");
    return document;
}

}  // namespace fg
