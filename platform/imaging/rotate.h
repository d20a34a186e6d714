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

struct Rgb {
    std::uint8_t r = 255, g = 255, b = 255;
};

// `hundredths` of a degree. With `expand` the result is large enough to
// hold the whole turned picture; otherwise it keeps the picture's size and
// what turns out of it is cut off.
Image rotate(const Image& image, long hundredths, bool expand, Rgb fill = {});

}  // namespace fg::image
