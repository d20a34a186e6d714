#include "platform/imaging/imaging_control.h"

#include "platform/files.h"
#include "platform/image/bmp.h"
#include "platform/imaging/jpeg.h"
#include "platform/imaging/rotate.h"

#include <cmath>
#include <limits>

namespace fg::image {

namespace {

Error badArgument(const std::string& what) {
    return Error(errnum::InvalidPropertyValue, "プロパティの値が不正です。(" + what + ")", "image");
}

}  // namespace

short ImagingControl::fail(const Error& e) {
    lastError_ = e;
    // A status is short; a number that does not fit still has to read as a failure.
    const long n = e.number();
    return n > 0 && n <= std::numeric_limits<short>::max() ? static_cast<short>(n)
                                                           : static_cast<short>(errnum::InvalidPicture);
}

short ImagingControl::succeed() {
    lastError_.reset();
    return kOk;
}

short ImagingControl::load(const std::string& path) {
    try {
        std::string bytes = fs::readFile(path);
        try {
            picture_ = looksLikeJpeg(bytes) ? decodeJpeg(bytes) : decodeBmp(bytes);
        } catch (const Error& e) {
            throw Error(e.number(), e.description() + " " + path, e.source());
        }
        return succeed();
    } catch (const Error& e) {
        return fail(e);
    }
}

short ImagingControl::resize(float width, float height, short flag, int xPelsPerMeter, int yPelsPerMeter) {
    try {
        if (picture_.empty()) throw Error::standard(errnum::ObjectNotSet, "image");
        if (flag != 1) throw badArgument("resize flag " + std::to_string(flag));
        if (!std::isfinite(width) || !std::isfinite(height) || width < 0.5f || height < 0.5f ||
            width > Image::kMaxSide || height > Image::kMaxSide)
            throw badArgument("size " + std::to_string(width) + " x " + std::to_string(height));
        if (xPelsPerMeter < 0 || yPelsPerMeter < 0 || (xPelsPerMeter > 0) != (yPelsPerMeter > 0))
            throw badArgument("pels per metre " + std::to_string(xPelsPerMeter) + " x " + std::to_string(yPelsPerMeter));
        picture_ = fitInside(picture_,
                             Frame{static_cast<int>(std::lround(width)), static_cast<int>(std::lround(height)),
                                   xPelsPerMeter, yPelsPerMeter},
                             Resample::KeepStrokes);
        return succeed();
    } catch (const Error& e) {
        return fail(e);
    }
}

short ImagingControl::rotate(long hundredths, bool expand, std::uint32_t fillColor) {
    try {
        if (picture_.empty()) throw Error::standard(errnum::ObjectNotSet, "image");
        Rgb fill{static_cast<std::uint8_t>(fillColor & 0xFF), static_cast<std::uint8_t>((fillColor >> 8) & 0xFF),
                 static_cast<std::uint8_t>((fillColor >> 16) & 0xFF)};
        picture_ = image::rotate(picture_, hundredths, expand, fill);
        return succeed();
    } catch (const Error& e) {
        return fail(e);
    }
}

short ImagingControl::save(const std::string& path, short format, short bitsPerPixel, short, bool) {
    try {
        if (picture_.empty()) throw Error::standard(errnum::ObjectNotSet, "image");
        const int own = picture_.format() == PixelFormat::Gray8 ? 8 : 24;
        const int bits = bitsPerPixel == 0 ? own : bitsPerPixel;
        if (format == kFormatBmp) {
            if (bits != 1 && bits != 8 && bits != 24) throw badArgument("bits per pixel " + std::to_string(bits));
            writeBmp(path, picture_, bits);
        } else if (format == kFormatJpeg) {
            if (bits != 8 && bits != 24) throw badArgument("bits per pixel " + std::to_string(bits));
            jpegPath_.clear();
            std::string bytes = encodeJpeg(picture_, bits);
            fs::writeFileAtomic(path, bytes);
            jpegPath_ = path;
            jpegBytes_ = std::move(bytes);
        } else {
            throw badArgument("file format " + std::to_string(format));
        }
        return succeed();
    } catch (const Error& e) {
        return fail(e);
    }
}

short ImagingControl::check(const std::string& path, short) {
    try {
        if (!jpegPath_.empty() && path == jpegPath_) {
            checkWritten(path, jpegBytes_);
            return succeed();
        }
        std::string bytes = fs::readFile(path);
        try {
            decodeJpeg(bytes, true);
        } catch (const Error& e) {
            throw Error(e.number(), e.description() + " " + path, e.source());
        }
        return succeed();
    } catch (const Error& e) {
        return fail(e);
    }
}

void ImagingControl::clear() { picture_ = Image(); }

void ImagingControl::setPicture(Image picture) { picture_ = std::move(picture); }

}  // namespace fg::image
