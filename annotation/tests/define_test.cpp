// Gestures step by step: drawing each kind by its points, moving, rotating
// and resizing one object or a group, the selection rectangle, and the
// outlines that leave the window as it was.
#include "gesture_fixture.h"

#include <cmath>

namespace fg::annotation {
namespace {

using Define = GestureTest;
using desktop::Point;

struct Move {
    uint32_t step;
    Point at;
};

void run(ANNHANDLE h, const std::vector<Move>& moves) {
    for (const Move& m : moves) ASSERT_EQ(GestureTest::define(h, m.at, m.step), ANN_SUCCESS) << "step " << m.step;
}

// The objects lie in a container at the window's origin, so object
// coordinates are window pels.
TEST_F(Define, DrawsEachKindFromItsPointsAndRestoresTheWindowOutsideItsBounds) {
    const std::vector<Move> box = {{0, {60, 50}}, {6, {20, 30}}, {5, {15, 25}}, {7, {10, 10}}};
    const std::vector<Move> poly = {{0, {10, 10}}, {6, {20, 20}}, {6, {30, 20}}, {5, {30, 20}}, {6, {50, 40}}, {7, {60, 50}}};
    const struct {
        uint32_t kind;
        std::vector<Move> moves;
        std::vector<POINTD> points;  // the geometry that results
    } cases[] = {
        {ANN_LINE, {{0, {10, 10}}, {6, {50, 40}}, {7, {60, 50}}}, {{10, 10}, {60, 50}}},
        {ANN_RECTANGLE, box, {{10, 10}, {10, 50}, {60, 50}}},
        {ANN_ELLIPSE, box, {{10, 10}, {10, 50}, {60, 50}}},
        {ANN_NOTE, box, {{10, 10}, {10, 50}, {60, 50}}},
        {ANN_ARROW, {{0, {10, 10}}, {5, {40, 30}}, {7, {60, 50}}}, {{10, 10}, {60, 50}}},
        // Every freehand step adds a point, the end too.
        {ANN_FREEHAND, {{0, {10, 10}}, {6, {20, 20}}, {5, {30, 25}}, {7, {40, 30}}}, {{10, 10}, {20, 20}, {30, 25}, {40, 30}}},
        // Tracking moves the rubber end, adding fixes it.
        {ANN_POLYLINE, poly, {{10, 10}, {30, 20}, {60, 50}}},
        {ANN_POLYGON, poly, {{10, 10}, {30, 20}, {60, 50}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        const ANNHANDLE h = visible(root_, c.kind);
        settle();
        run(h, c.moves);
        const AnnObject& o = record(h);
        EXPECT_EQ(o.DefineMode, -1);
        if (c.kind == ANN_ARROW) expectPoints({o.ArrowPoints[0], o.ArrowPoints[1]}, c.points);
        else if (c.points.size() == 3 && c.kind != ANN_POLYLINE && c.kind != ANN_POLYGON)
            expectPoints({o.Corners[0], o.Corners[1], o.Corners[2]}, c.points);
        else expectPoints(pointsOf(h), c.points);
        EXPECT_TRUE(strayPels().empty());
        K_AnnDestroy(h, 0);
    }
}

TEST_F(Define, PointBuffersGrowAndCreationsThatNeverBeganStoreNothing) {
    // Far beyond the 16,384 points of the first buffer.
    const ANNHANDLE pen = create(ANN_FREEHAND);
    ASSERT_EQ(define(pen, {0, 0}, 0), ANN_SUCCESS);
    for (int i = 1; i <= 20000; ++i) ASSERT_EQ(define(pen, {i % 500, i / 500}, 5), ANN_SUCCESS);
    ASSERT_EQ(define(pen, {7, 8}, 7), ANN_SUCCESS);
    EXPECT_EQ(record(pen).PointCount, 20002u);
    expectPoints({pointsOf(pen).back()}, {{7, 8}});
    expectPoints({pointsOf(pen)[20000]}, {{0, 40}});

    // No buffer to be had: -1, no points, and the steps that follow store
    // nothing.
    const ANNHANDLE polygon = create(ANN_POLYGON);
    desktop::setGlobalMemoryLimit(100000);
    EXPECT_EQ(define(polygon, {1, 1}, 0), ANN_ERROR_NO_MEMORY);
    desktop::setGlobalMemoryLimit(SIZE_MAX);
    EXPECT_EQ(record(polygon).PointCount, 0u);
    EXPECT_EQ(define(polygon, {5, 5}, 5), ANN_SUCCESS);
    EXPECT_EQ(define(polygon, {6, 6}, 6), ANN_SUCCESS);
    EXPECT_EQ(define(polygon, {9, 9}, 7), ANN_SUCCESS);
    EXPECT_EQ(record(polygon).PointCount, 0u);
    EXPECT_EQ(record(polygon).DefineMode, -1);

    // A line made by its points was never drawn: its zero-filled record says
    // "creating", but a step adds nothing to it.
    const ANNHANDLE line = points(0, ANN_LINE, {{1, 2}, {3, 4}});
    EXPECT_EQ(define(line, {50, 50}, 5), ANN_SUCCESS);
    expectPoints(pointsOf(line), {{1, 2}, {3, 4}});
    for (ANNHANDLE h : {pen, polygon, line}) K_AnnDestroy(h, 0);
}

TEST_F(Define, MovesRotatesAndResizesOneObject) {
    using Corners = std::vector<POINTD>;
    const struct {
        const char* what;
        uint32_t kind;
        std::vector<POINTD> geometry;  // two points of a line, or a box's corners
        uint32_t begin;
        Point from, to;
        Corners after;
    } cases[] = {
        {"move", ANN_RECTANGLE, {{10, 20}, {50, 40}}, 1, {20, 25}, {35, 15}, {{25, 10}, {25, 30}, {65, 30}}},
        // A quarter turn clockwise about the centre (30, 30).
        {"rotate", ANN_RECTANGLE, {{10, 20}, {50, 40}}, 2, {50, 30}, {30, 50}, {{40, 10}, {20, 10}, {20, 50}}},
        // A handle on the right half: wider by the distance; on the left
        // half: narrower.
        {"resize right", ANN_RECTANGLE, {{10, 20}, {50, 40}}, 3, {50, 30}, {60, 30}, {{10, 20}, {10, 40}, {60, 40}}},
        {"resize left", ANN_RECTANGLE, {{10, 20}, {50, 40}}, 3, {10, 30}, {20, 30}, {{20, 20}, {20, 40}, {50, 40}}},
        {"resize bottom", ANN_ELLIPSE, {{10, 20}, {50, 40}}, 3, {30, 40}, {30, 50}, {{10, 20}, {10, 50}, {50, 50}}},
        // A vertical line is slanted: the grabbed end follows, the other
        // stays; a horizontal one likewise.
        {"vertical line", ANN_LINE, {{30, 10}, {30, 50}}, 3, {30, 50}, {40, 50}, {{30, 10}, {40, 50}}},
        {"horizontal line", ANN_LINE, {{10, 30}, {50, 30}}, 3, {50, 30}, {50, 40}, {{10, 30}, {50, 40}}},
        // No extent either way: the object goes half the way, whole.
        {"a point", ANN_LINE, {{30, 30}, {30, 30}}, 3, {30, 30}, {40, 40}, {{35, 35}, {35, 35}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ANNHANDLE h = 0;
        if (c.kind == ANN_LINE) {
            h = points(root_, ANN_LINE, c.geometry);
        } else {
            h = box(root_, c.kind, {c.geometry[0].x, c.geometry[0].y, c.geometry[1].x, c.geometry[1].y});
        }
        settle();
        ASSERT_EQ(define(h, c.from, c.begin), ANN_SUCCESS);
        ASSERT_EQ(define(h, {c.to.x + 3, c.to.y - 2}, 6), ANN_SUCCESS);
        ASSERT_EQ(define(h, c.to, 7), ANN_SUCCESS);
        const AnnObject& o = record(h);
        if (c.kind == ANN_LINE) expectPoints(pointsOf(h), c.after);
        else expectPoints({o.Corners[0], o.Corners[1], o.Corners[2]}, c.after);
        EXPECT_EQ(o.DefineMode, -1);
        EXPECT_TRUE(strayPels().empty());
        K_AnnDestroy(h, 0);
    }
}

TEST_F(Define, OutlinesInvertTheWindowWhileTheGestureRunsAndGoWithIt) {
    const ANNHANDLE line = points(root_, ANN_LINE, {{10, 10}, {100, 80}});
    settle();
    ASSERT_EQ(define(line, {20, 20}, 1), ANN_SUCCESS);
    ASSERT_EQ(define(line, {60, 40}, 6), ANN_SUCCESS);
    EXPECT_TRUE(surfaceChanged());
    EXPECT_TRUE(desktop::invalidRects(window()).empty()) << "nothing is repainted during a drag";
    ASSERT_EQ(define(line, {60, 40}, 7), ANN_SUCCESS);
    EXPECT_TRUE(strayPels().empty());

    // A box never drawn by points shows no outline, yet moves.
    const ANNHANDLE r = box(root_, ANN_RECTANGLE, {200, 200, 250, 250});
    settle();
    ASSERT_EQ(define(r, {210, 210}, 1), ANN_SUCCESS);
    ASSERT_EQ(define(r, {230, 215}, 6), ANN_SUCCESS);
    EXPECT_FALSE(surfaceChanged());
    ASSERT_EQ(define(r, {230, 215}, 7), ANN_SUCCESS);
    expectPoints({record(r).Corners[0]}, {{220, 205}});

    // An object without a window draws nothing and moves all the same.
    const ANNHANDLE alone = points(0, ANN_LINE, {{0, 0}, {10, 10}});
    ASSERT_EQ(define(alone, {0, 0}, 1), ANN_SUCCESS);
    ASSERT_EQ(define(alone, {5, 5}, 7), ANN_SUCCESS);
    expectPoints(pointsOf(alone), {{5, 5}, {15, 15}});
    K_AnnDestroy(alone, 0);
}

TEST_F(Define, GroupGesturesMoveTurnAndScaleEverySelectedObject) {
    const ANNHANDLE a = box(root_, ANN_RECTANGLE, {10, 10, 50, 30});
    const ANNHANDLE note = box(root_, ANN_NOTE, {70, 10, 90, 30});
    const ANNHANDLE other = box(root_, ANN_RECTANGLE, {200, 200, 220, 220});
    K_AnnSetSelected(a, 1, 0);
    K_AnnSetSelected(note, 1, 0);
    settle();

    ASSERT_EQ(define(a, {20, 20}, 8), ANN_SUCCESS);
    ASSERT_EQ(define(a, {25, 25}, 5), ANN_SUCCESS);
    ASSERT_EQ(define(a, {30, 25}, 7), ANN_SUCCESS);
    expectPoints({record(a).Corners[0], record(note).Corners[0], record(other).Corners[0]}, {{20, 15}, {80, 15}, {200, 200}});
    EXPECT_TRUE(strayPels().empty());

    // A half turn about the centre of the selection's bounds: the note's
    // centre goes round, the note stays upright.
    settle();
    const RECTD before = record(note).Rect;
    ASSERT_EQ(define(a, {150, 30}, 9), ANN_SUCCESS);
    const RECTD g = record(root_).GroupRect;
    const POINTD c{(g.left + g.right) / 2, (g.top + g.bottom) / 2};
    ASSERT_EQ(define(a, {int(2 * c.x - 150), int(2 * c.y - 30)}, 7), ANN_SUCCESS);
    const AnnObject& n = record(note);
    EXPECT_NEAR(n.Corners[0].x, n.Corners[1].x, 1e-9) << "upright";
    EXPECT_NEAR(n.Rect.right - n.Rect.left, before.right - before.left, 1e-9);
    EXPECT_NEAR((n.Rect.left + n.Rect.right) / 2, 2 * c.x - (before.left + before.right) / 2, 1e-6);
    EXPECT_EQ(define(note, {0, 0}, 2), ANN_ERROR_NOT_SUPPORTED) << "alone, a note does not turn";
    EXPECT_TRUE(strayPels().empty());

    // A resize by the handle of one object scales every selected one with
    // its factors, about its centre.
    const ANNHANDLE b = box(root_, ANN_RECTANGLE, {100, 100, 140, 120});
    K_AnnSetSelected(root_, 0, ANN_FLAG_RECURSIVE);
    K_AnnSetSelected(a, 1, 0);
    K_AnnSetSelected(b, 1, 0);
    settle();
    const RECTD ra = record(a).Rect;
    ASSERT_EQ(define(b, {140, 110}, 10), ANN_SUCCESS);
    ASSERT_EQ(define(b, {160, 110}, 7), ANN_SUCCESS);
    EXPECT_NEAR(record(b).Rect.right - record(b).Rect.left, 60, 1e-9);
    EXPECT_NEAR(record(a).Rect.right - record(a).Rect.left, (ra.right - ra.left) * 1.5, 1e-9);
    EXPECT_TRUE(strayPels().empty());
}

TEST_F(Define, SelectionRectanglesSelectWhatTheyHoldWhicheverWayTheyAreDragged) {
    // A container inside the root: steps given to it act on the root's
    // rectangle, as the automation hands the container on.
    ANNHANDLE inner = 0;
    ASSERT_EQ(K_AnnCreateItem(root_, ANN_CONTAINER, 1, &inner), ANN_SUCCESS);
    const RECTD innerRect{0, 0, 300, 200};
    K_AnnSetRect(inner, &innerRect);
    const ANNHANDLE in = box(inner, ANN_RECTANGLE, {20, 20, 40, 40});
    const ANNHANDLE out = box(inner, ANN_RECTANGLE, {100, 100, 150, 150});
    const struct {
        ANNHANDLE given;
        Point from, to;
    } cases[] = {{root_, {10, 10}, {60, 60}}, {root_, {60, 60}, {10, 10}}, {inner, {60, 10}, {10, 60}}};
    for (const auto& c : cases) {
        K_AnnSetSelected(root_, 0, ANN_FLAG_RECURSIVE);
        settle();
        ASSERT_EQ(define(c.given, c.from, 4), ANN_SUCCESS);
        EXPECT_EQ(record(root_).DefineMode, 4);
        ASSERT_EQ(define(c.given, {30, 70}, 6), ANN_SUCCESS);
        ASSERT_EQ(define(c.given, c.to, 7), ANN_SUCCESS);
        int32_t selected = 0;
        K_AnnGetSelected(in, &selected);
        EXPECT_EQ(selected, 1);
        K_AnnGetSelected(out, &selected);
        EXPECT_EQ(selected, 0);
        EXPECT_EQ(record(root_).DefineMode, -1);
        EXPECT_TRUE(strayPels().empty());
    }
}

TEST_F(Define, RefusesWhatNamesNoStepOrNoGesture) {
    const ANNHANDLE h = box(root_, ANN_RECTANGLE, {10, 10, 20, 20});
    const POINT p{1, 1};
    EXPECT_EQ(K_AnnDefine(0, &p, 1), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(K_AnnDefine(h, nullptr, 1), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(K_AnnDefine(h, &p, 11), ANN_ERROR_INVALID_PARAMETER);
    ASSERT_EQ(define(h, {1, 1}, 1), ANN_SUCCESS);
    ASSERT_EQ(define(h, {1, 1}, 7), ANN_SUCCESS);
    for (uint32_t step : {5u, 6u, 7u}) EXPECT_EQ(K_AnnDefine(h, &p, step), ANN_ERROR_INVALID_PARAMETER);
    for (uint32_t kind : {ANN_AUDIO, ANN_BUTTON, ANN_HOTSPOT, ANN_NOTE}) {
        const ANNHANDLE upright = create(kind);
        EXPECT_EQ(K_AnnDefine(upright, &p, 2), ANN_ERROR_NOT_SUPPORTED);
        K_AnnDestroy(upright, 0);
    }
}

}  // namespace
}  // namespace fg::annotation
