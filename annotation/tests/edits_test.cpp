// Geometry edits by kind, their flags, and selection by a point or a
// rectangle.
#include "engine_fixture.h"
#include "platform/testing/desktop_host.h"

#include <cmath>
#include <functional>
#include <limits>
#include <string>

namespace fg::annotation {
namespace {

using Edits = EngineTest;
using Edit = std::function<int32_t(ANNHANDLE)>;

constexpr POINTD kOrigin{0, 0};

struct Corners {
    POINTD p0, p1, p2;
};

void expectCorners(const AnnObject& o, const Corners& c) {
    const POINTD want[] = {c.p0, c.p1, c.p2};
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(o.Corners[i].x, want[i].x, 1e-9) << "P" << i;
        EXPECT_NEAR(o.Corners[i].y, want[i].y, 1e-9) << "P" << i;
    }
}

// A box (10, 20)-(50, 40): P0 (10, 20), P1 (10, 40), P2 (50, 40), centre (30, 30).
TEST_F(Edits, EachEditMovesTheCornersOfABox) {
    const struct {
        const char* what;
        uint32_t kind;
        Edit edit;
        Corners after;
    } cases[] = {
        // Mirrored about the own centre: the box stays, stored upside down.
        {"flip", ANN_RECTANGLE, [](ANNHANDLE h) { return K_AnnFlip(h, nullptr, 0); }, {{10, 40}, {10, 20}, {50, 20}}},
        {"reverse", ANN_RECTANGLE, [](ANNHANDLE h) { return K_AnnReverse(h, nullptr, 0); }, {{50, 20}, {50, 40}, {10, 40}}},
        {"rotate 90", ANN_ELLIPSE, [](ANNHANDLE h) { return K_AnnRotate(h, 90, nullptr, 0); },
         {{40, 10}, {20, 10}, {20, 50}}},  // clockwise on the window
        {"rotate 180 about the origin", ANN_REDACTION, [](ANNHANDLE h) { return K_AnnRotate(h, 180, &kOrigin, 0); },
         {{-10, -20}, {-10, -40}, {-50, -40}}},
        {"resize 2 x 1", ANN_HIGHLIGHT, [](ANNHANDLE h) { return K_AnnResize(h, 2, 1, nullptr, 0); },
         {{-10, 20}, {-10, 40}, {70, 40}}},
        {"resize about the origin", ANN_RECTANGLE, [](ANNHANDLE h) { return K_AnnResize(h, 0.5, 2, &kOrigin, 0); },
         {{5, 40}, {5, 80}, {25, 80}}},
        {"negative factors mirror", ANN_RECTANGLE, [](ANNHANDLE h) { return K_AnnResize(h, -1, 1, nullptr, 0); },
         {{50, 20}, {50, 40}, {10, 40}}},
        {"move", ANN_CONTAINER, [](ANNHANDLE h) { return K_AnnMove(h, 5, -5, 0); }, {{15, 15}, {15, 35}, {55, 35}}},
        // Text and stamps turn and scale but are never mirrored.
        {"text flipped about itself", ANN_TEXT, [](ANNHANDLE h) { return K_AnnFlip(h, nullptr, 0); },
         {{10, 20}, {10, 40}, {50, 40}}},
        {"text flipped about the origin", ANN_TEXT, [](ANNHANDLE h) { return K_AnnFlip(h, &kOrigin, 0); },
         {{10, -40}, {10, -20}, {50, -20}}},
        {"stamp reversed about the origin", ANN_STAMP, [](ANNHANDLE h) { return K_AnnReverse(h, &kOrigin, 0); },
         {{-50, 20}, {-50, 40}, {-10, 40}}},
        {"stamp rotated 90", ANN_STAMP, [](ANNHANDLE h) { return K_AnnRotate(h, 90, nullptr, 0); },
         {{40, 10}, {20, 10}, {20, 50}}},
        // Notes, buttons, hotspots and audio clips are not turned either.
        {"note rotated about itself", ANN_NOTE, [](ANNHANDLE h) { return K_AnnRotate(h, 45, nullptr, 0); },
         {{10, 20}, {10, 40}, {50, 40}}},
        {"note rotated 180 about the origin", ANN_NOTE, [](ANNHANDLE h) { return K_AnnRotate(h, 180, &kOrigin, 0); },
         {{-50, -40}, {-50, -20}, {-10, -20}}},
        {"button flipped about the origin", ANN_BUTTON, [](ANNHANDLE h) { return K_AnnFlip(h, &kOrigin, 0); },
         {{10, -40}, {10, -20}, {50, -20}}},
        {"hotspot resized", ANN_HOTSPOT, [](ANNHANDLE h) { return K_AnnResize(h, 2, 2, nullptr, 0); },
         {{-10, 10}, {-10, 50}, {70, 50}}},
        {"audio moved", ANN_AUDIO, [](ANNHANDLE h) { return K_AnnMove(h, -10, 0, 0); }, {{0, 20}, {0, 40}, {40, 40}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ANNHANDLE h = create(c.kind);
        const RECTD r{10, 20, 50, 40};
        ASSERT_EQ(K_AnnSetRect(h, &r), ANN_SUCCESS);
        EXPECT_EQ(c.edit(h), ANN_SUCCESS);
        expectCorners(record(h), c.after);
        K_AnnDestroy(h, 0);
    }
}

TEST_F(Edits, PointsAndArrowsChangeEveryPoint) {
    const ANNHANDLE polyline = points(0, ANN_POLYLINE, {{0, 0}, {10, 0}, {10, 20}});
    const ANNHANDLE arrow = points(0, ANN_ARROW, {{10, 10}, {30, 10}});
    ASSERT_EQ(K_AnnReverse(polyline, nullptr, 0), ANN_SUCCESS);  // about (5, 10)
    const POINTD* p = record(polyline).Points.data();
    EXPECT_EQ(p[0].x, 10);
    EXPECT_EQ(p[1].x, 0);
    EXPECT_EQ(p[2].y, 20);
    ASSERT_EQ(K_AnnResize(polyline, 1, 0.5, &kOrigin, 0), ANN_SUCCESS);
    EXPECT_EQ(p[2].y, 10);
    ASSERT_EQ(K_AnnFlip(arrow, &kOrigin, 0), ANN_SUCCESS);
    EXPECT_EQ(record(arrow).ArrowPoints[0].y, -10);
    EXPECT_EQ(record(arrow).ArrowPoints[1].y, -10);
    ASSERT_EQ(K_AnnRotate(arrow, 90, nullptr, 0), ANN_SUCCESS);  // about (20, -10)
    EXPECT_NEAR(record(arrow).ArrowPoints[0].x, 20, 1e-9);
    EXPECT_NEAR(record(arrow).ArrowPoints[0].y, -20, 1e-9);
    // Automation objects have nothing to edit.
    const ANNHANDLE automation = create(ANN_AUTOMATION);
    EXPECT_EQ(K_AnnRotate(automation, 30, nullptr, 0), ANN_SUCCESS);
    EXPECT_EQ(K_AnnMove(automation, 3, 3, 0), ANN_SUCCESS);
    for (ANNHANDLE h : {polyline, arrow, automation}) K_AnnDestroy(h, 0);
}

TEST_F(Edits, AnIdentityEditLeavesThePointsUntouchedButStillRefreshes) {
    const testing::HostWindow host;
    const desktop::WindowHandle w = host.handle();
    const ANNHANDLE root = container(w, {0, 0, 300, 300});
    // Coordinates that arithmetic with 0 would still change: -0.0 and a
    // value whose sum with a large one rounds.
    const ANNHANDLE line = points(root, ANN_LINE, {{-0.0, 0.1}, {1e-300, 7.3}});
    for (const Edit& edit : std::initializer_list<Edit>{
             [](ANNHANDLE h) { return K_AnnRotate(h, 0, nullptr, 0); },
             [](ANNHANDLE h) { return K_AnnMove(h, 0, -0.0, 0); },
             [](ANNHANDLE h) { return K_AnnResize(h, 1, 1, nullptr, 0); },
         }) {
        (void)desktop::validateRect(w, nullptr);
        ASSERT_EQ(edit(line), ANN_SUCCESS);
        const POINTD* p = record(line).Points.data();
        EXPECT_TRUE(std::signbit(p[0].x));
        EXPECT_EQ(p[1].x, 1e-300);
        EXPECT_EQ(desktop::invalidRects(w).size(), 2u);
    }
    K_AnnDestroy(root, 0);
}

TEST_F(Edits, FlagsChooseWhatIsEditedAndRefusedObjectsAnswerMinusSixteen) {
    const ANNHANDLE root = container(0, {0, 0, 400, 300});
    const ANNHANDLE a = box(root, ANN_RECTANGLE, {10, 10, 20, 20});
    const ANNHANDLE b = box(root, ANN_RECTANGLE, {30, 10, 40, 20});
    K_AnnSetSelected(b, 1, 0);
    EXPECT_EQ(K_AnnFlip(a, nullptr, ANN_FLAG_SELECTED), ANN_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(K_AnnMove(root, 1, 1, ANN_FLAG_SKIP_CONTAINERS), ANN_ERROR_NOT_SUPPORTED);
    expectCorners(record(a), {{10, 10}, {10, 20}, {20, 20}});
    // Only the selected descendants, each about its own centre.
    EXPECT_EQ(K_AnnFlip(root, nullptr, ANN_FLAG_SELECTED | ANN_FLAG_RECURSIVE), ANN_SUCCESS);
    expectCorners(record(a), {{10, 10}, {10, 20}, {20, 20}});
    expectCorners(record(b), {{30, 20}, {30, 10}, {40, 10}});
    expectCorners(record(root), {{0, 0}, {0, 300}, {400, 300}});
    // The children, one after the other; the first refused one ends it.
    EXPECT_EQ(K_AnnMove(root, 100, 0, ANN_FLAG_CHILDREN), ANN_SUCCESS);
    EXPECT_EQ(record(a).Corners[0].x, 110);
    EXPECT_EQ(record(b).Corners[0].x, 130);
    EXPECT_EQ(K_AnnMove(root, 100, 0, ANN_FLAG_CHILDREN | ANN_FLAG_SELECTED), ANN_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(record(b).Corners[0].x, 130);
    // Values that would leave a point that cannot be saved.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const POINTD bad{nan, 0};
    EXPECT_EQ(K_AnnRotate(a, nan, nullptr, 0), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(K_AnnResize(a, 1, std::numeric_limits<double>::infinity(), nullptr, 0), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(K_AnnMove(a, nan, 0, 0), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(K_AnnFlip(a, &bad, 0), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(record(a).Corners[0].x, 110);
    // Finite values whose result is not finite, or beyond the coordinate
    // range, change nothing of the whole walk.
    const ANNHANDLE huge = box(root, ANN_RECTANGLE, {0, 0, 1e300, 1e300});
    const std::function<int32_t()> overflowing[] = {
        [&] { return K_AnnResize(huge, 1e10, 1e10, nullptr, 0); },
        [&] { return K_AnnMove(root, 1e300, 0, ANN_FLAG_RECURSIVE); },
        [&] { return K_AnnRotate(root, 45, &kOrigin, ANN_FLAG_CHILDREN | ANN_FLAG_RECURSIVE); },
    };
    for (const auto& edit : overflowing) {
        EXPECT_EQ(edit(), ANN_ERROR_INVALID_PARAMETER);
        expectCorners(record(huge), {{0, 0}, {0, 1e300}, {1e300, 1e300}});
        expectCorners(record(root), {{0, 0}, {0, 300}, {400, 300}});
        EXPECT_EQ(record(a).Corners[0].x, 110);
    }
    K_AnnDestroy(root, 0);
}

using Selection = EngineTest;

TEST_F(Selection, ARectangleSelectsWhatLiesWhollyInsideIt) {
    const ANNHANDLE root = container(0, {0, 0, 400, 300});
    K_AnnSetLineWidth(root, 0, 0);
    // Bounds (10, 10, 21, 21) with a pen of 0.
    auto objectAt = [&](double left) {
        const ANNHANDLE h = box(root, ANN_RECTANGLE, {left, 10, left + 10, 20});
        K_AnnSetLineWidth(h, 0, 0);
        return h;
    };
    const struct {
        const char* what;
        double left;
        RECT r;
        bool selected;
    } cases[] = {
        {"edges on the rectangle's", 10, {10, 10, 21, 21}, true},
        {"right edge on the rectangle's", 10, {0, 0, 21, 100}, true},
        {"partly covered", 10, {11, 0, 100, 100}, false},
        {"left edge on the rectangle's right", 21, {0, 0, 21, 100}, false},
        {"one pel too narrow", 10, {10, 10, 20, 21}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ANNHANDLE h = objectAt(c.left);
        ASSERT_EQ(K_AnnSelectRect(h, &c.r), ANN_SUCCESS);
        int32_t selected = -1;
        K_AnnGetSelected(h, &selected);
        EXPECT_EQ(selected != 0, c.selected);
        K_AnnDestroy(h, 0);
    }
    // The whole tree is looked at, the root too; nothing is unselected.
    const ANNHANDLE a = objectAt(10), b = objectAt(200);
    const RECT all{-5, -5, 500, 500}, left{0, 0, 100, 100};
    ASSERT_EQ(K_AnnSelectRect(a, &left), ANN_SUCCESS);
    EXPECT_EQ(record(a).Selected, 1);
    EXPECT_EQ(record(b).Selected, 0);
    EXPECT_EQ(record(root).Selected, 0);
    ASSERT_EQ(K_AnnSelectRect(a, &all), ANN_SUCCESS);
    EXPECT_EQ(record(b).Selected, 1);
    EXPECT_EQ(record(root).Selected, 1);
    EXPECT_EQ(K_AnnSelectRect(a, nullptr), ANN_ERROR_INVALID_PARAMETER);
    K_AnnDestroy(root, 0);
}

TEST_F(Selection, APointSelectsTheObjectItHitsButNoContainer) {
    const ANNHANDLE root = container(0, {0, 0, 400, 300});
    const ANNHANDLE a = box(root, ANN_RECTANGLE, {10, 10, 50, 50});
    const ANNHANDLE b = box(root, ANN_RECTANGLE, {100, 10, 150, 50});
    POINT p{200, 200};  // the container's area, no child there
    ASSERT_EQ(K_AnnSelectPoint(root, &p), ANN_SUCCESS);
    EXPECT_EQ(record(root).Selected, 0);
    p = {20, 20};
    ASSERT_EQ(K_AnnSelectPoint(root, &p), ANN_SUCCESS);
    EXPECT_EQ(record(a).Selected, 1);
    p = {102, 11};
    ASSERT_EQ(K_AnnSelectPoint(root, &p), ANN_SUCCESS);
    EXPECT_EQ(record(b).Selected, 1);
    EXPECT_EQ(record(a).Selected, 1);  // others keep their selection
    // Now on a handle of the selected object: the point moves onto it.
    p = {102, 11};
    ASSERT_EQ(K_AnnSelectPoint(root, &p), ANN_SUCCESS);
    EXPECT_EQ(p.x, 100);
    EXPECT_EQ(p.y, 10);
    EXPECT_EQ(K_AnnSelectPoint(root, nullptr), ANN_ERROR_INVALID_PARAMETER);
    K_AnnDestroy(root, 0);
}

}  // namespace
}  // namespace fg::annotation
