// Bitmap files to G3 pages and back, with the fax engine's stretch and
// shrink options.
//
// Stretch (bitmap to G3) gives fax-shaped pages:
//   0 none             the bitmap's pels are fax pels: narrower lines are
//                      filled out with white to 1728 pels, wider ones cut;
//                      every bitmap row is one fax line
//   1 horizontal       the width is scaled to 1728 pels
//   2 vertical low     the height is scaled to an A4 page at 98 lines per
//                      inch (1145 lines)
//   3 both low         1 and 2
//   4 vertical high    the height is scaled to an A4 page at 196 lines per
//                      inch (2291 lines)
//   5 both high        1 and 4
// Any other value is taken as 0. A bitmap is read as gray and a pel is
// black below half intensity, after scaling.
//
// Shrink (G3 to bitmap): 0 none, 1 the width to `shrinkWidth`, 2 the height
// to `shrinkHeight`, 3 both; other values as 0. Shrinking keeps thin strokes:
// a pel turns black when a quarter of the area it covers is black. The bitmap
// is written with 1 bit per pel.
#pragma once

#include "platform/fax_engine/g3_codec.h"
#include "platform/image/image.h"

#include <string>

namespace fg::fax {

inline constexpr int kA4LinesLow = 1145;
inline constexpr int kA4LinesHigh = 2291;

BilevelImage pageFromImage(const image::Image& bitmap, int stretch);
image::Image imageFromPage(const BilevelImage& page, int shrink, int shrinkWidth, int shrinkHeight);

// File to file. Raise fg::Error: 53 for a missing input, 481 for an input
// that is not a bitmap or a G3 page (or a G3 page cut short), 75/76 when the
// output cannot be written. A G3 page is written atomically but not synced
// to disk: the caller that keeps it syncs it.
void bmpFileToG3(const std::string& bmpPath, const std::string& g3Path, int stretch);
void g3FileToBmp(const std::string& g3Path, const std::string& bmpPath, int shrink, int shrinkWidth, int shrinkHeight);

struct PageSize {
    int columns = 0;
    int rows = 0;
};
PageSize g3FileSize(const std::string& g3Path);
PageSize bmpFileSize(const std::string& bmpPath);

}  // namespace fg::fax
