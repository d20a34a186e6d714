#include "platform/image/image.h"

#include "platform/error.h"

#include <string>

namespace fg::image {

namespace {
constexpr long kInvalidPicture = 481;
}

void invalidPicture(const char* why) {
    throw Error(kInvalidPicture, std::string("ピクチャが不正です。(") + why + ")", "image");
}

Image::Image(int width, int height, PixelFormat format, std::uint8_t fill) : format_(format) {
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) invalidPicture("image size out of range");
    std::size_t bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
                        static_cast<std::size_t>(format == PixelFormat::Gray8 ? 1 : 3);
    if (bytes > kMaxBytes) invalidPicture("image too large");
    width_ = width;
    height_ = height;
    pixels_.assign(bytes, fill);
}

Image toGray(const Image& image) {
    if (image.format() == PixelFormat::Gray8 || image.empty()) return image;
    Image out(image.width(), image.height(), PixelFormat::Gray8);
    out.setResolution(image.xPelsPerMeter(), image.yPelsPerMeter());
    for (int y = 0; y < image.height(); ++y) {
        const std::uint8_t* s = image.row(y);
        std::uint8_t* d = out.row(y);
        for (int x = 0; x < image.width(); ++x, s += 3)
            d[x] = static_cast<std::uint8_t>((299u * s[0] + 587u * s[1] + 114u * s[2] + 500u) / 1000u);
    }
    return out;
}

Image toRgb(const Image& image) {
    if (image.format() == PixelFormat::Rgb24 || image.empty()) return image;
    Image out(image.width(), image.height(), PixelFormat::Rgb24);
    out.setResolution(image.xPelsPerMeter(), image.yPelsPerMeter());
    for (int y = 0; y < image.height(); ++y) {
        const std::uint8_t* s = image.row(y);
        std::uint8_t* d = out.row(y);
        for (int x = 0; x < image.width(); ++x, d += 3) d[0] = d[1] = d[2] = s[x];
    }
    return out;
}

namespace {

// For each target index, the source indices it covers and their weights in
// 1/65536, summing to 65536.
struct Contribution {
    int first = 0;
    std::vector<std::uint32_t> weights;
};

std::vector<Contribution> contributions(int from, int to) {
    std::vector<Contribution> out(static_cast<std::size_t>(to));
    // Work in units of 1/(from*to) so that every boundary is exact.
    const long long unit = static_cast<long long>(to);  // one source pel spans `to` units
    for (int t = 0; t < to; ++t) {
        long long lo = static_cast<long long>(t) * from;  // target pel spans `from` units
        long long hi = lo + from;
        int s0 = static_cast<int>(lo / unit);
        int s1 = static_cast<int>((hi - 1) / unit);
        Contribution& c = out[static_cast<std::size_t>(t)];
        c.first = s0;
        std::uint32_t given = 0;
        for (int s = s0; s <= s1; ++s) {
            long long a = std::max(lo, static_cast<long long>(s) * unit);
            long long b = std::min(hi, static_cast<long long>(s + 1) * unit);
            std::uint32_t w = s == s1 ? 65536u - given
                                      : static_cast<std::uint32_t>(((b - a) * 65536) / from);
            given += w;
            c.weights.push_back(w);
        }
    }
    return out;
}

}  // namespace

Image resize(const Image& image, int width, int height) {
    if (image.empty()) invalidPicture("empty image");
    Image out(width, height, image.format());
    out.setResolution(0, 0);
    if (width == image.width() && height == image.height()) return image;
    const int ch = image.channels();
    auto cx = contributions(image.width(), width);
    auto cy = contributions(image.height(), height);

    // Horizontal pass into 16.16 fixed point rows, then vertical.
    std::vector<std::uint32_t> horiz(static_cast<std::size_t>(image.height()) * static_cast<std::size_t>(width) *
                                     static_cast<std::size_t>(ch));
    for (int y = 0; y < image.height(); ++y) {
        const std::uint8_t* s = image.row(y);
        std::uint32_t* d = horiz.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width * ch);
        for (int x = 0; x < width; ++x) {
            const Contribution& c = cx[static_cast<std::size_t>(x)];
            for (int k = 0; k < ch; ++k) {
                std::uint64_t acc = 0;
                for (std::size_t i = 0; i < c.weights.size(); ++i)
                    acc += static_cast<std::uint64_t>(s[(c.first + static_cast<int>(i)) * ch + k]) * c.weights[i];
                d[x * ch + k] = static_cast<std::uint32_t>(acc >> 8);  // value * 256
            }
        }
    }
    const std::size_t hstride = static_cast<std::size_t>(width * ch);
    for (int y = 0; y < height; ++y) {
        const Contribution& c = cy[static_cast<std::size_t>(y)];
        std::uint8_t* d = out.row(y);
        for (std::size_t x = 0; x < hstride; ++x) {
            std::uint64_t acc = 0;
            for (std::size_t i = 0; i < c.weights.size(); ++i)
                acc += static_cast<std::uint64_t>(horiz[(static_cast<std::size_t>(c.first) + i) * hstride + x]) *
                       c.weights[i];
            // acc is value * 256 * 65536; round to the nearest value.
            d[x] = static_cast<std::uint8_t>((acc + (std::uint64_t(1) << 23)) >> 24);
        }
    }
    return out;
}

}  // namespace fg::image
