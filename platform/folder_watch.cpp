#include "platform/folder_watch.h"

#include "platform/files.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace fg {

namespace {

constexpr std::uint32_t kNotices = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY | IN_CLOSE_WRITE |
                                   IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// The watch is gone or watches something that is no longer the folder.
constexpr std::uint32_t kSpent = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT;

}  // namespace

bool FolderWatch::toldOfEveryChange(unsigned long fileSystemType) noexcept {
    constexpr unsigned long kZfs = 0x2FC12FC1;
    switch (fileSystemType) {
    case EXT4_SUPER_MAGIC:
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case F2FS_SUPER_MAGIC:
    case TMPFS_MAGIC:
    case RAMFS_MAGIC:
    case OVERLAYFS_SUPER_MAGIC:
    case kZfs:
        return true;
    default:
        return false;
    }
}

FolderWatch::FolderWatch(std::string folder, std::string pattern)
    : folder_(std::move(folder)), pattern_(std::move(pattern)) {
    (void)arm();
}

bool FolderWatch::arm() noexcept {
    notices_.reset();
    owner_ = ::getpid();
    // The watch goes on the folder that was opened, through its descriptor,
    // and the identity kept is that folder's: a path that is made to name
    // another folder in between shows as one on the next question.
    Descriptor dir(::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat st {};
    struct statfs about {};
    if (!dir || ::fstat(dir.get(), &st) != 0 || ::fstatfs(dir.get(), &about) != 0 ||
        !toldOfEveryChange(static_cast<unsigned long>(about.f_type)))
        return false;
    Descriptor notices(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    char opened[64];
    std::snprintf(opened, sizeof opened, "/proc/self/fd/%d", dir.get());
    if (!notices || ::inotify_add_watch(notices.get(), opened, kNotices) < 0) return false;
    device_ = st.st_dev;
    inode_ = st.st_ino;
    notices_ = std::move(notices);
    return true;
}

bool FolderWatch::stillTheFolder() const noexcept {
    struct stat st {};
    return ::stat(folder_.c_str(), &st) == 0 && st.st_dev == device_ && st.st_ino == inode_;
}

bool FolderWatch::changed() noexcept {
    if (!notices_ || owner_ != ::getpid() || !stillTheFolder()) {
        (void)arm();
        return true;
    }
    bool any = false;
    bool spent = false;
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(notices_.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && errno == EAGAIN) break;
        if (got <= 0) {
            spent = true;
            break;
        }
        for (ssize_t at = 0; at < got;) {
            const auto* notice = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + notice->len);
            if (notice->mask & kSpent) {
                spent = true;
            } else if (notice->len == 0) {
                // Lost notices (an overflowing queue), or the folder's own
                // attributes: what a read of it gives may have changed.
                any = true;
            } else if (!any) {
                const std::string_view name(notice->name, ::strnlen(notice->name, notice->len));
                try {
                    // Hidden names (lock and work files) are never listed.
                    any = !name.empty() && name.front() != '.' && fs::matchWildcard(pattern_, name);
                } catch (...) {
                    any = true;
                }
            }
        }
    }
    if (spent) (void)arm();
    return any || spent;
}

bool FolderWatch::coversFile(const std::string& path) noexcept {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1;
}

}  // namespace fg
