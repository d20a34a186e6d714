// What the tests of fax pages share: a G3 page as libtiff's fax2tiff reads
// it, laid beside the picture it was made from, and the measures a person
// checking a received fax would apply: which way up it is, whether its
// proportions survived, and whether thin strokes reached the paper.
//
// Pictures are compared in millimetres, not pels: a fax line is 1728 pels
// over 215 mm and a fine A4 page 2291 lines over 297 mm, so fax pels are not
// square, while the reference pictures have square pels at 200 per inch.
#pragma once

#include "platform/image/image.h"

#include <optional>
#include <string>
#include <vector>

namespace fg::testing {

// A picture and the size of its pels.
struct Sheet {
    image::Image pels;  // 8-bit gray, black 0
    double pelWidthMm = 0, pelHeightMm = 0;
};

inline constexpr double kFaxPelWidthMm = 215.0 / 1728.0;
inline constexpr double kFaxLineHeightMm = 297.0 / 2291.0;

// The G3 page as fax2tiff decodes it (bits least significant first, its
// default), one pel per fax pel. `failure` gets fax2tiff's or libtiff's
// complaint and the sheet is empty when the page does not decode cleanly.
Sheet readG3WithFax2tiff(const std::string& g3Path, const std::string& scratchFolder, std::string& failure);

// A picture of square pels at `dpi` (the reference copies are 200).
Sheet squarePels(image::Image picture, double dpi = 200.0);

// The fax page turned back a quarter clockwise, undoing the counter-clockwise
// turn that wide pages get before they are sent.
Sheet turnedBack(const Sheet& page);

// The smallest box holding every pel darker than `threshold`, in pels.
struct Box {
    int left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
    int width() const { return right - left; }
    int height() const { return bottom - top; }
};
std::optional<Box> inkBox(const image::Image& picture, int threshold = 128);
// Width over height of the ink box, in millimetres.
double inkAspect(const Sheet& sheet);

// The share of the dark pels of `reference` inside `region` (reference pels)
// that `page` keeps: a reference pel counts as kept when the page has a dark
// pel within `tolerance` pels of where the reference pel falls on it. The
// page is laid onto the reference by their ink boxes, so margins and scale
// added on the way do not count against it. 1 when the region holds no
// dark pel.
double darkRecall(const Sheet& reference, const Sheet& page, const Box& region, int tolerance = 1);

// A page of one-pel rules on white: `count` horizontal and `count` vertical
// rules evenly spread inside a margin. `rules` gets the box of each rule, for
// darkRecall.
image::Image ruledSheet(int width, int height, int count, std::vector<Box>& rules);

}  // namespace fg::testing
