// Documents per second for a batch of 100 fax documents: 25 each of
// quotation requests, order sheets, delivery-date confirmations and payables
// notices, built, recorded and written, then laid out (no rendering). Runs
// in a scratch copy of the demo installation.
#include "documents/bench/bench_support.h"
#include "documents/quillary/fax_tran_xml.h"
#include "platform/files.h"
#include "report_maker/fax_report_maker.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace fg;
using namespace fg::bench;

int main() {
    std::string home = scratchHome("/tmp/fgbench-XXXXXX");
    if (home.empty()) return 1;
    ::setenv("FAXGATE_HOME", home.c_str(), 1);
    const std::string tempEdi = home + "temp/TempEDI/";
    const char* suppliers[] = {"S0001", "S0002", "S0003"};

    // 25 of each kind; the delivery dates and payables of one supplier come
    // as one message per document (each line its own customer code).
    std::vector<std::string> rfq, orders, delivery, payables;
    for (int i = 0; i < 25; ++i) {
        std::string s = suppliers[i % 3];
        std::string n = std::to_string(i);
        fs::writeFileAtomic(tempEdi + "b0301_" + n + ".xml",
                            "<DORE0301>" + jptrm(s, i, "<JPM001><JPM001R><RFQ-goods-quantity>5</RFQ-goods-quantity></JPM001R></JPM001>") + "</DORE0301>");
        fs::writeFileAtomic(tempEdi + "b0500_" + n + ".xml", "<DORE0500>" + jptrm(s, i, "") + "</DORE0500>");
        std::string lines;
        for (int k = 0; k < 5; ++k) lines += jptrm(s, i * 10 + k, "");
        std::string customer = "<Customer-code>C0001</Customer-code>";
        auto own = [&](std::string body) {
            std::string::size_type at;
            while ((at = body.find(customer)) != std::string::npos)
                body.replace(at, customer.size(), "<Customer-code>K" + n + "</Customer-code>");
            return body;
        };
        fs::writeFileAtomic(tempEdi + "b0701_" + n + ".xml", "<DORE0701>" + own(lines) + "</DORE0701>");
        fs::writeFileAtomic(tempEdi + "b1101_" + n + ".xml", "<DORE1101>" + own(lines) + "</DORE1101>");
        rfq.push_back("b0301_" + n);
        orders.push_back("b0500_" + n);
        delivery.push_back("b0701_" + n);
        payables.push_back("b1101_" + n);
    }

    FaxTranXml builder;
    builder.beginBatch();
    std::vector<std::string> numbers;
    auto start = std::chrono::steady_clock::now();
    bool ok = builder.makeEstiRequest(rfq, numbers) && builder.makeOrderSheet(orders, numbers) &&
              builder.makeLimitConfirmList(delivery, numbers) && builder.makeCreditDetail(payables, numbers);
    auto built = std::chrono::steady_clock::now();
    FaxReportMaker maker;
    std::string workbook;
    bool laidOut = ok;
    for (std::size_t i = 0; laidOut && i < numbers.size(); ++i) {
        const char* type = i < 25 ? "F1" : i < 50 ? "F6" : i < 75 ? "F8" : "F12";
        maker.makeReport({numbers[i]}, type, workbook, laidOut);
    }
    auto done = std::chrono::steady_clock::now();

    std::printf("documents built: %zu (%s)\n", numbers.size(), ok ? "ok" : "FAILED");
    std::printf("build and record: %.3f s, %.1f documents/s\n", seconds(built - start),
                numbers.size() / seconds(built - start));
    std::printf("layout (makeReport): %.3f s, %.1f documents/s%s\n", seconds(done - built),
                numbers.size() / seconds(done - built), laidOut ? "" : " (FAILED)");
    std::printf("whole batch without rendering: %.3f s, %.1f documents/s\n", seconds(done - start),
                numbers.size() / seconds(done - start));
    fs::removeTree(home);
    return ok && laidOut ? 0 : 1;
}
