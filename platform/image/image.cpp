#include "platform/image/image.h"

#include "platform/error.h"

#include <cstring>
#include <string>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace fg::image {

void keepPictureMemory() {
    // A page picture takes megabytes, and each page makes and drops several
    // (the drawing, the fitted page, the bitmap the fax engine reads back,
    // the coded files). glibc serves blocks that large from mmap and gives
    // them back to the system when they are freed, so every page paid for
    // its memory again: some 2,000 page faults a page, an eighth of its
    // time. Such blocks are kept in the heap and used again instead, and the
    // heap's free top is given back only once it passes 64 MB. The settings
    // are the process's: a program that makes pages asks for them, not the
    // library, which other hosts load too.
    [[maybe_unused]] static const bool kept = [] {
#if defined(__GLIBC__)
        mallopt(M_MMAP_THRESHOLD, 32 << 20);
        mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
        return true;
    }();
}

void invalidPicture(const char* why) {
    throw Error(errnum::InvalidPicture, std::string("ピクチャが不正です。(") + why + ")", "image");
}

int bitsPerPixel(PixelFormat format) {
    switch (format) {
    case PixelFormat::Gray8:
    case PixelFormat::Indexed8: return 8;
    case PixelFormat::Rgb24: return 24;
    case PixelFormat::Indexed1: return 1;
    case PixelFormat::Indexed4: return 4;
    case PixelFormat::Rgb16: return 16;
    case PixelFormat::Rgb32: return 32;
    }
    return 8;
}

bool isIndexed(PixelFormat format) {
    return format == PixelFormat::Indexed1 || format == PixelFormat::Indexed4 || format == PixelFormat::Indexed8;
}

Image::Image(int width, int height, PixelFormat format, std::uint8_t fill) : format_(format) {
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) invalidPicture("image size out of range");
    std::size_t bytes = rowBytes(width, format) * static_cast<std::size_t>(height);
    if (bytes > kMaxBytes) invalidPicture("image too large");
    width_ = width;
    height_ = height;
    pixels_.assign(bytes, fill);
    if (format == PixelFormat::Rgb32) {
        const std::uint32_t word = fill * 0x010101u;
        for (std::size_t i = 0; i < bytes; i += 4) std::memcpy(pixels_.data() + i, &word, 4);
    }
}

void Image::setPalette(Palette palette) {
    if (!isIndexed(format_) && !palette.empty()) invalidPicture("a palette needs an indexed image");
    if (palette.size() > (std::size_t(1) << bitsPerPixel())) invalidPicture("palette too long");
    palette_ = std::move(palette);
}

unsigned Image::index(int x, int y) const {
    const std::uint8_t* r = row(y);
    switch (format_) {
    case PixelFormat::Indexed1: return (r[x >> 3] >> (7 - (x & 7))) & 1u;
    case PixelFormat::Indexed4: return (r[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0Fu;
    default: return r[x];
    }
}

void Image::setIndex(int x, int y, unsigned index) {
    std::uint8_t* r = row(y);
    switch (format_) {
    case PixelFormat::Indexed1: {
        const std::uint8_t bit = static_cast<std::uint8_t>(0x80 >> (x & 7));
        r[x >> 3] = static_cast<std::uint8_t>(index & 1 ? r[x >> 3] | bit : r[x >> 3] & ~bit);
        break;
    }
    case PixelFormat::Indexed4: {
        const int shift = (x & 1) ? 0 : 4;
        r[x >> 1] = static_cast<std::uint8_t>((r[x >> 1] & ~(0x0F << shift)) | ((index & 0x0F) << shift));
        break;
    }
    default: r[x] = static_cast<std::uint8_t>(index);
    }
}

Rgb Image::pixel(int x, int y) const {
    const std::uint8_t* r = row(y);
    switch (format_) {
    case PixelFormat::Gray8: return {r[x], r[x], r[x]};
    case PixelFormat::Rgb24: return {r[x * 3], r[x * 3 + 1], r[x * 3 + 2]};
    case PixelFormat::Rgb16: {
        const unsigned v = r[x * 2] | (r[x * 2 + 1] << 8);
        auto five = [](unsigned c) { return static_cast<std::uint8_t>((c << 3) | (c >> 2)); };
        return {five((v >> 10) & 31), five((v >> 5) & 31), five(v & 31)};
    }
    case PixelFormat::Rgb32: {
        std::uint32_t v;
        std::memcpy(&v, r + x * 4, 4);
        return {static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
    }
    default: break;
    }
    const unsigned i = index(x, y);
    if (i < palette_.size()) return palette_[i];
    if (format_ == PixelFormat::Indexed1 && palette_.empty()) return i ? Rgb{} : Rgb{0, 0, 0};
    return {0, 0, 0};
}

namespace {

unsigned gray(Rgb c) { return (299u * c.r + 587u * c.g + 114u * c.b + 500u) / 1000u; }

unsigned nearest(const Palette& palette, Rgb c) {
    unsigned best = 0;
    long bestDistance = -1;
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const long dr = palette[i].r - c.r, dg = palette[i].g - c.g, db = palette[i].b - c.b;
        const long d = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || d < bestDistance) {
            bestDistance = d;
            best = static_cast<unsigned>(i);
            if (d == 0) break;
        }
    }
    return best;
}

}  // namespace

void Image::setPixel(int x, int y, Rgb c) {
    std::uint8_t* r = row(y);
    switch (format_) {
    case PixelFormat::Gray8: r[x] = static_cast<std::uint8_t>(gray(c)); return;
    case PixelFormat::Rgb24:
        r[x * 3] = c.r, r[x * 3 + 1] = c.g, r[x * 3 + 2] = c.b;
        return;
    case PixelFormat::Rgb16: {
        const unsigned v = ((c.r >> 3) << 10) | ((c.g >> 3) << 5) | (c.b >> 3);
        r[x * 2] = static_cast<std::uint8_t>(v), r[x * 2 + 1] = static_cast<std::uint8_t>(v >> 8);
        return;
    }
    case PixelFormat::Rgb32: {
        const std::uint32_t v = (std::uint32_t(c.r) << 16) | (std::uint32_t(c.g) << 8) | c.b;
        std::memcpy(r + x * 4, &v, 4);
        return;
    }
    default: break;
    }
    if (format_ == PixelFormat::Indexed1 && palette_.empty()) setIndex(x, y, gray(c) >= 128 ? 1 : 0);
    else setIndex(x, y, nearest(palette_, c));
}

Image convert(const Image& image, PixelFormat format, Palette palette) {
    if (image.empty()) invalidPicture("empty image");
    if (format == image.format() && (palette.empty() || palette == image.palette())) return image;
    Image out(image.width(), image.height(), format, 0);
    out.setResolution(image.xPelsPerMeter(), image.yPelsPerMeter());
    if (isIndexed(format)) {
        if (palette.empty()) palette = image.palette();
        if (palette.empty() && format != PixelFormat::Indexed1) {
            const int n = 1 << bitsPerPixel(format);
            for (int i = 0; i < n; ++i) {
                const auto v = static_cast<std::uint8_t>(i * 255 / (n - 1));
                palette.push_back({v, v, v});
            }
        }
        out.setPalette(std::move(palette));
    }
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) out.setPixel(x, y, image.pixel(x, y));
    return out;
}

Image toGray(const Image& image) {
    if (image.format() == PixelFormat::Gray8 || image.empty()) return image;
    return convert(image, PixelFormat::Gray8);
}

Image toRgb(const Image& image) {
    if (image.format() == PixelFormat::Rgb24 || image.empty()) return image;
    return convert(image, PixelFormat::Rgb24);
}

void requireGrayOrRgb(const Image& image) {
    if (image.format() != PixelFormat::Gray8 && image.format() != PixelFormat::Rgb24)
        invalidPicture("the operation takes 8-bit gray or 24-bit colour");
}

}  // namespace fg::image
