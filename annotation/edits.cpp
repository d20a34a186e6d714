// Geometry edits (flip, reverse, rotate, resize, move) and selection by a
// point or a rectangle. An edit is one matrix applied to an object's
// geometry points in object coordinates; what follows from the points (its
// extent, matrices, bounds) comes from the bounds update.
#include "annotation/bounds.h"
#include "annotation/guard.h"
#include "annotation/properties.h"
#include "annotation/save_load.h"
#include "annotation/tree.h"

#include <algorithm>
#include <cmath>
#include <span>
#include <vector>

namespace fg::annotation {

namespace {

enum class Edit { Flip, Reverse, Rotate, Resize, Move };

struct EditSpec {
    Edit edit;
    double a = 0, b = 0;  // degrees; the factors; dx and dy
    const POINTD* centre = nullptr;
};

Matrix about(POINTD c, const Matrix& m) {
    return annCompose(annCompose(Matrix::translation(-c.x, -c.y), m), Matrix::translation(c.x, c.y));
}

Matrix matrixOf(const EditSpec& e, POINTD c) {
    switch (e.edit) {
    case Edit::Flip: return about(c, Matrix::scaling(1, -1));
    case Edit::Reverse: return about(c, Matrix::scaling(-1, 1));
    case Edit::Rotate: return about(c, Matrix::rotation(e.a * 0.017453292519943278));
    case Edit::Resize: return about(c, Matrix::scaling(e.a, e.b));
    case Edit::Move: return Matrix::translation(e.a, e.b);
    }
    return {};
}

// Objects that keep upright under an edit are only moved: the centre of
// their box goes where the edit takes it.
void translateUpright(AnnObject& o, const Matrix& m) {
    const std::array<POINTD, 4> box = annBoxCorners(o.Corners);
    double l = box[0].x, t = box[0].y, r = l, b = t;
    for (const POINTD& p : box) l = std::min(l, p.x), t = std::min(t, p.y), r = std::max(r, p.x), b = std::max(b, p.y);
    const POINTD centre{(l + r) / 2, (t + b) / 2}, moved = m.apply(centre);
    const double dx = moved.x - centre.x, dy = moved.y - centre.y;
    if (dx == 0 && dy == 0) return;
    for (POINTD& p : o.Corners) p.x += dx, p.y += dy;
}

void applyEdit(AnnObject& o, const EditSpec& e) {
    const Matrix m = matrixOf(e, e.centre ? *e.centre : o.Center);
    if (annIsIdentity(&m)) return;
    const bool mirror = e.edit == Edit::Flip || e.edit == Edit::Reverse;
    switch (o.Type) {
    case ANN_CONTAINER:
    case ANN_ELLIPSE:
    case ANN_HIGHLIGHT:
    case ANN_RECTANGLE:
    case ANN_REDACTION: annTransformPoints(&m, o.Corners, 3); break;
    case ANN_STAMP:
    case ANN_TEXT:
        if (mirror) translateUpright(o, m);
        else annTransformPoints(&m, o.Corners, 3);
        break;
    case ANN_AUDIO:
    case ANN_BUTTON:
    case ANN_HOTSPOT:
    case ANN_NOTE:
        if (mirror || e.edit == Edit::Rotate) translateUpright(o, m);
        else annTransformPoints(&m, o.Corners, 3);
        break;
    case ANN_ARROW: annTransformPoints(&m, o.ArrowPoints, 2); break;
    case ANN_FREEHAND:
    case ANN_LINE:
    case ANN_POLYGON:
    case ANN_POLYLINE:
        annTransformPoints(&m, o.Points.data(), std::min<std::size_t>(o.PointCount, o.Points.capacity()));
        break;
    default: break;  // automation objects have no geometry
    }
}

// The points an edit of the object changes, as applyEdit changes them.
std::span<POINTD> editedPoints(AnnObject& o) {
    switch (o.Type) {
    case ANN_AUTOMATION: return {};
    case ANN_ARROW: return {o.ArrowPoints, 2};
    case ANN_FREEHAND:
    case ANN_LINE:
    case ANN_POLYGON:
    case ANN_POLYLINE: return {o.Points.data(), std::min<std::size_t>(o.PointCount, o.Points.capacity())};
    default: return {o.Corners, 3};
    }
}

// The edit in two passes. The first changes the points of every object
// the walk reaches, keeping the old ones: a result that is not finite or
// lies beyond the coordinate range (a tree that would save and never load
// again) puts them all back and refuses the edit. The second refreshes
// what was reached, the bounds of each subtree once.
int editWalk(AnnObject* start, bool walk, const EditSpec& e, unsigned flags) {
    struct Kept {
        AnnObject* object;
        std::vector<POINTD> points;
    };
    std::vector<Kept> kept;
    std::vector<AnnObject*> reached, tops;
    const bool recursive = flags & ANN_FLAG_RECURSIVE;
    int result = ANN_SUCCESS;
    for (AnnObject* top = start; top && result == ANN_SUCCESS; top = walk ? top->NextSibling : nullptr) {
        for (AnnObject* o = top; o; o = recursive ? annNextBelow(o, top) : nullptr) {
            if (annExcluded(*o, flags)) {
                if (!recursive) {
                    result = ANN_ERROR_NOT_SUPPORTED;
                    break;
                }
            } else {
                const std::span<POINTD> points = editedPoints(*o);
                kept.push_back({o, {points.begin(), points.end()}});
                applyEdit(*o, e);
            }
            if (o == top) tops.push_back(top);
            reached.push_back(o);
        }
    }
    for (Kept& k : kept) {
        const std::span<POINTD> points = editedPoints(*k.object);
        if (std::all_of(points.begin(), points.end(), [](const POINTD& p) { return annInRange(p); })) continue;
        for (Kept& back : kept) std::copy(back.points.begin(), back.points.end(), editedPoints(*back.object).begin());
        return ANN_ERROR_INVALID_PARAMETER;
    }
    // Bounds follow the points even when the window is left alone.
    for (AnnObject* o : reached) annInvalidate(*o, flags);
    for (AnnObject* top : tops) annUpdateBounds(top, false);
    for (AnnObject* o : reached) annInvalidate(*o, flags);
    return result;
}

int32_t edit(ANNHANDLE object, const EditSpec& e, uint32_t flags) {
    return annGuard([&] {
        AnnObject* o = annLock(object);
        if (!o) return ANN_ERROR_INVALID_PARAMETER;
        // Points must stay finite, so that a saved tree loads back: the
        // values here, the results in the walk.
        if (!annFinite(e.a) || !annFinite(e.b) || (e.centre && !annFinite(*e.centre)))
            return ANN_ERROR_INVALID_PARAMETER;
        const bool children = flags & ANN_FLAG_CHILDREN;
        return editWalk(children ? o->FirstChild : o, children, e, flags & ~unsigned(ANN_FLAG_CHILDREN));
    });
}

bool inside(const desktop::Rect& b, const RECT& r) {
    return b.left >= r.left && b.left < r.right && b.right >= r.left && b.right <= r.right && b.top >= r.top &&
           b.top < r.bottom && b.bottom >= r.top && b.bottom <= r.bottom;
}

void selectInside(AnnObject* o, const RECT& r) {
    for (; o; o = o->NextSibling) {
        if (inside(o->BoundsRect, r)) annSetProperty(o, kAllKinds, Attribute::Selected, std::uint32_t(1), 0);
        if (o->FirstChild) selectInside(o->FirstChild, r);
    }
}

}  // namespace

}  // namespace fg::annotation

using namespace fg::annotation;

extern "C" {

int32_t K_AnnFlip(ANNHANDLE object, const POINTD* centre, uint32_t flags) {
    return edit(object, {Edit::Flip, 0, 0, centre}, flags);
}

int32_t K_AnnReverse(ANNHANDLE object, const POINTD* centre, uint32_t flags) {
    return edit(object, {Edit::Reverse, 0, 0, centre}, flags);
}

int32_t K_AnnRotate(ANNHANDLE object, double degrees, const POINTD* centre, uint32_t flags) {
    return edit(object, {Edit::Rotate, degrees, 0, centre}, flags);
}

int32_t K_AnnResize(ANNHANDLE object, double xFactor, double yFactor, const POINTD* centre, uint32_t flags) {
    return edit(object, {Edit::Resize, xFactor, yFactor, centre}, flags);
}

int32_t K_AnnMove(ANNHANDLE object, double dx, double dy, uint32_t flags) {
    return edit(object, {Edit::Move, dx, dy, nullptr}, flags);
}

int32_t K_AnnSelectPoint(ANNHANDLE object, POINT* point) {
    return annGuard([&] {
        AnnObject* o = annLock(object);
        if (!o || !point) return ANN_ERROR_INVALID_PARAMETER;
        fg::desktop::Point p{point->x, point->y};
        bool onHandle = false;
        AnnObject* hit = annHitTest(o, p, onHandle);
        *point = {p.x, p.y};
        // A container that is hit is not selected.
        if (hit) annSetProperty(hit, kAllKinds, Attribute::Selected, std::uint32_t(1), ANN_FLAG_SKIP_CONTAINERS);
        return ANN_SUCCESS;
    });
}

int32_t K_AnnSelectRect(ANNHANDLE object, const RECT* rect) {
    return annGuard([&] {
        AnnObject* o = annLock(object);
        if (!o || !rect) return ANN_ERROR_INVALID_PARAMETER;
        AnnObject* root = annRoot(o);
        if (inside(root->BoundsRect, *rect)) annSetProperty(root, kAllKinds, Attribute::Selected, std::uint32_t(1), 0);
        if (root->FirstChild) selectInside(root->FirstChild, *rect);
        return ANN_SUCCESS;
    });
}

}  // extern "C"
