// The archivers behind the control, one per archive kind. Each takes the
// switch text the control built and honours every switch that changes the
// result; a switch it cannot honour fails the call (fg::Error, which the
// control traps), display switches are ignored. Failures inside the
// archivers raise fg::Error; results that the archivers report as codes are
// returned as codes.
#pragma once

#include "archive/parvolt/parvolt.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fg::parvolt {

struct PackCall {
    std::int32_t kind = ZIP_;
    std::string switches;  // the pack text, with "-u " in front for a ZIP update
    std::string archive;   // absolute
    std::string base;      // absolute, ends with "/"
    // "*.*" for every file of the base folder, or the path of the list
    // file naming the entries (one quoted name a line).
    std::string files;
    std::vector<std::string> names;  // ARJ: the entries themselves ("*.*" for all)
};

struct ExtractCall {
    std::int32_t kind = TAR_;
    std::string switches;  // the extract text
    std::string archive;   // absolute
    std::string dest;      // absolute, ends with "/"
    std::string files;     // "*.*" or the path of the list file
    bool keepFolders = true;  // the command's verb: x (keep) or e (flat), for ARJ and RAR
};

std::int32_t packArchive(const PackCall& call);
std::int32_t extractArchive(const ExtractCall& call);
// Whether the file is an archive of the kind.
bool checkArchive(std::int32_t kind, const std::string& path);
// The entries of the archive as the listing shows them. TAR folder entries
// are left out.
std::vector<ArcListEntry> listArchive(std::int32_t kind, const std::string& path);
// Whether the kind can be read (extracted and listed) here at all.
bool canRead(std::int32_t kind);
long archiverVersion(std::int32_t kind);

// Listing fields.
std::string thousands(std::uint64_t value);                 // "#,###": 0 gives ""
std::string ratioText(std::uint64_t perMille);              // 456 gives "45.6%"
std::string dosDateText(std::uint16_t dosDate, char separator);  // yy/mm/dd
std::string dosTimeText(std::uint16_t dosTime);             // hh:mm:ss
std::string crcText(std::uint32_t crc);                     // last four hex digits
std::string fileNamePart(const std::string& name);          // after the last "\", "/" or ":"
std::string folderPart(const std::string& name);            // before it, separator kept

// The list file's names, in order.
std::vector<std::string> readListFile(const std::string& path);

}  // namespace fg::parvolt
