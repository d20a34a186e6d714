#include "platform/imaging/rotate.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace fg::image {

namespace {

// Exact quarter turns counter-clockwise: 1, 2 or 3 of them. Pels are moved
// in tiles, so that the rows read and the columns written both stay in the
// cache.
Image quarterTurns(const Image& src, int turns) {
    const int w = src.width(), h = src.height(), ch = src.channels();
    const bool swap = turns % 2 == 1;
    Image out(swap ? h : w, swap ? w : h, src.format());
    out.setResolution(swap ? src.yPelsPerMeter() : src.xPelsPerMeter(),
                      swap ? src.xPelsPerMeter() : src.yPelsPerMeter());
    const std::size_t outStride = out.stride();
    std::uint8_t* base = out.pixels().data();
    // Where pel (x, y) goes, as a step per x and a start per y.
    std::ptrdiff_t stepX, stepY, origin;
    switch (turns) {
    case 1:  // top edge to the left: (x, y) -> (y, w - 1 - x)
        origin = static_cast<std::ptrdiff_t>(w - 1) * outStride, stepX = -static_cast<std::ptrdiff_t>(outStride),
        stepY = ch;
        break;
    case 2:  // (x, y) -> (w - 1 - x, h - 1 - y)
        origin = static_cast<std::ptrdiff_t>(h - 1) * outStride + (w - 1) * ch, stepX = -ch,
        stepY = -static_cast<std::ptrdiff_t>(outStride);
        break;
    default:  // top edge to the right: (x, y) -> (h - 1 - y, x)
        origin = (h - 1) * ch, stepX = static_cast<std::ptrdiff_t>(outStride), stepY = -ch;
        break;
    }
    constexpr int kTile = 64;
    for (int y0 = 0; y0 < h; y0 += kTile) {
        for (int x0 = 0; x0 < w; x0 += kTile) {
            const int x1 = std::min(w, x0 + kTile);
            for (int y = y0; y < std::min(h, y0 + kTile); ++y) {
                const std::uint8_t* s = src.row(y) + static_cast<std::ptrdiff_t>(x0) * ch;
                std::uint8_t* d = base + origin + y * stepY + x0 * stepX;
                if (ch == 1) {
                    for (int x = x0; x < x1; ++x, d += stepX) *d = *s++;
                } else {
                    for (int x = x0; x < x1; ++x, d += stepX, s += ch) std::memcpy(d, s, static_cast<std::size_t>(ch));
                }
            }
        }
    }
    return out;
}

}  // namespace

Image rotate(const Image& image, long hundredths, bool expand, Rgb fill) {
    if (image.empty()) invalidPicture("empty image");
    requireGrayOrRgb(image);
    long a = hundredths % 36000;
    if (a < 0) a += 36000;
    if (a == 0) return image;
    if (a % 9000 == 0) {
        Image turned = quarterTurns(image, static_cast<int>(a / 9000));
        if (expand || a == 18000) return turned;
        // Kept to the old size: the turned picture centred, the rest filled.
        Image out(image.width(), image.height(), image.format());
        out.setResolution(image.xPelsPerMeter(), image.yPelsPerMeter());
        const int ch = image.channels();
        const std::uint8_t f[3] = {fill.r, fill.g, fill.b};
        const std::uint8_t gray = static_cast<std::uint8_t>((299u * fill.r + 587u * fill.g + 114u * fill.b + 500u) / 1000u);
        for (int y = 0; y < out.height(); ++y)
            for (int x = 0; x < out.width(); ++x)
                for (int k = 0; k < ch; ++k) out.row(y)[x * ch + k] = ch == 1 ? gray : f[k];
        const int ox = (out.width() - turned.width()) / 2, oy = (out.height() - turned.height()) / 2;
        for (int y = 0; y < turned.height(); ++y) {
            const int ty = y + oy;
            if (ty < 0 || ty >= out.height()) continue;
            for (int x = 0; x < turned.width(); ++x) {
                const int tx = x + ox;
                if (tx < 0 || tx >= out.width()) continue;
                for (int k = 0; k < ch; ++k) out.row(ty)[tx * ch + k] = turned.row(y)[x * ch + k];
            }
        }
        return out;
    }

    const double rad = static_cast<double>(a) / 100.0 * M_PI / 180.0;
    const double c = std::cos(rad), s = std::sin(rad);
    const int w = image.width(), h = image.height(), ch = image.channels();
    int ow = w, oh = h;
    if (expand) {
        ow = static_cast<int>(std::ceil(std::abs(w * c) + std::abs(h * s) - 1e-9));
        oh = static_cast<int>(std::ceil(std::abs(w * s) + std::abs(h * c) - 1e-9));
    }
    Image out(std::max(ow, 1), std::max(oh, 1), image.format());
    out.setResolution(image.xPelsPerMeter(), image.yPelsPerMeter());
    const double f[3] = {static_cast<double>(fill.r), static_cast<double>(fill.g), static_cast<double>(fill.b)};
    const double fillGray = (299.0 * fill.r + 587.0 * fill.g + 114.0 * fill.b) / 1000.0;
    const double cx = (w - 1) / 2.0, cy = (h - 1) / 2.0, ocx = (out.width() - 1) / 2.0, ocy = (out.height() - 1) / 2.0;
    auto at = [&](int x, int y, int k) -> double {
        if (x < 0 || y < 0 || x >= w || y >= h) return ch == 1 ? fillGray : f[k];
        return image.row(y)[x * ch + k];
    };
    for (int y = 0; y < out.height(); ++y) {
        std::uint8_t* d = out.row(y);
        for (int x = 0; x < out.width(); ++x) {
            // Counter-clockwise on the page (y grows downwards): the source
            // of a target pel is found by turning it back clockwise.
            const double dx = x - ocx, dy = y - ocy;
            const double sx = cx + dx * c - dy * s;
            const double sy = cy + dx * s + dy * c;
            const int x0 = static_cast<int>(std::floor(sx)), y0 = static_cast<int>(std::floor(sy));
            const double fx = sx - x0, fy = sy - y0;
            for (int k = 0; k < ch; ++k) {
                const double v = at(x0, y0, k) * (1 - fx) * (1 - fy) + at(x0 + 1, y0, k) * fx * (1 - fy) +
                                 at(x0, y0 + 1, k) * (1 - fx) * fy + at(x0 + 1, y0 + 1, k) * fx * fy;
                d[x * ch + k] = static_cast<std::uint8_t>(std::clamp(v + 0.5, 0.0, 255.0));
            }
        }
    }
    return out;
}

}  // namespace fg::image
