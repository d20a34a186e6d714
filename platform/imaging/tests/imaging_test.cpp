#include "platform/imaging/imaging_control.h"
#include "platform/imaging/jpeg.h"
#include "platform/imaging/rotate.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/image/bmp.h"
#include "platform/testing/temp_home.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace fg::image {
namespace {

// A page-like picture: white, with black bars and a gray patch.
Image page(int w, int h, PixelFormat f = PixelFormat::Gray8) {
    Image img(w, h, f);
    const int ch = img.channels();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t v = 255;
            if (y % 40 < 4 || (x > w / 3 && x < w / 3 + 5)) v = 0;
            else if (x > w / 2 && y > h / 2) v = 160;
            for (int k = 0; k < ch; ++k) img.row(y)[x * ch + k] = static_cast<std::uint8_t>(k == 0 || ch == 1 ? v : 255 - v / 2);
        }
    return img;
}

double meanDifference(const Image& a, const Image& b) {
    EXPECT_EQ(a.width(), b.width());
    EXPECT_EQ(a.height(), b.height());
    EXPECT_EQ(a.format(), b.format());
    if (a.pixels().size() != b.pixels().size()) return 255;
    double sum = 0;
    for (std::size_t i = 0; i < a.pixels().size(); ++i) sum += std::abs(int(a.pixels()[i]) - int(b.pixels()[i]));
    return sum / static_cast<double>(a.pixels().size());
}

TEST(Jpeg, KeepsGrayAndColourPagesCloseToTheOriginal) {
    for (PixelFormat f : {PixelFormat::Gray8, PixelFormat::Rgb24}) {
        const int bits = f == PixelFormat::Gray8 ? 8 : 24;
        SCOPED_TRACE(bits);
        Image img = page(301, 203, f);
        img.setResolution(7874, 7874);
        Image back = decodeJpeg(encodeJpeg(img, bits), true);
        EXPECT_LT(meanDifference(img, back), 8.0);  // colour is subsampled at sharp edges
    }
    // A gray page kept as a 24-bit copy: a colour file whose pels are the
    // page's grays, whatever its width and height.
    for (auto [w, h] : {std::pair{301, 203}, std::pair{2339, 17}, std::pair{32, 16}, std::pair{1, 1}}) {
        SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
        Image gray = page(w, h);
        Image back = decodeJpeg(encodeJpeg(gray, 24), true);
        ASSERT_EQ(back.format(), PixelFormat::Rgb24);
        EXPECT_LT(meanDifference(toRgb(gray), back), 4.0);
        int spread = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::uint8_t* p = back.row(y) + x * 3;
                spread = std::max({spread, std::abs(p[0] - p[1]), std::abs(p[1] - p[2])});
            }
        EXPECT_LE(spread, 2);
    }
    // Eight bits make a gray file of a colour picture.
    EXPECT_EQ(decodeJpeg(encodeJpeg(page(20, 10, PixelFormat::Rgb24), 8)).format(), PixelFormat::Gray8);
    EXPECT_THROW(encodeJpeg(page(20, 10), 1), Error);
}

TEST(Jpeg, KeepsTheSizeOfThePelsInWholePelsPerInch) {
    // Square pels at 200 per inch, the fax page's pels of a page kept as
    // sent (1200 x 1728 over 215 x 297 mm), and a picture that says nothing.
    struct Case {
        int x, y, readX, readY;
    } cases[] = {{7874, 7874, 7874, 7874}, {5581, 5818, 5591, 5827}, {0, 0, 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.x) + " x " + std::to_string(c.y));
        Image img = page(60, 40);
        img.setResolution(c.x, c.y);
        for (int bits : {8, 24}) {
            Image back = decodeJpeg(encodeJpeg(img, bits));
            EXPECT_EQ(back.xPelsPerMeter(), c.readX);
            EXPECT_EQ(back.yPelsPerMeter(), c.readY);
        }
    }
}

TEST(Jpeg, RefusesDamagedFilesAndStrictlyAlsoCutOffOnes) {
    testing::TempDir dir;
    const std::string good = encodeJpeg(page(200, 200), 8);
    const std::string cut = good.substr(0, good.size() / 2);
    EXPECT_NO_THROW(decodeJpeg(cut));  // a reader of old copies takes what is there
    struct Case {
        const char* what;
        std::string bytes;
        bool strict;
    } cases[] = {
        {"cut off", cut, true},
        {"not a JPEG", "BM not even a bitmap", false},
        {"empty", "", false},
        {"header only", good.substr(0, 20), false},
    };
    for (const Case& c : cases) {
        try {
            decodeJpeg(c.bytes, c.strict);
            ADD_FAILURE() << c.what;
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), 481) << c.what;
            EXPECT_NE(e.description().find("JPEG"), std::string::npos);
        }
    }
    try {
        readJpeg(dir / "none.jpg");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), errnum::FileNotFound);
    }
}

TEST(Rotate, QuarterTurnsGoCounterClockwiseExactly) {
    // 3 x 2:  1 2 3
    //         4 5 6
    Image img(3, 2, PixelFormat::Gray8);
    for (int i = 0; i < 6; ++i) img.pixels()[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i + 1);
    auto pels = [](const Image& i) { return std::vector<int>(i.pixels().begin(), i.pixels().end()); };
    Image ccw = rotate(img, 9000, true);
    EXPECT_EQ(ccw.width(), 2);
    EXPECT_EQ(ccw.height(), 3);
    EXPECT_EQ(pels(ccw), (std::vector<int>{3, 6, 2, 5, 1, 4}));  // the top row now runs up the left side
    EXPECT_EQ(pels(rotate(img, 18000, true)), (std::vector<int>{6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(pels(rotate(img, 27000, true)), (std::vector<int>{4, 1, 5, 2, 6, 3}));
    EXPECT_EQ(pels(rotate(img, -9000, true)), pels(rotate(img, 27000, true)));
    EXPECT_EQ(rotate(img, 36000, true), img);
    EXPECT_EQ(rotate(rotate(img, 9000, true), 27000, true), img);
    // Kept to its size, the turned picture is centred and the rest filled.
    Image kept = rotate(img, 9000, false, Rgb{0, 0, 0});
    EXPECT_EQ(kept.width(), 3);
    EXPECT_EQ(kept.height(), 2);
}

TEST(Rotate, OtherAnglesGrowThePictureAndFillTheCorners) {
    Image img(100, 60, PixelFormat::Rgb24, 0);
    Image r = rotate(img, 4500, true, Rgb{255, 0, 0});
    EXPECT_NEAR(r.width(), (100 + 60) / std::sqrt(2.0), 1.5);
    EXPECT_NEAR(r.height(), (100 + 60) / std::sqrt(2.0), 1.5);
    const std::uint8_t* corner = r.row(0);
    EXPECT_EQ(corner[0], 255);
    EXPECT_EQ(corner[1], 0);
    const std::uint8_t* centre = r.row(r.height() / 2) + (r.width() / 2) * 3;
    EXPECT_EQ(centre[0], 0);
    EXPECT_EQ(rotate(img, 4500, false).width(), 100);
}

TEST(ImagingControl, LoadsResizesTurnsAndSavesPages) {
    testing::TempDir dir;
    writeBmp(dir / "p.bmp", page(2339, 1654), 8);
    ImagingControl c;
    ASSERT_EQ(c.load(dir / "p.bmp"), 0);
    ASSERT_EQ(c.resize(1728.0f, 1200.0f, 1), 0);
    ASSERT_EQ(c.save(dir / "p.bmp", ImagingControl::kFormatBmp, 0, 0, false), 0);
    BmpSize s = readBmpSize(dir / "p.bmp");
    EXPECT_EQ(s.width, 1728);
    EXPECT_EQ(s.height, 1200);
    EXPECT_EQ(s.bitsPerPixel, 8);  // 0 keeps a gray picture gray
    ASSERT_EQ(c.load(dir / "p.bmp"), 0);
    ASSERT_EQ(c.rotate(9000, true, 0xFFFFFF), 0);
    ASSERT_EQ(c.save(dir / "p.jpg", ImagingControl::kFormatJpeg, 24, 2, false), 0);
    EXPECT_EQ(c.check(dir / "p.jpg", 1), 0);
    // A JPEG loads as well, told apart by its content, whatever its name.
    fs::copyFile(dir / "p.jpg", dir / "copy.bmp");
    ASSERT_EQ(c.load(dir / "copy.bmp"), 0);
    EXPECT_EQ(c.picture().width(), 1200);
    EXPECT_EQ(c.picture().height(), 1728);
    EXPECT_EQ(c.picture().format(), PixelFormat::Rgb24);
    ASSERT_EQ(c.save(dir / "one.bmp", ImagingControl::kFormatBmp, 1), 0);
    EXPECT_EQ(readBmpSize(dir / "one.bmp").bitsPerPixel, 1);
    EXPECT_FALSE(c.lastError());
}

TEST(ImagingControl, FitsAPictureInPelsOfAnotherShapeKeepingWhatItShows) {
    // A picture twice as wide as high, in square pels, fitted into 100 x 100
    // pels that are each twice as wide as high on paper: it fills them.
    // In pels of its own shape it keeps a white band above and below.
    Image black(200, 100, PixelFormat::Gray8, 0);
    black.setResolution(2000, 2000);
    struct Case {
        int x, y;
        int inkRows;
    } cases[] = {{1000, 2000, 100}, {0, 0, 50}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.x);
        ImagingControl c;
        c.setPicture(black);
        ASSERT_EQ(c.resize(100.0f, 100.0f, 1, k.x, k.y), 0);
        const Image& fitted = c.picture();
        ASSERT_EQ(fitted.width(), 100);
        ASSERT_EQ(fitted.height(), 100);
        int inkRows = 0;
        for (int y = 0; y < 100; ++y) inkRows += fitted.row(y)[50] < 128;
        EXPECT_NEAR(inkRows, k.inkRows, 1);
    }
}

TEST(ImagingControl, ReportsEveryFailureWithItsErrorAndKeepsThePicture) {
    testing::TempDir dir;
    writeBmp(dir / "p.bmp", page(40, 30), 8);
    const std::string good = encodeJpeg(page(200, 200), 8);
    fs::writeFileAtomic(dir / "cut.jpg", good.substr(0, good.size() - 200));
    fs::writeFileAtomic(dir / "junk.bmp", "junk");
    ImagingControl c;
    EXPECT_EQ(c.resize(10, 10, 1), errnum::ObjectNotSet);
    EXPECT_EQ(c.save(dir / "x.bmp", 6, 8), errnum::ObjectNotSet);
    ASSERT_EQ(c.load(dir / "p.bmp"), 0);
    struct Case {
        const char* what;
        std::function<short()> op;
        short status;
    } cases[] = {
        {"missing file", [&] { return c.load(dir / "none.bmp"); }, errnum::FileNotFound},
        {"no picture in it", [&] { return c.load(dir / "junk.bmp"); }, 481},
        {"resize flag", [&] { return c.resize(10, 10, 2); }, 380},
        {"resize to nothing", [&] { return c.resize(0, 10, 1); }, 380},
        {"resize too far", [&] { return c.resize(1e9f, 10, 1); }, 380},
        {"resize into pels of no size", [&] { return c.resize(10, 10, 1, -5, 5); }, 380},
        {"resize into pels of half a size", [&] { return c.resize(10, 10, 1, 5000, 0); }, 380},
        {"unknown format", [&] { return c.save(dir / "x.tif", 7, 8); }, 380},
        {"bitmap depth", [&] { return c.save(dir / "x.bmp", 6, 4); }, 380},
        {"JPEG depth", [&] { return c.save(dir / "x.jpg", 10, 1); }, 380},
        {"missing folder", [&] { return c.save(dir / "no/x.bmp", 6, 8); }, errnum::PathNotFound},
        {"check a cut-off JPEG", [&] { return c.check(dir / "cut.jpg", 1); }, 481},
        {"check a bitmap", [&] { return c.check(dir / "p.bmp", 1); }, 481},
        {"check nothing", [&] { return c.check(dir / "none.jpg", 1); }, errnum::FileNotFound},
        // A copy changed after this control wrote it does not pass as
        // written, even when it is a good JPEG file of its own.
        {"check a copy changed since",
         [&] {
             EXPECT_EQ(c.save(dir / "copy.jpg", 10, 24), 0);
             fs::writeFileAtomic(dir / "copy.jpg", good);
             return c.check(dir / "copy.jpg", 1);
         },
         481},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(k.op(), k.status) << k.what;
        ASSERT_TRUE(c.lastError()) << k.what;
        EXPECT_EQ(c.lastError()->number(), k.status) << k.what;
        EXPECT_EQ(c.picture().width(), 40) << k.what;
    }
    EXPECT_FALSE(fs::fileExists(dir / "x.bmp"));
    c.clear();
    EXPECT_FALSE(c.hasPicture());
}

}  // namespace
}  // namespace fg::image
