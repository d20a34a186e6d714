// The settings test helper: each mode is one kind of process that the
// concurrency tests run beside each other. Exit code 0 when every call
// answered as it should.
#include "settings/fax_manage_num.h"

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

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    try {
        if (mode == "add" && argc == 4) return add(argv[2], std::atoi(argv[3]));
        if (mode == "append" && argc == 5) return append(argv[2], argv[3], std::atoi(argv[4]));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 3;
    }
    std::fprintf(stderr, "usage: settings_test_helper add PREFIX N | append NUMBER PREFIX N\n");
    return 64;
}
