#include "platform/desktop/raster_dc.h"

#include "platform/desktop/font_engine.h"
#include "platform/error.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

namespace fg::desktop {

namespace {

// Surface pels are 0x00RRGGBB words; colours are 0x00BBGGRR.
std::uint32_t toPel(Color c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }
std::uint32_t toPel(image::Rgb c) { return (std::uint32_t(c.r) << 16) | (std::uint32_t(c.g) << 8) | c.b; }

// A raster operation as its truth table: bit (p << 2 | s << 1 | d) is the
// result for pattern bit p, source bit s and destination bit d.
std::uint8_t blitTable(std::uint32_t rop) { return static_cast<std::uint8_t>(rop >> 16); }
std::uint8_t penTable(int rop2) {
    const unsigned t2 = static_cast<unsigned>(rop2 - 1);  // bit (p << 1 | d)
    std::uint8_t t3 = 0;
    for (unsigned i = 0; i < 8; ++i)
        if (t2 >> (((i >> 2) << 1) | (i & 1)) & 1) t3 = static_cast<std::uint8_t>(t3 | (1u << i));
    return t3;
}
bool usesPattern(std::uint8_t t) { return (t >> 4) != (t & 0x0F); }
bool usesSource(std::uint8_t t) { return ((t >> 2) & 0x33) != (t & 0x33); }

std::uint32_t apply(std::uint8_t table, std::uint32_t p, std::uint32_t s, std::uint32_t d) {
    std::uint32_t out = 0;
    for (unsigned i = 0; i < 8; ++i)
        if (table >> i & 1) out |= ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
    return out & 0xFFFFFF;
}

bool hatchSet(int hatch, int x, int y) {
    const bool h = (y & 7) == 0, v = (x & 7) == 0, f = ((x - y) & 7) == 0, b = ((x + y) & 7) == 0;
    switch (hatch) {
    case HS_HORIZONTAL: return h;
    case HS_VERTICAL: return v;
    case HS_FDIAGONAL: return f;
    case HS_BDIAGONAL: return b;
    case HS_CROSS: return h || v;
    case HS_DIAGCROSS: return f || b;
    default: return false;
    }
}

bool isMask(const image::Image& image) {
    return image.format() == image::PixelFormat::Indexed1 && image.palette().empty();
}

// Dash lengths of the one-pel styled pens.
std::vector<double> dashesOf(int style) {
    switch (style) {
    case PS_DASH: return {18, 6};
    case PS_DOT: return {3, 3};
    case PS_DASHDOT: return {9, 6, 3, 6};
    case PS_DASHDOTDOT: return {9, 3, 3, 3, 3, 3};
    default: return {};
    }
}

}  // namespace

// Where a shape lies: an A8 mask over `box`, each pel 0 or 255 (text: any
// value between).
struct RasterDC::Coverage {
    Rect box;
    CairoOwned<cairo_surface_t> surface;
    const std::uint8_t* data = nullptr;
    int stride = 0;
    std::uint8_t at(int x, int y) const {
        if (!data || !box.contains({x, y})) return 0;
        return data[(y - box.top) * stride + (x - box.left)];
    }
};

namespace {

template <class Coverage, class Draw>
Coverage makeCoverage(Rect box, bool smooth, Draw&& draw) {
    Coverage c;
    c.box = box;
    if (box.empty()) return c;
    c.surface.reset(cairo_image_surface_create(CAIRO_FORMAT_A8, box.width(), box.height()));
    if (cairo_surface_status(c.surface.get()) != CAIRO_STATUS_SUCCESS)
        throw Error(errnum::OutOfMemory, "no room for a drawing mask", "desktop");
    {
        CairoOwned<cairo_t> cr(cairo_create(c.surface.get()));
        cairo_set_antialias(cr.get(), smooth ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
        cairo_translate(cr.get(), -box.left, -box.top);
        draw(cr.get());
    }
    cairo_surface_flush(c.surface.get());
    c.data = cairo_image_surface_get_data(c.surface.get());
    c.stride = cairo_image_surface_get_stride(c.surface.get());
    return c;
}

void polygonPath(cairo_t* cr, std::span<const Point> points, bool close) {
    cairo_new_path(cr);
    for (std::size_t i = 0; i < points.size(); ++i) {
        const double x = points[i].x + 0.5, y = points[i].y + 0.5;
        if (i == 0) cairo_move_to(cr, x, y);
        else cairo_line_to(cr, x, y);
    }
    if (close) cairo_close_path(cr);
}

void ellipsePath(cairo_t* cr, double cx, double cy, double rx, double ry) {
    cairo_new_path(cr);
    cairo_save(cr);
    cairo_translate(cr, cx, cy);
    cairo_scale(cr, std::max(rx, 1e-3), std::max(ry, 1e-3));
    cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
    cairo_restore(cr);
}

Rect boundsOf(std::span<const Point> points) {
    if (points.empty()) return {};
    Rect b{points[0].x, points[0].y, points[0].x + 1, points[0].y + 1};
    for (Point p : points)
        b = {std::min(b.left, p.x), std::min(b.top, p.y), std::max(b.right, p.x + 1), std::max(b.bottom, p.y + 1)};
    return b;
}

Rect inflate(const Rect& r, int by) { return {r.left - by, r.top - by, r.right + by, r.bottom + by}; }

// Coordinates beyond this lie far outside any surface, and cairo's
// fixed-point paths cannot hold them: shapes are clamped to it first, so
// that a huge shape draws its visible part and nothing else.
constexpr int kPathLimit = 1 << 22;
int toPath(int v) { return std::clamp(v, -kPathLimit, kPathLimit); }
Rect pathRect(const Rect& r) { return {toPath(r.left), toPath(r.top), toPath(r.right), toPath(r.bottom)}; }
std::vector<Point> pathPoints(std::span<const Point> points) {
    std::vector<Point> out(points.begin(), points.end());
    for (Point& p : out) p = {toPath(p.x), toPath(p.y)};
    return out;
}

}  // namespace

RasterDC::RasterDC(image::Image& surface, int technology, int dpiX, int dpiY)
    : surface_(surface), technology_(technology), dpiX_(dpiX), dpiY_(dpiY) {
    if (surface.format() != image::PixelFormat::Rgb32) image::invalidPicture("a drawing surface is a 32-bit image");
}

RasterDC::~RasterDC() = default;

Rect RasterDC::deviceBounds() const { return {0, 0, surface_.width(), surface_.height()}; }

int RasterDC::deviceCaps(int index) const {
    switch (index) {
    case TECHNOLOGY: return technology_;
    case LOGPIXELSX: return dpiX_;
    case LOGPIXELSY: return dpiY_;
    case HORZRES: return surface_.width();
    case VERTRES: return surface_.height();
    default: return 0;
    }
}

bool RasterDC::inRegion(int x, int y) {
    const auto& region = state().clip.region;
    if (!region) return true;
    if (region != maskedRegion_) {
        const Region& r = *region;
        regionMask_ = std::make_unique<Coverage>(makeCoverage<Coverage>(r.bounds(), false, [&](cairo_t* cr) {
            polygonPath(cr, r.points(), true);
            cairo_set_fill_rule(cr, r.fillMode() == WINDING ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
            cairo_fill(cr);
        }));
        maskedRegion_ = region;
    }
    return regionMask_->at(x, y) >= 128;
}

template <class SourceFn>
void RasterDC::combine(const Coverage& coverage, const Coverage* except, std::uint8_t table, SourceFn&& source) {
    const Rect area = intersect(coverage.box, clipBox());
    for (int y = area.top; y < area.bottom; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(surface_.row(y));
        for (int x = area.left; x < area.right; ++x) {
            if (coverage.at(x, y) < 128 || (except && except->at(x, y) >= 128) || !inRegion(x, y)) continue;
            const std::optional<std::uint32_t> s = source(x, y);
            if (s) row[x] = apply(table, *s, 0, row[x]);
        }
    }
}

void RasterDC::shape(Rect bounds, const Path& fill, const Path& outline) {
    const Pen& pen = state().pen;
    const Brush& brush = state().brush;
    const std::uint8_t table = penTable(state().rop2);
    const bool drawOutline = outline && pen.style != PS_NULL;
    const int width = std::max(1, pen.width);
    const Rect box = intersect(inflate(bounds, width / 2 + 2), clipBox());
    if (box.empty()) return;

    std::optional<Coverage> line, dashed;
    if (drawOutline) {
        auto stroke = [&](const std::vector<double>& dashes) {
            return makeCoverage<Coverage>(box, false, [&](cairo_t* cr) {
                outline(cr);
                cairo_set_line_width(cr, width);
                cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
                cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
                if (!dashes.empty()) cairo_set_dash(cr, dashes.data(), static_cast<int>(dashes.size()), 0);
                cairo_stroke(cr);
            });
        };
        line = stroke({});
        if (width == 1 && pen.style != PS_SOLID && !dashesOf(pen.style).empty()) dashed = stroke(dashesOf(pen.style));
    }
    if (fill && brush.style != BS_NULL) {
        const Coverage inside = makeCoverage<Coverage>(box, false, [&](cairo_t* cr) {
            fill(cr);
            cairo_set_fill_rule(cr, state().polyFillMode == WINDING ? CAIRO_FILL_RULE_WINDING
                                                                     : CAIRO_FILL_RULE_EVEN_ODD);
            cairo_fill(cr);
        });
        // Each pel is combined once: the pen's pels are not filled.
        combine(inside, line ? &*line : nullptr, table, [&](int x, int y) -> std::optional<std::uint32_t> {
            switch (brush.style) {
            case BS_SOLID: return toPel(brush.color);
            case BS_HATCHED:
                if (hatchSet(brush.hatch, x, y)) return toPel(brush.color);
                if (state().bkMode == OPAQUE) return toPel(state().bkColor);
                return std::nullopt;
            default: {
                const image::Image& p = *brush.pattern;
                const int px = ((x % p.width()) + p.width()) % p.width(), py = ((y % p.height()) + p.height()) % p.height();
                if (isMask(p)) return toPel(p.index(px, py) ? state().bkColor : state().textColor);
                return toPel(p.pixel(px, py));
            }
            }
        });
    }
    if (!line) return;
    if (!dashed) {
        combine(*line, nullptr, table, [&](int, int) { return std::optional<std::uint32_t>(toPel(pen.color)); });
        return;
    }
    combine(*dashed, nullptr, table, [&](int, int) { return std::optional<std::uint32_t>(toPel(pen.color)); });
    // The gaps of a styled pen show the background colour when it is opaque.
    if (state().bkMode == OPAQUE)
        combine(*line, &*dashed, table, [&](int, int) { return std::optional<std::uint32_t>(toPel(state().bkColor)); });
}

void RasterDC::rectangle(const Rect& r) {
    const Rect n = pathRect(normalized(r));
    if (n.empty()) return;
    shape(
        n, [&](cairo_t* cr) { cairo_new_path(cr), cairo_rectangle(cr, n.left, n.top, n.width(), n.height()); },
        [&](cairo_t* cr) {
            cairo_new_path(cr);
            cairo_rectangle(cr, n.left + 0.5, n.top + 0.5, n.width() - 1, n.height() - 1);
        });
}

void RasterDC::ellipse(const Rect& r) {
    const Rect n = pathRect(normalized(r));
    if (n.empty()) return;
    const double cx = (n.left + n.right) / 2.0, cy = (n.top + n.bottom) / 2.0;
    shape(
        n, [&](cairo_t* cr) { ellipsePath(cr, cx, cy, n.width() / 2.0, n.height() / 2.0); },
        [&](cairo_t* cr) { ellipsePath(cr, cx, cy, (n.width() - 1) / 2.0, (n.height() - 1) / 2.0); });
}

void RasterDC::polygon(std::span<const Point> points) {
    if (points.size() < 2) return;
    const std::vector<Point> p = pathPoints(points);
    auto path = [&](cairo_t* cr) { polygonPath(cr, p, true); };
    shape(boundsOf(p), path, path);
}

void RasterDC::polyline(std::span<const Point> points) {
    if (points.size() < 2) return;
    const std::vector<Point> p = pathPoints(points);
    shape(boundsOf(p), nullptr, [&](cairo_t* cr) { polygonPath(cr, p, false); });
}

namespace {

// The pattern colour of a blit at a pel: hatches show the background
// colour between their lines.
template <class StateT>
std::optional<std::uint32_t> patternAt(const Brush& brush, const StateT& st, int x, int y) {
    switch (brush.style) {
    case BS_SOLID: return toPel(brush.color);
    case BS_HATCHED: return toPel(hatchSet(brush.hatch, x, y) ? brush.color : st.bkColor);
    case BS_PATTERN: {
        const image::Image& p = *brush.pattern;
        const int px = ((x % p.width()) + p.width()) % p.width(), py = ((y % p.height()) + p.height()) % p.height();
        if (isMask(p)) return toPel(p.index(px, py) ? st.bkColor : st.textColor);
        return toPel(p.pixel(px, py));
    }
    default: return std::nullopt;
    }
}

}  // namespace

void RasterDC::patBlt(const Rect& r, std::uint32_t rop) { stretchBlt(r, image::Image(), Rect{}, rop); }

void RasterDC::stretchBlt(const Rect& destination, const image::Image& source, const Rect& sourceRect,
                          std::uint32_t rop) {
    const std::uint8_t table = blitTable(rop);
    const bool pattern = usesPattern(table), src = usesSource(table);
    if (pattern && state().brush.style == BS_NULL) return;
    if (src && (source.empty() || sourceRect.width() == 0 || sourceRect.height() == 0)) return;
    const Rect area = intersect(normalized(destination), clipBox());
    const double dw = destination.width(), dh = destination.height();
    const bool mask = src && isMask(source);
    for (int y = area.top; y < area.bottom; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(surface_.row(y));
        const double fy = (y + 0.5 - destination.top) / dh;
        const int sy = sourceRect.top + static_cast<int>(std::floor(fy * sourceRect.height()));
        for (int x = area.left; x < area.right; ++x) {
            if (!inRegion(x, y)) continue;
            std::uint32_t s = 0, p = 0;
            if (src) {
                const double fx = (x + 0.5 - destination.left) / dw;
                const int sx = sourceRect.left + static_cast<int>(std::floor(fx * sourceRect.width()));
                if (sx < 0 || sy < 0 || sx >= source.width() || sy >= source.height()) continue;
                s = mask ? toPel(source.index(sx, sy) ? state().bkColor : state().textColor) : toPel(source.pixel(sx, sy));
            }
            if (pattern) p = *patternAt(state().brush, state(), x, y);
            row[x] = apply(table, p, s, row[x]);
        }
    }
}

void RasterDC::extTextOut(Point at, unsigned options, const Rect* rect, std::string_view utf8) {
    const Color bk = state().bkColor;
    auto paint = [&](const Coverage& c, Color colour) {
        combine(c, nullptr, penTable(R2_COPYPEN), [&](int, int) { return std::optional<std::uint32_t>(toPel(colour)); });
    };
    Rect limit = clipBox();
    if (rect && (options & ETO_CLIPPED)) limit = intersect(limit, normalized(*rect));
    if (rect && (options & ETO_OPAQUE)) {
        const Rect r = intersect(normalized(*rect), clipBox());
        paint(makeCoverage<Coverage>(r, false, [&](cairo_t* cr) {
            cairo_rectangle(cr, r.left, r.top, r.width(), r.height());
            cairo_fill(cr);
        }), bk);
    }
    if (utf8.empty() || limit.empty()) return;

    FontEngine& engine = FontEngine::instance();
    const Font& font = state().font;
    const TextMetrics m = engine.metrics(font);
    const Size extent = engine.extent(font, utf8);
    const double angle = -font.escapement * M_PI / 1800.0;  // counter-clockwise on the page
    const double c = std::cos(angle), s = std::sin(angle);
    auto corner = [&](double u, double v) { return std::pair{at.x + u * c - v * s, at.y + u * s + v * c}; };
    double minX = at.x, minY = at.y, maxX = at.x, maxY = at.y;
    const double slack = m.height;  // overhang of italics and accents
    for (auto [u, v] : {std::pair{-slack, -slack}, {extent.cx + slack, -slack}, {extent.cx + slack, m.height + slack},
                        {-slack, m.height + slack}}) {
        auto [x, y] = corner(u, v);
        minX = std::min(minX, x), minY = std::min(minY, y), maxX = std::max(maxX, x), maxY = std::max(maxY, y);
    }
    const Rect box = intersect(
        Rect{static_cast<int>(std::floor(minX)), static_cast<int>(std::floor(minY)), static_cast<int>(std::ceil(maxX)) + 1,
             static_cast<int>(std::ceil(maxY)) + 1},
        limit);
    if (box.empty()) return;
    auto cellTransform = [&](cairo_t* cr) {
        cairo_translate(cr, at.x, at.y);
        cairo_rotate(cr, angle);
    };
    if (state().bkMode == OPAQUE)
        paint(makeCoverage<Coverage>(box, false, [&](cairo_t* cr) {
            cellTransform(cr);
            cairo_rectangle(cr, 0, 0, extent.cx, m.height);
            cairo_fill(cr);
        }), bk);
    CairoOwned<PangoLayout> layout = engine.layout(font, utf8);
    const Coverage glyphs = makeCoverage<Coverage>(box, true, [&](cairo_t* cr) {
        cellTransform(cr);
        cairo_move_to(cr, 0, m.ascent - static_cast<double>(pango_layout_get_baseline(layout.get())) / PANGO_SCALE);
        pango_cairo_show_layout(cr, layout.get());
    });
    // Smoothed glyph edges are blended with what lies below.
    const std::uint32_t ink = toPel(state().textColor);
    for (int y = box.top; y < box.bottom; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(surface_.row(y));
        for (int x = box.left; x < box.right; ++x) {
            const unsigned a = glyphs.at(x, y);
            if (a == 0 || !inRegion(x, y)) continue;
            std::uint32_t out = 0;
            for (int shift : {0, 8, 16}) {
                const unsigned t = (ink >> shift) & 0xFF, d = (row[x] >> shift) & 0xFF;
                out |= ((t * a + d * (255 - a) + 127) / 255) << shift;
            }
            row[x] = out;
        }
    }
}

BitmapDC::Copy::Copy(image::Image& bitmap) : target(bitmap) {
    if (bitmap.format() != image::PixelFormat::Rgb32) work = image::convert(bitmap, image::PixelFormat::Rgb32);
}

image::Image& BitmapDC::Copy::surface() { return work.empty() ? target : work; }

BitmapDC::BitmapDC(image::Image& bitmap, int dpiX, int dpiY) : BitmapDC(std::make_unique<Copy>(bitmap), dpiX, dpiY) {}

BitmapDC::BitmapDC(std::unique_ptr<Copy> copy, int dpiX, int dpiY)
    : RasterDC(copy->surface(), DT_RASDISPLAY, dpiX, dpiY), copy_(std::move(copy)) {}

BitmapDC::~BitmapDC() {
    if (copy_->work.empty()) return;
    try {
        // The bitmap keeps its own format and palette.
        copy_->target = image::convert(copy_->work, copy_->target.format(), copy_->target.palette());
    } catch (...) {
        logCurrentError("desktop");
    }
}

}  // namespace fg::desktop
