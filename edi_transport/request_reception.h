// One exchange with a servlet of the EDI server per call: the request archive
// goes out as base64 text, the answer comes back as a data file or as an
// answer archive whose answer.xml holds the server's result code, and every
// exchange is a line of communicationlog.csv.
//
// No operation raises: each returns a result code of Constant ("T0000" or a
// server "C" code on success, "T" codes for the transport's failures).
// Beyond the plain protocol, the exchange keeps these rules:
// - the answer file name the server gives must be a bare name: one with a
//   "/" or "\", or "." or "..", is refused with "T1006" and logged;
// - an answer archive is saved, unpacked and read in a work folder of this
//   exchange alone (inside the "temp" folder), which is removed afterwards;
//   an archive without its answer document gives "T1007";
// - a plain data answer with no save folder (the sending operations) goes to
//   that work folder too and is deleted with it, never to the current folder;
// - an empty /Answer/ErrCode counts as a missing one ("T1007");
// - the answer is decoded and written to its file as it comes, never held
//   whole; the file takes its name only once it is whole, and an answer that
//   fails on the way leaves nothing. Base64Text keeps only the first 64 KB
//   of the answer text. An answer text longer than MaxAnswerBytes of
//   connection.xml is refused as soon as it passes the bound: "T9999",
//   logged as T9999(20063);
// - failures that the communication log does not show (an answer that does not
//   decode, a log line that cannot be written, an unexpected failure) go to
//   the error log with source "RequestReception".
#pragma once

#include "edi_transport/constant.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace fg {

class HttpConnection;

class RequestReception {
public:
    // Takes the communication-log and work folders from folder.xml; raises
    // the error of FolderInformation when they cannot be read.
    RequestReception();
    ~RequestReception();
    RequestReception(const RequestReception&) = delete;
    RequestReception& operator=(const RequestReception&) = delete;

    std::string ServerCode() const { return mstrServerCode; }
    void setServerCode(const std::string& value) { mstrServerCode = value; }
    std::string InfoCode() const { return mstrInfoCode; }
    void setInfoCode(const std::string& value) { mstrInfoCode = value; }
    std::string AnswerFileName() const { return mstrAnswerFileName; }
    void setAnswerFileName(const std::string& value) { mstrAnswerFileName = value; }
    std::string DownloadFileName() const { return mstrDownloadFileName; }
    void setCertificateKey(const std::string& value) { mstrCertificateKey = value; }
    std::string CertificateKey() const { return mstrCertificateKey; }
    std::string Base64Text() const { return mstrBase64Text; }

    // The servlets. `strUrl` is the server's method root (ending "/"); the
    // servlet path is appended as it stands. Receiving operations store a
    // plain data answer in `strSavePath`.
    std::string getAmount(const std::string& strUrl, const std::string& strRequestFile, const std::string& strSavePath);
    std::string getEdiData(const std::string& strUrl, const std::string& strRequestFile, const std::string& strSavePath);
    std::string getMaker(const std::string& strUrl, const std::string& strRequestFile, const std::string& strSavePath);
    std::string putEdiData(const std::string& strUrl, const std::string& strRequestFile);
    std::string putMaker(const std::string& strUrl, const std::string& strRequestFile);
    std::string putConfirm(const std::string& strUrl, const std::string& strRequestFile);
    std::string reGetEdiData(const std::string& strUrl, const std::string& strRequestFile, const std::string& strSavePath);
    std::string getFaxReminder(const std::string& strUrl, const std::string& strRequestFile,
                               const std::string& strSavePath);
    std::string delFaxReminder(const std::string& strUrl, const std::string& strRequestFile);
    std::string getIndex(const std::string& strUrl, const std::string& strRequestFile, const std::string& strSavePath);
    std::string getWebEdiData(const std::string& strUrl, const std::string& strRequestFile,
                              const std::string& strSavePath);
    std::string getFaxMaker(const std::string& strUrl, const std::string& strRequestFile, const std::string& strSavePath);
    std::string getSupplierCode(const std::string& strUrl, const std::string& strRequestFile,
                                const std::string& strSavePath);

    // Tests put their own client in place of HttpConnection; nullptr
    // restores it. Not for production callers.
    using ConnectionFactory = std::function<std::unique_ptr<HttpConnection>()>;
    static void setConnectionFactory(ConnectionFactory factory);

    static constexpr const char* kCommunicationLog = "communicationlog.csv";

private:
    std::string operation(const char* kind, const char* servlet, const std::string& url,
                          const std::string& requestFile, const std::string& savePath);
    std::string sendRequest(const std::string& url, const std::string& requestFile, const std::string& savePath);
    std::string handleAnswerArchive(const std::string& folder);
    bool writeCommunicationLog(std::string& code);
    std::string readAnswerCode(const std::string& path);

    std::string mstrServerCode;
    std::string mstrUrl;
    std::string mstrKind;
    std::string mstrInfoCode;
    std::string mstrAnswerFileName;
    std::chrono::system_clock::time_point mdtmExchange;
    std::string mstrCommLogFolder;
    std::string mstrTempFolder;
    std::string mstrCertificateKey;
    std::string mstrDownloadFileName;
    std::string mstrBase64Text;
    std::unique_ptr<Constant> mobjConstant;
};

}  // namespace fg
