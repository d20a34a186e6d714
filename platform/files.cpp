#include "files.h"

#include "error.h"
#include "text.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace fg::fs {

namespace {

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

std::string nameOf(std::string_view path) {
    auto p = path.rfind('/');
    return std::string(p == std::string_view::npos ? path : path.substr(p + 1));
}

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
            DIR* dir = ::opendir(current.empty() ? "." : current.c_str());
            if (!dir) return std::nullopt;
            std::string found;
            while (dirent* e = ::readdir(dir)) {
                if (text::icompare(e->d_name, part) == 0) { found = e->d_name; break; }
            }
            ::closedir(dir);
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

bool matchWildcard(std::string_view pattern, std::string_view name) {
    // Folded as icompare folds, so that list() and resolve() agree on what matches.
    auto fold = [](std::string_view s) {
        std::u16string u = text::toUtf16(text::toLowerAscii(s));
        for (char16_t& c : u)
            if (c >= 0xFF21 && c <= 0xFF3A) c = static_cast<char16_t>(c - 0xFF21 + 0xFF41);
        return u;
    };
    std::u16string p = fold(pattern);
    std::u16string n = fold(name);
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

std::vector<std::string> list(const std::string& folder, std::string_view pattern, ListKind kind) {
    std::vector<std::string> names;
    auto dirPath = resolve(folder);
    if (!dirPath) return names;
    DIR* dir = ::opendir(dirPath->c_str());
    if (!dir) return names;
    while (dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        if (name.empty() || name.front() == '.') continue;
        if (!matchWildcard(pattern, name)) continue;
        if (kind != ListKind::All) {
            bool isDir = statIs(join(*dirPath, name), S_IFDIR);
            if ((kind == ListKind::Folders) != isDir) continue;
        }
        names.push_back(std::move(name));
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        int c = text::icompare(a, b);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

std::string readFile(const std::string& path) {
    auto real = resolve(path);
    if (!real || !statIs(*real, S_IFREG)) throw Error::standard(errnum::FileNotFound);
    int fd = ::open(real->c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw Error(errnum::PathFileAccessError, Error::standardText(errnum::PathFileAccessError) + " " + path);
    std::string out;
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            throw Error(errnum::PathFileAccessError, Error::standardText(errnum::PathFileAccessError) + " " + path);
        }
        if (n == 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return out;
}

namespace {

void fsyncFolder(const std::string& folder) {
    int dfd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

[[noreturn]] void writeFailed(const std::string& path, int err) {
    throw Error(errnum::PathFileAccessError,
                Error::standardText(errnum::PathFileAccessError) + " " + path + ": " + std::strerror(err));
}

}  // namespace

void writeFileAtomic(const std::string& path, std::string_view bytes) {
    // Write to the spelling that exists already, so case variants never fork a file.
    std::string target = path;
    if (auto existing = resolve(path); existing && statIs(*existing, S_IFREG)) target = *existing;
    std::string folder = folderOf(target);
    if (!folder.empty() && !statIs(folder, S_IFDIR)) {
        auto real = resolve(folder);
        if (!real || !statIs(*real, S_IFDIR))
            throw Error(errnum::PathNotFound, Error::standardText(errnum::PathNotFound) + " " + folder);
        folder = withSlash(*real);
        target = folder + nameOf(target);
    }
    static std::atomic<unsigned> counter{0};
    std::string temp;
    int fd = -1;
    // A writer killed earlier may have left a temporary file of the same
    // name (process ids come round again): take the next name.
    for (int attempt = 0; fd < 0; ++attempt) {
        temp = folder + "." + nameOf(target) + ".tmp." + std::to_string(::getpid()) + "." +
               std::to_string(counter++);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 && (errno != EEXIST || attempt >= 1000)) writeFailed(target, errno);
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            ::close(fd);
            ::unlink(temp.c_str());
            writeFailed(target, err);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        int err = errno;
        ::unlink(temp.c_str());
        writeFailed(target, err);
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        int err = errno;
        ::unlink(temp.c_str());
        writeFailed(target, err);
    }
    fsyncFolder(folder);
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
    writeFileAtomic(to, readFile(from));
}

}  // namespace fg::fs
