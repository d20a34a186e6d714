#include "annotation/bounds.h"

#include "annotation/guard.h"
#include "annotation/paint.h"
#include "annotation/tree.h"

#include <algorithm>
#include <array>
#include <vector>

namespace fg::annotation {

namespace {

bool isPointKind(std::uint32_t kind) {
    return kind == ANN_FREEHAND || kind == ANN_LINE || kind == ANN_POLYGON || kind == ANN_POLYLINE;
}

RECTD extentOf(const POINTD* p, std::size_t n) {
    if (n == 0) return {0, 0, 0, 0};
    RECTD r{p[0].x, p[0].y, p[0].x, p[0].y};
    for (std::size_t i = 1; i < n; ++i)
        r = {std::min(r.left, p[i].x), std::min(r.top, p[i].y), std::max(r.right, p[i].x), std::max(r.bottom, p[i].y)};
    return r;
}

// Four handles at the corners of the box around the pels: left-top,
// right-top, right-bottom, left-bottom.
void boxHandles(AnnObject& o, const desktop::Point* p, std::size_t n) {
    desktop::Rect b = annBoundsOfPels(p, n);
    if (n) b.right -= 1, b.bottom -= 1;
    o.Handles[0] = {b.left, b.top};
    o.Handles[1] = {b.right, b.top};
    o.Handles[2] = {b.right, b.bottom};
    o.Handles[3] = {b.left, b.bottom};
    o.HandleCount = 4;
}

void updateOne(AnnObject& o) {
    std::array<POINTD, 4> box = annBoxCorners(o.Corners);
    const POINTD* geometry = box.data();
    std::size_t count = box.size();
    if (o.Type == ANN_ARROW) {
        geometry = o.ArrowPoints;
        count = 2;
    } else if (isPointKind(o.Type)) {
        geometry = o.Points.data();
        count = std::min<std::size_t>(o.PointCount, o.Points.capacity());
    }
    if (o.Type != ANN_AUTOMATION) o.Rect = extentOf(geometry, count);
    o.Center = {(o.Rect.left + o.Rect.right) / 2, (o.Rect.top + o.Rect.bottom) / 2};

    Matrix t = annCompose(annCompose(Matrix::translation(-o.Rect.left, -o.Rect.top), Matrix::scaling(o.ScalarX, o.ScalarY)),
                          Matrix::translation(o.Rect.left + o.OffsetX, o.Rect.top + o.OffsetY));
    // A child's coordinates count from its container's top-left corner.
    if (const AnnObject* c = o.Container)
        t = annCompose(annCompose(t, Matrix::translation(c->Rect.left, c->Rect.top)), c->Transform);
    o.Transform = t;
    annInvertMatrix(t, &o.InverseTransform);

    if (o.Type == ANN_ARROW) {
        o.ArrowHeadSize[0] = o.ArrowHeadSize[1] = o.LineWidth * 3 + 2;
        desktop::Point outline[6];
        annArrowOutline(&t, o.ArrowPoints[0], o.ArrowPoints[1], o.ArrowHeadSize, outline);
        o.BoundsRect = annBoundsOfPels(outline, 6);
        annMapPoints(&t, o.ArrowPoints, o.Handles, 2);
        o.HandleCount = 2;
    } else {
        std::vector<desktop::Point> pels(count);
        annMapPoints(&t, geometry, pels.data(), count);
        o.BoundsRect = count < 2 ? desktop::Rect{} : annBoundsOfPels(pels.data(), count);
        if (isPointKind(o.Type) && count == 2) {
            o.Handles[0] = pels[0], o.Handles[1] = pels[1];
            o.HandleCount = 2;
        } else {
            boxHandles(o, pels.data(), count);
        }
    }

    // Room for the pen, and for the handles of a selected object.
    int pen = std::max(0, annRound(o.LineWidth * annLengthScale(&t)));
    if (o.Selected) pen = std::max(pen, 7);
    const int margin = (pen + 1) / 2;
    desktop::Rect& b = o.BoundsRect;
    b = {b.left - margin, b.top - margin, b.right + margin, b.bottom + margin};
    o.VisibleRect = o.Container ? desktop::intersect(b, o.Container->VisibleRect) : b;
}

}  // namespace

void annUpdateOwnBounds(AnnObject& o) { updateOne(o); }

void annUpdateBounds(AnnObject* o, bool siblings) {
    for (; o; o = siblings ? o->NextSibling : nullptr) {
        updateOne(*o);
        if (o->FirstChild) annUpdateBounds(o->FirstChild, true);
    }
}

AnnObject* annHitTest(AnnObject* object, desktop::Point& p, bool& handle) {
    handle = false;
    // From the frontmost, deepest object back through the drawing order;
    // the children of an earlier sibling are not looked into.
    AnnObject* o = annRoot(object);
    while (o->FirstChild) {
        o = o->FirstChild;
        while (o->NextSibling) o = o->NextSibling;
    }
    for (; o; o = o->PrevSibling ? o->PrevSibling : o->Container) {
        if (!o->Visible || !o->VisibleRect.contains(p)) continue;
        if (o->Selected && o->UserMode == ANN_MODE_DESIGN)
            for (std::uint32_t i = 0; i < std::min<std::uint32_t>(o->HandleCount, 4); ++i) {
                const desktop::Point h = o->Handles[i];
                if (p.x >= h.x - 3 && p.x < h.x + 4 && p.y >= h.y - 3 && p.y < h.y + 4) {
                    p = h;
                    handle = true;
                    break;
                }
            }
        return o;
    }
    return nullptr;
}

}  // namespace fg::annotation

using namespace fg::annotation;

extern "C" {

int32_t K_AnnHitTest(ANNHANDLE object, POINT* point, uint32_t* result, ANNHANDLE* hit) {
    return annGuard([&] {
        AnnObject* o = annLock(object);
        if (!o || !point || !result || !hit) return ANN_ERROR_INVALID_PARAMETER;
        fg::desktop::Point p{point->x, point->y};
        bool onHandle = false;
        const AnnObject* found = annHitTest(o, p, onHandle);
        *hit = found ? found->Self : 0;
        *result = !found ? ANN_HIT_NONE : onHandle ? ANN_HIT_HANDLE : ANN_HIT_OBJECT;
        *point = {p.x, p.y};
        return ANN_SUCCESS;
    });
}

int32_t K_AnnGetRect(ANNHANDLE object, RECTD* rect) {
    return annGuard([&] {
        const AnnObject* o = annLock(object);
        if (!o || !rect) return ANN_ERROR_INVALID_PARAMETER;
        *rect = o->Rect;
        return ANN_SUCCESS;
    });
}

int32_t K_AnnGetBoundingRect(ANNHANDLE object, RECT* rect) {
    return annGuard([&] {
        const AnnObject* o = annLock(object);
        if (!o || !rect) return ANN_ERROR_INVALID_PARAMETER;
        const fg::desktop::Rect& b = o->BoundsRect;
        *rect = {b.left, b.top, b.right, b.bottom};
        return ANN_SUCCESS;
    });
}

}  // extern "C"
