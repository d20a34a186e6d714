#include "edi_transport/request_reception.h"

#include "common/brevik/folder_information.h"
#include "edi_transport/archive_access.h"
#include "edi_transport/base64_body.h"
#include "edi_transport/private_folder.h"
#include "platform/clock.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/file_lock.h"
#include "platform/files.h"
#include "platform/http/http_connection.h"
#include "platform/text.h"
#include "platform/values.h"
#include "platform/xml.h"

#include <mutex>

namespace fg {

namespace {

std::mutex factoryMutex;
RequestReception::ConnectionFactory& factory() {
    static RequestReception::ConnectionFactory f;
    return f;
}

std::unique_ptr<HttpConnection> makeConnection() {
    std::lock_guard lock(factoryMutex);
    if (factory()) return factory()();
    return std::make_unique<HttpConnection>();
}

void logError(long number, const std::string& description) {
    ErrorLogWriter().writeError("RequestReception", number, description);
}

}  // namespace

RequestReception::RequestReception() : mobjConstant(std::make_unique<Constant>()) {
    FolderInformation folders;
    mstrCommLogFolder = folders.CommLog();
    mstrTempFolder = folders.Temp();
}

RequestReception::~RequestReception() = default;

void RequestReception::setConnectionFactory(ConnectionFactory f) {
    std::lock_guard lock(factoryMutex);
    factory() = std::move(f);
}

std::string RequestReception::getAmount(const std::string& strUrl, const std::string& strRequestFile,
                                        const std::string& strSavePath) {
    return operation("Receive", "servlets/GetAmount", strUrl, strRequestFile, strSavePath);
}
std::string RequestReception::getEdiData(const std::string& strUrl, const std::string& strRequestFile,
                                         const std::string& strSavePath) {
    return operation("Receive", "servlets/GetEdiData", strUrl, strRequestFile, strSavePath);
}
std::string RequestReception::getMaker(const std::string& strUrl, const std::string& strRequestFile,
                                       const std::string& strSavePath) {
    return operation("Receive", "servlets/GetMaker", strUrl, strRequestFile, strSavePath);
}
std::string RequestReception::putEdiData(const std::string& strUrl, const std::string& strRequestFile) {
    return operation("Send", "servlets/PutEdiData", strUrl, strRequestFile, "");
}
std::string RequestReception::putMaker(const std::string& strUrl, const std::string& strRequestFile) {
    return operation("Send", "servlets/PutMaker", strUrl, strRequestFile, "");
}
std::string RequestReception::putConfirm(const std::string& strUrl, const std::string& strRequestFile) {
    return operation("Send", "servlets/PutConfirm", strUrl, strRequestFile, "");
}
std::string RequestReception::reGetEdiData(const std::string& strUrl, const std::string& strRequestFile,
                                           const std::string& strSavePath) {
    return operation("Receive", "servlets/ReGetEdiData", strUrl, strRequestFile, strSavePath);
}
std::string RequestReception::getFaxReminder(const std::string& strUrl, const std::string& strRequestFile,
                                             const std::string& strSavePath) {
    return operation("Receive", "servlets/GetFaxReminder", strUrl, strRequestFile, strSavePath);
}
std::string RequestReception::delFaxReminder(const std::string& strUrl, const std::string& strRequestFile) {
    return operation("Send", "servlets/DelFaxReminder", strUrl, strRequestFile, "");
}
std::string RequestReception::getIndex(const std::string& strUrl, const std::string& strRequestFile,
                                       const std::string& strSavePath) {
    return operation("Receive", "servlets/GetIndex", strUrl, strRequestFile, strSavePath);
}
std::string RequestReception::getWebEdiData(const std::string& strUrl, const std::string& strRequestFile,
                                            const std::string& strSavePath) {
    return operation("Receive", "servlets/GetWebEdiData", strUrl, strRequestFile, strSavePath);
}
std::string RequestReception::getFaxMaker(const std::string& strUrl, const std::string& strRequestFile,
                                          const std::string& strSavePath) {
    return operation("Receive", "servlets/GetFaxMaker", strUrl, strRequestFile, strSavePath);
}
std::string RequestReception::getSupplierCode(const std::string& strUrl, const std::string& strRequestFile,
                                              const std::string& strSavePath) {
    return operation("Receive", "servlets/GetSupplierCode", strUrl, strRequestFile, strSavePath);
}

std::string RequestReception::operation(const char* kind, const char* servlet, const std::string& url,
                                        const std::string& requestFile, const std::string& savePath) {
    try {
        mstrKind = kind;
        return sendRequest(url + servlet, requestFile, savePath);
    } catch (...) {
        const Error e = currentError();
        logError(e.number(), std::string(servlet) + ": " + e.description());
        return mobjConstant->ERR_UNEXPECTED();
    }
}

std::string RequestReception::sendRequest(const std::string& url, const std::string& requestFile,
                                          const std::string& savePath) {
    const Constant& k = *mobjConstant;
    std::string result = k.ERR_NONE();
    std::unique_ptr<HttpConnection> client;
    try {
        mstrUrl = url;
        mdtmExchange = clock().now();
        std::string request = fs::readFile(requestFile);
        if (request.empty()) throw Error(errnum::FileNotFound, "要求ファイルが空です: " + requestFile);
        std::string body = edi::encodeBase64File(request);
        // The logged time is the moment the connection is made.
        mdtmExchange = clock().now();

        mstrDownloadFileName.clear();
        mstrBase64Text.clear();
        mbytAnswer.clear();
        client = makeConnection();
        client->open(url);
        client->send(body, mstrBase64Text);
        result = client->errorCode();
        mstrDownloadFileName = client->downloadFileName();

        if (result == k.ERR_NONE()) {
            if (!edi::decodeBase64Text(mstrBase64Text, mbytAnswer)) {
                client.reset();
                logError(0, "応答を復号できません (" + k.ERR_DECODE() + "): " + mstrUrl + " " +
                                std::to_string(mstrBase64Text.size()) + " bytes");
                return k.ERR_DECODE();
            }
            result = handleAnswer(savePath);
        }
        if (!writeCommunicationLog(result)) {
            logError(0, "通信ログを書けません (" + result + "): " + mstrCommLogFolder + kCommunicationLog);
            result = k.ERR_PROCESS_LOG();
        }
        client.reset();
        return result;
    } catch (...) {
        client.reset();
        const Error e = currentError();
        logError(e.number(), "EDI exchange failed: " + mstrUrl + ": " + e.description());
        std::string code = k.ERR_UNEXPECTED();
        writeCommunicationLog(code);
        return k.ERR_UNEXPECTED();
    }
}

std::string RequestReception::handleAnswer(const std::string& savePath) {
    const Constant& k = *mobjConstant;
    // A name the server gives for its answer file must stay inside the
    // folder it is saved to.
    if (!fs::isBareName(mstrDownloadFileName)) {
        logError(0, "サーバーの応答ファイル名を拒否しました: \"" + mstrDownloadFileName + "\" " + mstrUrl);
        return k.ERR_PROCESS_DATA();
    }
    if (isAnswerArchive(mstrDownloadFileName)) return handleAnswerArchive();
    if (savePath.empty()) {
        // Nobody reads a sending operation's data answer; it must not land
        // in whatever folder the process happens to run in.
        edi::PrivateFolder work(mstrTempFolder, ".exchange-");
        return saveDataFile(work.path(), mstrDownloadFileName) ? k.ERR_NONE() : k.ERR_PROCESS_DATA();
    }
    return saveDataFile(fs::withSlash(savePath), mstrDownloadFileName) ? k.ERR_NONE() : k.ERR_PROCESS_DATA();
}

std::string RequestReception::handleAnswerArchive() {
    const Constant& k = *mobjConstant;
    std::unique_ptr<edi::PrivateFolder> work;
    try {
        work = std::make_unique<edi::PrivateFolder>(mstrTempFolder, ".exchange-");
    } catch (const Error& e) {
        logError(e.number(), e.description());
        return k.ERR_PROCESS_CONFIRM();
    }
    if (!saveDataFile(work->path(), mstrDownloadFileName)) return k.ERR_PROCESS_CONFIRM();
    std::string document = mstrDownloadFileName.substr(0, mstrDownloadFileName.size() - 3) + "xml";
    std::string folder = work->path();
    folder.pop_back();
    long expanded = edi::expandMember(work->path() + mstrDownloadFileName, folder, document);
    if (expanded != 0) {
        // An answer archive without its answer document (or no archive at
        // all) says nothing of the exchange: an unexpected failure, unlike a
        // document that gives no code.
        logError(expanded, "応答アーカイブに応答文書 " + document + " がありません: " + mstrDownloadFileName + " " + mstrUrl);
        return k.ERR_UNEXPECTED();
    }
    return readAnswerCode(work->path() + document);
}

bool RequestReception::isAnswerArchive(const std::string& name) {
    return name.size() >= 10 && name.compare(name.size() - 10, 10, "answer.tgz") == 0;
}

std::string RequestReception::readAnswerCode(const std::string& path) {
    const Constant& k = *mobjConstant;
    xml::Document doc;
    if (!doc.load(path)) {
        logError(0, "応答文書を読めません: " + path + " " + doc.parseError().reason);
        return k.ERR_PROCESS_CONFIRM();
    }
    xml::Node code = doc.selectSingleNode("/Answer/ErrCode");
    std::string text = code.isNull() ? std::string() : code.text();
    if (text.empty()) {
        logError(0, "応答文書に結果コードがありません: " + mstrDownloadFileName + " " + mstrUrl);
        return k.ERR_PROCESS_CONFIRM();
    }
    return text;
}

bool RequestReception::saveDataFile(const std::string& folder, const std::string& name) {
    try {
        fs::writeFileAtomic(folder + name, mbytAnswer);
        return true;
    } catch (const Error& e) {
        logError(e.number(), "応答ファイルを保存できません: " + folder + name + " " + e.description());
        return false;
    }
}

bool RequestReception::writeCommunicationLog(std::string& code) {
    try {
        std::string field;
        if (!code.empty() && (code[0] == 'C' || code[0] == 'T')) {
            field = code;
        } else {
            int32_t n = toInt32(code);
            const Constant& k = *mobjConstant;
            switch (n) {
            case 0: code = k.ERR_URL_NOT_RESOLVE(); break;
            case 12002: code = k.ERR_TIME_OUT(); break;
            case 12007: code = k.ERR_CONNECT(); break;
            case 12029: code = k.ERR_RESPONSE(); break;
            case 12037: code = k.ERR_SSL_INVALID_DATE(); break;
            case 12045: code = k.ERR_SSL_INVALID_CA(); break;
            case 12152: code = k.ERR_CONNECT(); break;
            default: code = k.ERR_UNEXPECTED(); break;
            }
            field = code + "(" + std::to_string(n) + ")";
        }
        std::string line = formatLocal(mdtmExchange, "%Y/%m/%d") + "," + formatLocal(mdtmExchange, "%H:%M:%S") + "," +
                           field + "," + mstrServerCode + "," + mstrKind + "," + mstrInfoCode + "," +
                           mstrCertificateKey + "," + mstrUrl + "\r\n";
        std::string path = mstrCommLogFolder + kCommunicationLog;
        if (auto existing = fs::resolve(path)) path = *existing;
        // Every process that talks to the EDI server appends here.
        FileLock lock(path, FileLock::Mode::Exclusive, std::chrono::milliseconds(10000));
        fs::appendToFile(path, text::toCp932(line));
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace fg
