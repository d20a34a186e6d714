// Deep copies of objects, and the undo snapshots of the automation that
// are made of them: each edit of the automation first keeps a copy of the
// container it edits, and an undo puts the newest copy's objects back.
#include "annotation/automation.h"
#include "annotation/guard.h"
#include "annotation/tree.h"
#include "platform/desktop/global_memory.h"

#include <cstring>

namespace fg::annotation {

namespace {

bool copyString(OwnedString& to, const OwnedString& from) { return to.assign(from.view()); }

// Every field but the links and the handle. The copy owns its strings,
// points and bitmap; an automation object's copy owns its texts, holds no
// snapshots and is bound to no window, so that neither of the two frees
// or unhooks what belongs to the other.
int copyRecord(AnnObject& to, const AnnObject& from) {
    to.Type = from.Type;
    to.Wnd = from.Wnd;
    to.ActiveState = from.ActiveState;
    to.UserMode = from.UserMode;
    to.Tag = from.Tag;
    to.Visible = from.Visible;
    to.Selected = from.Selected;
    to.FontBold = from.FontBold;
    to.FontItalic = from.FontItalic;
    to.FontStrikeThrough = from.FontStrikeThrough;
    to.FontUnderline = from.FontUnderline;
    to.LineWidth = from.LineWidth;
    to.LineStyle = from.LineStyle;
    to.FillPattern = from.FillPattern;
    to.FillMode = from.FillMode;
    to.PolyFillMode = from.PolyFillMode;
    to.FontSize = from.FontSize;
    to.ForeColor = from.ForeColor;
    to.BackColor = from.BackColor;
    to.BoundsRect = from.BoundsRect;
    to.VisibleRect = from.VisibleRect;
    to.Rect = from.Rect;
    std::memcpy(to.Corners, from.Corners, sizeof from.Corners);
    std::memcpy(to.ArrowPoints, from.ArrowPoints, sizeof from.ArrowPoints);
    std::memcpy(to.ArrowHeadSize, from.ArrowHeadSize, sizeof from.ArrowHeadSize);
    std::memcpy(to.Handles, from.Handles, sizeof from.Handles);
    to.HandleCount = from.HandleCount;
    to.DefineAnchor = from.DefineAnchor;
    to.DefinePoint = from.DefinePoint;
    to.GroupRect = from.GroupRect;
    to.DragTransform = from.DragTransform;
    to.Transform = from.Transform;
    to.InverseTransform = from.InverseTransform;
    to.DefineMode = from.DefineMode;
    to.DefineCreating = false;
    to.Center = from.Center;
    to.ScalarX = from.ScalarX;
    to.ScalarY = from.ScalarY;
    to.OffsetX = from.OffsetX;
    to.OffsetY = from.OffsetY;
    to.WriteMark = from.WriteMark;
    to.DpiX = from.DpiX;
    to.DpiY = from.DpiY;
    to.AutoContainer = from.AutoContainer;
    to.AutoCurrent = from.AutoCurrent;
    to.Tool = from.Tool;
    to.AutoStartSquare = from.AutoStartSquare;
    std::memcpy(to.CustomColors, from.CustomColors, sizeof from.CustomColors);
    to.AutoMenuEnable = from.AutoMenuEnable;
    to.AutoDrawEnable = from.AutoDrawEnable;
    // Not carried over: the window binding, the menu, the gesture and the
    // snapshots belong to the original alone.
    to.ActiveState = from.Type == ANN_AUTOMATION ? 0 : from.ActiveState;
    to.AutoOldWndProc = nullptr;
    to.AutoWindow = 0;
    to.AutoMenu = 0;
    to.AutoCapturing = 0;
    to.AutoCreating = 0;
    to.UndoList = nullptr;
    to.UndoDepth = 0;

    if (!copyString(to.FontName, from.FontName) || !copyString(to.Text, from.Text)) return ANN_ERROR_NO_MEMORY;
    for (int i = 0; i < kAutoTextCount; ++i)
        if (!copyString(to.AutoTexts[i], from.AutoTexts[i])) return ANN_ERROR_NO_MEMORY;
    const std::size_t points = std::min<std::size_t>(from.PointCount, from.Points.capacity());
    to.PointCount = 0;
    if (!to.Points.allocate(points)) return ANN_ERROR_NO_MEMORY;
    if (points) std::memcpy(to.Points.data(), from.Points.data(), points * sizeof(POINTD));
    to.PointCount = static_cast<std::uint32_t>(points);
    desktop::freeBitmap(to.Bitmap);
    if (from.Bitmap.holdsBitmap() && !desktop::copyBitmap(to.Bitmap, from.Bitmap)) return ANN_ERROR_NO_MEMORY;
    return ANN_SUCCESS;
}

// Copies that no tree holds yet, with their children.
void freeCopies(AnnObject* first) {
    while (first) {
        AnnObject* next = first->NextSibling;
        freeCopies(first->FirstChild);
        annFreeObject(first);
        first = next;
    }
}

int copyLevel(const AnnObject* source, bool siblings, AnnObject* container, AnnObject** first) {
    *first = nullptr;
    AnnObject* last = nullptr;
    for (; source; source = siblings ? source->NextSibling : nullptr) {
        AnnObject* copy = annNewObject(source->Type);
        if (!copy) {
            freeCopies(*first);
            *first = nullptr;
            return ANN_ERROR_NO_MEMORY;
        }
        copy->Container = container;
        copy->PrevSibling = last;
        (last ? last->NextSibling : *first) = copy;
        last = copy;
        int r = copyRecord(*copy, *source);
        if (r == ANN_SUCCESS && source->FirstChild) r = copyLevel(source->FirstChild, true, copy, &copy->FirstChild);
        if (r != ANN_SUCCESS) {
            freeCopies(*first);
            *first = nullptr;
            return r;
        }
    }
    return ANN_SUCCESS;
}

void clearWindow(AnnObject* o) {
    for (; o; o = o->NextSibling) {
        o->Wnd = 0;
        clearWindow(o->FirstChild);
    }
}

void destroySnapshot(ANNHANDLE snapshot) {
    if (AnnObject* s = annLock(snapshot)) annDestroyTree(s, ANN_FLAG_NO_INVALIDATE, false);
}

bool isAutomation(const AnnObject* o) { return o && o->Type == ANN_AUTOMATION; }

void collectSelectedBounds(const AnnObject* o, desktop::Rect& out) {
    if (o->Selected) out = desktop::unite(out, o->BoundsRect);
    for (const AnnObject* c = o->FirstChild; c; c = c->NextSibling) collectSelectedBounds(c, out);
}

}  // namespace

AnnObject* annCopyTree(const AnnObject* source, bool siblings, int* result) {
    AnnObject* first = nullptr;
    *result = copyLevel(source, siblings, nullptr, &first);
    return first;
}

void annTakeSnapshot(AnnObject& a) {
    if (!a.UndoList || a.UndoDepth <= 0) return;
    const AnnObject* container = annLock(a.AutoContainer);
    if (!container) return;
    int result = ANN_SUCCESS;
    AnnObject* snapshot = annCopyTree(container, false, &result);
    if (!snapshot) return;  // without memory the edit goes on without one
    // A snapshot belongs to no window: when it is dropped nobody is told,
    // and when it is put back the container's window is given to it.
    clearWindow(snapshot);
    const ANNHANDLE dropped = a.UndoList[a.UndoDepth - 1];
    std::memmove(a.UndoList + 1, a.UndoList, sizeof(ANNHANDLE) * static_cast<std::size_t>(a.UndoDepth - 1));
    a.UndoList[0] = snapshot->Self;
    destroySnapshot(dropped);
}

int annUndo(AnnObject& a) {
    if (!a.UndoList || !a.UndoList[0]) return ANN_SUCCESS;
    // Without a container there is nothing to restore into: the snapshots
    // stay for a container set later.
    AnnObject* container = annLock(a.AutoContainer);
    if (!container) return ANN_ERROR_INVALID_PARAMETER;
    const ANNHANDLE self = a.Self, containerHandle = container->Self, snapshot = a.UndoList[0];
    // The newest snapshot leaves the list first, so that a handler of the
    // notifications below finds the list as it will be.
    std::memmove(a.UndoList, a.UndoList + 1, sizeof(ANNHANDLE) * static_cast<std::size_t>(a.UndoDepth));
    a.UndoList[a.UndoDepth] = 0;
    if (container->FirstChild) annDestroyTree(container, ANN_FLAG_CHILDREN, false);
    container = annLock(containerHandle);
    if (!container || K_AnnInsert(containerHandle, snapshot, 1) != ANN_SUCCESS) {
        destroySnapshot(snapshot);
        return annLock(self) && container ? ANN_ERROR_INVALID_PARAMETER : ANN_SUCCESS;
    }
    if ((container = annLock(containerHandle))) annRefresh(*container, 0);
    return ANN_SUCCESS;
}

}  // namespace fg::annotation

using namespace fg::annotation;
namespace desktop = fg::desktop;

extern "C" {

int32_t K_AnnSetUndoDepth(ANNHANDLE automation, int32_t depth) {
    return annGuard([&] {
        AnnObject* a = annLock(automation);
        // A negative depth is refused before anything is dropped.
        if (!isAutomation(a) || depth < 0) return ANN_ERROR_INVALID_PARAMETER;
        annFreeUndoList(*a);
        if (depth == 0) return ANN_SUCCESS;
        const std::size_t slots = static_cast<std::size_t>(depth) + 1;
        auto* list = static_cast<ANNHANDLE*>(desktop::memoryAllocate(slots * sizeof(ANNHANDLE), true));
        if (!list) return ANN_ERROR_NO_MEMORY;
        a->UndoList = list;
        a->UndoDepth = depth;
        return ANN_SUCCESS;
    });
}

int32_t K_AnnUndo(ANNHANDLE automation) {
    return annGuard([&] {
        AnnObject* a = annLock(automation);
        return isAutomation(a) ? annUndo(*a) : ANN_ERROR_INVALID_PARAMETER;
    });
}

int32_t K_AnnCopy(ANNHANDLE object, ANNHANDLE* copy) {
    return annGuard([&] {
        const AnnObject* o = annLock(object);
        if (!o || !copy) return ANN_ERROR_INVALID_PARAMETER;
        int result = ANN_SUCCESS;
        const AnnObject* made = annCopyTree(o, false, &result);
        if (made) *copy = made->Self;
        return result;
    });
}

int32_t K_AnnGetItem(ANNHANDLE object, ANNHANDLE* child) {
    return annGuard([&] {
        const AnnObject* o = annLock(object);
        if (!o || !child) return ANN_ERROR_INVALID_PARAMETER;
        *child = o->FirstChild ? o->FirstChild->Self : 0;
        return ANN_SUCCESS;
    });
}

int32_t K_AnnGetSelectRect(ANNHANDLE object, RECT* rect) {
    return annGuard([&] {
        const AnnObject* o = annLock(object);
        if (!o || !rect) return ANN_ERROR_INVALID_PARAMETER;
        fg::desktop::Rect u;
        collectSelectedBounds(o, u);
        *rect = {u.left, u.top, u.right, u.bottom};
        return ANN_SUCCESS;
    });
}

}  // extern "C"
