#include "platform/archive/archive_file.h"

#include "platform/archive/cab_writer.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/owned.h"
#include "platform/text.h"
#include "platform/xml.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <map>
#include <set>
#include <unordered_map>

namespace fg::arc {

namespace {

constexpr std::size_t kBlock = 64 * 1024;

uint32_t crc32Update(uint32_t crc, const void* data, std::size_t size) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    crc = ~crc;
    const auto* p = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

bool isAscii(const std::string& s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// libarchive converts entry names between the archive's character set and
// the locale's, and in the "C" locale, where every program here runs, a name
// stored as UTF-8 cannot be converted at all: it came out empty, and a TAR
// name was marked binary. Every use of libarchive runs under a UTF-8 locale
// of the calling thread alone, so that names pass unchanged whatever the
// process's locale.
class Utf8Names {
public:
    Utf8Names() {
        static const locale_t utf8 = [] {
            locale_t l = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
            if (!l) l = ::newlocale(LC_CTYPE_MASK, "C.utf8", static_cast<locale_t>(0));
            return l;
        }();
        if (utf8) previous_ = ::uselocale(utf8);
    }
    ~Utf8Names() {
        if (previous_) ::uselocale(previous_);
    }
    Utf8Names(const Utf8Names&) = delete;
    Utf8Names& operator=(const Utf8Names&) = delete;

private:
    locale_t previous_ = static_cast<locale_t>(0);
};

// A name as UTF-8: as libarchive read it when it is UTF-8, else the raw
// bytes, which come from Japanese archivers and are code page 932.
std::string asUtf8(const char* utf8, const char* raw) {
    if (utf8) return utf8;
    return text::fromUtf8OrCp932(raw ? raw : "");
}

std::string entryName(archive_entry* e) {
    return asUtf8(archive_entry_pathname_utf8(e), archive_entry_pathname(e));
}

std::string linkTarget(archive_entry* e, bool hard) {
    return hard ? asUtf8(archive_entry_hardlink_utf8(e), archive_entry_hardlink(e))
                : asUtf8(archive_entry_symlink_utf8(e), archive_entry_symlink(e));
}

// The name bytes a cabinet gets: code page 932, as the peers' readers
// expect. (ZIP names are converted to it by libarchive itself.)
std::string cabinetName(const std::string& utf8) {
    if (isAscii(utf8)) return utf8;
    return text::toCp932(utf8);
}

Error readError(archive* a, const std::string& path) {
    const char* why = archive_error_string(a);
    return Error(errnum::PathFileAccessError,
                 "書庫を読めません: " + path + (why ? std::string(" (") + why + ")" : std::string()), "Archive");
}

Error writeError(archive* a, const std::string& path) {
    const char* why = archive_error_string(a);
    return Error(errnum::PathFileAccessError,
                 "書庫を書けません: " + path + (why ? std::string(" (") + why + ")" : std::string()), "Archive");
}

using ReadHandle = Owned<archive*, archive_read_free>;
using WriteHandle = Owned<archive*, archive_write_free>;
using OwnedEntry = Owned<archive_entry*, archive_entry_free>;

ReadHandle openReader(const std::string& path, Format format) {
    ReadHandle a(archive_read_new());
    if (!a) throw Error(errnum::OutOfMemory, "書庫を読む準備ができません", "Archive");
    switch (format) {
    case Format::Zip:
        archive_read_support_format_zip(a.get());
        break;
    case Format::Tar:
        archive_read_support_filter_all(a.get());
        archive_read_support_format_tar(a.get());
        break;
    case Format::Lha:
        archive_read_support_format_lha(a.get());
        break;
    case Format::Cab:
        archive_read_support_format_cab(a.get());
        break;
    case Format::Rar:
        archive_read_support_format_rar(a.get());
        archive_read_support_format_rar5(a.get());
        break;
    }
    if (archive_read_open_filename(a.get(), path.c_str(), kBlock) != ARCHIVE_OK) throw readError(a.get(), path);
    return a;
}

bool ok(int r) { return r == ARCHIVE_OK || r == ARCHIVE_WARN; }

// A tar archive of no entries is its end blocks alone, which the format
// reader does not take for a tar archive.
bool isEmptyTar(const std::string& path) {
    ReadHandle a(archive_read_new());
    if (!a) return false;
    archive_read_support_filter_all(a.get());
    archive_read_support_format_raw(a.get());
    if (archive_read_open_filename(a.get(), path.c_str(), kBlock) != ARCHIVE_OK) return false;
    archive_entry* e = nullptr;
    if (archive_read_next_header(a.get(), &e) != ARCHIVE_OK) return false;
    std::vector<char> block(1024);
    std::size_t got = 0;
    while (got < block.size()) {
        ssize_t n = archive_read_data(a.get(), block.data() + got, block.size() - got);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    if (got < block.size()) return false;
    for (char c : block)
        if (c != 0) return false;
    return true;
}

std::vector<std::string> components(const std::string& name) { return text::nonEmptyParts(name, '/'); }

bool hasDotDot(const std::string& name) {
    for (const auto& c : components(name))
        if (c == "..") return true;
    return false;
}

// Whether a link pointing at `target` stays inside the folder whatever else
// the archive holds. A ".." may climb out through another link of the same
// archive (sub/l1 -> .., then l2 -> sub/l1/..), so only relative targets that
// go downwards are taken: each such link leads below its own folder, and so
// does any chain of them.
bool linkPlainlyInside(const std::string& target) {
    return !target.empty() && target[0] != '/' && !hasDotDot(target);
}

// Whether an existing component between the folder and the target is a
// link: writing through it could land anywhere.
bool passesThroughLink(const std::string& folder, const std::string& name) {
    std::string path = fs::withSlash(folder);
    std::vector<std::string> parts = components(name);
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        path += parts[i];
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) return false;  // not there yet: created as a folder
        if (S_ISLNK(st.st_mode)) return true;
        path += "/";
    }
    return false;
}

bool sameName(const std::string& a, const std::string& b) { return text::icompare(a, b) == 0; }

}  // namespace

Compression compressionForName(const std::string& archiveName) {
    std::string n = text::toLowerAscii(archiveName);
    auto ends = [&](const char* s) {
        std::size_t k = std::strlen(s);
        return n.size() >= k && n.compare(n.size() - k, k, s) == 0;
    };
    if (ends(".tgz") || ends(".gz") || ends(".taz")) return Compression::Gzip;
    if (ends(".tbz") || ends(".tbz2") || ends(".bz2")) return Compression::Bzip2;
    if (ends(".txz") || ends(".xz")) return Compression::Xz;
    return Compression::None;
}

std::string normalName(const std::string& stored) {
    std::string n = stored;
    while (n.size() >= 2 && n[0] == '.' && n[1] == '/') {
        n.erase(0, 2);
        while (!n.empty() && n[0] == '/') n.erase(0, 1);
    }
    if (n == ".") n.clear();
    while (!n.empty() && n.back() == '/') n.pop_back();
    return n;
}

bool isArchive(const std::string& path, Format format) {
    Utf8Names names;
    try {
        ReadHandle a = openReader(path, format);
        archive_entry* e = nullptr;
        int r = archive_read_next_header(a.get(), &e);
        if (ok(r) || r == ARCHIVE_EOF) return true;
    } catch (const Error&) {
    }
    return format == Format::Tar && isEmptyTar(path);
}

std::vector<Entry> list(const std::string& path, Format format) {
    if (!fs::fileExists(path)) throw Error(errnum::FileNotFound, "書庫がありません: " + path, "Archive");
    Utf8Names names;
    if (format == Format::Tar && isEmptyTar(path)) return {};
    ReadHandle a = openReader(path, format);
    std::vector<Entry> entries;
    archive_entry* e = nullptr;
    std::vector<char> buffer(kBlock);
    while (true) {
        int64_t before = archive_filter_bytes(a.get(), -1);
        int r = archive_read_next_header(a.get(), &e);
        if (r == ARCHIVE_EOF) break;
        if (!ok(r)) throw readError(a.get(), path);
        Entry entry;
        entry.name = entryName(e);
        entry.mode = archive_entry_mode(e);
        entry.folder = archive_entry_filetype(e) == AE_IFDIR;
        entry.link = archive_entry_filetype(e) == AE_IFLNK || archive_entry_hardlink(e) != nullptr;
        entry.size = archive_entry_size_is_set(e) ? static_cast<uint64_t>(archive_entry_size(e)) : 0;
        entry.mtime = archive_entry_mtime(e);
        const char* formatName = archive_format_name(a.get());
        entry.method = formatName ? formatName : "";
        uint32_t crc = 0;
        uint64_t size = 0;
        while (true) {
            ssize_t n = archive_read_data(a.get(), buffer.data(), buffer.size());
            if (n == 0) break;
            if (n < 0) throw readError(a.get(), path);
            crc = crc32Update(crc, buffer.data(), static_cast<std::size_t>(n));
            size += static_cast<uint64_t>(n);
        }
        entry.crc = crc;
        if (!archive_entry_size_is_set(e)) entry.size = size;
        int64_t after = archive_filter_bytes(a.get(), -1);
        entry.packed = after > before ? static_cast<uint64_t>(after - before) : 0;
        entries.push_back(std::move(entry));
    }
    return entries;
}

namespace {

// The hidden names members wait under: the prefix, the extracting process's
// id, ".", and a unique part.
// ".tmp." and the process id: what a killed extraction left goes with
// fs::removeTemporariesOfEndedWriters too.
constexpr const char* kStagedPrefix = ".extract.tmp.";

// What one extraction has written so far, and its undoing. Files and links
// are written under hidden temporary names beside their places and renamed
// into them by commit(), once the whole archive has been read; an
// extraction that ends any other way removes them, and the folders it made.
// One that was killed cannot: its files carry its process id, and the next
// extraction that writes into their folder removes them once that process
// has gone.
class Staging {
public:
    explicit Staging(std::string folder) : folder_(std::move(folder)), pid_(std::to_string(::getpid())) {
        clearEnded(folder_);
    }
    ~Staging() {
        if (!committed_) rollBack();
    }
    Staging(const Staging&) = delete;
    Staging& operator=(const Staging&) = delete;

    // Makes the folders of `relative` below the extraction folder that are
    // not there yet, remembering each; a folder this extraction has made or
    // found already is not asked for again.
    void makeParents(const std::string& relative) {
        std::string path = folder_;
        std::vector<std::string> parts = components(relative);
        for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
            path += parts[i];
            if (!ready_.insert(path).second) {
                path += "/";
                continue;
            }
            noteFolder(path);
            if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
                throw Error(errnum::PathFileAccessError,
                            "フォルダを作れません: " + path + " (" + std::strerror(errno) + ")", "Archive");
            path += "/";
        }
    }
    // A folder entry about to be written at `path`.
    void noteFolder(const std::string& path) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) made_.push_back(path);
    }
    // A hidden name beside `target` for its member while the archive is read.
    // The name is not made here: the process id keeps it apart from every
    // other running extraction and the count from every other member of
    // this process, and the disk writer creates the file exclusively after
    // unlinking whatever an ended writer of a recycled id left under it.
    // Making it first as well cost every member a file created, closed and
    // unlinked again, the largest part of the kernel's work per member.
    std::string stagedName(const std::string& target) {
        clearEnded(fs::folderOf(target));
        static std::atomic<unsigned long> count{0};
        std::string path = fs::folderOf(target) + kStagedPrefix + pid_ + "." + std::to_string(++count);
        pending_.push_back({path, target});
        return path;
    }
    // The staged file of a member written earlier in this extraction, or "".
    std::string stagedFor(const std::string& target) const {
        for (auto it = pending_.rbegin(); it != pending_.rend(); ++it)
            if (it->target == target) return it->staged;
        return {};
    }
    void commit() {
        for (const Pending& p : pending_) {
            if (::rename(p.staged.c_str(), p.target.c_str()) != 0)
                throw Error(errnum::PathFileAccessError,
                            "展開したファイルを置けません: " + p.target + " (" + std::strerror(errno) + ")", "Archive");
            placed_.push_back(p.target);
        }
        committed_ = true;
    }

private:
    // The members that extractions killed midway left in a folder, once per folder.
    void clearEnded(const std::string& folder) {
        if (cleared_.insert(folder).second) fs::removeFilesOfEndedWriters(folder, kStagedPrefix);
    }
    void rollBack() noexcept {
        for (const Pending& p : pending_) ::unlink(p.staged.c_str());
        for (const std::string& path : placed_) ::unlink(path.c_str());
        for (auto it = made_.rbegin(); it != made_.rend(); ++it) ::rmdir(it->c_str());
    }

    struct Pending {
        std::string staged;
        std::string target;
    };
    std::string folder_;
    std::string pid_;
    std::vector<Pending> pending_;
    std::vector<std::string> placed_;
    std::vector<std::string> made_;
    std::set<std::string> cleared_;
    std::set<std::string> ready_;  // folders made or found by makeParents
    bool committed_ = false;
};

Error beyondBound(const std::string& archive, const std::string& what) {
    return Error(errnum::PathFileAccessError, "書庫の展開をやめました (" + what + "): " + archive, "Archive");
}

// The next member's header of an extraction, counted against the bound;
// false at the archive's end.
bool nextMember(archive* a, archive_entry*& e, const std::string& path, uint64_t& members, uint64_t maxMembers) {
    int r = archive_read_next_header(a, &e);
    if (r == ARCHIVE_EOF) return false;
    if (!ok(r)) throw readError(a, path);
    if (++members > maxMembers)
        throw beyondBound(path, "項目数が上限 " + std::to_string(maxMembers) + " を超えます");
    return true;
}

// Whether `relative` lies below a link of this extraction still waiting
// under its temporary name: on disk it is no link yet.
bool belowStagedLink(const std::set<std::string>& links, const std::string& relative) {
    std::string path;
    std::vector<std::string> parts = components(relative);
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        path += (path.empty() ? "" : "/") + parts[i];
        if (links.count(path)) return true;
    }
    return false;
}

using Wanted = std::unordered_map<std::u32string, std::vector<std::size_t>>;

void markFound(const Wanted& wanted, const std::string& name, std::vector<bool>& found) {
    auto match = wanted.find(text::caseFolded(name));
    if (match == wanted.end()) return;
    for (std::size_t i : match->second) found[i] = true;
}

Error missingMembers(const std::vector<std::string>& missing, const std::string& archivePath) {
    std::string list;
    for (const auto& m : missing) list += (list.empty() ? "" : ", ") + m;
    return Error(errnum::FileNotFound, "書庫に次のファイルがありません: " + list + " (" + archivePath + ")", "Archive");
}

// An extraction of listed members that must be whole reads the archive's
// headers first: one that lacks a member then fails before writing anything,
// where otherwise it would write every member it has and remove them again
// (the kernel's work for each file twice over, for nothing).
void requireMembers(const ExtractRequest& request, const std::string& archivePath, const Wanted& wanted) {
    ReadHandle a = openReader(archivePath, request.format);
    std::vector<bool> found(request.members.size(), false);
    uint64_t members = 0;
    archive_entry* e = nullptr;
    while (nextMember(a.get(), e, archivePath, members, request.limits.maxMembers)) {
        const std::string name = normalName(entryName(e));
        if (!name.empty()) markFound(wanted, name, found);  // "": the archive's own root
    }
    std::vector<std::string> missing;
    for (std::size_t i = 0; i < found.size(); ++i)
        if (!found[i]) missing.push_back(request.members[i]);
    if (!missing.empty()) throw missingMembers(missing, archivePath);
}

}  // namespace

ExtractReport extract(const ExtractRequest& request) {
    if (!fs::folderExists(request.folder))
        throw Error(errnum::PathNotFound, "展開先のフォルダがありません: " + request.folder, "Archive");
    if (!fs::fileExists(request.archive))
        throw Error(errnum::FileNotFound, "書庫がありません: " + request.archive, "Archive");
    std::string folder = fs::withSlash(*fs::resolve(request.folder));
    std::string archivePath = *fs::resolve(request.archive);
    Utf8Names names;
    if (request.format == Format::Tar && isEmptyTar(archivePath)) {
        ExtractReport none;
        none.missing = request.members;
        return none;
    }

    ReadHandle a = openReader(archivePath, request.format);
    WriteHandle disk(archive_write_disk_new());
    if (!disk) throw Error(errnum::OutOfMemory, "展開の準備ができません", "Archive");
    // No owner, no permissions beyond the user's, no special bits; an
    // existing file is unlinked first so that a link in its place is
    // replaced, never written through.
    archive_write_disk_set_options(disk.get(), ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_UNLINK |
                                                   ARCHIVE_EXTRACT_SECURE_NODOTDOT);

    // The members asked for, by the name extraction matches them under: an
    // archive of many entries asked for many members is read once, each
    // entry looked up, not compared with every member.
    Wanted wanted;
    for (std::size_t i = 0; i < request.members.size(); ++i)
        wanted[text::caseFolded(normalName(request.members[i]))].push_back(i);
    std::vector<bool> found(request.members.size(), false);
    if (request.allOrNothing && !wanted.empty()) requireMembers(request, archivePath, wanted);

    Staging staging(folder);
    std::set<std::string> stagedLinks;  // relative names of the links written so far
    uint64_t members = 0, bytes = 0;
    ExtractReport report;
    auto refuse = [&](const std::string& stored) {
        if (request.allOrNothing)
            throw Error(errnum::PathFileAccessError,
                        "書庫に展開先の外を指す項目があり、展開しませんでした: " + stored + " (" + archivePath + ")",
                        "Archive");
        report.refused.push_back(stored);
    };
    archive_entry* e = nullptr;
    while (nextMember(a.get(), e, archivePath, members, request.limits.maxMembers)) {
        std::string stored = entryName(e);
        std::string name = normalName(stored);
        if (name.empty() && !stored.empty() && stored[0] != '/') continue;  // the archive's own root

        if (!wanted.empty()) {
            auto match = wanted.find(text::caseFolded(name));
            if (match == wanted.end()) continue;
            for (std::size_t i : match->second) found[i] = true;
        }

        const unsigned type = archive_entry_filetype(e);
        const char* hard = archive_entry_hardlink(e);
        bool safe = !stored.empty() && stored[0] != '/' && !hasDotDot(stored);
        // A hard link entry may carry no file type of its own.
        if (safe && type != AE_IFREG && type != AE_IFDIR && type != AE_IFLNK && !(hard && type == 0)) safe = false;
        std::string hardTarget;
        if (safe && hard) {
            hardTarget = normalName(linkTarget(e, true));
            std::string rawTarget = linkTarget(e, true);
            safe = !hardTarget.empty() && !rawTarget.empty() && rawTarget[0] != '/' && !hasDotDot(rawTarget) &&
                   request.keepFolders;
        }
        const bool symlink = type == AE_IFLNK && !hard;
        if (safe && symlink) safe = request.keepFolders && linkPlainlyInside(linkTarget(e, false));
        if (!safe) {
            refuse(stored);
            continue;
        }

        std::string relative = name;
        if (!request.keepFolders) {
            if (type == AE_IFDIR) continue;
            relative = fs::nameOf(name);
        }
        if (passesThroughLink(folder, relative) || belowStagedLink(stagedLinks, relative) ||
            (hard && (passesThroughLink(folder, hardTarget) || belowStagedLink(stagedLinks, hardTarget)))) {
            refuse(stored);
            continue;
        }
        std::string target = folder + relative;
        if (type == AE_IFDIR) {
            // A link in a folder's place would take the folder's time and
            // everything stored below it somewhere else.
            struct stat st {};
            if ((::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) || stagedLinks.count(relative)) {
                refuse(stored);
                continue;
            }
        }
        if (request.onlyNewer && type == AE_IFREG) {
            struct stat st {};
            if (::stat(target.c_str(), &st) == 0 && st.st_mtime >= archive_entry_mtime(e)) {
                ++report.skipped;
                continue;
            }
        }
        if (type == AE_IFREG && !hard && archive_entry_size_is_set(e) &&
            static_cast<uint64_t>(archive_entry_size(e)) > request.limits.maxBytes - bytes)
            throw beyondBound(archivePath, "展開する量が上限 " + std::to_string(request.limits.maxBytes) +
                                               " バイトを超えます: " + stored);

        staging.makeParents(relative);
        std::string written;
        if (type == AE_IFDIR) {
            staging.noteFolder(target);
            written = target;
        } else {
            written = staging.stagedName(target);
        }
        archive_entry_copy_pathname(e, written.c_str());
        if (hard) {
            std::string linked = staging.stagedFor(folder + hardTarget);
            archive_entry_copy_hardlink(e, (linked.empty() ? folder + hardTarget : linked).c_str());
        }
        if (symlink) {
            std::string linkText = linkTarget(e, false);
            archive_entry_copy_symlink(e, linkText.c_str());
            stagedLinks.insert(relative);
        }
        unsigned perm = archive_entry_perm(e) & 0777;
        if (type == AE_IFDIR) perm |= 0700;
        if (type == AE_IFREG) perm |= 0600;
        archive_entry_set_perm(e, perm);

        int w = archive_write_header(disk.get(), e);
        if (!ok(w)) throw writeError(disk.get(), target);
        if (type == AE_IFREG && !hard && archive_entry_size(e) > 0) {
            const void* block = nullptr;
            size_t size = 0;
            la_int64_t offset = 0;
            while (true) {
                int rb = archive_read_data_block(a.get(), &block, &size, &offset);
                if (rb == ARCHIVE_EOF) break;
                if (!ok(rb)) throw readError(a.get(), archivePath);
                // Declared sizes may lie: what is written counts.
                if (size > request.limits.maxBytes - bytes)
                    throw beyondBound(archivePath, "展開する量が上限 " + std::to_string(request.limits.maxBytes) +
                                                       " バイトを超えます: " + stored);
                bytes += size;
                if (archive_write_data_block(disk.get(), block, size, offset) < 0) throw writeError(disk.get(), target);
            }
        }
        if (!ok(archive_write_finish_entry(disk.get()))) throw writeError(disk.get(), target);
        if (type != AE_IFDIR) ++report.written;
    }
    if (!ok(archive_write_close(disk.get()))) throw writeError(disk.get(), folder);
    for (std::size_t i = 0; i < found.size(); ++i)
        if (!found[i]) report.missing.push_back(request.members[i]);
    if (request.allOrNothing && !report.missing.empty()) throw missingMembers(report.missing, archivePath);
    staging.commit();
    return report;
}

namespace {

// A temporary file beside the target that becomes the target on commit.
class StagedFile {
public:
    explicit StagedFile(const std::string& target) : target_(target) {
        std::string folder = fs::folderOf(target);
        // Named as fs's temporaries (".NAME.tmp.PID.") so that the one a
        // killed writer left goes once its writer is known to be gone.
        fs::removeStaleTemporaries(target);
        path_ = (folder.empty() ? std::string("./") : folder) + "." + fs::nameOf(target) + ".tmp." +
                std::to_string(::getpid()) + ".XXXXXX";
        fd_ = ::mkstemp(path_.data());
        if (fd_ < 0)
            throw Error(errnum::PathFileAccessError, "一時ファイルを作れません: " + path_ + " (" + std::strerror(errno) + ")",
                        "Archive");
    }
    ~StagedFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!committed_) ::unlink(path_.c_str());
    }
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    void commit() {
        if (::fsync(fd_) != 0 || ::close(fd_) != 0) {
            fd_ = -1;
            throw Error(errnum::PathFileAccessError, "書庫を書き終えられません: " + target_, "Archive");
        }
        fd_ = -1;
        ::chmod(path_.c_str(), 0644);
        if (::rename(path_.c_str(), target_.c_str()) != 0)
            throw Error(errnum::PathFileAccessError, "書庫を置き換えられません: " + target_ + " (" + std::strerror(errno) + ")",
                        "Archive");
        committed_ = true;
    }

private:
    std::string target_;
    std::string path_;
    int fd_ = -1;
    bool committed_ = false;
};

struct Source {
    PackItem item;
    struct stat st {};
};

std::vector<Source> statSources(const PackRequest& request) {
    std::vector<Source> sources;
    for (const auto& item : request.items) {
        Source s{item, {}};
        if (::stat(item.source.c_str(), &s.st) != 0 || !(S_ISREG(s.st.st_mode) || S_ISDIR(s.st.st_mode)))
            throw Error(errnum::FileNotFound, "書庫に入れるファイルがありません: " + item.source, "Archive");
        sources.push_back(std::move(s));
    }
    return sources;
}

// Decides, for an entry already in the archive, whether it stays; a new file
// that is not newer than the entry it would replace is dropped instead.
bool keepOld(const std::string& oldName, std::time_t oldTime, std::vector<Source>& sources, bool onlyNewer) {
    for (auto it = sources.begin(); it != sources.end(); ++it) {
        if (!sameName(normalName(it->item.name), normalName(oldName))) continue;
        if (onlyNewer && it->st.st_mtime <= oldTime) {
            sources.erase(it);
            return true;
        }
        return false;
    }
    return true;
}

void writeItem(archive* w, const Source& s, const std::string& archivePath) {
    OwnedEntry e(archive_entry_new());
    if (!e) throw Error::standard(errnum::OutOfMemory, "Archive");
    bool folder = S_ISDIR(s.st.st_mode);
    std::string name = s.item.name;
    if (folder && (name.empty() || name.back() != '/')) name += "/";
    archive_entry_copy_pathname(e.get(), name.c_str());
    archive_entry_set_filetype(e.get(), folder ? AE_IFDIR : AE_IFREG);
    archive_entry_set_perm(e.get(), s.st.st_mode & 0777);
    archive_entry_set_mtime(e.get(), s.st.st_mtime, 0);
    archive_entry_set_size(e.get(), folder ? 0 : s.st.st_size);
    if (!ok(archive_write_header(w, e.get()))) throw writeError(w, archivePath);
    if (folder) return;
    Descriptor fd(::open(s.item.source.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) throw Error(errnum::PathFileAccessError, "ファイルを読めません: " + s.item.source, "Archive");
    std::vector<char> buffer(kBlock);
    int64_t left = s.st.st_size;
    while (left > 0) {
        ssize_t n = ::read(fd.get(), buffer.data(), buffer.size());
        if (n <= 0) throw Error(errnum::PathFileAccessError, "ファイルを読めません: " + s.item.source, "Archive");
        if (n > left) n = static_cast<ssize_t>(left);  // the file grew while packed: its size was declared
        if (archive_write_data(w, buffer.data(), static_cast<size_t>(n)) < 0) throw writeError(w, archivePath);
        left -= n;
    }
}

void packCab(const PackRequest& request, std::vector<Source>& sources, StagedFile& staged) {
    CabWriter cab(request.cabCompress);
    if (request.keepExisting && fs::fileExists(request.archive)) {
        ReadHandle a = openReader(request.archive, Format::Cab);
        archive_entry* e = nullptr;
        while (true) {
            int r = archive_read_next_header(a.get(), &e);
            if (r == ARCHIVE_EOF) break;
            if (!ok(r)) throw readError(a.get(), request.archive);
            std::string name = entryName(e);
            if (!keepOld(name, archive_entry_mtime(e), sources, request.onlyNewer)) continue;
            std::string bytes;
            std::vector<char> buffer(kBlock);
            while (true) {
                ssize_t n = archive_read_data(a.get(), buffer.data(), buffer.size());
                if (n == 0) break;
                if (n < 0) throw readError(a.get(), request.archive);
                bytes.append(buffer.data(), static_cast<std::size_t>(n));
            }
            cab.addBytes(cabinetName(name), std::move(bytes), archive_entry_mtime(e));
        }
    }
    for (const auto& s : sources) {
        if (S_ISDIR(s.st.st_mode)) continue;  // a cabinet holds files only
        cab.addFile(cabinetName(s.item.name), s.item.source);
    }
    cab.write(staged.path());
}

}  // namespace

void pack(const PackRequest& request) {
    std::vector<Source> sources = statSources(request);
    Utf8Names names;
    StagedFile staged(request.archive);
    if (request.format == Format::Cab) {
        packCab(request, sources, staged);
        staged.commit();
        return;
    }
    if (request.format != Format::Zip && request.format != Format::Tar)
        throw Error(errnum::PathFileAccessError, "この形式の書庫は作れません", "Archive");

    WriteHandle w(archive_write_new());
    if (!w) throw Error(errnum::OutOfMemory, "書庫を書く準備ができません", "Archive");
    if (request.format == Format::Zip) {
        archive_write_set_format_zip(w.get());
        // Names in code page 932 and not flagged UTF-8: what the peers' readers take.
        if (archive_write_set_option(w.get(), "zip", "hdrcharset", "CP932") != ARCHIVE_OK)
            throw writeError(w.get(), request.archive);
    } else {
        archive_write_set_format_pax_restricted(w.get());
        switch (request.compression) {
        case Compression::Gzip: archive_write_add_filter_gzip(w.get()); break;
        case Compression::Bzip2: archive_write_add_filter_bzip2(w.get()); break;
        case Compression::Xz: archive_write_add_filter_xz(w.get()); break;
        case Compression::None: break;
        }
    }
    archive_write_set_bytes_in_last_block(w.get(), 1);
    if (archive_write_open_fd(w.get(), staged.fd()) != ARCHIVE_OK) throw writeError(w.get(), request.archive);

    if (request.keepExisting && fs::fileExists(request.archive)) {
        ReadHandle a = openReader(request.archive, request.format);
        archive_entry* e = nullptr;
        std::vector<char> buffer(kBlock);
        while (true) {
            int r = archive_read_next_header(a.get(), &e);
            if (r == ARCHIVE_EOF) break;
            if (!ok(r)) throw readError(a.get(), request.archive);
            std::string name = entryName(e);
            if (!keepOld(name, archive_entry_mtime(e), sources, request.onlyNewer)) continue;
            // Written again in the writer's own form, whatever form it was read in.
            archive_entry_copy_pathname(e, name.c_str());
            if (!ok(archive_write_header(w.get(), e))) throw writeError(w.get(), request.archive);
            while (true) {
                ssize_t n = archive_read_data(a.get(), buffer.data(), buffer.size());
                if (n == 0) break;
                if (n < 0) throw readError(a.get(), request.archive);
                if (archive_write_data(w.get(), buffer.data(), static_cast<size_t>(n)) < 0)
                    throw writeError(w.get(), request.archive);
            }
        }
    }
    for (const auto& s : sources) writeItem(w.get(), s, request.archive);
    if (archive_write_close(w.get()) != ARCHIVE_OK) throw writeError(w.get(), request.archive);
    staged.commit();
}

namespace {

uint64_t bound(const xml::Node& root, const char* name, uint64_t fallback, const std::string& file) {
    for (const xml::Node& child : root.childNodes()) {
        if (child.type() != xml::NodeType::Element || child.nodeName() != name) continue;
        std::string value = text::trimBlanks(child.text());
        if (value.empty()) return fallback;
        uint64_t n = 0;
        auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
        if (ec != std::errc() || end != value.data() + value.size() || n == 0)
            throw Error(errnum::TypeMismatch, file + ": " + name + " は正の整数で指定してください: " + value, "Archive");
        return n;
    }
    return fallback;
}

}  // namespace

ExtractLimits ExtractLimits::load() {
    ExtractLimits limits;
    auto found = fs::resolve(fs::programFolder() + kFileName);
    if (!found) return limits;
    xml::Document doc;
    if (!doc.load(*found))
        throw Error(errnum::PathFileAccessError, *found + " を読めません: " + doc.parseError().reason, "Archive");
    xml::Node root = doc.documentElement();
    if (root.isNull() || root.nodeName() != "Archive")
        throw Error(errnum::PathFileAccessError, *found + ": ルート要素は Archive です", "Archive");
    limits.maxBytes = bound(root, "MaxExtractBytes", limits.maxBytes, *found);
    limits.maxMembers = bound(root, "MaxExtractMembers", limits.maxMembers, *found);
    return limits;
}

long libraryVersion() {
    int v = archive_version_number();  // 3006002
    return (v / 1000000) * 100 + (v / 1000) % 1000;
}

}  // namespace fg::arc
