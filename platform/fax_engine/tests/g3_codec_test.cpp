#include "platform/fax_engine/fax_page.h"
#include "platform/fax_engine/g3_codec.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/image/bmp.h"
#include "platform/testing/print_like_page.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_home.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstring>
#include <random>

namespace fg::fax {
namespace {

using testing::printLikePage;

BilevelImage randomRuns(int width, int height, unsigned seed) {
    BilevelImage page(width, height);
    std::mt19937 rng(seed);
    for (int y = 0; y < height; ++y) {
        int x = 0;
        bool black = rng() & 1;
        while (x < width) {
            // Every run length the code tables know, long ones included.
            int run = static_cast<int>(rng() % 4 == 0 ? rng() % 2700 : rng() % 70);
            if (black)
                for (int i = 0; i < run && x + i < width; ++i) page.setBlack(x + i, y);
            x += run;
            black = !black;
        }
    }
    return page;
}

TEST(G3Codec, PagesSurviveEncodingAndDecoding) {
    struct Case {
        const char* what;
        BilevelImage page;
    } cases[] = {
        {"white A4", BilevelImage(1728, 1145)},
        {"print", printLikePage(1728, 300, 1)},
        {"random runs, fax width", randomRuns(1728, 200, 2)},
        {"random runs, B4 width", randomRuns(2048, 100, 3)},
        {"random runs, wide", randomRuns(4864, 50, 4)},
        {"narrow odd width", randomRuns(13, 20, 5)},
        {"one pel", BilevelImage(1, 1)},
    };
    BilevelImage black(1728, 10);
    std::fill(black.bits.begin(), black.bits.end(), 0xFF);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string data = encodeG3(c.page);
        G3DecodeReport report;
        BilevelImage back = decodeG3(data, BitOrder::Detect, &report);
        EXPECT_EQ(back, c.page);
        EXPECT_EQ(report.damagedLines, 0);
        EXPECT_EQ(report.bitOrder, BitOrder::LsbFirst);
    }
    EXPECT_EQ(decodeG3(encodeG3(black)), black);
}

TEST(G3Codec, DamagedDataIsConcealedOrRefused) {
    BilevelImage page = printLikePage(1728, 400, 7);
    std::string data = encodeG3(page);

    // A burst of noise in the middle: the page keeps its size, the damaged
    // lines are replaced, and the lines after the burst are right again.
    std::string noisy = data;
    for (std::size_t i = noisy.size() / 2; i < noisy.size() / 2 + 40; ++i) noisy[i] = static_cast<char>(0xA5);
    G3DecodeReport report;
    BilevelImage back = decodeG3(noisy, BitOrder::Detect, &report);
    EXPECT_EQ(back.width, 1728);
    // Noise may also swallow EOLs and join lines.
    EXPECT_GE(back.height, 380);
    EXPECT_LE(back.height, 400);
    EXPECT_GT(report.damagedLines, 0);
    EXPECT_LT(report.damagedLines, 20);
    EXPECT_EQ(0, std::memcmp(back.row(back.height - 1), page.row(399), page.stride));

    // A page cut short gives the lines that arrived, and says that it was
    // cut; a page file of the system must be whole.
    G3DecodeReport cut;
    const std::string_view firstHalf = std::string_view(data).substr(0, data.size() / 2);
    BilevelImage half = decodeG3(firstHalf, BitOrder::Detect, &cut);
    EXPECT_GT(half.height, 150);
    EXPECT_LT(half.height, 250);
    EXPECT_TRUE(cut.truncated);
    EXPECT_THROW(decodeWholeG3(firstHalf), Error);
    EXPECT_FALSE(report.truncated);
    EXPECT_EQ(decodeWholeG3(data), page);

    std::mt19937 rng(9);
    std::string garbage(5000, '\0');
    for (auto& ch : garbage) ch = static_cast<char>(rng());
    for (const auto& bad : {std::string(), std::string(100, '\0'), std::string(100, '\xFF'), garbage}) {
        try {
            decodeG3(bad);
            ADD_FAILURE() << "accepted " << bad.size() << " bytes";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), 481);
        }
    }
}

TEST(G3Codec, ACheckFindsInAPageWhatItsDrawingFinds) {
    // Every run length, make-up codes included, damaged in the ways a line
    // damages a page: the check that reads lines without drawing them must
    // count the same lines, damaged lines and cut, and refuse the same pages.
    const std::string page = encodeG3(randomRuns(1728, 120, 6), PageEnd::Rtc);
    std::mt19937 rng(13);
    for (int round = 0; round < 240; ++round) {
        std::string data = page;
        const std::size_t at = rng() % data.size();
        if (round % 4 == 0) data[at] = static_cast<char>(data[at] ^ (1 << (rng() % 8)));
        if (round % 4 == 1)
            for (std::size_t i = at; i < std::min(data.size(), at + 30); ++i) data[i] = static_cast<char>(rng());
        if (round % 4 == 2) data.resize(at);
        if (round % 4 == 3) data.erase(at, 1 + rng() % 9);
        for (BitOrder order : {BitOrder::LsbFirst, BitOrder::MsbFirst, BitOrder::Detect}) {
            SCOPED_TRACE("round " + std::to_string(round) + ", order " + std::to_string(static_cast<int>(order)));
            G3DecodeReport drawn, checked;
            int refused = 0;
            try { decodeG3(data, order, &drawn); } catch (const Error&) { refused += 1; }
            try { checked = inspectG3(data, order); } catch (const Error&) { refused += 2; }
            ASSERT_TRUE(refused == 0 || refused == 3) << refused;
            EXPECT_EQ(checked.lines, drawn.lines);
            EXPECT_EQ(checked.damagedLines, drawn.damagedLines);
            EXPECT_EQ(checked.bitOrder, drawn.bitOrder);
            EXPECT_EQ(checked.truncated, drawn.truncated);
        }
    }
}

TEST(G3Codec, StretchAndShrinkGiveFaxShapedPages) {
    image::Image bitmap(864, 600, image::PixelFormat::Gray8, 255);
    for (int x = 0; x < 864; ++x) bitmap.row(300)[x] = 0;  // a one-pel rule
    struct Stretch {
        int option, width, height;
    } stretches[] = {{0, 1728, 600}, {1, 1728, 600}, {2, 1728, 1145}, {3, 1728, 1145},
                     {4, 1728, 2291}, {5, 1728, 2291}, {9, 1728, 600}};
    for (const auto& s : stretches) {
        SCOPED_TRACE("stretch " + std::to_string(s.option));
        BilevelImage page = pageFromImage(bitmap, s.option);
        EXPECT_EQ(page.width, s.width);
        EXPECT_EQ(page.height, s.height);
    }
    // Without horizontal stretch a narrow bitmap is filled out with white.
    BilevelImage plain = pageFromImage(bitmap, 0);
    EXPECT_TRUE(plain.black(863, 300));
    EXPECT_FALSE(plain.black(864, 300));
    BilevelImage wide = pageFromImage(bitmap, 1);
    EXPECT_TRUE(wide.black(1727, 300) || wide.black(1727, 299) || wide.black(1727, 301));

    BilevelImage page = printLikePage(1728, 2291, 11);
    for (int x = 0; x < 1728; ++x) page.setBlack(x, 1001);  // survives halving
    struct Shrink {
        int option, width, height;
    } shrinks[] = {{0, 1728, 2291}, {1, 864, 2291}, {2, 1728, 1145}, {3, 864, 1145}, {7, 1728, 2291}};
    for (const auto& s : shrinks) {
        SCOPED_TRACE("shrink " + std::to_string(s.option));
        image::Image img = imageFromPage(page, s.option, 864, 1145);
        EXPECT_EQ(img.width(), s.width);
        EXPECT_EQ(img.height(), s.height);
    }
    image::Image both = imageFromPage(page, 3, 864, 1145);
    bool ruleKept = false;
    for (int y = 498; y <= 502; ++y) ruleKept = ruleKept || both.row(y)[400] == 0;
    EXPECT_TRUE(ruleKept);
}

// ---- libtiff's tools as the judge ------------------------------------------

struct TiffPage {
    int width = 0, height = 0;
    BilevelImage pixels;
    std::string raw;  // the coded strips, one after another
    int fillOrder = FILLORDER_MSB2LSB;
};

TiffPage readTiff(const std::string& path) {
    TiffPage t;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif) {
        ADD_FAILURE() << "libtiff cannot open " << path;
        return t;
    }
    std::uint32_t w = 0, h = 0;
    std::uint16_t photometric = 0, fill = FILLORDER_MSB2LSB;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetFieldDefaulted(tif, TIFFTAG_FILLORDER, &fill);
    t.width = static_cast<int>(w);
    t.height = static_cast<int>(h);
    t.fillOrder = fill;
    t.pixels = BilevelImage(t.width, t.height);
    for (std::uint32_t y = 0; y < h; ++y) {
        if (TIFFReadScanline(tif, t.pixels.row(static_cast<int>(y)), y, 0) < 0) ADD_FAILURE() << "scanline " << y;
        if (photometric == PHOTOMETRIC_MINISBLACK)
            for (std::size_t i = 0; i < t.pixels.stride; ++i) t.pixels.row(static_cast<int>(y))[i] ^= 0xFF;
    }
    for (tstrip_t s = 0; s < TIFFNumberOfStrips(tif); ++s) {
        tmsize_t size = TIFFRawStripSize(tif, s);
        std::string buf(static_cast<std::size_t>(size), '\0');
        tmsize_t got = TIFFReadRawStrip(tif, s, buf.data(), size);
        buf.resize(static_cast<std::size_t>(std::max<tmsize_t>(got, 0)));
        t.raw += buf;
    }
    TIFFClose(tif);
    return t;
}

TEST(G3Codec, APageWithoutRtcKeepsTheLastLineThatEndsOnTheLastBit) {
    testing::TempDir dir;
    // Our own coding without its RTC, on pages whose last code ends on the
    // last bit of a byte: the RTC then fills its last nine bytes exactly,
    // and its last byte holds nothing but the final EOL's one bit.
    int tight = 0;
    for (unsigned seed = 1; seed < 2000 && tight < 4; ++seed) {
        BilevelImage page = printLikePage(kFaxWidth, 40 + static_cast<int>(seed % 23), seed);
        const int last = page.height - 1;
        std::memset(page.row(last - 1), 0, page.stride);
        for (int x = 20 + static_cast<int>(seed % 37); x < kFaxWidth - 50; x += 41 + static_cast<int>(seed % 5))
            for (int k = 0; k < 9; ++k) page.setBlack(x + k, last);
        std::string data = encodeG3(page, PageEnd::Rtc);
        if (static_cast<unsigned char>(data.back()) != 0x80) continue;
        ++tight;
        SCOPED_TRACE("seed " + std::to_string(seed));
        const std::string bare = data.substr(0, data.size() - 9);
        G3DecodeReport report;
        EXPECT_EQ(decodeG3(bare, BitOrder::Detect, &report), page);
        EXPECT_EQ(report.damagedLines, 0);
        EXPECT_FALSE(report.truncated);
        EXPECT_EQ(decodeWholeG3(bare), page);

        // Cut inside that last line, the page is reported cut short.
        const std::string cut = bare.substr(0, bare.size() - 3);
        decodeG3(cut, BitOrder::Detect, &report);
        EXPECT_TRUE(report.truncated);
        try {
            decodeWholeG3(cut);
            ADD_FAILURE() << "a page cut short was taken whole";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), 481);
        }
        fs::writeFileAtomic(dir / "cut.G3", cut);
        EXPECT_THROW(g3FileToBmp(dir / "cut.G3", dir / "cut.bmp", 0, 864, 1145), Error);
        EXPECT_FALSE(fs::fileExists(dir / "cut.bmp"));
    }
    EXPECT_EQ(tight, 4);

    // Pages coded by libtiff, one strip each and without RTC: whatever bit
    // their last code ends on, every line is libtiff's.
    for (unsigned seed = 1; seed <= 17; ++seed) {
        SCOPED_TRACE("tiffcp page " + std::to_string(seed));
        BilevelImage page = printLikePage(kFaxWidth, 30 + static_cast<int>(seed * 7), seed * 101);
        for (int x = 0; x < kFaxWidth; x += 3 + static_cast<int>(seed)) page.setBlack(x, page.height - 1);
        fs::writeFileAtomic(dir / "ours.g3", encodeG3(page));
        auto conv = testing::runProgram({"fax2tiff", "-o", dir / "plain.tif", dir / "ours.g3"});
        ASSERT_EQ(conv.exitCode, 0) << conv.errors;
        auto copy = testing::runProgram({"tiffcp", "-c", "g3:1d", "-r", "100000", dir / "plain.tif", dir / "g3.tif"});
        ASSERT_EQ(copy.exitCode, 0) << copy.errors;
        TiffPage t = readTiff(dir / "g3.tif");
        G3DecodeReport report;
        EXPECT_EQ(decodeG3(t.raw, BitOrder::Detect, &report), t.pixels);
        EXPECT_EQ(report.damagedLines, 0);
        EXPECT_FALSE(report.truncated);
    }
}

TEST(G3Codec, APageOnTheLineEndsWithOneRtc) {
    for (unsigned seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        BilevelImage page = printLikePage(kFaxWidth, 20 + static_cast<int>(seed % 17), seed);
        const std::string withRtc = encodeG3(page, PageEnd::Rtc);
        EXPECT_EQ(endedByRtc(withRtc), withRtc);
        const std::string sent = endedByRtc(encodeG3(page));
        EXPECT_EQ(sent.size(), encodeG3(page).size() + 9);
        EXPECT_EQ(endedByRtc(sent), sent);
        G3DecodeReport report;
        EXPECT_EQ(decodeG3(sent, BitOrder::LsbFirst, &report), page);
        EXPECT_EQ(report.damagedLines, 0);
    }
}

TEST(G3Codec, Fax2tiffReadsOurPages) {
    testing::TempDir dir;
    struct Case {
        const char* what;
        image::Image bitmap;
        int stretch;
        int lines;
    };
    image::Image a4(1728, 2291, image::PixelFormat::Gray8);
    BilevelImage print = printLikePage(1728, 2291, 21);
    for (int y = 0; y < 2291; ++y)
        for (int x = 0; x < 1728; ++x) a4.row(y)[x] = print.black(x, y) ? 0 : 255;
    image::Image small(1000, 700, image::PixelFormat::Rgb24, 255);
    for (int y = 100; y < 600; y += 7)
        for (int x = 50; x < 950; ++x) small.row(y)[x * 3 + 1] = 0;
    Case cases[] = {{"A4 fine page", a4, 0, 2291}, {"stretched to standard A4", small, 3, 1145},
                    {"stretched to fine A4", small, 5, 2291}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bmp = dir / "page.bmp", g3 = dir / "page.G3", tif = dir / "page.tif";
        image::writeBmp(bmp, c.bitmap, 24);
        bmpFileToG3(bmp, g3, c.stretch);
        auto conv = testing::runProgram({"fax2tiff", "-o", tif, g3});
        ASSERT_EQ(conv.exitCode, 0) << conv.errors;
        EXPECT_EQ(conv.errors.find("bad"), std::string::npos) << conv.errors;
        auto info = testing::runProgram({"tiffinfo", tif});
        ASSERT_EQ(info.exitCode, 0) << info.errors;
        // fax2tiff counts the lines we count: the page file carries no
        // return to control, whose EOLs it would take for five more lines.
        EXPECT_NE(info.output.find("Image Width: 1728 Image Length: " + std::to_string(c.lines) + "\n"),
                  std::string::npos)
            << info.output;
        // And libtiff sees the very pels we coded.
        TiffPage t = readTiff(tif);
        BilevelImage ours = decodeG3(fs::readFile(g3));
        ASSERT_EQ(ours.height, c.lines);
        ASSERT_EQ(t.pixels.height, c.lines);
        EXPECT_EQ(0, std::memcmp(t.pixels.bits.data(), ours.bits.data(), ours.bits.size()));
    }
}

TEST(G3Codec, WeReadLibtiffsCodingInBothBitOrders) {
    testing::TempDir dir;
    BilevelImage page = printLikePage(1728, 1145, 31);
    fs::writeFileAtomic(dir / "ours.g3", encodeG3(page));
    struct Case {
        const char* fillFlag;
        BitOrder expected;
    } cases[] = {{"-l", BitOrder::LsbFirst}, {"-m", BitOrder::MsbFirst}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fillFlag);
        std::string tif = dir / "theirs.tif";
        // -5: one-dimensional coding; -a: EOLs padded to bytes, unlike ours.
        auto conv = testing::runProgram({"fax2tiff", "-5", "-a", c.fillFlag, "-R", "98", "-o", tif, dir / "ours.g3"});
        ASSERT_EQ(conv.exitCode, 0) << conv.errors;
        TiffPage t = readTiff(tif);
        ASSERT_EQ(t.pixels.height, page.height);
        ASSERT_EQ(0, std::memcmp(t.pixels.bits.data(), page.bits.data(), page.bits.size()));
        ASSERT_FALSE(t.raw.empty());
        EXPECT_NE(t.raw, encodeG3(page));  // really libtiff's coding, not ours passed through

        G3DecodeReport report;
        EXPECT_EQ(decodeG3(t.raw, BitOrder::Detect, &report), t.pixels);
        EXPECT_EQ(report.bitOrder, c.expected);
        EXPECT_EQ(report.damagedLines, 0);

        // The same through the file conversion: libtiff's pels in our bitmap.
        fs::writeFileAtomic(dir / "theirs.G3", t.raw);
        g3FileToBmp(dir / "theirs.G3", dir / "theirs.bmp", 0, 864, 1145);
        image::Image bmp = image::readBmp(dir / "theirs.bmp");
        ASSERT_EQ(bmp.width(), 1728);
        ASSERT_EQ(bmp.height(), t.pixels.height);
        int differ = 0;
        for (int y = 0; y < t.pixels.height; ++y)
            for (int x = 0; x < 1728; ++x) differ += (bmp.row(y)[x] == 0) != t.pixels.black(x, y);
        EXPECT_EQ(differ, 0);
        PageSize size = g3FileSize(dir / "theirs.G3");
        EXPECT_EQ(size.columns, 1728);
        EXPECT_EQ(size.rows, t.pixels.height);
    }
}

}  // namespace
}  // namespace fg::fax
