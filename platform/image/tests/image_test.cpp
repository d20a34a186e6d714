#include "platform/image/bmp.h"
#include "platform/image/image.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/testing/temp_home.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>

namespace fg::image {
namespace {

Image noise(int w, int h, PixelFormat f, unsigned seed) {
    Image img(w, h, f);
    std::mt19937 rng(seed);
    for (auto& p : img.pixels()) p = static_cast<std::uint8_t>(rng());
    return img;
}

BmpSize readBmpSizeOf(const std::string& bytes) {
    testing::TempDir dir;
    fs::writeFileAtomic(dir / "b.bmp", bytes);
    return readBmpSize(dir / "b.bmp");
}

Image blackAndWhite(const Image& gray) {
    Image out = gray;
    for (auto& p : out.pixels()) p = p < 128 ? 0 : 255;
    return out;
}

TEST(Bmp, RoundTripsEveryDepthAndOddWidths) {
    testing::TempDir dir;
    struct Case {
        int bits;
        PixelFormat format;
        int width;
    } cases[] = {
        {1, PixelFormat::Gray8, 1},  {1, PixelFormat::Gray8, 33},  {1, PixelFormat::Gray8, 1728},
        {8, PixelFormat::Gray8, 3},  {8, PixelFormat::Gray8, 17},  {24, PixelFormat::Rgb24, 1},
        {24, PixelFormat::Rgb24, 7}, {24, PixelFormat::Gray8, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.bits) + " bits, width " + std::to_string(c.width));
        Image img = noise(c.width, 5, c.format, static_cast<unsigned>(c.width * c.bits));
        img.setResolution(8031, 7717);
        std::string path = dir / ("p" + std::to_string(c.bits) + "_" + std::to_string(c.width) + ".bmp");
        writeBmp(path, img, c.bits);
        Image back = readBmp(path);
        Image expected = c.bits == 1 ? blackAndWhite(img) : c.bits == 24 ? toRgb(img) : img;
        EXPECT_EQ(back, expected);
        EXPECT_EQ(back.xPelsPerMeter(), 8031);
        EXPECT_EQ(back.yPelsPerMeter(), 7717);
        BmpSize size = readBmpSize(path);
        EXPECT_EQ(size.width, c.width);
        EXPECT_EQ(size.height, 5);
        EXPECT_EQ(size.bitsPerPixel, c.bits);
    }
}

// A hand-made file: a top-down 4-bit bitmap with a colour palette, as some
// exporters write them.
TEST(Bmp, ReadsTopDownPalettedColour) {
    std::string b = "BM";
    auto p32 = [&](std::uint32_t v) { for (int i = 0; i < 4; ++i) b.push_back(static_cast<char>(v >> (8 * i))); };
    auto p16 = [&](std::uint32_t v) { for (int i = 0; i < 2; ++i) b.push_back(static_cast<char>(v >> (8 * i))); };
    p32(14 + 40 + 8 + 8);
    p32(0);
    p32(14 + 40 + 8);
    p32(40);
    p32(3);
    p32(static_cast<std::uint32_t>(-2));  // top-down
    p16(1);
    p16(4);
    p32(0);
    p32(8);
    p32(0);
    p32(0);
    p32(2);
    p32(0);
    b += std::string("\x00\x00\xFF\x00", 4);  // red (B G R 0)
    b += std::string("\xFF\x00\x00\x00", 4);  // blue
    b += std::string("\x01\x00\x00\x00", 4);  // row 0: red, blue, red
    b += std::string("\x10\x10\x00\x00", 4);  // row 1: blue, red, blue
    Image img = decodeBmp(b);
    ASSERT_EQ(img.format(), PixelFormat::Rgb24);
    ASSERT_EQ(img.width(), 3);
    ASSERT_EQ(img.height(), 2);
    EXPECT_EQ(img.row(0)[0], 255);  // red
    EXPECT_EQ(img.row(0)[5], 255);  // blue channel of pel 1
    EXPECT_EQ(img.row(1)[2], 255);  // blue
    EXPECT_EQ(img.row(1)[3], 255);  // red
}

TEST(Bmp, RefusesMalformedFilesWithAClearError) {
    Image img = noise(9, 4, PixelFormat::Gray8, 1);
    std::string good = encodeBmp(img, 8);
    auto with = [&](std::size_t at, std::string bytes) {
        std::string b = good;
        b.replace(at, bytes.size(), bytes);
        return b;
    };
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"bad magic", with(0, "XX")},
        {"truncated pixels", good.substr(0, good.size() - 1)},
        {"truncated palette", good.substr(0, 14 + 40 + 100)},
        {"zero width", with(18, std::string(4, '\0'))},
        {"huge height", with(22, std::string("\xFF\xFF\xFF\x7F", 4))},
        {"RLE compression", with(30, std::string("\x01\x00\x00\x00", 4))},
        {"16 bits over 8-bit data", with(28, std::string("\x10\x00", 2))},
        {"odd header size", with(14, std::string("\x20\x00\x00\x00", 4))},
        {"data offset past the end", with(10, std::string("\xFF\xFF\xFF\x00", 4))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            decodeBmp(c.bytes);
            ADD_FAILURE() << "accepted";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), 481);
            EXPECT_NE(e.description().find("ピクチャが不正です"), std::string::npos);
        }
    }
    // A pel whose index lies outside a short palette.
    std::string shortPalette = with(46, std::string("\x02\x00\x00\x00", 4));
    EXPECT_THROW(decodeBmp(shortPalette), Error);

    testing::TempDir dir;
    try {
        readBmp(dir / "missing.bmp");
        ADD_FAILURE() << "read a missing file";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), errnum::FileNotFound);
    }
}

TEST(Image, ResizeAveragesAreasAndKeepsUniformImagesUniform) {
    // A one-pel checkerboard halves to an even gray.
    Image checker(8, 8, PixelFormat::Gray8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) checker.row(y)[x] = ((x + y) & 1) ? 255 : 0;
    Image half = resize(checker, 4, 4);
    for (auto p : half.pixels()) EXPECT_NEAR(p, 128, 1);

    // Any scale of a uniform image stays exactly uniform.
    Image flat(37, 23, PixelFormat::Rgb24, 77);
    for (auto [w, h] : {std::pair{1728, 50}, std::pair{5, 3}, std::pair{37, 100}}) {
        Image r = resize(flat, w, h);
        ASSERT_EQ(r.width(), w);
        ASSERT_EQ(r.height(), h);
        for (auto p : r.pixels()) ASSERT_EQ(p, 77);
    }

    // Doubling keeps a hard edge where it was.
    Image edge(4, 1, PixelFormat::Gray8);
    edge.row(0)[0] = edge.row(0)[1] = 0;
    Image doubled = resize(edge, 8, 2);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 4; ++x) EXPECT_EQ(doubled.row(y)[x], 0);
        for (int x = 4; x < 8; ++x) EXPECT_EQ(doubled.row(y)[x], 255);
    }
    EXPECT_THROW(resize(edge, 0, 5), Error);
}

// Bitmaps of the drawing layers: every depth keeps its pels and palette
// through a file read as stored, and reads back as a page image in colour.
TEST(Bmp, KeepsEveryDepthAndPaletteWhenReadAsStored) {
    const Palette sixteen = {{0, 0, 0},     {128, 0, 0},   {0, 128, 0},   {128, 128, 0}, {0, 0, 128},  {128, 0, 128},
                             {0, 128, 128}, {192, 192, 192}, {128, 128, 128}, {255, 0, 0}, {0, 255, 0},  {255, 255, 0},
                             {0, 0, 255},   {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
    struct Case {
        PixelFormat format;
        Palette palette;
        int bits;
    } cases[] = {
        {PixelFormat::Indexed1, {{10, 20, 30}, {200, 100, 0}}, 1},
        {PixelFormat::Indexed1, {}, 1},
        {PixelFormat::Indexed4, sixteen, 4},
        {PixelFormat::Indexed8, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}, 8},
        {PixelFormat::Rgb16, {}, 16},
        {PixelFormat::Rgb24, {}, 24},
        {PixelFormat::Rgb32, {}, 32},
    };
    for (const auto& c : cases) {
        for (int width : {1, 7, 33}) {
            SCOPED_TRACE(std::to_string(c.bits) + " bits, width " + std::to_string(width));
            Image img(width, 3, c.format, 0);
            img.setPalette(c.palette);
            std::mt19937 rng(static_cast<unsigned>(width * c.bits));
            const unsigned entries = c.palette.empty() ? 2 : static_cast<unsigned>(c.palette.size());
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < width; ++x) {
                    if (isIndexed(c.format)) img.setIndex(x, y, rng() % entries);
                    else img.setPixel(x, y, Rgb{std::uint8_t(rng()), std::uint8_t(rng()), std::uint8_t(rng())});
                }
            std::string file = encodeBmp(img);
            Image back = decodeBmp(file, BmpDepth::AsStored);
            if (c.format == PixelFormat::Indexed1 && c.palette.empty()) {
                // A mask is written with a black and white palette.
                EXPECT_EQ(back.palette(), (Palette{{0, 0, 0}, {255, 255, 255}}));
                back.setPalette({});
            }
            EXPECT_EQ(back, img);
            Image page = decodeBmp(file);
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < width; ++x) ASSERT_EQ(page.pixel(x, y), img.pixel(x, y));
            EXPECT_EQ(readBmpSizeOf(file).bitsPerPixel, c.bits);
        }
    }
}

TEST(Image, ConvertsBetweenFormatsThroughTheNearestColour) {
    Image rgb(3, 1, PixelFormat::Rgb24, 0);
    rgb.setPixel(0, 0, {250, 10, 10});
    rgb.setPixel(1, 0, {20, 20, 20});
    rgb.setPixel(2, 0, {240, 240, 240});
    Image indexed = convert(rgb, PixelFormat::Indexed4, {{0, 0, 0}, {255, 0, 0}, {255, 255, 255}});
    EXPECT_EQ(indexed.index(0, 0), 1u);
    EXPECT_EQ(indexed.index(1, 0), 0u);
    EXPECT_EQ(indexed.index(2, 0), 2u);
    Image mask = convert(rgb, PixelFormat::Indexed1);
    EXPECT_TRUE(mask.palette().empty());
    EXPECT_EQ(mask.pixel(1, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(mask.pixel(2, 0), (Rgb{255, 255, 255}));
    EXPECT_EQ(convert(convert(rgb, PixelFormat::Rgb32), PixelFormat::Rgb24), rgb);
    EXPECT_EQ(convert(rgb, PixelFormat::Rgb16).pixel(0, 0), (Rgb{255, 8, 8}));  // five bits a colour
    EXPECT_THROW(resize(indexed, 2, 2), Error);
    EXPECT_THROW(Image(2, 2, PixelFormat::Indexed1).setPalette(Palette(3)), Error);
}


// The box of the pels darker than half, as (left, top, right, bottom).
std::array<int, 4> inkBox(const Image& img) {
    std::array<int, 4> box{img.width(), img.height(), 0, 0};
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.row(y)[x * img.channels()] < 128)
                box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x + 1), std::max(box[3], y + 1)};
    return box;
}

TEST(Image, FitKeepsTheProportionsOnTheFramesPelsAndTurnsInThePass) {
    struct Case {
        const char* what;
        int width, height, pelsPerMeter;  // a black picture
        Frame frame;
        std::array<int, 4> box;  // where it lands
    } cases[] = {
        {"square pels, wider frame", 300, 200, 0, {600, 300, 0, 0, false}, {75, 0, 525, 300}},
        {"square pels, taller frame", 300, 200, 0, {300, 600, 0, 0, false}, {0, 200, 300, 400}},
        // A4 at 200 per inch on the fax paper: 215 x 297 mm over 1200 x 1728.
        {"A4 upright on fax pels", 1654, 2339, 7874, {1200, 1728, 5581, 5818, false}, {14, 0, 1186, 1728}},
        // Landscape A4 on the paper lying on its side, then turned.
        {"A4 wide, turned", 2339, 1654, 7874, {1728, 1200, 5818, 5581, true}, {14, 0, 1186, 1728}},
        {"enlarged to fit", 30, 40, 0, {300, 300, 0, 0, false}, {38, 0, 263, 300}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Image black(c.width, c.height, PixelFormat::Gray8, 0);
        black.setResolution(c.pelsPerMeter, c.pelsPerMeter);
        Image fitted = fitInside(black, c.frame);
        EXPECT_EQ(fitted.width(), c.frame.turned ? c.frame.height : c.frame.width);
        EXPECT_EQ(fitted.height(), c.frame.turned ? c.frame.width : c.frame.height);
        const std::array<int, 4> box = inkBox(fitted);
        for (int k = 0; k < 4; ++k) EXPECT_NEAR(box[k], c.box[k], 1) << k;
        if (c.frame.xPelsPerMeter) {
            EXPECT_EQ(fitted.xPelsPerMeter(), c.frame.turned ? c.frame.yPelsPerMeter : c.frame.xPelsPerMeter);
            EXPECT_EQ(fitted.yPelsPerMeter(), c.frame.turned ? c.frame.xPelsPerMeter : c.frame.yPelsPerMeter);
        }
    }
    // Turned in the pass as a quarter turn counter-clockwise would turn it:
    // the top-left corner comes to the bottom left.
    // Gray and colour, shrunk and enlarged, each the way it is made fastest.
    for (PixelFormat format : {PixelFormat::Gray8, PixelFormat::Rgb24})
        for (int size : {500, 250}) {
            SCOPED_TRACE(std::to_string(size) + (format == PixelFormat::Gray8 ? " gray" : " colour"));
            Image marked(size, size * 3 / 4, format);
            const int ch = marked.channels();
            for (int y = 0; y < size / 5; ++y)
                for (int x = 0; x < size / 5 * ch; ++x) marked.row(y)[x] = static_cast<std::uint8_t>(x % 7 * 20);
            const Image turned = fitInside(marked, Frame{400, 300, 0, 0, true}, Resample::KeepStrokes);
            const Image straight = fitInside(marked, Frame{400, 300}, Resample::KeepStrokes);
            for (int y = 0; y < 300; ++y)
                for (int x = 0; x < 400; ++x)
                    for (int k = 0; k < ch; ++k)
                        ASSERT_EQ(turned.row(399 - x)[y * ch + k], straight.row(y)[x * ch + k]) << x << "," << y;
        }
    EXPECT_THROW(fitInside(Image(10, 10, PixelFormat::Gray8), Frame{0, 10}), Error);
}

TEST(Image, KeepingStrokesKeepsThinRulesDarkAndGapsAndFillsLight) {
    // One-pel rules at every phase, a pair of bars with a two-pel gap, and
    // a light fill, shrunk to 72 % as a page is shrunk to the fax shape.
    Image page(400, 400, PixelFormat::Gray8);
    for (int i = 0; i < 10; ++i)
        for (int x = 20; x < 380; ++x) page.row(20 + 7 * i + i % 3)[x] = 0;
    for (int y = 150; y < 250; ++y) {
        for (int x = 100; x < 104; ++x) page.row(y)[x] = 0;
        for (int x = 106; x < 110; ++x) page.row(y)[x] = 0;
    }
    for (int y = 300; y < 380; ++y)
        for (int x = 50; x < 350; ++x) page.row(y)[x] = 0xD9;
    auto darkest = [](const Image& img, int y0, int y1, int x) {
        int v = 255;
        for (int y = y0; y < y1; ++y) v = std::min<int>(v, img.row(y)[x]);
        return v;
    };
    const Image averaged = resize(page, 288, 288), kept = resize(page, 288, 288, Resample::KeepStrokes);
    // The worst-placed rule: averaging alone leaves it lighter than half,
    // so a cut at half would lose it; kept, it is dark enough to outlive a
    // fax.
    int worstAveraged = 0, worstKept = 0;
    for (int i = 0; i < 10; ++i) {
        const int y = (20 + 7 * i + i % 3) * 288 / 400;
        worstAveraged = std::max(worstAveraged, darkest(averaged, y - 1, y + 2, 144));
        worstKept = std::max(worstKept, darkest(kept, y - 1, y + 2, 144));
    }
    EXPECT_GT(worstAveraged, 128);
    EXPECT_LT(worstKept, 60);
    // The gap between the bars stays lighter than half; the fill stays light.
    int lightest = 0;
    for (int x = 72; x < 80; ++x) lightest = std::max<int>(lightest, kept.row(144)[x]);
    EXPECT_GT(lightest, 128);
    EXPECT_GT(kept.row(244)[144], 200);
    // Enlarging keeps everything as averaged.
    EXPECT_EQ(resize(page, 500, 500, Resample::KeepStrokes), resize(page, 500, 500));
}

TEST(Image, RowsHandedOverAreTheRowsOfTheResample) {
    Image page(123, 77, PixelFormat::Rgb24);
    for (int y = 0; y < 77; ++y)
        for (int x = 0; x < 123 * 3; ++x) page.row(y)[x] = static_cast<std::uint8_t>((x * 7 + y * 13) % 256);
    for (auto [w, h] : {std::pair{200, 150}, std::pair{100, 50}, std::pair{20, 10}, std::pair{123, 77}}) {
        SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
        const Image whole = resize(page, w, h);
        int rows = 0;
        resizeRows(page, w, h, [&](int y, const std::uint8_t* values) {
            EXPECT_EQ(y, rows++);
            EXPECT_EQ(0, std::memcmp(values, whole.row(y), whole.stride()));
        });
        EXPECT_EQ(rows, h);
    }
}

TEST(Image, GrayAndColourConvertBothWays) {
    Image rgb(2, 1, PixelFormat::Rgb24, 0);
    rgb.row(0)[0] = 255;  // pure red
    rgb.row(0)[3] = rgb.row(0)[4] = rgb.row(0)[5] = 200;
    Image gray = toGray(rgb);
    EXPECT_EQ(gray.row(0)[0], 76);
    EXPECT_EQ(gray.row(0)[1], 200);
    Image back = toRgb(gray);
    EXPECT_EQ(back.row(0)[3], 200);
    EXPECT_EQ(back.row(0)[0], 76);
}

}  // namespace
}  // namespace fg::image
