// The test helper: each mode is one kind of process that the platform tests
// run beside each other.
#include "platform/clock.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/file_lock.h"
#include "platform/xml.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace fg;

namespace {

// Adds one to the counter n times, each under the lock, load-change-save.
int add(const std::string& path, int n) {
    for (int i = 0; i < n; ++i) {
        FileLock lock(path);
        xml::Document doc;
        if (!doc.load(path)) {
            std::fprintf(stderr, "load failed: %s\n", doc.parseError().reason.c_str());
            return 1;
        }
        xml::Node value = doc.selectSingleNode("/Counter/Value");
        value.setText(std::to_string(std::stol(value.text()) + 1));
        doc.save(path);
    }
    return 0;
}

// Saves ever new generations of a large document until killed. Every
// generation is consistent in itself: all items carry its number.
int churn(const std::string& path) {
    for (long gen = 1;; ++gen) {
        xml::Document doc;
        doc.appendChild(doc.createProcessingInstruction("xml", "version=\"1.0\" encoding=\"Shift_JIS\""));
        xml::Node root = doc.appendChild(doc.createElement("Generation"));
        root.setAttribute("gen", std::to_string(gen));
        for (int i = 0; i < 3000; ++i) {
            xml::Node item = root.appendChild(doc.createElement("Item"));
            item.setAttribute("gen", std::to_string(gen));
            item.setText("品目" + std::to_string(i));
        }
        doc.save(path);
        if (gen == 1) {
            std::puts("saved");
            std::fflush(stdout);
        }
    }
}

int hold(const std::string& path, const std::string& mode) {
    FileLock lock = mode == "folder" ? FileLock::forFolder(path)
                                     : FileLock(path, mode == "shared" ? FileLock::Mode::Shared : FileLock::Mode::Exclusive);
    std::puts("locked");
    std::fflush(stdout);
    for (;;) ::pause();
}

int log(int n, const std::string& tag) {
    std::string filler(3000, 'x');
    for (int i = 0; i < n; ++i)
        ErrorLogWriter().writeError("helper", Error(40000 + i, tag + ":" + std::to_string(i) + ":" + filler + ":end"));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    try {
        if (mode == "add" && argc == 4) return add(argv[2], std::atoi(argv[3]));
        if (mode == "churn" && argc == 3) return churn(argv[2]);
        if (mode == "hold" && argc == 4) return hold(argv[2], argv[3]);
        if (mode == "log" && argc == 4) return log(std::atoi(argv[2]), argv[3]);
        if (mode == "scale") {
            std::printf("%lld\n", static_cast<long long>(fg::clock().realDuration(std::chrono::milliseconds(1000)).count()));
            return 0;
        }
    } catch (const Error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "usage: platform_test_helper add FILE N | churn FILE | hold FILE MODE | log N TAG | scale\n");
    return 2;
}
