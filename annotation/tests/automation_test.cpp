// The automation on a host window: drawing with every tool, selecting,
// moving, resizing and rotating by mouse, cursors, the context menu and its
// commands, run-mode activation, and the notifications of each.
#include "annotation/module.h"
#include "annotation/properties.h"
#include "gesture_fixture.h"
#include "platform/desktop/clipboard.h"
#include "platform/desktop/sound.h"
#include "platform/desktop/system.h"
#include "platform/image/bmp.h"
#include "platform/testing/temp_home.h"
#include "saved_trees.h"

namespace fg::annotation {
namespace {

using desktop::Point;
using Codes = std::vector<std::uintptr_t>;
using Notes = std::vector<std::pair<std::uintptr_t, std::intptr_t>>;

class Automation : public GestureTest {
protected:
    void SetUp() override {
        GestureTest::SetUp();
        menus_ = testing::ScriptedMenuDriver::install();
        dialogs_ = testing::ScriptedDialogDriver::install();
        common_ = testing::ScriptedCommonDialogs::install();
        sound_ = std::make_shared<desktop::NullSound>();
        desktop::setSoundBackend(sound_);
        auto_ = create(ANN_AUTOMATION);
        K_AnnSetAutoContainer(auto_, root_);
        K_AnnSetDpiX(auto_, 96, 0);
        K_AnnSetDpiY(auto_, 96, 0);
        ASSERT_EQ(K_AnnSetUndoDepth(auto_, 4), ANN_SUCCESS);
        ASSERT_EQ(K_AnnSetActiveState(auto_, 1), ANN_SUCCESS);
        settle();
    }
    void TearDown() override {
        if (auto_) K_AnnDestroy(auto_, 0);
        GestureTest::TearDown();
    }

    void tool(uint32_t t) { ASSERT_EQ(K_AnnSetTool(auto_, t), ANN_SUCCESS); }
    void mouse(uint32_t message, Point p, unsigned keys = 0) { host().mouse(message, p, keys); }
    Codes codes() const {
        Codes out;
        for (const auto& n : const_cast<Automation*>(this)->host().notifications()) out.push_back(n.first);
        return out;
    }
    std::vector<ANNHANDLE> children(ANNHANDLE of) const {
        std::vector<ANNHANDLE> out;
        for (const AnnObject* c = record(of).FirstChild; c; c = c->NextSibling) out.push_back(c->Self);
        return out;
    }
    // A right press with the menu answered by `choice` (0: dismissed),
    // then the pump that brings the command and the menu's end.
    const std::vector<testing::ShownMenuItem>& menu(Point p, unsigned choice = 0, unsigned keys = 0) {
        menus_->choices.push_back(choice);
        mouse(desktop::WM_RBUTTONDOWN, p, keys);
        desktop::dispatchMessages();
        EXPECT_EQ(record(auto_).AutoMenu, 0u);
        return menus_->shown.back();
    }
    int32_t selected(ANNHANDLE h) {
        int32_t s = -1;
        K_AnnGetSelected(h, &s);
        return s;
    }

    std::shared_ptr<testing::ScriptedMenuDriver> menus_;
    std::shared_ptr<testing::ScriptedDialogDriver> dialogs_;
    std::shared_ptr<testing::ScriptedCommonDialogs> common_;
    std::shared_ptr<desktop::NullSound> sound_;
    ANNHANDLE auto_ = 0;
};

TEST_F(Automation, ActivationHooksTheContainersWindowAndDestructionGivesItBack) {
    const desktop::Atom atom = annModule().objectAtom;
    EXPECT_EQ(desktop::windowProc(window()), &K_AnnAutoWndProc);
    EXPECT_EQ(desktop::getProp(window(), atom), std::intptr_t(auto_));
    EXPECT_EQ(K_AnnSetAutoContainer(auto_, 0), ANN_ERROR_INVALID_PARAMETER) << "refused while active";
    EXPECT_EQ(K_AnnSetActiveState(auto_, 1), ANN_SUCCESS);

    // A second automation object on the same window would pass every
    // message on to itself.
    const ANNHANDLE second = create(ANN_AUTOMATION);
    K_AnnSetAutoContainer(second, root_);
    EXPECT_EQ(K_AnnSetActiveState(second, 1), ANN_ERROR_INVALID_PARAMETER);
    K_AnnSetAutoContainer(second, 0);
    EXPECT_EQ(K_AnnSetActiveState(second, 1), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(K_AnnSetActiveState(second, 2), ANN_ERROR_INVALID_PARAMETER);
    K_AnnDestroy(second, 0);

    // With a window of its own the automation object is told of its state.
    K_AnnSetWnd(auto_, window());
    EXPECT_EQ(K_AnnSetActiveState(auto_, 0), ANN_SUCCESS);
    EXPECT_NE(desktop::windowProc(window()), &K_AnnAutoWndProc);
    EXPECT_EQ(K_AnnSetActiveState(auto_, 0), ANN_SUCCESS);
    EXPECT_EQ(K_AnnSetActiveState(auto_, 1), ANN_SUCCESS);
    EXPECT_EQ(host().notifications(), (Notes{{4, std::intptr_t(auto_)}, {3, std::intptr_t(auto_)}}));

    // Destroyed while active: the window gets its own procedure back and
    // loses the property, and goes on as before.
    K_AnnDestroy(auto_, 0);
    auto_ = 0;
    EXPECT_NE(desktop::windowProc(window()), &K_AnnAutoWndProc);
    EXPECT_EQ(desktop::getProp(window(), atom), 0);
    host().clearLog();
    mouse(desktop::WM_LBUTTONDOWN, {10, 10});
    EXPECT_EQ(host().messages(desktop::WM_LBUTTONDOWN).size(), 1u);
}

TEST_F(Automation, DrawsWithEveryToolAndTellsTheHost) {
    K_AnnSetForeColor(auto_, 0x0000FF, 0);
    K_AnnSetBackColor(auto_, 0x00FF00, 0);
    K_AnnSetFillMode(auto_, ANN_FILLMODE_TRANSLUCENT, 0);
    const struct {
        uint32_t tool, kind;
    } cases[] = {{1, ANN_LINE},       {2, ANN_RECTANGLE}, {3, ANN_ELLIPSE}, {6, ANN_ARROW},   {7, ANN_FREEHAND},
                 {8, ANN_HIGHLIGHT},  {9, ANN_REDACTION}, {10, ANN_TEXT},   {11, ANN_NOTE},   {12, ANN_STAMP},
                 {13, ANN_BUTTON},    {14, ANN_HOTSPOT},  {15, ANN_AUDIO}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tool);
        tool(c.tool);
        settle();
        host().drag({{50, 50}, {80, 70}, {120, 100}});
        const std::vector<ANNHANDLE> made = children(root_);
        ASSERT_EQ(made.size(), 1u);
        const ANNHANDLE h = made[0];
        const AnnObject& o = record(h);
        EXPECT_EQ(o.Type, c.kind);
        EXPECT_EQ(o.Visible, 1);
        EXPECT_EQ(o.Selected, 1);
        EXPECT_EQ(desktop::captureWindow(), 0u);
        const std::intptr_t self = std::intptr_t(h), rootNote = std::intptr_t(root_);
        EXPECT_EQ(host().notifications(), (Notes{{5, self}, {7, self}, {8, self}, {11, self}, {10, rootNote}}));
        EXPECT_EQ(std::string(o.Text.view()), annKindIn(kTextKinds, c.kind) ? "AaBbYyZz" : "");
        if (c.kind == ANN_LINE) expectPoints(pointsOf(h), {{50, 50}, {120, 100}});
        else if (c.kind == ANN_FREEHAND) expectPoints(pointsOf(h), {{50, 50}, {80, 70}, {120, 100}, {120, 100}});
        else if (c.kind == ANN_ARROW) expectPoints({o.ArrowPoints[0], o.ArrowPoints[1]}, {{50, 50}, {120, 100}});
        else expectPoints({o.Corners[0], o.Corners[2]}, {{50, 50}, {120, 100}});
        // The automation's attributes, where the kind has them.
        if (annKindIn(kForeColorKinds, c.kind)) {
            EXPECT_EQ(o.ForeColor, 0x0000FFu);
        }
        if (c.kind == ANN_RECTANGLE) {
            EXPECT_EQ(o.BackColor, 0x00FF00u);
        }
        if (c.kind == ANN_HIGHLIGHT || c.kind == ANN_NOTE) {
            EXPECT_EQ(o.BackColor, 0x00FFFFu) << "keeps its own";
        }
        if (c.kind == ANN_TEXT) {
            EXPECT_EQ(o.FillMode, 0u) << "text is never translucent";
        }
        EXPECT_TRUE(strayPels().empty());
        K_AnnDestroy(h, 0);
    }
}

TEST_F(Automation, PolygonsCloseOnTheirStartAndPolylinesOnADoubleClick) {
    auto vertices = [&](bool polygon) {
        tool(polygon ? 5 : 4);
        mouse(desktop::WM_LBUTTONDOWN, {50, 50});
        mouse(desktop::WM_LBUTTONUP, {50, 50});
        mouse(desktop::WM_MOUSEMOVE, {100, 50});
        mouse(desktop::WM_LBUTTONDOWN, {100, 50});
        mouse(desktop::WM_LBUTTONUP, {100, 50});
        mouse(desktop::WM_MOUSEMOVE, {100, 100});
        mouse(desktop::WM_LBUTTONDOWN, {100, 100});
        mouse(desktop::WM_MOUSEMOVE, {52, 48});
        // Within two pels of the first vertex.
        mouse(desktop::WM_LBUTTONDOWN, {52, 48});
    };
    vertices(true);
    ANNHANDLE h = children(root_).at(0);
    EXPECT_EQ(record(h).Visible, 1);
    EXPECT_EQ(desktop::captureWindow(), 0u);
    expectPoints(pointsOf(h), {{50, 50}, {100, 50}, {100, 100}, {52, 48}});
    EXPECT_EQ(codes(), (Codes{5, 7, 8, 11, 10}));
    EXPECT_TRUE(strayPels().empty());
    K_AnnDestroy(h, 0);

    settle();
    vertices(false);
    h = children(root_).at(0);
    EXPECT_EQ(desktop::captureWindow(), window()) << "the polyline goes on";
    mouse(desktop::WM_LBUTTONDBLCLK, {52, 48});
    expectPoints(pointsOf(h), {{50, 50}, {100, 50}, {100, 100}, {52, 48}, {52, 48}});
    EXPECT_EQ(codes(), (Codes{5, 7, 8, 11, 10}));
    EXPECT_TRUE(strayPels().empty());
    K_AnnDestroy(h, 0);

    // A right press ends a polygon where it is.
    settle();
    tool(5);
    mouse(desktop::WM_LBUTTONDOWN, {50, 50});
    mouse(desktop::WM_MOUSEMOVE, {150, 60});
    mouse(desktop::WM_LBUTTONDOWN, {150, 60});
    mouse(desktop::WM_RBUTTONDOWN, {140, 140});
    desktop::dispatchMessages();
    h = children(root_).at(0);
    expectPoints(pointsOf(h), {{50, 50}, {150, 60}, {140, 140}});
    EXPECT_EQ(codes(), (Codes{5, 7, 8, 11, 10}));
    EXPECT_EQ(menus_->shown.size(), 1u) << "and the menu follows";
}

TEST_F(Automation, SelectsMovesResizesAndRotatesByMouse) {
    const ANNHANDLE a = box(root_, ANN_RECTANGLE, {100, 100, 160, 130});
    const ANNHANDLE b = box(root_, ANN_ELLIPSE, {200, 100, 240, 140});
    tool(0);
    settle();
    const std::intptr_t rootNote = std::intptr_t(root_), aNote = std::intptr_t(a), bNote = std::intptr_t(b);

    // A click selects; a drag of the body moves.
    host().drag({{120, 110}, {140, 120}});
    EXPECT_EQ(selected(a), 1);
    expectPoints({record(a).Corners[0]}, {{120, 110}});
    EXPECT_EQ(host().notifications(), (Notes{{11, aNote}, {10, rootNote}}));
    EXPECT_TRUE(strayPels().empty());

    // A handle: the pointer jumps onto it, the drag resizes.
    settle();
    const Point corner{180, 140};  // the bottom-right handle of (120, 110)-(180, 140)
    host().drag({{corner.x + 2, corner.y + 1}, {200, 150}});
    expectPoints({record(a).Corners[0], record(a).Corners[2]}, {{120, 110}, {200, 150}});
    EXPECT_TRUE(strayPels().empty());

    // With Shift the handle turns the object: half a turn about its centre.
    settle();
    const POINTD c = record(a).Center;
    host().drag({{200, 150}, {int(2 * c.x - 200), int(2 * c.y - 150)}}, desktop::MK_SHIFT);
    EXPECT_NEAR(record(a).Corners[0].x, 200, 1e-9);
    EXPECT_NEAR(record(a).Corners[0].y, 150, 1e-9);
    EXPECT_TRUE(strayPels().empty());

    // Shift adds to the selection; a drag then moves both.
    settle();
    host().drag({{220, 120}, {220, 120}}, desktop::MK_SHIFT);
    EXPECT_EQ(selected(a), 1);
    EXPECT_EQ(selected(b), 1);
    host().clearLog();
    host().drag({{220, 120}, {225, 130}});
    expectPoints({record(b).Corners[0]}, {{205, 110}});
    EXPECT_EQ(host().notifications(), (Notes{{11, aNote}, {11, bNote}, {10, rootNote}}));

    // A rectangle over empty ground selects what it holds, unselecting the
    // rest; nothing is notified.
    settle();
    host().drag({{390, 290}, {195, 95}});
    EXPECT_EQ(selected(a), 0);
    EXPECT_EQ(selected(b), 1);
    EXPECT_EQ(host().notifications(), (Notes{}));
    EXPECT_TRUE(strayPels().empty());
}

TEST_F(Automation, SetsTheCursorForWhatLiesUnderIt) {
    const ANNHANDLE a = box(root_, ANN_RECTANGLE, {100, 100, 160, 130});
    const ANNHANDLE button = box(root_, ANN_BUTTON, {200, 200, 260, 230});
    K_AnnSetSelected(a, 1, 0);
    const desktop::CursorHandle arrow = desktop::arrowCursor(), *cursors = annModule().cursors;
    const struct {
        uint32_t tool, mode;
        Point at;
        desktop::CursorHandle shown;
        bool passedOn;
    } cases[] = {
        {2, ANN_MODE_DESIGN, {10, 10}, cursors[0], false},    // drawing over the container
        {0, ANN_MODE_DESIGN, {130, 115}, cursors[3], false},  // the body of a selected object
        {0, ANN_MODE_DESIGN, {101, 99}, cursors[1], false},   // its handle
        {0, ANN_MODE_DESIGN, {220, 210}, arrow, true},        // an object not selected
        {0, ANN_MODE_RUN, {220, 210}, cursors[2], false},     // a button in run mode
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.at.x);
        tool(c.tool);
        K_AnnSetUserMode(root_, c.mode);
        desktop::setCursor(0);
        host().clearLog();
        desktop::setCursorPos(desktop::clientToScreen(window(), c.at));
        const auto r = desktop::sendMessage(window(), desktop::WM_SETCURSOR, window(),
                                            desktop::makeLParam(desktop::HTCLIENT, desktop::WM_MOUSEMOVE));
        EXPECT_EQ(desktop::currentCursor(), c.shown);
        EXPECT_EQ(host().messages(desktop::WM_SETCURSOR).size(), c.passedOn ? 1u : 0u);
        if (!c.passedOn) {
            EXPECT_EQ(r, 1);
        }
    }
    // Without drawing, the host's cursor.
    K_AnnSetAutoDrawEnable(auto_, 0);
    host().clearLog();
    desktop::sendMessage(window(), desktop::WM_SETCURSOR, window(), desktop::makeLParam(desktop::HTCLIENT, 0));
    EXPECT_EQ(host().messages(desktop::WM_SETCURSOR).size(), 1u);
    K_AnnDestroy(button, 0);
}

// The enabled commands of a menu, its submenu left out.
std::vector<std::string> enabledTexts(const std::vector<testing::ShownMenuItem>& items) {
    std::vector<std::string> out;
    for (const auto& i : items)
        if (i.enabled && i.submenu.empty()) out.push_back(i.text);
    return out;
}

TEST_F(Automation, TheContextMenuOffersWhatTheSelectionAllows) {
    const ANNHANDLE rect = box(root_, ANN_RECTANGLE, {10, 10, 50, 50});
    const ANNHANDLE stamp = box(root_, ANN_STAMP, {100, 10, 150, 50});
    const ANNHANDLE audio = box(root_, ANN_AUDIO, {200, 10, 232, 42});
    const ANNHANDLE note = box(root_, ANN_NOTE, {300, 10, 350, 50});
    const std::vector<std::string> defaults{"直線(&L)...", "塗りつぶし(&F)...", "前景色(&O)...", "背景色(&B)...",
                                            "ﾌｫﾝﾄ(&N)..."};
    const struct {
        const char* what;
        Point at;
        unsigned keys;
        std::vector<std::string> enabled;
        std::string title;
        std::vector<std::string> properties;
    } cases[] = {
        {"nothing", {200, 200}, 0, {"すべて選択(&A)"}, "ﾃﾞﾌｫﾙﾄ ﾌﾟﾛﾊﾟﾃｨ(&O)", defaults},
        {"a rectangle", {20, 20}, 0,
         {"切り取り(&T)", "ｺﾋﾟｰ(&C)", "削除(&D)", "すべて選択(&A)", "最前面へ移動(&F)", "最背面へ移動(&B)"},
         "長方形 ﾌﾟﾛﾊﾟﾃｨ(&O)", {"直線(&L)...", "塗りつぶし(&F)...", "前景色(&O)...", "背景色(&B)..."}},
        {"a stamp", {120, 20}, 0,
         {"切り取り(&T)", "ｺﾋﾟｰ(&C)", "削除(&D)", "すべて選択(&A)", "最前面へ移動(&F)", "最背面へ移動(&B)"},
         "ｽﾀﾝﾌﾟ ﾌﾟﾛﾊﾟﾃｨ(&O)", {"直線(&L)...", "塗りつぶし(&F)...", "前景色(&O)...", "背景色(&B)...", "ﾌｫﾝﾄ(&N)...",
                                "ﾋﾞｯﾄﾏｯﾌﾟ(&B)...", "ﾃｷｽﾄ(&T)..."}},
        {"an audio clip", {210, 20}, 0,
         {"切り取り(&T)", "ｺﾋﾟｰ(&C)", "削除(&D)", "すべて選択(&A)", "最前面へ移動(&F)", "最背面へ移動(&B)"},
         "ｵｰﾃﾞｨｵ ﾌﾟﾛﾊﾟﾃｨ(&O)", {"ﾌｧｲﾙ(&I)..."}},
        {"a note and, with Shift, the audio clip", {210, 20}, desktop::MK_SHIFT,
         {"切り取り(&T)", "ｺﾋﾟｰ(&C)", "削除(&D)", "すべて選択(&A)"},
         "選択ﾎﾟｲﾝﾀ ﾌﾟﾛﾊﾟﾃｨ(&O)", {"前景色(&O)...", "背景色(&B)...", "ﾌｫﾝﾄ(&N)..."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.keys) {
            K_AnnSetSelected(root_, 0, ANN_FLAG_RECURSIVE);
            K_AnnSetSelected(note, 1, 0);
        }
        const auto& shown = menu(c.at, 0, c.keys);
        ASSERT_EQ(shown.size(), 12u);
        EXPECT_EQ(enabledTexts(shown), c.enabled);
        EXPECT_EQ(shown.back().text, c.title);
        std::vector<std::string> properties;
        for (const auto& i : shown.back().submenu) properties.push_back(i.text);
        EXPECT_EQ(properties, c.properties);
    }
    EXPECT_EQ(selected(audio), 1);
    EXPECT_EQ(selected(note), 1);
    EXPECT_EQ(selected(rect), 0);
    EXPECT_EQ(selected(stamp), 0);
    // Without the menu the press is the host's.
    K_AnnSetAutoMenuEnable(auto_, 0);
    host().clearLog();
    mouse(desktop::WM_RBUTTONDOWN, {20, 20});
    EXPECT_EQ(host().messages(desktop::WM_RBUTTONDOWN).size(), 1u);
    EXPECT_EQ(selected(rect), 1) << "the selection still follows the press";
}

TEST_F(Automation, MenuCommandsEditAndNotify) {
    const ANNHANDLE first = box(root_, ANN_RECTANGLE, {10, 10, 50, 50});
    const ANNHANDLE second = box(root_, ANN_RECTANGLE, {100, 10, 150, 50});
    ANNHANDLE inner = 0;
    ASSERT_EQ(K_AnnCreateItem(root_, ANN_CONTAINER, 1, &inner), ANN_SUCCESS);
    const ANNHANDLE nested = box(inner, ANN_ELLIPSE, {200, 200, 220, 220});
    settle();
    const std::intptr_t f = std::intptr_t(first), s = std::intptr_t(second), r = std::intptr_t(root_);

    // Select all: the container's own children, no further, and no news.
    menu({300, 100}, 114);
    EXPECT_EQ(selected(first), 1);
    EXPECT_EQ(selected(inner), 1);
    EXPECT_EQ(selected(nested), 0);
    EXPECT_EQ(host().notifications(), (Notes{}));

    // To the front: the object ends last; every object is told.
    K_AnnSetSelected(root_, 0, ANN_FLAG_RECURSIVE);
    host().clearLog();
    menu({20, 20}, 104);
    EXPECT_EQ(children(root_).back(), first);
    EXPECT_EQ(codes(), (Codes{11, 11, 11, 11, 11, 10}));
    host().clearLog();
    menu({20, 20}, 105);
    EXPECT_EQ(children(root_).front(), first);

    // A colour for one object becomes the automation's default too.
    common_->colors = {0x123456, std::nullopt};
    host().clearLog();
    menu({20, 20}, 108);
    EXPECT_EQ(record(first).ForeColor, 0x123456u);
    EXPECT_EQ(record(auto_).ForeColor, 0x123456u);
    EXPECT_EQ(host().notifications(), (Notes{{11, f}, {10, r}}));
    EXPECT_EQ(common_->colorRequests.at(0).initial, 0u);
    host().clearLog();
    menu({20, 20}, 109);  // cancelled: nothing said
    EXPECT_EQ(host().notifications(), (Notes{}));

    // Chosen for the automation itself (two selected): every selected one.
    K_AnnSetSelected(second, 1, 0);
    common_->colors = {0x00FF00};
    host().clearLog();
    menu({120, 20}, 109);
    EXPECT_EQ(record(first).BackColor, 0x00FF00u);
    EXPECT_EQ(record(second).BackColor, 0x00FF00u);
    EXPECT_EQ(host().notifications(), (Notes{{11, f}, {11, s}, {10, r}}));

    // The font: sizes through the image's resolution.
    K_AnnSetDpiY(auto_, 200, 0);
    desktop::FontChoice font;
    font.font.weight = 600;
    font.font.italic = true;
    font.font.faceName = "Liberation Serif";
    font.pointSizeTenths = 180;
    font.color = 0x0000FF;
    common_->fonts = {font};
    const ANNHANDLE text = box(root_, ANN_TEXT, {300, 200, 390, 290});
    K_AnnSetFontSize(text, 50, 0);
    menu({350, 250}, 110);
    const desktop::FontRequest& asked = common_->fontRequests.at(0);
    EXPECT_EQ(asked.initial.height, -24) << "50 of 200 dpi on a 96-dpi screen";
    EXPECT_EQ(asked.initial.faceName, "Arial");
    EXPECT_DOUBLE_EQ(record(text).FontSize, 50.0);
    EXPECT_EQ(record(text).FontBold, 1);
    EXPECT_EQ(record(text).FontItalic, 1);
    EXPECT_EQ(std::string(record(text).FontName.view()), "Liberation Serif");
    EXPECT_EQ(record(text).ForeColor, 0x0000FFu);
    EXPECT_EQ(record(auto_).FontSize, 50.0);

    // A dialog that is cancelled says nothing; one ended with OK tells of
    // the object.
    host().clearLog();
    menu({350, 250}, 113);
    EXPECT_EQ(host().notifications(), (Notes{}));
    dialogs_->scripts.push_back([](desktop::DialogSession& d) {
        d.type(1001, "new");
        d.click(desktop::IDOK);
    });
    menu({350, 250}, 113);
    EXPECT_EQ(std::string(record(text).Text.view()), "new");
    EXPECT_EQ(host().notifications(), (Notes{{11, std::intptr_t(text)}, {10, r}}));

    // Delete, and undo brings it back.
    host().clearLog();
    menu({350, 250}, 103);
    EXPECT_EQ(host().notifications(), (Notes{{6, std::intptr_t(text)}, {10, r}}));
    EXPECT_EQ(children(root_).size(), 3u);
    const auto& shown = menu({200, 150}, 115);
    EXPECT_TRUE(shown.front().enabled);
    EXPECT_EQ(children(root_).size(), 4u);
    EXPECT_EQ(record(children(root_).back()).Type, uint32_t(ANN_TEXT));
}

TEST_F(Automation, CutCopyAndPasteGoThroughTheClipboard) {
    const ANNHANDLE first = box(root_, ANN_RECTANGLE, {10, 10, 50, 50});
    box(root_, ANN_ELLIPSE, {100, 10, 150, 50});
    ANNHANDLE inner = 0;
    ASSERT_EQ(K_AnnCreateItem(root_, ANN_CONTAINER, 1, &inner), ANN_SUCCESS);
    const ANNHANDLE nested = box(inner, ANN_NOTE, {200, 100, 260, 160});
    box(inner, ANN_TEXT, {300, 100, 360, 160});
    K_AnnSetForeColor(first, 0x123456, 0);
    K_AnnSetText(nested, "memo", 0);
    K_AnnSetSelected(first, 1, 0);
    K_AnnSetSelected(nested, 1, 0);
    settle();
    const std::intptr_t r = std::intptr_t(root_);

    // Copy: both forms on the clipboard, nothing changed and nothing said.
    const std::vector<testing::ShownMenuItem> before = menu({20, 20}, 101);
    EXPECT_FALSE(before.at(3).enabled) << "nothing to paste yet";
    EXPECT_EQ(host().notifications(), (Notes{}));
    EXPECT_TRUE(desktop::isClipboardFormatAvailable(annModule().clipboardFormat));
    EXPECT_TRUE(desktop::isClipboardFormatAvailable(desktop::CF_METAFILEPICT));
    EXPECT_EQ(desktop::clipboardOwner(), window());
    EXPECT_EQ(children(root_).size(), 3u);

    // Paste: the copied selection, the nested note in a group of its own,
    // selected in place of what was.
    const std::vector<testing::ShownMenuItem> after = menu({20, 20}, 102);
    EXPECT_TRUE(after.at(3).enabled);
    const std::vector<ANNHANDLE> now = children(root_);
    ASSERT_EQ(now.size(), 5u);
    const ANNHANDLE copy = now[3], group = now[4];
    ASSERT_NE(record(group).FirstChild, nullptr);
    const ANNHANDLE nestedCopy = record(group).FirstChild->Self;
    // Saved, each with its container, they read the same.
    EXPECT_EQ(savedBytes(copy), savedBytes(first));
    EXPECT_EQ(savedBytes(nestedCopy), savedBytes(nested));
    EXPECT_EQ(record(group).FirstChild->NextSibling, nullptr) << "the unselected text stays behind";
    for (ANNHANDLE h : {first, nested}) EXPECT_EQ(selected(h), 0);
    for (ANNHANDLE h : {copy, group, nestedCopy}) {
        EXPECT_EQ(selected(h), 1);
        EXPECT_EQ(record(h).Wnd, window());
    }
    EXPECT_EQ(host().notifications(), (Notes{{5, std::intptr_t(copy)},
                                             {5, std::intptr_t(group)},
                                             {5, std::intptr_t(nestedCopy)},
                                             {10, r}}));
    EXPECT_TRUE(strayPels().empty());
    ASSERT_EQ(K_AnnUndo(auto_), ANN_SUCCESS);
    EXPECT_EQ(children(root_).size(), 3u) << "the paste is undone";

    // Cut: the single object of the menu leaves for the clipboard, and
    // comes back as it was. (The undo put copies in the container.)
    const ANNHANDLE ellipse = children(root_).at(1);
    const std::string cut = savedBytes(ellipse);
    settle();
    menu({120, 20}, 100);
    EXPECT_EQ(annLock(ellipse), nullptr);
    EXPECT_EQ(host().notifications(), (Notes{{6, std::intptr_t(ellipse)}, {10, r}}));
    EXPECT_TRUE(strayPels().empty());
    host().clearLog();
    menu({390, 290}, 102);
    EXPECT_EQ(savedBytes(children(root_).back()), cut);
    EXPECT_EQ(codes(), (Codes{5, 10}));
    ASSERT_EQ(K_AnnUndo(auto_), ANN_SUCCESS);
    ASSERT_EQ(K_AnnUndo(auto_), ANN_SUCCESS);
    EXPECT_EQ(record(children(root_).at(1)).Type, uint32_t(ANN_ELLIPSE)) << "the cut is undone";
}

TEST_F(Automation, ACutThatCannotPlaceBothFormsDestroysNothing) {
    const ANNHANDLE rect = box(root_, ANN_RECTANGLE, {10, 10, 50, 50});
    const struct {
        const char* what;
        bool holdOpen;
        std::size_t memoryLimit;
        bool picturePlaced;
    } cases[] = {
        {"the clipboard held open by another", true, SIZE_MAX, false},
        {"no memory for the text, the picture placed", false, 100, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        settle();
        if (c.holdOpen) {
            ASSERT_TRUE(desktop::openClipboard(0));
        }
        desktop::setGlobalMemoryLimit(c.memoryLimit);
        menu({20, 20}, 100);
        desktop::setGlobalMemoryLimit(SIZE_MAX);
        if (c.holdOpen) (void)desktop::closeClipboard();
        EXPECT_EQ(children(root_), std::vector<ANNHANDLE>{rect});
        EXPECT_EQ(host().notifications(), (Notes{{10, std::intptr_t(root_)}}));
        EXPECT_FALSE(desktop::isClipboardFormatAvailable(annModule().clipboardFormat));
        EXPECT_EQ(desktop::isClipboardFormatAvailable(desktop::CF_METAFILEPICT), c.picturePlaced);
    }
}

TEST_F(Automation, AnAudioClipsFileComesFromTheOpenFileDialog) {
    const testing::TempHome home(false);
    const std::string wave = home.path() + "clip.wav";
    std::string bytes = std::string("RIFF") + std::string("\x24\0\0\0", 4) + "WAVEfmt " + std::string("\x10\0\0\0", 4);
    bytes += std::string("\x01\0\x01\0\x40\x1f\0\0\x80\x3e\0\0\x02\0\x10\0", 16) + "data" + std::string(4, '\0');
    home.write("clip.wav", bytes);
    const ANNHANDLE audio = box(root_, ANN_AUDIO, {10, 10, 42, 42});
    common_->files = {wave};
    menu({20, 20}, 112);
    const desktop::OpenFileRequest& asked = common_->fileRequests.at(0);
    EXPECT_EQ(asked.title, "ｵｰﾃﾞｨｵ ﾌｧｲﾙ");
    static constexpr char kFilter[] = "Wave ﾌｧｲﾙ (*.wav)\0*.wav\0すべてのﾌｧｲﾙ (*.*)\0*.*\0";
    EXPECT_EQ(asked.filter, std::string(kFilter, sizeof kFilter - 1));
    EXPECT_EQ(std::string(record(audio).Text.view()), wave);

    // Played in run mode: activated, played to its end, deactivated.
    K_AnnSetUserMode(root_, ANN_MODE_RUN);
    settle();
    mouse(desktop::WM_LBUTTONDOWN, {20, 20});
    EXPECT_EQ(sound_->played(), (std::vector<std::string>{wave}));
    EXPECT_EQ(codes(), (Codes{3, 4}));
    EXPECT_EQ(desktop::captureWindow(), 0u);
    EXPECT_TRUE(strayPels().empty());
    // Without a playable file: -10, and the press is taken all the same.
    K_AnnSetText(audio, (home.path() + "missing.wav").c_str(), 0);
    host().clearLog();
    mouse(desktop::WM_LBUTTONDOWN, {20, 20});
    EXPECT_EQ(host().messages(desktop::WM_LBUTTONDOWN).size(), 0u);
    EXPECT_EQ(K_AnnSetActiveState(audio, 1), ANN_ERROR_FILE_NOT_FOUND);
    K_AnnSetText(audio, nullptr, 0);
    EXPECT_EQ(K_AnnSetActiveState(audio, 1), ANN_ERROR_FILE_NOT_FOUND);
    const ANNHANDLE rect = box(root_, ANN_RECTANGLE, {100, 100, 110, 110});
    EXPECT_EQ(K_AnnSetActiveState(rect, 1), ANN_ERROR_NOT_SUPPORTED);
}

TEST_F(Automation, TheLineFillAndFileCommandsChangeWhatTheMenuWasAbout) {
    const ANNHANDLE first = box(root_, ANN_RECTANGLE, {10, 10, 50, 50});
    const ANNHANDLE second = box(root_, ANN_RECTANGLE, {100, 10, 150, 50});
    const std::intptr_t f = std::intptr_t(first), s = std::intptr_t(second), r = std::intptr_t(root_);

    // The line dialog on one object: its width in points at 96 dpi, and
    // the automation's defaults follow; cancelled, nothing changes or is said.
    dialogs_->scripts.push_back([](desktop::DialogSession& d) {
        d.type(1001, "1.5");
        d.select(1002, 1);
        d.click(desktop::IDOK);
    });
    host().clearLog();
    menu({20, 20}, 106);
    EXPECT_DOUBLE_EQ(record(first).LineWidth, 2.0);
    EXPECT_EQ(record(first).LineStyle, uint32_t(ANN_LINE_DASH));
    EXPECT_DOUBLE_EQ(record(auto_).LineWidth, 2.0);
    EXPECT_EQ(host().notifications(), (Notes{{11, f}, {10, r}}));
    host().clearLog();
    menu({20, 20}, 106);
    EXPECT_DOUBLE_EQ(record(first).LineWidth, 2.0);
    EXPECT_EQ(host().notifications(), (Notes{}));

    // The fill dialog with two selected: about the automation itself, so
    // every selected object changes, and each is told of.
    K_AnnSetSelected(second, 1, 0);
    dialogs_->scripts.push_back([](desktop::DialogSession& d) {
        d.select(1002, ANN_FILLMODE_OPAQUE);
        d.select(1003, ANN_FILL_DIAGCROSS);
        d.click(desktop::IDOK);
    });
    host().clearLog();
    menu({20, 20}, 107);
    for (ANNHANDLE h : {first, second}) {
        EXPECT_EQ(record(h).FillMode, uint32_t(ANN_FILLMODE_OPAQUE));
        EXPECT_EQ(record(h).FillPattern, uint32_t(ANN_FILL_DIAGCROSS));
    }
    EXPECT_EQ(host().notifications(), (Notes{{11, f}, {11, s}, {10, r}}));

    // A stamp's file: a picture that loads takes the place of its text; a
    // file that is no picture changes nothing.
    const testing::TempHome home(false);
    image::Image pels(4, 3, image::PixelFormat::Rgb24, 0x40);
    home.write("stamp.bmp", image::encodeBmp(pels, 24));
    home.write("note.txt", "no picture");
    const ANNHANDLE stamp = box(root_, ANN_STAMP, {200, 100, 260, 140});
    K_AnnSetText(stamp, "承認", 0);
    common_->files = {home.path() + "stamp.bmp", home.path() + "note.txt"};
    host().clearLog();
    menu({220, 120}, 112);
    EXPECT_EQ(common_->fileRequests.at(0).title, "ｽﾀﾝﾌﾟ ﾌｧｲﾙ");
    static constexpr char kFilter[] = "すべてのﾌｧｲﾙ (*.*)\0*.*\0";
    EXPECT_EQ(common_->fileRequests.at(0).filter, std::string(kFilter, sizeof kFilter - 1));
    ASSERT_TRUE(record(stamp).Bitmap.holdsBitmap());
    EXPECT_EQ(record(stamp).Bitmap.image.width(), 4);
    EXPECT_TRUE(record(stamp).Text.empty());
    EXPECT_EQ(host().notifications(), (Notes{{11, std::intptr_t(stamp)}, {10, r}}));
    menu({220, 120}, 112);
    ASSERT_TRUE(record(stamp).Bitmap.holdsBitmap());
    EXPECT_EQ(record(stamp).Bitmap.image.height(), 3);
}

TEST_F(Automation, RunModePressesButtonsAndHotspots) {
    const ANNHANDLE button = box(root_, ANN_BUTTON, {50, 50, 120, 80});
    const ANNHANDLE hotspot = box(root_, ANN_HOTSPOT, {200, 50, 240, 90});
    const ANNHANDLE rect = box(root_, ANN_RECTANGLE, {200, 200, 240, 240});
    K_AnnSetText(button, "OK", 0);
    K_AnnSetUserMode(root_, ANN_MODE_RUN);
    const struct {
        const char* what;
        ANNHANDLE object;
        std::vector<Point> path;
        Codes said;
    } cases[] = {
        {"a click", button, {{60, 60}, {70, 65}}, {3, 4, 9}},
        {"dragged off and released there", button, {{60, 60}, {300, 150}, {60, 60}, {300, 150}}, {3, 4, 3, 4}},
        {"dragged off and back", button, {{60, 60}, {300, 150}, {60, 60}}, {3, 4, 3, 4, 9}},
        {"a hotspot", hotspot, {{210, 60}, {210, 60}}, {3, 4, 9}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        settle();
        host().drag(c.path);
        EXPECT_EQ(codes(), c.said);
        uint32_t state = 9;
        K_AnnGetActiveState(c.object, &state);
        EXPECT_EQ(state, 0u);
        EXPECT_EQ(desktop::captureWindow(), 0u);
        EXPECT_TRUE(strayPels().empty()) << "the released button looks as before";
    }
    // The button shows pressed while held.
    settle();
    mouse(desktop::WM_LBUTTONDOWN, {60, 60});
    EXPECT_TRUE(surfaceChanged());
    mouse(desktop::WM_LBUTTONUP, {60, 60});
    // Another object is the host's.
    host().clearLog();
    host().drag({{210, 210}});
    EXPECT_EQ(host().messages(desktop::WM_LBUTTONDOWN).size(), 1u);
    EXPECT_EQ(host().messages(desktop::WM_LBUTTONUP).size(), 1u);
    K_AnnDestroy(rect, 0);
}

TEST_F(Automation, WhatAContainerCannotTakeIsNeitherDrawnNorPasted) {
    // A container the host gave a rectangle in place of a container.
    ASSERT_EQ(K_AnnSetActiveState(auto_, 0), ANN_SUCCESS);
    K_AnnSetUndoDepth(auto_, 0);
    const ANNHANDLE notContainer = create(ANN_RECTANGLE);
    K_AnnSetWnd(notContainer, window());
    K_AnnSetAutoContainer(auto_, notContainer);
    ASSERT_EQ(K_AnnSetActiveState(auto_, 1), ANN_SUCCESS);
    const std::size_t live = annLiveObjectCount();
    tool(2);
    host().clearLog();
    host().drag({{10, 10}, {50, 50}});
    EXPECT_EQ(annLiveObjectCount(), live);
    EXPECT_EQ(codes(), Codes{});
    EXPECT_EQ(record(auto_).AutoCapturing, 0);
    EXPECT_EQ(desktop::captureWindow(), 0u);

    // Nor does a pasted tree it cannot take stay behind.
    const RECTD all{0, 0, 400, 300};
    K_AnnSetRect(notContainer, &all);
    K_AnnSetVisible(notContainer, 1, 0);
    box(root_, ANN_ELLIPSE, {10, 10, 50, 50});
    ASSERT_EQ(K_AnnCopyToClipboard(root_, ANN_FORMAT_ANNOTATION, 0, 1), ANN_SUCCESS);
    const std::size_t before = annLiveObjectCount();
    menu({20, 20}, 102);
    EXPECT_EQ(annLiveObjectCount(), before);
    K_AnnSetActiveState(auto_, 0);
    K_AnnSetAutoContainer(auto_, root_);
    K_AnnDestroy(notContainer, 0);
}

}  // namespace
}  // namespace fg::annotation
