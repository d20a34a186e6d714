// The kernel library's file functions: descriptors of the process that the
// annotation engine saves into and loads from, whether it opened them
// itself or its caller hands them over open, with positions of 64 bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fg::desktop {

using FileHandle = int;  // negative: none

enum class FileAccess {
    Read,         // an existing file, read only; its name matched without regard to case
    CreateEmpty,  // created, or emptied when it exists, for reading and writing
};

// A new descriptor, or -1.
FileHandle fileOpen(const std::string& path, FileAccess access);
void fileClose(FileHandle file);
// Bytes read, fewer than `count` only at the end of the data (0 there);
// -1 on failure.
std::int64_t fileRead(FileHandle file, void* bytes, std::size_t count);
// Bytes written; fewer than `count` when the write failed part-way.
std::int64_t fileWrite(FileHandle file, const void* bytes, std::size_t count);
// Origin 0: from the start, 1: from the position, 2: from the end. The new
// position, or -1.
std::int64_t fileSeek(FileHandle file, std::int64_t offset, int origin);

}  // namespace fg::desktop
