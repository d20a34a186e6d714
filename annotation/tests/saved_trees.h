// What the tests of saving and loading share: texts written line by line, a
// tree with an object of every kind (stamps of every depth among them),
// and a description of a tree by every attribute a save keeps, so that two
// trees compare as a whole.
#pragma once

#include "annotation/object.h"
#include "annotation/save_load.h"
#include "annotation/zentrel.h"
#include "platform/desktop/bitmap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <iomanip>
#include <locale>
#include <sstream>
#include <string>
#include <string_view>

namespace fg::annotation {

// Lines, each ended by CR LF.
inline std::string lines(std::initializer_list<std::string_view> each) {
    std::string out;
    for (std::string_view l : each) (out += l) += "\r\n";
    return out;
}

// A bitmap of the depth whose pels run through its palette of `colours`
// entries (0: none, for true colour).
inline desktop::Bitmap sampleBitmap(int bits, int width, int height, int colours) {
    image::Palette palette;
    for (int i = 0; i < colours; ++i)
        palette.push_back({std::uint8_t(40 * i), std::uint8_t(255 - 30 * i), std::uint8_t(7 * i + 1)});
    desktop::Bitmap b;
    EXPECT_TRUE(desktop::createBitmap(b, width, height, bits, colours ? &palette : nullptr, 0x1234, 0xABCDEF01));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if (colours) b.image.setIndex(x, y, static_cast<unsigned>(x + 3 * y) % colours);
            else b.image.setPixel(x, y, {std::uint8_t(x * 9), std::uint8_t(y * 13), std::uint8_t(x ^ y)});
        }
    return b;
}

inline std::string describeBitmap(const desktop::Bitmap& b) {
    if (!b.holdsBitmap()) return "-";
    std::ostringstream out;
    out << b.bitsPerPixel() << "b " << b.image.width() << "x" << b.image.height() << " " << b.attributes[0] << "/"
        << b.attributes[1] << " pels";
    for (int y = 0; y < b.image.height(); ++y)
        for (int x = 0; x < b.image.width(); ++x) {
            const image::Rgb c = b.image.pixel(x, y);
            out << " " << int(c.r) << "," << int(c.g) << "," << int(c.b);
        }
    return out.str();
}

// Every attribute a save keeps, as a load gives it back (flags as 0 or 1,
// the point list of the kinds drawn from it), object by object in tree
// order with the nesting; the bounds show that a load computed them.
inline std::string describe(AnnObject& root) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << std::setprecision(17);
    for (AnnObject* o = &root; o; o = annNextBelow(o, &root)) {
        int depth = 0;
        for (const AnnObject* c = o->Container; c && c != root.Container; c = c->Container) ++depth;
        out << std::string(depth * 2, ' ') << "kind " << o->Type << " visible " << (o->Visible != 0) << " tag " << o->Tag
            << " scalar " << o->ScalarX << "," << o->ScalarY << " offset " << o->OffsetX << "," << o->OffsetY
            << " colours " << o->ForeColor << "," << o->BackColor << " font " << (o->FontBold != 0)
            << (o->FontItalic != 0) << (o->FontStrikeThrough != 0) << (o->FontUnderline != 0) << " " << o->FontSize << " '" << o->FontName.view()
            << "' line " << o->LineWidth << "," << o->LineStyle << " fill " << o->FillPattern << "," << o->FillMode
            << "," << o->PolyFillMode << " text '" << o->Text.view() << "' bitmap " << describeBitmap(o->Bitmap)
            << " corners";
        for (const POINTD& p : o->Corners) out << " " << p.x << "," << p.y;
        out << " arrow";
        for (const POINTD& p : o->ArrowPoints) out << " " << p.x << "," << p.y;
        out << " points";
        const bool drawnFromPoints = o->Type == ANN_FREEHAND || o->Type == ANN_LINE || o->Type == ANN_POLYGON ||
                                     o->Type == ANN_POLYLINE;
        if (drawnFromPoints)
            for (std::uint32_t i = 0; i < o->PointCount; ++i) out << " " << o->Points.data()[i].x << "," << o->Points.data()[i].y;
        const desktop::Rect& b = o->BoundsRect;
        out << " bounds " << b.left << "," << b.top << "," << b.right << "," << b.bottom << "\n";
    }
    return out.str();
}

// The bytes of a saved format through the memory export.
inline std::string savedBytes(ANNHANDLE object, uint32_t format = ANN_FORMAT_ANNOTATION, bool selectedOnly = false) {
    ANNMEMORY block = 0;
    uint32_t size = 0;
    EXPECT_EQ(K_AnnSaveMemory(object, format, selectedOnly, &block, &size), ANN_SUCCESS);
    const auto* bytes = static_cast<const char*>(desktop::globalLock(block));
    std::string out = bytes ? std::string(bytes, size) : std::string();
    (void)desktop::globalUnlock(block);
    desktop::globalFree(block);
    return out;
}

// A root container holding an object of every kind, each with attributes
// other than its defaults and values a save writes exactly, a group with
// children and an empty group, and stamps of 1 to 32 bits (palettes
// with fewer colours than their depth allows among them).
inline ANNHANDLE everyKindTree() {
    ANNHANDLE root = 0;
    const RECTD area{0, 0, 400, 300};
    EXPECT_EQ(K_AnnCreateContainer(0, &area, 1, &root), ANN_SUCCESS);
    K_AnnSetTag(root, 4000000000u, 0);
    K_AnnSetBackColor(root, 0x123456, 0);
    auto item = [](ANNHANDLE in, uint32_t kind, bool visible = true) {
        ANNHANDLE h = 0;
        EXPECT_EQ(K_AnnCreateItem(in, kind, visible, &h), ANN_SUCCESS);
        return h;
    };
    auto place = [](ANNHANDLE h, RECTD r) { EXPECT_EQ(K_AnnSetRect(h, &r), ANN_SUCCESS); };
    auto trace = [](ANNHANDLE h, std::initializer_list<POINTD> pts) {
        EXPECT_EQ(K_AnnSetPoints(h, pts.begin(), static_cast<uint32_t>(pts.size())), ANN_SUCCESS);
    };
    auto fonts = [](ANNHANDLE h, bool bold, double size) {
        K_AnnSetFontBold(h, bold, 0);
        K_AnnSetFontItalic(h, !bold, 0);
        K_AnnSetFontStrikeThrough(h, 7, 0);  // any value other than 0 is kept as 1
        K_AnnSetFontUnderline(h, 0, 0);
        K_AnnSetFontSize(h, size, 0);
    };

    const ANNHANDLE arrow = item(root, ANN_ARROW);
    trace(arrow, {{10.5, 20.25}, {110, -3e-7}});
    K_AnnSetLineWidth(arrow, 2.5, 0);
    K_AnnSetForeColor(arrow, 0x0000FF, 0);

    const ANNHANDLE audio = item(root, ANN_AUDIO, false);
    place(audio, {5, 5, 37, 37});
    K_AnnSetText(audio, "/sounds/ring.wav", 0);

    const ANNHANDLE button = item(root, ANN_BUTTON);
    place(button, {40, 40, 120, 64});
    K_AnnSetText(button, "OK", 0);
    K_AnnSetTag(button, 7, 0);

    const ANNHANDLE ellipse = item(root, ANN_ELLIPSE);
    place(ellipse, {-20, 10, 60.125, 90});
    K_AnnSetFillPattern(ellipse, ANN_FILL_DIAGCROSS, 0);
    K_AnnSetFillMode(ellipse, ANN_FILLMODE_OPAQUE, 0);
    K_AnnSetScalarX(ellipse, 1.5, 0);
    K_AnnSetOffsetY(ellipse, -2.25, 0);

    const ANNHANDLE freehand = item(root, ANN_FREEHAND);
    trace(freehand, {{1, 1}, {2, 4}, {3, 9}, {4, 16}, {5, 25}});
    K_AnnSetLineStyle(freehand, ANN_LINE_DASHDOT, 0);

    const ANNHANDLE highlight = item(root, ANN_HIGHLIGHT);
    place(highlight, {100, 100, 200, 120});

    const ANNHANDLE hotspot = item(root, ANN_HOTSPOT);
    place(hotspot, {300, 10, 332, 42});

    const ANNHANDLE line = item(root, ANN_LINE);
    trace(line, {{0, 299}, {399, 0}});
    K_AnnSetLineWidth(line, 0, 0);

    const ANNHANDLE note = item(root, ANN_NOTE);
    place(note, {150, 150, 300, 250});
    K_AnnSetText(note, "Delivery by Friday.\r\nThe remaining 46 pieces follow next week.", 0);
    K_AnnSetFontName(note, "Liberation Serif", 0);
    fonts(note, true, 12.5);

    // A group holding a polygon and a polyline, and an empty group.
    ANNHANDLE group = 0;
    EXPECT_EQ(K_AnnCreateItem(root, ANN_CONTAINER, 1, &group), ANN_SUCCESS);
    place(group, {50, 50, 250, 250});
    K_AnnSetForeColor(group, 0x00FF00, 0);
    const ANNHANDLE polygon = item(group, ANN_POLYGON);
    trace(polygon, {{0, 0}, {30, 0}, {15, 25.5}});
    K_AnnSetPolyFillMode(polygon, ANN_POLYFILL_ALTERNATE, 0);
    K_AnnSetFillMode(polygon, ANN_FILLMODE_TRANSLUCENT, 0);
    const ANNHANDLE polyline = item(group, ANN_POLYLINE);
    trace(polyline, {{5, 5}, {6, 7}, {8, 5}, {9, 12}});
    ANNHANDLE empty = 0;
    EXPECT_EQ(K_AnnCreateItem(root, ANN_CONTAINER, 0, &empty), ANN_SUCCESS);
    place(empty, {1, 2, 3, 4});

    const ANNHANDLE rectangle = item(root, ANN_RECTANGLE);
    place(rectangle, {10, 200, 90, 280});
    K_AnnSetFillPattern(rectangle, ANN_FILL_VERTICAL, 0);
    const ANNHANDLE redaction = item(root, ANN_REDACTION);
    place(redaction, {200, 260, 380, 290});

    // Stamps: a text stamp and one of each depth.
    const ANNHANDLE stamp = item(root, ANN_STAMP);
    place(stamp, {320, 50, 390, 80});
    K_AnnSetText(stamp, "承認済", 0);
    fonts(stamp, false, 20);
    const struct {
        int bits, width, height, colours;
    } depths[] = {{1, 13, 3, 2}, {4, 5, 4, 3}, {8, 9, 2, 256}, {8, 3, 3, 17}, {16, 4, 2, 0}, {24, 7, 5, 0}, {32, 3, 2, 0}};
    double top = 90;
    for (const auto& d : depths) {
        const ANNHANDLE s = item(root, ANN_STAMP);
        place(s, {320, top, 320 + d.width * 4.0, top + d.height * 4.0});
        const desktop::Bitmap b = sampleBitmap(d.bits, d.width, d.height, d.colours);
        EXPECT_EQ(K_AnnSetBitmap(s, &b, 0), ANN_SUCCESS);
        K_AnnSetFontSize(s, 10, 0);
        top += 30;
    }

    const ANNHANDLE text = item(root, ANN_TEXT);
    place(text, {20, 120, 140, 160});
    K_AnnSetText(text, "納期回答\r\n２行目", 0);
    K_AnnSetFontName(text, "IPAGothic", 0);
    fonts(text, true, 9.75);
    K_AnnSetFillMode(text, ANN_FILLMODE_OPAQUE, 0);

    const ANNHANDLE automation = item(root, ANN_AUTOMATION, false);
    fonts(automation, false, 11);
    K_AnnSetLineWidth(automation, 3, 0);
    K_AnnSetPolyFillMode(automation, ANN_POLYFILL_ALTERNATE, 0);
    return root;
}

}  // namespace fg::annotation
