// Milliseconds per page from layout to G3 page, for the two shipped layouts,
// beside the time the page takes on a 14400 bit/s line (about ten seconds
// for a typical A4 page): the page pipeline must keep well ahead of the
// lines it feeds.
#include "fax_images/pellior/fax_rep_img.h"
#include "fax_images/pellior/fax_tran_refer_img.h"

#include "platform/files.h"
#include "platform/testing/temp_home.h"
#include "settings/fax_manage_num.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

using namespace fg;

namespace {

struct Stage {
    const char* name;
    double ms = 0;
};

double since(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    testing::TempHome home;
    const std::string layouts = home.folder("ExcelLayout");
    const std::string g3 = home.folder("G3Image");
    home.folder("Bitmap");
    home.folder("Jpg");
    home.folder("Msf");
    struct Doc {
        std::string number, type;
    } docs[] = {{"202401150930000001", "注文書"}, {"202401150930000002", "テスト帳票"}};
    for (const Doc& d : docs) {
        FaxManageNum store;
        store.setMstrRepManageNo(d.number);
        store.setMstrRepType(d.type);
        store.setManageNum("0");
    }
    std::printf("page pipeline, %d rounds of the shipped layouts\n", rounds);
    for (const Doc& d : docs) {
        const std::string source = fs::readFile(layouts + d.number + ".xls");
        Stage stages[] = {{"print"}, {"export"}, {"JPEG copy"}, {"page shape"}, {"G3 coding"}, {"whole pipeline"}};
        int pages = 0;
        double lineSeconds = 0;
        for (int r = 0; r < rounds; ++r) {
            FaxRepImg img;
            // Stage by stage, as makeFAXImage runs them.
            fs::writeFileAtomic(layouts + d.number + ".xls", source);
            auto t = std::chrono::steady_clock::now();
            img.changeMSFFile(d.number, true);
            stages[0].ms += since(t);
            t = std::chrono::steady_clock::now();
            img.changeBMPFile(d.number, "0");
            stages[1].ms += since(t);
            std::vector<std::string> names;
            for (int p = 1;; ++p) {
                std::string name = d.number + "_" + (p < 10 ? "00" : "0") + std::to_string(p);
                if (!fs::fileExists(home.folder("Bitmap") + name + ".bmp")) break;
                names.push_back(name);
            }
            for (const std::string& p : names) {
                t = std::chrono::steady_clock::now();
                FAXTranReferImg().saveImage(p);
                stages[2].ms += since(t);
                t = std::chrono::steady_clock::now();
                img.trimBMPFile(p, d.number);
                stages[3].ms += since(t);
                t = std::chrono::steady_clock::now();
                img.changeG3File(p);
                stages[4].ms += since(t);
                img.deleteBMPFile(p);
                if (r == 0) lineSeconds += static_cast<double>(fs::readFile(g3 + p + ".g3").size()) * 8 / 14400.0;
            }
            if (r == 0) pages = static_cast<int>(names.size());
            // The whole member, as the document builder calls it.
            t = std::chrono::steady_clock::now();
            bool ok = img.makeFAXImage({d.number}, {d.number}, "");
            stages[5].ms += since(t);
            if (!ok) {
                std::fprintf(stderr, "makeFAXImage failed for %s\n", d.number.c_str());
                return 1;
            }
            fs::writeFileAtomic(layouts + d.number + ".xls", source);
        }
        std::printf("\n%s (%s, %d pages)\n", d.number.c_str(), d.type.c_str(), pages);
        for (const Stage& s : stages)
            std::printf("  %-16s %8.1f ms per page\n", s.name, s.ms / rounds / pages);
        std::printf("  line time at 14400 bit/s: %.1f s per page (G3 data only)\n", lineSeconds / pages);
    }
    return 0;
}
