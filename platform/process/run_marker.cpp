#include "platform/process/run_marker.h"

#include "platform/clock.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/owned.h"
#include "platform/text.h"
#include "platform/xml.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

namespace fg {

namespace {

constexpr int kMaxSameSecond = 10000;

std::string lockPathOf(const std::string& folder, const std::string& fileName) {
    return folder + "." + text::toLowerAscii(fileName) + ".lock";
}

std::string markerContent() {
    xml::Document doc;
    doc.appendChild(doc.createProcessingInstruction("xml", "version=\"1.0\" encoding=\"Shift_JIS\""));
    doc.appendChild(doc.createElement("TELEPHONY"));
    return doc.saveToString();
}


// Takes the lock file of a name (made when `create`); none when a live
// writer holds it or, without `create`, when it is gone.
Descriptor takeLock(const std::string& lockPath, bool create = true) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        Descriptor fd(::open(lockPath.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0644));
        if (!fd && !create && errno == ENOENT) return {};
        if (!fd)
            throw Error(errnum::PermissionDenied, "実行中ファイルのロックを作れません: " + lockPath + ": " +
                                                      std::strerror(errno), "RunMarker");
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return {};
        // A holder that was just deleting its marker may have unlinked this
        // lock file after we opened it: our lock would then guard nothing.
        if (fs::stillNamed(fd.get(), lockPath)) return fd;
    }
    return {};
}

// The lock file names its holder by process id.
bool writeHolder(int fd) {
    return ::ftruncate(fd, 0) == 0 && ::lseek(fd, 0, SEEK_SET) == 0 && fs::writeAll(fd, std::to_string(::getpid()));
}

// The process id a lock file names; 0 when it names none.
pid_t holderOf(int fd) {
    char buf[24];
    ssize_t n = ::pread(fd, buf, sizeof buf, 0);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buf) return 0;
    pid_t pid = 0;
    auto [end, ec] = std::from_chars(buf, buf + n, pid);
    return ec == std::errc() && end == buf + n ? pid : 0;
}

// The names in a folder, sorted; none in a missing folder. Raises fg::Error
// when it cannot be listed.
std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
        if (errno == ENOENT) return names;
        throw Error(errnum::PathFileAccessError, "フォルダを一覧できません: " + folder + ": " + std::strerror(errno),
                    "RunMarker");
    }
    Owned<DIR*, ::closedir> closer(dir);
    errno = 0;
    while (dirent* e = ::readdir(dir)) {
        names.push_back(e->d_name);
        errno = 0;
    }
    if (errno != 0)
        throw Error(errnum::PathFileAccessError, "フォルダを一覧できません: " + folder + ": " + std::strerror(errno),
                    "RunMarker");
    std::sort(names.begin(), names.end());
    return names;
}

// Calls `each(names, lockName, file, fd)` for every marker lock file of a
// folder that no writer holds, held by us meanwhile: no writer takes its
// name, and a marker is gone before its lock is free again. `names` is the
// folder's listing, `file` the marker's name ("@<stamp>.xml").
template <typename Each>
void forEachFreeLock(const std::string& folder, Each each) {
    const std::vector<std::string> names = namesIn(folder);
    for (const std::string& lockName : names) {
        if (!fs::matchWildcard(".@*.xml.lock", lockName)) continue;
        Descriptor lock = takeLock(folder + lockName, false);
        if (lock) each(names, lockName, lockName.substr(1, lockName.size() - 6), lock.get());
    }
}

// Whether the listing holds the marker `file`, in any case.
bool listed(const std::vector<std::string>& names, const std::string& file) {
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& name) { return name[0] == '@' && text::icompare(name, file) == 0; });
}

}  // namespace

RunMarker RunMarker::create(const std::string& folderIn) {
    std::string folder = fs::withSlash(folderIn);
    if (!fs::folderExists(folder))
        throw Error(errnum::PathNotFound, "実行中ファイルのフォルダがありません: " + folder, "RunMarker");
    if (auto real = fs::resolve(folder)) folder = fs::withSlash(*real);
    const std::string stamp = timeStamp14(clock().now());
    const std::string content = markerContent();
    for (int n = 1; n <= kMaxSameSecond; ++n) {
        std::string name = "@" + stamp + (n == 1 ? "" : "_" + std::to_string(n));
        std::string file = name + ".XML";
        if (fs::fileExists(folder + file)) continue;  // live, or stale: either way not ours
        if (fs::fileExists(handOverPath(folder, file))) continue;  // work left for a take-over
        Descriptor lock = takeLock(lockPathOf(folder, file));
        if (!lock) continue;
        if (!writeHolder(lock.get())) {
            int err = errno;
            ::unlink(lockPathOf(folder, file).c_str());
            throw Error(errnum::PathFileAccessError, "実行中ファイルのロックを書けません: " + lockPathOf(folder, file) +
                                                         ": " + std::strerror(err), "RunMarker");
        }
        // The content goes to a hidden file first and appears under the
        // marker name by a link, which fails if the name exists: the marker
        // is never seen half-written and never replaces another one.
        std::string temp = folder + "." + name + "." + std::to_string(::getpid()) + ".tmp";
        Descriptor tfd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (!tfd || !fs::writeAll(tfd.get(), content)) {
            int err = errno;
            tfd.reset();
            ::unlink(temp.c_str());
            ::unlink(lockPathOf(folder, file).c_str());
            throw Error(errnum::PathFileAccessError, "実行中ファイルを書けません: " + folder + file + ": " +
                                                         std::strerror(err), "RunMarker");
        }
        tfd.reset();
        int rc = ::link(temp.c_str(), (folder + file).c_str());
        int err = errno;
        ::unlink(temp.c_str());
        if (rc != 0) {
            ::unlink(lockPathOf(folder, file).c_str());
            if (err == EEXIST) continue;
            throw Error(errnum::PathFileAccessError, "実行中ファイルを書けません: " + folder + file + ": " +
                                                         std::strerror(err), "RunMarker");
        }
        RunMarker m;
        m.folder_ = folder;
        m.name_ = name;
        m.lockFd_ = lock.release();
        return m;
    }
    throw Error(errnum::FileAlreadyExists, "実行中ファイルの名前が尽きました: " + folder + "@" + stamp, "RunMarker");
}

RunMarker::RunMarker(RunMarker&& other) noexcept
    : folder_(std::move(other.folder_)), name_(std::move(other.name_)), lockFd_(other.lockFd_) {
    other.lockFd_ = -1;
}

RunMarker& RunMarker::operator=(RunMarker&& other) noexcept {
    if (this != &other) {
        remove();
        folder_ = std::move(other.folder_);
        name_ = std::move(other.name_);
        lockFd_ = other.lockFd_;
        other.lockFd_ = -1;
    }
    return *this;
}

RunMarker::~RunMarker() { remove(); }

void RunMarker::remove() noexcept {
    if (lockFd_ < 0) return;
    // Marker first, lock file second, lock last: whoever sees the marker
    // also sees it held.
    ::unlink(path().c_str());
    ::unlink(lockPathOf(folder_, name_ + ".XML").c_str());
    ::close(lockFd_);
    lockFd_ = -1;
}

bool RunMarker::isLive(const std::string& folderIn, const std::string& fileName) {
    std::string folder = fs::withSlash(folderIn);
    // Closing the descriptor also lets go of a shared lock we may have got.
    Descriptor fd(::open(lockPathOf(folder, fileName).c_str(), O_RDONLY | O_CLOEXEC));
    return fd && ::flock(fd.get(), LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

std::vector<RunMarker::Found> RunMarker::find(const std::string& folderIn) {
    std::string folder = fs::withSlash(folderIn);
    std::vector<Found> found;
    for (const std::string& name : namesIn(folder)) {
        if (!fs::matchWildcard("@*.XML", name)) continue;
        bool live = isLive(folder, name);
        // A marker whose lock was free may have been deleted by its writer
        // between the listing and the test: that one has simply ended.
        if (!live && ::access((folder + name).c_str(), F_OK) != 0) continue;
        found.push_back({name, live});
    }
    return found;
}

int RunMarker::removeLeftBy(const std::string& folderIn, pid_t writer) noexcept {
    int removed = 0;
    if (writer <= 0) return removed;
    try {
        const std::string folder = fs::withSlash(folderIn);
        forEachFreeLock(folder, [&](const std::vector<std::string>& names, const std::string& lockName,
                                    const std::string& file, int fd) {
            if (holderOf(fd) != writer) return;
            for (const std::string& name : names)
                if (name[0] == '@' && text::icompare(name, file) == 0 && ::unlink((folder + name).c_str()) == 0)
                    ++removed;
            const std::string stem = file.substr(0, file.size() - 4);
            ::unlink((folder + "." + stem + "." + std::to_string(writer) + ".tmp").c_str());
            ::unlink((folder + lockName).c_str());
        });
    } catch (...) {
        // What stays is a stale marker, which the shutdown's wait passes over.
    }
    return removed;
}

int RunMarker::removeStrayLocks(const std::string& folderIn) noexcept {
    int removed = 0;
    try {
        const std::string folder = fs::withSlash(folderIn);
        forEachFreeLock(folder, [&](const std::vector<std::string>& names, const std::string& lockName,
                                    const std::string& file, int) {
            if (listed(names, file) || fs::fileExists(handOverPath(folder, file))) return;
            if (::unlink((folder + lockName).c_str()) == 0) ++removed;
        });
        // A writer killed between writing a marker's content and giving it
        // the marker's name left the content, whose name nothing else sweeps
        // while the server runs.
        for (const std::string& name : namesIn(folder))
            if (fs::matchWildcard(".@*.tmp", name) && fs::isTemporaryOfEndedWriter(name))
                ::unlink((folder + name).c_str());
    } catch (...) {
        // What stays guards nothing, and a marker of its name takes it over.
    }
    return removed;
}

std::string RunMarker::handOverPath(const std::string& folder, const std::string& fileName) {
    return fs::withSlash(folder) + "." + text::toLowerAscii(fileName) + ".handover";
}

std::vector<RunMarker::Found> RunMarker::findHandOvers(const std::string& folderIn) {
    std::string folder = fs::withSlash(folderIn);
    std::vector<Found> found;
    const std::string suffix = ".handover";
    for (const std::string& name : namesIn(folder)) {
        if (!fs::matchWildcard(".@*.xml.handover", name)) continue;
        // "@<stamp>.XML", as the marker itself is named.
        std::string file = name.substr(1, name.size() - 1 - suffix.size());
        file = file.substr(0, file.size() - 4) + ".XML";
        found.push_back({file, isLive(folder, file)});
    }
    return found;
}

RunMarker RunMarker::claim(const std::string& folderIn, const std::string& fileName) noexcept {
    RunMarker m;
    try {
        std::string folder = fs::withSlash(folderIn);
        if (auto real = fs::resolve(folder)) folder = fs::withSlash(*real);
        // A writer that ended in order removed its lock file with its marker
        // and may have left its hand-over: the lock is made afresh then.
        Descriptor lock = takeLock(lockPathOf(folder, fileName));
        if (!lock || !writeHolder(lock.get())) return m;
        m.folder_ = folder;
        m.name_ = fileName.substr(0, fileName.size() - 4);
        m.lockFd_ = lock.release();
    } catch (...) {
    }
    return m;
}

namespace {

std::mutex registryMutex;
std::map<std::string, RunMarker>& registry() {
    static auto* r = new std::map<std::string, RunMarker>();  // lives until the process ends
    return *r;
}

bool isMarkerName(const std::string& name) {
    if (name.size() < 15 || name[0] != '@') return false;
    for (char c : name.substr(1))
        if (!((c >= '0' && c <= '9') || c == '_')) return false;
    return true;
}

}  // namespace

std::string makeRunFile(const std::string& folder) noexcept {
    try {
        RunMarker m = RunMarker::create(folder);
        std::string name = m.name();
        std::lock_guard lock(registryMutex);
        registry()[fs::withSlash(folder) + "\n" + name] = std::move(m);
        return name;
    } catch (...) {
        return {};
    }
}

void deleteRunFile(const std::string& folderIn, const std::string& name) noexcept {
    try {
        if (!isMarkerName(name)) return;
        std::string folder = fs::withSlash(folderIn);
        {
            std::lock_guard lock(registryMutex);
            auto it = registry().find(folder + "\n" + name);
            if (it != registry().end()) {
                registry().erase(it);  // removes the marker and its lock
                return;
            }
        }
        // A marker of another process, or of ours under another spelling of
        // the folder: the file goes; its writer's lock goes with its writer,
        // and the lock file too once no writer holds it (a writer that died).
        const std::string file = name + ".XML";
        ::unlink((folder + file).c_str());
        if (!RunMarker::isLive(folder, file)) ::unlink(lockPathOf(folder, file).c_str());
    } catch (...) {
    }
}

}  // namespace fg
