#include "platform/files.h"

#include "platform/error.h"
#include "platform/owned.h"
#include "platform/text.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <utility>

namespace fg::fs {

namespace {

// An open folder listing, closed once.
using Folder = Owned<DIR*, ::closedir>;

std::string exeFolder() {
    char buf[4096];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "./";
    buf[n] = '\0';
    return folderOf(std::string(buf, static_cast<std::size_t>(n)));
}

bool statIs(const std::string& path, mode_t kind) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IFMT) == kind;
}

}  // namespace

std::string programFolder() {
    const char* home = std::getenv("FAXGATE_HOME");
    if (home && *home) return withSlash(home);
    return exeFolder();
}

std::string currentFolder() {
    std::error_code ec;
    std::string cwd = std::filesystem::current_path(ec).string();
    return ec ? std::string("/") : withSlash(cwd);
}

Kind kindOf(const std::string& path, bool followLinks) {
    struct stat st {};
    if ((followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0) return Kind::Missing;
    if (S_ISREG(st.st_mode)) return Kind::File;
    if (S_ISDIR(st.st_mode)) return Kind::Folder;
    return Kind::Other;
}

std::string withSlash(std::string_view folder) {
    std::string out(folder);
    if (!out.empty() && out.back() != '/') out += '/';
    return out;
}

std::string join(std::string_view folder, std::string_view name) {
    if (folder.empty()) return std::string(name);
    std::string out(folder);
    while (!name.empty() && name.front() == '/') name.remove_prefix(1);
    if (out.back() != '/') out += '/';
    out += name;
    return out;
}

std::string folderOf(std::string_view path) {
    auto p = path.rfind('/');
    if (p == std::string_view::npos) return {};
    return std::string(path.substr(0, p + 1));
}

bool isBareName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    return name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

std::string nameOf(std::string_view path) {
    auto p = path.rfind('/');
    return std::string(p == std::string_view::npos ? path : path.substr(p + 1));
}

namespace {

// The entry of the folder that matches `part` without regard to case, where
// `part` itself is not there; "" when none does; of several, the first in
// byte order. A name of few letters is looked for under each of its
// spellings, which costs the same however many files the folder holds (a
// batch checks names in folders of thousands); a name of many, or a small
// folder, is read through.
std::string matchInFolder(const std::string& folder, const std::string& part) {
    struct stat dir {};
    const std::string where = folder.empty() ? "." : folder;
    if (::stat(where.c_str(), &dir) != 0) return {};
    // A look-up costs about what reading a few entries does; a folder's size
    // grows with its entries (some tens of bytes each).
    std::size_t most = 4;
    while (most < 10 && (std::int64_t{1} << (most + 1)) * 128 <= static_cast<std::int64_t>(dir.st_size)) ++most;
    if (const std::vector<std::string> spellings = text::caseSpellings(part, most); !spellings.empty()) {
        struct stat st {};
        for (const std::string& spelling : spellings)  // the spelling asked for was looked for already
            if (spelling != part && ::stat((folder + spelling).c_str(), &st) == 0) return spelling;
        return {};
    }
    Folder listing(::opendir(where.c_str()));
    if (!listing) return {};
    std::string found;
    while (dirent* e = ::readdir(listing.get()))
        if (text::icompare(e->d_name, part) == 0 && (found.empty() || found > e->d_name)) found = e->d_name;
    return found;
}

}  // namespace

std::optional<std::string> resolve(const std::string& path) {
    if (path.empty()) return std::nullopt;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return path;
    // Walk component by component, matching each without regard to case.
    std::string current = path.front() == '/' ? "/" : "";
    std::size_t pos = path.front() == '/' ? 1 : 0;
    while (pos <= path.size()) {
        std::size_t next = path.find('/', pos);
        std::string part = path.substr(pos, next == std::string::npos ? std::string::npos : next - pos);
        pos = next == std::string::npos ? path.size() + 1 : next + 1;
        if (part.empty() || part == ".") continue;
        std::string candidate = current + part;
        if (part != ".." && ::stat(candidate.c_str(), &st) != 0) {
            std::string found = matchInFolder(current, part);
            if (found.empty()) return std::nullopt;
            candidate = current + found;
        }
        current = candidate;
        if (next != std::string::npos) current += '/';
    }
    if (::stat(current.c_str(), &st) != 0) return std::nullopt;
    return current;
}

bool fileExists(const std::string& path) {
    auto r = resolve(path);
    return r && statIs(*r, S_IFREG);
}

bool folderExists(const std::string& path) {
    auto r = resolve(path);
    return r && statIs(*r, S_IFDIR);
}

bool sameFile(const std::string& a, const std::string& b) {
    auto ra = resolve(a);
    auto rb = resolve(b);
    struct stat sa {}, sb {};
    if (!ra || !rb || ::stat(ra->c_str(), &sa) != 0 || ::stat(rb->c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool stillNamed(int fd, const std::string& path) noexcept {
    struct stat held {}, named {};
    return ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_ino == named.st_ino &&
           held.st_dev == named.st_dev;
}

bool writeAll(int fd, std::string_view bytes) noexcept {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            errno = EIO;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

namespace {

// Folded as icompare folds, so that list() and resolve() agree on what matches.
std::u16string foldedForMatch(std::string_view s) {
    std::u16string u = text::toUtf16(text::toLowerAscii(s));
    for (char16_t& c : u)
        if (c >= 0xFF21 && c <= 0xFF3A) c = static_cast<char16_t>(c - 0xFF21 + 0xFF41);
    return u;
}

bool matchFolded(const std::u16string& p, const std::u16string& n) {
    std::size_t pi = 0, ni = 0, star = std::u16string::npos, mark = 0;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == u'?' || p[pi] == n[ni])) { ++pi; ++ni; }
        else if (pi < p.size() && p[pi] == u'*') { star = pi++; mark = ni; }
        else if (star != std::u16string::npos) { pi = star + 1; ni = ++mark; }
        else return false;
    }
    while (pi < p.size() && p[pi] == u'*') ++pi;
    return pi == p.size();
}

}  // namespace

bool matchWildcard(std::string_view pattern, std::string_view name) {
    return matchFolded(foldedForMatch(pattern), foldedForMatch(name));
}

std::vector<std::string> list(const std::string& folder, std::string_view pattern, ListKind kind) {
    std::vector<std::string> names;
    auto dirPath = resolve(folder);
    if (!dirPath) return names;
    Folder dir(::opendir(dirPath->c_str()));
    if (!dir) return names;
    // The pattern folded once, not again for every name of the folder.
    const std::u16string folded = foldedForMatch(pattern);
    while (dirent* e = ::readdir(dir.get())) {
        std::string name = e->d_name;
        if (name.empty() || name.front() == '.') continue;
        if (!matchFolded(folded, foldedForMatch(name))) continue;
        if (kind != ListKind::All) {
            bool isDir = statIs(join(*dirPath, name), S_IFDIR);
            if ((kind == ListKind::Folders) != isDir) continue;
        }
        names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        int c = text::icompare(a, b);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

namespace {

// A buffer of many megabytes is faulted in two megabytes at a time where the
// kernel allows it: a state file of years read in pages of four kilobytes
// spends more on the faults than on the read. Only whole large pages inside
// the buffer are asked for; what the kernel answers changes nothing else.
void adviseLargePages(void* data, std::size_t bytes) {
    constexpr std::uintptr_t kLarge = 2u << 20;
    if (bytes < 4 * kLarge) return;
    const auto from = (reinterpret_cast<std::uintptr_t>(data) + kLarge - 1) & ~(kLarge - 1);
    const auto to = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kLarge - 1);
    if (to > from) (void)::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
}

// The buffer kept for the next large read, and how many ReusedReads live.
struct HeldRead {
    std::mutex mutex;
    std::string bytes;
    int users = 0;
};

HeldRead& heldRead() {
    static HeldRead held;
    return held;
}

// A buffer for a read of `size` bytes: the one kept, when it is large
// enough; otherwise none, and the one kept is freed before a new one is made.
std::string bufferFor(std::size_t size) {
    std::string out;
    if (size < kReusedReadFrom) return out;
    HeldRead& held = heldRead();
    std::string freed;  // freed once the lock is let go
    std::lock_guard lock(held.mutex);
    if (held.bytes.capacity() >= size) out.swap(held.bytes);
    else freed.swap(held.bytes);
    return out;
}

}  // namespace

ReusedReads::ReusedReads() {
    HeldRead& held = heldRead();
    std::lock_guard lock(held.mutex);
    ++held.users;
}

ReusedReads::~ReusedReads() {
    HeldRead& held = heldRead();
    std::string freed;
    std::lock_guard lock(held.mutex);
    if (--held.users == 0) freed.swap(held.bytes);
}

void giveBackRead(std::string&& bytes) {
    if (bytes.capacity() < kReusedReadFrom) return;
    HeldRead& held = heldRead();
    std::string freed = std::move(bytes);
    std::lock_guard lock(held.mutex);
    if (held.users > 0 && freed.capacity() > held.bytes.capacity()) freed.swap(held.bytes);
}

std::size_t heldForReadsForTest() {
    HeldRead& held = heldRead();
    std::lock_guard lock(held.mutex);
    return held.bytes.capacity() > std::string().capacity() ? held.bytes.capacity() : 0;
}

std::string readFile(const std::string& path) {
    auto real = resolve(path);
    if (!real || !statIs(*real, S_IFREG)) throw Error::standard(errnum::FileNotFound);
    Descriptor fd(::open(real->c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) throw Error(errnum::PathFileAccessError, Error::standardText(errnum::PathFileAccessError) + " " + path);
    // Sized once from the file and read straight into place: a large file
    // read in small appends costs its copies several times over.
    struct stat st {};
    std::size_t size = ::fstat(fd.get(), &st) == 0 && st.st_size > 0 ? static_cast<std::size_t>(st.st_size) : 0;
    // A buffer used again is resized within its room: nothing is cleared
    // that the read then overwrites.
    std::string out = bufferFor(size + 1);
    if (out.capacity() < size + 1) {
        out.reserve(size + 1);
        adviseLargePages(out.data(), out.capacity());
    }
    out.resize(size + 1);
    std::size_t done = 0;
    for (;;) {
        if (done == out.size()) out.resize(out.size() * 2);
        ssize_t n = ::read(fd.get(), out.data() + done, out.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw Error(errnum::PathFileAccessError, Error::standardText(errnum::PathFileAccessError) + " " + path);
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    out.resize(done);
    return out;
}

void readInPieces(const std::string& path, std::size_t piece, const std::function<bool(std::string_view)>& take) {
    auto real = resolve(path);
    if (!real || !statIs(*real, S_IFREG)) throw Error::standard(errnum::FileNotFound);
    Descriptor fd(::open(real->c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) throw Error(errnum::PathFileAccessError, Error::standardText(errnum::PathFileAccessError) + " " + path);
    std::string buffer(std::max<std::size_t>(piece, 1), '\0');
    for (;;) {
        ssize_t n = ::read(fd.get(), buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            throw Error(errnum::PathFileAccessError, Error::standardText(errnum::PathFileAccessError) + " " + path);
        }
        if (n == 0 || !take(std::string_view(buffer.data(), static_cast<std::size_t>(n)))) return;
    }
}

std::string readStart(const std::string& path, std::size_t size) {
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return {};
    std::string out(size, '\0');
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::read(fd.get(), out.data() + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    out.resize(done);
    return out;
}

void appendToFile(const std::string& path, std::string_view bytes, Readers readers) {
    const bool ownerOnly = readers == Readers::OwnerOnly;
    Descriptor fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, ownerOnly ? 0600 : 0644));
    struct stat st {};
    const bool narrowed =
        !ownerOnly || (fd && ::fstat(fd.get(), &st) == 0 &&
                       ((st.st_mode & 077) == 0 || ::fchmod(fd.get(), st.st_mode & 07700) == 0));
    if (!fd || !narrowed || ::write(fd.get(), bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
        ::close(fd.release()) != 0)
        throw Error(errnum::PathFileAccessError,
                    Error::standardText(errnum::PathFileAccessError) + " " + path + ": " + std::strerror(errno));
}

namespace {

void fsyncFolder(const std::string& folder) {
    Descriptor dfd(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dfd) ::fsync(dfd.get());
}

[[noreturn]] void writeFailed(const std::string& path, int err) {
    throw Error(errnum::PathFileAccessError,
                Error::standardText(errnum::PathFileAccessError) + " " + path + ": " + std::strerror(err));
}

constexpr const char* kTempMark = ".tmp.";

// The named temporary file of a save: hidden, and carrying the writer's
// process id, so that a temporary left by a killed writer can be told from
// one that is still being written.
std::string temporaryName(const std::string& folder, const std::string& name, unsigned serial) {
    return folder + "." + name + kTempMark + std::to_string(::getpid()) + "." + std::to_string(serial);
}

// A new file takes the mode of the file it replaces, and its owner and group
// where this process may give them, so that a save keeps who may read the
// file. Changing the owner needs a privilege; keeping the group needs
// membership: each is tried on its own, and one that is refused leaves the
// file to its writer.
void keepAccess(int fd, const struct stat& old) {
    // The file is our own new one: its mode can always be set.
    (void)::fchmod(fd, old.st_mode & 07777);
    if (::fchown(fd, old.st_uid, old.st_gid) == 0) return;
    // Without the privilege to give the owner, the group alone; refused too,
    // the file belongs to its writer, with the old mode.
    (void)::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
}

bool writeAll(int fd, std::span<const std::string_view> pieces, Sync sync, int& err) {
    for (std::string_view bytes : pieces) {
        if (!fs::writeAll(fd, bytes)) {
            err = errno;
            return false;
        }
    }
    if (sync == Sync::Durable && ::fsync(fd) != 0) {
        err = errno;
        return false;
    }
    return true;
}

std::atomic<unsigned> saveCounter{0};

}  // namespace

void writeFileAtomic(const std::string& path, std::string_view bytes, Sync sync) {
    writeFileAtomic(path, std::span<const std::string_view>(&bytes, 1), sync);
}

void writeFileAtomic(const std::string& path, std::span<const std::string_view> pieces, Sync sync) {
    AtomicFileWriter file(path, sync);
    for (std::string_view bytes : pieces) file.write(bytes);
    file.commit();
}

AtomicFileWriter::AtomicFileWriter(const std::string& path, Sync sync) : target_(path), sync_(sync) {
    // Write to the spelling that exists already, so case variants never fork a file.
    if (auto existing = resolve(path); existing && statIs(*existing, S_IFREG)) target_ = *existing;
    folder_ = folderOf(target_);
    if (!folder_.empty() && !statIs(folder_, S_IFDIR)) {
        auto real = resolve(folder_);
        if (!real || !statIs(*real, S_IFDIR))
            throw Error(errnum::PathNotFound, Error::standardText(errnum::PathNotFound) + " " + folder_);
        folder_ = withSlash(*real);
        target_ = folder_ + nameOf(target_);
    }
    struct stat old {};
    const bool replacing = ::stat(target_.c_str(), &old) == 0 && S_ISREG(old.st_mode);

    // The bytes go to an unnamed file first: a writer killed while it writes
    // leaves nothing behind. The file gets a (hidden) name only once it is
    // complete, for the instant before the rename; /proc names it then.
    if (::access("/proc/self/fd", X_OK) == 0)
        fd_ = ::open(folder_.empty() ? "." : folder_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
    // A file system without unnamed files (or no /proc to name one by): a
    // named temporary file from the start. A writer killed earlier may have
    // left one of the same name (process ids come round again): take the
    // next name.
    for (int attempt = 0; fd_ < 0; ++attempt) {
        temp_ = temporaryName(folder_, nameOf(target_), saveCounter++);
        fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd_ < 0 && (errno != EEXIST || attempt >= 1000)) {
            const int err = errno;
            temp_.clear();
            writeFailed(target_, err);
        }
    }
    if (replacing) keepAccess(fd_, old);
}

AtomicFileWriter::~AtomicFileWriter() { discard(); }

void AtomicFileWriter::write(std::string_view bytes) {
    int err = 0;
    if (!writeAll(fd_, std::span<const std::string_view>(&bytes, 1), Sync::Passing, err)) fail(err);
    size_ += bytes.size();
}

void AtomicFileWriter::truncate(std::uint64_t size) {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0 || ::lseek(fd_, static_cast<off_t>(size), SEEK_SET) < 0)
        fail(errno);
    size_ = size;
}

void AtomicFileWriter::commit() {
    if (sync_ == Sync::Durable && ::fsync(fd_) != 0) fail(errno);
    if (temp_.empty()) {
        const std::string self = "/proc/self/fd/" + std::to_string(fd_);
        for (int attempt = 0; attempt < 1000 && temp_.empty(); ++attempt) {
            std::string name = temporaryName(folder_, nameOf(target_), saveCounter++);
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) temp_ = name;
            else if (errno != EEXIST) fail(errno);
        }
        if (temp_.empty()) fail(EEXIST);
    }
    if (::close(std::exchange(fd_, -1)) != 0) fail(errno);
    if (::rename(temp_.c_str(), target_.c_str()) != 0) fail(errno);
    temp_.clear();
    if (sync_ == Sync::Durable) fsyncFolder(folder_);
}

void AtomicFileWriter::fail(int err) {
    discard();
    writeFailed(target_, err);
}

void AtomicFileWriter::discard() noexcept {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
}

void removeStaleTemporaries(const std::string& path) noexcept {
    // ".NAME.tmp.PID.N": the writer's process id, then its serial number.
    removeFilesOfEndedWriters(folderOf(path).empty() ? "." : folderOf(path), "." + nameOf(path) + kTempMark);
}

bool writerEnded(pid_t pid) noexcept {
    if (pid <= 0) return false;
    if (::kill(pid, 0) != 0) return errno == ESRCH;
    // A killed process that nobody has collected yet keeps its id, and
    // where its parent died too it may wait seconds for the first process
    // to collect it; it writes nothing more. Its state follows the last ")".
    char path[32];
    std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT;
    char stat[512];
    const ssize_t got = ::read(fd, stat, sizeof stat - 1);
    ::close(fd);
    if (got <= 0) return false;
    const std::string_view text(stat, static_cast<std::size_t>(got));
    const std::size_t paren = text.rfind(')');
    if (paren == std::string_view::npos || paren + 2 >= text.size()) return false;
    return text[paren + 2] == 'Z' || text[paren + 2] == 'X';
}

namespace {

// Whether `rest` begins with a process id and "." of a process that no
// longer runs (a writer that still runs may be about to rename its file).
bool endedWriter(std::string_view rest) {
    std::size_t dot = rest.find('.');
    if (dot == 0 || dot == std::string::npos) return false;
    pid_t pid = 0;
    auto [end, ec] = std::from_chars(rest.data(), rest.data() + dot, pid);
    if (ec != std::errc() || end != rest.data() + dot || pid <= 0) return false;
    return writerEnded(pid);
}

}  // namespace

bool isTemporaryOfEndedWriter(std::string_view name) noexcept {
    if (name.empty() || name[0] != '.') return false;
    if (std::size_t mark = name.find(kTempMark); mark != std::string_view::npos)
        return endedWriter(name.substr(mark + std::string_view(kTempMark).size()));
    // ".NAME.PID.tmp": a run marker's content before it takes the marker's
    // name, which a writer killed in between leaves.
    constexpr std::string_view kEnd = ".tmp";
    if (name.size() <= kEnd.size() || name.substr(name.size() - kEnd.size()) != kEnd) return false;
    const std::size_t dot = name.rfind('.', name.size() - kEnd.size() - 1);
    return dot != std::string_view::npos && dot > 0 && endedWriter(name.substr(dot + 1));
}

void removeTemporariesOfEndedWriters(const std::string& folderIn) noexcept {
    try {
        auto real = resolve(folderIn);
        if (!real) return;
        std::error_code ec;
        std::vector<std::filesystem::path> stale;
        // Links are not followed: only what lies in this tree.
        for (std::filesystem::recursive_directory_iterator it(*real, ec), end; !ec && it != end; it.increment(ec)) {
            if (!isTemporaryOfEndedWriter(it->path().filename().string())) continue;
            stale.push_back(it->path());
            if (it->is_directory(ec) && !it->is_symlink(ec)) it.disable_recursion_pending();
        }
        for (const auto& path : stale) std::filesystem::remove_all(path, ec);
    } catch (...) {
        // Left for the next sweep: what stays is only wasted space.
    }
}

void removeFilesOfEndedWriters(const std::string& folderIn, std::string_view prefix) noexcept {
    try {
        auto real = resolve(folderIn);
        if (!real) return;
        const std::string folder = withSlash(*real);
        Folder dir(::opendir(folder.c_str()));
        if (!dir) return;
        std::vector<std::string> stale;
        while (dirent* e = ::readdir(dir.get())) {
            std::string name = e->d_name;
            if (name.size() <= prefix.size() || text::icompare(name.substr(0, prefix.size()), prefix) != 0) continue;
            if (endedWriter(std::string_view(name).substr(prefix.size()))) stale.push_back(folder + name);
        }
        dir.reset();
        for (const std::string& file : stale) ::unlink(file.c_str());
    } catch (...) {
        // Left for the next writer: what stays is only wasted space.
    }
}

void syncFile(const std::string& path) {
    auto found = resolve(path);
    if (!found) throw Error(errnum::FileNotFound, Error::standardText(errnum::FileNotFound) + " " + path);
    Descriptor fd(::open(found->c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) writeFailed(*found, errno);
    if (::fsync(fd.get()) != 0) writeFailed(*found, errno);
    fsyncFolder(folderOf(*found));
}

void makeFolders(const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (ec && !statIs(path, S_IFDIR))
        throw Error(errnum::PathNotFound, Error::standardText(errnum::PathNotFound) + " " + path);
}

bool removeFile(const std::string& path) {
    auto real = resolve(path);
    if (!real) return false;
    return ::unlink(real->c_str()) == 0;
}

void removeTree(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

void copyFile(const std::string& from, const std::string& to) {
    std::string bytes;
    try {
        bytes = readFile(from);
    } catch (const Error& e) {
        // Whoever logs a failed copy must be able to tell which file was missing.
        if (e.number() != errnum::FileNotFound) throw;
        throw Error(errnum::FileNotFound, Error::standardText(errnum::FileNotFound) + " " + from);
    }
    writeFileAtomic(to, bytes);
}

void rename(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0)
        throw Error(errnum::PathFileAccessError, Error::standardText(errnum::PathFileAccessError) + " " + from +
                                                     " -> " + to + ": " + std::strerror(errno));
}

void moveNoReplace(const std::string& from, const std::string& to) {
    const auto taken = [&] {
        return Error(errnum::FileAlreadyExists, Error::standardText(errnum::FileAlreadyExists) + " " + to);
    };
    if (fileExists(to)) throw taken();  // names are matched without regard to case
    int err = ::link(from.c_str(), to.c_str()) == 0 ? 0 : errno;
    if (err == EXDEV || err == EPERM) {
        // No link across file systems (or on this one): a copy that never
        // overwrites, as the link would not.
        err = 0;
        try {
            std::string bytes = readFile(from);
            Descriptor out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
            if (!out) err = errno;
            else if (std::string_view whole = bytes;
                     !writeAll(out.get(), std::span<const std::string_view>(&whole, 1), Sync::Passing, err) || ::close(out.release()) != 0) {
                if (err == 0) err = errno;
                ::unlink(to.c_str());
            }
        } catch (const Error& e) {
            throw Error(errnum::PathFileAccessError, "移動できません: " + from + " -> " + to + ": " + e.description());
        }
    }
    if (err == EEXIST) throw taken();
    if (err != 0)
        throw Error(errnum::PathFileAccessError, "移動できません: " + from + " -> " + to + ": " + std::strerror(err));
    if (!removeFile(from)) throw Error(errnum::PathFileAccessError, "移動元を削除できません: " + from);
}

std::optional<FileStamp> stampOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileStamp{static_cast<std::uintmax_t>(st.st_size),
                     static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
                     static_cast<std::uintmax_t>(st.st_dev), static_cast<std::uintmax_t>(st.st_ino)};
}

std::string temporaryFolder() {
    const char* tmp = std::getenv("TMPDIR");
    return withSlash(tmp && *tmp ? tmp : "/tmp");
}

namespace {

[[noreturn]] void notMade(const std::string& folder, const char* what, int err) {
    const long number = err == ENOENT ? errnum::PathNotFound : errnum::PathFileAccessError;
    throw Error(number, Error::standardText(number) + " " + what + ": " + folder + " (" + std::strerror(err) + ")");
}

}  // namespace

namespace {

// "<folder><prefix>.tmp.<pid>.XXXXXX": the owner's process id in the name, so
// that what a killed owner left can be told from what one that runs holds.
std::string ownedTemplate(const std::string& folder, const std::string& prefix) {
    return withSlash(folder) + prefix + kTempMark + std::to_string(::getpid()) + ".XXXXXX";
}

}  // namespace

TempFile::TempFile(const std::string& folder, const std::string& prefix) : path_(ownedTemplate(folder, prefix)) {
    Descriptor fd(::mkostemp(path_.data(), O_CLOEXEC));
    if (!fd) {
        const int err = errno;
        path_.clear();
        notMade(folder, "一時ファイルを作れません", err);
    }
}

TempFile::~TempFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
}

TempFile::TempFile(TempFile&& other) noexcept : path_(std::exchange(other.path_, {})) {}

TempFile& TempFile::operator=(TempFile&& other) noexcept {
    if (this != &other) {
        if (!path_.empty()) ::unlink(path_.c_str());
        path_ = std::exchange(other.path_, {});
    }
    return *this;
}

void TempFile::placeAt(const std::string& target) {
    rename(path_, target);
    path_.clear();
}

TempFolder::TempFolder(const std::string& folder, const std::string& prefix) : path_(ownedTemplate(folder, prefix)) {
    if (!::mkdtemp(path_.data())) {
        const int err = errno;
        path_.clear();
        notMade(folder, "作業フォルダを作れません", err);
    }
    path_ += '/';
}

TempFolder::~TempFolder() {
    if (!path_.empty()) removeTree(path_);
}

}  // namespace fg::fs
