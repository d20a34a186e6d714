// Bounds, matrices and selection handles, and the hit test with its snap to
// a handle.
#include "annotation/bounds.h"
#include "engine_fixture.h"

#include <cmath>

namespace fg::annotation {
namespace {

using desktop::Rect;

TEST(Matrices, ComposeInApplicationOrderInvertAndRound) {
    const Matrix move = Matrix::translation(10, 0), scale = Matrix::scaling(2, 3);
    const POINTD p = annCompose(move, scale).apply({1, 1});
    EXPECT_EQ(p.x, 22);
    EXPECT_EQ(p.y, 3);
    Matrix out;
    annComposeMatrix(&out, nullptr, &scale);
    EXPECT_EQ(out.apply({1, 1}).y, 3);
    annComposeMatrix(&out, nullptr, nullptr);
    EXPECT_TRUE(annIsIdentity(&out));
    EXPECT_TRUE(annIsIdentity(nullptr));
    const Matrix negativeZeros{{1, -0.0, -0.0, 1, -0.0, 0}};
    EXPECT_TRUE(annIsIdentity(&negativeZeros));
    Matrix inverse;
    ASSERT_TRUE(annInvertMatrix(annCompose(move, Matrix::rotation(0.3)), &inverse));
    const POINTD back = inverse.apply(annCompose(move, Matrix::rotation(0.3)).apply({5, 7}));
    EXPECT_NEAR(back.x, 5, 1e-12);
    EXPECT_NEAR(back.y, 7, 1e-12);
    EXPECT_FALSE(annInvertMatrix(Matrix::scaling(0, 1), &inverse));
    EXPECT_TRUE(annIsIdentity(&inverse));

    // Half up, truncating towards zero, as the stored coordinates have
    // always been drawn: a negative whole number lands one pel to the right.
    const struct {
        double v;
        int pel;
    } cases[] = {
        {2.4, 2}, {2.5, 3}, {-0.4, 0}, {-2.0, -1}, {-2.6, -2}, {std::nan(""), 0},
        {1e300, 1 << 30}, {-INFINITY, -(1 << 30)},
    };
    for (const auto& c : cases) EXPECT_EQ(annRound(c.v), c.pel) << c.v;

    const POINTD square[] = {{0, 0}, {0, 10}, {10, 10}};
    Rect r;
    EXPECT_TRUE(annBoxRect(nullptr, square, &r));
    EXPECT_EQ(r, (Rect{0, 0, 11, 11}));
    const Matrix turn = Matrix::rotation(0.5);
    EXPECT_FALSE(annBoxRect(&turn, square, &r));
    annBoundsOfPoints(nullptr, square, 1, &r);
    EXPECT_EQ(r, Rect{});
}

using Bounds = EngineTest;

TEST_F(Bounds, ABoxIsBoundedByItsCornersAndItsPen) {
    const struct {
        const char* what;
        double lineWidth;
        bool selected;
        Rect bounds;
    } cases[] = {
        {"pen 1", 1, false, {9, 19, 112, 72}},
        {"pen 0", 0, false, {10, 20, 111, 71}},
        {"pen 10", 10, false, {5, 15, 116, 76}},
        {"selected, pen 1", 1, true, {6, 16, 115, 75}},  // room for the handles
        {"selected, pen 10", 10, true, {5, 15, 116, 76}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ANNHANDLE h = create(ANN_RECTANGLE);
        const RECTD r{10, 20, 110, 70};
        ASSERT_EQ(K_AnnSetRect(h, &r), ANN_SUCCESS);
        K_AnnSetLineWidth(h, c.lineWidth, 0);
        K_AnnSetSelected(h, c.selected, 0);
        EXPECT_EQ(bounds(h), c.bounds);
        const AnnObject& o = record(h);
        EXPECT_EQ(o.VisibleRect, c.bounds);  // a root shows whole
        EXPECT_EQ(o.HandleCount, 4u);
        EXPECT_EQ(o.Handles[0], (desktop::Point{10, 20}));
        EXPECT_EQ(o.Handles[1], (desktop::Point{110, 20}));
        EXPECT_EQ(o.Handles[2], (desktop::Point{110, 70}));
        EXPECT_EQ(o.Handles[3], (desktop::Point{10, 70}));
        RECTD extent{};
        K_AnnGetRect(h, &extent);
        EXPECT_EQ(extent.left, 10);
        EXPECT_EQ(extent.bottom, 70);
        EXPECT_EQ(o.Center.x, 60);
        EXPECT_EQ(o.Center.y, 45);
        K_AnnDestroy(h, 0);
    }
}

TEST_F(Bounds, PointKindsAndArrowsAreBoundedByTheirPoints) {
    const ANNHANDLE arrow = create(ANN_ARROW);
    const POINTD ends[] = {{100, 100}, {20, 100}};  // head, then tail
    ASSERT_EQ(K_AnnSetPoints(arrow, ends, 2), ANN_SUCCESS);
    const AnnObject& a = record(arrow);
    // A head 5 pels wide and long: corners at (95, 102.5) and (95, 97.5).
    EXPECT_EQ(a.ArrowHeadSize[0], 5);
    EXPECT_EQ(a.ArrowHeadSize[1], 5);
    EXPECT_EQ(bounds(arrow), (Rect{19, 97, 102, 105}));
    EXPECT_EQ(a.HandleCount, 2u);
    EXPECT_EQ(a.Handles[0], (desktop::Point{100, 100}));
    EXPECT_EQ(a.Handles[1], (desktop::Point{20, 100}));

    const ANNHANDLE line = points(0, ANN_LINE, {{10, 10}, {30, 50}});
    EXPECT_EQ(bounds(line), (Rect{9, 9, 32, 52}));
    EXPECT_EQ(record(line).HandleCount, 2u);
    EXPECT_EQ(record(line).Handles[1], (desktop::Point{30, 50}));

    const ANNHANDLE polyline = points(0, ANN_POLYLINE, {{10, 10}, {30, 50}, {50, 20}});
    EXPECT_EQ(record(polyline).HandleCount, 4u);
    EXPECT_EQ(record(polyline).Handles[2], (desktop::Point{50, 50}));
    RECTD extent{};
    K_AnnGetRect(polyline, &extent);
    EXPECT_EQ(extent.right, 50);
    EXPECT_EQ(extent.bottom, 50);
    for (ANNHANDLE h : {arrow, line, polyline}) K_AnnDestroy(h, 0);
}

TEST_F(Bounds, ScalarsAndOffsetsMapAboutTheTopLeftCorner) {
    const ANNHANDLE h = create(ANN_RECTANGLE);
    const RECTD r{10, 10, 30, 20};
    K_AnnSetRect(h, &r);
    K_AnnSetLineWidth(h, 0, 0);
    K_AnnSetScalarX(h, 2, 0);
    K_AnnSetOffsetX(h, 5, 0);
    K_AnnSetOffsetY(h, -2, 0);
    EXPECT_EQ(bounds(h), (Rect{15, 8, 56, 19}));
    const AnnObject& o = record(h);
    const POINTD back = o.InverseTransform.apply(o.Transform.apply({17, 13}));
    EXPECT_DOUBLE_EQ(back.x, 17);
    EXPECT_DOUBLE_EQ(back.y, 13);
    // A pen scales with the object: 2 at a scale of (2, 2) is 4.
    K_AnnSetScalarY(h, 2, 0);
    K_AnnSetLineWidth(h, 2, 0);
    EXPECT_EQ(bounds(h), (Rect{15 - 2, 8 - 2, 56 + 2, 29 + 2}));
    // Mirrored, the pen keeps its width and the bounds their margin.
    K_AnnSetScalarX(h, -2, 0);
    EXPECT_EQ(bounds(h).top, 8 - 2);
    EXPECT_EQ(bounds(h).bottom, 29 + 2);

    // A scale of 0 divides by nothing: the inverse falls back to the identity.
    K_AnnSetScalarX(h, 0, 0);
    EXPECT_TRUE(annIsIdentity(&o.InverseTransform));
    for (double v : o.Transform.m) EXPECT_TRUE(std::isfinite(v));
    EXPECT_EQ(bounds(h).left, 15);
    K_AnnDestroy(h, 0);
}

// Kept as stored trees have it: a child's coordinates count from its
// container's top-left corner, and the container's own scale applies to its
// children too.
TEST_F(Bounds, ChildrenArePlacedFromTheirContainersCorner) {
    const ANNHANDLE root = container(0, {100, 50, 500, 450});
    const ANNHANDLE child = box(root, ANN_RECTANGLE, {10, 10, 20, 20});
    K_AnnSetLineWidth(child, 0, 0);
    EXPECT_EQ(bounds(child), (Rect{110, 60, 121, 71}));
    K_AnnSetScalarX(root, 2, 0);
    EXPECT_EQ(bounds(child), (Rect{120, 60, 141, 71}));
    K_AnnSetScalarX(root, 1, 0);

    // Moving the container carries its children along; moving them as well
    // moves them twice as far on the window.
    ASSERT_EQ(K_AnnMove(root, 5, 0, 0), ANN_SUCCESS);
    EXPECT_EQ(bounds(child), (Rect{115, 60, 126, 71}));
    ASSERT_EQ(K_AnnMove(root, 5, 0, ANN_FLAG_RECURSIVE), ANN_SUCCESS);
    EXPECT_EQ(bounds(child), (Rect{125, 60, 136, 71}));

    // What lies outside the container does not show.
    const ANNHANDLE wide = box(root, ANN_RECTANGLE, {380, 10, 480, 20});
    K_AnnSetLineWidth(wide, 0, 0);
    EXPECT_EQ(bounds(wide), (Rect{490, 60, 591, 71}));
    EXPECT_EQ(record(wide).VisibleRect, (Rect{490, 60, 512, 71}));  // the root's pen counts
    K_AnnDestroy(root, 0);
}

using HitTest = EngineTest;

TEST_F(HitTest, TheFrontmostVisibleObjectIsHitAndHandlesSnap) {
    const ANNHANDLE root = container(0, {0, 0, 400, 300});
    const ANNHANDLE back = box(root, ANN_RECTANGLE, {10, 10, 110, 110});
    const ANNHANDLE front = box(root, ANN_RECTANGLE, {50, 50, 150, 150});
    const ANNHANDLE hidden = box(root, ANN_RECTANGLE, {200, 200, 250, 250});
    K_AnnSetVisible(hidden, 0, 0);
    K_AnnSetSelected(front, 1, 0);
    enum Mode { Design, Run };
    const struct {
        Mode mode;
        POINT at;
        ANNHANDLE hit;
        uint32_t result;
        POINT after;
    } cases[] = {
        {Design, {20, 20}, back, ANN_HIT_OBJECT, {20, 20}},
        {Design, {100, 100}, front, ANN_HIT_OBJECT, {100, 100}},
        {Design, {210, 210}, root, ANN_HIT_OBJECT, {210, 210}},  // an invisible object is not hit
        {Design, {500, 500}, 0, ANN_HIT_NONE, {500, 500}},
        {Design, {52, 53}, front, ANN_HIT_HANDLE, {50, 50}},
        {Design, {47, 47}, front, ANN_HIT_HANDLE, {50, 50}},  // 3 pels off the centre
        {Design, {53, 53}, front, ANN_HIT_HANDLE, {50, 50}},
        {Design, {54, 50}, front, ANN_HIT_OBJECT, {54, 50}},  // 4 pels off
        {Design, {46, 50}, front, ANN_HIT_OBJECT, {46, 50}},
        {Design, {153, 147}, front, ANN_HIT_HANDLE, {150, 150}},
        {Run, {52, 53}, front, ANN_HIT_OBJECT, {52, 53}},  // no handles in run mode
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.at.x << "," << c.at.y << (c.mode == Run ? " run" : ""));
        K_AnnSetUserMode(root, c.mode == Run ? ANN_MODE_RUN : ANN_MODE_DESIGN);
        POINT p = c.at;
        uint32_t result = 99;
        ANNHANDLE hit = 1;
        ASSERT_EQ(K_AnnHitTest(front, &p, &result, &hit), ANN_SUCCESS);  // any object of the tree will do
        EXPECT_EQ(hit, c.hit);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(p.x, c.after.x);
        EXPECT_EQ(p.y, c.after.y);
    }
    POINT p{0, 0};
    uint32_t result;
    ANNHANDLE hit;
    EXPECT_EQ(K_AnnHitTest(root, nullptr, &result, &hit), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(K_AnnHitTest(root, &p, nullptr, &hit), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(K_AnnHitTest(root, &p, &result, nullptr), ANN_ERROR_INVALID_PARAMETER);
    K_AnnDestroy(root, 0);
}

// Kept as it is: the walk goes back through the siblings of the frontmost
// branch and up, never down into an earlier sibling's children, so such a
// child is found as its container.
TEST_F(HitTest, ChildrenOfAnEarlierSiblingAreFoundAsTheirContainer) {
    const ANNHANDLE root = container(0, {0, 0, 400, 300});
    ANNHANDLE group = 0;
    ASSERT_EQ(K_AnnCreateItem(root, ANN_CONTAINER, 1, &group), ANN_SUCCESS);
    const RECTD area{0, 0, 200, 200};
    K_AnnSetRect(group, &area);
    const ANNHANDLE inner = box(group, ANN_RECTANGLE, {10, 10, 50, 50});
    box(root, ANN_RECTANGLE, {300, 10, 350, 50});
    POINT p{20, 20};
    uint32_t result;
    ANNHANDLE hit;
    K_AnnHitTest(root, &p, &result, &hit);
    EXPECT_EQ(hit, group);
    // In the frontmost branch the child is found.
    K_AnnBringToFront(group);
    K_AnnHitTest(root, &p, &result, &hit);
    EXPECT_EQ(hit, inner);
    // Outside its container a child is not hit.
    const ANNHANDLE outside = box(group, ANN_RECTANGLE, {190, 10, 260, 50});
    p = {230, 20};
    K_AnnHitTest(root, &p, &result, &hit);
    EXPECT_EQ(hit, root);
    (void)outside;
    // Kept as it is too: a visible child of an invisible container is not
    // drawn, yet it is hit.
    K_AnnSetVisible(group, 0, 0);
    p = {20, 20};
    K_AnnHitTest(root, &p, &result, &hit);
    EXPECT_EQ(hit, inner);
    K_AnnDestroy(root, 0);
}

}  // namespace
}  // namespace fg::annotation
