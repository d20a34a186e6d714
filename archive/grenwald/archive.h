// Archive, the system's archive service: packs request files into a ZIP
// archive, and lists and extracts the TAR/GZ answer archives, through one
// archive control of its own. Set File, call one operation, read the result.
//
// Paths are POSIX: the folder of a path is everything before its last "/"
// (and "/" itself for a file in the root); a path that is not absolute or
// has no "." anywhere has no folder, so packing it fails with mstrNOT_FOLDER.
// A relative File resolves against the folder of the files packed
// (request.zip lands beside request.xml).
//
// Packing always writes a new archive: it is built under a temporary name
// beside File and renamed over it, so a reader never sees a half-written
// archive and no entry of an older archive survives into the new one.
// Extraction never writes outside its folder. A failure inside the control is
// written to the error log with its reason, and the operation returns its
// failure code; nothing is thrown to the caller.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fg {

class Parvolt;

// Archive types the callers pass.
enum ARC_ENUM : long { ZIP = 1, TAR_GZ = 5 };

// Results of the packing and extracting operations.
enum ARC_ERROR : long {
    mstrARCHIVE_SUCCESS = 0,
    mstrNOT_ARCHIVE_TYPE = 60001,  // packing with a type other than ZIP
    mstrARCHIVE_ERROR = 60002,     // the control failed to pack
    mstrNOT_ARCHIVE_FILE = 60003,  // packing while File is empty
    mstrNOT_FOLDER = 60004,        // the folder to pack from or extract into is missing
    mstrNOT_FILE = 60005,          // a file to pack, or the archive to extract, is missing
    mstrEXPAND_ERROR = 60006,      // the control failed to extract
};

class Archive {
public:
    Archive();
    ~Archive();
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    void setFile(const std::string& value) { file_ = value; }
    const std::string& file() const { return file_; }

    // Packs every file of the folder into File.
    long compressAll(long strArchiveType, const std::string& strFileFolder);
    // Packs the listed files, each taken by its name in the folder of the
    // first, into File.
    long compress(long strArchiveType, const std::vector<std::string>& strFileName);
    long compressOne(long strArchiveType, const std::string& strFileName);
    // Extracts one entry (names compared without regard to case, a leading
    // "./" ignored), or every entry when the name is empty, of the TAR/GZ
    // archive File into the folder. An entry the archive lacks fails.
    long expand(const std::string& strFileFolder, const std::string& strFileName = "");
    // Extracts the listed entries, each matched as expand matches one, in
    // one pass over the archive, all or nothing: an entry the archive lacks
    // or refuses, a bound passed or any other failure leaves none of them.
    // At most kMaxExpandNames names; an empty list extracts nothing.
    long expand(const std::string& strFileFolder, const std::vector<std::string>& strFileNames);
    // The most names one extraction takes (the archive control's list).
    static constexpr std::size_t kMaxExpandNames = 32767;
    // The entry names (without their folders) of the TAR/GZ archive File;
    // one empty name when it is missing, unreadable or empty.
    std::vector<std::string> getFileNameList();
    // The same entries named as the archive stores them, folders included
    // ("sub/a.xml"; a leading "./" left out, as extraction ignores it), for
    // callers that must know where an entry would land. nullopt when the
    // archive is missing or cannot be read (logged), which an archive of no
    // entries is not.
    std::optional<std::vector<std::string>> getStoredNameList();

    // Folder and name of a path, as packing splits them.
    static std::string getFolderOfPath(const std::string& path);
    static std::string getNameOfPath(const std::string& path);

private:
    Parvolt& control();
    void prepare(long arcMode, bool withWindow);
    long packInto(const std::string& folder, const std::vector<std::string>* names);
    // Lists File through the control; false (logged) when it cannot be read.
    bool openListing();
    // Extracts the names (every entry when there are none) into the folder.
    long expandNames(const std::string& folder, const std::vector<std::string>& names);

    std::string file_;
    std::unique_ptr<Parvolt> control_;
};

}  // namespace fg
