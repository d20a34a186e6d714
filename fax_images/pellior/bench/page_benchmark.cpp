// Milliseconds per page from layout to G3 page, for the two shipped layouts,
// beside the time the page takes on a 14400 bit/s line (about ten seconds
// for a typical A4 page): the page pipeline must keep well ahead of the
// lines it feeds.
//
// Figures are medians over the rounds, in CPU time of this process (the
// machine's other work does not count) and in wall time. The members are
// timed one by one, each from the files the one before it left; then
// makeFAXImage as the document builder calls it; then the steps makeFAXImage
// takes for each page in memory, one by one as it takes them, so that its
// time can be told apart.
#include "fax_images/pellior/fax_rep_img.h"
#include "fax_images/pellior/fax_tran_refer_img.h"

#include "fax_images/pellior/page_files.h"
#include "platform/files.h"
#include "platform/image/bmp.h"
#include "platform/imaging/jpeg.h"
#include "platform/layout/fax_printer.h"
#include "platform/layout/page_export.h"
#include "platform/layout/sheet_renderer.h"
#include "platform/layout/workbook_file.h"
#include "platform/testing/temp_home.h"
#include "settings/fax_manage_num.h"

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace fg;

namespace {

struct Sample {
    double cpu = 0, wall = 0;  // ms
};

double cpuNow() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Times one call.
template <class F>
Sample timed(F&& f) {
    const double c = cpuNow();
    const auto w = std::chrono::steady_clock::now();
    f();
    return {cpuNow() - c, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - w).count()};
}

// One stage's samples, per page.
struct Stage {
    const char* name;
    std::vector<Sample> samples;
    void add(Sample s, int pages) { samples.push_back({s.cpu / pages, s.wall / pages}); }
    Sample median() const {
        std::vector<double> c, w;
        for (const Sample& s : samples) c.push_back(s.cpu), w.push_back(s.wall);
        if (c.empty()) return {};
        std::sort(c.begin(), c.end());
        std::sort(w.begin(), w.end());
        return {c[c.size() / 2], w[w.size() / 2]};
    }
};

void print(const Stage& s) {
    const Sample m = s.median();
    std::printf("  %-28s %8.2f ms CPU %8.2f ms wall per page\n", s.name, m.cpu, m.wall);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    testing::TempHome home;
    const std::string layouts = home.folder("ExcelLayout");
    const std::string g3 = home.folder("G3Image");
    const std::string jpgs = home.folder("Jpg");
    home.folder("Bitmap");
    home.folder("Msf");
    struct Doc {
        std::string number, type;
    } docs[] = {{"202401150930000001", "注文書"}, {"202401150930000002", "テスト帳票"}};
    for (const Doc& d : docs) {
        FaxManageNum store;
        store.setMstrRepManageNo(d.number);
        store.setMstrRepType(d.type);
        (void)store.setManageNum("0");
    }
    std::printf("page pipeline, median of %d rounds of the shipped layouts\n", rounds);
    for (const Doc& d : docs) {
        const std::string source = fs::readFile(layouts + d.number + ".xls");
        Stage members[] = {{"print (changeMSFFile)", {}},     {"export (changeBMPFile 0)", {}},
                           {"JPEG copy (saveImage)", {}},     {"page shape (trimBMPFile)", {}},
                           {"G3 coding (changeG3File)", {}},  {"members one by one", {}}};
        Stage whole{"makeFAXImage", {}};
        int pages = 0;
        double lineSeconds = 0;
        for (int r = 0; r < rounds; ++r) {
            FaxRepImg img;
            // The members one by one, each from the files the last one left.
            fs::writeFileAtomic(layouts + d.number + ".xls", source);
            for (const std::string& old : fs::list(jpgs, d.number + "_*")) (void)fs::removeFile(jpgs + old);
            for (const std::string& old : fs::list(g3, d.number + "_*")) (void)fs::removeFile(g3 + old);
            Sample print = timed([&] { img.changeMSFFile(d.number, true); });
            std::vector<std::string> names;
            Sample exported = timed([&] { img.changeBMPFile(d.number, "0"); });
            for (int p = 1;; ++p) {
                std::string name = d.number + "_" + (p < 10 ? "00" : "0") + std::to_string(p);
                if (!fs::fileExists(home.folder("Bitmap") + name + ".bmp")) break;
                names.push_back(name);
            }
            const int n = static_cast<int>(names.size());
            if (n == 0) {
                std::fprintf(stderr, "no pages for %s\n", d.number.c_str());
                return 1;
            }
            Sample copy, shape, code;
            for (const std::string& p : names) {
                Sample c = timed([&] { FAXTranReferImg().saveImage(p); });
                Sample s = timed([&] { img.trimBMPFile(p, d.number); });
                Sample g = timed([&] { img.changeG3File(p); });
                copy.cpu += c.cpu, copy.wall += c.wall;
                shape.cpu += s.cpu, shape.wall += s.wall;
                code.cpu += g.cpu, code.wall += g.wall;
                img.deleteBMPFile(p);
                if (r == 0) lineSeconds += static_cast<double>(fs::readFile(g3 + p + ".g3").size()) * 8 / 14400.0;
            }
            members[0].add(print, n);
            members[1].add(exported, n);
            members[2].add(copy, n);
            members[3].add(shape, n);
            members[4].add(code, n);
            members[5].add({print.cpu + exported.cpu + copy.cpu + shape.cpu + code.cpu,
                            print.wall + exported.wall + copy.wall + shape.wall + code.wall},
                           n);
            pages = n;
            // The whole member, as the document builder calls it.
            fs::writeFileAtomic(layouts + d.number + ".xls", source);
            bool ok = false;
            whole.add(timed([&] { ok = img.makeFAXImage({d.number}, {d.number}, ""); }), n);
            if (!ok) {
                std::fprintf(stderr, "makeFAXImage failed for %s\n", d.number.c_str());
                return 1;
            }
        }
        // makeFAXImage's steps in memory, page by page.
        Stage steps[] = {{"layout read", {}},          {"drawing at 200 dpi", {}},   {"JPEG picture", {}},
                         {"printed file", {}},         {"reference copy", {}},       {"page shape", {}},
                         {"shaped bitmap", {}},        {"G3 page (engine)", {}},     {"pages synced, record", {}}};
        for (int r = 0; r < rounds; ++r) {
            FaxRepImg img;
            fs::writeFileAtomic(layouts + d.number + ".xls", source);
            layout::Workbook wb;
            Sample read = timed([&] { wb = layout::readWorkbook(layouts + d.number + ".xls"); });
            layout::PageSetup& setup = wb.sheets[0].pageSetup;
            setup.leftMargin = setup.rightMargin = 1, setup.topMargin = 20, setup.bottomMargin = 0;
            std::vector<image::Image> pictures;
            Sample draw = timed([&] { pictures = layout::renderSheetPages(wb, wb.sheets[0], layout::kExportDpi); });
            const int n = static_cast<int>(pictures.size());
            std::vector<layout::PrintedPage> printed;
            Sample jpeg = timed([&] {
                for (image::Image& p : pictures) {
                    std::string bytes = image::encodeJpeg(p, 24);
                    printed.push_back({std::move(p), std::move(bytes)});
                }
            });
            Sample file = timed([&] {
                fs::writeFileAtomic(home.folder("Msf") + d.number + ".msf",
                                    layout::pdfOfPictures(printed, setup.paperWidth(), setup.paperHeight()),
                                    fs::Sync::Passing);
                (void)fs::removeFile(home.folder("Msf") + d.number + ".msf");
            });
            Sample copy, shape, bitmap, code;
            for (int p = 0; p < n; ++p) {
                const std::string name = "STEP_" + std::to_string(p + 1);
                auto add = [](Sample& to, Sample s) { to.cpu += s.cpu, to.wall += s.wall; };
                add(copy, timed([&] {
                    fs::writeFileAtomic(jpgs + name + ".jpg", printed[static_cast<std::size_t>(p)].jpeg,
                                        fs::Sync::Passing);
                    image::checkWritten(jpgs + name + ".jpg", printed[static_cast<std::size_t>(p)].jpeg);
                }));
                image::Image shaped;
                add(shape, timed([&] {
                    shaped = pellior::shapeForFax(printed[static_cast<std::size_t>(p)].picture, d.type, name, "bench");
                    printed[static_cast<std::size_t>(p)].picture = image::Image();
                }));
                add(bitmap, timed([&] {
                    image::writeBmp(home.folder("Bitmap") + name + ".bmp", shaped, 8, 128, fs::Sync::Passing);
                }));
                add(code, timed([&] { img.changeG3File(name); }));
                img.deleteBMPFile(name);
            }
            FaxManageNum store;
            std::vector<std::string> names;
            for (int p = 0; p < n; ++p) names.push_back("STEP_" + std::to_string(p + 1));
            Sample record = timed([&] {
                for (const std::string& name : names) {
                    fs::syncFile(jpgs + name + ".jpg");
                    fs::syncFile(g3 + name + ".g3");
                }
                (void)store.subAddTempImageFileNames(d.number, names);
                (void)store.subAddRefImageFileNames(d.number, names);
            });
            const Sample all[] = {read, draw, jpeg, file, copy, shape, bitmap, code, record};
            for (std::size_t i = 0; i < std::size(steps); ++i) steps[i].add(all[i], n);
        }
        std::printf("\n%s (%s, %d pages)\n", d.number.c_str(), d.type.c_str(), pages);
        for (const Stage& s : members) print(s);
        print(whole);
        std::printf("  makeFAXImage by step:\n");
        double cpu = 0, wall = 0;
        for (const Stage& s : steps) {
            print(s);
            cpu += s.median().cpu, wall += s.median().wall;
        }
        std::printf("  %-28s %8.2f ms CPU %8.2f ms wall per page\n", "steps together", cpu, wall);
        std::printf("  line time at 14400 bit/s: %.1f s per page (G3 data only)\n", lineSeconds / pages);
    }
    return 0;
}
