// The imaging control: one page picture held between calls, loaded from a
// bitmap or JPEG file, resized, turned, saved and checked. Every operation
// answers a short status, 0 for success; a failure answers the number of
// the error behind it (53 no such file, 481 not a usable picture, 75/76 the
// file cannot be written, 91 no picture loaded, 380 an argument out of
// range) and keeps that error for the caller's log. A failed operation
// leaves the picture as it was.
#pragma once

#include "platform/error.h"
#include "platform/image/image.h"

#include <cstdint>
#include <optional>
#include <string>

namespace fg::image {

class ImagingControl {
public:
    // File formats of save().
    static constexpr short kFormatBmp = 6;
    static constexpr short kFormatJpeg = 10;
    static constexpr short kOk = 0;

    // Loads a bitmap or a JPEG file, told apart by their content.
    short load(const std::string& path);
    // Fits the picture inside `width` x `height` pels (rounded), keeping its
    // proportions and centring it on white, never squashing it; the flag is
    // 1 for the area-averaging resample, the only one there is. Strokes stay
    // dark where the picture is shrunk (image::Resample::KeepStrokes): the
    // pictures here are pages of text and rules. Proportions are those of
    // what the pels show: the picture's pels are as its resolution says, the
    // new pels as `xPelsPerMeter` and `yPelsPerMeter` say (the picture's own
    // shape of pel when they are 0), for a picture that is stretched to a
    // paper of another shape later, as a fax page is.
    short resize(float width, float height, short flag = 1, int xPelsPerMeter = 0, int yPelsPerMeter = 0);
    // Turns by hundredths of a degree, counter-clockwise for positive
    // angles (rotate.h). `expand` makes room for the whole turned picture.
    // `fillColor` is 0x00BBGGRR, as colour values are written on forms.
    short rotate(long hundredths, bool expand, std::uint32_t fillColor);
    // Saves as a bitmap (kFormatBmp; 1, 8 or 24 bits, 0 for the picture's
    // own: 8 for gray, 24 for colour) or a JPEG file (kFormatJpeg; 8 or 24
    // bits, 0 as for bitmaps). `subFormat` and the last argument choose
    // nothing here.
    short save(const std::string& path, short format, short bitsPerPixel, short subFormat = 0, bool unused = false);
    // Checks a JPEG file just written: one this control wrote last must hold
    // exactly what it wrote (image::checkWritten); any other must decode
    // strictly, every line without complaint.
    short check(const std::string& path, short level = 1);
    // Lets go of the picture.
    void clear();
    // Takes a picture made elsewhere, as if it had been loaded.
    void setPicture(Image picture);

    [[nodiscard]] bool hasPicture() const { return !picture_.empty(); }
    const Image& picture() const { return picture_; }
    // The error of the last failed operation.
    const std::optional<Error>& lastError() const { return lastError_; }

private:
    short fail(const Error& e);
    short succeed();
    Image picture_;
    std::optional<Error> lastError_;
    // The last JPEG file written, and its bytes.
    std::string jpegPath_, jpegBytes_;
};

}  // namespace fg::image
