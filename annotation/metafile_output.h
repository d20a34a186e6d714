// The picture of annotations as a metafile: recorded on the window of the
// root's bounds, for the metafile save (with the 22-byte header that
// places it) and for the clipboard's metafile picture.
#pragma once

#include "annotation/object.h"
#include "annotation/stream.h"
#include "platform/desktop/metafile.h"

namespace fg::annotation {

// The object, its following siblings and everything below them at their
// window coordinates; invisible objects hide their subtrees; with
// `selectedOnly` only selected objects are drawn.
desktop::Metafile annRecordMetafile(AnnObject* object, bool selectedOnly);
// The placing header of the root's bounds, then the metafile's bits in
// writes of at most 65,534 bytes.
int annWriteMetafile(AnnStream& stream, AnnObject* object, bool selectedOnly);

}  // namespace fg::annotation
