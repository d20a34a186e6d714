// Archive files through libarchive (ZIP and the TAR family, read and written;
// LHA, CAB and RAR read) and libgcab (CAB written). Names inside archives are
// UTF-8 here, whatever the process's locale: names stored as UTF-8 (ZIP
// entries flagged so, cabinets, TAR path records) are read as such, an
// entry name that is not UTF-8 is read as code page 932; ZIP and CAB names
// are written in code page 932, as the EDI peers expect, TAR names in UTF-8.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace fg::arc {

enum class Format { Zip, Tar, Lha, Cab, Rar };
// The compression around a TAR stream, chosen from the archive's name when
// packing (".tgz", ".tar.gz", ".gz", ".tbz", ".bz2", ".txz", ".xz").
enum class Compression { None, Gzip, Bzip2, Xz };
Compression compressionForName(const std::string& archiveName);

struct Entry {
    std::string name;        // as stored, "/" as separator
    bool folder = false;
    bool link = false;       // a symbolic or hard link
    uint64_t size = 0;
    uint64_t packed = 0;     // bytes the entry takes in the archive file
    uint32_t crc = 0;        // CRC-32 of the content
    std::time_t mtime = 0;
    unsigned mode = 0;       // permission bits and file type (st_mode)
    std::string method;      // the archive format's short name
};

// Whether the file is an archive of the format. Never throws.
[[nodiscard]] bool isArchive(const std::string& path, Format format);

// Every entry of the archive in stored order. Raises fg::Error 53 when the
// file is missing, 75 when it cannot be read as an archive of the format.
std::vector<Entry> list(const std::string& path, Format format);

// The name an entry is stored under with "./" prefixes and a folder's
// trailing "/" taken off; "" for the archive's root entry.
std::string normalName(const std::string& stored);

// What one extraction may write at most. An archive that would go beyond
// either bound is refused as a whole: nothing of it stays.
struct ExtractLimits {
    uint64_t maxBytes = 1024ull * 1024 * 1024;  // content of all members together
    uint64_t maxMembers = 100000;               // entries read from the archive

    static constexpr const char* kFileName = "archive.xml";
    // The bounds of this installation: archive.xml in the program folder,
    //   <Archive><MaxExtractBytes>1073741824</MaxExtractBytes>
    //            <MaxExtractMembers>100000</MaxExtractMembers></Archive>
    // Both optional; a missing file gives the defaults above. A file that
    // does not parse or a bound that is no positive whole number raises
    // fg::Error naming the fault.
    static ExtractLimits load();
};

struct ExtractRequest {
    std::string archive;
    Format format = Format::Tar;
    std::string folder;                  // must exist
    // Entries to extract, matched without regard to case and with a leading
    // "./" ignored; empty extracts every entry.
    std::vector<std::string> members;
    bool keepFolders = true;             // false: every file lands in `folder`
    bool onlyNewer = false;              // skip files whose copy on disk is not older
    // true: an entry that would be refused (fg::Error 75) or a member the
    // archive lacks (53) fails the whole extraction instead of being
    // reported, and nothing of the archive stays.
    bool allOrNothing = false;
    ExtractLimits limits;
};

struct ExtractReport {
    std::size_t written = 0;
    std::size_t skipped = 0;             // not newer than the copy on disk
    // Entries that would leave the folder or are not plain files, folders or
    // links inside it: absolute names, "..", links out, devices, pipes.
    std::vector<std::string> refused;
    std::vector<std::string> missing;    // requested members the archive lacks
};

// Extracts into the folder, never outside it and never through a link that
// is already there. A link is extracted only when its target is plainly
// inside: relative and without "..", so that no chain of links can lead out.
// Every file and link is written under a hidden temporary name beside its
// place and renamed there once the whole archive has been read, so that a
// truncated archive, a bound passed or a kill never leaves a member cut
// short under its own name; a failed extraction removes what it wrote and
// the folders it made. The hidden files of an extraction that was killed
// are removed by the next extraction that writes into their folder.
// Raises fg::Error 76 when the folder is missing, 53 when the archive is, 75
// when the archive cannot be read, a file not written or a bound is passed.
ExtractReport extract(const ExtractRequest& request);

struct PackItem {
    std::string source;  // file or folder on disk
    std::string name;    // name in the archive ("/" separated)
};

struct PackRequest {
    std::string archive;
    Format format = Format::Zip;               // Zip, Tar or Cab
    Compression compression = Compression::None;  // Tar only
    bool cabCompress = true;                   // Cab: MSZIP, else stored
    std::vector<PackItem> items;               // folders are written as folder entries
    // An existing archive at the target keeps its other entries. With
    // `onlyNewer` an entry that is there already is replaced only by a newer file.
    bool keepExisting = false;
    bool onlyNewer = false;
};

// Writes the archive whole into a temporary file beside the target and
// renames it over the target, so that a reader never sees half an archive
// and a failure leaves the old one. Raises fg::Error 53 for a missing
// source, 75 for any other failure.
void pack(const PackRequest& request);

// The libarchive version as major * 100 + minor (306 for 3.6.x).
long libraryVersion();

}  // namespace fg::arc
