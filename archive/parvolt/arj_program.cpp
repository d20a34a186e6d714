#include "archive/parvolt/arj_program.h"

#include "archive/parvolt/result_codes.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/process/process.h"
#include "platform/text.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace fg::parvolt {

namespace {

// How long an archiver program may take before it counts as hung.
constexpr std::chrono::milliseconds kProgramBound{10 * 60 * 1000};

std::string findArj() {
    if (auto arj = findOnPath("arj")) return *arj;
    throw fg::Error(errnum::FileNotFound, "arj プログラムが見つかりません", "Parvolt");
}

struct Run {
    int exitCode = -1;
    std::string output;
};

// Runs arj and waits for it; the output is kept for listings and messages.
Run runArj(const std::vector<std::string>& args, const std::string& workingFolder) {
    const fs::TempFile output(fs::temporaryFolder(), "~ARJ");
    SpawnOptions options;
    options.workingFolder = workingFolder;
    options.outputFile = output.path();
    Process process = Process::start(findArj(), args, options);
    if (!process.waitFor(kProgramBound)) {
        (void)process.terminate(std::chrono::milliseconds(2000));
        throw fg::Error(result::Trapped, "arj が時間内に終わりませんでした", "Parvolt");
    }
    Run run;
    run.exitCode = process.exitCode().value_or(-1);
    run.output = fs::readFile(output.path());
    return run;
}

fg::Error failed(const Run& run, const std::string& what) {
    std::string tail = run.output.size() > 400 ? run.output.substr(run.output.size() - 400) : run.output;
    return fg::Error(result::Trapped,
                     what + ": arj が終了コード " + std::to_string(run.exitCode) + " で終わりました " + text::trimBlanks(tail),
                     "Parvolt");
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
        start = end + 1;
    }
    return out;
}

bool hasDotDot(const std::string& name) {
    std::string padded = "/" + name + "/";
    return padded.find("/../") != std::string::npos;
}

// Whether the file at `to` is as new as `from` or newer, to the second, as
// the archivers compare.
bool isNotNewer(const std::string& from, const std::string& to) {
    const auto kept = fs::stampOf(to), extracted = fs::stampOf(from);
    constexpr std::int64_t kSecond = 1000000000;
    return kept && extracted && kept->modified / kSecond >= extracted->modified / kSecond;
}

void moveInto(const std::string& staging, const std::string& relative, const std::string& dest, bool onlyNewer,
              std::vector<std::string>& refused) {
    for (const auto& name : fs::list(staging + relative, "*", fs::ListKind::All)) {
        std::string from = staging + relative + name;
        const fs::Kind kind = fs::kindOf(from, false);
        if (kind == fs::Kind::Missing) continue;
        if (kind == fs::Kind::Folder) {
            fs::makeFolders(dest + relative + name);
            moveInto(staging, relative + name + "/", dest, onlyNewer, refused);
        } else if (kind == fs::Kind::File) {
            std::string to = dest + relative + name;
            if (onlyNewer && isNotNewer(from, to)) continue;
            try {
                fs::rename(from, to);
            } catch (const fg::Error&) {
                throw fg::Error(errnum::PathFileAccessError, "展開したファイルを置けません: " + to, "Parvolt");
            }
        } else {
            refused.push_back(relative + name);
        }
    }
}

}  // namespace

std::int32_t packWithArj(const std::string& archive, const std::string& base, const std::vector<std::string>& switches,
                         const std::vector<std::string>& names) {
    std::vector<std::string> args{"u"};
    args.insert(args.end(), switches.begin(), switches.end());
    args.push_back("-y");  // never asks
    args.push_back(archive);
    args.insert(args.end(), names.begin(), names.end());
    Run run = runArj(args, base);
    if (run.exitCode != 0) throw failed(run, "ARJ 書庫を作れません " + archive);
    return result::Success;
}

std::vector<arc::Entry> listWithArj(const std::string& archive) {
    Run run = runArj({"v", "-y", archive}, "");
    if (run.exitCode != 0) throw failed(run, "ARJ 書庫を読めません " + archive);
    std::vector<arc::Entry> entries;
    std::vector<std::string> all = lines(run.output);
    std::size_t i = 0;
    while (i < all.size() && all[i].rfind("------------", 0) != 0) ++i;
    for (++i; i < all.size(); ++i) {
        const std::string& line = all[i];
        if (line.rfind("------------", 0) == 0) break;
        std::size_t paren = line.find(") ");
        if (paren == std::string::npos || paren == 0 || line[0] == ' ') continue;
        arc::Entry entry;
        std::string name = line.substr(paren + 2);
        entry.name = name;
        if (i + 1 < all.size()) {
            // " 11 UNIX   original compressed ratio yy-mm-dd hh:mm:ss attributes ..."
            std::vector<std::string> w = text::nonEmptyParts(all[i + 1], ' ');
            if (w.size() >= 8) {
                entry.size = std::strtoull(w[2].c_str(), nullptr, 10);
                entry.packed = std::strtoull(w[3].c_str(), nullptr, 10);
                std::tm tm{};
                if (std::sscanf((w[5] + " " + w[6]).c_str(), "%d-%d-%d %d:%d:%d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
                                &tm.tm_hour, &tm.tm_min, &tm.tm_sec) == 6) {
                    tm.tm_year = tm.tm_year < 80 ? tm.tm_year + 100 : tm.tm_year;
                    tm.tm_mon -= 1;
                    tm.tm_isdst = -1;
                    entry.mtime = std::mktime(&tm);
                }
                entry.folder = !w[7].empty() && w[7][0] == 'd';
                entry.mode = entry.folder ? 040755 : 0100644;
                if (w[7].size() >= 3 && w[7][2] != 'w') entry.mode &= ~0222u;
            }
            ++i;
        }
        entry.method = "arj";
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::int32_t extractWithArj(const std::string& archive, const std::string& dest,
                            const std::vector<std::string>& members, bool keepFolders, bool onlyNewer) {
    std::vector<arc::Entry> entries = listWithArj(archive);
    std::vector<std::string> names, refused, missing;
    for (const auto& m : members) {
        bool found = false;
        for (const auto& e : entries)
            if (text::icompare(arc::normalName(e.name), arc::normalName(m)) == 0) found = true;
        if (!found) missing.push_back(m);
    }
    for (const auto& e : entries) {
        bool wanted = members.empty();
        for (const auto& m : members)
            if (text::icompare(arc::normalName(e.name), arc::normalName(m)) == 0) wanted = true;
        if (!wanted) continue;
        if (e.name.empty() || e.name[0] == '/' || hasDotDot(e.name)) {
            refused.push_back(e.name);
            continue;
        }
        names.push_back(e.name);
    }
    if (!missing.empty())
        throw fg::Error(errnum::FileNotFound, "書庫に次のファイルがありません: " + missing.front() + " (" + archive + ")",
                        "Parvolt");
    // The program writes what its listing says: the bounds are checked on it.
    arc::ExtractLimits limits = arc::ExtractLimits::load();
    std::uint64_t bytes = 0;
    for (const auto& e : entries) bytes += e.size;
    if (entries.size() > limits.maxMembers || bytes > limits.maxBytes)
        throw fg::Error(errnum::PathFileAccessError,
                        "書庫の展開をやめました (上限 " + std::to_string(limits.maxBytes) + " バイト、" +
                            std::to_string(limits.maxMembers) + " 項目を超えます): " + archive,
                        "Parvolt");

    if (!fs::folderExists(dest)) fs::makeFolders(dest);
    const fs::TempFolder work(dest, ".arj-");
    const std::string& staging = work.path();

    if (!names.empty()) {
        std::vector<std::string> args{keepFolders ? "x" : "e", "-y", archive, staging};
        // Every safe entry by name when some were refused or chosen, so that
        // arj never sees the others.
        if (!members.empty() || !refused.empty()) args.insert(args.end(), names.begin(), names.end());
        Run run = runArj(args, "");
        if (run.exitCode != 0) throw failed(run, "ARJ 書庫を展開できません " + archive);
    }
    moveInto(staging, "", fs::withSlash(dest), onlyNewer, refused);
    for (const auto& name : refused)
        ErrorLogWriter().writeError("Parvolt", result::Trapped, "展開先の外を指す項目を展開しませんでした: " + name + " (" + archive + ")");
    if (!refused.empty())
        throw fg::Error(errnum::PathFileAccessError, "書庫に展開先の外を指す項目があり、展開しませんでした: " + refused.front(),
                        "Parvolt");
    return result::Success;
}

bool isArjArchive(const std::string& path) {
    const std::string head = fs::readStart(path, 2);
    return head.size() == 2 && static_cast<unsigned char>(head[0]) == 0x60 && static_cast<unsigned char>(head[1]) == 0xEA;
}

long arjVersion() {
    static const long version = [] {
        try {
            Run run = runArj({}, "");
            std::size_t v = run.output.find(" v ");
            int major = 0, minor = 0;
            if (v != std::string::npos && std::sscanf(run.output.c_str() + v + 3, "%d.%d", &major, &minor) == 2)
                return static_cast<long>(major * 100 + minor);
        } catch (const fg::Error&) {
        }
        return 0L;
    }();
    return version;
}

}  // namespace fg::parvolt
