// JPEG files (".jpg"), the reference copies of sent and received pages.
//
// Reading takes baseline and progressive JPEG files in gray or colour
// (YCbCr or RGB); a gray file reads as Gray8, a colour one as Rgb24. Writing
// gives an 8-bit gray or a 24-bit colour file, atomically. The picture's
// resolution is written as the file's density in whole pels per inch and
// read back from it (per inch or per centimetre; none when the file gives
// only an aspect ratio). Every malformed file raises fg::Error 481 with
// libjpeg's reason; a missing file 53.
#pragma once

#include "platform/image/image.h"

#include <string>
#include <string_view>

namespace fg::image {

inline constexpr int kJpegQuality = 85;

Image readJpeg(const std::string& path);
// `strict` also refuses a file that decodes only with complaints (a cut-off
// file, damaged data that the decoder papered over); a check of a copy just
// written wants that, a reader of old copies may not.
// With `gray` the luminance alone is read, as 8-bit gray, whatever the file
// holds.
Image decodeJpeg(std::string_view bytes, bool strict = false, bool gray = false);

// `bitsPerPixel` 8 (gray) or 24 (colour); a colour image written with 8 bits
// is turned to gray first.
void writeJpeg(const std::string& path, const Image& image, int bitsPerPixel, int quality = kJpegQuality);
std::string encodeJpeg(const Image& image, int bitsPerPixel, int quality = kJpegQuality);

// Checks a file just written from `bytes` (made by encodeJpeg, which decodes
// cleanly by construction): it must hold exactly those bytes. Raises
// fg::Error 481 when it does not, 53 when it is gone.
void checkWritten(const std::string& path, std::string_view bytes);

// True when the bytes begin like a JPEG file.
[[nodiscard]] bool looksLikeJpeg(std::string_view bytes);

}  // namespace fg::image
