// Resampling: each target pel is the mean of the source area it covers,
// computed in two passes of one axis each in fixed point. The pass that
// cannot run along a row (the horizontal one, which gathers) runs on the
// fewer rows, and both passes skip plain white, which is most of a page.
//
// Above a scale of one half (the scales of fax pages) no target pel covers
// more than three source pels along an axis: that case runs on bytes with
// 8-bit weights, which the compiler turns into vector code. Stronger
// reductions take the general path with wider sums.
#include "platform/image/image.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace fg::image {

namespace {

// For each target index along one axis, the source indices it covers and
// their weights, summing to `one`.
struct Axis {
    std::vector<int> first, count, offset;
    std::vector<std::uint32_t> weights;
    bool threeTaps = true;  // no target covers more than three sources
};

Axis contributions(int from, int to, int weightBits) {
    Axis a;
    const std::uint32_t one = 1u << weightBits;
    a.first.resize(static_cast<std::size_t>(to));
    a.count.resize(static_cast<std::size_t>(to));
    a.offset.resize(static_cast<std::size_t>(to));
    // In units of 1/(from*to) every boundary is exact: a source pel spans
    // `to` units, a target pel `from`.
    const long long unit = to;
    for (int t = 0; t < to; ++t) {
        const long long lo = static_cast<long long>(t) * from, hi = lo + from;
        const int s0 = static_cast<int>(lo / unit), s1 = static_cast<int>((hi - 1) / unit);
        const std::size_t tt = static_cast<std::size_t>(t);
        a.first[tt] = s0;
        a.count[tt] = s1 - s0 + 1;
        a.offset[tt] = static_cast<int>(a.weights.size());
        a.threeTaps = a.threeTaps && s1 - s0 < 3;
        std::uint32_t given = 0;
        for (int s = s0; s <= s1; ++s) {
            const long long b0 = std::max(lo, static_cast<long long>(s) * unit);
            const long long b1 = std::min(hi, static_cast<long long>(s + 1) * unit);
            const std::uint32_t w =
                s == s1 ? one - given : static_cast<std::uint32_t>((((b1 - b0) << weightBits) + from / 2) / from);
            given += w;
            a.weights.push_back(w);
        }
    }
    return a;
}

// Three sources and weights per target, the first source and the two after
// it; where a target covers fewer, the missing weights are 0 (and their
// sources kept inside the row).
struct ThreeTaps {
    std::vector<std::int32_t> i0, i1, i2, last;
    std::vector<std::uint16_t> w0, w1, w2;
};

ThreeTaps threeTaps(const Axis& a, int sources) {
    ThreeTaps t;
    for (std::size_t i = 0; i < a.first.size(); ++i) {
        const int n = a.count[i], f = a.first[i];
        const std::uint32_t* w = &a.weights[static_cast<std::size_t>(a.offset[i])];
        t.i0.push_back(f);
        t.i1.push_back(std::min(f + 1, sources - 1));
        t.i2.push_back(std::min(f + 2, sources - 1));
        t.last.push_back(f + n - 1);
        t.w0.push_back(static_cast<std::uint16_t>(w[0]));
        t.w1.push_back(static_cast<std::uint16_t>(n > 1 ? w[1] : 0));
        t.w2.push_back(static_cast<std::uint16_t>(n > 2 ? w[2] : 0));
    }
    return t;
}

bool allWhite(const std::uint8_t* p, std::size_t n) {
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t v;
        std::memcpy(&v, p + i, 8);
        if (v != ~std::uint64_t(0)) return false;
    }
    for (; i < n; ++i)
        if (p[i] != 255) return false;
    return true;
}

// A stroke one source pel wide, shrunk by `scale` (< 1), keeps at least half
// of its darkness in the scale's share of one target pel. The gain brings
// that share to about 85 % of full darkness: dark enough that a later
// enlargement by up to half again and a cut at half intensity keep it.
double strokeGain(double sx, double sy, Resample mode) {
    const double scale = std::min(sx, sy);
    if (mode != Resample::KeepStrokes || scale >= 1.0) return 1.0;
    return std::clamp(1.7 / scale, 1.0, 4.0);
}

// Raises the darkness of the pels that lie on a thin stroke: a pel at least
// as dark as both its neighbours across one axis, and darker than one of
// them. The edges of wide strokes, the gaps between strokes and even fills
// are no such ridge and stay as averaged, so text does not run together.
void keepStrokes(std::uint8_t* pels, std::size_t stride, int width, int height, int channels, double gain) {
    if (gain == 1.0) return;
    std::uint8_t raised[256];
    for (int v = 0; v < 256; ++v)
        raised[v] = static_cast<std::uint8_t>(255 - static_cast<int>(std::min(255.0, std::round((255 - v) * gain))));
    const std::size_t n = static_cast<std::size_t>(width) * channels;
    const int ch = channels;
    std::vector<std::uint8_t> above(n, 255), here(pels, pels + n), below(n, 255);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = pels + static_cast<std::size_t>(y) * stride;
        if (y + 1 < height) std::memcpy(below.data(), row + stride, n);
        else std::fill(below.begin(), below.end(), 255);
        if (!allWhite(here.data(), n)) {
            for (std::size_t i = 0; i < n; ++i) {
                const int v = here[i];
                if (v == 255) continue;
                const int l = i >= static_cast<std::size_t>(ch) ? here[i - ch] : 255;
                const int r = i + ch < n ? here[i + ch] : 255;
                const int u = above[i], d = below[i];
                // Lighter is larger: a ridge of darkness is a valley of values.
                const bool across = v <= std::min(l, r) && v < std::max(l, r);
                const bool down = v <= std::min(u, d) && v < std::max(u, d);
                if (across || down) row[i] = raised[v];
            }
        }
        std::swap(above, here);
        std::swap(here, below);
    }
}

// The rows of `src` that are plain white.
std::vector<char> whiteRows(const Image& src) {
    std::vector<char> white(static_cast<std::size_t>(src.height()));
    for (int y = 0; y < src.height(); ++y) white[static_cast<std::size_t>(y)] = allWhite(src.row(y), src.stride());
    return white;
}

// ---- Scales above one half: bytes and 8-bit weights -------------------------

constexpr int kNarrowBits = 8;

void verticalNarrow(const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, std::uint16_t wa,
                    std::uint16_t wb, std::uint16_t wc, std::size_t n, std::uint8_t* out) {
    for (std::size_t x = 0; x < n; ++x)
        out[x] = static_cast<std::uint8_t>((a[x] * wa + b[x] * wb + c[x] * wc + 128) >> kNarrowBits);
}

// One row: target pel x from the source pels its taps name. Blocks of
// targets whose sources are all white are filled without arithmetic.
void horizontalNarrow(const std::uint8_t* src, const ThreeTaps& t, int width, int ch, std::uint8_t* out) {
    constexpr int kBlock = 16;
    for (int x0 = 0; x0 < width; x0 += kBlock) {
        const int x1 = std::min(width, x0 + kBlock);
        const std::size_t from = static_cast<std::size_t>(t.i0[static_cast<std::size_t>(x0)]) * ch;
        const std::size_t to = static_cast<std::size_t>(t.last[static_cast<std::size_t>(x1 - 1)] + 1) * ch;
        std::uint8_t* o = out + static_cast<std::size_t>(x0) * ch;
        if (allWhite(src + from, to - from)) {
            std::memset(o, 255, static_cast<std::size_t>(x1 - x0) * ch);
            continue;
        }
        for (int x = x0; x < x1; ++x) {
            const std::size_t xx = static_cast<std::size_t>(x);
            const std::uint8_t* a = src + static_cast<std::size_t>(t.i0[xx]) * ch;
            const std::uint8_t* b = src + static_cast<std::size_t>(t.i1[xx]) * ch;
            const std::uint8_t* c = src + static_cast<std::size_t>(t.i2[xx]) * ch;
            const unsigned wa = t.w0[xx], wb = t.w1[xx], wc = t.w2[xx];
            for (int k = 0; k < ch; ++k)
                *o++ = static_cast<std::uint8_t>((a[k] * wa + b[k] * wb + c[k] * wc + 128) >> kNarrowBits);
        }
    }
}

void resampleNarrow(const Image& src, const Axis& ax, const Axis& ay, int tw, int th, std::uint8_t* dst,
                    std::size_t dstStride) {
    const int ch = src.channels();
    const ThreeTaps tx = threeTaps(ax, src.width()), ty = threeTaps(ay, src.height());
    const std::vector<char> white = whiteRows(src);
    const std::size_t outBytes = static_cast<std::size_t>(tw) * ch;
    auto allRowsWhite = [&](std::size_t t) {
        for (int y = ty.i0[t]; y <= ty.last[t]; ++y)
            if (!white[static_cast<std::size_t>(y)]) return false;
        return true;
    };
    if (th <= src.height()) {
        // Fewer rows after: vertical first, then gather on the fewer rows.
        std::vector<std::uint8_t> row(src.stride());
        for (int t = 0; t < th; ++t) {
            const std::size_t tt = static_cast<std::size_t>(t);
            std::uint8_t* out = dst + tt * dstStride;
            if (allRowsWhite(tt)) {
                std::memset(out, 255, outBytes);
                continue;
            }
            verticalNarrow(src.row(ty.i0[tt]), src.row(ty.i1[tt]), src.row(ty.i2[tt]), ty.w0[tt], ty.w1[tt], ty.w2[tt],
                           src.stride(), row.data());
            horizontalNarrow(row.data(), tx, tw, ch, out);
        }
        return;
    }
    // More rows after: gather on the source rows first.
    std::vector<std::uint8_t> narrow(outBytes * static_cast<std::size_t>(src.height()));
    auto narrowRow = [&](int y) { return narrow.data() + outBytes * static_cast<std::size_t>(y); };
    for (int y = 0; y < src.height(); ++y) {
        if (white[static_cast<std::size_t>(y)]) std::memset(narrowRow(y), 255, outBytes);
        else horizontalNarrow(src.row(y), tx, tw, ch, narrowRow(y));
    }
    for (int t = 0; t < th; ++t) {
        const std::size_t tt = static_cast<std::size_t>(t);
        std::uint8_t* out = dst + tt * dstStride;
        if (allRowsWhite(tt)) {
            std::memset(out, 255, outBytes);
            continue;
        }
        verticalNarrow(narrowRow(ty.i0[tt]), narrowRow(ty.i1[tt]), narrowRow(ty.i2[tt]), ty.w0[tt], ty.w1[tt],
                       ty.w2[tt], outBytes, out);
    }
}

// ---- Any scale: 14-bit weights, sums in 32 bits ------------------------------

constexpr int kWideBits = 14;

// Vertical, then horizontal on each target row: an intermediate value is
// the pel value * 256.
void resampleWide(const Image& src, const Axis& ax, const Axis& ay, int tw, int th, std::uint8_t* dst,
                  std::size_t dstStride) {
    const int ch = src.channels();
    const std::size_t n = src.stride();
    std::vector<std::uint32_t> acc(n);
    std::vector<std::uint16_t> row(n);
    for (int t = 0; t < th; ++t) {
        const std::size_t tt = static_cast<std::size_t>(t);
        std::fill(acc.begin(), acc.end(), 0u);
        const std::uint32_t* w = &ay.weights[static_cast<std::size_t>(ay.offset[tt])];
        for (int i = 0; i < ay.count[tt]; ++i) {
            const std::uint8_t* s = src.row(ay.first[tt] + i);
            for (std::size_t x = 0; x < n; ++x) acc[x] += s[x] * w[i];
        }
        for (std::size_t x = 0; x < n; ++x) row[x] = static_cast<std::uint16_t>((acc[x] + 32) >> 6);
        std::uint8_t* out = dst + tt * dstStride;
        for (int x = 0; x < tw; ++x) {
            const std::size_t xx = static_cast<std::size_t>(x);
            const std::uint32_t* wx = &ax.weights[static_cast<std::size_t>(ax.offset[xx])];
            for (int k = 0; k < ch; ++k) {
                std::uint32_t sum = 0;
                for (int i = 0; i < ax.count[xx]; ++i)
                    sum += row[static_cast<std::size_t>(ax.first[xx] + i) * ch + k] * wx[i];
                out[xx * ch + k] = static_cast<std::uint8_t>((sum + (1u << 21)) >> 22);
            }
        }
    }
}

// Resamples `src` to tw x th pels written at `dst` (rows `dstStride` apart).
void resampleInto(const Image& src, int tw, int th, std::uint8_t* dst, std::size_t dstStride, Resample mode) {
    Axis ax = contributions(src.width(), tw, kNarrowBits), ay = contributions(src.height(), th, kNarrowBits);
    if (ax.threeTaps && ay.threeTaps) {
        resampleNarrow(src, ax, ay, tw, th, dst, dstStride);
    } else {
        ax = contributions(src.width(), tw, kWideBits);
        ay = contributions(src.height(), th, kWideBits);
        resampleWide(src, ax, ay, tw, th, dst, dstStride);
    }
    keepStrokes(dst, dstStride, tw, th, src.channels(),
                strokeGain(static_cast<double>(tw) / src.width(), static_cast<double>(th) / src.height(), mode));
}

int scaledResolution(int pelsPerMeter, int to, int from) {
    return pelsPerMeter > 0 ? static_cast<int>(std::lround(static_cast<double>(pelsPerMeter) * to / from)) : 0;
}

}  // namespace

Image resize(const Image& image, int width, int height, Resample mode) {
    if (image.empty()) invalidPicture("empty image");
    requireGrayOrRgb(image);
    Image out(width, height, image.format());
    if (width == image.width() && height == image.height()) return image;
    out.setResolution(scaledResolution(image.xPelsPerMeter(), width, image.width()),
                      scaledResolution(image.yPelsPerMeter(), height, image.height()));
    resampleInto(image, width, height, out.pixels().data(), out.stride(), mode);
    return out;
}

Image fitInside(const Image& image, const Frame& frame, Resample mode) {
    if (image.empty()) invalidPicture("empty image");
    requireGrayOrRgb(image);
    Image out(frame.width, frame.height, image.format());
    // Pel sizes, in metres when known; only their ratios matter.
    const bool known = image.xPelsPerMeter() > 0 && image.yPelsPerMeter() > 0;
    const double sx = known ? 1.0 / image.xPelsPerMeter() : 1.0, sy = known ? 1.0 / image.yPelsPerMeter() : 1.0;
    const bool framed = frame.xPelsPerMeter > 0 && frame.yPelsPerMeter > 0;
    const double px = framed ? 1.0 / frame.xPelsPerMeter : sx, py = framed ? 1.0 / frame.yPelsPerMeter : sy;
    const double w = image.width() * sx, h = image.height() * sy;
    const double scale = std::min(frame.width * px / w, frame.height * py / h);
    const int cw = std::clamp(static_cast<int>(std::lround(w * scale / px)), 1, frame.width);
    const int ch = std::clamp(static_cast<int>(std::lround(h * scale / py)), 1, frame.height);
    if (framed) out.setResolution(frame.xPelsPerMeter, frame.yPelsPerMeter);
    else out.setResolution(scaledResolution(image.xPelsPerMeter(), cw, image.width()),
                           scaledResolution(image.yPelsPerMeter(), ch, image.height()));
    const std::size_t left = static_cast<std::size_t>((frame.width - cw) / 2) * image.channels();
    resampleInto(image, cw, ch, out.row((frame.height - ch) / 2) + left, out.stride(), mode);
    return out;
}

}  // namespace fg::image
