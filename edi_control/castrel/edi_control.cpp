#include "edi_control/castrel/edi_control.h"

#include "edi_control/castrel/archive_calls.h"
#include "edi_control/castrel/exchange_support.h"
#include "edi_transport/index.h"
#include "edi_transport/request_reception.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "settings/maker_info.h"

#include <algorithm>

namespace fg {

using namespace castrel;

struct EDIControl::Session : ServerSettings {
    explicit Session(ServerSettings s) : ServerSettings(std::move(s)) {}
};

namespace {

constexpr const char* kFetchCodes[4] = {"0301", "0500", "0701", "1101"};

void prepare(RequestReception& exchange, const ServerSettings& settings, const std::string& infoCode,
             const std::string& answerFileName) {
    exchange.setCertificateKey(settings.certificateKey);
    exchange.setServerCode(settings.makerCode);
    exchange.setInfoCode(infoCode);
    exchange.setAnswerFileName(answerFileName);
}

void logCaught(const char* source, const std::exception& e) noexcept {
    if (const auto* error = dynamic_cast<const Error*>(&e)) {
        ErrorLogWriter().writeError(source, *error);
    } else {
        ErrorLogWriter().writeError(source, 0, e.what());
    }
}

bool hasIndexEntry(const std::vector<std::string>& entries) {
    return std::any_of(entries.begin(), entries.end(), [](const std::string& e) { return upper(e) == "INDEX.CSV"; });
}

// Extracts every entry of an answer archive into the folder. An archive
// whose entries are all bare names is extracted whole; otherwise only its
// bare entries are, one by one, and the others are logged and left out.
long expandAll(const std::string& archive, const std::string& folder, const std::vector<std::string>& entries,
               const char* source) {
    bool allBare = std::all_of(entries.begin(), entries.end(), isBareName);
    if (allBare) return expandEntry(archive, withoutSlash(folder), "");
    for (const std::string& entry : entries) {
        if (!isBareName(entry)) {
            logError(source, 0, "アーカイブの不正なファイル名を飛ばしました: \"" + entry + "\" (" + archive + ")");
            continue;
        }
        long result = expandEntry(archive, withoutSlash(folder), entry);
        if (result != 0) return result;
    }
    return 0;
}

}  // namespace

EDIControl::EDIControl(EventPump* pump) : mobjFaxTranXml(std::make_unique<FaxTranXml>(pump)) {}

EDIControl::~EDIControl() = default;

bool EDIControl::buildBatch(const std::vector<GET_FILE>& udtData, const std::string& reportType) {
    if (batchBuilder_) return batchBuilder_(udtData, reportType, "");
    return mobjFaxTranXml->makeFAXSendXML(udtData, reportType, "");
}

bool EDIControl::SendPortEndCheck() { return mobjFaxTranXml->SendPortEndCheck(); }

// ---------------------------------------------------------------------------
// Deletion routines

void EDIControl::delEdiXmlFile(const std::string& strEdiPath, const std::vector<std::string>& strEDIFile) {
    for (const std::string& name : strEDIFile) {
        if (name.empty()) continue;  // an unused entry of the caller's list
        if (!isBareName(name)) {
            // A name from the server that is not bare would reach outside
            // the work folder.
            logError("delEdiXmlFile", 0, "不正なファイル名は削除しません: \"" + name + "\"");
            continue;
        }
        fs::removeFile(strEdiPath + name);
    }
}

void EDIControl::subDelGetFile(const std::string& folder, const std::vector<GET_FILE>& udtData) {
    for (const GET_FILE& record : udtData)
        for (std::int16_t j = 0; j < record.intCnt && j < static_cast<std::int16_t>(record.strGetFile.size()); ++j)
            fs::removeFile(folder + record.strGetFile[j] + ".xml");
}

// ---------------------------------------------------------------------------
// The confirmation list

bool EDIControl::CreatePutConfirmXml(const std::string& strInfo, const std::string& strFilename) {
    try {
        std::string folder = workFolder("TempReqEDI");
        if (folder.empty()) throw Error(40523, kNoWorkFolder);
        xml::Document doc;
        doc.appendChild(doc.createProcessingInstruction("xml", "version=\"1.0\" encoding=\"shift-jis\""));
        xml::Node puts = doc.appendChild(doc.createElement("Puts"));
        xml::Node put = puts.appendChild(doc.createElement("Put"));
        put.setText(strInfo);
        // The builder's receipt confirmation takes and deletes this file
        // under the same lock.
        RequestCycle cycle(folder);
        doc.save(folder + strFilename);
        return true;
    } catch (const std::exception& e) {
        logCaught("CreatePutConfirmXml", e);
        return false;
    }
}

// ---------------------------------------------------------------------------
// The fetch pass of one information code

bool EDIControl::subGetEDIData(GET_FILE& udtData, const std::string& strInfoCode, std::string& strArchive) {
    udtData.intCnt = 0;
    std::string tempEdi = workFolder("TempEDI");
    std::string request = workFolder("TempReqEDI");
    if (tempEdi.empty() || request.empty()) {
        logError("subGetEDIData", 40523, kNoWorkFolder);
        return false;
    }
    Session session(ServerSettings::read());
    std::string code;
    std::string download;
    {
        RequestCycle cycle(request);
        xml::Document doc = newRequest(session);
        subSetInfoCodeKind(doc, strInfoCode);
        doc.save(request + kRequestXml);
        long packed = packZip(kRequestZip, {request + kRequestXml});
        if (packed != 0) {
            subDelRequestFile(request);
            logError("getEDIData", 40200, std::string(kRequestXml) + "[ErrCode:" + std::to_string(packed) + "]");
            return false;
        }
        RequestReception exchange;
        prepare(exchange, session, strInfoCode, "");
        code = exchange.getEdiData(session.methodRoot, request + kRequestZip, tempEdi);
        download = exchange.DownloadFileName();
        subDelRequestFile(request);
    }
    if (code == "C0403" || code == "C0404") return true;
    if (!isSuccess(code)) {
        logError("getEDIData", 40201, "[ErrCode:" + code + "]");
        return true;
    }
    if (!isBareName(download)) {
        logError("getEDIData", 40201, "[ErrCode:" + code + "] 不正なファイル名: \"" + download + "\"");
        return true;
    }

    std::string archive = tempEdi + download;
    Index index;
    if (!index.loadIndex({archive}, strInfoCode, {session.certificateKey})) {
        fs::removeFile(archive);
        logError("getEDIData", 40202, tempEdi + download);
        return false;
    }
    std::vector<std::string> entries = entryNames(archive);
    if (hasIndexEntry(entries)) {
        for (const std::string& supplier : index.getList("Supplier-code", false)) {
            if (supplier.empty()) continue;  // the index lists no supplier
            for (const auto& row : index.getSearchedListXArray("Supplier-code", supplier)) {
                if (row.size() < 10 || row[3] != "0") continue;
                const std::string& name = row[9];
                if (!isBareName(name)) {
                    logError("getEDIData", 40203,
                             tempEdi + " 不正な文書名を飛ばしました: \"" + name + "\" (" + download + ")");
                    continue;
                }
                long expanded = expandEntry(archive, withoutSlash(tempEdi), name);
                if (expanded != 0) {
                    fs::removeFile(archive);
                    delEdiXmlFile(tempEdi, entries);
                    logError("getEDIData", 40203, tempEdi + name);
                    return false;
                }
                std::string stem = cutAtDot(name);
                udtData.intCnt++;
                udtData.strSupplier.push_back(supplier);
                udtData.strGetFile.push_back(stem);
            }
        }
    }
    fs::removeFile(archive);
    if (udtData.intCnt > 0) {
        strArchive = download;
        return true;
    }
    return confirmAtOnce(session, request, tempEdi, strInfoCode, download, entries, "getEDIData", true);
}

// The receipt confirmation of an answer archive that kept no document.
bool EDIControl::confirmAtOnce(const Session& session, const std::string& requestFolder, const std::string& tempEdi,
                               const std::string& infoCode, const std::string& archive,
                               const std::vector<std::string>& entries, const char* source,
                               bool keepFilesOnPackFailure) {
    std::string confirmId = cutAtDot(archive);
    RequestCycle cycle(requestFolder);
    xml::Document doc = newRequest(session);
    subSetConfirmID(doc, confirmId);
    doc.save(requestFolder + kRequestXml);
    long packed = packZip(kRequestZip, {requestFolder + kRequestXml});
    if (packed != 0) {
        delEdiXmlFile(tempEdi, entries);
        if (!keepFilesOnPackFailure) subDelRequestFile(requestFolder);
        logError(source, 40204,
                 requestFolder + kRequestXml + "[ErrorCode:]" + std::to_string(packed) + "]");
        return false;
    }
    RequestReception exchange;
    prepare(exchange, session, infoCode, "");
    std::string code = exchange.putConfirm(session.methodRoot, requestFolder + kRequestZip);
    subDelRequestFile(requestFolder);
    if (!isSuccess(code)) {
        delEdiXmlFile(tempEdi, entries);
        logError(source, 40205, "[ErrCode:" + code + "]");
    }
    return true;
}

// ---------------------------------------------------------------------------
// The scheduled fetch

bool EDIControl::subCheckMaker(const std::vector<GET_FILE>& udtData, std::vector<std::string>& strRegistered) {
    strRegistered.clear();
    try {
        std::vector<std::pair<std::string, bool>> suppliers;
        std::unique_ptr<MakerInfo> makers;
        for (const GET_FILE& record : udtData) {
            for (std::int16_t j = 0; j < record.intCnt; ++j) {
                const std::string& code = record.strSupplier.at(j);
                auto seen = std::find_if(suppliers.begin(), suppliers.end(),
                                         [&](const auto& s) { return s.first == code; });
                if (seen != suppliers.end()) continue;
                if (!makers) makers = std::make_unique<MakerInfo>();
                suppliers.emplace_back(code, makers->getMakerInfo(code, "", false));
            }
        }
        for (const auto& [code, registered] : suppliers)
            if (registered) strRegistered.push_back(code);
        return true;
    } catch (const std::exception& e) {
        // Without this line a broken supplier folder would stop every fetch
        // without a trace.
        logCaught("getEDIData", e);
        return false;
    }
}

bool EDIControl::getEDIData(const std::string& strEDIDataType) {
    try {
        if (strEDIDataType != "0") return subGetFaxReminder();

        std::vector<GET_FILE> fetched(4);
        std::vector<std::string> archives(4);
        for (int k = 0; k < 4; ++k)
            if (!subGetEDIData(fetched[k], kFetchCodes[k], archives[k])) return false;

        std::vector<std::string> registered;
        if (!subCheckMaker(fetched, registered)) return false;

        std::string tempEdi = workFolder("TempEDI");
        std::vector<GET_FILE> batch(4);
        for (int k = 0; k < 4; ++k) {
            const GET_FILE& record = fetched[k];
            if (record.intCnt > 0) batch[k].strInfoType = kFetchCodes[k];
            for (std::int16_t j = 0; j < record.intCnt; ++j) {
                const std::string& supplier = record.strSupplier[j];
                if (std::find(registered.begin(), registered.end(), supplier) != registered.end()) {
                    batch[k].intCnt++;
                    batch[k].strSupplier.push_back(supplier);
                    batch[k].strGetFile.push_back(record.strGetFile[j]);
                } else {
                    // Nobody would ever fax or delete it.
                    fs::removeFile(tempEdi + record.strGetFile[j] + ".xml");
                    logError("getEDIData", 40105,
                             "未登録の受注者の文書を削除しました: 受注者コード=" + supplier + ", " +
                                 record.strGetFile[j] + ".xml (" + kFetchCodes[k] + ")");
                }
            }
        }
        if (registered.empty()) return true;

        std::string names = archives[0] + "," + archives[1] + "," + archives[2] + "," + archives[3];
        if (!CreatePutConfirmXml(names, kPutConfirmFax)) {
            subDelGetFile(tempEdi, batch);
            return false;
        }
        bool built = buildBatch(batch, "");
        subDelGetFile(tempEdi, batch);
        return built;
    } catch (const std::exception& e) {
        logCaught("getEDIData", e);
        return false;
    }
}

bool EDIControl::subGetFaxReminder() {
    std::string tempEdi = workFolder("TempEDI");
    std::string request = workFolder("TempReqRem");
    if (tempEdi.empty() || request.empty()) {
        logError("subGetFaxReminder", 40524, kNoWorkFolder);
        return false;
    }
    Session session(ServerSettings::read());
    std::string code;
    std::string download;
    {
        RequestCycle cycle(request);
        xml::Document doc = newRequest(session);
        doc.save(request + kRequestXml);
        long packed = packZip(kRequestZip, {request + kRequestXml});
        if (packed != 0) {
            subDelRequestFile(request);
            logError("subGetFaxReminder", 40209,
                     std::string(kRequestXml) + "[ErrCode:" + std::to_string(packed) + "]");
            return false;
        }
        RequestReception exchange;
        prepare(exchange, session, "", "");
        code = exchange.getFaxReminder(session.methodRoot, request + kRequestZip, tempEdi);
        download = exchange.DownloadFileName();
        subDelRequestFile(request);
    }
    if (code == "C1002" || code == "C0404") return true;
    if (!isSuccess(code)) {
        logError("subGetFaxReminder", 40210, "[ErrCode:" + code + "]");
        return true;
    }
    if (!isBareName(download)) {
        logError("subGetFaxReminder", 40210, "[ErrCode:" + code + "] 不正なファイル名: \"" + download + "\"");
        return true;
    }

    std::string archive = tempEdi + download;
    std::vector<std::string> entries = entryNames(archive);
    std::vector<GET_FILE> batch(1);
    for (const std::string& entry : entries) {
        if (upper(entry).find(".XML") == std::string::npos || !isBareName(entry)) continue;
        batch[0].intCnt++;
        batch[0].strGetFile.push_back(entry);
    }
    long expanded = expandAll(archive, tempEdi, entries, "subGetFaxReminder");
    if (expanded != 0) {
        delEdiXmlFile(tempEdi, entries);
        fs::removeFile(archive);
        logError("subGetFaxReminder", 40211, "[Directory:" + tempEdi + "]");
        return false;
    }
    fs::removeFile(archive);
    bool built = buildBatch(batch, "F5F11");
    delEdiXmlFile(tempEdi, entries);
    if (!built) return false;

    RequestCycle cycle(request);
    xml::Document doc = newRequest(session);
    subSetFileList(doc, batch[0].strGetFile);
    doc.save(request + kRequestXml);
    long packed = packZip(kRequestZip, {request + kRequestXml});
    if (packed != 0) {
        subDelRequestFile(request);
        logError("subGetFaxReminder", 40212,
                 request + kRequestXml + "[ErrorCode:]" + std::to_string(packed) + "]");
        return false;
    }
    RequestReception exchange;
    prepare(exchange, session, "", "");
    std::string confirmed = exchange.delFaxReminder(session.methodRoot, request + kRequestZip);
    subDelRequestFile(request);
    if (!isSuccess(confirmed)) logError("subGetFaxReminder", 40213, "[ErrCode:" + confirmed + "]");
    return true;
}

// ---------------------------------------------------------------------------
// The upload of answers

bool EDIControl::putEDIData(const std::vector<xml::Document>& objEDIData, const std::string& strEdiType) {
    try {
        std::string data = workFolder("TempReqPut");
        std::string request = workFolder("TempReqPut");
        if (data.empty()) throw Error(40214, kNoWorkFolder);
        Session session(ServerSettings::read());
        RequestCycle cycle(request);
        xml::Document doc = newRequest(session);
        subSetInfoCode(doc, strEdiType);
        doc.save(request + kRequestXml);
        std::vector<std::string> files{request + kRequestXml, data + kDataXml};
        RequestReception exchange;
        exchange.setCertificateKey(session.certificateKey);
        for (const xml::Document& answer : objEDIData) {
            answer.save(data + kDataXml);
            long packed = packZip(kRequestZip, files);
            if (packed != 0) {
                subDelRequestFile(request);
                subDelDataFile(data);
                logError("putEDIData", 40214, std::string(kRequestXml) + "[ErrCode:" + std::to_string(packed) + "]");
                return false;
            }
            prepare(exchange, session, strEdiType, kRequestZip);
            std::string code = exchange.putEdiData(session.methodRoot, request + kRequestZip);
            if (!isSuccess(code)) {
                subDelRequestFile(request);
                subDelDataFile(data);
                logError("putEDIData", 40215, "[ErrCode:" + code + "]");
                return false;
            }
            subDelRequestFile(request, false);
            subDelDataFile(data);
        }
        subDelRequestFile(request);
        subDelDataFile(data);
        return true;
    } catch (const std::exception& e) {
        logCaught("putEDIData", e);
        return false;
    }
}

// ---------------------------------------------------------------------------
// The supplier refresh

namespace {

// This client's supplier code: the Supplier-code child of the document
// element of the first entry of the first answer archive.
bool getSupplierCodeText(const std::string& path, std::string& code) {
    try {
        xml::Document doc;
        if (!doc.load(path) || doc.parseError().errorCode != 0) return false;
        xml::Node root = doc.documentElement();
        if (root.isNull()) return false;
        xml::Node child = root.selectSingleNode("Supplier-code");
        if (child.isNull()) return false;
        code = child.text();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// Expands every entry of a supplier answer archive; on failure the entries
// and the archive are gone and 40208 is logged.
bool expandSupplierArchive(EDIControl& control, const std::string& archive, const std::string& tempEdi,
                           std::vector<std::string>& entries) {
    entries = entryNames(archive);
    long expanded = expandAll(archive, tempEdi, entries, "getMakerInfoData");
    if (expanded != 0) {
        control.delEdiXmlFile(tempEdi, entries);
        fs::removeFile(archive);
        logError("getMakerInfoData", 40208, "[Directory:" + tempEdi + "]");
        return false;
    }
    return true;
}

}  // namespace

bool EDIControl::keepMakerDocuments(const std::string& folder, const std::string& supplierCode,
                                    const std::vector<std::string>& names, std::vector<std::string>& kept) {
    kept.clear();
    for (const std::string& name : names) {
        if (!isBareName(name)) continue;  // logged when the archive was expanded
        xml::Document doc;
        if (!doc.load(folder + name) || doc.parseError().errorCode != 0) return false;
        xml::Node root = doc.documentElement();
        xml::Node relative = root.isNull() ? xml::Node() : root.selectSingleNode("Relative-client-code");
        if (relative.isNull()) return false;
        if (relative.text() == supplierCode) kept.push_back(name);
    }
    return true;
}

bool EDIControl::getMakerInfoData() {
    try {
        std::string tempEdi = workFolder("TempEDI");
        std::string request = workFolder("TempEDI");
        if (tempEdi.empty() || request.empty()) {
            logError("getMakerInfoData", 40522, kNoWorkFolder);
            return false;
        }
        Session session(ServerSettings::read());
        std::vector<std::string> entries;
        std::string supplierCode;
        std::string code;
        std::string download;
        {
            // The request files serve both exchanges of the refresh.
            RequestCycle cycle(request);
            xml::Document doc = newRequest(session);
            doc.save(request + kRequestXml);
            long packed = packZip(kRequestZip, {request + kRequestXml});
            if (packed != 0) {
                subDelRequestFile(request);
                logError("getMakerInfoData", 40206, tempEdi + kRequestXml);
                return false;
            }
            RequestReception exchange;
            prepare(exchange, session, "", "");
            code = exchange.getSupplierCode(session.methodRoot, request + kRequestZip, tempEdi);
            if (code == "C0503") {
                subDelRequestFile(request);
                return true;
            }
            if (!isSuccess(code)) {
                subDelRequestFile(request);
                logError("getMakerInfoData", 40207, std::string(kRequestXml) + "[getSupplierCode:ErrCode:" + code + "]");
                return true;
            }
            download = exchange.DownloadFileName();
            if (!isBareName(download)) {
                subDelRequestFile(request);
                logError("getMakerInfoData", 40208, "[Directory:" + tempEdi + "] 不正なファイル名: \"" + download + "\"");
                return false;
            }
            std::string first = tempEdi + download;
            if (!expandSupplierArchive(*this, first, tempEdi, entries)) {
                subDelRequestFile(request);
                return false;
            }
            bool read = !entries.empty() && isBareName(entries[0]) &&
                        getSupplierCodeText(tempEdi + entries[0], supplierCode);
            delEdiXmlFile(tempEdi, entries);
            fs::removeFile(first);
            if (!read) {
                subDelRequestFile(request);
                logError("getMakerInfoData", 40222, "[Directory:" + tempEdi + "]");
                return false;
            }

            prepare(exchange, session, "", "");
            code = exchange.getFaxMaker(session.methodRoot, request + kRequestZip, tempEdi);
            download = exchange.DownloadFileName();
            subDelRequestFile(request);
        }
        if (code == "C0503") return true;
        if (!isSuccess(code)) {
            logError("getMakerInfoData", 40207, std::string(kRequestXml) + "[ErrCode:" + code + "]");
            return true;
        }
        if (!isBareName(download)) {
            logError("getMakerInfoData", 40208, "[Directory:" + tempEdi + "] 不正なファイル名: \"" + download + "\"");
            return false;
        }
        std::string second = tempEdi + download;
        if (!expandSupplierArchive(*this, second, tempEdi, entries)) return false;
        fs::removeFile(second);

        std::vector<std::string> kept;
        if (!keepMakerDocuments(tempEdi, supplierCode, entries, kept)) {
            delEdiXmlFile(tempEdi, entries);
            logError("getMakerInfoData", 40223, "");
            return false;
        }
        bool stored = true;
        if (kept.empty()) {
            // An answer with no record of this client is no reason to lose
            // the suppliers this server faxes to.
            logError("getMakerInfoData", 0,
                     "この得意先のメーカ情報がありません。登録済みのメーカ情報はそのままです (受注者コード=" +
                         supplierCode + ")");
        } else {
            stored = MakerInfo().saveMakerInfo(kept);
        }
        delEdiXmlFile(tempEdi, entries);
        return stored;
    } catch (const std::exception& e) {
        logCaught("getMakerInfoData", e);
        return false;
    }
}

// ---------------------------------------------------------------------------
// The order-balance fetch

bool EDIControl::getOrderBalanceData(const std::string& /*strFaxNo*/, std::vector<GET_FILE>& udtAllData,
                                     std::vector<std::string>& strDelAry) {
    try {
        udtAllData.assign(1, GET_FILE{});
        GET_FILE& record = udtAllData[0];
        std::string tempEdi = workFolder("TempEDI");
        std::string request = workFolder("TempReqOrder");
        if (tempEdi.empty() || request.empty()) {
            logError("getOrderBalanceData", 40523, kNoWorkFolder);
            return false;
        }
        Session session(ServerSettings::read());
        std::string code;
        std::string download;
        {
            RequestCycle cycle(request);
            xml::Document doc = newRequest(session);
            subSetInfoCodeKind(doc, "0601");
            doc.save(request + kRequestXml);
            long packed = packZip(kRequestZip, {request + kRequestXml});
            if (packed != 0) {
                subDelRequestFile(request);
                logError("getOrderBalanceData", 40216,
                         std::string(kRequestXml) + "[ErrCode:" + std::to_string(packed) + "]");
                return false;
            }
            RequestReception exchange;
            prepare(exchange, session, "0601", "");
            code = exchange.getEdiData(session.methodRoot, request + kRequestZip, tempEdi);
            download = exchange.DownloadFileName();
            subDelRequestFile(request);
        }
        if (code == "C0403" || code == "C0404") return true;
        if (!isSuccess(code)) {
            logError("getOrderBalanceData", 40201, "[ErrCode:" + code + "]");
            return true;
        }
        if (!isBareName(download)) {
            logError("getOrderBalanceData", 40201, "[ErrCode:" + code + "] 不正なファイル名: \"" + download + "\"");
            return true;
        }
        std::string archive = tempEdi + download;
        Index index;
        if (!index.loadIndex({archive}, "0601", {session.certificateKey})) {
            delEdiXmlFile(tempEdi, strDelAry);
            // Left behind, the archive would lie in the work folder for good.
            fs::removeFile(archive);
            logError("getOrderBalanceData", 40202, tempEdi + download);
            return false;
        }
        strDelAry = entryNames(archive);
        if (hasIndexEntry(strDelAry)) {
            std::vector<std::string> suppliers = index.getList("Supplier-code", false);
            for (const std::string& supplier : suppliers) {
                if (supplier.empty()) continue;
                for (const auto& row : index.getSearchedListXArray("Supplier-code", supplier)) {
                    if (row.size() < 10) continue;
                    const std::string& name = row[9];
                    if (!isBareName(name)) {
                        logError("getOrderBalanceData", 40203,
                                 tempEdi + " 不正な文書名を飛ばしました: \"" + name + "\" (" + download + ")");
                        continue;
                    }
                    long expanded = expandEntry(archive, withoutSlash(tempEdi), name);
                    if (expanded != 0) {
                        delEdiXmlFile(tempEdi, strDelAry);
                        fs::removeFile(archive);
                        logError("getOrderBalanceData", 40203, tempEdi + name);
                        return false;
                    }
                    if (MakerInfo().getMakerInfo(supplier, "", false)) {
                        std::string stem = cutAtDot(name);
                        record.intCnt++;
                        record.strGetFile.push_back(stem);
                        record.strSupplier.push_back(supplier);
                    }
                }
            }
        }
        fs::removeFile(archive);
        if (record.intCnt > 0) {
            if (CreatePutConfirmXml(download, kPutConfirmOrderFax)) return true;
            delEdiXmlFile(tempEdi, strDelAry);
            logError("getOrderBalanceData", 40205, "[取得確認用XMLファイル作成失敗]");
            return false;
        }
        return confirmAtOnce(session, request, tempEdi, "0601", download, strDelAry, "getOrderBalanceData", false);
    } catch (const std::exception& e) {
        logCaught("getOrderBalanceData", e);
        return false;
    }
}

}  // namespace fg
