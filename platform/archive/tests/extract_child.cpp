// Extracts a TAR archive (compressed or not) into a folder, as a process of
// its own that the tests can kill midway:
//   platform_archive_test_extract ARCHIVE FOLDER
#include "platform/archive/archive_file.h"
#include "platform/error.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    try {
        fg::arc::extract({argv[1], fg::arc::Format::Tar, argv[2]});
        return 0;
    } catch (const fg::Error& e) {
        std::fprintf(stderr, "%s\n", e.description().c_str());
        return 1;
    }
}
