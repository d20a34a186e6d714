// Trees on the clipboard, as annotation text under the engine's own
// format or as a metafile picture, and the count of selected objects.
#pragma once

#include "annotation/object.h"

#include <cstdint>

namespace fg::annotation {

// Format 0 (annotation text) or 1 (metafile picture) of the object, with
// only its selected objects when asked, on the clipboard opened for the
// object's window and emptied first when asked. 0 when the clipboard
// cannot be opened; ANN_ERROR_NOT_SUPPORTED for another format, the
// clipboard then left as it was.
int annCopyToClipboard(AnnObject* object, std::uint32_t format, bool selectedOnly, bool emptyFirst);
// The copy, then what it copied destroyed: the selected objects (each with
// everything below it) or the object with its descendants. A copy that
// fails destroys nothing and answers its failure.
int annCutToClipboard(AnnObject* object, std::uint32_t format, bool selectedOnly, bool emptyFirst);
// A new tree (bounds computed, no window) from the annotation text on the
// clipboard, opened for `window`. 0 when the clipboard cannot be opened,
// ANN_ERROR_NOT_SUPPORTED when it holds no annotation text.
int annCopyFromClipboard(desktop::WindowHandle window, AnnObject** root);
bool annClipboardReady();
// The object when selected, and every selected object below it.
std::uint32_t annSelectCount(AnnObject& object);

}  // namespace fg::annotation
