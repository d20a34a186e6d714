// Years of history for the benchmarks: old send-log and management records in
// the form the system itself writes them (compact elements, the text in UTF-8
// here, converted to code page 932 with the rest of the file).
#pragma once

#include "platform/testing/store_files.h"

#include <cstdio>
#include <string>

namespace fg::testing {

// Old management number `i`: 18 digits, unique up to 100,000,000 records.
inline std::string oldNumber(long i) {
    char n[32];
    std::snprintf(n, sizeof n, "2024030109%08ld", i);
    return n;
}

// Old management record `i`, sent to a fax number of its own, or to
// `faxNum` when one is given (a supplier holding every record).
inline StoreRecord oldStoreRecord(long i, const std::string& faxNum = {}) {
    StoreRecord r;
    r.number = oldNumber(i);
    r.faxNum = faxNum.empty() ? "03" + std::to_string(10000000 + i) : faxNum;
    r.tempImages = {r.number + "_001"};
    r.refImages = {r.number + "_001"};
    r.sendXml = {r.number};
    return r;
}

// Old send-log record `i`, one element as the fax-send servers write it.
inline std::string oldSendLogRecord(long i) {
    const std::string no = oldNumber(i);
    return "<FaxSendLog><SendDate>20240301093000</SendDate><RepManageNo>" + no +
           "</RepManageNo><RepType>注文書</RepType><OrderName>東和精機株式会社</OrderName><CompanyName>受注工業株式会社"
           "</CompanyName><PostName>営業部</PostName><ChargeName>山田</ChargeName><FAXNum>0312345678</FAXNum>"
           "<EmploymentMode>0</EmploymentMode><PageNum>1</PageNum><Result>OK</Result><ReceiveCode>S0001"
           "</ReceiveCode><ReSendDate/><FAXRefImageFileNames><FAXRefImageFileName>" + no +
           "_001</FAXRefImageFileName></FAXRefImageFileNames></FaxSendLog>";
}

}  // namespace fg::testing
