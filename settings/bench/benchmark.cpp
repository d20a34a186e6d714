// Times the management-number store against stores of 1,000 and 10,000
// records: every call loads the whole file (and a write saves it whole), so
// a call should cost in proportion to the records on file and no worse.
#include "platform/files.h"
#include "platform/testing/temp_home.h"
#include "settings/fax_manage_num.h"
#include "platform/testing/store_files.h"
#include "platform/testing/timing.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using namespace fg;

namespace {

std::string number(int i) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "20240401093000%05d", i);
    return buf;
}

}  // namespace

int main() {
    testing::TempHome home;
    const std::string path = home.folder("FaxManageNum") + FaxManageNum::kFileName;
    std::printf("%-10s %-26s %12s %16s\n", "records", "call", "ms/call", "us/1000 records");
    for (int records : {1000, 10000}) {
        std::vector<testing::StoreRecord> all;
        all.reserve(static_cast<std::size_t>(records));
        for (int i = 0; i < records; ++i) {
            testing::StoreRecord r;
            r.number = number(i);
            r.orderNumber = "ORD" + std::to_string(i);
            r.company = i % 7 == 0 ? "㈱鈴木製作所" : "山田精機株式会社";
            r.tempImages = {r.number + "_1.g3", r.number + "_2.g3"};
            r.refImages = {r.number + "_1.jpg", r.number + "_2.jpg"};
            r.sendXml = {r.number};
            all.push_back(r);
        }
        const std::string bytes = testing::storeXml(all);
        fs::writeFileAtomic(path, bytes);
        const int calls = records >= 10000 ? 5 : 20;

        struct Row {
            const char* name;
            std::function<void(int)> call;
        } rows[] = {
            {"getManageNum (last)",
             [&](int) {
                 FaxManageNum store;
                 if (!store.getManageNum(number(records - 1))) std::fprintf(stderr, "lookup failed\n");
             }},
            {"getManageNum (first)",
             [&](int) {
                 FaxManageNum store;
                 (void)store.getManageNum(number(0));
             }},
            {"getTempImageFileToManage",
             [&](int) {
                 FaxManageNum store;
                 std::vector<std::string> pages;
                 store.getTempImageFileToManage(number(records / 2), "", pages);
             }},
            {"setManageNum (append)",
             [&](int i) {
                 FaxManageNum store;
                 store.setMstrRepManageNo("NEW" + std::to_string(i));
                 store.setMstrSendCompanyName("㈱新規");
                 if (!store.setManageNum("0")) std::fprintf(stderr, "append failed\n");
             }},
            {"setDecisionCondition",
             [&](int i) {
                 FaxManageNum store;
                 (void)store.setDecisionCondition(number(records / 2), i % 2 ? "2" : "4");
             }},
        };
        for (const Row& row : rows) {
            double ms = testing::msPerCall(calls, row.call);
            std::printf("%-10d %-26s %12.2f %16.1f\n", records, row.name, ms, ms * 1000.0 / (records / 1000.0));
        }
        std::printf("%-10d %-26s %12.1f KB\n", records, "file size", static_cast<double>(bytes.size()) / 1024.0);
    }
    return 0;
}
