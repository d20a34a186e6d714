// The sends of one month to one fax number, as the send-history list shows
// them and as the telephone side checks for them before it starts that list.
#pragma once

#include "platform/xml.h"

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

}  // namespace fg
