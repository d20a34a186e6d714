// Reviewed reference pictures of rendered pages: gray PNG files kept beside
// the tests, and a comparison with a tolerance for the small differences
// that anti-aliasing may bring.
#pragma once

#include "platform/image/image.h"

#include <string>

namespace fg::testing {

void writePng(const std::string& path, const image::Image& gray);
image::Image readPng(const std::string& path);  // as Gray8

struct PictureDifference {
    double meanAbsolute = 0;   // mean of |a - b| over all pels, 0..255
    double strongShare = 0;    // share of pels that differ by more than 96
};
PictureDifference compare(const image::Image& a, const image::Image& b);

// Compares `rendered` with the reference `name` in the reference folder;
// with FAXGATE_UPDATE_REFERENCES set, writes it there instead.
void expectLooksLike(const image::Image& rendered, const std::string& name);

}  // namespace fg::testing
