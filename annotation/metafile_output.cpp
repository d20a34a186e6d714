#include "annotation/metafile_output.h"

#include "annotation/render.h"
#include "annotation/tree.h"

#include <algorithm>

namespace fg::annotation {

namespace {

constexpr std::uint16_t kUnitsPerInch = 96;
// The largest piece one write takes, as 16-bit writers of the format did.
constexpr std::size_t kWritePiece = 0xFFFE;

}  // namespace

desktop::Metafile annRecordMetafile(AnnObject* object, bool selectedOnly) {
    const desktop::Rect bounds = annRoot(object)->BoundsRect;
    desktop::MetafileRecorder dc;
    dc.setMapMode(desktop::MM_TEXT);
    dc.setWindowOrg({bounds.left, bounds.top});
    dc.setWindowExt({bounds.width(), bounds.height()});
    annRenderTree(dc, nullptr, object, false, nullptr, selectedOnly);
    return dc.close();
}

int annWriteMetafile(AnnStream& stream, AnnObject* object, bool selectedOnly) {
    const desktop::Metafile metafile = annRecordMetafile(object, selectedOnly);
    const std::string header = desktop::placeableHeader(annRoot(object)->BoundsRect, kUnitsPerInch);
    if (stream.write(header.data(), static_cast<std::uint32_t>(header.size())) != std::int64_t(header.size()))
        return ANN_ERROR_FILE_WRITE;
    const std::string& bits = metafile.bits();
    for (std::size_t at = 0; at < bits.size(); at += kWritePiece) {
        const auto piece = static_cast<std::uint32_t>(std::min(kWritePiece, bits.size() - at));
        if (stream.write(bits.data() + at, piece) != piece) return ANN_ERROR_FILE_WRITE;
    }
    return ANN_SUCCESS;
}

}  // namespace fg::annotation
