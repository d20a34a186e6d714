#include "platform/fax_engine/fax_page.h"

#include "platform/files.h"
#include "platform/image/bmp.h"

#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace fg::fax {

namespace {

// Each byte with its bits in the opposite order.
constexpr std::array<std::uint8_t, 256> kReversed = [] {
    std::array<std::uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i) {
        int r = 0;
        for (int b = 0; b < 8; ++b)
            if (i & (1 << b)) r |= 0x80 >> b;
        t[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(r);
    }
    return t;
}();

}  // namespace

BilevelImage pageFromImage(const image::Image& bitmap, int stretch) {
    const image::Image converted = bitmap.format() == image::PixelFormat::Gray8 ? image::Image() : image::toGray(bitmap);
    const image::Image& gray = bitmap.format() == image::PixelFormat::Gray8 ? bitmap : converted;
    const bool horizontal = stretch == 1 || stretch == 3 || stretch == 5;
    const int lines = (stretch == 2 || stretch == 3) ? kA4LinesLow : (stretch == 4 || stretch == 5) ? kA4LinesHigh : 0;
    const int width = horizontal ? kFaxWidth : gray.width();
    const int height = lines ? lines : gray.height();

    BilevelImage page(kFaxWidth, height);
    const int copy = std::min(kFaxWidth, width);
    // Each scaled row becomes a fax line as it comes, cut at half intensity.
    auto line = [&](int y, const std::uint8_t* s) {
        std::uint8_t* d = page.row(y);
        int x = 0;
#if defined(__SSE2__)
        // Sixteen pels at once: the top bits of their values, a clear bit
        // black, gathered first pel lowest and turned into fax order.
        for (; x + 16 <= copy; x += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + x));
            const unsigned black = ~static_cast<unsigned>(_mm_movemask_epi8(v)) & 0xFFFFu;
            d[x >> 3] = kReversed[black & 0xFFu];
            d[(x >> 3) + 1] = kReversed[black >> 8];
        }
#endif
        // Eight pels to a byte at once: a pel is black when its top bit is
        // clear; the multiplication gathers the eight bits, first pel first.
        for (; x + 8 <= copy; x += 8) {
            std::uint64_t v;
            std::memcpy(&v, s + x, 8);
            const std::uint64_t black = (~v & 0x8080808080808080ull) >> 7;
            d[x >> 3] = static_cast<std::uint8_t>((black * 0x8040201008040201ull) >> 56);
        }
        for (; x < copy; ++x)
            if (s[x] < 128) d[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
    };
    image::resizeRows(gray, width, height, line);
    return page;
}

image::Image imageFromPage(const BilevelImage& page, int shrink, int shrinkWidth, int shrinkHeight) {
    image::Image gray(page.width, page.height, image::PixelFormat::Gray8, 255);
    for (int y = 0; y < page.height; ++y) {
        const std::uint8_t* s = page.row(y);
        std::uint8_t* d = gray.row(y);
        for (int x = 0; x < page.width; ++x)
            if ((s[x >> 3] >> (7 - (x & 7))) & 1) d[x] = 0;
    }
    const bool horizontal = shrink == 1 || shrink == 3;
    const bool vertical = shrink == 2 || shrink == 3;
    const int width = horizontal && shrinkWidth > 0 ? shrinkWidth : page.width;
    const int height = vertical && shrinkHeight > 0 ? shrinkHeight : page.height;
    if (width == page.width && height == page.height) return gray;
    image::Image scaled = image::resize(gray, width, height);
    for (auto& p : scaled.pixels()) p = p <= 191 ? 0 : 255;
    return scaled;
}

void bmpFileToG3(const std::string& bmpPath, const std::string& g3Path, int stretch) {
    BilevelImage page = pageFromImage(image::readBmp(bmpPath), stretch);
    // The engine only writes the page; whoever keeps it makes it durable
    // (several pages at once where it can).
    fs::writeFileAtomic(g3Path, encodeG3(page), fs::Sync::Passing);
}

void g3FileToBmp(const std::string& g3Path, const std::string& bmpPath, int shrink, int shrinkWidth,
                 int shrinkHeight) {
    BilevelImage page = decodeWholeG3(fs::readFile(g3Path));
    image::writeBmp(bmpPath, imageFromPage(page, shrink, shrinkWidth, shrinkHeight), 1);
}

PageSize g3FileSize(const std::string& g3Path) {
    BilevelImage page = decodeWholeG3(fs::readFile(g3Path));
    return {page.width, page.height};
}

PageSize bmpFileSize(const std::string& bmpPath) {
    image::BmpSize s = image::readBmpSize(bmpPath);
    return {s.width, s.height};
}

}  // namespace fg::fax
