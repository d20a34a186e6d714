// What every change recomputes: an object's extent, centre and matrices,
// its bounds in window pels with its selection handles, and the part of it
// its container lets show.
#pragma once

#include "annotation/object.h"

namespace fg::annotation {

// The object (and with `siblings` each following sibling), each with its
// whole subtree.
void annUpdateBounds(AnnObject* object, bool siblings);
// The object alone, its container's bounds taken as they stand.
void annUpdateOwnBounds(AnnObject& object);

// The frontmost, deepest visible object whose visible area holds the
// point; with `handle` set when the point lies on a selection handle of a
// selected object in design mode (the point is then moved to the handle's
// centre). Null when nothing is hit.
AnnObject* annHitTest(AnnObject* object, desktop::Point& point, bool& handle);

}  // namespace fg::annotation
