// What the document benchmarks share: a scratch copy of the demo
// installation, the EDI message line they fill with documents, and seconds.
#pragma once

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

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

}  // namespace fg::bench
