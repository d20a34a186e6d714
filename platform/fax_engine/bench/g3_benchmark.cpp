// G3 coding speed: our one-dimensional coder against libtiff's CCITT G3
// coding of the same pages of print (A4 fine, 1728 x 2291, and A4 normal),
// and both against the time a page takes on a fax line.
#include "platform/fax_engine/g3_codec.h"
#include "platform/testing/print_like_page.h"

#include <tiffio.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using fg::fax::BilevelImage;
using fg::testing::printLikePage;
using Clock = std::chrono::steady_clock;

// A TIFF in memory, so that libtiff's figures hold coding alone.
struct MemoryTiff {
    std::vector<char> bytes;
    toff_t pos = 0;
    static tsize_t read(thandle_t h, tdata_t buf, tsize_t n) {
        auto* m = static_cast<MemoryTiff*>(h);
        tsize_t left = static_cast<tsize_t>(m->bytes.size()) - static_cast<tsize_t>(m->pos);
        n = std::max<tsize_t>(0, std::min(n, left));
        std::memcpy(buf, m->bytes.data() + m->pos, static_cast<std::size_t>(n));
        m->pos += static_cast<toff_t>(n);
        return n;
    }
    static tsize_t write(thandle_t h, tdata_t buf, tsize_t n) {
        auto* m = static_cast<MemoryTiff*>(h);
        if (m->pos + static_cast<toff_t>(n) > m->bytes.size()) m->bytes.resize(m->pos + static_cast<toff_t>(n));
        std::memcpy(m->bytes.data() + m->pos, buf, static_cast<std::size_t>(n));
        m->pos += static_cast<toff_t>(n);
        return n;
    }
    static toff_t seek(thandle_t h, toff_t off, int whence) {
        auto* m = static_cast<MemoryTiff*>(h);
        if (whence == SEEK_SET) m->pos = off;
        else if (whence == SEEK_CUR) m->pos += off;
        else m->pos = m->bytes.size() + off;
        return m->pos;
    }
    static int close(thandle_t) { return 0; }
    static toff_t size(thandle_t h) { return static_cast<MemoryTiff*>(h)->bytes.size(); }
    static int map(thandle_t, tdata_t*, toff_t*) { return 0; }
    static void unmap(thandle_t, tdata_t, toff_t) {}
    TIFF* open(const char* mode) {
        pos = 0;
        return TIFFClientOpen("page", mode, this, read, write, seek, close, size, map, unmap);
    }
};

std::size_t libtiffEncode(const BilevelImage& page, MemoryTiff& mem) {
    mem.bytes.clear();
    TIFF* tif = mem.open("w");
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, page.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, page.height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tif, TIFFTAG_FILLORDER, FILLORDER_LSB2MSB);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX3);
    TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, 0);  // one-dimensional, EOLs not padded
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, page.height);
    TIFFWriteEncodedStrip(tif, 0, const_cast<std::uint8_t*>(page.bits.data()), static_cast<tmsize_t>(page.bits.size()));
    TIFFClose(tif);
    return mem.bytes.size();
}

bool libtiffDecode(MemoryTiff& mem, std::vector<std::uint8_t>& out) {
    TIFF* tif = mem.open("r");
    if (!tif) return false;
    tmsize_t got = TIFFReadEncodedStrip(tif, 0, out.data(), static_cast<tmsize_t>(out.size()));
    TIFFClose(tif);
    return got == static_cast<tmsize_t>(out.size());
}

double perPageMs(int rounds, const std::function<void()>& body) {
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        auto start = Clock::now();
        body();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];  // the median: one slow round says little
}

// Codes and decodes one page both ways; false when a decoding differs.
bool comparePage(const char* name, const BilevelImage& page, int rounds) {
    std::string ours;
    double ourEncode = perPageMs(rounds, [&] { ours = fg::fax::encodeG3(page); });
    BilevelImage back;
    double ourDecode = perPageMs(rounds, [&] { back = fg::fax::decodeG3(ours, fg::fax::BitOrder::LsbFirst); });
    if (!(back == page)) {
        std::fprintf(stderr, "our decoding differs from the page\n");
        return false;
    }
    // What a receiver does with a page of unknown bit order.
    double ourDetect = perPageMs(rounds, [&] { back = fg::fax::decodeG3(ours, fg::fax::BitOrder::Detect); });
    // What a receiver does to check a page it stores: its lines read, not drawn.
    int lines = 0;
    double ourCheck = perPageMs(rounds, [&] { lines = fg::fax::inspectG3(ours).lines; });
    if (lines != page.height) {
        std::fprintf(stderr, "our check of the page counts %d lines\n", lines);
        return false;
    }

    MemoryTiff mem;
    std::size_t tiffBytes = 0;
    double tiffEncode = perPageMs(rounds, [&] { tiffBytes = libtiffEncode(page, mem); });
    std::vector<std::uint8_t> pixels(page.bits.size());
    bool ok = true;
    double tiffDecode = perPageMs(rounds, [&] { ok = libtiffDecode(mem, pixels) && ok; });
    if (!ok || pixels != page.bits) {
        std::fprintf(stderr, "libtiff's decoding differs from the page\n");
        return false;
    }

    const double bits = static_cast<double>(ours.size()) * 8;
    std::printf("%s, %d x %d, median of %d rounds\n", name, page.width, page.height, rounds);
    std::printf("  coded size: ours %zu bytes, libtiff %zu bytes (TIFF file, one strip)\n", ours.size(), tiffBytes);
    std::printf("  encode: ours %.3f ms, libtiff %.3f ms, ratio ours/libtiff %.2f\n", ourEncode, tiffEncode,
                ourEncode / tiffEncode);
    std::printf("  decode: ours %.3f ms, libtiff %.3f ms, ratio ours/libtiff %.2f (ours with the bit order detected %.3f ms)\n",
                ourDecode, tiffDecode, ourDecode / tiffDecode, ourDetect);
    std::printf("  check of a received page (its lines read, not drawn): ours %.3f ms\n", ourCheck);
    std::printf("  line time of the page: %.2f s at 9600 bit/s, %.2f s at 14400 bit/s\n", bits / 9600, bits / 14400);
    std::printf("  coding share of the line time at 14400 bit/s: %.4f %%\n",
                100.0 * (ourEncode / 1000.0) / (bits / 14400));
    return true;
}

}  // namespace

int main() {
    TIFFSetWarningHandler(nullptr);
    const int rounds = 40;
    bool ok = comparePage("A4 fine page of print", printLikePage(fg::fax::kFaxWidth, 2291, 42), rounds);
    ok = comparePage("A4 fine page of print, another", printLikePage(fg::fax::kFaxWidth, 2291, 7), rounds) && ok;
    ok = comparePage("A4 normal page of print", printLikePage(fg::fax::kFaxWidth, 1145, 3), rounds) && ok;
    return ok ? 0 : 1;
}
