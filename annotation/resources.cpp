#include "annotation/resources.h"

#include "platform/desktop/raster_dc.h"

#include <array>
#include <functional>
#include <map>

namespace fg::annotation {

using desktop::Brush;
using desktop::Color;
using desktop::Pen;
using desktop::Point;
using desktop::Rect;
using desktop::rgb;
using image::Image;

namespace {

constexpr Color kBlack = 0x000000, kGray = 0x808080, kSilver = 0xC0C0C0, kWhite = 0xFFFFFF, kRed = rgb(255, 0, 0),
                kYellow = rgb(255, 255, 0), kNavy = rgb(0, 0, 128), kBlue = rgb(0, 0, 255), kGreen = rgb(0, 128, 0),
                kTeal = rgb(0, 128, 128);

image::Palette standardColours() {
    return {{0, 0, 0},     {128, 0, 0},   {0, 128, 0},     {128, 128, 0},   {0, 0, 128},   {128, 0, 128},
            {0, 128, 128}, {192, 192, 192}, {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
            {0, 0, 255},   {255, 0, 255}, {0, 255, 255},   {255, 255, 255}};
}

// A picture drawn on a background colour, kept in 4 bits.
Image draw(int width, int height, Color background, const std::function<void(desktop::DeviceContext&)>& paint) {
    Image img(width, height, image::PixelFormat::Rgb32);
    {
        desktop::RasterDC dc(img);
        dc.fillRect({0, 0, width, height}, Brush::solid(background));
        paint(dc);
    }
    return image::convert(img, image::PixelFormat::Indexed4, standardColours());
}

void shape(desktop::DeviceContext& dc, Color pen, Color fill, int width = 1) {
    dc.selectPen({desktop::PS_SOLID, width, pen});
    dc.selectBrush(fill == 0xFFFFFFFF ? Brush::hollow() : Brush::solid(fill));
}

// A loudspeaker, in its colours or as a black silhouette; with sound waves
// when it plays.
void speaker(desktop::DeviceContext& dc, bool silhouette, bool playing) {
    const Color outline = silhouette ? kBlack : kNavy;
    shape(dc, outline, silhouette ? kBlack : kGray);
    dc.rectangle({5, 12, 12, 21});
    shape(dc, outline, silhouette ? kBlack : kSilver);
    const Point cone[] = {{11, 12}, {19, 5}, {19, 27}, {11, 20}};
    dc.polygon(cone);
    if (!playing) return;
    dc.save();
    dc.intersectClipRect({22, 0, 32, 32});
    shape(dc, silhouette ? kBlack : kYellow, 0xFFFFFFFF, 2);
    dc.ellipse({10, 8, 27, 25});
    dc.ellipse({5, 3, 31, 29});
    (void)dc.restore();
}

// The tool images, in tool order, each in a 16 x 15 cell.
void tool(desktop::DeviceContext& dc, int index) {
    auto pts = [&](std::initializer_list<Point> list) {
        std::vector<Point> v(list);
        for (Point& p : v) p.x += index * 16;
        return v;
    };
    const int x = index * 16;
    switch (index) {
    case 0: shape(dc, kBlack, kWhite), dc.polygon(pts({{5, 1}, {5, 12}, {8, 9}, {10, 13}, {11, 12}, {9, 8}, {12, 8}})); break;
    case 1: shape(dc, kBlack, 0xFFFFFFFF), dc.polyline(pts({{2, 12}, {13, 2}})); break;
    case 2: shape(dc, kBlack, 0xFFFFFFFF), dc.rectangle({x + 2, 3, x + 14, 12}); break;
    case 3: shape(dc, kBlack, 0xFFFFFFFF), dc.ellipse({x + 1, 3, x + 15, 12}); break;
    case 4: shape(dc, kBlack, 0xFFFFFFFF), dc.polyline(pts({{1, 12}, {5, 3}, {9, 10}, {14, 2}})); break;
    case 5: shape(dc, kBlack, kTeal), dc.polygon(pts({{2, 12}, {4, 3}, {12, 2}, {14, 9}, {8, 13}})); break;
    case 6:
        shape(dc, kBlack, kBlack), dc.polyline(pts({{2, 12}, {12, 3}})), dc.polygon(pts({{13, 2}, {8, 3}, {12, 7}}));
        break;
    case 7: shape(dc, kBlue, 0xFFFFFFFF), dc.polyline(pts({{1, 9}, {3, 5}, {5, 9}, {7, 12}, {9, 6}, {11, 3}, {14, 7}})); break;
    case 8: shape(dc, kYellow, kYellow), dc.rectangle({x + 1, 4, x + 15, 11}); break;
    case 9: shape(dc, kBlack, kBlack), dc.rectangle({x + 1, 4, x + 15, 11}); break;
    case 10:
        shape(dc, kBlack, kBlack);
        dc.polygon(pts({{3, 13}, {7, 2}, {9, 2}, {13, 13}, {11, 13}, {10, 10}, {6, 10}, {5, 13}}));
        shape(dc, kSilver, kSilver), dc.rectangle({x + 7, 6, x + 10, 8});
        break;
    case 11:
        shape(dc, kBlack, kYellow), dc.rectangle({x + 2, 2, x + 13, 13});
        shape(dc, kGray, kGray), dc.rectangle({x + 4, 13, x + 15, 15}), dc.rectangle({x + 13, 4, x + 15, 15});
        break;
    case 12:
        shape(dc, kRed, 0xFFFFFFFF, 2), dc.ellipse({x + 2, 1, x + 14, 13});
        shape(dc, kRed, kRed), dc.rectangle({x + 6, 5, x + 10, 9});
        break;
    case 13:
        shape(dc, kBlack, kSilver), dc.rectangle({x + 1, 3, x + 15, 12});
        shape(dc, kWhite, 0xFFFFFFFF), dc.polyline(pts({{2, 10}, {2, 4}, {13, 4}}));
        break;
    case 14:
        shape(dc, kRed, 0xFFFFFFFF), dc.ellipse({x + 3, 2, x + 13, 12});
        dc.polyline(pts({{8, 0}, {8, 14}})), dc.polyline(pts({{1, 7}, {15, 7}}));
        break;
    default:
        shape(dc, kNavy, kGray), dc.rectangle({x + 2, 5, x + 6, 10});
        shape(dc, kNavy, kSilver), dc.polygon(pts({{6, 5}, {11, 1}, {11, 13}, {6, 9}}));
        shape(dc, kGreen, 0xFFFFFFFF), dc.polyline(pts({{13, 4}, {14, 7}, {13, 10}}));
        break;
    }
}

Image makeBitmap(int id) {
    switch (id) {
    case kAudioImage: return draw(32, 32, kBlack, [](auto& dc) { speaker(dc, false, false); });
    case kAudioMask: return draw(32, 32, kWhite, [](auto& dc) { speaker(dc, true, false); });
    case kActiveAudioImage: return draw(32, 32, kBlack, [](auto& dc) { speaker(dc, false, true); });
    case kActiveAudioMask: return draw(32, 32, kWhite, [](auto& dc) { speaker(dc, true, true); });
    case kHotspotImage:
        return draw(32, 32, kWhite, [](auto& dc) {
            shape(dc, kRed, 0xFFFFFFFF, 2);
            dc.ellipse({4, 4, 28, 28});
            dc.ellipse({11, 11, 21, 21});
            shape(dc, kRed, 0xFFFFFFFF);
            const Point v[] = {{15, 0}, {15, 31}}, h[] = {{0, 15}, {31, 15}};
            dc.polyline(v);
            dc.polyline(h);
        });
    case kToolStrip:
        return draw(256, 15, kSilver, [](auto& dc) {
            for (int i = 0; i < 16; ++i) tool(dc, i);
        });
    default: return {};
    }
}

// A cursor drawn in black and white on a key colour that becomes its mask.
desktop::CursorShape makeCursor(Point hotspot, const std::function<void(desktop::DeviceContext&)>& paint) {
    constexpr Color kKey = rgb(255, 0, 255);
    Image img(32, 32, image::PixelFormat::Rgb32);
    {
        desktop::RasterDC dc(img);
        dc.fillRect({0, 0, 32, 32}, Brush::solid(kKey));
        paint(dc);
    }
    desktop::CursorShape s{Image(32, 32, image::PixelFormat::Indexed1, 0), Image(32, 32, image::PixelFormat::Indexed1),
                           hotspot};
    s.picture.setPalette({{0, 0, 0}, {255, 255, 255}});
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const image::Rgb c = img.pixel(x, y);
            if (c == image::Rgb{255, 0, 255}) continue;
            s.mask.setIndex(x, y, 0);
            s.picture.setIndex(x, y, c.r > 128 ? 1 : 0);
        }
    return s;
}

}  // namespace

const Image& resourceBitmap(int id) {
    static std::map<int, Image> made;
    auto it = made.find(id);
    if (it == made.end()) it = made.emplace(id, makeBitmap(id)).first;
    return it->second;
}

desktop::CursorShape resourceCursor(int id) {
    switch (id) {
    case kCursorDrawOver:  // a cross hair
        return makeCursor({15, 15}, [](auto& dc) {
            shape(dc, kWhite, kWhite);
            dc.rectangle({14, 3, 17, 28}), dc.rectangle({3, 14, 28, 17});
            shape(dc, kBlack, kBlack);
            dc.rectangle({15, 4, 16, 27}), dc.rectangle({4, 15, 27, 16});
        });
    case kCursorHandle:  // a square handle with a diagonal double arrow
        return makeCursor({15, 15}, [](auto& dc) {
            shape(dc, kBlack, kWhite);
            const Point arrow[] = {{4, 4}, {12, 4}, {9, 7}, {24, 22}, {27, 19}, {27, 27}, {19, 27}, {22, 24}, {7, 9}, {4, 12}};
            dc.polygon(arrow);
            shape(dc, kBlack, kBlack);
            dc.rectangle({13, 13, 18, 18});
        });
    case kCursorRun:  // a pointing hand
        return makeCursor({10, 1}, [](auto& dc) {
            shape(dc, kBlack, kWhite);
            const Point hand[] = {{9, 1}, {12, 1}, {12, 11}, {20, 12}, {23, 15}, {22, 25}, {19, 29}, {11, 29}, {5, 19}, {6, 16}, {9, 18}};
            dc.polygon(hand);
        });
    case kCursorBody:  // four arrows: the object moves
        return makeCursor({15, 15}, [](auto& dc) {
            shape(dc, kBlack, kWhite);
            const Point cross[] = {{15, 1},  {20, 6},  {17, 6},  {17, 13}, {24, 13}, {24, 10}, {29, 15}, {24, 20},
                                   {24, 17}, {17, 17}, {17, 24}, {20, 24}, {15, 29}, {10, 24}, {13, 24}, {13, 17},
                                   {6, 17},  {6, 20},  {1, 15},  {6, 10},  {6, 13},  {13, 13}, {13, 6},  {10, 6}};
            dc.polygon(cross);
        });
    default: return {};
    }
}

}  // namespace fg::annotation
