// The sends of one month to one fax number, as the send-history list shows
// them and as the telephone side checks for them before it starts that list.
#pragma once

#include "platform/xml.h"

#include <functional>
#include <string>

namespace fg {

// Every FaxSendLog record of a send log that has a FaxSendLogs element, in
// the order of the log and each once, with a SendDate whose first six
// characters are the month ("YYYYMM"), a FAXNum that is the fax number
// exactly as given (no digits compared apart from their punctuation), a
// RepType other than the test fax's "テスト帳票" and an EmploymentMode of
// "0", real operation. A record's children are found at any depth, and one
// element of each name that passes is enough. A month that is not six
// characters long selects nothing.
xml::NodeList sendsOfMonth(const xml::Document& log, const std::string& month, const std::string& faxNo);

// The same rule for one record, however its elements are read.
class MonthSends {
public:
    using Test = std::function<bool(const std::string&)>;
    // Whether any descendant element of the record of that name has a text
    // that passes the test.
    using AnyText = std::function<bool(const char* name, const Test& test)>;

    MonthSends(std::string month, std::string faxNo);
    [[nodiscard]] bool holds(const AnyText& anyText) const;

private:
    std::string month_, faxNo_;
    bool wholeMonth_;
};

}  // namespace fg
