// Drawing whole trees: on a window with selection handles, and the tree
// renderer that prints, realises into bitmaps and records metafiles.
#pragma once

#include "annotation/object.h"
#include "platform/desktop/drawing.h"

namespace fg::annotation {

// The object, its following siblings and everything below them, each
// mapped by its own matrix and then by `matrix`; without a matrix, by the
// one that lays the object's bounds onto `destination` (the bounds
// themselves when there is none). Invisible objects hide their subtrees;
// with `selectedOnly` or `redactionsOnly` only such objects are painted,
// while the walk still passes through the others. No handles are drawn.
int annRenderTree(desktop::DeviceContext& dc, const desktop::Rect* destination, AnnObject* object,
                  bool redactionsOnly, const Matrix* matrix, bool selectedOnly);

}  // namespace fg::annotation
