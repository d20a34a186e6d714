// Turning page images.
//
// One direction everywhere: a positive angle turns the picture
// counter-clockwise, as a landscape page is turned to go out on portrait
// paper (its top edge comes to lie on the left). Quarter turns move pels
// exactly; other angles sample bilinearly and fill the corners that the
// picture no longer covers.
#pragma once

#include "platform/image/image.h"

#include <cstdint>

namespace fg::image {

// `hundredths` of a degree. With `expand` the result is large enough to
// hold the whole turned picture; otherwise it keeps the picture's size and
// what turns out of it is cut off. Takes 8-bit gray and 24-bit colour.
Image rotate(const Image& image, long hundredths, bool expand, Rgb fill = {});

}  // namespace fg::image
