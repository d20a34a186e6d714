// The bitmap services of the kernel library and its image loader: a bitmap
// record that may hold an image of 1, 4, 8, 16, 24 or 32 bits (with its
// palette) and carries two further attributes for its owner, made, copied,
// read and written a row at a time, resampled, turned, painted and loaded
// from a file. Every surface is true colour, so a bitmap's palette is never
// realised on a device.
#pragma once

#include "platform/desktop/raster_dc.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace fg::desktop {

struct Bitmap {
    image::Image image;
    std::uint32_t attributes[2] = {0, 0};  // the owner's, kept unchanged
    [[nodiscard]] bool holdsBitmap() const { return !image.empty(); }
    int bitsPerPixel() const;
    std::size_t bytesPerLine() const { return image.stride(); }
    int colorCount() const;                // palette entries; 0 above 8 bits
};

// A new image of the depth, every pel 0; the palette given, or for 1 to 8
// bits without one a gray ramp. False (and the bitmap empty) for another
// depth or a size the image layer refuses.
[[nodiscard]] bool createBitmap(Bitmap& bitmap, int width, int height, int bitsPerPixel, const image::Palette* palette,
                  std::uint32_t firstAttribute, std::uint32_t secondAttribute);
void freeBitmap(Bitmap& bitmap);
// A copy with its own pels; false when `from` holds none.
[[nodiscard]] bool copyBitmap(Bitmap& to, const Bitmap& from);
// One row of bytesPerLine bytes; false for a row outside the image or a
// count other than bytesPerLine.
[[nodiscard]] bool getBitmapRow(const Bitmap& bitmap, int row, std::uint8_t* bytes, std::size_t count);
[[nodiscard]] bool putBitmapRow(Bitmap& bitmap, int row, const std::uint8_t* bytes, std::size_t count);
// The palette as entries of four bytes: red, green, blue, 0.
std::vector<std::uint8_t> bitmapPaletteEntries(const Bitmap& bitmap);
[[nodiscard]] bool setBitmapPaletteEntries(Bitmap& bitmap, const std::vector<std::uint8_t>& entries);

// `to` gets the image of `from` resampled to width x height in 24-bit
// colour (area averaging). False when `from` holds none or the size is bad.
[[nodiscard]] bool resampleBitmap(const Bitmap& from, Bitmap& to, int width, int height);
// Turns by hundredths of a degree, counter-clockwise for positive angles,
// grown to hold the whole picture, the uncovered corners white.
[[nodiscard]] bool rotateBitmap(Bitmap& bitmap, long hundredths);
// Paints the whole image stretched onto `destination`.
void paintBitmap(DeviceContext& dc, const Bitmap& bitmap, const Rect& destination, std::uint32_t rop = SRCCOPY);
// A context that draws into the bitmap; null when it holds none.
std::unique_ptr<BitmapDC> bitmapDC(Bitmap& bitmap);

// Loads a bitmap or a JPEG file, told apart by their content, as stored
// (a gray JPEG as 8 bits with a gray palette). False, the bitmap unchanged, for
// a missing or unreadable file.
[[nodiscard]] bool loadBitmapFile(const std::string& path, Bitmap& bitmap);

}  // namespace fg::desktop
