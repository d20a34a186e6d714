// The settings test helper: each mode is one kind of process that the
// concurrency tests run beside each other. Exit code 0 when every call
// answered as it should.
#include "platform/files.h"
#include "settings/fax_manage_num.h"
#include "settings/manage_records.h"
#include "settings/maker_info.h"

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace fg;

namespace {

// Adds `count` records numbered <prefix>-<i>.
int add(const std::string& prefix, int count) {
    for (int i = 0; i < count; ++i) {
        FaxManageNum store;
        store.setMstrRepManageNo(prefix + "-" + std::to_string(i));
        store.setMstrSendCompanyName("㈱並行試験");
        store.setMstrFAXTempImageFileName(prefix + "-" + std::to_string(i) + ".g3");
        if (!store.setManageNum("0")) {
            std::fprintf(stderr, "setManageNum failed for %s-%d\n", prefix.c_str(), i);
            return 2;
        }
    }
    return 0;
}

// Adds `count` records numbered <prefix>-<i>, `perSave` of them in each save.
int addMany(const std::string& prefix, int count, int perSave) {
    for (int first = 0; first < count; first += perSave) {
        StoreChanges changes;
        for (int i = first; i < count && i < first + perSave; ++i) {
            ManageRecord r;
            r.fields[1] = prefix + "-" + std::to_string(i);
            r.fields[10] = "㈱並行試験";
            r.tempImages = {r.fields[1] + ".g3"};
            changes.add(r);
        }
        changes.apply();
    }
    return 0;
}

// Appends `count` page names <prefix>-<i> to the record of `number`, one per call.
int append(const std::string& number, const std::string& prefix, int count) {
    for (int i = 0; i < count; ++i) {
        FaxManageNum store;
        if (!store.subAddTempImageFileNames(number, {prefix + "-" + std::to_string(i)})) {
            std::fprintf(stderr, "subAddTempImageFileNames failed for %s-%d\n", prefix.c_str(), i);
            return 2;
        }
    }
    return 0;
}

// The two supplier sets the swap test installs in turn; "K0001" is in both.
const std::vector<std::string> kSetA{"a1.XML", "a2.XML", "a3.XML"};
const std::vector<std::string> kSetB{"b1.XML", "b2.XML", "b3.XML", "b4.XML", "b5.XML"};
const std::vector<std::string> kCodesA{"K0001", "A2", "A3"};
const std::vector<std::string> kCodesB{"K0001", "B2", "B3", "B4", "B5"};

// Installs set A and set B in turn, `rounds` times each.
int swapMakers(int rounds) {
    for (int i = 0; i < rounds; ++i) {
        for (const auto* set : {&kSetA, &kSetB}) {
            MakerInfo makers;
            if (!makers.saveMakerInfo(*set)) {
                std::fprintf(stderr, "saveMakerInfo failed in round %d\n", i);
                return 2;
            }
        }
    }
    return 0;
}

// Looks suppliers up until `stopFile` exists; every lookup must see one whole set.
int readMakers(const std::string& stopFile) {
    long reads = 0;
    while (!fs::fileExists(stopFile) || reads == 0) {
        MakerInfo makers;
        auto codes = makers.getAllMakerInfo();
        if (!codes || (*codes != kCodesA && *codes != kCodesB)) {
            std::fprintf(stderr, "saw %zu suppliers, not a whole set\n", codes ? codes->size() : 0);
            return 2;
        }
        if (!makers.getMakerInfo("K0001") || !makers.checkMaker("0300000001")) {
            std::fprintf(stderr, "the supplier in both sets was not found\n");
            return 2;
        }
        ++reads;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    try {
        if (mode == "add" && argc == 4) return add(argv[2], std::atoi(argv[3]));
        if (mode == "add-many" && argc == 5) return addMany(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
        if (mode == "append" && argc == 5) return append(argv[2], argv[3], std::atoi(argv[4]));
        if (mode == "makers-swap" && argc == 3) return swapMakers(std::atoi(argv[2]));
        if (mode == "makers-read" && argc == 3) return readMakers(argv[2]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 3;
    }
    std::fprintf(stderr, "usage: settings_test_helper add PREFIX N | add-many PREFIX N PER-SAVE | append NUMBER PREFIX N | makers-swap N | makers-read STOPFILE\n");
    return 64;
}
