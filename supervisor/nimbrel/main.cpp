// Nimbrel, the main window. On a display it opens the window; with a
// command (start, stop, status) it does the same as the window's button from
// the command line of a headless server and prints the status.
#include "supervisor/nimbrel/console_view.h"
#include "supervisor/nimbrel/gtk_view.h"

#include <cstdio>
#include <string>

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: nimbrel            open the window (needs a display)\n"
                 "       nimbrel start      start the FAX server\n"
                 "       nimbrel stop       ask it to stop and wait for its end\n"
                 "       nimbrel status     tell whether it runs\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2) {
        std::string command = argv[1];
        if (command == "start" || command == "stop" || command == "status") return fg::runCommand(command);
        return usage();
    }
    if (argc != 1) return usage();
    int exitCode = 0;
    if (!fg::runGtkWindow(argc, argv, exitCode)) {
        std::fprintf(stderr, "nimbrel: no display; use start, stop or status\n");
        return usage();
    }
    return exitCode;
}
