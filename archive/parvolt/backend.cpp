#include "archive/parvolt/backend.h"

#include "archive/parvolt/arj_program.h"
#include "archive/parvolt/result_codes.h"
#include "platform/archive/archive_file.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/text.h"

#include <cstdio>
#include <ctime>
#include <set>

namespace fg::parvolt {

namespace {

fg::Error unsupportedSwitch(const std::string& token, std::int32_t kind) {
    static const char* const names[] = {"LHA", "ZIP", "CAB", "ARJ", "ISH", "TAR", "RAR"};
    return fg::Error(result::Trapped,
                     std::string(names[kind]) + " ではこのスイッチに対応していません: " + token, "Parvolt");
}

std::int32_t notSupported(const std::string& what) {
    ErrorLogWriter().writeError("Parvolt", result::NotSupported, what + " はこのシステムではできません。");
    return result::NotSupported;
}

arc::Format formatOf(std::int32_t kind) {
    switch (kind) {
    case ZIP_: return arc::Format::Zip;
    case TAR_: return arc::Format::Tar;
    case LHA_: return arc::Format::Lha;
    case CAB_: return arc::Format::Cab;
    case RAR_: return arc::Format::Rar;
    default: throw fg::Error(result::NotSupported, "この書庫の種類は扱えません", "Parvolt");
    }
}

bool hasWildcard(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

struct Expansion {
    bool recurse = false;
    bool folderEntries = true;
    bool junkPaths = false;
    bool hidden = false;
};

bool isHidden(const std::string& name) { return !name.empty() && name[0] == '.'; }

// Turns the list items (names, "folder/*.*", wildcards) into the files and
// folders to pack, named relative to the base folder.
class ItemCollector {
public:
    ItemCollector(const std::string& base, const Expansion& how) : base_(base), how_(how) {}

    void add(const std::string& item) {
        std::string folder = fs::folderOf(item);
        std::string last = fs::nameOf(item);
        if (hasWildcard(last)) {
            addMatches(folder, last == "*.*" ? "*" : last);
            return;
        }
        auto found = fs::resolve(base_ + item);
        const fs::Kind kind = found ? fs::kindOf(*found) : fs::Kind::Missing;
        if (kind == fs::Kind::Missing)
            throw fg::Error(errnum::FileNotFound, "書庫に入れるファイルがありません: " + base_ + item, "Parvolt");
        std::string relative = found->substr(base_.size());
        if (kind == fs::Kind::Folder) {
            addFolder(relative);
            addMatches(relative + "/", "*", true);
        } else {
            addFile(relative);
        }
    }

    std::vector<arc::PackItem> items() const { return items_; }

private:
    void addMatches(const std::string& folder, const std::string& pattern, bool forceRecurse = false) {
        std::string path = base_ + folder;
        for (const auto& name : fs::list(path, pattern, fs::ListKind::Files))
            if (how_.hidden || !isHidden(name)) addFile(folder + name);
        if (!how_.recurse && !forceRecurse) return;
        for (const auto& name : fs::list(path, "*", fs::ListKind::Folders)) {
            if (!how_.hidden && isHidden(name)) continue;
            addFolder(folder + name);
            addMatches(folder + name + "/", pattern, forceRecurse);
        }
    }
    void addFile(const std::string& relative) { push(relative, relative); }
    void addFolder(const std::string& relative) {
        if (how_.folderEntries && !how_.junkPaths) push(relative, relative);
    }
    void push(const std::string& relative, const std::string& name) {
        std::string stored = how_.junkPaths ? fs::nameOf(name) : name;
        if (!seen_.insert(text::toLowerAscii(stored)).second) return;
        items_.push_back({base_ + relative, stored});
    }

    std::string base_;
    Expansion how_;
    std::vector<arc::PackItem> items_;
    std::set<std::string> seen_;
};

std::vector<std::string> packList(const std::string& files) {
    if (files == "*.*") return {"*.*"};
    return readListFile(files);
}

std::vector<arc::PackItem> collect(const PackCall& call, const Expansion& how) {
    ItemCollector collector(call.base, how);
    for (const auto& item : packList(call.files)) collector.add(item);
    return collector.items();
}

struct ExtractHow {
    bool keepFolders = true;
    bool onlyNewer = false;
};

std::int32_t extractWithLibrary(const ExtractCall& call, const ExtractHow& how) {
    arc::ExtractRequest request;
    request.archive = call.archive;
    request.format = formatOf(call.kind);
    request.folder = call.dest;
    if (call.files != "*.*") request.members = readListFile(call.files);
    request.keepFolders = how.keepFolders;
    request.onlyNewer = how.onlyNewer;
    // An entry that would reach outside or a member the archive lacks fails
    // the extraction, and then nothing of the archive may stay.
    request.allOrNothing = true;
    request.limits = arc::ExtractLimits::load();
    if (!fs::folderExists(call.dest)) fs::makeFolders(call.dest);
    arc::extract(request);
    return result::Success;
}

std::uint16_t dosDate(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    int year = tm.tm_year + 1900 - 1980;
    if (year < 0) year = 0;
    return static_cast<std::uint16_t>((year << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
}

std::uint16_t dosTime(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    return static_cast<std::uint16_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
}

std::string attributeText(const arc::Entry& e) {
    std::string a = "----";
    if (e.folder) a[0] = 'd';
    if (!(e.mode & 0222)) a[1] = 'r';
    if (isHidden(fileNamePart(e.name))) a[2] = 'h';
    if (!e.folder) a[3] = 'a';
    return a;
}

ArcListEntry listEntry(const arc::Entry& e, char dateSeparator) {
    ArcListEntry r;
    if (e.name.find_first_of(":/\\") != std::string::npos) {
        r.path = folderPart(e.name);
        r.name = fileNamePart(e.name);
    } else {
        r.name = e.name;
    }
    r.orgSize = thousands(e.size);
    r.packedSize = thousands(e.packed);
    std::uint64_t ratio = e.size ? (e.packed * 1000 + e.size / 2) / e.size : 0;
    r.ratio = ratioText(ratio);
    r.date = dosDateText(dosDate(e.mtime), dateSeparator);
    r.time = dosTimeText(dosTime(e.mtime));
    r.attr = attributeText(e).substr(0, 4);
    r.type = e.method.substr(0, 5);
    r.crc = crcText(e.crc);
    return r;
}

}  // namespace

std::int32_t packArchive(const PackCall& call) {
    arc::PackRequest request;
    request.archive = call.archive;
    Expansion how;
    switch (call.kind) {
    case ZIP_: {
        request.format = arc::Format::Zip;
        request.keepExisting = true;  // the archiver adds to an archive that is there
        for (const auto& t : text::nonEmptyParts(call.switches, ' ')) {
            if (t == "-u") request.onlyNewer = true;
            else if (t == "-r") how.recurse = true;
            else if (t == "-D") how.folderEntries = false;
            else if (t == "-j") how.junkPaths = true;
            else if (t == "-S") how.hidden = true;
            else if (t == "-q") continue;
            else throw unsupportedSwitch(t, call.kind);
        }
        break;
    }
    case TAR_: {
        request.format = arc::Format::Tar;
        request.compression = arc::compressionForName(call.archive);
        how.recurse = true;
        for (const auto& t : text::nonEmptyParts(call.switches, ' ')) {
            if (t == "--use-directory=0") how.junkPaths = true;
            else if (t == "-AH") how.hidden = true;
            else if (t == "-AA") how.hidden = false;
            else if (t == "--display-dialog=0") continue;
            else throw unsupportedSwitch(t, call.kind);
        }
        break;
    }
    case CAB_: {
        request.format = arc::Format::Cab;
        request.keepExisting = true;
        how.folderEntries = false;
        for (const auto& t : text::nonEmptyParts(call.switches, ' ')) {
            if (t == "-r") how.recurse = true;
            else if (t == "-i") continue;
            else if (t == "-mz") request.cabCompress = true;
            else if (t == "-ms") request.cabCompress = false;
            else if (t.rfind("-v:", 0) == 0) return notSupported("複数ボリュームのキャビネットの作成");
            else if (t.rfind("-ml:", 0) == 0) return notSupported("LZX 圧縮のキャビネットの作成");
            else if (t.rfind("-mq:", 0) == 0) return notSupported("Quantum 圧縮のキャビネットの作成");
            else throw unsupportedSwitch(t, call.kind);
        }
        break;
    }
    case ARJ_:
        return packWithArj(call.archive, call.base, text::nonEmptyParts(call.switches, ' '), call.names);
    default:
        return notSupported("この種類の書庫の作成");
    }
    request.items = collect(call, how);
    arc::pack(request);
    return result::Success;
}

std::int32_t extractArchive(const ExtractCall& call) {
    ExtractHow how;
    const auto words = text::nonEmptyParts(call.switches, ' ');
    switch (call.kind) {
    case ZIP_:
        for (const auto& t : words) {
            if (t == "-x") continue;
            else if (t == "-u") how.onlyNewer = true;
            else if (t == "-j") how.keepFolders = false;
            else if (t == "--i") continue;
            else throw unsupportedSwitch(t, call.kind);
        }
        break;
    case TAR_:
        for (const auto& t : words) {
            if (t == "--use-directory=0") how.keepFolders = false;
            else if (t == "-I" || t == "--display-dialog=0") continue;  // owners and attributes are never restored
            else throw unsupportedSwitch(t, call.kind);
        }
        break;
    case LHA_:
        // Without "-c1" the archiver checks time stamps and keeps newer files.
        how.onlyNewer = true;
        for (const auto& t : words) {
            if (t == "-x1") how.keepFolders = true;
            else if (t == "-x0") how.keepFolders = false;
            else if (t == "-c1") how.onlyNewer = false;
            else if (t == "-a1" || t == "-a0" || t == "-f1" || t == "-n" || t == "-jp1") continue;
            else throw unsupportedSwitch(t, call.kind);
        }
        break;
    case CAB_:
        for (const auto& t : words) {
            if (t == "-j") how.keepFolders = false;
            else if (t == "-n") how.onlyNewer = true;
            else if (t == "-i") continue;
            else throw unsupportedSwitch(t, call.kind);
        }
        break;
    case RAR_:
        how.keepFolders = call.keepFolders;
        for (const auto& t : words) {
            if (t == "-u") how.onlyNewer = true;
            else throw unsupportedSwitch(t, call.kind);
        }
        break;
    case ARJ_: {
        bool onlyNewer = false;
        for (const auto& t : words) {
            if (t == "-u") onlyNewer = true;
            else if (t == "-a" || t == "-i" || t == "-hp1") continue;
            else throw unsupportedSwitch(t, call.kind);
        }
        std::vector<std::string> members;
        if (call.files != "*.*") members = readListFile(call.files);
        return extractWithArj(call.archive, call.dest, members, call.keepFolders, onlyNewer);
    }
    default:
        return notSupported("この種類の書庫の展開");
    }
    return extractWithLibrary(call, how);
}

bool canRead(std::int32_t kind) { return kind != ISH_; }

bool checkArchive(std::int32_t kind, const std::string& path) {
    if (kind == ARJ_) return isArjArchive(path);
    if (kind == ISH_) return false;
    return arc::isArchive(path, formatOf(kind));
}

std::vector<ArcListEntry> listArchive(std::int32_t kind, const std::string& path) {
    std::vector<arc::Entry> entries = kind == ARJ_ ? listWithArj(path) : arc::list(path, formatOf(kind));
    std::vector<ArcListEntry> out;
    for (const auto& e : entries) {
        if (kind == TAR_ && (fileNamePart(e.name).empty() || e.folder)) continue;
        out.push_back(listEntry(e, kind == ZIP_ ? '-' : '/'));
    }
    return out;
}

long archiverVersion(std::int32_t kind) {
    if (kind == ISH_) return 0;
    if (kind == ARJ_) return arjVersion();
    return arc::libraryVersion();
}

std::string thousands(std::uint64_t value) {
    if (value == 0) return "";
    std::string digits = std::to_string(value);
    std::string out;
    int n = static_cast<int>(digits.size());
    for (int i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0) out += ',';
        out += digits[static_cast<std::size_t>(i)];
    }
    return out;
}

std::string ratioText(std::uint64_t perMille) {
    return std::to_string(perMille / 10) + "." + std::to_string(perMille % 10) + "%";
}

std::string dosDateText(std::uint16_t d, char separator) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d%c%02d%c%02d", (1980 + (d >> 9)) % 100, separator, (d >> 5) & 0x0F, separator,
                  d & 0x1F);
    return buf;
}

std::string dosTimeText(std::uint16_t t) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t >> 11, (t >> 5) & 0x3F, (t & 0x1F) * 2);
    return buf;
}

std::string crcText(std::uint32_t crc) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04X", crc & 0xFFFFu);
    return buf;
}

std::string fileNamePart(const std::string& name) {
    std::size_t cut = name.find_last_of("\\/:");
    return cut == std::string::npos ? name : name.substr(cut + 1);
}

std::string folderPart(const std::string& name) {
    std::string trimmed = text::trim(name);
    return trimmed.substr(0, trimmed.size() - fileNamePart(trimmed).size());
}

std::vector<std::string> readListFile(const std::string& path) {
    std::string body = fs::readFile(path);
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start < body.size()) {
        std::size_t end = body.find('\n', start);
        if (end == std::string::npos) end = body.size();
        std::string line = body.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() >= 2 && line.front() == '"' && line.back() == '"') line = line.substr(1, line.size() - 2);
        if (!line.empty()) names.push_back(line);
        start = end + 1;
    }
    return names;
}

}  // namespace fg::parvolt
