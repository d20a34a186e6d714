// XSL transforms through libxslt.
#pragma once

#include "platform/xml.h"

namespace fg::xml {

// Transforms `source` (a document or a node) with `stylesheet` and puts the
// result into `output`, replacing its content. The source and the style sheet
// are never changed. The output gets a declaration with the style sheet's
// output encoding (UTF-8 by default) unless the sheet omits it, and
// white-space-only text is dropped unless `output` preserves white space.
// The transform sees the text of entity references, not the references.
// It reads (include, import, document()) only files below the folder of the
// style sheet or of the source document, loaded as Document::load loads
// them; a read refused or a file that does not load fails the transform.
// A bad style sheet or a failed transform raises fg::Error.
void transformNodeToObject(const Node& source, const Document& stylesheet, Document& output);

}  // namespace fg::xml
