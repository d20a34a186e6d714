// The tool bar window (layout, mouse, its message, notifications, the
// checked look) and the line, fill and text dialogs.
#include "annotation/automation.h"
#include "gesture_fixture.h"
#include "platform/desktop/sound.h"
#include "platform/desktop/system.h"

namespace fg::annotation {
namespace {

using desktop::Point;
using desktop::Rect;
using Notes = std::vector<std::pair<std::uintptr_t, std::intptr_t>>;

class ToolBar : public GestureTest {
protected:
    void SetUp() override {
        GestureTest::SetUp();
        ASSERT_EQ(K_AnnCreateToolBar(window(), nullptr, 0, 1, &bar_), ANN_SUCCESS);
        ASSERT_NE(bar_, 0u);
    }
    void TearDown() override {
        (void)desktop::destroyWindow(bar_);
        GestureTest::TearDown();
    }
    // The centre of a slot, in the tool bar's client pels.
    static Point slot(int s) { return {4 + 23 * (s % 2) - 1 + 11, 4 + 21 * (s / 2) - 1 + 10}; }
    intptr_t click(std::uint32_t message, Point p) {
        return desktop::sendMessage(bar_, message, 0, desktop::makeLParam(p.x, p.y));
    }
    uint32_t checked() {
        uint32_t b = 99;
        EXPECT_EQ(K_AnnGetToolBarChecked(bar_, &b), ANN_SUCCESS);
        return b;
    }
    ANNWND bar_ = 0;
};

TEST_F(ToolBar, LaysOutSixteenButtonsInTwoColumnsAndShrinksToTheRowsStillNeeded) {
    const Rect frame = desktop::windowRect(bar_);
    EXPECT_EQ(frame.width(), 2 * (3 + 4) + 45);
    EXPECT_EQ(frame.height(), 15 + 2 * (3 + 4) + 167);
    EXPECT_EQ(desktop::windowExStyle(bar_), desktop::WS_EX_TOOLWINDOW);
    EXPECT_TRUE(desktop::isWindowVisible(bar_));
    EXPECT_EQ(checked(), 0u);
    EXPECT_EQ(host().notifications(), (Notes{{1, std::intptr_t(bar_)}}));

    // Slot 3 holds button 3 until it hides; then button 4 moves up.
    click(desktop::WM_LBUTTONDOWN, slot(3));
    click(desktop::WM_LBUTTONUP, slot(3));
    EXPECT_EQ(checked(), 3u);
    const struct {
        uint32_t button;
        int32_t visible;
        int height;  // the rows still needed
    } steps[] = {{3, 0, 8}, {5, 0, 7}, {6, 0, 7}, {7, 0, 6}, {5, 1, 7}};
    for (const auto& s : steps) {
        EXPECT_EQ(K_AnnSetToolBarButtonVisible(bar_, s.button, s.visible), ANN_SUCCESS);
        EXPECT_EQ(desktop::windowRect(bar_).height(), 15 + 14 + s.height * 21 - 1) << s.button;
        EXPECT_EQ(desktop::windowRect(bar_).top, frame.top);
        int32_t shown = -1;
        EXPECT_EQ(K_AnnGetToolBarButtonVisible(bar_, s.button, &shown), ANN_SUCCESS);
        EXPECT_EQ(shown, s.visible);
    }
    EXPECT_EQ(checked(), 3u) << "hiding does not uncheck";
    // Visible now: 0 1 2 4 5 8 ...: slot 3 holds button 4, slot 5 button 8.
    click(desktop::WM_LBUTTONDOWN, slot(5));
    click(desktop::WM_LBUTTONUP, slot(5));
    EXPECT_EQ(checked(), 8u);
    click(desktop::WM_LBUTTONDOWN, slot(3));
    click(desktop::WM_LBUTTONUP, slot(3));
    EXPECT_EQ(checked(), 4u);
}

TEST_F(ToolBar, AButtonIsChosenOnlyByAReleaseOverIt) {
    const struct {
        const char* what;
        std::vector<Point> moves;
        uint32_t result;
    } cases[] = {{"click", {}, 2},
                 {"dragged off", {{40, 150}}, 0},
                 {"dragged off and back", {{40, 150}, slot(2)}, 2},
                 {"onto another button", {slot(5)}, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        K_AnnSetToolBarChecked(bar_, 0);
        host().clearLog();
        click(desktop::WM_LBUTTONDOWN, slot(2));
        EXPECT_EQ(desktop::captureWindow(), bar_);
        for (Point p : c.moves) click(desktop::WM_MOUSEMOVE, p);
        click(desktop::WM_LBUTTONUP, c.moves.empty() ? slot(2) : c.moves.back());
        EXPECT_EQ(desktop::captureWindow(), 0u);
        EXPECT_EQ(checked(), c.result);
        EXPECT_EQ(host().notifications(), (c.result ? Notes{{0, 2}} : Notes{}));
    }
    // A press that meets no button changes nothing.
    click(desktop::WM_LBUTTONDOWN, {1, 170});
    EXPECT_EQ(desktop::captureWindow(), 0u);
}

TEST_F(ToolBar, AnswersItsMessageAndTellsItsParent) {
    host().clearLog();
    host().answer[ANN_NOTIFY_MESSAGE] = 77;
    EXPECT_EQ(K_AnnSetToolBarChecked(bar_, 16), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(host().notifications(), (Notes{}));
    EXPECT_EQ(K_AnnSetToolBarChecked(bar_, 9), 77) << "the parent's answer";
    EXPECT_EQ(host().notifications(), (Notes{{0, 9}}));
    int32_t visible = 1;
    EXPECT_EQ(K_AnnGetToolBarChecked(bar_, nullptr), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(K_AnnSetToolBarButtonVisible(bar_, 16, 1), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(K_AnnGetToolBarButtonVisible(bar_, 16, &visible), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(K_AnnGetToolBarButtonVisible(bar_, 3, nullptr), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(desktop::sendMessage(bar_, ANN_TOOLBAR_MESSAGE, 2, 0), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(desktop::sendMessage(bar_, ANN_TOOLBAR_MESSAGE, 4, 0), 0);
    host().answer.clear();

    // Created and destroyed: notifications 1 and 2 with the window.
    host().clearLog();
    ANNWND second = 0;
    EXPECT_EQ(K_AnnCreateToolBar(window(), nullptr, 0, 0, nullptr), ANN_ERROR_INVALID_PARAMETER);
    ASSERT_EQ(K_AnnCreateToolBar(window(), nullptr, ANN_TOOLBAR_RIGHT | ANN_TOOLBAR_BOTTOM, 0, &second), ANN_SUCCESS);
    EXPECT_FALSE(desktop::isWindowVisible(second));
    const Point corner = desktop::clientToScreen(window(), {kSize.cx, kSize.cy});
    EXPECT_EQ(desktop::windowRect(second).right, corner.x);
    EXPECT_EQ(desktop::windowRect(second).bottom, corner.y);
    (void)desktop::destroyWindow(second);
    EXPECT_EQ(host().notifications(), (Notes{{1, std::intptr_t(second)}, {2, std::intptr_t(second)}}));

    const POINT at{10, 20};
    ASSERT_EQ(K_AnnCreateToolBar(window(), &at, ANN_TOOLBAR_RIGHT, 0, &second), ANN_SUCCESS);
    EXPECT_EQ(desktop::windowRect(second).right, desktop::clientToScreen(window(), {10, 20}).x);
    (void)desktop::destroyWindow(second);
}

TEST_F(ToolBar, TheCheckedButtonIsSunkenAndDithered) {
    (void)desktop::updateWindow(bar_);
    // Two neighbouring pels of the face above the image, in slot s.
    auto pels = [&](int s) {
        const image::Image& surface = desktop::windowSurface(bar_);
        const Point at{4 + 23 * (s % 2) - 1 + 5, 4 + 21 * (s / 2) - 1 + 2};
        return std::pair{surface.pixel(at.x, at.y), surface.pixel(at.x + 1, at.y)};
    };
    const image::Rgb face{192, 192, 192}, white{255, 255, 255};
    auto dithered = [&](int s) {
        const auto [a, b] = pels(s);
        return a != b && (a == white || b == white) && (a == face || b == face);
    };
    EXPECT_TRUE(dithered(0));
    EXPECT_FALSE(dithered(1));
    EXPECT_EQ(pels(1).first, face);
    K_AnnSetToolBarChecked(bar_, 1);
    EXPECT_FALSE(dithered(0));
    EXPECT_TRUE(dithered(1));
    // While pressed the button is sunken without the dither.
    click(desktop::WM_LBUTTONDOWN, slot(1));
    EXPECT_FALSE(dithered(1));
    click(desktop::WM_LBUTTONUP, slot(1));
    EXPECT_TRUE(dithered(1));
}

// ---------------------------------------------------------------- dialogs

class Dialogs : public GestureTest {
protected:
    void SetUp() override {
        GestureTest::SetUp();
        driver_ = testing::ScriptedDialogDriver::install();
        sound_ = std::make_shared<desktop::NullSound>();
        desktop::setSoundBackend(sound_);
        automation_ = create(ANN_AUTOMATION);
        K_AnnSetAutoContainer(automation_, root_);
    }
    void TearDown() override {
        K_AnnDestroy(automation_, 0);
        GestureTest::TearDown();
    }
    void current(ANNHANDLE h) { record(automation_).AutoCurrent = h; }
    intptr_t run(int resource, std::function<void(desktop::DialogSession&)> script) {
        driver_->scripts.push_back(std::move(script));
        return annRunDialog(resource, window(), automation_);
    }
    std::shared_ptr<testing::ScriptedDialogDriver> driver_;
    std::shared_ptr<desktop::NullSound> sound_;
    ANNHANDLE automation_ = 0;
};

TEST_F(Dialogs, TheLineDialogShowsPointsAndStoresPels) {
    const ANNHANDLE line = points(root_, ANN_LINE, {{0, 0}, {10, 10}});
    const struct {
        double dpiX, dpiY, width;
        const char* shown;
        const char* entered;
        double stored;
    } cases[] = {
        {96, 96, 1, "0.75", "0.75", 1},
        {200, 200, 1, "0.36", "0.72", 2},
        {300, 75, 3, "1.44", "0.48", 1},
        // No resolution set: the screen's.
        {0, 0, 2, "1.5", "3", 4},
        {-5, 96, 1, "0.75", "1.5", 2},
        // Spaces and a sign before the number, as the C library reads one.
        {96, 96, 2, "1.5", " +3", 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        record(automation_).DpiX = c.dpiX;
        record(automation_).DpiY = c.dpiY;
        K_AnnSetLineWidth(line, c.width, 0);
        current(line);
        std::string shown;
        EXPECT_EQ(run(kLineDialog,
                      [&](desktop::DialogSession& d) {
                          shown = d.text(1001);
                          d.type(1001, c.entered);
                          d.select(1002, 3);
                          d.click(desktop::IDOK);
                      }),
                  desktop::IDOK);
        EXPECT_EQ(shown, c.shown);
        double width = 0;
        K_AnnGetLineWidth(line, &width);
        EXPECT_NEAR(width, c.stored, 1e-12);
        K_AnnGetLineWidth(automation_, &width);
        EXPECT_NEAR(width, c.stored, 1e-12) << "the defaults follow";
        EXPECT_EQ(record(line).LineStyle, 3u);
    }
}

TEST_F(Dialogs, TheLineDialogKeepsAnUnreadableWidthOpenWithABeep) {
    const ANNHANDLE line = points(root_, ANN_LINE, {{0, 0}, {10, 10}});
    current(line);
    for (const char* entry : {"", "abc", "1.5x", "nan", "inf", "1e999", "0x1p3", "1.5 "}) {
        SCOPED_TRACE(entry);
        bool ended = true;
        EXPECT_EQ(run(kLineDialog,
                      [&](desktop::DialogSession& d) {
                          d.type(1001, entry);
                          d.click(desktop::IDOK);
                          ended = d.ended();
                      }),
                  desktop::IDCANCEL);
        EXPECT_FALSE(ended);
        EXPECT_EQ(record(line).LineWidth, 1.0);
    }
    EXPECT_EQ(sound_->beeps().size(), 8u);
    EXPECT_EQ(desktop::focusWindow(), 0u) << "the dialog is gone";

    // The texts, and the list of styles.
    std::vector<std::string> styles;
    run(kLineDialog, [&](desktop::DialogSession& d) {
        EXPECT_EQ(d.caption(), "直線");
        EXPECT_EQ(d.text(1005), "ﾎﾟｲﾝﾄ幅(&W)");
        EXPECT_EQ(d.text(desktop::IDCANCEL), "ｷｬﾝｾﾙ");
        styles = d.items(1002);
    });
    EXPECT_EQ(styles, (std::vector<std::string>{"実線", "点線", "鎖線", "一点鎖線", "二点鎖線", "透明"}));
}

TEST_F(Dialogs, ChangesOfTheAutomationItselfGoToEverySelectedObjectOfItsKinds) {
    const ANNHANDLE line = points(root_, ANN_LINE, {{0, 0}, {10, 10}});
    const ANNHANDLE rect = box(root_, ANN_RECTANGLE, {0, 0, 10, 10});
    const ANNHANDLE unselected = box(root_, ANN_RECTANGLE, {0, 0, 10, 10});
    const ANNHANDLE text = box(root_, ANN_TEXT, {0, 0, 10, 10});
    for (ANNHANDLE h : {line, rect, text}) K_AnnSetSelected(h, 1, 0);
    current(automation_);
    record(automation_).DpiX = record(automation_).DpiY = 72;
    run(kLineDialog, [](desktop::DialogSession& d) {
        d.type(1001, "4");
        d.click(desktop::IDOK);
    });
    EXPECT_EQ(record(automation_).LineWidth, 4);
    EXPECT_EQ(record(line).LineWidth, 4);
    EXPECT_EQ(record(rect).LineWidth, 4);
    EXPECT_EQ(record(unselected).LineWidth, 1);
    EXPECT_EQ(record(text).LineWidth, 1) << "a text has no line";

    // A cancel changes nothing.
    EXPECT_EQ(run(kLineDialog, [](desktop::DialogSession& d) { d.type(1001, "9"); }), desktop::IDCANCEL);
    EXPECT_EQ(record(line).LineWidth, 4);
}

TEST_F(Dialogs, TheFillDialogOffersWhatTheKindHas) {
    const struct {
        uint32_t kind;
        std::vector<std::string> modes;
        bool pattern, polygon;
        int choice;
        uint32_t stored;
    } cases[] = {
        {ANN_TEXT, {"透明", "塗りつぶし"}, false, false, 1, ANN_FILLMODE_OPAQUE},
        {ANN_RECTANGLE, {"透明", "半透明", "塗りつぶし"}, true, false, 1, ANN_FILLMODE_TRANSLUCENT},
        {ANN_POLYGON, {"透明", "半透明", "塗りつぶし"}, true, true, 2, ANN_FILLMODE_OPAQUE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        const ANNHANDLE h = c.kind == ANN_POLYGON ? points(root_, c.kind, {{0, 0}, {9, 0}, {9, 9}})
                                                  : box(root_, c.kind, {0, 0, 10, 10});
        current(h);
        run(kFillDialog, [&](desktop::DialogSession& d) {
            EXPECT_EQ(d.caption(), "塗りつぶし");
            EXPECT_EQ(d.items(1002), c.modes);
            EXPECT_EQ(d.items(1003).size(), 7u);
            EXPECT_EQ(d.items(1004), (std::vector<std::string>{"WINDING", "ALTERNATE"}));
            EXPECT_EQ(d.enabled(1003), c.pattern);
            EXPECT_EQ(d.enabled(1004), c.polygon);
            EXPECT_EQ(d.selection(1002), 0);
            d.select(1002, c.choice);
            d.select(1003, 4);
            d.select(1004, 1);
            d.click(desktop::IDOK);
        });
        const AnnObject& o = record(h);
        EXPECT_EQ(o.FillMode, c.stored);
        EXPECT_EQ(o.FillPattern, c.pattern ? 4u : 0u);
        EXPECT_EQ(o.PolyFillMode, c.polygon ? 1u : 0u);
    }
    // An opaque text shows its second entry.
    const ANNHANDLE text = box(root_, ANN_TEXT, {0, 0, 10, 10});
    K_AnnSetFillMode(text, ANN_FILLMODE_OPAQUE, 0);
    current(text);
    run(kFillDialog, [&](desktop::DialogSession& d) { EXPECT_EQ(d.selection(1002), 1); });
}

TEST_F(Dialogs, TheTextDialogEditsTheTextAndLetsAStampsBitmapGo) {
    const ANNHANDLE note = box(root_, ANN_NOTE, {0, 0, 10, 10});
    K_AnnSetText(note, "first\r\nline", 0);
    current(note);
    EXPECT_EQ(run(kTextDialog,
                  [](desktop::DialogSession& d) {
                      EXPECT_EQ(d.caption(), "ﾃｷｽﾄ");
                      EXPECT_EQ(d.text(1001), "first\r\nline");
                      d.type(1001, "二行目");
                      d.click(desktop::IDOK);
                  }),
              desktop::IDOK);
    EXPECT_EQ(std::string(record(note).Text.view()), "二行目");

    const ANNHANDLE stamp = box(root_, ANN_STAMP, {0, 0, 10, 10});
    desktop::Bitmap picture;
    ASSERT_TRUE(desktop::createBitmap(picture, 4, 4, 24, nullptr, 0, 0));
    K_AnnSetBitmap(stamp, &picture, 0);
    desktop::freeBitmap(picture);
    current(stamp);
    run(kTextDialog, [](desktop::DialogSession& d) { d.click(desktop::IDCANCEL); });
    EXPECT_TRUE(record(stamp).Bitmap.holdsBitmap()) << "cancelled";
    run(kTextDialog, [](desktop::DialogSession& d) {
        d.type(1001, "APPROVED");
        d.click(desktop::IDOK);
    });
    EXPECT_FALSE(record(stamp).Bitmap.holdsBitmap());
    EXPECT_EQ(std::string(record(stamp).Text.view()), "APPROVED");
}

}  // namespace
}  // namespace fg::annotation
