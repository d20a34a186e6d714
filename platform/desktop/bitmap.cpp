#include "platform/desktop/bitmap.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/image/bmp.h"
#include "platform/imaging/jpeg.h"
#include "platform/imaging/rotate.h"

#include <cstring>

namespace fg::desktop {

using image::Image;
using image::PixelFormat;

int Bitmap::bitsPerPixel() const { return image.empty() ? 0 : image.bitsPerPixel(); }

int Bitmap::colorCount() const { return static_cast<int>(image.palette().size()); }

bool createBitmap(Bitmap& bitmap, int width, int height, int bits, const image::Palette* palette,
                  std::uint32_t firstAttribute, std::uint32_t secondAttribute) {
    PixelFormat format;
    switch (bits) {
    case 1: format = PixelFormat::Indexed1; break;
    case 4: format = PixelFormat::Indexed4; break;
    case 8: format = PixelFormat::Indexed8; break;
    case 16: format = PixelFormat::Rgb16; break;
    case 24: format = PixelFormat::Rgb24; break;
    case 32: format = PixelFormat::Rgb32; break;
    default: return false;
    }
    try {
        Image img(width, height, format, 0);
        if (bits <= 8) {
            image::Palette p = palette ? *palette : image::Palette{};
            if (p.empty())
                for (int i = 0, n = 1 << bits; i < n; ++i) {
                    const auto v = static_cast<std::uint8_t>(i * 255 / (n - 1));
                    p.push_back({v, v, v});
                }
            img.setPalette(std::move(p));
        }
        bitmap.image = std::move(img);
    } catch (const Error&) {
        bitmap = {};
        return false;
    }
    bitmap.attributes[0] = firstAttribute;
    bitmap.attributes[1] = secondAttribute;
    return true;
}

void freeBitmap(Bitmap& bitmap) { bitmap.image = Image(); }

bool copyBitmap(Bitmap& to, const Bitmap& from) {
    if (!from.holdsBitmap()) return false;
    to = from;
    return true;
}

bool getBitmapRow(const Bitmap& bitmap, int row, std::uint8_t* bytes, std::size_t count) {
    if (!bytes || row < 0 || row >= bitmap.image.height() || count != bitmap.bytesPerLine()) return false;
    std::memcpy(bytes, bitmap.image.row(row), count);
    return true;
}

bool putBitmapRow(Bitmap& bitmap, int row, const std::uint8_t* bytes, std::size_t count) {
    if (!bytes || row < 0 || row >= bitmap.image.height() || count != bitmap.bytesPerLine()) return false;
    std::memcpy(bitmap.image.row(row), bytes, count);
    return true;
}

std::vector<std::uint8_t> bitmapPaletteEntries(const Bitmap& bitmap) {
    std::vector<std::uint8_t> out;
    for (const image::Rgb& c : bitmap.image.palette()) out.insert(out.end(), {c.r, c.g, c.b, 0});
    return out;
}

bool setBitmapPaletteEntries(Bitmap& bitmap, const std::vector<std::uint8_t>& entries) {
    if (!image::isIndexed(bitmap.image.format()) || entries.size() % 4 ||
        entries.size() / 4 > (std::size_t(1) << bitmap.image.bitsPerPixel()))
        return false;
    image::Palette p;
    for (std::size_t i = 0; i < entries.size(); i += 4) p.push_back({entries[i], entries[i + 1], entries[i + 2]});
    bitmap.image.setPalette(std::move(p));
    return true;
}

bool resampleBitmap(const Bitmap& from, Bitmap& to, int width, int height) {
    if (!from.holdsBitmap()) return false;
    try {
        Image resized = image::resize(image::toRgb(from.image), width, height);
        to.image = std::move(resized);
        to.attributes[0] = from.attributes[0];
        to.attributes[1] = from.attributes[1];
        return true;
    } catch (const Error&) {
        return false;
    }
}

bool rotateBitmap(Bitmap& bitmap, long hundredths) {
    if (!bitmap.holdsBitmap()) return false;
    try {
        bitmap.image = image::rotate(image::toRgb(bitmap.image), hundredths, true);
        return true;
    } catch (const Error&) {
        return false;
    }
}

void paintBitmap(DeviceContext& dc, const Bitmap& bitmap, const Rect& destination, std::uint32_t rop) {
    if (!bitmap.holdsBitmap()) return;
    dc.stretchBlt(destination, bitmap.image, {0, 0, bitmap.image.width(), bitmap.image.height()}, rop);
}

std::unique_ptr<BitmapDC> bitmapDC(Bitmap& bitmap) {
    if (!bitmap.holdsBitmap()) return nullptr;
    return std::make_unique<BitmapDC>(bitmap.image);
}

bool loadBitmapFile(const std::string& path, Bitmap& bitmap) {
    try {
        const std::string bytes = fs::readFile(path);
        Image loaded = image::looksLikeJpeg(bytes) ? image::decodeJpeg(bytes)
                                                   : image::decodeBmp(bytes, image::BmpDepth::AsStored);
        // Eight bits always come with their palette.
        if (loaded.format() == PixelFormat::Gray8) loaded = image::convert(loaded, PixelFormat::Indexed8);
        bitmap.image = std::move(loaded);
        return true;
    } catch (const Error&) {
        return false;
    }
}

}  // namespace fg::desktop
