#include "fax_send/kelvra/month_sends.h"

#include "platform/text.h"

#include <utility>

namespace fg {

namespace {

constexpr const char* kTestFaxTitle = "テスト帳票";
constexpr const char* kRealOperation = "0";

}  // namespace

MonthSends::MonthSends(std::string month, std::string faxNo)
    : month_(std::move(month)), faxNo_(std::move(faxNo)), wholeMonth_(text::length16(month_) == 6) {}

bool MonthSends::holds(const AnyText& anyText) const {
    return wholeMonth_ &&
           anyText("SendDate", [&](const std::string& t) { return text::mid16(t, 0, 6) == month_; }) &&
           anyText("FAXNum", [&](const std::string& t) { return t == faxNo_; }) &&
           anyText("RepType", [](const std::string& t) { return t != kTestFaxTitle; }) &&
           anyText("EmploymentMode", [](const std::string& t) { return t == kRealOperation; });
}

xml::NodeList sendsOfMonth(const xml::Document& log, const std::string& month, const std::string& faxNo) {
    xml::NodeList sends;
    const MonthSends rule(month, faxNo);
    if (text::length16(month) != 6 || log.getElementsByTagName("FaxSendLogs").empty()) return sends;
    for (const xml::Node& record : log.getElementsByTagName("FaxSendLog")) {
        if (rule.holds([&](const char* name, const MonthSends::Test& test) {
                for (const xml::Node& n : record.getElementsByTagName(name))
                    if (test(n.text())) return true;
                return false;
            }))
            sends.push_back(record);
    }
    return sends;
}

}  // namespace fg
