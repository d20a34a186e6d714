// A list that lives with its holder: a hidden file of lines that one process
// creates under an exclusive lock, appends to, and removes when it gives the
// list up. The lock goes with the process however it ends, so another
// process can tell a list whose holder still runs from one left behind,
// which a process id in a name cannot (ids come round again). A list costs
// its holder one open file, whatever the number of its lines.
//
// Lines are appended whole or not at all; a holder killed in the middle of
// an append leaves an unended last line, which readers never take.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fg {

class HeldList {
public:
    // Creates "<folder>.<process id>-<n><suffix>", n the first that is free,
    // holding `firstLine`, and holds it. Raises fg::Error when the folder
    // cannot take it.
    static HeldList create(const std::string& folder, const std::string& suffix, const std::string& firstLine);
    // Takes over the list at `path` when its holder has ended: answers it
    // held (remove() removes it), or unheld while its holder runs or when
    // it is gone. Raises fg::Error when it cannot be opened.
    static HeldList claimEnded(const std::string& path);
    // The lists of `folder` whose names end with `suffix`, as paths, sorted.
    // Raises fg::Error when the folder cannot be listed (a missing folder
    // has none).
    static std::vector<std::string> find(const std::string& folder, const std::string& suffix);

    HeldList() = default;
    HeldList(HeldList&& other) noexcept;
    HeldList& operator=(HeldList&& other) noexcept;
    HeldList(const HeldList&) = delete;
    HeldList& operator=(const HeldList&) = delete;
    ~HeldList();  // removes the list

    [[nodiscard]] bool held() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }

    // Appends the lines (without their line ends), all or none. Raises
    // fg::Error, the list then as it was.
    void append(const std::vector<std::string>& lines);
    // Removes the file, then lets go of its lock. Never raises.
    void remove() noexcept;
    // Lets go of the lock and leaves the file, for a later claim.
    void release() noexcept;

    // Where a reader stands in a list, so that it reads only what was
    // appended since.
    struct Reading {
        std::uintmax_t device = 0, inode = 0, offset = 0;
        std::string unended;  // the start of a line not ended yet
    };
    enum class Read { Gone, Continued, Restarted };
    // Adds to `lines` the ended lines of the list at `path` after `at`, and
    // moves `at` past them. A file made anew under the name since `at` was
    // read is read from its start: Restarted, and the caller forgets what it
    // read before. Gone when there is no file. Raises fg::Error when it
    // cannot be read.
    static Read readNew(const std::string& path, Reading& at, std::vector<std::string>& lines);

private:
    std::string path_;
    int fd_ = -1;
    std::uintmax_t size_ = 0;
};

}  // namespace fg
