// The object record: what each kind starts with, which attributes apply to
// which kinds, the checks of the setters, strings and bitmaps, handles,
// running out of memory, and the module's start and end.
#include "annotation/module.h"
#include "annotation/properties.h"
#include "engine_fixture.h"
#include "platform/desktop/clipboard.h"

#include <cmath>
#include <functional>
#include <limits>
#include <string>

namespace fg::annotation {
namespace {

using Defaults = EngineTest;

TEST_F(Defaults, EachKindStartsWithItsOwnDefaults) {
    const struct {
        uint32_t kind;
        ANNCOLOR back;
        uint32_t fillMode, lineStyle;
        const char* fontName;
    } cases[] = {
        {ANN_CONTAINER, 0xFFFFFF, 0, ANN_LINE_NONE, ""},  // no line
        {ANN_ARROW, 0xFFFFFF, 0, 0, ""},
        {ANN_AUDIO, 0xFFFFFF, 0, 0, ""},
        {ANN_BUTTON, 0xFFFFFF, 0, 0, ""},
        {ANN_ELLIPSE, 0xFFFFFF, 0, 0, ""},
        {ANN_FREEHAND, 0xFFFFFF, 0, 0, ""},
        {ANN_HIGHLIGHT, 0x00FFFF, ANN_FILLMODE_TRANSLUCENT, ANN_LINE_NONE, ""},  // yellow, translucent, no line
        {ANN_HOTSPOT, 0xFFFFFF, 0, 0, ""},
        {ANN_LINE, 0xFFFFFF, 0, 0, ""},
        {ANN_NOTE, 0x00FFFF, ANN_FILLMODE_OPAQUE, 0, "Arial"},  // yellow, opaque
        {ANN_POLYGON, 0xFFFFFF, 0, 0, ""},
        {ANN_POLYLINE, 0xFFFFFF, 0, 0, ""},
        {ANN_RECTANGLE, 0xFFFFFF, 0, 0, ""},
        {ANN_REDACTION, 0x000000, ANN_FILLMODE_OPAQUE, ANN_LINE_NONE, ""},  // black, opaque, no line
        {ANN_STAMP, 0xFFFFFF, 0, 0, ""},
        {ANN_TEXT, 0xFFFFFF, 0, 0, "Arial"},
        {ANN_AUTOMATION, 0xFFFFFF, 0, 0, "Arial"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        const ANNHANDLE h = create(c.kind);
        const AnnObject& o = record(h);
        EXPECT_EQ(o.Type, c.kind);
        EXPECT_EQ(o.BackColor, c.back);
        EXPECT_EQ(o.FillMode, c.fillMode);
        EXPECT_EQ(o.LineStyle, c.lineStyle);
        EXPECT_EQ(std::string(o.FontName.c_str()), c.fontName);
        // What every kind shares.
        EXPECT_EQ(o.Visible, 0);
        EXPECT_EQ(o.Selected, 0);
        EXPECT_EQ(o.Container, nullptr);
        EXPECT_EQ(o.Wnd, 0u);
        EXPECT_EQ(o.UserMode, 0u);
        EXPECT_EQ(o.ActiveState, 0u);
        EXPECT_EQ(o.ForeColor, 0u);
        EXPECT_EQ(o.FillPattern, 0u);
        EXPECT_EQ(o.PolyFillMode, 0u);
        EXPECT_EQ(o.LineWidth, 1.0);
        EXPECT_EQ(o.ScalarX, 1.0);
        EXPECT_EQ(o.ScalarY, 1.0);
        EXPECT_EQ(o.OffsetX, 0.0);
        EXPECT_EQ(o.OffsetY, 0.0);
        EXPECT_DOUBLE_EQ(o.FontSize, 96 * 10 / 72.0);  // ten points on the screen
        EXPECT_TRUE(annIsIdentity(&o.Transform));
        EXPECT_EQ(o.CustomColors[1], 0x000080u);
        EXPECT_EQ(o.CustomColors[15], 0xFFFFFFu);
        EXPECT_EQ(o.AutoMenuEnable, 1);
        EXPECT_EQ(o.AutoDrawEnable, 1);
        EXPECT_EQ(o.DefineMode, 0);
        EXPECT_EQ(o.AutoTexts[0].empty(), c.kind != ANN_AUTOMATION);
        EXPECT_EQ(K_AnnDestroy(h, 0), ANN_SUCCESS);
    }
    ANNHANDLE h = 0;
    EXPECT_EQ(K_AnnCreate(17, &h), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(K_AnnCreate(ANN_TEXT, nullptr), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(h, 0u);
}

TEST_F(Defaults, AnAutomationObjectHoldsTheSeventyOneTexts) {
    const ANNHANDLE h = create(ANN_AUTOMATION);
    const AnnObject& o = record(h);
    for (int i = 0; i < kAutoTextCount; ++i) EXPECT_EQ(o.AutoTexts[i].view(), annDefaultAutoText(i)) << i;
    EXPECT_EQ(o.AutoTexts[0].view(), "元に戻す(&U)");
    EXPECT_EQ(o.AutoTexts[26].view(), "自動化 ﾌﾟﾛﾊﾟﾃｨ(&O)");
    EXPECT_EQ(o.AutoTexts[45].view(), "透明");
    EXPECT_EQ(o.AutoTexts[68].view(), "Wave ﾌｧｲﾙ (*.wav)|*.wav|すべてのﾌｧｲﾙ (*.*)|*.*|");
    EXPECT_EQ(o.AutoTexts[70].view(), "すべてのﾌｧｲﾙ (*.*)|*.*|");
    EXPECT_EQ(K_AnnDestroy(h, 0), ANN_SUCCESS);  // the fixture checks that the texts went with it
}

TEST_F(Defaults, DestroyingAnAutomationObjectDestroysItsUndoSnapshots) {
    const ANNHANDLE automation = create(ANN_AUTOMATION);
    AnnObject& a = record(automation);
    a.UndoDepth = 3;
    a.UndoList = static_cast<ANNHANDLE*>(desktop::memoryAllocate(4 * sizeof(ANNHANDLE), true));
    ASSERT_NE(a.UndoList, nullptr);
    for (int i = 0; i < 2; ++i) {
        const ANNHANDLE snapshot = container(0, {0, 0, 100, 100});
        box(snapshot, ANN_NOTE, {1, 1, 50, 50});
        a.UndoList[i] = snapshot;
    }
    // The fixture finds every snapshot, its children and the list gone.
    EXPECT_EQ(K_AnnDestroy(automation, 0), ANN_SUCCESS);
}

// Which attribute applies to which kind: '1' at position k when kind k takes
// it, '0' when the call answers -16 and leaves the object alone.
using Attributes = EngineTest;

TEST_F(Attributes, EachAttributeAppliesToItsKindsOnly) {
    desktop::Bitmap picture;
    ASSERT_TRUE(desktop::createBitmap(picture, 4, 4, 24, nullptr, 0, 0));
    char name[64];
    int32_t i32 = 0;
    uint32_t u32 = 0;
    double real = 0;
    ANNWND window = 0;
    using Call = std::function<int32_t(ANNHANDLE)>;
    const struct {
        const char* attribute;
        const char* kinds;  // kinds 0 to 16
        Call call;
    } cases[] = {
        {"SetVisible", "11111111111111111", [](ANNHANDLE h) { return K_AnnSetVisible(h, 0, 0); }},
        {"GetVisible", "11111111111111111", [&](ANNHANDLE h) { return K_AnnGetVisible(h, &i32); }},
        {"SetSelected", "11111111111111111", [](ANNHANDLE h) { return K_AnnSetSelected(h, 1, 0); }},
        {"GetSelected", "11111111111111111", [&](ANNHANDLE h) { return K_AnnGetSelected(h, &i32); }},
        {"SetTag", "11111111111111111", [](ANNHANDLE h) { return K_AnnSetTag(h, 7, 0); }},
        {"GetTag", "11111111111111111", [&](ANNHANDLE h) { return K_AnnGetTag(h, &u32); }},
        {"SetScalarX", "11111111111111111", [](ANNHANDLE h) { return K_AnnSetScalarX(h, 2, 0); }},
        {"GetScalarY", "11111111111111111", [&](ANNHANDLE h) { return K_AnnGetScalarY(h, &real); }},
        {"SetOffsetY", "11111111111111111", [](ANNHANDLE h) { return K_AnnSetOffsetY(h, 3, 0); }},
        {"GetOffsetX", "11111111111111111", [&](ANNHANDLE h) { return K_AnnGetOffsetX(h, &real); }},
        {"GetWnd", "11111111111111111", [&](ANNHANDLE h) { return K_AnnGetWnd(h, &window); }},
        {"GetUserMode", "11111111111111111", [&](ANNHANDLE h) { return K_AnnGetUserMode(h, &u32); }},
        {"GetType", "11111111111111111", [&](ANNHANDLE h) { return K_AnnGetType(h, &u32); }},
        {"GetActiveState", "00110001000000001", [&](ANNHANDLE h) { return K_AnnGetActiveState(h, &u32); }},
        {"SetBitmap", "00000000000000100", [&](ANNHANDLE h) { return K_AnnSetBitmap(h, &picture, 0); }},
        {"SetFontBold", "00000000010000111", [](ANNHANDLE h) { return K_AnnSetFontBold(h, 1, 0); }},
        {"GetFontItalic", "00000000010000111", [&](ANNHANDLE h) { return K_AnnGetFontItalic(h, &i32); }},
        {"SetFontStrikeThrough", "00000000010000111", [](ANNHANDLE h) { return K_AnnSetFontStrikeThrough(h, 1, 0); }},
        {"GetFontUnderline", "00000000010000111", [&](ANNHANDLE h) { return K_AnnGetFontUnderline(h, &i32); }},
        {"SetFontSize", "00000000010000111", [](ANNHANDLE h) { return K_AnnSetFontSize(h, 12, 0); }},
        {"GetFontName", "00000000010000111", [&](ANNHANDLE h) { return K_AnnGetFontName(h, name); }},
        {"GetFontNameLen", "00000000010000111", [&](ANNHANDLE h) { return K_AnnGetFontNameLen(h, &i32); }},
        {"SetFontName", "00110000010000110", [](ANNHANDLE h) { return K_AnnSetFontName(h, "Courier New", 0); }},
        {"SetText", "00110000010000110", [](ANNHANDLE h) { return K_AnnSetText(h, "x", 0); }},
        {"GetTextLen", "00110000010000110", [&](ANNHANDLE h) { return K_AnnGetTextLen(h, &i32); }},
        {"SetForeColor", "11011100111110111", [](ANNHANDLE h) { return K_AnnSetForeColor(h, 0xFF, 0); }},
        {"GetForeColor", "11011100111110111", [&](ANNHANDLE h) { return K_AnnGetForeColor(h, &u32); }},
        {"SetBackColor", "10001110011011111", [](ANNHANDLE h) { return K_AnnSetBackColor(h, 0xFF00, 0); }},
        {"GetBackColor", "10001110011011111", [&](ANNHANDLE h) { return K_AnnGetBackColor(h, &u32); }},
        {"SetLineWidth", "11001100101110101", [](ANNHANDLE h) { return K_AnnSetLineWidth(h, 3, 0); }},
        {"GetLineStyle", "11001100101110101", [&](ANNHANDLE h) { return K_AnnGetLineStyle(h, &u32); }},
        {"SetFillMode", "10001000001010111", [](ANNHANDLE h) { return K_AnnSetFillMode(h, 2, 0); }},
        {"GetFillMode", "10001000001010111", [&](ANNHANDLE h) { return K_AnnGetFillMode(h, &u32); }},
        {"SetFillPattern", "10001000001010101", [](ANNHANDLE h) { return K_AnnSetFillPattern(h, 3, 0); }},
        {"GetFillPattern", "10001000001010101", [&](ANNHANDLE h) { return K_AnnGetFillPattern(h, &u32); }},
        {"SetPolyFillMode", "00000000001000001", [](ANNHANDLE h) { return K_AnnSetPolyFillMode(h, 1, 0); }},
        {"GetPolyFillMode", "00000000001000001", [&](ANNHANDLE h) { return K_AnnGetPolyFillMode(h, &u32); }},
        {"SetRect", "10111011010011110", [](ANNHANDLE h) {
             const RECTD r{1, 2, 3, 4};
             return K_AnnSetRect(h, &r);
         }},
        {"SetPoints", "01000100101100000", [](ANNHANDLE h) {
             const POINTD p[] = {{1, 2}, {3, 4}};
             return K_AnnSetPoints(h, p, 2);
         }},
    };
    for (const auto& c : cases)
        for (uint32_t kind = 0; kind <= ANN_AUTOMATION; ++kind) {
            SCOPED_TRACE(std::string(c.attribute) + " on kind " + std::to_string(kind));
            const ANNHANDLE h = create(kind);
            EXPECT_EQ(c.call(h), c.kinds[kind] == '1' ? ANN_SUCCESS : ANN_ERROR_NOT_SUPPORTED);
            K_AnnDestroy(h, 0);
        }
}

TEST_F(Attributes, SettersCheckTheirValuesBeforeAnythingChanges) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const ANNHANDLE text = create(ANN_TEXT);
    const ANNHANDLE rect = create(ANN_RECTANGLE);
    const ANNHANDLE group = create(ANN_CONTAINER), polygon = create(ANN_POLYGON), line = create(ANN_LINE);
    ASSERT_EQ(K_AnnInsert(group, create(ANN_TEXT), 0), ANN_SUCCESS);
    const struct {
        const char* what;
        std::function<int32_t()> call;
        int32_t result;
    } cases[] = {
        {"line width 0", [&] { return K_AnnSetLineWidth(rect, 0, 0); }, ANN_SUCCESS},
        {"negative line width", [&] { return K_AnnSetLineWidth(rect, -0.5, 0); }, ANN_ERROR_INVALID_PARAMETER},
        {"line width NaN", [&] { return K_AnnSetLineWidth(rect, nan, 0); }, ANN_ERROR_INVALID_PARAMETER},
        {"line style 5", [&] { return K_AnnSetLineStyle(rect, 5, 0); }, ANN_SUCCESS},
        {"line style 6", [&] { return K_AnnSetLineStyle(rect, 6, 0); }, ANN_ERROR_INVALID_PARAMETER},
        {"fill pattern 6", [&] { return K_AnnSetFillPattern(rect, 6, 0); }, ANN_SUCCESS},
        {"fill pattern 7", [&] { return K_AnnSetFillPattern(rect, 7, 0); }, ANN_ERROR_INVALID_PARAMETER},
        {"fill mode 3", [&] { return K_AnnSetFillMode(rect, 3, 0); }, ANN_ERROR_INVALID_PARAMETER},
        {"translucent text", [&] { return K_AnnSetFillMode(text, 1, 0); }, ANN_ERROR_INVALID_PARAMETER},
        {"opaque text", [&] { return K_AnnSetFillMode(text, 2, 0); }, ANN_SUCCESS},
        // Only the object given is asked about text.
        {"translucent text in a group", [&] { return K_AnnSetFillMode(group, 1, ANN_FLAG_CHILDREN); }, ANN_SUCCESS},
        {"poly fill mode 2", [&] { return K_AnnSetPolyFillMode(polygon, 2, 0); }, ANN_ERROR_INVALID_PARAMETER},
        {"negative font size", [&] { return K_AnnSetFontSize(text, -1, 0); }, ANN_ERROR_INVALID_PARAMETER},
        {"font size infinite", [&] { return K_AnnSetFontSize(text, inf, 0); }, ANN_ERROR_INVALID_PARAMETER},
        {"scalar 0", [&] { return K_AnnSetScalarX(rect, 0, 0); }, ANN_SUCCESS},
        {"scalar NaN", [&] { return K_AnnSetScalarY(rect, nan, 0); }, ANN_ERROR_INVALID_PARAMETER},
        {"offset infinite", [&] { return K_AnnSetOffsetX(rect, -inf, 0); }, ANN_ERROR_INVALID_PARAMETER},
        {"rectangle with NaN", [&] {
             const RECTD r{0, 0, nan, 1};
             return K_AnnSetRect(rect, &r);
         }, ANN_ERROR_INVALID_PARAMETER},
        {"points with infinity", [&] {
             const POINTD p[] = {{0, 0}, {inf, 1}};
             return K_AnnSetPoints(line, p, 2);
         }, ANN_ERROR_INVALID_PARAMETER},
        {"user mode 2", [&] { return K_AnnSetUserMode(rect, 2); }, ANN_ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) EXPECT_EQ(c.call(), c.result) << c.what;
    // The refused values left the old ones.
    const AnnObject& r = record(rect);
    EXPECT_EQ(r.LineWidth, 0.0);
    EXPECT_EQ(r.LineStyle, 5u);
    EXPECT_EQ(r.FillPattern, 6u);
    EXPECT_EQ(r.FillMode, 0u);
    EXPECT_EQ(r.ScalarX, 0.0);
    EXPECT_EQ(r.ScalarY, 1.0);
    EXPECT_EQ(r.OffsetX, 0.0);
    EXPECT_EQ(record(text).FillMode, 2u);
    EXPECT_EQ(record(group).FirstChild->FillMode, 1u);
    EXPECT_EQ(record(text).FontSize, 96 * 10 / 72.0);
    EXPECT_EQ(record(line).PointCount, 0u);
    for (ANNHANDLE h : {text, rect, group, polygon, line}) K_AnnDestroy(h, 0);
}

TEST_F(Attributes, FlagsChooseTheObjectsASetterChanges) {
    const ANNHANDLE root = create(ANN_CONTAINER);
    const ANNHANDLE rect = create(ANN_RECTANGLE), line = create(ANN_LINE), group = create(ANN_CONTAINER),
                    inner = create(ANN_ELLIPSE), audio = create(ANN_AUDIO);
    for (ANNHANDLE h : {rect, line, group, audio}) ASSERT_EQ(K_AnnInsert(root, h, 0), ANN_SUCCESS);
    ASSERT_EQ(K_AnnInsert(group, inner, 0), ANN_SUCCESS);
    K_AnnSetSelected(line, 1, 0);
    K_AnnSetSelected(inner, 1, 0);
    auto widths = [&] {
        std::string out;
        for (ANNHANDLE h : {root, rect, line, group, inner}) out += std::to_string(int(record(h).LineWidth));
        return out;
    };
    const struct {
        uint32_t flags;
        int32_t result;
        const char* widths;  // root, rectangle, line, group, ellipse
    } cases[] = {
        {0, ANN_SUCCESS, "51111"},
        {ANN_FLAG_CHILDREN, ANN_ERROR_NOT_SUPPORTED, "15551"},  // the audio clip ends it, the others stay changed
        {ANN_FLAG_CHILDREN | ANN_FLAG_RECURSIVE, ANN_SUCCESS, "15555"},
        {ANN_FLAG_RECURSIVE | ANN_FLAG_SKIP_CONTAINERS, ANN_SUCCESS, "15515"},
        {ANN_FLAG_RECURSIVE | ANN_FLAG_SELECTED, ANN_SUCCESS, "11515"},
        {ANN_FLAG_SELECTED, ANN_SUCCESS, "11111"},  // the root is not selected
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags);
        ASSERT_EQ(K_AnnSetLineWidth(root, 1, ANN_FLAG_RECURSIVE), ANN_SUCCESS);
        EXPECT_EQ(K_AnnSetLineWidth(root, 5, c.flags), c.result);
        EXPECT_EQ(widths(), c.widths);
    }
    K_AnnDestroy(root, 0);
}

using Strings = EngineTest;

TEST_F(Strings, TextsAreBytesAsGivenAndClearWhenEmpty) {
    const ANNHANDLE h = create(ANN_NOTE);
    const std::string sjis = "\x83\x65\x83\x4C\x83\x58\x83\x67";  // テキスト in code page 932, kept as it is
    int32_t length = -1;
    char buffer[64];
    for (const std::string& text : {std::string("注文書"), sjis, std::string("a")}) {
        ASSERT_EQ(K_AnnSetText(h, text.c_str(), 0), ANN_SUCCESS);
        ASSERT_EQ(K_AnnGetTextLen(h, &length), ANN_SUCCESS);
        EXPECT_EQ(length, static_cast<int32_t>(text.size()));
        ASSERT_EQ(K_AnnGetText(h, buffer), ANN_SUCCESS);
        EXPECT_EQ(std::string(buffer), text);
    }
    for (const char* none : {static_cast<const char*>(nullptr), ""}) {
        ASSERT_EQ(K_AnnSetText(h, "something", 0), ANN_SUCCESS);
        ASSERT_EQ(K_AnnSetText(h, none, 0), ANN_SUCCESS);
        EXPECT_TRUE(record(h).Text.empty());
        K_AnnGetTextLen(h, &length);
        EXPECT_EQ(length, 0);
        buffer[0] = 'x';
        K_AnnGetText(h, buffer);
        EXPECT_EQ(buffer[0], '\0');
    }
    EXPECT_EQ(K_AnnGetText(h, nullptr), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(K_AnnGetTextLen(h, nullptr), ANN_ERROR_INVALID_PARAMETER);
    K_AnnDestroy(h, 0);
}

TEST_F(Strings, FontNamesAreWrittenForTextKindsAndReadForFontKinds) {
    char name[32];
    const ANNHANDLE automation = create(ANN_AUTOMATION), audio = create(ANN_AUDIO);
    EXPECT_EQ(K_AnnSetFontName(automation, "Courier New", 0), ANN_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(K_AnnGetFontName(automation, name), ANN_SUCCESS);
    EXPECT_STREQ(name, "Arial");
    EXPECT_EQ(K_AnnSetFontName(audio, "Courier New", 0), ANN_SUCCESS);
    EXPECT_EQ(K_AnnGetFontName(audio, name), ANN_ERROR_NOT_SUPPORTED);
    EXPECT_STREQ(record(audio).FontName.c_str(), "Courier New");
    K_AnnDestroy(automation, 0);
    K_AnnDestroy(audio, 0);
}

TEST_F(Strings, AStampHoldsEitherATextOrABitmap) {
    desktop::Bitmap picture;
    ASSERT_TRUE(desktop::createBitmap(picture, 3, 2, 8, nullptr, 11, 22));
    picture.image.setIndex(1, 1, 200);
    const ANNHANDLE stamp = create(ANN_STAMP);
    desktop::Bitmap copy;
    EXPECT_EQ(K_AnnGetBitmap(stamp, &copy), ANN_ERROR_NO_BITMAP);
    EXPECT_FALSE(copy.holdsBitmap());

    ASSERT_EQ(K_AnnSetText(stamp, "APPROVED", 0), ANN_SUCCESS);
    ASSERT_EQ(K_AnnSetBitmap(stamp, &picture, 0), ANN_SUCCESS);
    EXPECT_TRUE(record(stamp).Text.empty());
    picture.image.setIndex(1, 1, 7);  // the stamp keeps its own copy
    ASSERT_EQ(K_AnnGetBitmap(stamp, &copy), ANN_SUCCESS);
    EXPECT_EQ(copy.image.index(1, 1), 200u);
    EXPECT_EQ(copy.attributes[0], 11u);
    EXPECT_EQ(copy.attributes[1], 22u);

    // A record without a picture is refused; the stamp keeps its bitmap.
    const desktop::Bitmap empty;
    EXPECT_EQ(K_AnnSetBitmap(stamp, &empty, 0), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(record(stamp).Bitmap.holdsBitmap());

    ASSERT_EQ(K_AnnSetText(stamp, "DRAFT", 0), ANN_SUCCESS);
    EXPECT_EQ(K_AnnGetBitmap(stamp, &copy), ANN_ERROR_NO_BITMAP);
    ASSERT_EQ(K_AnnSetBitmap(stamp, &picture, 0), ANN_SUCCESS);
    ASSERT_EQ(K_AnnSetBitmap(stamp, nullptr, 0), ANN_SUCCESS);
    EXPECT_FALSE(record(stamp).Bitmap.holdsBitmap());
    K_AnnDestroy(stamp, 0);
}

using Handles = EngineTest;

TEST_F(Handles, ADestroyedHandleIsRefusedEvenWhenItsSlotIsReused) {
    const ANNHANDLE old = create(ANN_RECTANGLE);
    ASSERT_EQ(K_AnnDestroy(old, 0), ANN_SUCCESS);
    const ANNHANDLE reuse = create(ANN_RECTANGLE);
    EXPECT_NE(reuse, old);
    uint32_t kind = 0;
    ANNHANDLE out = 0;
    RECTD r{};
    POINT p{0, 0};
    uint32_t hit = 0;
    for (ANNHANDLE bad : {old, ANNHANDLE(0), ANNHANDLE(0x12345678), reuse + 1, reuse + (ANNHANDLE(1) << 32)}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(K_AnnGetType(bad, &kind), ANN_ERROR_INVALID_PARAMETER);
        EXPECT_EQ(K_AnnSetVisible(bad, 1, 0), ANN_ERROR_INVALID_PARAMETER);
        EXPECT_EQ(K_AnnGetRect(bad, &r), ANN_ERROR_INVALID_PARAMETER);
        EXPECT_EQ(K_AnnDestroy(bad, 0), ANN_ERROR_INVALID_PARAMETER);
        EXPECT_EQ(K_AnnInsert(bad, reuse, 0), ANN_ERROR_INVALID_PARAMETER);
        EXPECT_EQ(K_AnnGetContainer(bad, &out), ANN_ERROR_INVALID_PARAMETER);
        EXPECT_EQ(K_AnnHitTest(bad, &p, &hit, &out), ANN_ERROR_INVALID_PARAMETER);
        EXPECT_EQ(K_AnnMove(bad, 1, 1, 0), ANN_ERROR_INVALID_PARAMETER);
        EXPECT_EQ(K_AnnDraw(nullptr, nullptr, bad), ANN_ERROR_INVALID_PARAMETER);
    }
    EXPECT_EQ(K_AnnGetType(reuse, &kind), ANN_SUCCESS);
    EXPECT_EQ(kind, uint32_t(ANN_RECTANGLE));
    K_AnnDestroy(reuse, 0);
}

using OutOfMemory = EngineTest;

TEST_F(OutOfMemory, FailedAllocationsAnswerMinusOneAndLoseNothing) {
    const ANNHANDLE note = create(ANN_NOTE), line = create(ANN_LINE);
    ASSERT_EQ(K_AnnSetText(note, "kept", 0), ANN_SUCCESS);
    const POINTD pts[] = {{1, 1}, {5, 5}, {9, 1}};
    ASSERT_EQ(K_AnnSetPoints(line, pts, 3), ANN_SUCCESS);
    const std::size_t live = annLiveObjectCount();

    desktop::setGlobalMemoryLimit(16);
    ANNHANDLE h = 0;
    EXPECT_EQ(K_AnnCreate(ANN_RECTANGLE, &h), ANN_ERROR_NO_MEMORY);
    EXPECT_EQ(annLiveObjectCount(), live);
    EXPECT_EQ(K_AnnSetText(note, "a text longer than sixteen bytes", 0), ANN_ERROR_NO_MEMORY);
    EXPECT_STREQ(record(note).Text.c_str(), "kept");  // the old text stays
    EXPECT_EQ(K_AnnSetPoints(line, pts, 3), ANN_ERROR_NO_MEMORY);
    EXPECT_EQ(record(line).PointCount, 0u);  // the object is left without points
    desktop::setGlobalMemoryLimit(SIZE_MAX);

    K_AnnDestroy(note, 0);
    K_AnnDestroy(line, 0);
}

using Module = EngineTest;

TEST_F(Module, StartsAtTheFirstAttachAndEndsAtTheLastDetach) {
    ModuleState& m = annModule();
    EXPECT_EQ(m.attachCount, 1);
    EXPECT_NE(desktop::findAtom(kObjectPropertyName), 0);
    EXPECT_EQ(desktop::registerClipboardFormat(kClipboardFormatName), m.clipboardFormat);
    for (desktop::CursorHandle c : m.cursors) EXPECT_NE(desktop::cursorShape(c), nullptr);
    for (int id = 102; id <= 106; ++id) {
        ASSERT_NE(annModuleImage(id), nullptr);
        EXPECT_EQ(annModuleImage(id)->width(), 32);
    }
    EXPECT_DOUBLE_EQ(m.defaultFontSize, 96 * 10 / 72.0);

    // The tool bar's class: its windows keep their state in their word.
    const desktop::WindowHandle bar =
        desktop::createWindow(kToolBarClassName, "", desktop::WS_POPUP | desktop::WS_CAPTION, 0, {0, 0, 60, 200}, 0);
    ASSERT_NE(bar, 0u);
    EXPECT_NE(desktop::windowWord(bar, 0), 0);
    (void)desktop::destroyWindow(bar);

    const desktop::CursorHandle cursor = m.cursors[0];
    EXPECT_EQ(DllMain(nullptr, 1, nullptr), 1);  // a later attach only counts
    EXPECT_EQ(m.cursors[0], cursor);
    EXPECT_EQ(DllMain(nullptr, 0, nullptr), 1);
    EXPECT_NE(desktop::cursorShape(cursor), nullptr);
    EXPECT_EQ(DllMain(nullptr, 0, nullptr), 1);  // the last one ends it
    EXPECT_EQ(m.attachCount, 0);
    EXPECT_EQ(desktop::cursorShape(cursor), nullptr);
    EXPECT_EQ(desktop::findAtom(kObjectPropertyName), 0);
    EXPECT_EQ(DllMain(nullptr, 0, nullptr), 1);  // a detach too many changes nothing
    EXPECT_EQ(m.attachCount, 0);
    EXPECT_EQ(DllMain(nullptr, 1, nullptr), 1);
    EXPECT_EQ(m.attachCount, 1);
}

}  // namespace
}  // namespace fg::annotation
