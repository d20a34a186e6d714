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

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace fg::image {

namespace {

// The loops that carry the passes, built twice: for the processors of the
// last decade, whose vectors are twice as wide, and for any x86-64.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define FG_WIDE_VECTORS __attribute__((target_clones("avx2", "default")))
#else
#define FG_WIDE_VECTORS
#endif

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
    bool twoEnough = true;  // no third weight (an enlargement)
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
        t.twoEnough = t.twoEnough && n <= 2;
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

// One row of keepStrokes: `here` with its left and right neighbours, the
// rows above and below, the result to `out`.
FG_WIDE_VECTORS void strokeRow(const std::uint8_t* __restrict left, const std::uint8_t* __restrict here,
               const std::uint8_t* __restrict right, const std::uint8_t* __restrict above,
               const std::uint8_t* __restrict below, std::uint8_t* __restrict out, std::size_t n, unsigned gain16) {
    const std::uint16_t g = static_cast<std::uint16_t>(gain16);
    for (std::size_t i = 0; i < n; ++i) {
        // In 16 bits and without branches, so that it runs as vector code.
        const std::uint16_t v = here[i], l = left[i], r = right[i], u = above[i], d = below[i];
        const std::uint16_t lo1 = l < r ? l : r, hi1 = l < r ? r : l, lo2 = u < d ? u : d, hi2 = u < d ? d : u;
        // Lighter is larger: a ridge of darkness is a valley of values.
        const std::uint16_t ridge = static_cast<std::uint16_t>(((v <= lo1) & (v < hi1)) | ((v <= lo2) & (v < hi2)));
        std::uint16_t raised = static_cast<std::uint16_t>(((255 - v) * g) >> 4);
        raised = raised < 255 ? raised : 255;
        // The raised value is never lighter: v - ridge * (v - (255 - raised)).
        out[i] = static_cast<std::uint8_t>(v - ridge * (v - (255 - raised)));
    }
}

// Raises the darkness of the pels that lie on a thin stroke: a pel at least
// as dark as both its neighbours across one axis, and darker than one of
// them. The edges of wide strokes, the gaps between strokes and even fills
// are no such ridge and stay as averaged, so text does not run together.
// Written without branches over whole rows, so that it runs as vector code.
void keepStrokes(std::uint8_t* pels, std::size_t stride, int width, int height, int channels, double gain) {
    if (gain == 1.0) return;
    // The gain in sixteenths: darkness * gain stays within 16 bits.
    const std::uint16_t g = static_cast<std::uint16_t>(std::lround(gain * 16));
    const std::size_t n = static_cast<std::size_t>(width) * channels, ch = static_cast<std::size_t>(channels);
    // Rows with a white pel before and after, for the neighbours at the edges.
    std::vector<std::uint8_t> above(n + 2 * ch, 255), here(n + 2 * ch, 255), below(n + 2 * ch, 255);
    std::memcpy(here.data() + ch, pels, n);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = pels + static_cast<std::size_t>(y) * stride;
        if (y + 1 < height) std::memcpy(below.data() + ch, row + stride, n);
        else std::fill(below.begin(), below.end(), 255);
        // White pels stay white: only the stretches with something on them
        // are looked at.
        constexpr std::size_t kStretch = 64;
        const std::uint8_t* h = here.data();
        const std::uint8_t* a = above.data() + ch;
        const std::uint8_t* b = below.data() + ch;
        for (std::size_t i = 0; i < n; i += kStretch) {
            const std::size_t m = std::min(kStretch, n - i);
            if (!allWhite(h + ch + i, m)) strokeRow(h + i, h + ch + i, h + 2 * ch + i, a + i, b + i, row + i, m, g);
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

// Room for a pass's intermediate rows, kept by each thread from one call to
// the next: a page's intermediate rows take megabytes, and memory fresh from
// the system costs more to touch for the first time than the passes take to
// fill it. Holds at most the largest page resampled on the thread.
std::uint8_t* workspace(std::size_t bytes) {
    thread_local std::vector<std::uint8_t> space;
    if (space.size() < bytes) space.resize(bytes);
    return space.data();
}

// ---- Scales above one half: bytes and 8-bit weights -------------------------

constexpr int kNarrowBits = 8;

// Three rows weighted into one. Inlined where the rows are short (a block
// of turned rows), where a call would cost more than the loop.
inline void blendRows(const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, std::uint16_t wa,
                      std::uint16_t wb, std::uint16_t wc, std::size_t n, std::uint8_t* out) {
    for (std::size_t x = 0; x < n; ++x)
        out[x] = static_cast<std::uint8_t>((a[x] * wa + b[x] * wb + c[x] * wc + 128) >> kNarrowBits);
}

// The same over whole rows and columns of a page.
FG_WIDE_VECTORS void verticalNarrow(const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c,
                                    std::uint16_t wa, std::uint16_t wb, std::uint16_t wc, std::size_t n,
                                    std::uint8_t* out) {
    blendRows(a, b, c, wa, wb, wc, n, out);
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
        if (t.twoEnough && ch == 1) {
            for (int x = x0; x < x1; ++x) {
                const std::size_t xx = static_cast<std::size_t>(x);
                *o++ = static_cast<std::uint8_t>((src[t.i0[xx]] * t.w0[xx] + src[t.i1[xx]] * t.w1[xx] + 128) >>
                                                 kNarrowBits);
            }
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

#if defined(__SSE2__)
// Sixteen rows of sixteen bytes at `s` (rows `sStride` apart) to sixteen
// rows at `d` (rows `dStride` apart, upwards when negative): byte x of row
// r goes to row x, place r. Four rounds of interleaving in registers.
void transpose16(const std::uint8_t* s, std::size_t sStride, std::uint8_t* d, std::ptrdiff_t dStride) {
    __m128i a[16], b[16];
    for (int r = 0; r < 16; ++r)
        a[r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + static_cast<std::size_t>(r) * sStride));
    for (int i = 0; i < 8; ++i) {
        b[2 * i] = _mm_unpacklo_epi8(a[2 * i], a[2 * i + 1]);
        b[2 * i + 1] = _mm_unpackhi_epi8(a[2 * i], a[2 * i + 1]);
    }
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 2; ++j) {
            a[4 * i + j] = _mm_unpacklo_epi16(b[4 * i + j], b[4 * i + j + 2]);
            a[4 * i + j + 2] = _mm_unpackhi_epi16(b[4 * i + j], b[4 * i + j + 2]);
        }
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 4; ++j) {
            b[8 * i + j] = _mm_unpacklo_epi32(a[8 * i + j], a[8 * i + j + 4]);
            b[8 * i + j + 4] = _mm_unpackhi_epi32(a[8 * i + j], a[8 * i + j + 4]);
        }
    for (int j = 0; j < 8; ++j) {
        a[j] = _mm_unpacklo_epi64(b[j], b[j + 8]);
        a[j + 8] = _mm_unpackhi_epi64(b[j], b[j + 8]);
    }
    // a[k] now holds column kColumn[k] of the block.
    static constexpr int kColumn[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
    for (int k = 0; k < 16; ++k) _mm_storeu_si128(reinterpret_cast<__m128i*>(d + kColumn[k] * dStride), a[k]);
}
#endif

// Bytes of `rows` rows of `columns` at `s` (rows `sStride` apart) to
// `columns` rows of `rows` at `d` (rows `dStride` apart, upwards when
// negative): byte c of row r goes to row c, place r.
void transposeBytes(const std::uint8_t* s, std::size_t sStride, int rows, int columns, std::uint8_t* d,
                    std::ptrdiff_t dStride) {
    int r0 = 0;
#if defined(__SSE2__)
    for (; r0 + 16 <= rows; r0 += 16) {
        int c0 = 0;
        for (; c0 + 16 <= columns; c0 += 16)
            transpose16(s + static_cast<std::size_t>(r0) * sStride + static_cast<std::size_t>(c0), sStride,
                        d + c0 * dStride + r0, dStride);
        for (int c = c0; c < columns; ++c)
            for (int r = r0; r < r0 + 16; ++r) d[c * dStride + r] = s[static_cast<std::size_t>(r) * sStride + c];
    }
#endif
    for (int c = 0; c < columns; ++c)
        for (int r = r0; r < rows; ++r) d[c * dStride + r] = s[static_cast<std::size_t>(r) * sStride + c];
}

// Where target rows go: in place in a picture, or through scratch rows to
// columns of a turned picture, or to a caller.
class Rows {
public:
    // Row t at base + t * stride.
    Rows(std::uint8_t* base, std::size_t stride) : base_(base), stride_(stride) {}
    // Row t of `count` rows of content at (left, top) of a frame
    // `frameWidth` wide, turned a quarter counter-clockwise into `turned`:
    // it becomes column top + t, read upwards from row frameWidth - 1 - left.
    // Rows are gathered in blocks, so that each row of the turned picture
    // is written a block's width at a time.
    Rows(Image& turned, int left, int top, int frameWidth, std::size_t rowBytes, int count)
        : turned_(&turned), left_(left), top_(top), frameWidth_(frameWidth), count_(count), rowBytes_(rowBytes),
          scratch_(rowBytes * kBlock) {}
    // Row t handed to `sink`.
    Rows(const RowSink& sink, std::size_t rowBytes) : sink_(&sink), rowBytes_(rowBytes), scratch_(rowBytes) {}

    // Gray content written in place, straight or turned: it can take whole
    // columns, in blocks of kBlock.
    bool takesColumns(int channels) const { return channels == 1 && (base_ || turned_); }
    // Columns x0.. (as many as `count`, each `length` long, `length` apart at
    // `s`) into their place.
    void columns(int x0, int count, const std::uint8_t* s, int length) {
        if (turned_) {
            // Column x of the content is row frameWidth - 1 - left - x of the
            // turned picture, from column `top` on.
            for (int x = x0; x < x0 + count; ++x)
                std::memcpy(turned_->row(frameWidth_ - 1 - left_ - x) + top_,
                            s + static_cast<std::size_t>(x - x0) * static_cast<std::size_t>(length),
                            static_cast<std::size_t>(length));
            return;
        }
        transposeBytes(s, static_cast<std::size_t>(length), count, length, base_ + x0,
                       static_cast<std::ptrdiff_t>(stride_));
    }

    std::uint8_t* row(int t) {
        if (base_) return base_ + static_cast<std::size_t>(t) * stride_;
        return turned_ ? scratch_.data() + static_cast<std::size_t>(t % kBlock) * rowBytes_ : scratch_.data();
    }
    void done(int t) {
        if (sink_) (*sink_)(t, scratch_.data());
        else if (turned_ && (t % kBlock == kBlock - 1 || t == count_ - 1)) flush(t - t % kBlock, t % kBlock + 1);
    }

private:
    static constexpr int kBlock = 16;

    // Rows first..first + rows - 1 of the block into their columns.
    void flush(int first, int rows) {
        const std::size_t ch = static_cast<std::size_t>(turned_->channels());
        const std::size_t stride = turned_->stride();
        std::uint8_t* d = turned_->row(frameWidth_ - 1 - left_) + static_cast<std::size_t>(top_ + first) * ch;
        if (ch == 1) {
            transposeBytes(scratch_.data(), rowBytes_, rows, static_cast<int>(rowBytes_), d,
                           -static_cast<std::ptrdiff_t>(stride));
            return;
        }
        for (std::size_t x = 0; x < rowBytes_; x += ch, d -= stride)
            for (int r = 0; r < rows; ++r)
                for (std::size_t k = 0; k < ch; ++k)
                    d[static_cast<std::size_t>(r) * ch + k] = scratch_[static_cast<std::size_t>(r) * rowBytes_ + x + k];
    }

    std::uint8_t* base_ = nullptr;
    std::size_t stride_ = 0;
    Image* turned_ = nullptr;
    int left_ = 0, top_ = 0, frameWidth_ = 0, count_ = 0;
    const RowSink* sink_ = nullptr;
    std::size_t rowBytes_ = 0;
    std::vector<std::uint8_t> scratch_;
};

void resampleNarrow(const Image& src, const Axis& ax, const Axis& ay, int tw, int th, Rows& rows) {
    const int ch = src.channels();
    const ThreeTaps tx = threeTaps(ax, src.width()), ty = threeTaps(ay, src.height());
    const std::vector<char> white = whiteRows(src);
    const std::size_t outBytes = static_cast<std::size_t>(tw) * ch;
    auto allRowsWhite = [&](std::size_t t) {
        for (int y = ty.i0[t]; y <= ty.last[t]; ++y)
            if (!white[static_cast<std::size_t>(y)]) return false;
        return true;
    };
    if (th <= src.height() && rows.takesColumns(ch)) {
        // A gray page shrunk: vertical first; its rows then turned in blocks
        // that stay in the cache, so that the horizontal pass also runs
        // along rows, as vector code, and its results are whole columns.
        const std::size_t sw = src.stride(), n = static_cast<std::size_t>(th);
        constexpr int kBlock = 16;
        std::vector<std::uint8_t> block(sw * kBlock);
        std::uint8_t* across = workspace(sw * n);
        for (int t0 = 0; t0 < th; t0 += kBlock) {
            const int rowsInBlock = std::min(kBlock, th - t0);
            for (int t = t0; t < t0 + rowsInBlock; ++t) {
                const std::size_t tt = static_cast<std::size_t>(t);
                std::uint8_t* out = block.data() + static_cast<std::size_t>(t - t0) * sw;
                if (allRowsWhite(tt))
                    std::memset(out, 255, sw);
                else
                    verticalNarrow(src.row(ty.i0[tt]), src.row(ty.i1[tt]), src.row(ty.i2[tt]), ty.w0[tt], ty.w1[tt],
                                   ty.w2[tt], sw, out);
            }
            transposeBytes(block.data(), sw, rowsInBlock, static_cast<int>(sw), across + t0,
                           static_cast<std::ptrdiff_t>(n));
        }
        auto source = [&](int x) { return across + static_cast<std::size_t>(x) * n; };
        std::vector<std::uint8_t> columns(n * kBlock);
        for (int x0 = 0; x0 < tw; x0 += kBlock) {
            const int count = std::min(kBlock, tw - x0);
            for (int x = x0; x < x0 + count; ++x) {
                const std::size_t xx = static_cast<std::size_t>(x);
                verticalNarrow(source(tx.i0[xx]), source(tx.i1[xx]), source(tx.i2[xx]), tx.w0[xx], tx.w1[xx],
                               tx.w2[xx], n, columns.data() + static_cast<std::size_t>(x - x0) * n);
            }
            rows.columns(x0, count, columns.data(), th);
        }
        return;
    }
    if (th <= src.height()) {
        // Fewer rows after: vertical first, then gather on the fewer rows.
        std::vector<std::uint8_t> row(src.stride());
        for (int t = 0; t < th; ++t) {
            const std::size_t tt = static_cast<std::size_t>(t);
            std::uint8_t* out = rows.row(t);
            if (allRowsWhite(tt)) {
                std::memset(out, 255, outBytes);
            } else {
                verticalNarrow(src.row(ty.i0[tt]), src.row(ty.i1[tt]), src.row(ty.i2[tt]), ty.w0[tt], ty.w1[tt],
                               ty.w2[tt], src.stride(), row.data());
                horizontalNarrow(row.data(), tx, tw, ch, out);
            }
            rows.done(t);
        }
        return;
    }
    // More rows after: the horizontal pass on the source rows first. Gray
    // rows are turned sixteen at a time, averaged along the turned rows as
    // vector code and turned back; colour rows gather.
    std::uint8_t* narrow = workspace(outBytes * static_cast<std::size_t>(src.height()));
    auto narrowRow = [&](int y) { return narrow + outBytes * static_cast<std::size_t>(y); };
    constexpr int kBlock = 16;
    const std::size_t sw = src.stride();
    std::vector<std::uint8_t> across(ch == 1 ? sw * kBlock : 0), scaled(ch == 1 ? outBytes * kBlock : 0),
        back(ch == 1 ? outBytes * kBlock : 0);
    for (int y0 = 0; y0 < src.height(); y0 += kBlock) {
        const int count = std::min(kBlock, src.height() - y0);
        bool anyInk = false;
        for (int y = y0; y < y0 + count; ++y) {
            if (white[static_cast<std::size_t>(y)]) std::memset(narrowRow(y), 255, outBytes);
            else if (ch != 1) horizontalNarrow(src.row(y), tx, tw, ch, narrowRow(y));
            else anyInk = true;
        }
        if (!anyInk) continue;
        transposeBytes(src.row(y0), sw, count, static_cast<int>(sw), across.data(), kBlock);
        for (int x = 0; x < tw; ++x) {
            const std::size_t xx = static_cast<std::size_t>(x);
            auto source = [&](int i) { return across.data() + static_cast<std::size_t>(i) * kBlock; };
            blendRows(source(tx.i0[xx]), source(tx.i1[xx]), source(tx.i2[xx]), tx.w0[xx], tx.w1[xx], tx.w2[xx],
                      static_cast<std::size_t>(count), scaled.data() + xx * kBlock);
        }
        // Back into rows; rows of white were written already and are left.
        transposeBytes(scaled.data(), kBlock, tw, count, back.data(), static_cast<std::ptrdiff_t>(outBytes));
        for (int y = y0; y < y0 + count; ++y)
            if (!white[static_cast<std::size_t>(y)])
                std::memcpy(narrowRow(y), back.data() + static_cast<std::size_t>(y - y0) * outBytes, outBytes);
    }
    for (int t = 0; t < th; ++t) {
        const std::size_t tt = static_cast<std::size_t>(t);
        std::uint8_t* out = rows.row(t);
        if (allRowsWhite(tt))
            std::memset(out, 255, outBytes);
        else
            verticalNarrow(narrowRow(ty.i0[tt]), narrowRow(ty.i1[tt]), narrowRow(ty.i2[tt]), ty.w0[tt], ty.w1[tt],
                           ty.w2[tt], outBytes, out);
        rows.done(t);
    }
}

// ---- Any scale: 14-bit weights, sums in 32 bits ------------------------------

constexpr int kWideBits = 14;

// Vertical, then horizontal on each target row: an intermediate value is
// the pel value * 256.
void resampleWide(const Image& src, const Axis& ax, const Axis& ay, int tw, int th, Rows& rows) {
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
        std::uint8_t* out = rows.row(t);
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
        rows.done(t);
    }
}

// Resamples `src` to tw x th pels, handed row by row to `rows`.
void resampleInto(const Image& src, int tw, int th, Rows& rows) {
    Axis ax = contributions(src.width(), tw, kNarrowBits), ay = contributions(src.height(), th, kNarrowBits);
    if (ax.threeTaps && ay.threeTaps) return resampleNarrow(src, ax, ay, tw, th, rows);
    ax = contributions(src.width(), tw, kWideBits);
    ay = contributions(src.height(), th, kWideBits);
    resampleWide(src, ax, ay, tw, th, rows);
}

double gainOf(const Image& src, int tw, int th, Resample mode) {
    return strokeGain(static_cast<double>(tw) / src.width(), static_cast<double>(th) / src.height(), mode);
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
    Rows rows(out.pixels().data(), out.stride());
    resampleInto(image, width, height, rows);
    keepStrokes(out.pixels().data(), out.stride(), width, height, image.channels(), gainOf(image, width, height, mode));
    return out;
}

void resizeRows(const Image& image, int width, int height, const RowSink& sink) {
    if (image.empty()) invalidPicture("empty image");
    requireGrayOrRgb(image);
    if (width < 1 || height < 1 || width > Image::kMaxSide || height > Image::kMaxSide)
        invalidPicture("image size out of range");
    Rows rows(sink, static_cast<std::size_t>(width) * static_cast<std::size_t>(image.channels()));
    if (width == image.width() && height == image.height()) {
        for (int y = 0; y < height; ++y) sink(y, image.row(y));
        return;
    }
    resampleInto(image, width, height, rows);
}

Image fitInside(const Image& image, const Frame& frame, Resample mode) {
    if (image.empty()) invalidPicture("empty image");
    requireGrayOrRgb(image);
    Image out(frame.turned ? frame.height : frame.width, frame.turned ? frame.width : frame.height, image.format());
    // Pel sizes, in metres when known; only their ratios matter.
    const bool known = image.xPelsPerMeter() > 0 && image.yPelsPerMeter() > 0;
    const double sx = known ? 1.0 / image.xPelsPerMeter() : 1.0, sy = known ? 1.0 / image.yPelsPerMeter() : 1.0;
    const bool framed = frame.xPelsPerMeter > 0 && frame.yPelsPerMeter > 0;
    const double px = framed ? 1.0 / frame.xPelsPerMeter : sx, py = framed ? 1.0 / frame.yPelsPerMeter : sy;
    const double w = image.width() * sx, h = image.height() * sy;
    // The room inside the insets; centring the content keeps them white.
    const int roomW = frame.width - 2 * frame.insetX, roomH = frame.height - 2 * frame.insetY;
    if (frame.insetX < 0 || frame.insetY < 0 || roomW < 1 || roomH < 1) invalidPicture("frame insets leave no room");
    const double scale = std::min(roomW * px / w, roomH * py / h);
    const int cw = std::clamp(static_cast<int>(std::lround(w * scale / px)), 1, roomW);
    const int ch = std::clamp(static_cast<int>(std::lround(h * scale / py)), 1, roomH);
    int xRes = framed ? frame.xPelsPerMeter : scaledResolution(image.xPelsPerMeter(), cw, image.width());
    int yRes = framed ? frame.yPelsPerMeter : scaledResolution(image.yPelsPerMeter(), ch, image.height());
    if (frame.turned) std::swap(xRes, yRes);
    out.setResolution(xRes, yRes);
    const int left = (frame.width - cw) / 2, top = (frame.height - ch) / 2;
    const int n = image.channels();
    const double gain = gainOf(image, cw, ch, mode);
    if (!frame.turned) {
        std::uint8_t* at = out.row(top) + static_cast<std::size_t>(left) * n;
        Rows rows(at, out.stride());
        resampleInto(image, cw, ch, rows);
        keepStrokes(at, out.stride(), cw, ch, n, gain);
        return out;
    }
    // Each content row becomes a column of the turned picture; the content
    // lies at columns top.. and rows frame.width - left - cw.. there.
    Rows rows(out, left, top, frame.width, static_cast<std::size_t>(cw) * n, ch);
    resampleInto(image, cw, ch, rows);
    keepStrokes(out.row(frame.width - left - cw) + static_cast<std::size_t>(top) * n, out.stride(), ch, cw, n, gain);
    return out;
}

}  // namespace fg::image
