// Extraction throughput of the archive service against GNU tar on the same
// answer archive: 5,000 members, about 50 MB packed. Prints the figures.
#include "archive/grenwald/archive.h"
#include "platform/files.h"
#include "platform/process/process.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace fg;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kMembers = 5000;
constexpr std::size_t kMemberBytes = 10 * 1024;  // random bytes: packed, the archive stays ~50 MB

std::string makeFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/fg-archive-bench-XXXXXX";
    if (!::mkdtemp(path.data())) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    return path + "/";
}

bool run(const std::vector<std::string>& args, const std::string& folder) {
    SpawnOptions options;
    options.workingFolder = folder;
    Process p = Process::start("/usr/bin/tar", args, options);
    return p.waitFor(std::chrono::milliseconds(600000)) && p.exitCode() == 0;
}

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

}  // namespace

int main() {
    std::string root = makeFolder();
    std::string src = root + "src/";
    fs::makeFolders(src + "docs");
    uint64_t state = 0x9E3779B97F4A7C15ull;
    std::string bytes(kMemberBytes, '\0');
    for (int i = 0; i < kMembers; ++i) {
        for (auto& c : bytes) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            c = static_cast<char>(state);
        }
        char name[64];
        std::snprintf(name, sizeof name, "docs/D%05d.XML", i);
        fs::writeFileAtomic(src + name, bytes);
    }
    fs::writeFileAtomic(src + "INDEX.CSV", "0301,A001\r\n");
    std::string tgz = root + "answer.tgz";
    if (!run({"-czf", tgz, "."}, src)) {
        std::fprintf(stderr, "tar could not make the archive\n");
        return 1;
    }
    struct stat st {};
    ::stat(tgz.c_str(), &st);
    double mb = static_cast<double>(st.st_size) / (1024.0 * 1024.0);

    const int rounds = 3;
    double best = 1e9, bestTar = 1e9;
    for (int r = 0; r < rounds; ++r) {
        std::string a = root + "a" + std::to_string(r) + "/";
        std::string b = root + "b" + std::to_string(r) + "/";
        fs::makeFolders(a);
        fs::makeFolders(b);
        Archive service;
        service.setFile(tgz);
        auto t0 = Clock::now();
        long result = service.expand(a.substr(0, a.size() - 1), "");
        auto t1 = Clock::now();
        bool tarOk = run({"xzf", tgz, "-C", b}, root);
        auto t2 = Clock::now();
        if (result != 0 || !tarOk) {
            std::fprintf(stderr, "extraction failed: service %ld, tar %d\n", result, tarOk ? 0 : 1);
            return 1;
        }
        best = std::min(best, seconds(t0, t1));
        bestTar = std::min(bestTar, seconds(t1, t2));
        fs::removeTree(a);
        fs::removeTree(b);
    }
    std::printf("answer.tgz: %d members, %.1f MB packed\n", kMembers + 1, mb);
    std::printf("Archive::expand   %.3f s  %.1f MB/s  %.0f members/s\n", best, mb / best, (kMembers + 1) / best);
    std::printf("tar xzf           %.3f s  %.1f MB/s  %.0f members/s\n", bestTar, mb / bestTar, (kMembers + 1) / bestTar);
    std::printf("ratio (tar time / service time): %.2f\n", bestTar / best);
    fs::removeTree(root);
    return 0;
}
