// A second process for the print-lock tests, in the installation that
// FAXGATE_HOME names:
//   hold <marker>            takes the print lock, writes the start file,
//                            creates <marker>, then waits to be killed
//   make <number> <layout>   makes the pages of one document
#include "fax_images/pellior/fax_rep_img.h"
#include "fax_images/pellior/print_start_file.h"

#include "platform/files.h"

#include <unistd.h>

#include <string>

int main(int argc, char** argv) {
    using namespace fg;
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "hold" && argc == 3) {
        FileLock lock = FileLock::tryLock(PrintStartFile::path());
        if (!lock.held()) return 2;
        PrintStartFile::write();
        fs::writeFileAtomic(argv[2], "held");
        for (;;) ::pause();
    }
    if (mode == "make" && argc == 4) return FaxRepImg().makeFAXImage({argv[2]}, {argv[3]}, "") ? 0 : 1;
    return 64;
}
