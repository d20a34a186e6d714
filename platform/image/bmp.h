// Windows bitmap files (".bmp"), the page format of the fax printer export
// and of the received-page conversion.
//
// Reading takes uncompressed bitmaps of 1, 4, 8, 16, 24 and 32 bits, bottom-up
// or top-down, with the 12-byte core header or any of the 40..124-byte info
// headers. Page images read paletted bitmaps whose palette is all gray as
// Gray8 and others as Rgb24; read as stored, a bitmap keeps its depth and
// palette. Writing a page image gives 1 bit (black and white palette), 8 bits
// (gray palette) or 24 bits; an image written as stored keeps its format.
// Writes are atomic. Every malformed or truncated file raises fg::Error 481
// with a description of what is wrong; a missing file 53.
#pragma once

#include "platform/files.h"
#include "platform/image/image.h"

#include <string>
#include <string_view>

namespace fg::image {

struct BmpSize {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
};

enum class BmpDepth { PageImage, AsStored };

Image readBmp(const std::string& path, BmpDepth depth = BmpDepth::PageImage);
Image decodeBmp(std::string_view bytes, BmpDepth depth = BmpDepth::PageImage);
// The size from the header alone, checked as readBmp checks it.
BmpSize readBmpSize(const std::string& path);

// `bitsPerPixel` 1, 8 or 24. For 1 bit a pel is black when its gray value is
// below `threshold`. A work file that the same run removes again is written
// fs::Sync::Passing.
void writeBmp(const std::string& path, const Image& image, int bitsPerPixel, int threshold = 128,
              fs::Sync sync = fs::Sync::Durable);
std::string encodeBmp(const Image& image, int bitsPerPixel, int threshold = 128);
// The file of an image in its own format: Gray8 as 8 bits with a gray
// palette, Rgb32 as 32 bits, a 1-bit mask with a black and white palette.
std::string encodeBmp(const Image& image);
// The same without the 14-byte file header: the info header, the palette and
// the rows bottom-up, as bitmaps are embedded in other data.
std::string encodeDib(const Image& image);

}  // namespace fg::image
