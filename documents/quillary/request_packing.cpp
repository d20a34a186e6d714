#include "documents/quillary/request_packing.h"

#include "archive/grenwald/archive.h"

namespace fg::documents {

long packRequest(const std::string& requestFile, const std::string& archiveName) {
    Archive archive;
    archive.setFile(archiveName);
    return archive.compress(1, {requestFile});
}

}  // namespace fg::documents
