#include "reference_picture.h"

#include "platform/testing/temp_home.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace fg::testing {

void writePng(const std::string& path, const image::Image& gray) {
    image::Image g = image::toGray(gray);
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, g.width(), g.height());
    cairo_surface_flush(s);
    unsigned char* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < g.height(); ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        for (int x = 0; x < g.width(); ++x) {
            std::uint32_t v = g.row(y)[x];
            row[x] = (v << 16) | (v << 8) | v;
        }
    }
    cairo_surface_mark_dirty(s);
    cairo_status_t st = cairo_surface_write_to_png(s, path.c_str());
    cairo_surface_destroy(s);
    ASSERT_EQ(st, CAIRO_STATUS_SUCCESS) << path;
}

image::Image readPng(const std::string& path) {
    cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        ADD_FAILURE() << "cannot read " << path;
        return {};
    }
    const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
    const int stride = cairo_image_surface_get_stride(s);
    const unsigned char* data = cairo_image_surface_get_data(s);
    image::Image g(w, h, image::PixelFormat::Gray8);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        for (int x = 0; x < w; ++x) g.row(y)[x] = static_cast<std::uint8_t>((row[x] >> 8) & 0xFF);
    }
    cairo_surface_destroy(s);
    return g;
}

PictureDifference compare(const image::Image& a, const image::Image& b) {
    PictureDifference d;
    if (a.width() != b.width() || a.height() != b.height()) {
        d.meanAbsolute = 255;
        d.strongShare = 1;
        return d;
    }
    double sum = 0;
    std::size_t strong = 0;
    for (std::size_t i = 0; i < a.pixels().size(); ++i) {
        int diff = std::abs(int(a.pixels()[i]) - int(b.pixels()[i]));
        sum += diff;
        if (diff > 96) ++strong;
    }
    d.meanAbsolute = sum / static_cast<double>(a.pixels().size());
    d.strongShare = static_cast<double>(strong) / static_cast<double>(a.pixels().size());
    return d;
}

void expectLooksLike(const image::Image& rendered, const std::string& name) {
    const std::string path = sourceDir() + "platform/layout/tests/reference/" + name;
    if (std::getenv("FAXGATE_UPDATE_REFERENCES")) {
        writePng(path, rendered);
        return;
    }
    image::Image ref = readPng(path);
    PictureDifference d = compare(rendered, ref);
    EXPECT_EQ(rendered.width(), ref.width()) << name;
    EXPECT_EQ(rendered.height(), ref.height()) << name;
    EXPECT_LT(d.meanAbsolute, 1.5) << name;
    EXPECT_LT(d.strongShare, 0.003) << name;
    if (d.meanAbsolute >= 1.5 || d.strongShare >= 0.003) {
        const char* tmp = std::getenv("FAXGATE_TEST_TMP");
        std::string out = std::string(tmp && *tmp ? tmp : "/tmp") + "/rendered-" + name;
        writePng(out, rendered);
        ADD_FAILURE() << "the rendering differs from the reference; it is kept in " << out;
    }
}

}  // namespace fg::testing
