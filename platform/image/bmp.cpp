#include "platform/image/bmp.h"

#include "platform/error.h"
#include "platform/files.h"

#include <array>
#include <cstring>

namespace fg::image {

namespace {

std::uint32_t u16(std::string_view b, std::size_t at) {
    return static_cast<std::uint8_t>(b[at]) | (static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 1])) << 8);
}
std::uint32_t u32(std::string_view b, std::size_t at) { return u16(b, at) | (u16(b, at + 2) << 16); }
std::int32_t s32(std::string_view b, std::size_t at) { return static_cast<std::int32_t>(u32(b, at)); }

void put16(std::string& out, std::uint32_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void put32(std::string& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

struct Header {
    int width = 0;
    int height = 0;
    bool topDown = false;
    int bits = 0;
    std::size_t dataOffset = 0;
    std::size_t paletteOffset = 0;
    int paletteEntries = 0;
    int paletteEntrySize = 4;
    int xPelsPerMeter = 0;
    int yPelsPerMeter = 0;
};

// Every field is checked against the bytes at hand before anything is read
// through it: these files come from outside programs.
Header parseHeader(std::string_view b) {
    if (b.size() < 26 || b[0] != 'B' || b[1] != 'M') invalidPicture("not a bitmap file");
    Header h;
    h.dataOffset = u32(b, 10);
    std::uint32_t infoSize = u32(b, 14);
    std::uint32_t compression = 0;
    std::uint32_t colorsUsed = 0;
    if (infoSize == 12) {
        h.width = static_cast<int>(u16(b, 18));
        h.height = static_cast<int>(static_cast<std::int16_t>(u16(b, 20)));
        if (u16(b, 22) != 1) invalidPicture("planes is not 1");
        h.bits = static_cast<int>(u16(b, 24));
        h.paletteEntrySize = 3;
    } else if (infoSize >= 40 && infoSize <= 124) {
        if (b.size() < 14 + 40) invalidPicture("truncated header");
        std::int32_t w = s32(b, 18);
        std::int32_t hh = s32(b, 22);
        if (w <= 0 || w > Image::kMaxSide) invalidPicture("width out of range");
        if (hh == 0 || hh < -Image::kMaxSide || hh > Image::kMaxSide) invalidPicture("height out of range");
        h.width = w;
        h.height = hh;
        if (u16(b, 26) != 1) invalidPicture("planes is not 1");
        h.bits = static_cast<int>(u16(b, 28));
        compression = u32(b, 30);
        h.xPelsPerMeter = s32(b, 38);
        h.yPelsPerMeter = s32(b, 42);
        colorsUsed = u32(b, 46);
    } else {
        invalidPicture("unknown header size");
    }
    if (h.height < 0) {
        h.topDown = true;
        h.height = -h.height;
    }
    if (h.width <= 0 || h.height <= 0) invalidPicture("empty image");
    if (compression != 0) invalidPicture("compressed bitmaps are not supported");
    if (h.bits != 1 && h.bits != 4 && h.bits != 8 && h.bits != 16 && h.bits != 24 && h.bits != 32)
        invalidPicture("unsupported bits per pixel");
    h.paletteOffset = 14 + infoSize;
    if (h.bits <= 8) {
        std::uint32_t max = 1u << h.bits;
        h.paletteEntries = static_cast<int>(colorsUsed == 0 || colorsUsed > max ? max : colorsUsed);
        std::size_t end = h.paletteOffset + static_cast<std::size_t>(h.paletteEntries) *
                                                static_cast<std::size_t>(h.paletteEntrySize);
        if (end > b.size()) invalidPicture("truncated palette");
    }
    return h;
}

std::size_t rowBytes(int width, int bits) {
    return ((static_cast<std::size_t>(width) * static_cast<std::size_t>(bits) + 31) / 32) * 4;
}

// The 40-byte info header of a bottom-up bitmap, as most readers expect it.
void putInfoHeader(std::string& out, const Image& image, int bits, int paletteEntries) {
    put32(out, 40);
    put32(out, static_cast<std::uint32_t>(image.width()));
    put32(out, static_cast<std::uint32_t>(image.height()));
    put16(out, 1);
    put16(out, static_cast<std::uint32_t>(bits));
    put32(out, 0);
    put32(out, static_cast<std::uint32_t>(rowBytes(image.width(), bits) * static_cast<std::size_t>(image.height())));
    put32(out, static_cast<std::uint32_t>(image.xPelsPerMeter()));
    put32(out, static_cast<std::uint32_t>(image.yPelsPerMeter()));
    put32(out, static_cast<std::uint32_t>(paletteEntries));
    put32(out, 0);
}

}  // namespace

Image decodeBmp(std::string_view b, BmpDepth depth) {
    Header h = parseHeader(b);
    std::size_t stride = rowBytes(h.width, h.bits);
    if (h.dataOffset < 14 || h.dataOffset > b.size() ||
        (b.size() - h.dataOffset) / stride < static_cast<std::size_t>(h.height))
        invalidPicture("truncated pixel data");

    Palette palette;
    bool gray = true;
    for (int i = 0; i < h.paletteEntries; ++i) {
        std::size_t at = h.paletteOffset + static_cast<std::size_t>(i * h.paletteEntrySize);
        Rgb rgb{static_cast<std::uint8_t>(b[at + 2]), static_cast<std::uint8_t>(b[at + 1]),
                static_cast<std::uint8_t>(b[at])};
        if (rgb.r != rgb.g || rgb.g != rgb.b) gray = false;
        palette.push_back(rgb);
    }
    const bool paletted = h.bits <= 8;
    const bool stored = depth == BmpDepth::AsStored;
    PixelFormat format = paletted && gray ? PixelFormat::Gray8 : PixelFormat::Rgb24;
    if (stored) {
        switch (h.bits) {
        case 1: format = PixelFormat::Indexed1; break;
        case 4: format = PixelFormat::Indexed4; break;
        case 8: format = PixelFormat::Indexed8; break;
        case 16: format = PixelFormat::Rgb16; break;
        case 32: format = PixelFormat::Rgb32; break;
        default: format = PixelFormat::Rgb24;
        }
    }
    Image out(h.width, h.height, format, 0);
    out.setResolution(h.xPelsPerMeter, h.yPelsPerMeter);
    // 8-bit gray with every value its own index, as bitmaps of pages are
    // written, read as gray: the rows are the pels.
    bool plainGray = !stored && h.bits == 8 && gray && palette.size() == 256;
    for (std::size_t i = 0; plainGray && i < 256; ++i) plainGray = palette[i].r == i;
    if (plainGray) {
        for (int y = 0; y < h.height; ++y) {
            const int fileY = h.topDown ? y : h.height - 1 - y;
            std::memcpy(out.row(y), b.data() + h.dataOffset + static_cast<std::size_t>(fileY) * stride,
                        static_cast<std::size_t>(h.width));
        }
        return out;
    }
    if (stored && paletted) out.setPalette(palette);
    // Rows of 1 to 16 bits are laid out in the file as image rows of the
    // same depth, so they are read through one; 24 and 32 bits are blue,
    // green, red in the file.
    Image fileRow(h.width, 1, stored && paletted ? format
                              : h.bits == 1       ? PixelFormat::Indexed1
                              : h.bits == 4       ? PixelFormat::Indexed4
                              : h.bits == 8       ? PixelFormat::Indexed8
                              : h.bits == 16      ? PixelFormat::Rgb16
                                                  : PixelFormat::Rgb24, 0);
    for (int y = 0; y < h.height; ++y) {
        int fileY = h.topDown ? y : h.height - 1 - y;
        const auto* s = reinterpret_cast<const std::uint8_t*>(b.data() + h.dataOffset +
                                                              static_cast<std::size_t>(fileY) * stride);
        if (paletted || h.bits == 16) {
            std::memcpy(fileRow.row(0), s, fileRow.stride());
            if (stored) {
                std::memcpy(out.row(y), s, out.stride());
                if (paletted)
                    for (int x = 0; x < h.width; ++x)
                        if (out.index(x, y) >= palette.size()) invalidPicture("pixel outside the palette");
                continue;
            }
        }
        for (int x = 0; x < h.width; ++x) {
            Rgb c;
            if (paletted) {
                const unsigned index = fileRow.index(x, 0);
                if (index >= palette.size()) invalidPicture("pixel outside the palette");
                c = palette[index];
            } else if (h.bits == 16) {
                c = fileRow.pixel(x, 0);
            } else {
                const std::uint8_t* p = s + static_cast<std::size_t>(x) * static_cast<std::size_t>(h.bits / 8);
                c = {p[2], p[1], p[0]};
            }
            out.setPixel(x, y, c);
        }
    }
    return out;
}

Image readBmp(const std::string& path, BmpDepth depth) { return decodeBmp(fs::readFile(path), depth); }

BmpSize readBmpSize(const std::string& path) {
    std::string bytes = fs::readFile(path);
    Header h = parseHeader(bytes);
    std::size_t stride = rowBytes(h.width, h.bits);
    if (h.dataOffset < 14 || h.dataOffset > bytes.size() ||
        (bytes.size() - h.dataOffset) / stride < static_cast<std::size_t>(h.height))
        invalidPicture("truncated pixel data");
    return {h.width, h.height, h.bits};
}

std::string encodeBmp(const Image& image, int bits, int threshold) {
    if (image.empty()) invalidPicture("empty image");
    if (bits != 1 && bits != 8 && bits != 24) invalidPicture("bitmaps are written with 1, 8 or 24 bits");
    // Converted only where the picture is not in the form written already.
    const bool own = bits == 24 ? image.format() == PixelFormat::Rgb24 : image.format() == PixelFormat::Gray8;
    const Image converted = own ? Image() : bits == 24 ? toRgb(image) : toGray(image);
    const Image& src = own ? image : converted;
    const int entries = bits == 1 ? 2 : bits == 8 ? 256 : 0;
    const std::size_t stride = rowBytes(image.width(), bits);
    const std::size_t offset = 14 + 40 + static_cast<std::size_t>(entries) * 4;
    const std::size_t total = offset + stride * static_cast<std::size_t>(image.height());
    if (total > 0xFFFFFFFFu) invalidPicture("image too large for a bitmap file");

    std::string out;
    out.reserve(total);
    out += "BM";
    put32(out, static_cast<std::uint32_t>(total));
    put32(out, 0);
    put32(out, static_cast<std::uint32_t>(offset));
    putInfoHeader(out, image, bits, entries);
    for (int i = 0; i < entries; ++i) {
        std::uint8_t v = static_cast<std::uint8_t>(bits == 1 ? (i ? 255 : 0) : i);
        out.push_back(static_cast<char>(v));
        out.push_back(static_cast<char>(v));
        out.push_back(static_cast<char>(v));
        out.push_back(0);
    }
    // Row by row, bottom first, each padded with zeros: a row is cleared
    // just before it is filled, while it is in the cache, and the common
    // 8-bit row is copied in whole.
    for (int y = image.height() - 1; y >= 0; --y) {
        const std::uint8_t* s = src.row(y);
        if (bits == 8) {
            out.append(reinterpret_cast<const char*>(s), static_cast<std::size_t>(image.width()));
            out.append(stride - static_cast<std::size_t>(image.width()), '\0');
            continue;
        }
        out.append(stride, '\0');
        char* row = out.data() + out.size() - stride;
        if (bits == 24) {
            for (int x = 0; x < image.width(); ++x) {
                row[static_cast<std::size_t>(x) * 3] = static_cast<char>(s[x * 3 + 2]);
                row[static_cast<std::size_t>(x) * 3 + 1] = static_cast<char>(s[x * 3 + 1]);
                row[static_cast<std::size_t>(x) * 3 + 2] = static_cast<char>(s[x * 3]);
            }
        } else {
            // Index 1 is white: a set bit is a white pel.
            for (int x = 0; x < image.width(); ++x)
                if (s[x] >= threshold) row[x >> 3] |= static_cast<char>(0x80 >> (x & 7));
        }
    }
    return out;
}

void writeBmp(const std::string& path, const Image& image, int bits, int threshold, fs::Sync sync) {
    fs::writeFileAtomic(path, encodeBmp(image, bits, threshold), sync);
}

std::string encodeDib(const Image& image) {
    if (image.empty()) invalidPicture("empty image");
    const PixelFormat f = image.format();
    const int bits = f == PixelFormat::Gray8 ? 8 : image.bitsPerPixel();
    Palette palette = image.palette();
    if (f == PixelFormat::Gray8)
        for (int i = 0; i < 256; ++i) palette.push_back({std::uint8_t(i), std::uint8_t(i), std::uint8_t(i)});
    if (f == PixelFormat::Indexed1 && palette.empty()) palette = {{0, 0, 0}, {255, 255, 255}};
    const std::size_t stride = rowBytes(image.width(), bits);
    std::string out;
    putInfoHeader(out, image, bits, static_cast<int>(palette.size()));
    for (const Rgb& c : palette) {
        out.push_back(static_cast<char>(c.b));
        out.push_back(static_cast<char>(c.g));
        out.push_back(static_cast<char>(c.r));
        out.push_back(0);
    }
    std::string row(stride, '\0');
    for (int y = image.height() - 1; y >= 0; --y) {
        std::fill(row.begin(), row.end(), '\0');
        if (f == PixelFormat::Rgb24 || f == PixelFormat::Rgb32) {
            const int step = bits / 8;
            for (int x = 0; x < image.width(); ++x) {
                const Rgb c = image.pixel(x, y);
                char* p = row.data() + static_cast<std::size_t>(x) * static_cast<std::size_t>(step);
                p[0] = static_cast<char>(c.b), p[1] = static_cast<char>(c.g), p[2] = static_cast<char>(c.r);
            }
        } else {
            std::memcpy(row.data(), image.row(y), image.stride());
        }
        out += row;
    }
    return out;
}

std::string encodeBmp(const Image& image) {
    std::string dib = encodeDib(image);
    const std::uint32_t paletteBytes = u32(dib, 32) * 4;
    std::string out = "BM";
    put32(out, static_cast<std::uint32_t>(14 + dib.size()));
    put32(out, 0);
    put32(out, 14 + 40 + paletteBytes);
    return out + dib;
}

}  // namespace fg::image
