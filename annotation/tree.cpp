#include "annotation/tree.h"

#include "annotation/bounds.h"
#include "annotation/guard.h"
#include "annotation/properties.h"

#include <algorithm>
#include <vector>

namespace fg::annotation {

AnnObject* annRoot(AnnObject* object) {
    while (object->Container) object = object->Container;
    return object;
}

std::size_t annDepth(const AnnObject* object) {
    std::size_t depth = 0;
    for (; object->Container; object = object->Container) ++depth;
    return depth;
}

std::size_t annHeight(const AnnObject* object) {
    // Down the first children and back up, without a stack of our own.
    std::size_t height = 0, level = 0;
    const AnnObject* o = object;
    for (;;) {
        if (o->FirstChild) {
            o = o->FirstChild;
            height = std::max(height, ++level);
            continue;
        }
        while (o != object && !o->NextSibling) o = o->Container, --level;
        if (o == object) return height;
        o = o->NextSibling;
    }
}

bool annIsWithin(const AnnObject* object, const AnnObject* ancestor) {
    for (; object; object = object->Container)
        if (object == ancestor) return true;
    return false;
}

bool annExcluded(const AnnObject& o, unsigned flags) {
    return ((flags & ANN_FLAG_SELECTED) && !o.Selected) || ((flags & ANN_FLAG_SKIP_CONTAINERS) && o.Type == ANN_CONTAINER);
}

void annInvalidate(const AnnObject& o, unsigned flags) {
    if (o.Wnd && o.Visible && !(flags & ANN_FLAG_NO_INVALIDATE)) (void)desktop::invalidateRect(o.Wnd, &o.VisibleRect, false);
}

void annRefresh(AnnObject& o, unsigned flags) {
    annInvalidate(o, flags);
    annUpdateBounds(&o, false);
    annInvalidate(o, flags);
}

namespace {

void collect(const AnnObject* o, std::vector<ANNHANDLE>& out) {
    out.push_back(o->Self);
    for (const AnnObject* c = o->FirstChild; c; c = c->NextSibling) collect(c, out);
}

void unlink(AnnObject& o) {
    if (o.PrevSibling) o.PrevSibling->NextSibling = o.NextSibling;
    else if (o.Container) o.Container->FirstChild = o.NextSibling;
    if (o.NextSibling) o.NextSibling->PrevSibling = o.PrevSibling;
    o.PrevSibling = o.NextSibling = nullptr;
}

AnnObject* lastChild(const AnnObject& container) {
    AnnObject* c = container.FirstChild;
    while (c && c->NextSibling) c = c->NextSibling;
    return c;
}

// Every child goes, whatever the flags, so that no child outlives its
// container; a child that the host inserts meanwhile goes too.
int destroyChildren(AnnObject* o, unsigned flags) {
    const ANNHANDLE self = o->Self;
    while ((o = annLock(self)) && o->FirstChild) {
        const int r = annDestroyTree(o->FirstChild, flags & ANN_FLAG_NO_INVALIDATE, false);
        if (r != ANN_SUCCESS) return r;
    }
    return ANN_SUCCESS;
}

int destroyOne(AnnObject* o, unsigned flags) {
    const ANNHANDLE self = o->Self;
    // The object's own area: each descendant refreshes its own as it goes
    // (a refresh of the whole subtree at every level would cost the square
    // of the tree's depth).
    annInvalidate(*o, flags);
    annUpdateOwnBounds(*o);
    annInvalidate(*o, flags);
    if (o->Type != ANN_CONTAINER && (flags & ANN_FLAG_RECURSIVE) && o->FirstChild) {
        const int r = annDestroyTree(o->FirstChild, flags, true);
        if (r != ANN_SUCCESS) return r;
        if (!(o = annLock(self))) return ANN_SUCCESS;
    }
    if (const int r = destroyChildren(o, flags); r != ANN_SUCCESS) return r;
    if (!(o = annLock(self))) return ANN_SUCCESS;
    annRemove(o, flags);
    // The host's handler of the removal may have freed it already.
    if ((o = annLock(self))) annFreeObject(o);
    return ANN_SUCCESS;
}

}  // namespace

void annNotifyTree(AnnObject* object, std::uintptr_t code) {
    std::vector<ANNHANDLE> handles;
    collect(object, handles);
    for (ANNHANDLE h : handles)
        if (const AnnObject* o = annLock(h); o && o->Wnd)
            desktop::sendMessage(o->Wnd, ANN_NOTIFY_MESSAGE, code, static_cast<std::intptr_t>(h));
}

int annRemove(AnnObject* o, unsigned flags) {
    if (!o->Container) return ANN_SUCCESS;
    const ANNHANDLE self = o->Self, from = o->Container->Self;
    if (o->Wnd && !o->Leaving) {
        o->Leaving = true;
        annNotifyTree(o, ANN_NOTIFY_REMOVED);
        if (!(o = annLock(self))) return ANN_SUCCESS;
        o->Leaving = false;
        // The handler may have taken it out, or moved it elsewhere, itself.
        if (!o->Container || o->Container->Self != from) return ANN_SUCCESS;
    }
    annRefresh(*o, flags);
    unlink(*o);
    o->Container = nullptr;
    return ANN_SUCCESS;
}

int annInsert(AnnObject* container, AnnObject* o, bool dissolve) {
    if (container->Type != ANN_CONTAINER || annIsWithin(container, o)) return ANN_ERROR_INVALID_PARAMETER;
    // A tree nested deeper than a load takes would save and never load again.
    const std::size_t below = dissolve ? std::max<std::size_t>(annHeight(o), 1) - 1 : annHeight(o);
    if (annDepth(container) + 1 + below > kAnnMaxDepth) return ANN_ERROR_INVALID_PARAMETER;
    const ANNHANDLE containerHandle = container->Self, objectHandle = o->Self;
    annRemove(o);
    // The handlers of the removal ran the host's code: look again.
    container = annLock(containerHandle);
    o = annLock(objectHandle);
    if (!container || !o || o->Container || annIsWithin(container, o)) return ANN_ERROR_INVALID_PARAMETER;

    annSetProperty(o, kAllKinds, Attribute::Wnd, std::uintptr_t(container->Wnd), ANN_FLAG_RECURSIVE);
    annSetProperty(o, kAllKinds, Attribute::UserMode, container->UserMode, ANN_FLAG_RECURSIVE);

    AnnObject* first = o;
    if (dissolve) {
        first = o->FirstChild;
        o->FirstChild = nullptr;
        for (AnnObject* c = first; c; c = c->NextSibling) c->Container = nullptr;
        annDestroyTree(o, 0, false);
        if (!first) return ANN_SUCCESS;
    }
    AnnObject* last = lastChild(*container);
    first->PrevSibling = last;
    if (last) last->NextSibling = first;
    else container->FirstChild = first;
    std::vector<ANNHANDLE> inserted;
    for (AnnObject* c = first; c; c = c->NextSibling) {
        c->Container = container;
        inserted.push_back(c->Self);
    }
    for (AnnObject* c = first; c; c = c->NextSibling) annRefresh(*c, 0);
    if (first->Wnd)
        for (ANNHANDLE h : inserted)
            if (AnnObject* c = annLock(h)) annNotifyTree(c, ANN_NOTIFY_INSERTED);
    return ANN_SUCCESS;
}

int annDestroyTree(AnnObject* object, unsigned flags, bool walkSiblings) {
    AnnObject* o = (flags & ANN_FLAG_CHILDREN) ? object->FirstChild : object;
    const bool walk = walkSiblings || (flags & ANN_FLAG_CHILDREN);
    flags &= ~unsigned(ANN_FLAG_CHILDREN);
    while (o) {
        const ANNHANDLE next = o->NextSibling ? o->NextSibling->Self : 0;
        int r = ANN_SUCCESS;
        if (!annExcluded(*o, flags)) r = destroyOne(o, flags);
        else if ((flags & ANN_FLAG_RECURSIVE) && o->FirstChild) r = annDestroyTree(o->FirstChild, flags, true);
        if (r != ANN_SUCCESS) return r;
        if (!walk) break;
        o = annLock(next);
    }
    return ANN_SUCCESS;
}

int annDestroyChosen(AnnObject* object, bool selectedOnly) {
    return annDestroyTree(object, selectedOnly ? ANN_FLAG_SELECTED | ANN_FLAG_RECURSIVE : 0, false);
}

namespace {

int enumerate(AnnObject* o, bool walk, ANNENUMPROC callback, intptr_t user, unsigned flags) {
    while (o) {
        const ANNHANDLE self = o->Self, next = o->NextSibling ? o->NextSibling->Self : 0;
        if (!annExcluded(*o, flags)) {
            if (const int r = callback(self, user); r != ANN_SUCCESS) return r;
        }
        if (flags & ANN_FLAG_RECURSIVE) {
            if ((o = annLock(self)) && o->FirstChild)
                if (const int r = enumerate(o->FirstChild, true, callback, user, flags); r != ANN_SUCCESS) return r;
        }
        if (!walk) break;
        o = annLock(next);
    }
    return ANN_SUCCESS;
}

enum class End { Front, Back };

int moveToEnd(AnnObject* o, End end) {
    if (!o->Container) return ANN_ERROR_NOT_SUPPORTED;
    for (; o->Container; o = o->Container) {
        AnnObject& c = *o->Container;
        if (end == End::Front ? !o->NextSibling : !o->PrevSibling) continue;
        unlink(*o);
        if (end == End::Front) {
            AnnObject* last = lastChild(c);
            o->PrevSibling = last;
            if (last) last->NextSibling = o;
            else c.FirstChild = o;
        } else {
            o->NextSibling = c.FirstChild;
            if (c.FirstChild) c.FirstChild->PrevSibling = o;
            c.FirstChild = o;
        }
        annRefresh(*o, 0);
    }
    return ANN_SUCCESS;
}

ANNHANDLE handleOf(const AnnObject* o) { return o ? o->Self : 0; }

}  // namespace

}  // namespace fg::annotation

using namespace fg::annotation;

extern "C" {

int32_t K_AnnCreate(uint32_t kind, ANNHANDLE* out) {
    return annGuard([&] {
        if (kind > ANN_AUTOMATION || !out) return ANN_ERROR_INVALID_PARAMETER;
        AnnObject* o = annNewObject(kind);
        if (!o) return ANN_ERROR_NO_MEMORY;
        *out = o->Self;
        return ANN_SUCCESS;
    });
}

int32_t K_AnnCreateContainer(ANNWND window, const RECTD* rect, int32_t visible, ANNHANDLE* out) {
    return annGuard([&] {
        if (!out) return ANN_ERROR_INVALID_PARAMETER;
        if (rect && !annFinite(*rect)) return ANN_ERROR_INVALID_PARAMETER;
        AnnObject* o = annNewObject(ANN_CONTAINER);
        if (!o) return ANN_ERROR_NO_MEMORY;
        const ANNHANDLE h = o->Self;
        if (window) K_AnnSetWnd(h, window);
        if (rect) K_AnnSetRect(h, rect);
        K_AnnSetVisible(h, visible, 0);
        *out = h;
        return ANN_SUCCESS;
    });
}

int32_t K_AnnCreateItem(ANNHANDLE container, uint32_t kind, int32_t visible, ANNHANDLE* out) {
    return annGuard([&] {
        if (kind > ANN_AUTOMATION || !out) return ANN_ERROR_INVALID_PARAMETER;
        AnnObject* o = annNewObject(kind);
        if (!o) return ANN_ERROR_NO_MEMORY;
        const ANNHANDLE h = o->Self;
        if (const int r = K_AnnInsert(container, h, 0); r != ANN_SUCCESS) {
            if ((o = annLock(h))) annDestroyTree(o, 0, false);
            return r;
        }
        K_AnnSetVisible(h, visible, 0);
        *out = h;
        return ANN_SUCCESS;
    });
}

int32_t K_AnnDestroy(ANNHANDLE object, uint32_t flags) {
    return annGuard([&] {
        AnnObject* o = annLock(object);
        if (!o) return ANN_ERROR_INVALID_PARAMETER;
        return annDestroyTree(o, flags, false);
    });
}

int32_t K_AnnInsert(ANNHANDLE container, ANNHANDLE object, int32_t dissolve) {
    return annGuard([&] {
        AnnObject* c = annLock(container);
        AnnObject* o = annLock(object);
        if (!c || !o) return ANN_ERROR_INVALID_PARAMETER;
        return annInsert(c, o, dissolve != 0);
    });
}

int32_t K_AnnRemove(ANNHANDLE object) {
    return annGuard([&] {
        AnnObject* o = annLock(object);
        if (!o) return ANN_ERROR_INVALID_PARAMETER;
        return annRemove(o);
    });
}

int32_t K_AnnBringToFront(ANNHANDLE object) {
    return annGuard([&] {
        AnnObject* o = annLock(object);
        return o ? moveToEnd(o, End::Front) : ANN_ERROR_INVALID_PARAMETER;
    });
}

int32_t K_AnnSendToBack(ANNHANDLE object) {
    return annGuard([&] {
        AnnObject* o = annLock(object);
        return o ? moveToEnd(o, End::Back) : ANN_ERROR_INVALID_PARAMETER;
    });
}

int32_t K_AnnGetContainer(ANNHANDLE object, ANNHANDLE* container) {
    return annGuard([&] {
        AnnObject* o = annLock(object);
        if (!o || !container) return ANN_ERROR_INVALID_PARAMETER;
        *container = handleOf(o->Container);
        return ANN_SUCCESS;
    });
}

int32_t K_AnnGetTopContainer(ANNHANDLE object, ANNHANDLE* container) {
    return annGuard([&] {
        AnnObject* o = annLock(object);
        if (!o || !container) return ANN_ERROR_INVALID_PARAMETER;
        *container = annRoot(o)->Self;
        return ANN_SUCCESS;
    });
}

int32_t K_AnnEnumerate(ANNHANDLE object, ANNENUMPROC callback, intptr_t user, uint32_t flags) {
    return annGuard([&] {
        AnnObject* o = annLock(object);
        if (!o || !callback) return ANN_ERROR_INVALID_PARAMETER;
        const bool children = flags & ANN_FLAG_CHILDREN;
        return enumerate(children ? o->FirstChild : o, children, callback, user, flags & ~unsigned(ANN_FLAG_CHILDREN));
    });
}

}  // extern "C"
