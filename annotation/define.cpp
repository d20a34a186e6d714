// The interactive definition: a mouse gesture on objects carried out one
// step at a time. Drawing a new object point by point, moving, rotating or
// resizing one object or every selected one, and dragging a selection
// rectangle. While a gesture runs its outline is drawn straight onto the
// window with a pen that inverts, so drawing it again erases it; the
// window is invalidated only at the end, when the gesture is applied.
#include "annotation/bounds.h"
#include "annotation/guard.h"
#include "annotation/paint.h"
#include "annotation/tree.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

namespace fg::annotation {

namespace {

using desktop::Point;

enum Step : std::uint32_t {
    kBeginCreate = 0,
    kBeginMove = 1,
    kBeginRotate = 2,
    kBeginResize = 3,
    kBeginSelection = 4,
    kAdd = 5,
    kTrack = 6,
    kEnd = 7,
    kBeginGroupMove = 8,
    kBeginGroupRotate = 9,
    kBeginGroupResize = 10
};

enum Mode : std::int32_t {
    kNone = -1,
    kCreating = 0,
    kMoving = 1,
    kRotating = 2,
    kResizing = 3,
    kSelecting = 4,
    kGroupMove = 8,
    kGroupRotate = 9,
    kGroupResize = 10
};

// Freehand, polygon and polyline objects are drawn with many points; every
// other kind with two.
constexpr std::size_t kPointListRoom = 16384, kTwoPoints = 2;

bool isPointList(std::uint32_t kind) { return kind == ANN_FREEHAND || kind == ANN_POLYGON || kind == ANN_POLYLINE; }
bool isPointKind(std::uint32_t kind) { return isPointList(kind) || kind == ANN_LINE; }
// Kinds that never turn: a rotation only moves them.
bool isUpright(std::uint32_t kind) {
    return kind == ANN_AUDIO || kind == ANN_BUTTON || kind == ANN_HOTSPOT || kind == ANN_NOTE;
}

std::size_t pointsHeld(const AnnObject& o) { return std::min<std::size_t>(o.PointCount, o.Points.capacity()); }

POINTD toObject(const AnnObject& o, POINTD window) { return o.InverseTransform.apply(window); }
POINTD toObject(const AnnObject& o, Point window) {
    return toObject(o, POINTD{static_cast<double>(window.x), static_cast<double>(window.y)});
}

enum class Ink { Final, Inverted };
enum class Part { Whole, LastSegment };

void drawFigure(desktop::DeviceContext& dc, AnnObject& o, const Matrix& m, Part part) {
    switch (o.Type) {
    case ANN_ARROW: annDrawArrow(dc, &m, o); break;
    case ANN_ELLIPSE: {
        desktop::Rect r;
        if (annBoxRect(&m, o.Corners, &r)) dc.ellipse(r);
        else annDrawEllipse(dc, &m, o.Corners);
        break;
    }
    case ANN_FREEHAND:
    case ANN_LINE:
    case ANN_POLYGON:
    case ANN_POLYLINE: {
        const std::size_t held = pointsHeld(o);
        if (held < 2) return;
        const bool last = part == Part::LastSegment;
        const std::size_t n = last ? 2 : held;
        std::vector<Point> pels(n);
        annMapPoints(&m, o.Points.data() + (held - n), pels.data(), n);
        if (o.Type == ANN_POLYGON && !last) dc.polygon(pels);
        else dc.polyline(pels);
        break;
    }
    default: {
        desktop::Rect r;
        if (annBoxRect(&m, o.Corners, &r)) {
            dc.rectangle(r);
        } else {
            const std::array<POINTD, 4> box = annBoxCorners(o.Corners);
            Point pels[4];
            annMapPoints(&m, box.data(), pels, 4);
            dc.polygon(pels);
        }
        break;
    }
    }
}

// The object's outline straight on its window: in its own colour, or
// inverted so that drawing it twice leaves the window as it was. With
// `drag` the gesture's transformation is applied first.
void drawOutline(AnnObject& o, Ink ink, Part part, bool drag) {
    // An object without a window has nowhere to show its outline.
    if (o.PointCount < 2 || !o.Wnd) return;
    std::unique_ptr<desktop::WindowDC> dc = desktop::getDC(o.Wnd);
    const int level = dc->save();
    try {
        if (o.Container) dc->intersectClipRect(o.Container->VisibleRect);
        const double scale = annIsIdentity(&o.Transform) ? 1.0 : annLengthScale(&o.Transform);
        const int width = annRound(o.LineWidth * scale);
        if (ink == Ink::Final) {
            dc->selectPen({desktop::PS_SOLID, width, o.ForeColor});
            dc->setRop2(desktop::R2_COPYPEN);
        } else {
            dc->selectPen({desktop::PS_SOLID, width, 0xFFFFFF});
            dc->setRop2(desktop::R2_NOT);
        }
        dc->selectBrush(desktop::Brush::hollow());
        drawFigure(*dc, o, drag ? annCompose(o.DragTransform, o.Transform) : o.Transform, part);
    } catch (const std::bad_alloc&) {
        // No room for the figure's points: this outline is left out, the
        // gesture goes on.
    }
    (void)dc->restore(level);
}

// The shape that the points entered so far give.
void shapeFromPoints(AnnObject& o) {
    const std::size_t held = pointsHeld(o);
    if (held == 0 || isPointKind(o.Type)) return;
    const POINTD* p = o.Points.data();
    if (o.Type == ANN_ARROW) {
        o.ArrowPoints[0] = p[0];
        o.ArrowPoints[1] = held >= 2 ? p[1] : p[0];
        o.ArrowHeadSize[0] = o.ArrowHeadSize[1] = 3 * o.LineWidth + 2;
        return;
    }
    POINTD p0 = p[0], p2 = p[0];
    if (held >= 2) {
        p0 = {std::min(p[0].x, p[1].x), std::min(p[0].y, p[1].y)};
        p2 = {std::max(p[0].x, p[1].x), std::max(p[0].y, p[1].y)};
    }
    o.Corners[0] = p0;
    o.Corners[1] = {p0.x, p2.y};
    o.Corners[2] = p2;
}

void drawCreation(AnnObject& o, Ink ink, Part part) {
    shapeFromPoints(o);
    drawOutline(o, ink, part, false);
}

// The outline of a creation as the rubber band shows it.
Part rubberPart(const AnnObject& o) { return isPointList(o.Type) ? Part::LastSegment : Part::Whole; }

int beginCreate(AnnObject& o, Point at) {
    o.Points.clear();
    o.PointCount = 0;
    o.DefineCreating = false;
    o.DefineMode = kCreating;
    if (!o.Points.allocate(isPointList(o.Type) ? kPointListRoom : kTwoPoints)) return ANN_ERROR_NO_MEMORY;
    o.Points.data()[0] = toObject(o, at);
    o.PointCount = 1;
    o.DefineCreating = true;
    return ANN_SUCCESS;
}

// A further point of a point list. The buffer grows rather than being
// written past its end; a point that finds no room is dropped.
bool appendPoint(AnnObject& o, POINTD p) {
    if (o.PointCount >= o.Points.capacity() && !o.Points.grow(o.Points.capacity() * 2)) return false;
    o.Points.data()[o.PointCount++] = p;
    return true;
}

void createStep(AnnObject& o, Point at, bool add) {
    // A creation that never began, or whose buffer could not be had,
    // stores nothing.
    if (!o.DefineCreating) return;
    const POINTD p = toObject(o, at);
    switch (o.Type) {
    case ANN_FREEHAND:
        if (appendPoint(o, p)) drawCreation(o, Ink::Final, Part::LastSegment);
        break;
    case ANN_POLYGON:
    case ANN_POLYLINE:
        if (add) {
            drawCreation(o, Ink::Final, Part::LastSegment);
            if (appendPoint(o, p)) drawCreation(o, Ink::Inverted, Part::LastSegment);
        } else if (o.PointCount >= 2) {
            drawCreation(o, Ink::Inverted, Part::LastSegment);
            o.Points.data()[o.PointCount - 1] = p;
            drawCreation(o, Ink::Inverted, Part::LastSegment);
        } else if (appendPoint(o, p)) {
            drawCreation(o, Ink::Inverted, Part::LastSegment);
        }
        break;
    default:
        drawCreation(o, Ink::Inverted, Part::Whole);
        o.Points.data()[1] = p;
        o.PointCount = 2;
        drawCreation(o, Ink::Inverted, Part::Whole);
        break;
    }
}

void endCreate(AnnObject& o, Point at) {
    createStep(o, at, false);
    // The rubber band goes; what the freehand pen drew stays until the
    // repaint.
    if (o.DefineCreating && o.Type != ANN_FREEHAND) drawCreation(o, Ink::Inverted, rubberPart(o));
    shapeFromPoints(o);
    annRefresh(o, 0);
    o.DefineMode = kNone;
    o.DefineCreating = false;
}

Matrix about(POINTD c, const Matrix& m) {
    return annCompose(annCompose(Matrix::translation(-c.x, -c.y), m), Matrix::translation(c.x, c.y));
}

RECTD windowRectIn(const AnnObject& o, const RECTD& r) {
    const POINTD a = toObject(o, POINTD{r.left, r.top}), b = toObject(o, POINTD{r.right, r.bottom});
    return {a.x, a.y, b.x, b.y};
}

// The resize that makes the side of `r` on the anchor's side follow the
// mouse while the opposite side stays. A thin extent is slanted instead of
// stretched; an object thin both ways is neither slanted nor turned.
Matrix resizeMatrix(const RECTD& r, POINTD a, POINTD b) {
    const double w = r.right - r.left, h = r.bottom - r.top;
    const POINTD c{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    const double dx = b.x - a.x, dy = b.y - a.y;
    double sx = 0, sy = 0, kx = 0, ky = 0;
    if (std::fabs(w) > 0.999) {
        sx = c.x > a.x ? (w - dx) / w : (w + dx) / w;
    } else {
        sx = w;
        if (h != 0) kx = c.y > a.y ? -dx / h : dx / h;
    }
    if (std::fabs(h) > 0.999) {
        sy = c.y > a.y ? (h - dy) / h : (h + dy) / h;
    } else {
        sy = h;
        if (w != 0) ky = c.x > a.x ? -dy / w : dy / w;
    }
    return annCompose(annCompose(Matrix::translation(-c.x, -c.y), Matrix{{sx, kx, ky, sy, c.x, c.y}}),
                      Matrix::translation(dx / 2, dy / 2));
}

// The transformation the gesture would apply now. `given` is the object
// the group gesture was begun on; it holds a group resize's rectangle, the
// root a group rotation's.
void recompute(AnnObject& o, std::int32_t mode, const AnnObject& given) {
    const POINTD a = toObject(o, o.DefineAnchor), b = toObject(o, o.DefinePoint);
    switch (mode) {
    case kMoving:
    case kGroupMove: o.DragTransform = Matrix::translation(b.x - a.x, b.y - a.y); break;
    case kRotating:
    case kGroupRotate: {
        POINTD c = o.Center;
        if (mode == kGroupRotate) {
            const RECTD& g = annRoot(&o)->GroupRect;
            c = toObject(o, POINTD{(g.left + g.right) / 2, (g.top + g.bottom) / 2});
        }
        const double angle = std::atan2(b.y - c.y, b.x - c.x) - std::atan2(a.y - c.y, a.x - c.x);
        const Matrix turn = about(c, Matrix::rotation(angle));
        if (mode == kGroupRotate && isUpright(o.Type)) {
            const POINTD moved = turn.apply(o.Center);
            o.DragTransform = Matrix::translation(moved.x - o.Center.x, moved.y - o.Center.y);
        } else {
            o.DragTransform = turn;
        }
        break;
    }
    case kResizing: o.DragTransform = resizeMatrix(o.Rect, a, b); break;
    case kGroupResize: o.DragTransform = resizeMatrix(windowRectIn(o, given.GroupRect), a, b); break;
    default: break;
    }
}

void applyDrag(AnnObject& o) {
    const Matrix& m = o.DragTransform;
    if (!annIsIdentity(&m)) {
        if (o.Type == ANN_ARROW) annTransformPoints(&m, o.ArrowPoints, 2);
        else if (isPointKind(o.Type)) annTransformPoints(&m, o.Points.data(), pointsHeld(o));
        else if (o.Type != ANN_AUTOMATION) annTransformPoints(&m, o.Corners, 3);
    }
    annRefresh(o, 0);
}

void beginOne(AnnObject& o, Point at, std::int32_t mode, const AnnObject& given) {
    o.DefineAnchor = o.DefinePoint = at;
    recompute(o, mode, given);
    drawOutline(o, Ink::Inverted, Part::Whole, true);
    o.DefineMode = mode;
}

void stepOne(AnnObject& o, Point at, std::int32_t mode, const AnnObject& given) {
    drawOutline(o, Ink::Inverted, Part::Whole, true);
    o.DefinePoint = at;
    recompute(o, mode, given);
    drawOutline(o, Ink::Inverted, Part::Whole, true);
}

void endOne(AnnObject& o, Point at, std::int32_t mode, const AnnObject& given) {
    drawOutline(o, Ink::Inverted, Part::Whole, true);
    o.DefinePoint = at;
    recompute(o, mode, given);
    applyDrag(o);
    o.DefineMode = kNone;
}

// The selected objects of a tree: the root first, then every descendant,
// first child before its later siblings.
void collectSelected(AnnObject* o, std::vector<AnnObject*>& out) {
    if (o->Selected) out.push_back(o);
    for (AnnObject* c = o->FirstChild; c; c = c->NextSibling) collectSelected(c, out);
}

std::vector<AnnObject*> selectedOf(AnnObject& any) {
    std::vector<AnnObject*> out;
    collectSelected(annRoot(&any), out);
    return out;
}

void beginGroup(AnnObject& given, Point at, std::int32_t mode) {
    given.DefineMode = mode;
    const std::vector<AnnObject*> selected = selectedOf(given);
    if (mode == kGroupRotate) {
        desktop::Rect u;
        for (const AnnObject* o : selected) u = desktop::unite(u, o->BoundsRect);
        annRoot(&given)->GroupRect = {double(u.left), double(u.top), double(u.right - 1), double(u.bottom - 1)};
    } else if (mode == kGroupResize) {
        const POINTD a = given.Transform.apply({given.Rect.left, given.Rect.top});
        const POINTD b = given.Transform.apply({given.Rect.right, given.Rect.bottom});
        given.GroupRect = {a.x, a.y, b.x, b.y};
    }
    for (AnnObject* o : selected) beginOne(*o, at, mode, given);
}

void groupStep(AnnObject& given, Point at, bool end) {
    const std::int32_t mode = given.DefineMode;
    // Only the objects that took part from the begin; one selected since
    // has no anchor of this gesture.
    std::vector<AnnObject*> taking;
    for (AnnObject* o : selectedOf(given))
        if (o->DefineMode == mode) taking.push_back(o);
    if (!end) {
        for (AnnObject* o : taking) stepOne(*o, at, mode, given);
        return;
    }
    given.DefineMode = kNone;
    for (AnnObject* o : taking) endOne(*o, at, mode, given);
}

void drawSelection(const AnnObject& root) {
    if (!root.Wnd) return;
    std::unique_ptr<desktop::WindowDC> dc = desktop::getDC(root.Wnd);
    const int level = dc->save();
    dc->selectPen({desktop::PS_SOLID, 0, 0xFFFFFF});
    dc->selectBrush(desktop::Brush::hollow());
    dc->setRop2(desktop::R2_XORPEN);
    const Point a = root.DefineAnchor, b = root.DefinePoint;
    dc->rectangle({std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)});
    (void)dc->restore(level);
}

int selectionStep(AnnObject& root, Point at, bool end) {
    drawSelection(root);
    root.DefinePoint = at;
    if (!end) {
        drawSelection(root);
        return ANN_SUCCESS;
    }
    const Point a = root.DefineAnchor;
    const RECT r{std::min(a.x, at.x), std::min(a.y, at.y), std::max(a.x, at.x), std::max(a.y, at.y)};
    root.DefineMode = kNone;
    return K_AnnSelectRect(root.Self, &r);
}

// Whether the object runs a gesture of its own: a zero-filled record says
// "creating" without any creation having begun.
bool ownsGesture(const AnnObject& o) {
    switch (o.DefineMode) {
    case kCreating: return o.DefineCreating;
    case kMoving:
    case kRotating:
    case kResizing:
    case kSelecting:
    case kGroupMove:
    case kGroupRotate:
    case kGroupResize: return true;
    default: return false;
    }
}

int step(AnnObject& given, Point at, std::uint32_t stepNumber) {
    // A container handed on while its root drags a selection rectangle
    // continues that rectangle.
    AnnObject* target = &given;
    if (!ownsGesture(given) && annRoot(&given)->DefineMode == kSelecting) target = annRoot(&given);
    AnnObject& o = *target;
    const bool end = stepNumber == kEnd;
    switch (o.DefineMode) {
    case kCreating:
        if (end) endCreate(o, at);
        else createStep(o, at, stepNumber == kAdd);
        return ANN_SUCCESS;
    case kMoving:
    case kRotating:
    case kResizing:
        if (end) endOne(o, at, o.DefineMode, o);
        else stepOne(o, at, o.DefineMode, o);
        return ANN_SUCCESS;
    case kSelecting: return selectionStep(o, at, end);
    case kGroupMove:
    case kGroupRotate:
    case kGroupResize: groupStep(o, at, end); return ANN_SUCCESS;
    default: return ANN_ERROR_INVALID_PARAMETER;
    }
}

int define(AnnObject& o, Point at, std::uint32_t stepNumber) {
    switch (stepNumber) {
    case kBeginCreate: return beginCreate(o, at);
    case kBeginMove: beginOne(o, at, kMoving, o); return ANN_SUCCESS;
    case kBeginRotate:
        if (isUpright(o.Type)) return ANN_ERROR_NOT_SUPPORTED;
        beginOne(o, at, kRotating, o);
        return ANN_SUCCESS;
    case kBeginResize: beginOne(o, at, kResizing, o); return ANN_SUCCESS;
    case kBeginSelection: {
        AnnObject& root = *annRoot(&o);
        root.DefineAnchor = root.DefinePoint = at;
        drawSelection(root);
        root.DefineMode = kSelecting;
        return ANN_SUCCESS;
    }
    case kBeginGroupMove:
    case kBeginGroupRotate:
    case kBeginGroupResize: beginGroup(o, at, static_cast<std::int32_t>(stepNumber)); return ANN_SUCCESS;
    case kAdd:
    case kTrack:
    case kEnd: return step(o, at, stepNumber);
    default: return ANN_ERROR_INVALID_PARAMETER;
    }
}

}  // namespace

}  // namespace fg::annotation

using namespace fg::annotation;

extern "C" {

int32_t K_AnnDefine(ANNHANDLE object, const POINT* point, uint32_t step) {
    return annGuard([&] {
        AnnObject* o = annLock(object);
        if (!o || !point || step > kBeginGroupResize) return ANN_ERROR_INVALID_PARAMETER;
        return define(*o, {point->x, point->y}, step);
    });
}

}  // extern "C"
