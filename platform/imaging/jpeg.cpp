#include "platform/imaging/jpeg.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/owned.h"

// jpeglib.h needs FILE and size_t declared before it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <csetjmp>

#include <algorithm>
#include <vector>

#include <jpeglib.h>

namespace fg::image {

namespace {

// libjpeg reports a fatal error by calling error_exit, which must not
// return. It jumps back to the setjmp of the one function below that talks
// to libjpeg; that function keeps no C++ object alive across the jump, so
// nothing is skipped but libjpeg's own C frames.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    int warnings;
};

void onError(j_common_ptr info) {
    auto* err = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, err->message);
    std::longjmp(err->jump, 1);
}

void onMessage(j_common_ptr info, int level) {
    auto* err = reinterpret_cast<ErrorManager*>(info->err);
    if (level < 0) {  // a warning: damaged data that the decoder went past
        if (err->warnings++ == 0) (*info->err->format_message)(info, err->message);
    }
}

// Clears the manager and routes the library's errors and warnings to it;
// answers what the library's `err` field takes.
jpeg_error_mgr* useErrorManager(ErrorManager& err) {
    std::memset(&err, 0, sizeof err);
    jpeg_error_mgr* pub = jpeg_std_error(&err.pub);
    err.pub.error_exit = onError;
    err.pub.emit_message = onMessage;
    return pub;
}

struct Decoded {
    unsigned width = 0, height = 0, components = 0;
    unsigned densityUnit = 0, xDensity = 0, yDensity = 0;  // as the JFIF header says
    unsigned char* pixels = nullptr;  // malloc'd; freed by the caller
    int warnings = 0;
    char message[JMSG_LENGTH_MAX] = {};
};

// Plain C-style decoding: every value that lives across the jump is in
// `out` (memory the caller owns), never in a local that setjmp could lose.
bool decodeRaw(const unsigned char* data, unsigned long size, bool gray, Decoded* out) {
    jpeg_decompress_struct info;
    ErrorManager err;
    info.err = useErrorManager(err);
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&info);
        std::memcpy(out->message, err.message, sizeof out->message);
        std::free(out->pixels);
        out->pixels = nullptr;
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, size);
    jpeg_read_header(&info, TRUE);
    if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK) {
        jpeg_destroy_decompress(&info);
        std::strcpy(out->message, "CMYK JPEG files are not page images");
        return false;
    }
    info.out_color_space = gray || info.jpeg_color_space == JCS_GRAYSCALE ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(&info);
    if (info.saw_JFIF_marker) {
        out->densityUnit = info.density_unit;
        out->xDensity = info.X_density;
        out->yDensity = info.Y_density;
    }
    out->width = info.output_width;
    out->height = info.output_height;
    out->components = static_cast<unsigned>(info.output_components);
    const unsigned long long bytes = static_cast<unsigned long long>(out->width) * out->height * out->components;
    if (out->width < 1 || out->height < 1 || out->width > static_cast<unsigned>(Image::kMaxSide) ||
        out->height > static_cast<unsigned>(Image::kMaxSide) || bytes > Image::kMaxBytes) {
        jpeg_destroy_decompress(&info);
        std::strcpy(out->message, "image size out of range");
        return false;
    }
    out->pixels = static_cast<unsigned char*>(std::malloc(static_cast<std::size_t>(bytes)));
    if (!out->pixels) {
        jpeg_destroy_decompress(&info);
        std::strcpy(out->message, "out of memory");
        return false;
    }
    const std::size_t stride = static_cast<std::size_t>(out->width) * out->components;
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = out->pixels + info.output_scanline * stride;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    out->warnings = err.warnings;
    if (err.warnings) std::memcpy(out->message, err.message, sizeof out->message);
    return true;
}

struct Encoded {
    unsigned char* buffer = nullptr;  // from jpeg_mem_dest; freed by the caller
    unsigned long size = 0;
    char message[JMSG_LENGTH_MAX] = {};
};

// Gray pels written as a colour file: the luminance as it stands, with
// neutral colour planes, which is what converting them to RGB first would
// give, without the conversion. The colour planes carry nothing, so they
// are sampled at a quarter of the luminance's resolution across and a half
// down (the most a baseline file allows), which leaves the luminance as it
// is and saves coding colour blocks. Rows go in 16 at a time, each widened
// to whole blocks by repeating its last pel (as libjpeg pads).
constexpr int kGrayRows = 16;
constexpr int kGrayBlockWidth = 32;
std::size_t grayWorkspace(int width) {
    const std::size_t padded = (static_cast<std::size_t>(width) + kGrayBlockWidth - 1) / kGrayBlockWidth * kGrayBlockWidth;
    return padded * kGrayRows + padded / 4 + 8;
}

// `components` 1 or 3 as given; 0 for gray pels written as a colour file,
// with `workspace` (grayWorkspace bytes) to lay the rows out in.
bool encodeRaw(const unsigned char* pixels, int width, int height, int components, int quality, int dpmX, int dpmY,
               unsigned char* workspace, Encoded* out) {
    const bool grayAsColour = components == 0;
    jpeg_compress_struct info;
    ErrorManager err;
    info.err = useErrorManager(err);
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&info);
        std::memcpy(out->message, err.message, sizeof out->message);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &out->buffer, &out->size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = grayAsColour ? 3 : components;
    info.in_color_space = components == 1 ? JCS_GRAYSCALE : grayAsColour ? JCS_YCbCr : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    if (grayAsColour) {
        // Page copies: the accurate integer transform, which the library
        // runs on AVX2 where the processor has it (the fast one only on
        // SSE2) and so is also the quicker there.
        info.dct_method = JDCT_ISLOW;
        info.raw_data_in = TRUE;
        info.comp_info[0].h_samp_factor = 4;
        info.comp_info[0].v_samp_factor = 2;
        info.comp_info[1].h_samp_factor = info.comp_info[1].v_samp_factor = 1;
        info.comp_info[2].h_samp_factor = info.comp_info[2].v_samp_factor = 1;
    }
    if (dpmX > 0 && dpmY > 0) {
        info.density_unit = 1;  // dots per inch
        info.X_density = static_cast<UINT16>(dpmX * 0.0254 + 0.5);
        info.Y_density = static_cast<UINT16>(dpmY * 0.0254 + 0.5);
    }
    jpeg_start_compress(&info, TRUE);
    if (grayAsColour) {
        const std::size_t w = static_cast<std::size_t>(width);
        const std::size_t padded = (w + kGrayBlockWidth - 1) / kGrayBlockWidth * kGrayBlockWidth;
        unsigned char* neutral = workspace + padded * kGrayRows;
        std::memset(neutral, 128, padded / 4 + 8);
        JSAMPROW luminance[kGrayRows], colour[kGrayRows / 2];
        for (JSAMPROW& row : colour) row = neutral;
        for (int i = 0; i < kGrayRows; ++i) luminance[i] = workspace + static_cast<std::size_t>(i) * padded;
        JSAMPARRAY planes[3] = {luminance, colour, colour};
        while (info.next_scanline < info.image_height) {
            for (int i = 0; i < kGrayRows; ++i) {
                // Rows past the bottom repeat the last one, as libjpeg pads.
                const unsigned y = std::min<unsigned>(info.next_scanline + static_cast<unsigned>(i), info.image_height - 1);
                const unsigned char* row = pixels + static_cast<std::size_t>(y) * w;
                std::memcpy(luminance[i], row, w);
                std::memset(luminance[i] + w, row[w - 1], padded - w);
            }
            jpeg_write_raw_data(&info, planes, kGrayRows);
        }
        jpeg_finish_compress(&info);
        jpeg_destroy_compress(&info);
        return true;
    }
    const std::size_t stride = static_cast<std::size_t>(width) * static_cast<std::size_t>(components);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<unsigned char*>(pixels) + info.next_scanline * stride;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

[[noreturn]] void badJpeg(const std::string& why) {
    throw Error(errnum::InvalidPicture, "ピクチャが不正です。(JPEG: " + why + ")", "image");
}

}  // namespace

bool looksLikeJpeg(std::string_view bytes) {
    return bytes.size() >= 3 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
           static_cast<unsigned char>(bytes[1]) == 0xD8 && static_cast<unsigned char>(bytes[2]) == 0xFF;
}

Image decodeJpeg(std::string_view bytes, bool strict, bool gray) {
    if (!looksLikeJpeg(bytes)) badJpeg("not a JPEG file");
    Decoded d;
    if (!decodeRaw(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned long>(bytes.size()), gray,
                   &d))
        badJpeg(d.message);
    Owned<unsigned char*, std::free> hold(d.pixels);
    if (strict && d.warnings) badJpeg(d.message);
    Image img(static_cast<int>(d.width), static_cast<int>(d.height),
              d.components == 1 ? PixelFormat::Gray8 : PixelFormat::Rgb24);
    std::memcpy(img.pixels().data(), d.pixels, img.pixels().size());
    // The size of its pels, where the file says it (per inch or per
    // centimetre): a page kept in the fax page shape has pels that are not
    // square, and whoever fits it on paper again must know.
    if (d.xDensity > 0 && d.yDensity > 0) {
        if (d.densityUnit == 1)
            img.setResolution(static_cast<int>(d.xDensity / 0.0254 + 0.5), static_cast<int>(d.yDensity / 0.0254 + 0.5));
        else if (d.densityUnit == 2)
            img.setResolution(static_cast<int>(d.xDensity * 100), static_cast<int>(d.yDensity * 100));
    }
    return img;
}

Image readJpeg(const std::string& path) {
    std::string bytes = fs::readFile(path);
    try {
        return decodeJpeg(bytes);
    } catch (const Error& e) {
        throw Error(e.number(), e.description() + " " + path, e.source());
    }
}

std::string encodeJpeg(const Image& image, int bitsPerPixel, int quality) {
    if (image.empty()) invalidPicture("empty image");
    if (bitsPerPixel != 8 && bitsPerPixel != 24) badJpeg("bits per pixel must be 8 or 24");
    const bool gray = image.format() == PixelFormat::Gray8;
    const bool own = bitsPerPixel == 8 ? gray : !gray;
    const Image converted = own || gray ? Image() : toGray(image);
    const Image& src = own || gray ? image : converted;
    Encoded e;
    const int components = bitsPerPixel == 24 && gray ? 0 : src.channels();
    std::vector<unsigned char> workspace(components == 0 ? grayWorkspace(src.width()) : 0);
    const bool ok = encodeRaw(src.pixels().data(), src.width(), src.height(), components, std::clamp(quality, 1, 100),
                              src.xPelsPerMeter(), src.yPelsPerMeter(), workspace.data(), &e);
    Owned<unsigned char*, std::free> hold(e.buffer);
    if (!ok) badJpeg(e.message);
    return std::string(reinterpret_cast<const char*>(e.buffer), e.size);
}

void writeJpeg(const std::string& path, const Image& image, int bitsPerPixel, int quality) {
    fs::writeFileAtomic(path, encodeJpeg(image, bitsPerPixel, quality));
}

void checkWritten(const std::string& path, std::string_view bytes) {
    if (fs::readFile(path) != bytes) badJpeg("the file does not hold what was written: " + path);
}

}  // namespace fg::image
