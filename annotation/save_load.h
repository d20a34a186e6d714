// Saving object trees as annotation text, which loads again, or as a
// placeable metafile of their picture, and loading the text back.
//
// The text is a line per keyword or value between "KTANNBEGIN" and
// "KTANNEND": an object block per object ("BEGINOBJECT", its kind, its
// attributes, "ENDOBJECT"), a container's children between "BLOCKBEGIN"
// and "BLOCKEND". Strings and stamp pels go as six-bit lines.
//
// A load reads untrusted bytes: whatever it meets, it answers
// ANN_ERROR_FILE_READ (or ANN_ERROR_NO_MEMORY) with nothing left behind,
// and it sizes nothing by a count it has not checked against the data that
// is actually there.
#pragma once

#include "annotation/object.h"
#include "annotation/stream.h"
#include "annotation/text_lines.h"
#include "annotation/tree.h"

#include <cstdint>

namespace fg::annotation {

// Containers nest at most this deep in a text that loads, as in a tree.
inline constexpr std::size_t kMaxLoadDepth = kAnnMaxDepth;

// The object after `object` in a walk of `top`'s subtree (pre-order: an
// object, then its children, then its next sibling); null after the last.
AnnObject* annNextBelow(AnnObject* object, const AnnObject* top);

// One object block.
int annWriteObject(AnnStream& stream, const AnnObject& object);
// A stamp's bitmap block: its depth, size and the two attributes, the
// palette padded to 2^depth entries, then its rows.
int annWriteBitmap(AnnStream& stream, const desktop::Bitmap& bitmap);
// The text of an object: with its container's block when it has no
// children, else of its subtree, each written container holding the chosen
// objects below it. With `selectedOnly` only selected objects are chosen,
// and a selected container brings its whole subtree.
int annWriteTree(AnnStream& stream, AnnObject* object, bool selectedOnly);
// Whether the format can hold the object: ANN_ERROR_INVALID_PARAMETER for
// a text nested deeper than a load takes, or a picture whose frame lies
// beyond the metafile's 16-bit coordinates; else ANN_SUCCESS. Checked before
// a file is created.
int annCheckSavable(const AnnObject& object, std::uint32_t format);
// Either format (the metafile: metafile_output.h).
int annWriteFormat(AnnStream& stream, AnnObject* object, std::uint32_t format, bool selectedOnly);
// The format into a new global memory block of exactly its size where the
// allocator can shrink it, which then belongs to the caller. Both outs are
// 0 on failure.
int annSaveMemory(AnnObject* object, std::uint32_t format, bool selectedOnly, desktop::MemoryHandle* block,
                  std::uint32_t* size);

// One object after its "BEGINOBJECT" line, up to its "ENDOBJECT".
int annReadObject(LineReader& lines, AnnObject** object);
int annReadBitmap(LineReader& lines, desktop::Bitmap& bitmap);
// A text into a new tree, outside any tree and without a window: its first
// outermost object, a container. Bounds are not yet computed.
int annReadTree(AnnStream& stream, AnnObject** root);
// annReadTree, then the bounds of the whole new tree.
int annLoadTree(AnnStream& stream, AnnObject** root);

}  // namespace fg::annotation
