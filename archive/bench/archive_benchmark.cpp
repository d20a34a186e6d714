// Extraction by the archive service against GNU tar on the same archives,
// in the same run: the throughput on an answer archive of 5,000 members,
// about 50 MB packed, in wall time; and the CPU time (user and system, the
// kernel's work for every file included) on a plain answer archive of 1,001
// members (1,000 documents of a few KB beside their index.csv). Prints the
// figures; the last line is for scripts:
//   scale extract-plain 1001=<CPU s> tar=<CPU s> ratio=<service/tar>
#include "archive/grenwald/archive.h"
#include "platform/files.h"
#include "platform/process/process.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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

// User and system CPU time of this process, or of its ended children.
double cpuSeconds(int who) {
    rusage usage{};
    ::getrusage(who, &usage);
    auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return s(usage.ru_utime) + s(usage.ru_stime);
}

// The plain archive: 1,000 documents and their index, all at the top.
bool plainArchive(const std::string& root, const std::string& tgz) {
    std::string src = root + "plain/";
    fs::makeFolders(src);
    std::string document = "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<Document>";
    while (document.size() < 4000) document += "<Line><Item>BOLT M8x40</Item><Qty>1200</Qty></Line>";
    document += "</Document>\r\n";
    std::string index;
    for (int i = 0; i < 1000; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "DORE0301_%04d.xml", i);
        fs::writeFileAtomic(src + name, document + "<!-- " + std::to_string(i) + " -->");
        index += "C0001,S0001,RFQ-" + std::to_string(i) + ",0,01,20240110,C,S,0301," + name + "\r\n";
    }
    fs::writeFileAtomic(src + "index.csv", index);
    return run({"-czf", tgz, "."}, src);
}

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

    // CPU time on the plain archive, the best of five rounds each.
    const std::string plain = root + "plain.tgz";
    if (!plainArchive(root, plain)) {
        std::fprintf(stderr, "tar could not make the plain archive\n");
        return 1;
    }
    double cpu = 1e9, cpuTar = 1e9;
    for (int r = 0; r < 5; ++r) {
        std::string a = root + "pa" + std::to_string(r) + "/";
        std::string b = root + "pb" + std::to_string(r) + "/";
        fs::makeFolders(a);
        fs::makeFolders(b);
        Archive service;
        service.setFile(plain);
        const double c0 = cpuSeconds(RUSAGE_SELF);
        long result = service.expand(a.substr(0, a.size() - 1), "");
        const double c1 = cpuSeconds(RUSAGE_SELF);
        const double t0 = cpuSeconds(RUSAGE_CHILDREN);
        bool tarOk = run({"xzf", plain, "-C", b}, root);
        const double t1 = cpuSeconds(RUSAGE_CHILDREN);
        if (result != 0 || !tarOk) {
            std::fprintf(stderr, "plain extraction failed: service %ld, tar %d\n", result, tarOk ? 0 : 1);
            return 1;
        }
        cpu = std::min(cpu, c1 - c0);
        cpuTar = std::min(cpuTar, t1 - t0);
        fs::removeTree(a);
        fs::removeTree(b);
    }
    std::printf("plain archive of 1,001 members, CPU time: Archive::expand %.4f s, tar xzf %.4f s\n", cpu, cpuTar);
    std::printf("scale extract-plain 1001=%.4f tar=%.4f ratio=%.2f\n", cpu, cpuTar, cpuTar > 0 ? cpu / cpuTar : 0.0);
    fs::removeTree(root);
    return 0;
}
