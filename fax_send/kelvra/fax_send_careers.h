// The send history: one FaxSendLog record per sent document in
// FaxSendLog.xml (folder key "FaxSendLog"), written by the fax-send server and
// read by the telephone side and the send-history job.
//
// Record layout, children in this order, text only, no white space between
// elements: SendDate, RepManageNo, RepType, FAXRefImageFileNames (zero or more
// FAXRefImageFileName), OrderName, CompanyName, PostName, ChargeName, FAXNum,
// EmploymentMode, PageNum, Result, ReceiveCode, ReSendDate. setSendImage moves
// FAXRefImageFileNames behind ReSendDate; positions 1 to 3 never change, and
// readers find everything else by name.
//
// Several fax-send servers change the file at once, so every load-change-save
// holds the file's exclusive lock and saves atomically: no record is lost and
// a reader never sees half a file. The file must exist with its FaxSendLogs
// root; nothing here creates it.
//
// The log grows for years. Every member reads and checks the whole file, but
// in one pass over its bytes (platform/xml_scan.h) where the file is in the
// form the saves write; a writer then copies those bytes with its change
// spliced in, which writes exactly what a load, the change and a save would.
// A file in any other form is loaded and saved, as a person may have left it.
#pragma once

#include "platform/xml.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fg {

class FaxSendCareers {
public:
    // Reads the folder of "FaxSendLog" once; raises that lookup's fg::Error.
    FaxSendCareers();

    static constexpr const char* kFileName = "FaxSendLog.xml";
    static constexpr const char* kErrorSource = "FaxSendCareers";

    // Appends one record built from the properties. True when saved.
    [[nodiscard]] bool setSendCareer();
    // Sets PageNum, Result and ReSendDate of every record of that number and
    // type. True when at least one matched; the file is saved either way.
    [[nodiscard]] bool setReSendCareer(const std::string& strRepManageNo, const std::string& strRepType,
                         const std::string& strDate, std::int16_t intSendCnt, const std::string& strResult);
    // True when a record of that number and type exists.
    [[nodiscard]] bool checkSendCareer(const std::string& strRepManageNo, const std::string& strRepType);
    // The Result of the first record whose second element is that number,
    // as a send reads it before it starts ("" when no record or no Result);
    // a log that does not load holds none. False, logged, when it cannot be
    // told.
    [[nodiscard]] bool findSendResult(const std::string& strRepManageNo, std::string& strResult);
    // Every RepManageNo of every record, by name, in log order, that begins
    // with `prefix`: the numbers the log holds taken. A log that is missing
    // holds none. False, with why in the debug log, when it cannot be read
    // or does not load (numbers then empty).
    [[nodiscard]] bool getManageNumbers(std::vector<std::string>& numbers, const std::string& prefix = "");
    // The records of the month's sends to the fax number (sendsOfMonth),
    // in log order, in a document of their own; only they are made into
    // nodes. False, with why in the debug log, when the log cannot be read
    // or does not load.
    [[nodiscard]] bool getSendsOfMonth(const std::string& strYD, const std::string& strFaxNo,
                                       std::vector<xml::Node>& sends);
    // Removes the first record of that number. True when saved, also when
    // none matched.
    [[nodiscard]] bool delSendCareer(const std::string& strRepManageNo);
    // Adds an image name to every record of that number (once each), moving
    // the record last and its image list behind ReSendDate. True when saved.
    [[nodiscard]] bool setSendImage(const std::string& strRepManageNo, const std::string& strImageFile);
    // A send's outcome in one pass over the log, written as the members one
    // by one write it: with a record of the properties' number and type on
    // file (checkSendCareer), what setReSendCareer writes with the
    // properties' date, page count and result; else what setSendCareer and
    // then setSendImage for each of `images` write. `resent` tells which.
    // True when saved; False, logged, when it cannot be. nullopt, nothing
    // written, where the log is not in the form its saves write, a record
    // lacks its number or type, or an image name cannot be held: the caller
    // then calls the members one by one, which tell those cases as ever.
    [[nodiscard]] std::optional<bool> setSendOutcome(const std::vector<std::string>& images, bool& resent);

    // The properties; writing a record does not clear them.
    const std::string& strOrderName() const { return orderName_; }
    void setStrOrderName(const std::string& v) { orderName_ = v; }
    const std::string& strRepManageNo() const { return repManageNo_; }
    void setStrRepManageNo(const std::string& v) { repManageNo_ = v; }
    const std::string& strRepType() const { return repType_; }
    void setStrRepType(const std::string& v) { repType_ = v; }
    const std::string& strFAXRefImageFileName() const { return refImageFileName_; }
    void setStrFAXRefImageFileName(const std::string& v) { refImageFileName_ = v; }
    const std::string& strSendCompanyName() const { return sendCompanyName_; }
    void setStrSendCompanyName(const std::string& v) { sendCompanyName_ = v; }
    const std::string& strSendPostName() const { return sendPostName_; }
    void setStrSendPostName(const std::string& v) { sendPostName_ = v; }
    const std::string& strSendChargeName() const { return sendChargeName_; }
    void setStrSendChargeName(const std::string& v) { sendChargeName_ = v; }
    const std::string& strSendFAXNum() const { return sendFaxNum_; }
    void setStrSendFAXNum(const std::string& v) { sendFaxNum_ = v; }
    const std::string& strSendPageNum() const { return sendPageNum_; }
    void setStrSendPageNum(const std::string& v) { sendPageNum_ = v; }
    const std::string& strSendResult() const { return sendResult_; }
    void setStrSendResult(const std::string& v) { sendResult_ = v; }
    const std::string& strSendDate() const { return sendDate_; }
    void setStrSendDate(const std::string& v) { sendDate_ = v; }
    const std::string& strEnploymentMode() const { return enploymentMode_; }
    void setStrEnploymentMode(const std::string& v) { enploymentMode_ = v; }
    const std::string& strReciverCode() const { return reciverCode_; }
    void setStrReciverCode(const std::string& v) { reciverCode_ = v; }
    const std::string& strReSendDate() const { return reSendDate_; }
    void setStrReSendDate(const std::string& v) { reSendDate_ = v; }

    // The send log's path (folder of "FaxSendLog" + "FaxSendLog.xml").
    const std::string& logPath() const { return path_; }

private:
    // The record setSendCareer appends, made in `doc` as the last child of
    // `parent` (the log's root, or `doc` itself for a record written alone),
    // its values set there.
    xml::Node newRecord(xml::Document& doc, xml::Node parent) const;

    std::string path_;
    std::string orderName_, repManageNo_, repType_, refImageFileName_, sendCompanyName_, sendPostName_,
        sendChargeName_, sendFaxNum_, sendPageNum_, sendResult_, sendDate_, enploymentMode_, reciverCode_,
        reSendDate_;
};

}  // namespace fg
