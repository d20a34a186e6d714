#include "platform/testing/small_file_system.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <vector>

namespace fg::testing {

namespace {

constexpr const char* kFiller = ".filler";

}  // namespace

SmallFileSystem::SmallFileSystem(std::uint64_t bytes) {
    const char* root = std::getenv("FAXGATE_TEST_TMP");
    std::string base = std::string(root && *root ? root : "/tmp") + "/faxgate-smallfs-XXXXXX";
    std::vector<char> name(base.begin(), base.end());
    name.push_back('\0');
    if (!::mkdtemp(name.data())) throw std::runtime_error("mkdtemp: " + std::string(std::strerror(errno)));
    path_ = std::string(name.data()) + "/";
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    if (::mount("tmpfs", name.data(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        why_ = "mount -t tmpfs: " + std::string(std::strerror(errno));
        return;
    }
    mounted_ = true;
}

SmallFileSystem::~SmallFileSystem() {
    if (kept_) return;
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
    ::rmdir(path_.c_str());
}

void SmallFileSystem::fill() {
    const std::string file = path_ + kFiller;
    int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("open " + file + ": " + std::strerror(errno));
    // Big pieces first, then smaller ones, until not one byte more goes in.
    std::vector<char> block(1 << 20, 'x');
    for (std::size_t size = block.size(); size > 0;) {
        ssize_t n = ::write(fd, block.data(), size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != ENOSPC) {
            ::close(fd);
            throw std::runtime_error("write " + file + ": " + std::strerror(errno));
        }
        if (n <= 0 || static_cast<std::size_t>(n) < size) size /= 2;
    }
    ::close(fd);
}

void SmallFileSystem::giveBack() { ::unlink((path_ + kFiller).c_str()); }

void SmallFileSystem::moveOut(const std::string& folder, const std::string& name, const std::string& to) {
    namespace sfs = std::filesystem;
    const sfs::path from = sfs::path(folder) / name, target = sfs::path(to) / name;
    if (sfs::exists(from)) {
        sfs::copy(from, target, sfs::copy_options::recursive);
        sfs::remove_all(from);
    } else {
        sfs::create_directories(target);
    }
    sfs::create_directory_symlink(target, from);
}

std::uint64_t SmallFileSystem::freeBytes() const {
    struct statvfs s {};
    if (::statvfs(path_.c_str(), &s) != 0) return 0;
    return static_cast<std::uint64_t>(s.f_bavail) * s.f_frsize;
}

}  // namespace fg::testing
