#include "annotation/render.h"

#include "annotation/guard.h"
#include "annotation/paint.h"
#include "platform/desktop/bitmap.h"

#include <cmath>

namespace fg::annotation {

using desktop::DeviceContext;
using desktop::Rect;

namespace {

// Objects outside the clip are passed over with their subtrees, so a
// repaint of a small area touches only the objects there.
int drawList(DeviceContext& dc, const Rect& clip, AnnObject* o) {
    for (; o; o = o->NextSibling) {
        if (!o->Visible || desktop::intersect(o->VisibleRect, clip).empty()) continue;
        annPaintObject(dc, clip, *o, &o->Transform);
        if (o->Selected && o->UserMode == ANN_MODE_DESIGN) {
            const int level = dc.save();
            dc.intersectClipRect(clip);
            for (std::uint32_t i = 0; i < std::min<std::uint32_t>(o->HandleCount, 4); ++i) {
                const desktop::Point h = o->Handles[i];
                dc.patBlt({h.x - 3, h.y - 3, h.x + 4, h.y + 4}, desktop::DSTINVERT);
            }
            (void)dc.restore(level);
        }
        if (o->FirstChild)
            if (const int r = drawList(dc, desktop::intersect(clip, o->VisibleRect), o->FirstChild); r != ANN_SUCCESS)
                return r;
    }
    return ANN_SUCCESS;
}

int renderList(DeviceContext& dc, const Rect& clip, AnnObject* o, const Matrix& mapping, bool redactionsOnly,
               bool selectedOnly) {
    for (; o; o = o->NextSibling) {
        if (!o->Visible) continue;
        if ((!selectedOnly || o->Selected) && (!redactionsOnly || o->Type == ANN_REDACTION)) {
            const Matrix m = annCompose(o->Transform, mapping);
            annPaintObject(dc, clip, *o, &m);
        }
        if (o->FirstChild)
            if (const int r = renderList(dc, clip, o->FirstChild, mapping, redactionsOnly, selectedOnly); r != ANN_SUCCESS)
                return r;
    }
    return ANN_SUCCESS;
}

Rect toRect(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

}  // namespace

int annRenderTree(DeviceContext& dc, const Rect* destination, AnnObject* object, bool redactionsOnly,
                  const Matrix* matrix, bool selectedOnly) {
    const Rect bounds = object->BoundsRect;
    const Rect target = destination ? *destination : bounds;
    Matrix mapping;
    if (matrix) {
        mapping = *matrix;
    } else {
        // Bounds without width or height are laid on at their own scale.
        const double sx = bounds.width() != 0 ? static_cast<double>(target.width()) / bounds.width() : 1.0;
        const double sy =
            bounds.height() != 0 ? std::fabs(static_cast<double>(target.height())) / std::abs(bounds.height()) : 1.0;
        mapping = annCompose(annCompose(Matrix::translation(-bounds.left, -bounds.top), Matrix::scaling(sx, sy)),
                             Matrix::translation(target.left, target.top));
    }
    return renderList(dc, desktop::normalized(target), object, mapping, redactionsOnly, selectedOnly);
}

}  // namespace fg::annotation

using namespace fg::annotation;

extern "C" {

int32_t K_AnnDraw(ANNDC dc, const RECT* clip, ANNHANDLE object) {
    return annGuard([&] {
        AnnObject* o = annLock(object);
        if (!o || !dc) return ANN_ERROR_INVALID_PARAMETER;
        return drawList(*dc, clip ? toRect(*clip) : o->VisibleRect, o);
    });
}

int32_t K_AnnPrint(ANNDC dc, const RECT* destination, ANNHANDLE object) {
    return annGuard([&] {
        AnnObject* o = annLock(object);
        if (!o || !dc) return ANN_ERROR_INVALID_PARAMETER;
        const Rect target = destination ? toRect(*destination) : Rect{};
        return annRenderTree(*dc, destination ? &target : nullptr, o, false, nullptr, false);
    });
}

int32_t K_AnnRealize(ANNBITMAP* bitmap, const RECT* destination, ANNHANDLE object, int32_t redactionsOnly) {
    return annGuard([&] {
        AnnObject* o = annLock(object);
        if (!o || !bitmap || !bitmap->holdsBitmap()) return ANN_ERROR_INVALID_PARAMETER;
        std::unique_ptr<fg::desktop::BitmapDC> dc = fg::desktop::bitmapDC(*bitmap);
        if (!dc) return ANN_ERROR_NO_MEMORY;
        const Rect target =
            destination ? toRect(*destination) : Rect{0, 0, bitmap->image.width(), bitmap->image.height()};
        // The bitmap gets the pels when the context ends.
        return annRenderTree(*dc, &target, o, redactionsOnly != 0, nullptr, false);
    });
}

}  // extern "C"
