#include "platform/desktop/drawing.h"
#include "platform/desktop/raster_dc.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace fg::desktop {
namespace {

using image::Image;
using image::PixelFormat;
using image::Rgb;

Image noise(int w, int h, unsigned seed) {
    Image img(w, h, PixelFormat::Rgb32, 0);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, Rgb{std::uint8_t(rng()), std::uint8_t(rng()), std::uint8_t(rng())});
    return img;
}

Rgb colourOf(Color c) { return {std::uint8_t(c), std::uint8_t(c >> 8), std::uint8_t(c >> 16)}; }

// Every drawing call the interactive outlines make, with the pens they use:
// drawn twice with an inverting operation, the surface is as before, bit
// for bit, while one drawing changed it.
TEST(RasterDC, OutlinesDrawnTwiceWithXorOrNotRestoreEveryPel) {
    const Point rotated[] = {{20, 5}, {5, 30}, {40, 60}, {55, 35}};
    const Point star[] = {{30, 2}, {10, 60}, {60, 20}, {0, 20}, {50, 60}};
    struct Case {
        const char* what;
        Pen pen;
        Brush brush;
        std::function<void(DeviceContext&)> draw;
    } cases[] = {
        {"rectangle", {PS_SOLID, 0, 0xFFFFFF}, Brush::hollow(), [](DeviceContext& dc) { dc.rectangle({3, 4, 50, 41}); }},
        {"filled rectangle, wide pen", {PS_SOLID, 5, 0x123456}, Brush::solid(0xABCDEF),
         [](DeviceContext& dc) { dc.rectangle({50, 40, 6, 3}); }},
        {"ellipse", {PS_SOLID, 1, 0xFFFFFF}, Brush::hollow(), [](DeviceContext& dc) { dc.ellipse({2, 3, 61, 50}); }},
        {"rotated box", {PS_SOLID, 3, 0xFF00FF}, Brush::hatched(HS_DIAGCROSS, 0x00FF00),
         [&](DeviceContext& dc) { dc.polygon(rotated); }},
        {"self-crossing polygon", {PS_SOLID, 0, 0xFFFFFF}, Brush::solid(0x0000FF),
         [&](DeviceContext& dc) { dc.polygon(star); }},
        {"polyline", {PS_SOLID, 7, 0xFFFFFF}, Brush::hollow(), [&](DeviceContext& dc) { dc.polyline(star); }},
        {"dashed line, opaque gaps", {PS_DASHDOT, 1, 0x00FFFF}, Brush::hollow(),
         [&](DeviceContext& dc) { dc.polygon(rotated); }},
        {"handle inversion", {}, Brush::hollow(), [](DeviceContext& dc) { dc.patBlt({10, 10, 17, 17}, DSTINVERT); }},
    };
    for (int rop2 : {R2_XORPEN, R2_NOT}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (rop2 == R2_NOT ? " (not)" : " (xor)"));
            const Image before = noise(64, 64, 7);
            Image surface = before;
            RasterDC dc(surface);
            dc.setRop2(rop2);
            dc.selectPen(c.pen);
            dc.selectBrush(c.brush);
            dc.intersectClipRect({1, 1, 63, 58});
            c.draw(dc);
            EXPECT_NE(surface, before);
            c.draw(dc);
            EXPECT_EQ(surface, before);
        }
    }
}

// A translucent fill is the AND of the fill colour and what lies below.
TEST(RasterDC, MaskPenCombinesColoursExactly) {
    const Color below[] = {0x000000, 0xFFFFFF, 0x808080, 0x123456, 0xF0F0F0, 0x0F0FFF};
    const Color yellow = 0x00FFFF;
    Image surface(6, 1, PixelFormat::Rgb32, 0);
    for (int x = 0; x < 6; ++x) surface.setPixel(x, 0, colourOf(below[x]));
    RasterDC dc(surface);
    dc.setRop2(R2_MASKPEN);
    dc.selectPen({PS_NULL, 0, 0});
    dc.selectBrush(Brush::solid(yellow));
    dc.rectangle({0, 0, 6, 1});
    for (int x = 0; x < 6; ++x) EXPECT_EQ(surface.pixel(x, 0), colourOf(below[x] & yellow)) << x;
}

// A rectangle covers exactly the pels from left to right - 1 and top to
// bottom - 1, its thin outline on the outermost of them, whichever corner
// comes first.
TEST(RasterDC, RectangleFillsExactlyItsPelSpan) {
    struct Case {
        Rect r;
        Pen pen;
    } cases[] = {
        {{3, 4, 9, 12}, {PS_NULL, 0, 0}}, {{3, 4, 9, 12}, {PS_SOLID, 0, 0xFF}}, {{9, 12, 3, 4}, {PS_SOLID, 1, 0xFF}},
        {{5, 5, 6, 6}, {PS_NULL, 0, 0}},  {{5, 5, 6, 6}, {PS_SOLID, 1, 0xFF}},  {{0, 0, 16, 16}, {PS_SOLID, 0, 0xFF}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.r.left) + "," + std::to_string(c.r.top) + "," + std::to_string(c.r.right) + "," +
                     std::to_string(c.r.bottom) + " pen " + std::to_string(c.pen.style));
        Image surface(16, 16, PixelFormat::Rgb32);
        RasterDC dc(surface);
        dc.selectPen(c.pen);
        dc.selectBrush(Brush::solid(0x00FF00));
        dc.rectangle(c.r);
        const Rect n = normalized(c.r);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const bool inside = n.contains({x, y});
                const bool edge = inside && (x == n.left || x == n.right - 1 || y == n.top || y == n.bottom - 1);
                const Rgb expected = !inside ? Rgb{}
                                     : edge && c.pen.style != PS_NULL ? Rgb{255, 0, 0}
                                                                       : Rgb{0, 255, 0};
                ASSERT_EQ(surface.pixel(x, y), expected) << x << "," << y;
            }
    }
}

// The blits of the icons, the note's shadow and the tool bar's checked look.
TEST(RasterDC, BlitsCombinePatternSourceAndDestinationByTheirTable) {
    Image source(2, 1, PixelFormat::Rgb24, 0);
    source.setPixel(0, 0, {0xF0, 0x0F, 0x55});
    source.setPixel(1, 0, {0x0F, 0xF0, 0xAA});
    Image mask(2, 1, PixelFormat::Indexed1, 0);
    mask.setIndex(1, 0, 1);
    const Rgb d{0x3C, 0xC3, 0x99};
    const Rgb s0{0xF0, 0x0F, 0x55};
    struct Case {
        const char* what;
        std::uint32_t rop;
        const Image* src;
        Rgb at0;  // result at the first pel
    } cases[] = {
        {"copy", SRCCOPY, &source, s0},
        {"and", SRCAND, &source, {0x30, 0x03, 0x11}},
        {"paint", SRCPAINT, &source, {0xFC, 0xCF, 0xDD}},
        {"pattern and destination", kPatternAndDestination, nullptr, {0x00, 0x00, 0x99}},
        {"mask 0 takes the text colour", SRCCOPY, &mask, {0x00, 0x00, 0x00}},
        {"pattern where the source is set", kPatternWhereSource, &mask, d},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Image surface(4, 2, PixelFormat::Rgb32, 0);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 4; ++x) surface.setPixel(x, y, d);
        RasterDC dc(surface);
        dc.selectBrush(Brush::solid(rgb(0, 0, 0xFF)));
        if (c.src) dc.stretchBlt({0, 0, 4, 2}, *c.src, {0, 0, 2, 1}, c.rop);
        else dc.patBlt({0, 0, 4, 2}, c.rop);
        EXPECT_EQ(surface.pixel(0, 0), c.at0);
        EXPECT_EQ(surface.pixel(1, 1), c.at0);  // stretched twice in both directions
    }
    // A mask's 1 pels take the background colour; through kPatternWhereSource
    // they show the pattern.
    Image surface(2, 1, PixelFormat::Rgb32, 0);
    RasterDC dc(surface);
    dc.selectBrush(Brush::solid(rgb(1, 2, 3)));
    dc.stretchBlt({0, 0, 2, 1}, mask, {0, 0, 2, 1}, kPatternWhereSource);
    EXPECT_EQ(surface.pixel(0, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(surface.pixel(1, 0), (Rgb{1, 2, 3}));
}

TEST(RasterDC, ClipRegionsAndSavedStatesLimitDrawing) {
    Image surface(20, 20, PixelFormat::Rgb32);
    RasterDC dc(surface);
    dc.selectPen({PS_NULL, 0, 0});
    dc.selectBrush(Brush::solid(0));
    const int level = dc.save();
    const Point triangle[] = {{0, 0}, {19, 0}, {0, 19}};
    const Region region = Region::polygon(triangle, WINDING);
    dc.selectClipRegion(&region);
    dc.intersectClipRect({0, 0, 20, 10});
    dc.rectangle({0, 0, 20, 20});
    EXPECT_EQ(surface.pixel(2, 2), (Rgb{0, 0, 0}));
    EXPECT_EQ(surface.pixel(17, 17), Rgb{});  // outside the triangle
    EXPECT_EQ(surface.pixel(2, 12), Rgb{});   // outside the rectangle
    EXPECT_TRUE(dc.restore(level));
    EXPECT_FALSE(dc.restore(level));
    EXPECT_EQ(dc.clipBox(), (Rect{0, 0, 20, 20}));
    dc.rectangle({15, 15, 20, 20});
    EXPECT_EQ(surface.pixel(17, 17), (Rgb{0, 0, 0}));
}

TEST(RasterDC, TextIsWrittenFromItsCellCornerAndTurnsWithItsEscapement) {
    Image surface(200, 200, PixelFormat::Rgb32);
    RasterDC dc(surface);
    Font font;
    font.height = -20;
    font.faceName = "Arial";
    dc.selectFont(font);
    const Size extent = dc.textExtent("AaBbYyZz");
    const TextMetrics m = dc.textMetrics();
    EXPECT_GT(extent.cx, 60);
    EXPECT_EQ(extent.cy, m.height);
    EXPECT_GE(m.height, 20);
    dc.setBkMode(TRANSPARENT);
    dc.textOut({100, 100}, "AaBbYyZz");
    auto inked = [&](Rect r) {
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                if (surface.pixel(x, y) != Rgb{}) return true;
        return false;
    };
    EXPECT_TRUE(inked({100, 100, 100 + extent.cx, 100 + m.height}));
    EXPECT_FALSE(inked({0, 0, 100, 200}));
    EXPECT_FALSE(inked({100, 0, 200, 99}));
    // Turned a quarter counter-clockwise, it runs upwards from the corner.
    surface = Image(200, 200, PixelFormat::Rgb32);
    font.escapement = 900;
    dc.selectFont(font);
    dc.textOut({100, 100}, "AaBbYyZz");
    EXPECT_TRUE(inked({100, 100 - extent.cx, 100 + m.height, 100}));
    EXPECT_FALSE(inked({0, 101, 200, 200}));
    // Broken into lines inside a rectangle, clipped to it.
    surface = Image(200, 200, PixelFormat::Rgb32);
    font.escapement = 0;
    dc.selectFont(font);
    const int height = dc.drawText("one two three four\r\nfive", {10, 10, 80, 60}, DT_WORDBREAK | DT_NOPREFIX);
    EXPECT_GE(height, 3 * m.height);
    EXPECT_FALSE(inked({80, 0, 200, 200}));
    EXPECT_FALSE(inked({0, 60, 200, 200}));
}

// A box wider than the text engine's widths hold (a note of a hostile
// file) breaks its text as the widest box does, without overflowing.
TEST(RasterDC, TextInABoxWiderThanTheEngineMeasuresKeepsToItsLines) {
    Image surface(20, 20, PixelFormat::Rgb32);
    RasterDC dc(surface);
    const int lineHeight = dc.textMetrics().height;
    EXPECT_EQ(dc.drawText("one two\nthree", {0, 0, 3'000'000, 20}, DT_WORDBREAK | DT_NOPREFIX), 2 * lineHeight);
}

}  // namespace
}  // namespace fg::desktop
