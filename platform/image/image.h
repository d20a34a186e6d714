// Page images in memory: 8-bit gray or 24-bit colour, rows top-down without
// padding. The fax coding and the page-image controls work on these; file
// formats live beside this header (bmp.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fg::image {

enum class PixelFormat { Gray8, Rgb24 };

class Image {
public:
    // Larger images are refused: a bound keeps a hostile header from making
    // us allocate gigabytes.
    static constexpr int kMaxSide = 32768;
    static constexpr std::size_t kMaxBytes = std::size_t(512) << 20;

    Image() = default;
    // A new image filled with `fill` in every channel (255 is white).
    // Raises fg::Error 481 for a side outside 1..kMaxSide or too many bytes.
    Image(int width, int height, PixelFormat format, std::uint8_t fill = 255);

    bool empty() const { return width_ == 0 || height_ == 0; }
    int width() const { return width_; }
    int height() const { return height_; }
    PixelFormat format() const { return format_; }
    int channels() const { return format_ == PixelFormat::Gray8 ? 1 : 3; }
    std::size_t stride() const { return static_cast<std::size_t>(width_) * static_cast<std::size_t>(channels()); }

    std::uint8_t* row(int y) { return pixels_.data() + static_cast<std::size_t>(y) * stride(); }
    const std::uint8_t* row(int y) const { return pixels_.data() + static_cast<std::size_t>(y) * stride(); }
    std::vector<std::uint8_t>& pixels() { return pixels_; }
    const std::vector<std::uint8_t>& pixels() const { return pixels_; }

    // Resolution in pels per metre; 0 when unknown.
    int xPelsPerMeter() const { return xPelsPerMeter_; }
    int yPelsPerMeter() const { return yPelsPerMeter_; }
    void setResolution(int xPelsPerMeter, int yPelsPerMeter) {
        xPelsPerMeter_ = xPelsPerMeter;
        yPelsPerMeter_ = yPelsPerMeter;
    }

    bool operator==(const Image& other) const {
        return width_ == other.width_ && height_ == other.height_ && format_ == other.format_ &&
               pixels_ == other.pixels_;
    }

private:
    int width_ = 0;
    int height_ = 0;
    PixelFormat format_ = PixelFormat::Gray8;
    int xPelsPerMeter_ = 0;
    int yPelsPerMeter_ = 0;
    std::vector<std::uint8_t> pixels_;
};

// Luminance (ITU-R BT.601 weights, rounded) of a colour image; a gray image is copied.
Image toGray(const Image& image);
// A colour image; gray becomes equal channels.
Image toRgb(const Image& image);
// Area-averaging resample to the given size (each target pel is the mean of
// the source area it covers), so that thin strokes fade to gray instead of
// vanishing when a page is shrunk. Raises fg::Error 481 for a bad size.
Image resize(const Image& image, int width, int height);

// The error every image function raises for a picture it cannot take.
[[noreturn]] void invalidPicture(const char* why);

}  // namespace fg::image
