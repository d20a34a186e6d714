// Management files for the tests, written as text: compact as the store
// writes them, or indented as a person may have left them.
#pragma once

#include "platform/text.h"

#include <string>
#include <vector>

namespace fg::testing {

struct StoreRecord {
    std::string sendDate = "20240401093000";
    std::string number;
    std::string repType = "注文書";
    std::vector<std::string> tempImages, refImages, sendXml;
    std::string receiveXml, orderCode = "C01", orderName = "発注株式会社", receiveCode = "S0001";
    std::string company = "受注工業株式会社", post = "営業部", charge = "山田", faxNum = "0312345678";
    std::string decision = "9", mode = "0", pages = "1", confirmNo, orderNumber;
};

inline std::string element(const std::string& name, const std::string& value) {
    return value.empty() ? "<" + name + "/>" : "<" + name + ">" + value + "</" + name + ">";
}

// An empty list is written as the store writes it, "<name/>".
inline std::string list(const std::string& name, const std::string& entry, const std::vector<std::string>& values) {
    if (values.empty()) return "<" + name + "/>";
    std::string out = "<" + name + ">";
    for (const auto& v : values) out += element(entry, v);
    return out + "</" + name + ">";
}

// One record; `indent` puts every element on a line of its own.
inline std::string recordXml(const StoreRecord& r, bool indent = false) {
    std::string sep = indent ? "\r\n    " : "";
    std::string parts[] = {
        element("SendDate", r.sendDate),
        element("RepManageNo", r.number),
        element("RepType", r.repType),
        list("FAXTempImageFileNames", "FAXTempImageFileName", r.tempImages),
        list("FAXRefImageFileNames", "FAXRefImageFileName", r.refImages),
        list("FAXSendXMLFileNames", "FAXSendXMLFileName", r.sendXml),
        element("ReceiveXMLFileName", r.receiveXml),
        element("OrderCode", r.orderCode),
        element("OrderName", r.orderName),
        element("ReceiveCode", r.receiveCode),
        element("SendCompanyName", r.company),
        element("SendPostName", r.post),
        element("SendChargeName", r.charge),
        element("SendFAXNum", r.faxNum),
        element("DecisionCondition", r.decision),
        element("EnploymentMode", r.mode),
        element("PageNum", r.pages),
        element("ReportConfirmNo", r.confirmNo),
        element("OrderNumber", r.orderNumber)};
    std::string out = (indent ? "  " : "") + std::string("<FAXManageNum>");
    for (const auto& p : parts) out += sep + p;
    return out + (indent ? "\r\n  " : "") + "</FAXManageNum>";
}

// A whole store in Shift_JIS (code page 932 bytes) or UTF-8.
inline std::string storeXml(const std::vector<StoreRecord>& records, bool indent = false, bool shiftJis = true) {
    std::string out = std::string("<?xml version=\"1.0\" encoding=\"") + (shiftJis ? "Shift_JIS" : "UTF-8") +
                      "\"?>\r\n<FAXManageNums>";
    for (const auto& r : records) out += (indent ? "\r\n" : "") + recordXml(r, indent);
    out += (indent ? "\r\n" : "") + std::string("</FAXManageNums>\r\n");
    return shiftJis ? text::toCp932(out) : out;
}

}  // namespace fg::testing
