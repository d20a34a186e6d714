// The tree of objects: insertion, removal, destruction, z-order, walks and
// the notifications that go with them, and the refresh that every change
// runs (invalidate the old area, update the bounds, invalidate the new).
#pragma once

#include "annotation/object.h"

namespace fg::annotation {

// Containers nest at most this deep: no object has more ancestors than
// this, in a tree that is built, saved or loaded. It bounds the depth of
// every walk of a tree.
inline constexpr std::size_t kAnnMaxDepth = 256;

AnnObject* annRoot(AnnObject* object);
// How many ancestors the object has, and how many levels lie below it (0
// for an object without children).
std::size_t annDepth(const AnnObject* object);
std::size_t annHeight(const AnnObject* object);
// True when `object` is `ancestor` or lies below it.
bool annIsWithin(const AnnObject* object, const AnnObject* ancestor);
// Whether the selection flags 1 (selected only) and 2 (no containers)
// leave the object out.
bool annExcluded(const AnnObject& object, unsigned flags);

// Invalidates the object's visible area, without erasing, when it has a
// window, is visible and the flags allow it.
void annInvalidate(const AnnObject& object, unsigned flags);
// Invalidate, bounds update of the object and its subtree, invalidate.
void annRefresh(AnnObject& object, unsigned flags);

// The notification message with `code` for the object and each of its
// descendants, pre-order, to each one's window. The handles are taken
// first: an object the host destroys meanwhile gets no message.
void annNotifyTree(AnnObject* object, std::uintptr_t code);

// The object (or with `dissolve` its children, the object being
// destroyed) appended to the container's children. -13 when the container
// is no container, or is the object or lies within it, and when the tree
// would nest deeper than kAnnMaxDepth.
int annInsert(AnnObject* container, AnnObject* object, bool dissolve);
// Out of its container, the object kept alive; nothing for a root. With
// flag 0x10 the window is left alone.
int annRemove(AnnObject* object, unsigned flags = 0);
// Destroys the object, or the objects the flags select, with everything
// below them; `walkSiblings` goes on along the following siblings.
int annDestroyTree(AnnObject* object, unsigned flags, bool walkSiblings);
// What a delete or a cut takes away: the selected objects at or below the
// object, each with everything below it, or the object with its
// descendants.
int annDestroyChosen(AnnObject* object, bool selectedOnly);

}  // namespace fg::annotation
