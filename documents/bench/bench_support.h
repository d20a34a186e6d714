// What the batch benchmarks share: a scratch copy of the demo installation,
// the message files of a by-code batch, and seconds (send lines that answer
// at once come from platform/testing/send_lines.h).
#pragma once

#include "documents/quillary/fax_tran_xml.h"
#include "platform/files.h"
#include "platform/testing/send_lines.h"
#include "platform/text.h"

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fg::bench {

// One JPTRM line of the supplier, numbered i, with `extra` before its end.
inline std::string jptrm(const std::string& supplier, int i, const std::string& extra) {
    char seq[16];
    std::snprintf(seq, sizeof seq, "%06d", i);
    return std::string("<JPTRM TEST=\"0\"><Sequence-number>") + seq +
           "</Sequence-number><Customer-code>C0001</Customer-code><Supplier-code>" + supplier +
           "</Supplier-code><Order-number>PO-" + seq + "</Order-number><Correction-code>A</Correction-code>"
           "<Devide-delivery-number>01</Devide-delivery-number><RFQ-number>RFQ-" + seq +
           "</RFQ-number><Parts-number>AX-1001</Parts-number><Parts-name-K>六角ボルト　Ｍ８×３０</Parts-name-K>"
           "<Unit>PCS</Unit><Customer-name-K>東和精機株式会社</Customer-name-K>" + extra + "</JPTRM>";
}

inline double seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// A fresh copy of the demo installation under a new folder made from
// `pattern` (ending in XXXXXX), ending in "/"; "" when it cannot be made.
inline std::string scratchHome(const std::string& pattern) {
    std::string home = pattern;
    if (!::mkdtemp(home.data())) return "";
    home += "/";
    std::filesystem::copy(std::string(FAXGATE_SOURCE_DIR) + "/demo/home", home,
                          std::filesystem::copy_options::recursive);
    return home;
}

// The message files of a by-code batch of five documents per supplier (two
// quotation requests, an order sheet, a delivery-date confirmation and a
// payables notice) for `suppliers` suppliers, written into `messageFolder`,
// with the suppliers registered in `makerFolder`.
inline std::vector<GET_FILE> byCodeMessages(const std::string& messageFolder, const std::string& makerFolder,
                                            int suppliers) {
    std::vector<GET_FILE> data{{0, "0301", {}, {}}, {0, "0500", {}, {}}, {0, "0701", {}, {}}, {0, "1101", {}, {}}};
    auto add = [&](std::size_t record, const std::string& supplier, const std::string& name, const std::string& body) {
        fs::writeFileAtomic(messageFolder + name + ".xml", body);
        data[record].strSupplier.push_back(supplier);
        data[record].strGetFile.push_back(name);
        ++data[record].intCnt;
    };
    for (int s = 1; s <= suppliers; ++s) {
        char code[16], fax[16];
        std::snprintf(code, sizeof code, "S1%04d", s);
        std::snprintf(fax, sizeof fax, "03111%05d", s);
        fs::writeFileAtomic(makerFolder + code + ".XML",
                            text::toCp932(std::string("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><Maker-information>"
                                                      "<Supplier-code>") + code + "</Supplier-code><Supplier-name>受注者" +
                                          code + "</Supplier-name><Person-name>担当</Person-name><Section-name>営業部"
                                          "</Section-name><Fax-number>" + fax + "</Fax-number></Maker-information>"));
        const std::string n = code;
        const std::string rfqLine = "<JPM001><JPM001R><RFQ-goods-quantity>5</RFQ-goods-quantity></JPM001R></JPM001>";
        add(0, code, "q1_" + n, "<DORE0301>" + jptrm(code, s * 10 + 1, rfqLine) + "</DORE0301>");
        add(0, code, "q2_" + n, "<DORE0301>" + jptrm(code, s * 10 + 2, rfqLine) + "</DORE0301>");
        add(1, code, "o_" + n, "<DORE0500>" + jptrm(code, s * 10 + 3, "") + "</DORE0500>");
        add(2, code, "d_" + n, "<DORE0701>" + jptrm(code, s * 10 + 4, "") + jptrm(code, s * 10 + 5, "") + "</DORE0701>");
        add(3, code, "p_" + n, "<DORE1101>" + jptrm(code, s * 10 + 6, "") + jptrm(code, s * 10 + 7, "") + "</DORE1101>");
    }
    return data;
}

}  // namespace fg::bench
