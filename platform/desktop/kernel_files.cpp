#include "platform/desktop/kernel_files.h"

#include "platform/files.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace fg::desktop {

FileHandle fileOpen(const std::string& path, FileAccess access) {
    if (access == FileAccess::Read) {
        const std::string name = fs::resolve(path).value_or(path);
        return ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    }
    // Readable and writable by everyone the process's mask lets in, as the
    // C library's files are.
    return ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

void fileClose(FileHandle file) {
    if (file >= 0) ::close(file);
}

std::int64_t fileRead(FileHandle file, void* bytes, std::size_t count) {
    auto* at = static_cast<char*>(bytes);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::read(file, at + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t fileWrite(FileHandle file, const void* bytes, std::size_t count) {
    const auto* at = static_cast<const char*>(bytes);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(file, at + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t fileSeek(FileHandle file, std::int64_t offset, int origin) {
    int whence;
    switch (origin) {
    case 0: whence = SEEK_SET; break;
    case 1: whence = SEEK_CUR; break;
    case 2: whence = SEEK_END; break;
    default: return -1;
    }
    const off_t at = ::lseek(file, static_cast<off_t>(offset), whence);
    return at < 0 ? -1 : static_cast<std::int64_t>(at);
}

}  // namespace fg::desktop
