// Test support: a file system of its own, small enough to fill, for tests
// of what the system does when the disk is full. It is a tmpfs mounted on a
// fresh folder, which needs the right to mount (root, say); mounted() tells
// whether it could be had, and a test without it skips.
#pragma once

#include <cstdint>
#include <string>

namespace fg::testing {

class SmallFileSystem {
public:
    explicit SmallFileSystem(std::uint64_t bytes);
    // Unmounts (lazily, should a process still hold a file there) and
    // removes the folder, unless kept.
    ~SmallFileSystem();
    // Leaves it mounted at the end, for a reader of what it holds.
    void keep() { kept_ = true; }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    bool mounted() const { return mounted_; }
    // Why it could not be mounted ("" when it is).
    const std::string& why() const { return why_; }
    const std::string& path() const { return path_; }  // ends with "/"

    // Fills it until no byte is free, with a file of its own.
    void fill();
    // Gives the space fill() took back.
    void giveBack();
    std::uint64_t freeBytes() const;

    // Moves `folder` + `name` to `to` + `name` (on another file system) and
    // leaves a link in its place: for what must not fill with the disk (the
    // simulated lines, the log a test reads).
    static void moveOut(const std::string& folder, const std::string& name, const std::string& to);

private:
    std::string path_;
    std::string why_;
    bool mounted_ = false;
    bool kept_ = false;
};

}  // namespace fg::testing
