// File and folder helpers: names matched without regard to case, sorted
// listings, the program folder, and atomic writes.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace fg::fs {

// The folder of the running program, or FAXGATE_HOME when that is set.
// Always ends with "/".
std::string programFolder();
// The process's working folder, ending with "/"; "/" when it cannot be told.
std::string currentFolder();

// Joins a folder and a name with exactly one "/" between them.
std::string join(std::string_view folder, std::string_view name);
// Makes sure a folder value ends with "/" (an empty value stays empty).
std::string withSlash(std::string_view folder);
// The folder part of a path, ending with "/" ("" for a bare name).
std::string folderOf(std::string_view path);
// The last component of a path.
std::string nameOf(std::string_view path);
// Whether a name that came from outside (a server, an archive) names a file
// inside the folder it goes to: not empty, not "." or "..", and without "/",
// "\" or NUL.
[[nodiscard]] bool isBareName(std::string_view name);

// Finds an existing file or folder whose path matches without regard to case,
// component by component. An exact match wins. nullopt when none exists.
std::optional<std::string> resolve(const std::string& path);
[[nodiscard]] bool fileExists(const std::string& path);    // a regular file, name without regard to case
[[nodiscard]] bool folderExists(const std::string& path);  // a folder, name without regard to case
// Whether two paths name one existing file or folder, however each is spelt
// (letter case, links, "." and ".."). False when either does not exist.
[[nodiscard]] bool sameFile(const std::string& a, const std::string& b);
// Whether the open file is still the one `path` names: a holder that removed
// or replaced it meanwhile left the open one to nobody. Never raises.
[[nodiscard]] bool stillNamed(int fd, const std::string& path) noexcept;
// Writes every byte to the open file, going on after an interruption. False
// on a failure, errno telling why (EIO for a write that takes nothing).
[[nodiscard]] bool writeAll(int fd, std::string_view bytes) noexcept;

// What a path names (the path as given): with `followLinks` false, a link
// is Other, whatever it points to.
enum class Kind { Missing, File, Folder, Other };
Kind kindOf(const std::string& path, bool followLinks = true);

// Wildcard match of "*" and "?" without regard to case.
[[nodiscard]] bool matchWildcard(std::string_view pattern, std::string_view name);

enum class ListKind { Files, Folders, All };
// Names (not paths) in a folder matching a wildcard pattern, sorted by name
// without regard to case. Names that begin with "." are the system's own
// lock and temporary files and are never listed. A missing folder lists nothing.
std::vector<std::string> list(const std::string& folder, std::string_view pattern = "*",
                              ListKind kind = ListKind::Files);

// Reads a whole file (name without regard to case). Raises fg::Error 53 when
// it does not exist, 75 when it cannot be read.
std::string readFile(const std::string& path);
// While one lives, large reads (kReusedReadFrom bytes or more) share their
// memory: a buffer that its reader gives back (giveBackRead) serves the next
// such read of the process. Memory fresh from the system costs a read of
// hundreds of megabytes more than the read itself, every page faulted in and
// cleared; memory used again costs nothing. One buffer is kept, the largest
// given back; it is freed before a read that needs a larger one, so that no
// more is held at once than without it, and freed when the last of these
// ends: a process holds it through a stretch of work, not after it.
class ReusedReads {
public:
    ReusedReads();
    ~ReusedReads();
    ReusedReads(const ReusedReads&) = delete;
    ReusedReads& operator=(const ReusedReads&) = delete;
};
inline constexpr std::size_t kReusedReadFrom = 1u << 20;
// The bytes of a readFile, done with. Kept for the next large read while a
// ReusedReads lives; otherwise simply freed.
void giveBackRead(std::string&& bytes);
// The bytes held for the next large read.
std::size_t heldForReadsForTest();
// Reads the file as readFile does, but hands it to `take` in pieces of at
// most `piece` bytes, in order, never holding it whole, until the end or
// until `take` answers false. Raises as readFile.
void readInPieces(const std::string& path, std::size_t piece, const std::function<bool(std::string_view)>& take);
// The first `size` bytes of a file (the path as given), fewer for a shorter
// one; "" when it cannot be read.
std::string readStart(const std::string& path, std::size_t size);
// Appends the bytes to a file (the path as given), creating it, in one
// write: the lines of several processes that append to one file stay whole.
// Raises fg::Error 75 when it cannot. With Readers::OwnerOnly (a file that
// holds a secret) the file is made readable by its owner alone, and one that
// others could read is narrowed to that before the bytes go in.
enum class Readers { Anyone, OwnerOnly };
void appendToFile(const std::string& path, std::string_view bytes, Readers readers = Readers::Anyone);

// How a written file lives through a crash of the machine.
enum class Sync {
    // Synced to disk before and after it takes its name: a file that
    // outlives the work that wrote it (records, reference copies, pages
    // waiting to be sent).
    Durable,
    // Only renamed into place: a work file that the same run reads and
    // removes again, which a crash makes worthless anyway.
    Passing,
};

// Writes a whole file atomically: a temporary file in the same folder,
// fsync, rename over the target, fsync of the folder (the syncs only for a
// Durable file). A reader never sees a half-written file, and a writer
// killed midway leaves the old file. The new
// file keeps the mode, owner and group of the one it replaces (owner and
// group as far as this process may give them). The temporary file has no
// name while it is written where the file system allows it; otherwise it is
// ".NAME.tmp.PID.N" beside the target.
// Raises fg::Error 76 for a missing folder, 75 for any other failure.
void writeFileAtomic(const std::string& path, std::string_view bytes, Sync sync = Sync::Durable);
// The same for a file given in pieces, written one after another: a large
// file changed in one place is written from its old bytes and the change
// without first being put together in memory.
void writeFileAtomic(const std::string& path, std::span<const std::string_view> pieces, Sync sync = Sync::Durable);
// writeFileAtomic for bytes that come piece by piece (an answer as it comes
// off the network): they go to the file as they come and are never held
// together. Until commit the file has no name where the file system allows
// it, else the hidden ".NAME.tmp.PID.N" beside the target, as a save's has;
// a writer that ends without commit, or whose write or commit fails, leaves
// nothing, and the old file as it was.
class AtomicFileWriter {
public:
    // Raises fg::Error 76 for a missing folder, 75 when no file can be made.
    explicit AtomicFileWriter(const std::string& path, Sync sync = Sync::Durable);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // The file the bytes are for: the spelling that exists already, if any.
    const std::string& path() const { return target_; }
    // Bytes written so far.
    std::uint64_t size() const { return size_; }
    // Raises fg::Error 75, and the writer is done with.
    void write(std::string_view bytes);
    // Takes back the bytes beyond the first `size`. Raises fg::Error 75, and
    // the writer is done with.
    void truncate(std::uint64_t size);
    // Syncs the file (a Durable one) and renames it over the target. Raises
    // fg::Error 75, and the writer is done with.
    void commit();

private:
    [[noreturn]] void fail(int err);
    void discard() noexcept;

    std::string target_;
    std::string folder_;
    std::string temp_;  // "" while the file has no name
    int fd_ = -1;
    Sync sync_;
    std::uint64_t size_ = 0;
};

// Whether the process of that id, the writer of a temporary named for it,
// has ended: no process has the id, or the one that has it was killed and
// waits only to be collected. Never raises.
[[nodiscard]] bool writerEnded(pid_t pid) noexcept;

// Removes the temporary files that writers of `path` left when they were
// killed in the middle of a save: those whose writer no longer runs. Taking
// a file's exclusive lock does this. Never raises.
void removeStaleTemporaries(const std::string& path) noexcept;
// Removes the files of `folder` named `prefix` (without regard to case),
// a process id, "." and anything, whose process no longer runs: the work
// files of writers killed in the middle of their work. Never raises.
void removeFilesOfEndedWriters(const std::string& folder, std::string_view prefix) noexcept;

// Whether `name` is a temporary file's or folder's (hidden, holding ".tmp."
// and the writer's process id, as writeFileAtomic, TempFile and TempFolder
// make them, or ending ".PID.tmp", as a run marker's content is first
// written) whose writer no longer runs.
[[nodiscard]] bool isTemporaryOfEndedWriter(std::string_view name) noexcept;
// Removes, in `folder` and below, the temporaries of writers that no longer
// run (isTemporaryOfEndedWriter): what writers killed in the middle of
// their work left. Links are not followed. Never raises.
void removeTemporariesOfEndedWriters(const std::string& folder) noexcept;

// Makes a file written Passing durable after all: syncs it and its folder.
// A caller that writes several files and records them afterwards writes
// them Passing and syncs them just before the record, so that one commit of
// the disk's journal serves them all. Raises fg::Error 53 for a missing
// file, 75 when the sync fails.
void syncFile(const std::string& path);

// Creates a folder and its parents. Raises fg::Error 76 on failure.
void makeFolders(const std::string& path);
// Removes a file; false when it did not exist or could not be removed.
[[nodiscard]] bool removeFile(const std::string& path);
// Removes a folder tree; never raises.
void removeTree(const std::string& path);
// Copies a file atomically over the target. Raises fg::Error on failure; a
// source that is not there is error 53 naming it.
void copyFile(const std::string& from, const std::string& to);

// Renames a file or folder within its file system, replacing a file of the
// new name (the paths as given). Raises fg::Error 75, with both paths and
// the system's reason, when it cannot.
void rename(const std::string& from, const std::string& to);
// Moves a file without ever replacing one: the new name is linked to the
// file (which fails when the name is taken) and the old name removed;
// across file systems, a copy that refuses to overwrite. Raises fg::Error
// 58 when the new name is taken (in any letter case), 75 for any other
// failure.
void moveNoReplace(const std::string& from, const std::string& to);

// What tells a changed file from an unchanged one without reading it. A
// file saved atomically is a new file on its disk, so the device and file
// number tell one save from the next even within the clock's grain.
struct FileStamp {
    std::uintmax_t size = 0;
    std::int64_t modified = 0;  // nanoseconds since the epoch
    std::uintmax_t device = 0;
    std::uintmax_t inode = 0;
    bool operator==(const FileStamp&) const = default;
};
// The stamp of an existing file (the path as given); nullopt when it cannot
// be examined.
std::optional<FileStamp> stampOf(const std::string& path);

// The system's folder for temporary files (TMPDIR, else /tmp), ending with "/".
std::string temporaryFolder();

// A temporary file of one owner: made empty under a name no other file had
// ("<folder><prefix>.tmp.<pid>." and six characters of its own) and removed
// with the object, whatever way the scope is left, unless it was given its
// place; one that a killed owner left goes with
// removeTemporariesOfEndedWriters.
// Its name is never given up while the object lives, so no other process
// can take it in between.
class TempFile {
public:
    // Raises fg::Error 75 when the file cannot be made (76 for a missing folder).
    TempFile(const std::string& folder, const std::string& prefix);
    ~TempFile();
    TempFile(TempFile&& other) noexcept;
    TempFile& operator=(TempFile&& other) noexcept;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& path() const { return path_; }
    // Renames the file over `target` (see rename); from then on it is the
    // target's and no longer removed.
    void placeAt(const std::string& target);

private:
    std::string path_;
};

// A temporary folder of one owner, likewise: made under a name of its own
// and removed with all it holds with the object. Its path ends with "/".
class TempFolder {
public:
    TempFolder(const std::string& folder, const std::string& prefix);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace fg::fs
