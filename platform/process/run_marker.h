// Run markers: a file "@<YYYYMMDDHHNNSS>.XML" in the program folder that says
// "a fax send or a telephone call is under way"; the supervisor's shutdown
// waits while one is live.
//
// A marker holds an XML declaration (version 1.0, encoding Shift_JIS) and one
// empty TELEPHONY element. Its name is "@" and the local time stamp; a second
// marker of the same second gets "_2", "_3", ... after the stamp, so that two
// writers never share (and delete) one file and every name still matches
// "@*.XML".
//
// The writer holds an exclusive lock on ".<name lower case>.xml.lock" beside
// the marker from before the marker becomes visible until after it is
// deleted. The lock vanishes with its holder, so a marker whose lock is free
// is stale: its writer died without deleting it. The lock file holds the
// writer's process id, so that the process that started a writer can clear
// what that writer left when it died, even when the marker's name never
// reached it.
#pragma once

#include <sys/types.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace fg {

class RunMarker {
public:
    // Creates a marker in `folder` (ending with "/") and holds it. Raises
    // fg::Error when the folder cannot take it.
    static RunMarker create(const std::string& folder);

    RunMarker() = default;
    RunMarker(RunMarker&& other) noexcept;
    RunMarker& operator=(RunMarker&& other) noexcept;
    RunMarker(const RunMarker&) = delete;
    RunMarker& operator=(const RunMarker&) = delete;
    ~RunMarker();  // removes the marker

    [[nodiscard]] bool held() const { return lockFd_ >= 0; }
    // "@" and the stamp (and any "_n"), without folder and extension.
    const std::string& name() const { return name_; }
    std::string path() const { return folder_ + name_ + ".XML"; }
    // Deletes the marker, then lets go of its lock. Never raises.
    void remove() noexcept;

    struct Found {
        std::string fileName;  // as listed, e.g. "@20240105093000.XML"
        bool live = false;
    };
    // The markers of a folder ("@*.XML", any case), each told live or stale.
    // Raises fg::Error when the folder cannot be listed (a missing folder
    // has no markers).
    static std::vector<Found> find(const std::string& folder);
    // Whether the writer of this marker file still holds it.
    [[nodiscard]] static bool isLive(const std::string& folder, const std::string& fileName);
    // Removes what the process `writer` left in the folder when it ended:
    // its markers with their lock files, and a marker it was still writing.
    // A marker still held, by that process or by a later one that has its
    // id, stays. Answers how many markers went. Never raises.
    static int removeLeftBy(const std::string& folder, pid_t writer) noexcept;
    // Removes the lock files that guard nothing: free, with neither a marker
    // nor a hand-over of their name, as a writer killed while it made or
    // removed its marker leaves them (one killed before it wrote its process
    // id into the lock is found by no id); and the content a writer that has
    // ended left before it became a marker. Answers how many locks went.
    // Never raises.
    static int removeStrayLocks(const std::string& folder) noexcept;

    // A marker's hand-over file, ".<marker file name, lower case>.handover"
    // beside it: what its writer was handed and has not finished yet. The
    // writer keeps it under the marker's lock; it outlives the marker when
    // the writer ends with work undone, and a marker name is not used again
    // while its hand-over file exists.
    static std::string handOverPath(const std::string& folder, const std::string& fileName);
    // The hand-over files of a folder by their marker's file name
    // ("@<stamp>.XML"), each told live (its writer holds it) or left.
    static std::vector<Found> findHandOvers(const std::string& folder);
    // Takes over the marker `fileName` of a writer that has ended: answers a
    // held marker (removing it removes the marker and its lock file, which
    // is held by this process from then on), or an unheld one when its
    // writer still lives or another process took it first. Never raises.
    static RunMarker claim(const std::string& folder, const std::string& fileName) noexcept;

private:
    std::string folder_;
    std::string name_;
    int lockFd_ = -1;
};

// The marker operations by name, for a component whose caller keeps only
// the name (the telephone host brackets a call with them) or that keeps one
// marker for its life (the fax-send server). The markers are held by this
// process until deleted or until it ends.
//
// makeRunFile answers the marker name, or "" when it cannot be written.
std::string makeRunFile(const std::string& folder) noexcept;
// Deletes a marker of `folder` by name, and its lock file when its writer
// has gone. A name that is no marker name ("@" and a stamp, no folder part)
// or a missing marker is ignored.
void deleteRunFile(const std::string& folder, const std::string& name) noexcept;

}  // namespace fg
