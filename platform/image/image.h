// Page images and bitmaps in memory, rows top-down without padding beyond
// the last byte of a row. The fax coding and the page-image controls work on
// 8-bit gray and 24-bit colour; the drawing layers also keep bitmaps of 1, 4
// and 8 bits with a palette, 16 bits (5 bits a colour) and 32 bits. File
// formats live beside this header (bmp.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace fg::image {

// Gray8: one byte a pel. Rgb24: red, green, blue bytes. Indexed1, Indexed4,
// Indexed8: palette indices, the leftmost pel in the highest bits of a byte;
// a 1-bit image without a palette is a monochrome mask (0 black, 1 white).
// Rgb16: a little-endian word a pel, red in bits 14-10, green 9-5, blue 4-0.
// Rgb32: a 32-bit word 0x00RRGGBB a pel in the machine's byte order, the
// layout of drawing surfaces.
enum class PixelFormat { Gray8, Rgb24, Indexed1, Indexed4, Indexed8, Rgb16, Rgb32 };

int bitsPerPixel(PixelFormat format);
[[nodiscard]] bool isIndexed(PixelFormat format);

struct Rgb {
    std::uint8_t r = 255, g = 255, b = 255;
    bool operator==(const Rgb&) const = default;
};
using Palette = std::vector<Rgb>;

class Image {
public:
    // Larger images are refused: a bound keeps a hostile header from making
    // us allocate gigabytes.
    static constexpr int kMaxSide = 32768;
    static constexpr std::size_t kMaxBytes = std::size_t(512) << 20;

    Image() = default;
    // A new image with `fill` in every byte of its pels (255 is white, or
    // the last palette entry), an Rgb32 image with `fill` in each colour.
    // Raises fg::Error 481 for a side outside 1..kMaxSide or too many bytes.
    Image(int width, int height, PixelFormat format, std::uint8_t fill = 255);

    [[nodiscard]] bool empty() const { return width_ == 0 || height_ == 0; }
    int width() const { return width_; }
    int height() const { return height_; }
    PixelFormat format() const { return format_; }
    int bitsPerPixel() const { return image::bitsPerPixel(format_); }
    // Bytes a pel of the formats of whole bytes; 0 for 1 and 4 bits.
    int channels() const { return bitsPerPixel() % 8 == 0 ? bitsPerPixel() / 8 : 0; }
    std::size_t stride() const { return rowBytes(width_, format_); }
    static std::size_t rowBytes(int width, PixelFormat format) {
        return (static_cast<std::size_t>(width) * static_cast<std::size_t>(image::bitsPerPixel(format)) + 7) / 8;
    }

    std::uint8_t* row(int y) { return pixels_.data() + static_cast<std::size_t>(y) * stride(); }
    const std::uint8_t* row(int y) const { return pixels_.data() + static_cast<std::size_t>(y) * stride(); }
    std::vector<std::uint8_t>& pixels() { return pixels_; }
    const std::vector<std::uint8_t>& pixels() const { return pixels_; }

    // The colours of the indices of an indexed image (at most 2 to the power
    // of its bits); empty for the other formats.
    const Palette& palette() const { return palette_; }
    void setPalette(Palette palette);

    // One pel of any format; an index outside the palette reads as black.
    Rgb pixel(int x, int y) const;
    // Stores a colour; an indexed image takes the nearest palette entry.
    void setPixel(int x, int y, Rgb colour);
    // The palette index of a pel of an indexed image.
    unsigned index(int x, int y) const;
    void setIndex(int x, int y, unsigned index);

    // Resolution in pels per metre; 0 when unknown.
    int xPelsPerMeter() const { return xPelsPerMeter_; }
    int yPelsPerMeter() const { return yPelsPerMeter_; }
    void setResolution(int xPelsPerMeter, int yPelsPerMeter) {
        xPelsPerMeter_ = xPelsPerMeter;
        yPelsPerMeter_ = yPelsPerMeter;
    }

    bool operator==(const Image& other) const {
        return width_ == other.width_ && height_ == other.height_ && format_ == other.format_ &&
               pixels_ == other.pixels_ && palette_ == other.palette_;
    }

private:
    int width_ = 0;
    int height_ = 0;
    PixelFormat format_ = PixelFormat::Gray8;
    int xPelsPerMeter_ = 0;
    int yPelsPerMeter_ = 0;
    std::vector<std::uint8_t> pixels_;
    Palette palette_;
};

// Luminance (ITU-R BT.601 weights, rounded) of any image; a gray image is copied.
Image toGray(const Image& image);
// A 24-bit colour image of any image; gray becomes equal channels.
Image toRgb(const Image& image);
// Any image in any format; an indexed target takes `palette` (each pel the
// nearest entry), or, when that is empty, the image's own palette, or, when
// it has none, a gray ramp (black and white for 1 bit).
Image convert(const Image& image, PixelFormat format, Palette palette = {});
// How a resample treats what it averages.
enum class Resample {
    // Each target pel is the mean of the source area it covers.
    Average,
    // As Average, and where the picture is shrunk, the pels on thin strokes
    // (darker than their neighbours across the stroke) are darkened so that
    // a stroke one source pel wide still outlives a later enlargement and a
    // cut at half intensity (a shrunk page that becomes a fax page). The
    // edges of wide strokes, the gaps between strokes and fills stay as
    // averaged, so text keeps its weight.
    KeepStrokes,
};

// Resamples to the given size; the resolution follows the scale. Takes 8-bit
// gray and 24-bit colour. Raises fg::Error 481 for a bad size or another
// format.
Image resize(const Image& image, int width, int height, Resample mode = Resample::Average);

// Fits a picture inside a frame of `width` x `height` pels keeping its
// proportions, centred on white. Proportions are those of what the pels
// show: the picture's pels are as its resolution says (square when it does
// not say), the frame's pels as `xPelsPerMeter` and `yPelsPerMeter` say (the
// picture's shape of pel when 0). The result has the frame's resolution.
// With `turned` the fitted frame is then turned a quarter counter-clockwise
// (a wide page laid on its side): the result is `height` wide and `width`
// high, made in the same pass. `insetX` and `insetY` pels of the frame stay
// white on each side of it (left and right, top and bottom, before the
// turn). Takes 8-bit gray and 24-bit colour. Raises fg::Error 481 for a bad
// frame or another format.
struct Frame {
    int width = 0, height = 0;
    int xPelsPerMeter = 0, yPelsPerMeter = 0;
    bool turned = false;
    int insetX = 0, insetY = 0;
};
Image fitInside(const Image& image, const Frame& frame, Resample mode = Resample::Average);

// Resamples to the given size as resize does (Resample::Average), handing
// each target row in order to `sink` (its index and width * channels
// values, valid during the call) instead of keeping them: for a caller that
// turns rows into something else at once. Raises as resize.
using RowSink = std::function<void(int row, const std::uint8_t* values)>;
void resizeRows(const Image& image, int width, int height, const RowSink& sink);

// Raises fg::Error 481 unless the image is 8-bit gray or 24-bit colour, the
// formats of the page-image operations.
void requireGrayOrRgb(const Image& image);

// The error every image function raises for a picture it cannot take.
[[noreturn]] void invalidPicture(const char* why);

// Lets the process keep the memory of page pictures it frees, for the next
// page, instead of giving it back to the system each time. For programs
// that make pages; called once or more, it sets the process's allocator.
void keepPictureMemory();

}  // namespace fg::image
