#include "platform/testing/fax_pages.h"

#include "platform/imaging/rotate.h"
#include "platform/testing/run_program.h"

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace fg::testing {

Sheet readG3WithFax2tiff(const std::string& g3Path, const std::string& scratchFolder, std::string& failure) {
    failure.clear();
    const std::string tif = scratchFolder + "fax2tiff.tif";
    ProgramRun conv = runProgram({"fax2tiff", "-o", tif, g3Path});
    if (conv.exitCode != 0 || conv.errors.find("Bad code") != std::string::npos ||
        conv.errors.find("bad") != std::string::npos) {
        failure = "fax2tiff " + g3Path + ": exit " + std::to_string(conv.exitCode) + ": " + conv.errors;
        return {};
    }
    TIFFSetWarningHandler(nullptr);
    TIFF* in = TIFFOpen(tif.c_str(), "r");
    if (!in) {
        failure = "libtiff cannot open " + tif;
        return {};
    }
    std::uint32_t width = 0, length = 0;
    std::uint16_t photometric = PHOTOMETRIC_MINISWHITE;
    TIFFGetField(in, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(in, TIFFTAG_IMAGELENGTH, &length);
    TIFFGetFieldDefaulted(in, TIFFTAG_PHOTOMETRIC, &photometric);
    Sheet page{image::Image(static_cast<int>(width), static_cast<int>(length), image::PixelFormat::Gray8),
               kFaxPelWidthMm, kFaxLineHeightMm};
    std::vector<std::uint8_t> line(static_cast<std::size_t>(TIFFScanlineSize(in)));
    for (std::uint32_t y = 0; y < length && failure.empty(); ++y) {
        if (TIFFReadScanline(in, line.data(), y, 0) < 0) {
            failure = "libtiff cannot read line " + std::to_string(y) + " of " + tif;
            break;
        }
        std::uint8_t* row = page.pels.row(static_cast<int>(y));
        for (std::uint32_t x = 0; x < width; ++x) {
            const bool set = (line[x >> 3] >> (7 - (x & 7))) & 1;
            row[x] = set == (photometric == PHOTOMETRIC_MINISWHITE) ? 0 : 255;
        }
    }
    TIFFClose(in);
    if (!failure.empty()) return {};
    return page;
}

Sheet squarePels(image::Image picture, double dpi) {
    const double mm = 25.4 / dpi;
    return {image::toGray(picture), mm, mm};
}

Sheet turnedBack(const Sheet& page) {
    return {image::rotate(page.pels, -9000, true), page.pelHeightMm, page.pelWidthMm};
}

std::optional<Box> inkBox(const image::Image& picture, int threshold) {
    std::optional<Box> box;
    for (int y = 0; y < picture.height(); ++y) {
        const std::uint8_t* row = picture.row(y);
        for (int x = 0; x < picture.width(); ++x) {
            if (row[x] >= threshold) continue;
            if (!box) box = Box{x, y, x + 1, y + 1};
            box->left = std::min(box->left, x);
            box->right = std::max(box->right, x + 1);
            box->bottom = y + 1;
        }
    }
    return box;
}

double inkAspect(const Sheet& sheet) {
    auto box = inkBox(sheet.pels);
    if (!box) return 0;
    return box->width() * sheet.pelWidthMm / (box->height() * sheet.pelHeightMm);
}

double darkRecall(const Sheet& reference, const Sheet& page, const Box& region, int tolerance) {
    auto from = inkBox(reference.pels);
    auto to = inkBox(page.pels);
    if (!from || !to) return 0;
    const double sx = static_cast<double>(to->width()) / from->width();
    const double sy = static_cast<double>(to->height()) / from->height();
    long dark = 0, kept = 0;
    for (int y = std::max(region.top, 0); y < std::min(region.bottom, reference.pels.height()); ++y) {
        const std::uint8_t* row = reference.pels.row(y);
        for (int x = std::max(region.left, 0); x < std::min(region.right, reference.pels.width()); ++x) {
            if (row[x] >= 128) continue;
            ++dark;
            const int px = static_cast<int>(std::lround(to->left + (x - from->left + 0.5) * sx - 0.5));
            const int py = static_cast<int>(std::lround(to->top + (y - from->top + 0.5) * sy - 0.5));
            bool found = false;
            for (int v = std::max(py - tolerance, 0); !found && v <= std::min(py + tolerance, page.pels.height() - 1);
                 ++v)
                for (int u = std::max(px - tolerance, 0); !found && u <= std::min(px + tolerance, page.pels.width() - 1);
                     ++u)
                    found = page.pels.row(v)[u] < 128;
            kept += found;
        }
    }
    return dark ? static_cast<double>(kept) / static_cast<double>(dark) : 1.0;
}

image::Image ruledSheet(int width, int height, int count, std::vector<Box>& rules) {
    image::Image sheet(width, height, image::PixelFormat::Gray8);
    const int margin = std::min(width, height) / 16;
    rules.clear();
    for (int i = 0; i < count; ++i) {
        const int y = margin + i * (height - 2 * margin - 1) / (count - 1);
        rules.push_back(Box{margin, y, width - margin, y + 1});
        const int x = margin + i * (width - 2 * margin - 1) / (count - 1);
        rules.push_back(Box{x, margin, x + 1, height - margin});
    }
    for (const Box& r : rules)
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) sheet.row(y)[x] = 0;
    return sheet;
}

}  // namespace fg::testing
