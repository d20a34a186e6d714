// Windows bitmap files (".bmp"), the page format of the fax printer export
// and of the received-page conversion.
//
// Reading takes uncompressed bitmaps of 1, 4, 8, 24 and 32 bits, bottom-up or
// top-down, with the 12-byte core header or any of the 40..124-byte info
// headers. Paletted bitmaps whose palette is all gray read as Gray8, others as
// Rgb24. Writing gives 1 bit (black and white palette), 8 bits (gray palette)
// or 24 bits. Writes are atomic. Every malformed or truncated file raises
// fg::Error 481 with a description of what is wrong; a missing file 53.
#pragma once

#include "platform/image/image.h"

#include <string>
#include <string_view>

namespace fg::image {

struct BmpSize {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
};

Image readBmp(const std::string& path);
Image decodeBmp(std::string_view bytes);
// The size from the header alone, checked as readBmp checks it.
BmpSize readBmpSize(const std::string& path);

// `bitsPerPixel` 1, 8 or 24. For 1 bit a pel is black when its gray value is
// below `threshold`.
void writeBmp(const std::string& path, const Image& image, int bitsPerPixel, int threshold = 128);
std::string encodeBmp(const Image& image, int bitsPerPixel, int threshold = 128);

}  // namespace fg::image
