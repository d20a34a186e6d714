#include "platform/layout/page_folders.h"

#include "platform/files.h"
#include "platform/folder_watch.h"
#include "platform/owned.h"
#include "platform/text.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <unordered_map>

namespace fg::layout {

namespace {

// The layout part of a page-like name, folded as the pages are matched;
// "" for any other name. The layout part ends at the last "_" that three
// digits follow: the digits of a page number hold no "_", and no extension
// of ours holds one.
std::string layoutKey(std::string_view name) {
    if (name.empty() || name.front() == '.') return {};
    for (std::size_t at = name.rfind('_'); at != std::string_view::npos && at > 0; at = name.rfind('_', at - 1)) {
        std::size_t digits = 0;
        while (at + 1 + digits < name.size() && name[at + 1 + digits] >= '0' && name[at + 1 + digits] <= '9') ++digits;
        if (digits >= 3) return text::toLowerAscii(name.substr(0, at));
    }
    return {};
}

// Whether the kernel's notices tell of every change of the folder, as they
// do on the local file systems the supplier watch trusts.
bool noticesReachUs(const std::string& folder) {
    struct statfs about {};
    return ::statfs(folder.c_str(), &about) == 0 &&
           FolderWatch::toldOfEveryChange(static_cast<unsigned long>(about.f_type));
}

// One watched folder: its page-like names by layout part.
struct Folder {
    std::unordered_map<std::string, std::vector<std::string>> byLayout;

    void add(std::string name) {
        std::string key = layoutKey(name);
        if (key.empty()) return;
        std::vector<std::string>& names = byLayout[key];
        for (const std::string& n : names)
            if (n == name) return;
        names.push_back(std::move(name));
    }
    void remove(std::string_view name) {
        auto it = byLayout.find(layoutKey(name));
        if (it == byLayout.end()) return;
        std::erase(it->second, name);
        if (it->second.empty()) byLayout.erase(it);
    }
};

// Every watched folder of the process, on one notice queue, by the folder's
// device and file number: a folder replaced by another of its name is a
// new one.
class Watches {
public:
    std::vector<std::string> entriesOf(const std::string& folder, const std::string& layoutPart) {
        std::lock_guard lock(mutex_);
        const std::string key = text::toLowerAscii(layoutPart);
        Folder* f = nullptr;
        try {
            f = watched(folder);
        } catch (...) {
            // A folder half read, or a notice not taken in, would answer
            // wrong from then on.
            forgetAll();
            throw;
        }
        if (!f) {
            std::vector<std::string> names;
            (void)readWhole(folder, [&](std::string name) {
                if (layoutKey(name) == key) names.push_back(std::move(name));
            });
            return names;
        }
        auto it = f->byLayout.find(key);
        return it == f->byLayout.end() ? std::vector<std::string>{} : it->second;
    }

    std::size_t count() {
        std::lock_guard lock(mutex_);
        return folders_.size();
    }

private:
    using Id = std::pair<dev_t, ino_t>;
    struct Entry {
        int wd;
        Folder folder;
    };

    // The folder kept up to date, made on its second question; null when it
    // is not kept.
    Folder* watched(const std::string& path) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return nullptr;
        const Id id{st.st_dev, st.st_ino};
        if (queue_) {
            // After the stat: a folder removed before it, whose number a
            // new folder of the name may have taken, is forgotten first.
            drain();
            if (auto it = folders_.find(id); it != folders_.end()) return &it->second.folder;
        }
        // A folder is kept from its second question on: a program that asks
        // once, as one that renders one document does, reads it once, as it
        // would without notices, and keeps nothing.
        if (askedOnce_.insert(id).second || unavailable_ || !noticesReachUs(path)) return nullptr;
        if (!queue_) {
            queue_.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
            // Too many queues of this user, or none at all: the folders are
            // read whole, as they always could be.
            if (!queue_) {
                unavailable_ = true;
                return nullptr;
            }
        }
        const int wd = ::inotify_add_watch(queue_.get(), path.c_str(),
                                           IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF |
                                               IN_MOVE_SELF | IN_ONLYDIR);
        if (wd < 0) return nullptr;
        // The watch is on what the path named when it was added; the folder
        // read must be that one. Changes made while it is read come as
        // notices after it and are taken in order.
        struct stat again {};
        if (::stat(path.c_str(), &again) != 0 || Id{again.st_dev, again.st_ino} != id) {
            forget(wd);
            return nullptr;
        }
        Entry& entry = folders_[id];
        entry.wd = wd;
        byWatch_[wd] = id;
        if (!readWhole(path, [&](std::string name) { entry.folder.add(std::move(name)); })) {
            forget(wd);
            return nullptr;
        }
        drain();
        auto it = folders_.find(id);
        return it == folders_.end() ? nullptr : &it->second.folder;
    }

    // Hands every name of the folder to `take`; false when it cannot be
    // read to its end.
    template <class Take>
    static bool readWhole(const std::string& path, Take&& take) {
        DIR* dir = ::opendir(path.c_str());
        if (!dir) return false;
        bool whole = true;
        for (;;) {
            errno = 0;
            const dirent* e = ::readdir(dir);
            if (!e) {
                whole = errno == 0;
                break;
            }
            take(std::string(e->d_name));
        }
        ::closedir(dir);
        return whole;
    }

    void forget(int wd) {
        (void)::inotify_rm_watch(queue_.get(), wd);
        dropWatch(wd);
    }

    void forgetAll() {
        for (const auto& [wd, id] : byWatch_) (void)::inotify_rm_watch(queue_.get(), wd);
        byWatch_.clear();
        folders_.clear();
    }

    void dropWatch(int wd) {
        auto it = byWatch_.find(wd);
        if (it == byWatch_.end()) return;
        folders_.erase(it->second);
        byWatch_.erase(it);
    }

    // Takes in every notice queued so far.
    void drain() {
        alignas(inotify_event) char buffer[64 * 1024];
        for (;;) {
            const ssize_t n = ::read(queue_.get(), buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN) {
                // Notices that cannot be read are changes unseen: from now on
                // the folders are read whole.
                forgetAll();
                queue_.reset();
                unavailable_ = true;
                return;
            }
            if (n <= 0) return;
            for (ssize_t at = 0; at < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
                take(*e);
            }
        }
    }

    void take(const inotify_event& e) {
        if (e.mask & IN_Q_OVERFLOW) {
            // Changes were lost: every folder is read again at its next
            // question.
            forgetAll();
            return;
        }
        if (e.mask & IN_IGNORED) {  // its file system gone
            dropWatch(e.wd);
            return;
        }
        if (e.mask & (IN_DELETE_SELF | IN_MOVE_SELF)) {
            // A folder moved away is no longer the one its path names, and
            // one removed may see its number taken by a new folder.
            forget(e.wd);
            return;
        }
        auto it = byWatch_.find(e.wd);
        if (it == byWatch_.end() || e.len == 0) return;
        Folder& folder = folders_.at(it->second).folder;
        const std::string_view name(e.name);
        if (e.mask & (IN_CREATE | IN_MOVED_TO)) folder.add(std::string(name));
        else if (e.mask & (IN_DELETE | IN_MOVED_FROM)) folder.remove(name);
    }

    std::mutex mutex_;
    Descriptor queue_;
    bool unavailable_ = false;
    std::map<Id, Entry> folders_;
    std::set<Id> askedOnce_;
    std::unordered_map<int, Id> byWatch_;
};

Watches& watches() {
    static Watches w;
    return w;
}

}  // namespace

std::vector<std::string> entriesOfLayout(const std::string& folder, const std::string& layoutPart) {
    return watches().entriesOf(folder, layoutPart);
}

std::size_t watchedPageFoldersForTest() { return watches().count(); }

}  // namespace fg::layout
