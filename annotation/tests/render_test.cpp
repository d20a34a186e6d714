// Drawing: pels where they are fixed (fills, masks, inverted handles,
// hidden subtrees, realising into a bitmap, print scaling), and the
// recording back-end where what matters is the call (text, fonts, faces,
// pens).
#include "annotation/paint.h"
#include "annotation/properties.h"
#include "annotation/resources.h"
#include "engine_fixture.h"
#include "platform/desktop/bitmap.h"
#include "platform/desktop/metafile.h"
#include "platform/desktop/system.h"
#include "platform/text.h"

#include <functional>
#include <string>

namespace fg::annotation {
namespace {

using desktop::Color;
using desktop::MetafileRecord;
using desktop::Rect;
using image::Image;
namespace meta = desktop::meta;

constexpr Color kWhite = 0xFFFFFF, kBlack = 0, kRed = 0x0000FF, kBlue = 0xFF0000, kYellow = 0x00FFFF,
                kGrey = 0x808080;

Image page(int w, int h, Color fill = kWhite) {
    Image img(w, h, image::PixelFormat::Rgb32);
    desktop::RasterDC dc(img);
    dc.fillRect({0, 0, w, h}, desktop::Brush::solid(fill));
    return img;
}

Color at(const Image& img, int x, int y) {
    const image::Rgb c = img.pixel(x, y);
    return desktop::rgb(c.r, c.g, c.b);
}

std::vector<MetafileRecord> recorded(const std::function<void(desktop::DeviceContext&)>& draw) {
    desktop::MetafileRecorder recorder;
    draw(recorder);
    return desktop::metafileRecords(recorder.close());
}

std::vector<MetafileRecord> only(const std::vector<MetafileRecord>& records, std::uint16_t function) {
    std::vector<MetafileRecord> out;
    for (const MetafileRecord& r : records)
        if (r.function == function) out.push_back(r);
    return out;
}

// A TEXTOUT record's point and bytes.
struct TextOut {
    int x, y;
    std::string bytes;
};
TextOut textOut(const MetafileRecord& r) {
    const std::size_t count = r.params[0], words = (count + 1) / 2;
    std::string bytes;
    for (std::size_t i = 0; i < count; ++i) bytes += static_cast<char>(r.params[1 + i / 2] >> (8 * (i % 2)));
    return {static_cast<std::int16_t>(r.params[2 + words]), static_cast<std::int16_t>(r.params[1 + words]), bytes};
}

// The metrics the engine's text uses, measured as the engine does.
desktop::TextMetrics metricsOf(const desktop::Font& font, desktop::Size* extent = nullptr, const std::string& text = {}) {
    Image img(1, 1, image::PixelFormat::Rgb32);
    desktop::RasterDC dc(img);
    dc.selectFont(font);
    if (extent) *extent = dc.textExtent(text);
    return dc.textMetrics();
}

struct Pel {
    int x, y;
    Color colour;
};
void expectPels(const Image& img, std::initializer_list<Pel> pels) {
    for (const Pel& p : pels) EXPECT_EQ(at(img, p.x, p.y), p.colour) << p.x << "," << p.y;
}

class Render : public EngineTest {
protected:
    // The tree drawn onto a page of 200 x 100 pels.
    static Image drawn(ANNHANDLE top, Color background = kWhite) {
        Image img = page(200, 100, background);
        desktop::RasterDC dc(img);
        EXPECT_EQ(K_AnnDraw(&dc, nullptr, top), ANN_SUCCESS);
        return img;
    }
    // A root of 200 x 100 pels whose bounds are exactly that.
    ANNHANDLE root() {
        const ANNHANDLE h = container(0, {0, 0, 199, 99});
        K_AnnSetLineWidth(h, 0, 0);
        return h;
    }
    // A container over the root's area.
    static ANNHANDLE group(ANNHANDLE in, bool visible) {
        ANNHANDLE h = 0;
        EXPECT_EQ(K_AnnCreateItem(in, ANN_CONTAINER, visible, &h), ANN_SUCCESS);
        const RECTD area{0, 0, 199, 99};
        K_AnnSetRect(h, &area);
        return h;
    }
    static ANNHANDLE filled(ANNHANDLE in, uint32_t kind, RECTD r, Color back, uint32_t mode = ANN_FILLMODE_OPAQUE) {
        const ANNHANDLE h = box(in, kind, r);
        K_AnnSetBackColor(h, back, 0);
        K_AnnSetFillMode(h, mode, 0);
        K_AnnSetLineStyle(h, ANN_LINE_NONE, 0);
        return h;
    }
};

TEST_F(Render, FillsFollowTheirModeAndPattern) {
    const ANNHANDLE top = root();
    filled(top, ANN_RECTANGLE, {10, 10, 40, 40}, kRed);
    const ANNHANDLE outline = box(top, ANN_RECTANGLE, {50, 10, 80, 40});
    const ANNHANDLE hatch = box(top, ANN_RECTANGLE, {90, 10, 130, 40});
    K_AnnSetFillPattern(hatch, ANN_FILL_HORIZONTAL, 0);
    K_AnnSetForeColor(hatch, kBlue, 0);
    K_AnnSetLineStyle(hatch, ANN_LINE_NONE, 0);
    box(top, ANN_REDACTION, {140, 10, 170, 40});
    box(top, ANN_HIGHLIGHT, {150, 20, 190, 50});  // over the redaction and the page
    expectPels(drawn(top), {
                               {25, 25, kRed},    {45, 25, kWhite},                     // opaque fill
                               {65, 25, kWhite},  {50, 25, kBlack},  {80, 25, kBlack},  // transparent fill, its outline
                               {100, 16, kBlue},  {100, 17, kWhite}, {100, 24, kBlue},  // hatch lines every eighth row
                               {145, 15, kBlack},                                       // redaction
                               {155, 25, kBlack}, {180, 45, kYellow}, {188, 22, kYellow},  // the highlighter: black stays black
                           });
    (void)outline;
    K_AnnDestroy(top, 0);
}

TEST_F(Render, AudioClipsAreLaidOverThePageThroughTheirMasks) {
    for (uint32_t active : {0u, 1u}) {
        SCOPED_TRACE(active);
        const ANNHANDLE top = root();
        const ANNHANDLE audio = box(top, ANN_AUDIO, {20, 20, 51, 51});  // 32 x 32 pels
        annSetProperty(annLock(audio), kActiveKinds, Attribute::ActiveState, active, 0);
        const Image img = drawn(top, kGrey);
        const Image& mask = resourceBitmap(active ? kActiveAudioMask : kAudioMask);
        const Image& picture = resourceBitmap(active ? kActiveAudioImage : kAudioImage);
        int shown = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                const image::Rgb m = mask.pixel(x, y), p = picture.pixel(x, y);
                const Color want = (kGrey & desktop::rgb(m.r, m.g, m.b)) | desktop::rgb(p.r, p.g, p.b);
                ASSERT_EQ(at(img, 20 + x, 20 + y), want) << x << "," << y;
                shown += want != kGrey;
            }
        EXPECT_GT(shown, 100);
        EXPECT_EQ(at(img, 19, 19), kGrey);
        EXPECT_EQ(at(img, 52, 52), kGrey);
        K_AnnDestroy(top, 0);
    }
}

TEST_F(Render, SelectionHandlesAreInvertedInDesignModeOnly) {
    const ANNHANDLE top = root();
    const ANNHANDLE r = filled(top, ANN_RECTANGLE, {40, 20, 120, 70}, kRed);
    const ANNHANDLE hotspot = box(top, ANN_HOTSPOT, {140, 20, 171, 51});
    auto draw = [&](int times) {
        Image img = page(200, 100);
        desktop::RasterDC dc(img);
        for (int i = 0; i < times; ++i) EXPECT_EQ(K_AnnDraw(&dc, nullptr, top), ANN_SUCCESS);
        return img;
    };
    const Image plain = draw(1);
    EXPECT_NE(at(plain, 150, 35), kWhite);  // the hotspot shows in design mode
    K_AnnSetSelected(r, 1, 0);
    const Image once = draw(1);
    // 7 x 7 squares around each corner, inverted.
    for (auto [x, y] : {std::pair{40, 20}, {120, 20}, {120, 70}, {40, 70}}) {
        for (int dy = -3; dy <= 3; ++dy)
            for (int dx = -3; dx <= 3; ++dx)
                EXPECT_EQ(at(once, x + dx, y + dy), ~at(plain, x + dx, y + dy) & 0xFFFFFF) << x + dx << "," << y + dy;
        EXPECT_EQ(at(once, x + 4, y), at(plain, x + 4, y));
    }
    K_AnnSetUserMode(top, ANN_MODE_RUN);
    const Image run = draw(1);
    EXPECT_EQ(at(run, 40, 20), at(plain, 40, 20));  // no handles
    EXPECT_EQ(at(run, 150, 35), kWhite);            // no hotspot
    // An object that paints nothing itself: drawn twice, its handles are
    // gone again.
    K_AnnSetUserMode(top, ANN_MODE_DESIGN);
    K_AnnSetFillMode(r, ANN_FILLMODE_TRANSPARENT, 0);
    K_AnnSetSelected(r, 0, 0);
    const Image bare = draw(1);
    K_AnnSetSelected(r, 1, 0);
    EXPECT_NE(draw(1), bare);
    EXPECT_EQ(draw(2), bare);
    (void)hotspot;
    K_AnnDestroy(top, 0);
}

TEST_F(Render, AnInvisibleContainerHidesItsWholeSubtreeEverywhere) {
    const ANNHANDLE top = root(), hidden = group(top, false);
    box(hidden, ANN_REDACTION, {10, 10, 50, 50});  // visible, in an invisible container
    const Image blank = page(200, 100);
    Image drawn = blank, printed = blank;
    {
        desktop::RasterDC a(drawn), b(printed);
        EXPECT_EQ(K_AnnDraw(&a, nullptr, top), ANN_SUCCESS);
        EXPECT_EQ(K_AnnPrint(&b, nullptr, top), ANN_SUCCESS);
    }
    EXPECT_EQ(drawn, blank);
    EXPECT_EQ(printed, blank);
    desktop::Bitmap bitmap;
    ASSERT_TRUE(desktop::createBitmap(bitmap, 200, 100, 24, nullptr, 0, 0));
    const Image black = bitmap.image;
    EXPECT_EQ(K_AnnRealize(&bitmap, nullptr, top, 0), ANN_SUCCESS);
    EXPECT_EQ(bitmap.image, black);
    K_AnnSetVisible(hidden, 1, 0);
    EXPECT_EQ(K_AnnPrint(nullptr, nullptr, top), ANN_ERROR_INVALID_PARAMETER);
    {
        desktop::RasterDC a(drawn);
        EXPECT_EQ(K_AnnDraw(&a, nullptr, top), ANN_SUCCESS);
    }
    EXPECT_EQ(at(drawn, 20, 20), kBlack);
    K_AnnDestroy(top, 0);
}

TEST_F(Render, DrawingStaysInsideTheClip) {
    const ANNHANDLE top = root();
    filled(top, ANN_RECTANGLE, {10, 10, 90, 90}, kRed);
    Image img = page(200, 100);
    desktop::RasterDC dc(img);
    const RECT left{0, 0, 50, 100}, away{150, 0, 200, 100};
    ASSERT_EQ(K_AnnDraw(&dc, &away, top), ANN_SUCCESS);
    EXPECT_EQ(img, page(200, 100));
    ASSERT_EQ(K_AnnDraw(&dc, &left, top), ANN_SUCCESS);
    EXPECT_EQ(at(img, 49, 50), kRed);
    EXPECT_EQ(at(img, 50, 50), kWhite);
    K_AnnDestroy(top, 0);
    // A frame far wider than the page, wider than an int's span of pels:
    // its edges lie off the page, and nothing of it shows.
    const ANNHANDLE vast = root();
    box(vast, ANN_RECTANGLE, {-1.2e9, -1.2e9, 1.2e9, 1.2e9});
    Image blank = page(200, 100);
    desktop::RasterDC on(blank);
    ASSERT_EQ(K_AnnDraw(&on, nullptr, vast), ANN_SUCCESS);
    EXPECT_EQ(blank, page(200, 100));
    K_AnnDestroy(vast, 0);
}

TEST_F(Render, RealizeBurnsTheAnnotationsOrOnlyTheRedactionsIntoTheBitmap) {
    const ANNHANDLE top = root(), shown = group(top, true);
    filled(top, ANN_RECTANGLE, {10, 10, 40, 40}, kRed);
    box(shown, ANN_REDACTION, {60, 10, 90, 40});  // reached through a visible container
    for (int32_t redactionsOnly : {1, 0}) {
        SCOPED_TRACE(redactionsOnly);
        desktop::Bitmap bitmap;
        ASSERT_TRUE(desktop::createBitmap(bitmap, 200, 100, 24, nullptr, 0, 0));
        bitmap.image = image::toRgb(page(200, 100));
        ASSERT_EQ(K_AnnRealize(&bitmap, nullptr, top, redactionsOnly), ANN_SUCCESS);
        EXPECT_EQ(bitmap.image.format(), image::PixelFormat::Rgb24);
        EXPECT_EQ(at(bitmap.image, 75, 25), kBlack);
        EXPECT_EQ(at(bitmap.image, 25, 25), redactionsOnly ? kWhite : kRed);
    }
    desktop::Bitmap empty;
    EXPECT_EQ(K_AnnRealize(&empty, nullptr, top, 0), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(K_AnnRealize(nullptr, nullptr, top, 0), ANN_ERROR_INVALID_PARAMETER);
    K_AnnDestroy(top, 0);
}

TEST_F(Render, PrintLaysTheTreeOntoTheDestination) {
    const ANNHANDLE top = root();
    const ANNHANDLE r = filled(top, ANN_RECTANGLE, {10, 10, 40, 40}, kRed);
    // Without a destination: where the window shows it.
    Image drawn = page(400, 100), printed = page(400, 100), wide = page(400, 100);
    {
        desktop::RasterDC a(drawn), b(printed), c(wide);
        K_AnnDraw(&a, nullptr, top);
        EXPECT_EQ(K_AnnPrint(&b, nullptr, top), ANN_SUCCESS);
        const RECT twice{0, 0, 400, 100};
        EXPECT_EQ(K_AnnPrint(&c, &twice, top), ANN_SUCCESS);
    }
    EXPECT_EQ(printed, drawn);
    EXPECT_EQ(at(wide, 21, 25), kRed);
    EXPECT_EQ(at(wide, 79, 25), kRed);
    EXPECT_EQ(at(wide, 19, 25), kWhite);
    EXPECT_EQ(at(wide, 83, 25), kWhite);
    EXPECT_EQ(at(wide, 50, 41), kWhite);  // y keeps its scale

    // Pens and fonts scale by the root of the product of both scales.
    K_AnnSetLineStyle(r, ANN_LINE_SOLID, 0);
    K_AnnSetLineWidth(r, 2, 0);
    const ANNHANDLE text = box(top, ANN_TEXT, {50, 10, 150, 60});
    K_AnnSetText(text, "x", 0);
    K_AnnSetFontSize(text, 20, 0);
    const struct {
        RECT destination;
        int pen, font;
    } cases[] = {{{0, 0, 200, 100}, 2, -20}, {{0, 0, 400, 200}, 4, -40}, {{0, 0, 400, 100}, 3, -28}};
    for (const auto& c : cases) {
        const auto records = recorded([&](desktop::DeviceContext& dc) { K_AnnPrint(&dc, &c.destination, top); });
        const auto pens = only(records, meta::CREATEPENINDIRECT);
        const auto fonts = only(records, meta::CREATEFONTINDIRECT);
        ASSERT_GE(pens.size(), 2u);
        EXPECT_EQ(pens[1].params[1], c.pen);  // the first is the root's
        ASSERT_EQ(fonts.size(), 1u);
        EXPECT_EQ(static_cast<std::int16_t>(fonts[0].params[0]), c.font);
    }
    // Bounds without width or height are laid on at their own scale.
    record(top).BoundsRect = {5, 5, 5, 5};
    const RECT somewhere{0, 0, 300, 300};
    EXPECT_EQ(K_AnnPrint(nullptr, &somewhere, top), ANN_ERROR_INVALID_PARAMETER);
    Image shifted = page(400, 100);
    {
        desktop::RasterDC dc(shifted);
        EXPECT_EQ(K_AnnPrint(&dc, &somewhere, top), ANN_SUCCESS);
    }
    EXPECT_EQ(at(shifted, 20, 20), kRed);  // moved by the bounds' corner only
    EXPECT_EQ(at(shifted, 45, 20), kWhite);
    K_AnnDestroy(top, 0);
}

TEST_F(Render, TextIsWrittenLineByLineFromTheTopLeftCorner) {
    const ANNHANDLE text = box(0, ANN_TEXT, {100, 100, 200, 140});
    K_AnnSetFontSize(text, 20, 0);
    K_AnnSetFontBold(text, 1, 0);
    K_AnnSetText(text, "ab\r\ncd\n\nef\n\r注文書", 0);
    desktop::Font font;
    font.height = -20;
    font.weight = desktop::FW_BOLD;
    font.faceName = "Arial";
    const desktop::TextMetrics tm = metricsOf(font);
    const int line = tm.height + tm.externalLeading;

    auto lines = [&] {
        std::vector<TextOut> out;
        const auto records = recorded([&](desktop::DeviceContext& dc) { K_AnnDraw(&dc, nullptr, text); });
        for (const MetafileRecord& rec : only(records, meta::TEXTOUT)) out.push_back(textOut(rec));
        const auto fonts = only(records, meta::CREATEFONTINDIRECT);
        EXPECT_EQ(fonts.size(), 1u);
        return std::pair{out, fonts.empty() ? MetafileRecord{} : fonts[0]};
    };
    auto [written, font0] = lines();
    ASSERT_EQ(written.size(), 4u);
    const int ys[] = {100, 100 + line, 100 + 3 * line, 100 + 4 * line};  // the empty line takes its place
    const char* texts[] = {"ab", "cd", "ef", nullptr};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(written[i].x, 100);
        EXPECT_EQ(written[i].y, ys[i]);
        if (texts[i]) {
            EXPECT_EQ(written[i].bytes, texts[i]);
        }
    }
    EXPECT_EQ(written[3].bytes, text::toCp932("注文書"));
    EXPECT_EQ(static_cast<std::int16_t>(font0.params[0]), -20);
    EXPECT_EQ(font0.params[4], 700);
    EXPECT_EQ(font0.params[2], 0);  // escapement

    // Turned a quarter clockwise: the lines follow the bottom edge.
    ASSERT_EQ(K_AnnRotate(text, 90, nullptr, 0), ANN_SUCCESS);
    auto [turned, font1] = lines();
    ASSERT_EQ(turned.size(), 4u);
    EXPECT_EQ(static_cast<std::int16_t>(font1.params[2]), -900);
    EXPECT_EQ(static_cast<std::int16_t>(font1.params[3]), -900);
    EXPECT_EQ(font1.params[7] >> 8, desktop::CLIP_LH_ANGLES);
    EXPECT_EQ(turned[0].x, 170);  // P0 went from (100, 100) to (170, 70)
    EXPECT_EQ(turned[0].y, 70);
    EXPECT_EQ(turned[1].x, 170 - line);
    EXPECT_EQ(turned[1].y, 70);
    K_AnnDestroy(text, 0);
}

TEST_F(Render, StoredBytesThatAreNotUtf8AreReadAsCodePage932) {
    const ANNHANDLE text = box(0, ANN_TEXT, {0, 0, 300, 50});
    const std::string face = text::toCp932("ＭＳ ゴシック"), words = text::toCp932("ﾃｷｽﾄ");
    K_AnnSetFontName(text, face.c_str(), 0);
    K_AnnSetText(text, words.c_str(), 0);
    const auto records = recorded([&](desktop::DeviceContext& dc) { K_AnnDraw(&dc, nullptr, text); });
    // The recorder writes code page 932 itself: the bytes come back as they were.
    const auto fonts = only(records, meta::CREATEFONTINDIRECT);
    ASSERT_EQ(fonts.size(), 1u);
    std::string stored;
    for (std::size_t i = 9; i < fonts[0].params.size(); ++i)
        stored += static_cast<char>(fonts[0].params[i] & 0xFF), stored += static_cast<char>(fonts[0].params[i] >> 8);
    EXPECT_EQ(stored.substr(0, face.size()), face);
    const auto texts = only(records, meta::TEXTOUT);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(textOut(texts[0]).bytes, words);
    K_AnnDestroy(text, 0);
}

TEST_F(Render, OpaqueTextPaintsItsBackgroundBehindTheGlyphsOnly) {
    const ANNHANDLE top = root();
    const ANNHANDLE text = box(top, ANN_TEXT, {10, 10, 190, 90});
    K_AnnSetText(text, "ab", 0);
    K_AnnSetFontSize(text, 20, 0);
    K_AnnSetBackColor(text, 0x00FF00, 0);
    K_AnnSetFillMode(text, ANN_FILLMODE_OPAQUE, 0);
    const Image img = drawn(top);
    desktop::Font font;
    font.height = -20;
    font.faceName = "Arial";
    desktop::Size extent;
    metricsOf(font, &extent, "ab");
    EXPECT_EQ(at(img, 10, 10), 0x00FF00u);
    EXPECT_EQ(at(img, 10 + extent.cx + 3, 12), kWhite);
    EXPECT_EQ(at(img, 100, 80), kWhite);
    K_AnnDestroy(top, 0);
}

TEST_F(Render, ANoteHasABlackFrameACheckeredShadowAndWrappedText) {
    const ANNHANDLE top = root();
    const ANNHANDLE note = box(top, ANN_NOTE, {20, 20, 120, 80});  // box (20, 20, 121, 81)
    expectPels(drawn(top), {
                               {20, 40, kBlack}, {116, 40, kBlack}, {60, 76, kBlack},  // the frame, 4 pels in
                               {60, 50, kYellow},                                       // the body
                               {30, 78, kBlack}, {31, 78, kWhite}, {120, 30, kBlack}, {119, 30, kWhite},  // the shadow
                               {22, 79, kWhite}, {119, 22, kWhite},                     // left of and above it
                           });
    K_AnnSetText(note, "a note", 0);
    const auto records = recorded([&](desktop::DeviceContext& dc) { K_AnnDraw(&dc, nullptr, top); });
    const auto texts = only(records, meta::EXTTEXTOUT);
    ASSERT_EQ(texts.size(), 1u);
    const auto& p = texts[0].params;
    EXPECT_EQ(p[3], desktop::ETO_CLIPPED);
    EXPECT_EQ((std::vector<std::uint16_t>{p[4], p[5], p[6], p[7]}), (std::vector<std::uint16_t>{25, 25, 112, 72}));
    K_AnnDestroy(top, 0);
}

// A recording back-end that answers as a 300-dpi printer does.
class PrinterRecorder : public desktop::MetafileRecorder {
public:
    int deviceCaps(int index) const override {
        if (index == desktop::LOGPIXELSY || index == desktop::LOGPIXELSX) return 300;
        return MetafileRecorder::deviceCaps(index);
    }
};

TEST_F(Render, AButtonIsDrawnInTheSystemColoursWithItsCaptionInTheMiddle) {
    const ANNHANDLE button = box(0, ANN_BUTTON, {10, 10, 60, 34});  // box (10, 10, 61, 35)
    K_AnnSetText(button, "OK", 0);
    const int L = 10, T = 10, R = 61, B = 35;
    using desktop::COLOR_BTNFACE, desktop::COLOR_BTNHIGHLIGHT, desktop::COLOR_BTNSHADOW, desktop::COLOR_WINDOWFRAME;
    using Part = std::pair<int, Rect>;
    const std::vector<Part> frame = {{COLOR_WINDOWFRAME, {L + 1, T, R - 1, T + 1}},
                                     {COLOR_WINDOWFRAME, {L + 1, B - 1, R - 1, B}},
                                     {COLOR_WINDOWFRAME, {L, T + 1, L + 1, B - 1}},
                                     {COLOR_WINDOWFRAME, {R - 1, T + 1, R, B - 1}},
                                     {COLOR_BTNFACE, {L + 1, T + 1, R - 1, B - 1}}};
    std::vector<Part> raised = frame, pressed = frame;
    raised.insert(raised.end(), {{COLOR_BTNHIGHLIGHT, {L + 1, T + 1, R - 2, T + 2}},
                                 {COLOR_BTNHIGHLIGHT, {L + 1, T + 1, L + 2, B - 2}},
                                 {COLOR_BTNSHADOW, {R - 2, T + 1, R - 1, B - 1}},
                                 {COLOR_BTNSHADOW, {L + 1, B - 2, R - 1, B - 1}},
                                 {COLOR_BTNFACE, {L + 2, T + 2, R - 3, T + 3}},
                                 {COLOR_BTNFACE, {L + 2, T + 2, L + 3, B - 3}},
                                 {COLOR_BTNSHADOW, {R - 3, T + 2, R - 2, B - 2}},
                                 {COLOR_BTNSHADOW, {L + 2, B - 3, R - 2, B - 2}}});
    pressed.insert(pressed.end(), {{COLOR_BTNSHADOW, {L + 1, T + 1, R - 2, T + 2}},
                                   {COLOR_BTNSHADOW, {L + 1, T + 1, L + 2, B - 2}},
                                   {COLOR_BTNFACE, {R - 2, T + 1, R - 1, B - 1}},
                                   {COLOR_BTNFACE, {L + 1, B - 2, R - 1, B - 1}}});
    desktop::Font font;
    font.height = -11;  // 8 points at 96 dpi
    font.faceName = "MS Sans Serif";
    desktop::Size extent;
    metricsOf(font, &extent, "OK");
    for (uint32_t state : {0u, 1u}) {
        SCOPED_TRACE(state);
        annSetProperty(annLock(button), kActiveKinds, Attribute::ActiveState, state, 0);
        const auto records = recorded([&](desktop::DeviceContext& dc) { K_AnnDraw(&dc, nullptr, button); });
        // The parts: each background colour, then its opaque empty text.
        std::vector<Part> parts;
        Color colour = 0;
        std::vector<MetafileRecord> captions;
        for (const MetafileRecord& rec : records) {
            if (rec.function == meta::SETBKCOLOR) colour = rec.params[0] | (Color(rec.params[1]) << 16);
            if (rec.function != meta::EXTTEXTOUT) continue;
            if (rec.params[3] == desktop::ETO_CLIPPED) {
                captions.push_back(rec);
                continue;
            }
            const auto& p = rec.params;
            int which = -1;
            for (int c : {COLOR_WINDOWFRAME, COLOR_BTNFACE, COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW})
                if (desktop::sysColor(c) == colour) which = c;
            parts.push_back({which, Rect{p[4], p[5], p[6], p[7]}});
        }
        EXPECT_EQ(parts, state ? pressed : raised);
        ASSERT_EQ(captions.size(), 1u);
        const int shift = state ? 1 : 0;
        EXPECT_EQ(static_cast<std::int16_t>(captions[0].params[1]), L + (R - extent.cx - L - 3) / 2 + shift);
        EXPECT_EQ(static_cast<std::int16_t>(captions[0].params[0]), T + (B - extent.cy - T - 2) / 2 + shift);
    }
    // The caption's height follows the device: 8 points at 300 dpi.
    PrinterRecorder printer;
    K_AnnPrint(&printer, nullptr, button);
    const auto fonts = only(desktop::metafileRecords(printer.close()), meta::CREATEFONTINDIRECT);
    ASSERT_EQ(fonts.size(), 1u);
    EXPECT_EQ(static_cast<std::int16_t>(fonts[0].params[0]), -33);
    K_AnnDestroy(button, 0);
}

TEST_F(Render, AStampsBitmapFillsItsBoxAndTurnsWithIt) {
    desktop::Bitmap picture;
    ASSERT_TRUE(desktop::createBitmap(picture, 20, 10, 24, nullptr, 0, 0));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) picture.image.setPixel(x, y, x < 10 ? image::Rgb{255, 0, 0} : image::Rgb{0, 0, 255});
    const ANNHANDLE top = root();
    const ANNHANDLE stamp = box(top, ANN_STAMP, {20, 20, 59, 39});
    ASSERT_EQ(K_AnnSetBitmap(stamp, &picture, 0), ANN_SUCCESS);
    expectPels(drawn(top), {{25, 30, kRed}, {55, 30, kBlue}, {61, 30, kWhite}});
    // A quarter turn clockwise brings the left half to the top.
    ASSERT_EQ(K_AnnRotate(stamp, 90, nullptr, 0), ANN_SUCCESS);
    expectPels(drawn(top), {{40, 15, kRed}, {40, 45, kBlue}, {25, 30, kWhite}});
    K_AnnDestroy(top, 0);
}

TEST_F(Render, AStampsTextIsCentredInItsBox) {
    const ANNHANDLE stamp = box(0, ANN_STAMP, {10, 10, 210, 110});
    K_AnnSetText(stamp, "OK", 0);
    K_AnnSetFontSize(stamp, 20, 0);
    const auto records = recorded([&](desktop::DeviceContext& dc) { K_AnnDraw(&dc, nullptr, stamp); });
    ASSERT_EQ(only(records, meta::RECTANGLE).size(), 1u);
    const auto texts = only(records, meta::TEXTOUT);
    ASSERT_EQ(texts.size(), 1u);
    desktop::Font font;
    font.height = -20;
    desktop::Size extent;
    const desktop::TextMetrics tm = metricsOf(font, &extent, "OK");
    const TextOut t = textOut(texts[0]);
    EXPECT_EQ(t.x, annRound(10 + (200 - extent.cx) / 2.0));
    EXPECT_EQ(t.y, annRound(10 + (100 - tm.height - tm.externalLeading) / 2.0));
    K_AnnDestroy(stamp, 0);
}

TEST_F(Render, PensArrowsAndEllipsesUseTheRightPrimitives) {
    auto draw = [&](ANNHANDLE h) {
        return recorded([&](desktop::DeviceContext& dc) { K_AnnDraw(&dc, nullptr, h); });
    };
    const ANNHANDLE arrow = points(0, ANN_ARROW, {{100, 100}, {20, 100}});
    for (double width : {0.0, 1.0}) {
        K_AnnSetLineWidth(arrow, width, 0);
        const auto records = draw(arrow);
        EXPECT_EQ(only(records, meta::CREATEPENINDIRECT).at(0).params[1], 0);  // the thinnest pen
        ASSERT_EQ(only(records, meta::POLYLINE).size(), 1u);
        EXPECT_EQ(only(records, meta::POLYLINE)[0].params[0], 2);  // the shaft
        EXPECT_EQ(only(records, meta::POLYGON).at(0).params[0], 4);  // the head
    }
    K_AnnSetLineWidth(arrow, 3, 0);
    auto records = draw(arrow);
    EXPECT_EQ(only(records, meta::CREATEPENINDIRECT).at(0).params[1], 3);
    EXPECT_TRUE(only(records, meta::POLYLINE).empty());
    EXPECT_EQ(only(records, meta::POLYGON).at(0).params[0], 6);

    const ANNHANDLE ellipse = box(0, ANN_ELLIPSE, {10, 10, 110, 60});
    EXPECT_EQ(only(draw(ellipse), meta::ELLIPSE).size(), 1u);
    K_AnnRotate(ellipse, 30, nullptr, 0);
    records = draw(ellipse);
    EXPECT_TRUE(only(records, meta::ELLIPSE).empty());
    ASSERT_EQ(only(records, meta::POLYGON).size(), 1u);
    EXPECT_GT(only(records, meta::POLYGON)[0].params[0], 100);
    // However large the box, the polygon stays bounded.
    const POINTD huge[] = {{0, 0}, {0, 1e9}, {1e9, 1e9}};
    EXPECT_LE(annEllipsePoints(nullptr, huge).size(), 4u * 8192 + 1);

    // Styles that no setter allows, as an old file may hold them: a solid
    // pen and the plain fill.
    AnnObject& o = record(ellipse);
    o.LineStyle = 9;
    o.FillPattern = 12;
    o.FillMode = ANN_FILLMODE_OPAQUE;
    o.BackColor = kRed;
    records = draw(ellipse);
    EXPECT_EQ(only(records, meta::CREATEPENINDIRECT).at(0).params[0], desktop::PS_SOLID);
    const auto brush = only(records, meta::CREATEBRUSHINDIRECT).at(0);
    EXPECT_EQ(brush.params[0], desktop::BS_SOLID);
    EXPECT_EQ(brush.params[1], kRed);
    for (ANNHANDLE h : {arrow, ellipse}) K_AnnDestroy(h, 0);
}

}  // namespace
}  // namespace fg::annotation
