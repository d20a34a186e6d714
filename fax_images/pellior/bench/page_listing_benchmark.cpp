// Milliseconds per document to find the names of its new pages
// (freshPageNames) beside 1,000 to 100,000 kept reference pictures of
// earlier documents, as a server that keeps years of sent pages finds them
// at every document it renders: the best of three runs of 300 documents.
// Each document's two pages are written after its names are found, as a
// render writes them; only the search is timed. The first two searches in
// a process are printed apart: each reads the whole folders once, the
// second to keep them from then on.
#include "fax_images/pellior/page_files.h"
#include "platform/layout/page_export.h"
#include "platform/testing/temp_home.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

using namespace fg;

namespace {

void touch(const std::string& path) { std::ofstream(path, std::ios::binary).put('x'); }

std::string keptLayout(int i) { return "20230101" + std::to_string(1000000000 + i); }
std::string newLayout(int i) { return "20240101" + std::to_string(1000000000 + i); }

}  // namespace

int main() {
    std::printf("%-28s %12s %12s %8s\n", "kept pictures in Jpg/", "first two ms", "ms/document", "x time");
    double baseMs = 0;
    for (const int kept : {1000, 10000, 100000}) {
        testing::TempHome home;
        const std::string jpgs = home.folder("Jpg"), g3s = home.folder("G3Image");
        for (int i = 0; i < kept / 2; ++i)
            for (int page = 1; page <= 2; ++page) touch(jpgs + layout::pageName(keptLayout(i), page) + ".jpg");
        const auto start = std::chrono::steady_clock::now();
        for (int asked = 0; asked < 2; ++asked)
            if (pellior::freshPageNames(keptLayout(0), 1).front() != layout::pageName(keptLayout(0), 3)) {
                std::fprintf(stderr, "kept pages not found\n");
                return 1;
            }
        const std::chrono::duration<double, std::milli> first = std::chrono::steady_clock::now() - start;
        double perDocument = 1e300;
        for (int run = 0, i = 0; run < 3; ++run) {
            std::chrono::duration<double, std::milli> searching{};
            for (int document = 0; document < 300; ++document, ++i) {
                const auto from = std::chrono::steady_clock::now();
                const std::vector<std::string> names = pellior::freshPageNames(newLayout(i), 2);
                searching += std::chrono::steady_clock::now() - from;
                for (const std::string& name : names) {
                    touch(jpgs + name + ".jpg");
                    touch(g3s + name + ".g3");
                }
            }
            perDocument = std::min(perDocument, searching.count() / 300);
        }
        if (kept == 1000) baseMs = perDocument;
        std::printf("%-28d %12.2f %12.3f %8.1f\n", kept, first.count(), perDocument, perDocument / baseMs);
    }
    return 0;
}
