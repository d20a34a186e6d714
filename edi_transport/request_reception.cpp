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

#include <memory>
#include <mutex>
#include <string_view>

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

// The answer text of one exchange on its way to its file: decoded as it
// comes, so that no answer is ever held whole, and written under no name
// until it is whole. An answer that fails on the way, or is refused, leaves
// nothing; the work folder of an answer archive or of a sending operation's
// data answer goes with the object.
class AnswerFile : public HttpConnection::Receiver, private edi::Base64TextDecoder::Output {
public:
    enum class Fault { None, Undecodable, NameRefused, NotWritten };

    AnswerFile(const std::string& tempFolder, const std::string& savePath) : temp_(tempFolder), save_(savePath) {}

    void begin(const std::string& fileName) override {
        name_ = fileName;
        // A name the server gives for its answer file must stay inside the
        // folder it is saved to.
        if (!fs::isBareName(name_)) {
            fault_ = Fault::NameRefused;
            return;
        }
        try {
            // Nobody reads a sending operation's data answer; it must not land
            // in whatever folder the process happens to run in.
            if (isArchive() || save_.empty()) work_ = std::make_unique<edi::PrivateFolder>(temp_, ".exchange-");
        } catch (const Error& e) {
            notWritten(e.number(), e.description());
            return;
        }
        try {
            file_ = std::make_unique<fs::AtomicFileWriter>(folder() + name_);
        } catch (const Error& e) {
            notSaved(e);
        }
    }

    bool take(std::string_view piece) override {
        if (head_.size() < kHead) head_.append(piece.substr(0, kHead - head_.size()));
        if (fault_ == Fault::None && !file_) begin("");  // no name: no name to save under
        if (fault_ != Fault::None) return false;
        try {
            if (!decoder_.take(piece)) fault_ = Fault::Undecodable;
        } catch (const Error& e) {
            notSaved(e);
        }
        return fault_ == Fault::None;
    }

    // After the exchange: whether the answer decoded and stands whole under
    // its name in folder().
    Fault finish() {
        if (fault_ != Fault::None) return fault_;
        try {
            if (!decoder_.finish()) return fault_ = Fault::Undecodable;
            file_->commit();
        } catch (const Error& e) {
            notSaved(e);
        }
        return fault_;
    }

    // An answer archive is read in the work folder, whatever the operation.
    bool isArchive() const { return name_.size() >= 10 && name_.compare(name_.size() - 10, 10, "answer.tgz") == 0; }
    // Where the answer goes, ending with "/".
    std::string folder() const { return work_ ? work_->path() : fs::withSlash(save_); }
    // The start of the answer text, for the Base64Text property.
    const std::string& head() const { return head_; }
    std::uint64_t textSize() const { return decoder_.textSize(); }

private:
    // Enough of a text to tell what it was.
    static constexpr std::size_t kHead = 64 * 1024;

    void write(std::string_view bytes) override { file_->write(bytes); }
    void cutBack(std::uint64_t size) override { file_->truncate(size); }
    void notWritten(long number, const std::string& description) {
        logError(number, description);
        file_.reset();
        fault_ = Fault::NotWritten;
    }
    void notSaved(const Error& e) {
        notWritten(e.number(), "応答ファイルを保存できません: " + folder() + name_ + " " + e.description());
    }

    std::string temp_;
    std::string save_;
    std::string name_;
    std::string head_;
    std::unique_ptr<edi::PrivateFolder> work_;
    std::unique_ptr<fs::AtomicFileWriter> file_;
    edi::Base64TextDecoder decoder_{*this};
    Fault fault_ = Fault::None;
};

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
        AnswerFile answer(mstrTempFolder, savePath);
        client = makeConnection();
        client->open(url);
        client->send(body, answer);
        result = client->errorCode();
        mstrDownloadFileName = client->downloadFileName();
        mstrBase64Text = answer.head();

        // An answer the receiving side refused on the way ends like one that came whole.
        if (result == k.ERR_NONE() || result == std::to_string(HttpConnection::kAnswerRefused)) {
            switch (answer.finish()) {
            case AnswerFile::Fault::Undecodable:
                client.reset();
                logError(0, "応答を復号できません (" + k.ERR_DECODE() + "): " + mstrUrl + " " +
                                std::to_string(answer.textSize()) + " bytes");
                return k.ERR_DECODE();
            case AnswerFile::Fault::NameRefused:
                logError(0, "サーバーの応答ファイル名を拒否しました: \"" + mstrDownloadFileName + "\" " + mstrUrl);
                result = k.ERR_PROCESS_DATA();
                break;
            case AnswerFile::Fault::NotWritten:
                result = answer.isArchive() ? k.ERR_PROCESS_CONFIRM() : k.ERR_PROCESS_DATA();
                break;
            case AnswerFile::Fault::None:
                result = answer.isArchive() ? handleAnswerArchive(answer.folder()) : k.ERR_NONE();
                break;
            }
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

std::string RequestReception::handleAnswerArchive(const std::string& folder) {
    const Constant& k = *mobjConstant;
    std::string document = mstrDownloadFileName.substr(0, mstrDownloadFileName.size() - 3) + "xml";
    long expanded = edi::expandMember(folder + mstrDownloadFileName, folder.substr(0, folder.size() - 1), document);
    if (expanded != 0) {
        // An answer archive without its answer document (or no archive at
        // all) says nothing of the exchange: an unexpected failure, unlike a
        // document that gives no code.
        logError(expanded, "応答アーカイブに応答文書 " + document + " がありません: " + mstrDownloadFileName + " " + mstrUrl);
        return k.ERR_UNEXPECTED();
    }
    return readAnswerCode(folder + document);
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
        // Each line holds the client certification key: no one else reads it.
        fs::appendToFile(path, text::toCp932(line), fs::Readers::OwnerOnly);
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace fg
