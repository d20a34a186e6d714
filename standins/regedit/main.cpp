// The registry program over the file-backed registry store (FAXGATE_REGISTRY,
// or registry.xml in the program folder):
//   regedit /E FILE KEY   writes KEY and its subtree to FILE; a key that
//                         does not exist writes nothing and fails
//   regedit [/S] FILE     merges FILE into the store, all or nothing
// Exit code 0 on success, 1 on failure (the reason on standard error), 2 for
// a command line it does not know. It never asks anything.
#include "platform/error.h"
#include "platform/files.h"
#include "platform/registry/registry_store.h"
#include "platform/text.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: regedit /E FILE KEY   export KEY with its subtree to FILE\n"
                 "       regedit [/S] FILE     import FILE into the registry\n");
    return 2;
}

int failed(const std::string& why) {
    std::fprintf(stderr, "regedit: %s\n", why.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        fg::registry::RegistryStore store;
        if (args.size() == 3 && fg::text::iequals(args[0], "/E")) {
            std::optional<std::string> text = store.exportKey(args[2]);
            if (!text) return failed("キーがありません: " + args[2]);
            fg::fs::writeFileAtomic(args[1], *text);
            return 0;
        }
        if (args.size() == 2 && fg::text::iequals(args[0], "/S")) args.erase(args.begin());
        // Paths begin with "/" too: only the two option names are options.
        if (args.size() == 1 && !args[0].empty() && !fg::text::iequals(args[0], "/E")) {
            store.importText(fg::fs::readFile(args[0]));
            return 0;
        }
    } catch (...) {
        fg::Error e = fg::currentError();
        return failed(e.description() + " (" + std::to_string(e.number()) + ")");
    }
    return usage();
}
