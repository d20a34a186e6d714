// Times drawing 1,000 annotations of mixed kinds over a fax page of
// 1728 x 2291 pels: the whole page on a window, a repaint of a small area
// (objects outside it are passed over), a print onto a page of twice the
// resolution, and burning only the redactions into a 1-bit page image.
// Then whole-tree operations on trees of nested containers, as deep as a
// tree may nest: a tag set on every object and the tree destroyed, whose
// cost follows the size of the tree, not the square of its depth. Last,
// the text of pages of 1,000 to 100,000 objects saved into memory, whose
// cost follows its bytes: the ratios to the 1,000 objects' save are printed
// beside the ratios of the bytes.
#include "annotation/zentrel.h"
#include "platform/desktop/bitmap.h"
#include "platform/desktop/global_memory.h"
#include "platform/desktop/raster_dc.h"
#include "platform/testing/temp_home.h"
#include "platform/testing/timing.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kWidth = 1728, kHeight = 2291, kObjects = 1000;
constexpr uint32_t kKinds[] = {ANN_RECTANGLE, ANN_ELLIPSE, ANN_LINE,   ANN_POLYLINE, ANN_FREEHAND,
                               ANN_ARROW,     ANN_HIGHLIGHT, ANN_REDACTION, ANN_NOTE,   ANN_TEXT,
                               ANN_STAMP,     ANN_BUTTON,  ANN_HOTSPOT, ANN_AUDIO,    ANN_POLYGON};

void check(int32_t result, const char* what) {
    if (result != ANN_SUCCESS) std::fprintf(stderr, "%s answered %d\n", what, result);
}

// Objects laid over the page in a grid, every kind in turn, some turned;
// beyond a page's thousand, in groups of a thousand (an object is added
// after the last of its container's, found by walking them).
ANNHANDLE buildPage(int objects = kObjects) {
    ANNHANDLE root = 0;
    const RECTD page{0, 0, kWidth - 1, kHeight - 1};
    check(K_AnnCreateContainer(0, &page, 1, &root), "create container");
    ANNHANDLE group = root;
    for (int i = 0; i < objects; ++i) {
        if (objects > kObjects && i % kObjects == 0) check(K_AnnCreateItem(root, ANN_CONTAINER, 1, &group), "group");
        const uint32_t kind = kKinds[i % std::size(kKinds)];
        const double x = 20 + (i % 25) * 68, y = 20 + (i % kObjects / 25) * 56;
        ANNHANDLE h = 0;
        check(K_AnnCreateItem(group, kind, 1, &h), "create item");
        if (kind == ANN_LINE || kind == ANN_ARROW) {
            const POINTD ends[] = {{x, y}, {x + 60, y + 40}};
            check(K_AnnSetPoints(h, ends, 2), "points");
        } else if (kind == ANN_POLYLINE || kind == ANN_FREEHAND || kind == ANN_POLYGON) {
            std::vector<POINTD> pts;
            const int n = kind == ANN_FREEHAND ? 50 : 6;
            for (int k = 0; k < n; ++k) pts.push_back({x + k * 60.0 / n, y + (k % 2 ? 40 : 5)});
            check(K_AnnSetPoints(h, pts.data(), static_cast<uint32_t>(pts.size())), "points");
        } else {
            const RECTD r{x, y, x + 60, y + 45};
            check(K_AnnSetRect(h, &r), "rect");
        }
        if (kind == ANN_NOTE || kind == ANN_TEXT || kind == ANN_STAMP || kind == ANN_BUTTON)
            check(K_AnnSetText(h, "注文書 No.123\r\nOK", 0), "text");
        if (kind == ANN_RECTANGLE || kind == ANN_ELLIPSE) {
            check(K_AnnSetFillMode(h, ANN_FILLMODE_OPAQUE, 0), "fill");
            check(K_AnnSetBackColor(h, 0x80C0FF, 0), "colour");
        }
        if (i % 7 == 0 && kind != ANN_NOTE && kind != ANN_BUTTON) check(K_AnnRotate(h, 20, nullptr, 0), "rotate");
        if (i % 10 == 0) check(K_AnnSetSelected(h, 1, 0), "select");
    }
    return root;
}

// `objects` containers below a root, in chains `depth` deep.
ANNHANDLE buildChains(int objects, int depth) {
    ANNHANDLE root = 0;
    const RECTD page{0, 0, kWidth - 1, kHeight - 1};
    check(K_AnnCreateContainer(0, &page, 1, &root), "create container");
    ANNHANDLE last = root;
    for (int i = 0; i < objects; ++i) {
        if (i % depth == 0) last = root;
        ANNHANDLE h = 0;
        check(K_AnnCreateItem(last, ANN_CONTAINER, 1, &h), "create nested container");
        const RECTD r{1, 1, 100, 100};
        check(K_AnnSetRect(h, &r), "rect");
        last = h;
    }
    return root;
}

void deepTrees() {
    std::printf("%-44s %10s %10s\n", "nested containers", "SetTag ms", "Destroy ms");
    for (const auto& [objects, depth] : {std::pair{256, 256}, {5000, 256}, {20000, 256}, {20000, 16}}) {
        const ANNHANDLE root = buildChains(objects, depth);
        const double tag = fg::testing::msPerCall(3, [&](int i) {
            check(K_AnnSetTag(root, static_cast<uint32_t>(i), ANN_FLAG_RECURSIVE), "tag");
        });
        const auto start = std::chrono::steady_clock::now();
        check(K_AnnDestroy(root, 0), "destroy");
        const std::chrono::duration<double, std::milli> destroy = std::chrono::steady_clock::now() - start;
        const std::string what = std::to_string(objects) + " in chains of " + std::to_string(depth);
        std::printf("%-44s %10.2f %10.2f\n", what.c_str(), tag, destroy.count());
    }
}

void largeSaves() {
    std::printf("%-44s %10s %12s %8s %8s\n", "K_AnnSaveMemory, the text of", "ms", "bytes", "x time", "x bytes");
    double firstMs = 0, firstBytes = 0;
    for (const int objects : {1000, 10000, 20000, 100000}) {
        const ANNHANDLE root = buildPage(objects);
        ANNMEMORY text = 0;
        uint32_t size = 0;
        const double ms = fg::testing::msPerCall(1, [&](int) {
            fg::desktop::globalFree(text);
            check(K_AnnSaveMemory(root, ANN_FORMAT_ANNOTATION, 0, &text, &size), "save");
        });
        fg::desktop::globalFree(text);
        check(K_AnnDestroy(root, 0), "destroy");
        if (objects == 1000) firstMs = ms, firstBytes = size;
        const std::string what = std::to_string(objects) + " objects";
        std::printf("%-44s %10.2f %12u %8.1f %8.1f\n", what.c_str(), ms, size, ms / firstMs, size / firstBytes);
    }
}

}  // namespace

int main() {
    deepTrees();
    largeSaves();
    const ANNHANDLE root = buildPage();
    fg::image::Image surface(kWidth, kHeight, fg::image::PixelFormat::Rgb32);
    fg::image::Image printed(2 * kWidth, 2 * kHeight, fg::image::PixelFormat::Rgb32);
    fg::desktop::Bitmap faxPage;
    if (!fg::desktop::createBitmap(faxPage, kWidth, kHeight, 1, nullptr, 0, 0)) return 1;

    std::printf("%d objects of %zu kinds on a %d x %d page\n", kObjects, std::size(kKinds), kWidth, kHeight);
    std::printf("%-44s %10s\n", "call", "ms/call");
    const double whole = fg::testing::msPerCall(5, [&](int) {
        fg::desktop::RasterDC dc(surface);
        check(K_AnnDraw(&dc, nullptr, root), "draw");
    });
    std::printf("%-44s %10.2f\n", "K_AnnDraw, the whole page", whole);
    const double area = fg::testing::msPerCall(50, [&](int) {
        fg::desktop::RasterDC dc(surface);
        const RECT clip{800, 1000, 1000, 1200};
        check(K_AnnDraw(&dc, &clip, root), "draw");
    });
    std::printf("%-44s %10.2f\n", "K_AnnDraw, a repaint of 200 x 200 pels", area);
    const double print = fg::testing::msPerCall(2, [&](int) {
        fg::desktop::RasterDC dc(printed, fg::desktop::DT_RASPRINTER, 192, 192);
        const RECT destination{0, 0, 2 * kWidth, 2 * kHeight};
        check(K_AnnPrint(&dc, &destination, root), "print");
    });
    std::printf("%-44s %10.2f\n", "K_AnnPrint, onto a page of twice the pels", print);
    const double burn = fg::testing::msPerCall(3, [&](int) { check(K_AnnRealize(&faxPage, nullptr, root, 1), "realize"); });
    std::printf("%-44s %10.2f\n", "K_AnnRealize, redactions into a 1-bit page", burn);

    // The page saved and loaded: the text into memory and back (a line read
    // at a time), the same through a file, and the metafile.
    ANNMEMORY text = 0;
    uint32_t size = 0;
    const double save = fg::testing::msPerCall(5, [&](int) {
        fg::desktop::globalFree(text);
        check(K_AnnSaveMemory(root, ANN_FORMAT_ANNOTATION, 0, &text, &size), "save");
    });
    std::printf("%-44s %10.2f  (%u bytes)\n", "K_AnnSaveMemory, the text", save, size);
    const void* bytes = fg::desktop::globalLock(text);
    const double load = fg::testing::msPerCall(5, [&](int) {
        ANNHANDLE loaded = 0;
        check(K_AnnLoadMemory(bytes, size, &loaded), "load");
        K_AnnDestroy(loaded, 0);
    });
    std::printf("%-44s %10.2f\n", "K_AnnLoadMemory, the text", load);
    (void)fg::desktop::globalUnlock(text);
    fg::desktop::globalFree(text);
    const fg::testing::TempDir folder;
    const std::string file = folder / "page.ann";
    const double fileRoundTrip = fg::testing::msPerCall(3, [&](int) {
        ANNHANDLE loaded = 0;
        check(K_AnnSave(file.c_str(), root, ANN_FORMAT_ANNOTATION, 0), "save file");
        check(K_AnnLoad(file.c_str(), &loaded), "load file");
        K_AnnDestroy(loaded, 0);
    });
    std::printf("%-44s %10.2f\n", "K_AnnSave and K_AnnLoad, a file", fileRoundTrip);
    ANNMEMORY picture = 0;
    const double metafile = fg::testing::msPerCall(5, [&](int) {
        fg::desktop::globalFree(picture);
        check(K_AnnSaveMemory(root, ANN_FORMAT_METAFILE, 0, &picture, &size), "metafile");
    });
    fg::desktop::globalFree(picture);
    std::printf("%-44s %10.2f  (%u bytes)\n", "K_AnnSaveMemory, the metafile", metafile, size);
    check(K_AnnDestroy(root, 0), "destroy");
    return 0;
}
