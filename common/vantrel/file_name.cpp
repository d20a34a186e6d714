#include "common/vantrel/file_name.h"

namespace fg {

namespace {

FileObject requestFile(const char* ext) {
    FileObject file;
    file.setThinName("request");
    file.setExt(ext);
    return file;
}

}  // namespace

FileObject FileName::REQUEST_XML() const { return requestFile("xml"); }
FileObject FileName::REQUEST_ARC() const { return requestFile("zip"); }

}  // namespace fg
