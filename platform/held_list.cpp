#include "platform/held_list.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/invariant.h"
#include "platform/owned.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <utility>

namespace fg {

namespace {

constexpr int kNamesTried = 100000;

[[noreturn]] void failed(const std::string& what, const std::string& path, int err) {
    throw Error(errnum::PathFileAccessError, what + ": " + path + ": " + std::strerror(err), "HeldList");
}

}  // namespace

HeldList HeldList::create(const std::string& folderIn, const std::string& suffix, const std::string& firstLine) {
    const std::string folder = fs::withSlash(folderIn);
    const std::string prefix = folder + "." + std::to_string(::getpid()) + "-";
    const std::string header = firstLine + "\n";
    // Made unnamed, locked and headed first, then given its name: a list is
    // never seen unlocked, so nobody takes a new one for one left behind.
    Descriptor fd(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0644));
    const bool unnamed = static_cast<bool>(fd) && ::access("/proc/self/fd", X_OK) == 0;
    if (unnamed && (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 || !fs::writeAll(fd.get(), header)))
        failed("予約の一覧を作れません", folder, errno);
    static std::atomic<int> serial{0};  // only where to start: names are tried until one is free
    for (int tried = 0; tried < kNamesTried; ++tried) {
        const std::string path = prefix + std::to_string(serial++) + suffix;
        if (unnamed) {
            const std::string self = "/proc/self/fd/" + std::to_string(fd.get());
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) != 0) {
                if (errno == EEXIST) continue;
                failed("予約の一覧を作れません", path, errno);
            }
        } else {
            // No unnamed files here: named from the start, and locked at
            // once; a claim in between would take it for left behind, so
            // whoever claims lists must exclude their making.
            fd.reset(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
            if (!fd && errno == EEXIST) continue;
            if (!fd || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 || !fs::writeAll(fd.get(), header)) {
                const int err = errno;
                ::unlink(path.c_str());
                failed("予約の一覧を作れません", path, err);
            }
        }
        HeldList list;
        list.path_ = path;
        list.fd_ = fd.release();
        list.size_ = header.size();
        return list;
    }
    throw Error(errnum::FileAlreadyExists, "予約の一覧の名前が尽きました: " + prefix, "HeldList");
}

HeldList HeldList::claimEnded(const std::string& path) {
    HeldList list;
    Descriptor fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    if (!fd) {
        if (errno == ENOENT) return list;
        failed("予約の一覧を開けません", path, errno);
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return list;
    // Removed by its holder after we opened it: nothing is left to claim.
    struct stat held {};
    if (!fs::stillNamed(fd.get(), path) || ::fstat(fd.get(), &held) != 0) return list;
    list.path_ = path;
    list.fd_ = fd.release();
    list.size_ = static_cast<std::uintmax_t>(held.st_size);
    return list;
}

std::vector<std::string> HeldList::find(const std::string& folderIn, const std::string& suffix) {
    const std::string folder = fs::withSlash(folderIn);
    std::vector<std::string> found;
    Owned<DIR*, ::closedir> dir(::opendir(folder.c_str()));
    if (!dir) {
        if (errno == ENOENT) return found;
        failed("フォルダを一覧できません", folder, errno);
    }
    errno = 0;
    while (dirent* e = ::readdir(dir.get())) {
        const std::string_view name = e->d_name;
        if (name.size() > suffix.size() + 1 && name[0] == '.' && name.substr(name.size() - suffix.size()) == suffix)
            found.push_back(folder + std::string(name));
        errno = 0;
    }
    if (errno != 0) failed("フォルダを一覧できません", folder, errno);
    std::sort(found.begin(), found.end());
    return found;
}

HeldList::HeldList(HeldList&& other) noexcept
    : path_(std::move(other.path_)), fd_(std::exchange(other.fd_, -1)), size_(other.size_) {}

HeldList& HeldList::operator=(HeldList&& other) noexcept {
    if (this != &other) {
        remove();
        path_ = std::move(other.path_);
        fd_ = std::exchange(other.fd_, -1);
        size_ = other.size_;
    }
    return *this;
}

HeldList::~HeldList() { remove(); }

void HeldList::append(const std::vector<std::string>& lines) {
    checkInvariant(fd_ >= 0, "a list is appended to only by its holder", "HeldList");
    std::string bytes;
    for (const std::string& line : lines) bytes += line + "\n";
    if (::lseek(fd_, static_cast<off_t>(size_), SEEK_SET) < 0 || !fs::writeAll(fd_, bytes)) {
        const int err = errno;
        // Cut back to the lines before: a part of one would join the next.
        (void)::ftruncate(fd_, static_cast<off_t>(size_));
        failed("予約の一覧に書けません", path_, err);
    }
    size_ += bytes.size();
}

void HeldList::remove() noexcept {
    if (fd_ < 0) return;
    // The file first: whoever finds it finds it held.
    ::unlink(path_.c_str());
    release();
}

void HeldList::release() noexcept {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
}

HeldList::Read HeldList::readNew(const std::string& path, Reading& at, std::vector<std::string>& lines) {
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        if (errno == ENOENT) return Read::Gone;
        failed("予約の一覧を読めません", path, errno);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) failed("予約の一覧を読めません", path, errno);
    Read read = Read::Continued;
    const auto device = static_cast<std::uintmax_t>(st.st_dev), inode = static_cast<std::uintmax_t>(st.st_ino);
    const auto size = static_cast<std::uintmax_t>(st.st_size);
    if (device != at.device || inode != at.inode || size < at.offset) {
        at = Reading{device, inode, 0, {}};
        read = Read::Restarted;
    }
    std::string bytes(size - at.offset, '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::pread(fd.get(), bytes.data() + got, bytes.size() - got, static_cast<off_t>(at.offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) failed("予約の一覧を読めません", path, errno);
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    at.offset += got;
    std::size_t begin = 0;
    for (std::size_t end; (end = bytes.find('\n', begin)) != std::string::npos; begin = end + 1) {
        lines.push_back(at.unended + bytes.substr(begin, end - begin));
        at.unended.clear();
    }
    at.unended += bytes.substr(begin);
    return read;
}

}  // namespace fg
