// The management-number store: one FAXManageNum record per fax document in
// FAXManageNumber.xml (folder key "FaxManageNum"), keyed by its report
// management number.
//
// Record layout, binding by name and by position (the members here read
// positions, other components read names): SendDate, RepManageNo, RepType,
// FAXTempImageFileNames, FAXRefImageFileNames, FAXSendXMLFileNames,
// ReceiveXMLFileName, OrderCode, OrderName, ReceiveCode, SendCompanyName,
// SendPostName, SendChargeName, SendFAXNum, DecisionCondition,
// EnploymentMode, PageNum, ReportConfirmNo, OrderNumber. The three lists hold
// one FAXTempImageFileName / FAXRefImageFileName / FAXSendXMLFileName entry per
// file name. Positions count child nodes as the DOM loads them, white space
// between elements dropped, so indentation never shifts them.
//
// The document builder, every fax-send server, the telephone handler and the
// job programs change the file at the same time. Every change is one
// load-change-save under the file's exclusive lock with an atomic save, so no
// record is lost; reads need no lock, since a save replaces the file whole.
// A file that does not load is never saved over. The file, with its
// declaration and FAXManageNums root, is installed; nothing here creates it.
// Where the file is in the form the saves write, the members read it in one
// pass over its bytes and the writers copy them with their change spliced in
// (platform/xml_scan.h), which writes exactly what a load, the change and a
// save would; a file in any other form is loaded and saved.
#pragma once

#include "platform/xml.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fg {

class FaxManageNum {
public:
    // Reads the folder of "FaxManageNum"; raises that lookup's fg::Error.
    FaxManageNum();

    static constexpr const char* kFileName = "FAXManageNumber.xml";
    static constexpr const char* kErrorSource = "FaxManageNum";

    // Appends a record made of the properties. With "1" every record of
    // mstrRepManageNo is removed first; any other type only appends. A blank
    // mstrDecisionCondition is stored as "9". False on any failure (not
    // logged in the error log; the reason goes to the debug log).
    [[nodiscard]] bool setManageNum(const std::string& strUpdateType);
    // Loads the first record of the number (and order number) into the
    // properties. Both blank: False at once. No match: error 40012 logged
    // when blnErrOut, False; the properties keep their values.
    [[nodiscard]] bool getManageNum(const std::string& strManageNo, const std::string& strOrderNo = "", bool blnErrOut = true);
    // What a send reads of its record in one read: the first record of the
    // number loaded into the properties as getManageNum(number, "", true)
    // loads it (and False, 40012 logged, as it fails), with the entries of
    // its page lists as getTempImageFileToManage and getRefImageFileToManage
    // read them for that record.
    [[nodiscard]] bool getSendRecord(const std::string& strManageNo, std::vector<std::string>& tempImages,
                                     std::vector<std::string>& refImages);
    // Sets DecisionCondition of the first record of the number. True also
    // when no record matched. False on failure, not logged.
    [[nodiscard]] bool setDecisionCondition(const std::string& strRepManageNo, const std::string& strDecisionCondition);
    // Removes the first record of the number. True also when none matched.
    // False on failure, not logged.
    [[nodiscard]] bool delManageNum(const std::string& strRepManageNo);

    // The records of documents sent to the fax number that wait for an
    // answer, in store order: those of every FAXManageNums whose last
    // SendFAXNum is the number and whose last DecisionCondition is "0".
    // The nodes belong to a document of their own. False, with nothing
    // logged, when the store does not load.
    [[nodiscard]] bool getUnansweredRecords(const std::string& strFaxNum, std::vector<xml::Node>& records);
    // A record as the answer readers find it by name: the last RepManageNo
    // and SendFAXNum within it, and its fax documents (every
    // FAXSendXMLFileName of every FAXSendXMLFileNames), with the index of
    // the FAXManageNums that holds it.
    struct NamedRecord {
        std::size_t group = 0;
        std::string number, faxNum;
        std::vector<std::string> sendXml;
    };
    // Every FAXManageNum of every FAXManageNums, at any depth, in store
    // order. False, with nothing logged, when the store does not load.
    [[nodiscard]] bool getNamedRecords(std::vector<NamedRecord>& records);
    // Every RepManageNo of every record, by name, in store order, that
    // begins with `prefix`: the numbers the store holds taken. False, with
    // nothing logged, when the store does not load (numbers then empty).
    [[nodiscard]] bool getManageNumbers(std::vector<std::string>& numbers, const std::string& prefix = "");

    // File lists. The reads fill strFileName from index 0 and answer the
    // count; a blank number (any blank argument for the order read) answers 0
    // and leaves the array as it was. Otherwise the array starts as one ""
    // entry; a record not found logs 40008 and answers 0.
    std::int16_t getXMLFileToManage(const std::string& strManageNo, const std::string& strManageId,
                                    std::vector<std::string>& strFileName);
    std::int16_t getXMLFileToOrder(const std::string& strOrderCode, const std::string& strReceiveCode,
                                   const std::string& strOrderNo, std::vector<std::string>& strFileName);
    std::int16_t getRefImageFileToManage(const std::string& strManageNo, const std::string& strManageId,
                                         std::vector<std::string>& strFileName);
    std::int16_t getTempImageFileToManage(const std::string& strManageNo, const std::string& strManageId,
                                          std::vector<std::string>& strFileName);
    // Appends every name of the array, in order, to the list of the first
    // record of the number. No record: 40009 / 40010 / 40011 logged, False,
    // file unchanged. An empty array is an array without bounds: error 9.
    [[nodiscard]] bool subAddTempImageFileNames(const std::string& strRepManageNo, const std::vector<std::string>& strFileName);
    [[nodiscard]] bool subAddRefImageFileNames(const std::string& strRepManageNo, const std::vector<std::string>& strFileName);
    [[nodiscard]] bool subAddSendXMLFileNames(const std::string& strRepManageNo, const std::vector<std::string>& strFileName);

    // The 19 fields of a record; plain values, none of them touches the file.
    const std::string& mstrSendDate() const { return fields_[0]; }
    void setMstrSendDate(const std::string& v) { fields_[0] = v; }
    const std::string& mstrRepManageNo() const { return fields_[1]; }
    void setMstrRepManageNo(const std::string& v) { fields_[1] = v; }
    const std::string& mstrRepType() const { return fields_[2]; }
    void setMstrRepType(const std::string& v) { fields_[2] = v; }
    const std::string& mstrFAXTempImageFileName() const { return fields_[3]; }
    void setMstrFAXTempImageFileName(const std::string& v) { fields_[3] = v; }
    const std::string& mstrFAXRefImageFileName() const { return fields_[4]; }
    void setMstrFAXRefImageFileName(const std::string& v) { fields_[4] = v; }
    const std::string& mstrFAXSendXMLFileName() const { return fields_[5]; }
    void setMstrFAXSendXMLFileName(const std::string& v) { fields_[5] = v; }
    const std::string& mstrReceiveXMLFileName() const { return fields_[6]; }
    void setMstrReceiveXMLFileName(const std::string& v) { fields_[6] = v; }
    const std::string& mstrOrderCode() const { return fields_[7]; }
    void setMstrOrderCode(const std::string& v) { fields_[7] = v; }
    const std::string& mstrOrderName() const { return fields_[8]; }
    void setMstrOrderName(const std::string& v) { fields_[8] = v; }
    const std::string& mstrReceiveCode() const { return fields_[9]; }
    void setMstrReceiveCode(const std::string& v) { fields_[9] = v; }
    const std::string& mstrSendCompanyName() const { return fields_[10]; }
    void setMstrSendCompanyName(const std::string& v) { fields_[10] = v; }
    const std::string& mstrSendPostName() const { return fields_[11]; }
    void setMstrSendPostName(const std::string& v) { fields_[11] = v; }
    const std::string& mstrSendChargeName() const { return fields_[12]; }
    void setMstrSendChargeName(const std::string& v) { fields_[12] = v; }
    const std::string& mstrSendFAXNum() const { return fields_[13]; }
    void setMstrSendFAXNum(const std::string& v) { fields_[13] = v; }
    const std::string& mstrDecisionCondition() const { return fields_[14]; }
    void setMstrDecisionCondition(const std::string& v) { fields_[14] = v; }
    const std::string& mstrEnploymentMode() const { return fields_[15]; }
    void setMstrEnploymentMode(const std::string& v) { fields_[15] = v; }
    const std::string& mstrPageNum() const { return fields_[16]; }
    void setMstrPageNum(const std::string& v) { fields_[16] = v; }
    const std::string& mstrReportConfirmNo() const { return fields_[17]; }
    void setMstrReportConfirmNo(const std::string& v) { fields_[17] = v; }
    const std::string& mstrOrderNumber() const { return fields_[18]; }
    void setMstrOrderNumber(const std::string& v) { fields_[18] = v; }

    // The store's path (folder of "FaxManageNum" + "FAXManageNumber.xml").
    const std::string& storePath() const { return path_; }

    // Why the store cannot be read whole ("" when it can): a file that does
    // not load, one without FAXManageNums, or a record short of its fields.
    // The lookups answer "not found" for such a store, as their callers
    // expect; a caller that must tell the two apart asks this after a miss.
    std::string readFailure() const;

    static constexpr int kFieldCount = 19;
    // Element names of the record, in position order.
    static const char* const kFieldNames[kFieldCount];

private:
    std::string path_;
    std::string fields_[kFieldCount];
};

}  // namespace fg
