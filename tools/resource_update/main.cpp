// The resource update tool. On a display it opens its window; with a command
// it does the window's work from the command line of a headless server.
#include "tools/resource_update/command_line.h"
#include "tools/resource_update/gtk_window.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: resource_update                        open the window (needs a display)\n"
                 "       resource_update types                  list the data types and their folders\n"
                 "       resource_update register TYPE FILE...  copy the files into the folder of TYPE\n"
                 "       resource_update key FILE               register the client certification key of FILE\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty()) {
        const std::string& command = args[0];
        bool known = (command == "types" && args.size() == 1) || (command == "register" && args.size() >= 3) ||
                     (command == "key" && args.size() == 2);
        return known ? fg::runCommandLine(args) : usage();
    }
    int exitCode = 0;
    if (!fg::runGtkWindow(argc, argv, exitCode)) {
        std::fprintf(stderr, "resource_update: no display; use types, register or key\n");
        return usage();
    }
    return exitCode;
}
