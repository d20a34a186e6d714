#include "fax_send/kelvra/month_sends.h"

#include "platform/text.h"

namespace fg {

namespace {

constexpr const char* kTestFaxTitle = "テスト帳票";
constexpr const char* kRealOperation = "0";

// Whether any descendant element of that name has a text that passes.
template <class Test>
bool anyText(const xml::Node& record, const char* name, Test test) {
    for (const xml::Node& n : record.getElementsByTagName(name))
        if (test(n.text())) return true;
    return false;
}

}  // namespace

xml::NodeList sendsOfMonth(const xml::Document& log, const std::string& month, const std::string& faxNo) {
    xml::NodeList sends;
    if (text::length16(month) != 6 || log.getElementsByTagName("FaxSendLogs").empty()) return sends;
    for (const xml::Node& record : log.getElementsByTagName("FaxSendLog")) {
        if (anyText(record, "SendDate", [&](const std::string& t) { return text::mid16(t, 0, 6) == month; }) &&
            anyText(record, "FAXNum", [&](const std::string& t) { return t == faxNo; }) &&
            anyText(record, "RepType", [](const std::string& t) { return t != kTestFaxTitle; }) &&
            anyText(record, "EmploymentMode", [](const std::string& t) { return t == kRealOperation; }))
            sends.push_back(record);
    }
    return sends;
}

}  // namespace fg
