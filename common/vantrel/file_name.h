// Names of the request file and its archive.
#pragma once

#include "common/ferrund/file_object.h"

namespace fg {

class FileName {
public:
    // A new FileObject on every read, named "request.xml" / "request.zip",
    // with no folder.
    FileObject REQUEST_XML() const;
    FileObject REQUEST_ARC() const;
};

}  // namespace fg
