#include "annotation/paint.h"

#include "annotation/module.h"
#include "platform/desktop/bitmap.h"
#include "platform/desktop/system.h"
#include "platform/error.h"
#include "platform/text.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace fg::annotation {

using desktop::Brush;
using desktop::DeviceContext;
using desktop::Font;
using desktop::Pen;
using desktop::Point;
using desktop::Rect;

namespace {

// Back to the state saved on entry, however the painter leaves.
struct Restore {
    DeviceContext& dc;
    int level;
    ~Restore() { (void)dc.restore(level); }
};

bool isMetafile(const DeviceContext& dc) { return dc.deviceCaps(desktop::TECHNOLOGY) == desktop::DT_METAFILE; }

// A style number stored by an older writer or edited by hand draws solid.
int penStyle(std::uint32_t style) { return style <= ANN_LINE_NONE ? static_cast<int>(style) : desktop::PS_SOLID; }

Brush brushOf(const AnnObject& o) {
    static constexpr int kHatches[] = {desktop::HS_BDIAGONAL, desktop::HS_CROSS, desktop::HS_DIAGCROSS,
                                       desktop::HS_FDIAGONAL, desktop::HS_HORIZONTAL, desktop::HS_VERTICAL};
    if (o.FillPattern >= ANN_FILL_BDIAGONAL && o.FillPattern <= ANN_FILL_VERTICAL)
        return Brush::hatched(kHatches[o.FillPattern - 1], o.ForeColor);
    return o.FillMode == ANN_FILLMODE_TRANSPARENT ? Brush::hollow() : Brush::solid(o.BackColor);
}

int mulDiv(int a, int b, int c) { return static_cast<int>(std::lround(static_cast<double>(a) * b / c)); }

// Heights beyond what a logical font holds are cut to it.
int fontHeight(double pels) { return -std::clamp(annRound(pels), -32767, 32767); }

double distance(POINTD a, POINTD b) { return std::hypot(b.x - a.x, b.y - a.y); }

// The mapped corners P0, P1, P2 and P3 of a box, as doubles and as pels.
struct MappedBox {
    std::array<POINTD, 4> at;
    Point pels[4];
    MappedBox(const Matrix* m, const POINTD corners[3]) : at(annBoxCorners(corners)) {
        annTransformPoints(m, at.data(), at.size());
        annMapPoints(nullptr, at.data(), pels, 4);
    }
    // The direction of the bottom edge (P1 to P2) and the one across it,
    // downwards for a box that is not turned.
    POINTD along() const {
        const double length = distance(at[1], at[2]);
        if (!(length > 0) || !std::isfinite(length)) return {1, 0};
        return {(at[2].x - at[1].x) / length, (at[2].y - at[1].y) / length};
    }
    POINTD across() const {
        const POINTD u = along();
        return {-u.y, u.x};
    }
    double angle() const { return std::atan2(at[2].y - at[1].y, at[2].x - at[1].x); }
};

// The box's rectangle when it stays axis-aligned, else the rectangle around
// it (where icons, buttons and notes are drawn).
Rect iconRect(const Matrix* m, const POINTD corners[3]) {
    Rect r;
    if (annBoxRect(m, corners, &r)) return r;
    const MappedBox box(m, corners);
    return annBoundsOfPels(box.pels, 4);
}

void paintBox(DeviceContext& dc, const Matrix* m, const POINTD corners[3]) {
    Rect r;
    if (annBoxRect(m, corners, &r)) {
        dc.rectangle(r);
        return;
    }
    const MappedBox box(m, corners);
    dc.polygon(box.pels);
}

// Drawing limited to the box (a metafile keeps rectangle clips only).
void clipToBox(DeviceContext& dc, const Rect& clip, const Matrix* m, const POINTD corners[3]) {
    if (isMetafile(dc)) return;
    Rect r;
    if (annBoxRect(m, corners, &r)) {
        const desktop::Region region = desktop::Region::rectangle(r);
        dc.selectClipRegion(&region);
    } else {
        const MappedBox box(m, corners);
        const desktop::Region region = desktop::Region::polygon(box.pels, desktop::WINDING);
        dc.selectClipRegion(&region);
    }
    dc.intersectClipRect(clip);
}

// The object's font; text and stamps turn it with their bottom edge.
Font objectFont(const AnnObject& o, const Matrix* m, const MappedBox* turnWith) {
    Font f;
    f.height = fontHeight(o.FontSize * annLengthScale(m));
    f.weight = o.FontBold ? desktop::FW_BOLD : desktop::FW_NORMAL;
    f.italic = o.FontItalic != 0;
    f.underline = o.FontUnderline != 0;
    f.strikeOut = o.FontStrikeThrough != 0;
    f.charSet = desktop::DEFAULT_CHARSET;
    f.faceName = text::fromUtf8OrCp932(o.FontName.view());
    if (turnWith) {
        // Tenths of a degree, counter-clockwise: window y grows downwards.
        const double tenths = turnWith->angle() * -1800.0 / M_PI;
        f.escapement = f.orientation = std::isfinite(tenths) ? static_cast<int>(std::lround(tenths)) : 0;
        f.clipPrecision = desktop::CLIP_LH_ANGLES;
    }
    return f;
}

// Lines end at CR, LF, CR LF or LF CR; a break at the very end starts no
// line of its own.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n') continue;
        lines.push_back(text.substr(start, i - start));
        if (i + 1 < text.size() && (text[i + 1] == '\r' || text[i + 1] == '\n') && text[i + 1] != c) ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

int lineHeight(const DeviceContext& dc) {
    const desktop::TextMetrics tm = dc.textMetrics();
    return tm.height + tm.externalLeading;
}

Point pelOf(double x, double y) { return {annRound(x), annRound(y)}; }

void paintText(DeviceContext& dc, const Rect& clip, const AnnObject& o, const Matrix* m) {
    const Restore restore{dc, annSelectDrawTools(dc, clip, o, m)};
    if (o.Text.empty()) return;
    const MappedBox box(m, o.Corners);
    clipToBox(dc, clip, m, o.Corners);
    dc.selectFont(objectFont(o, m, &box));
    const int height = lineHeight(dc);
    const POINTD down = box.across();
    const std::vector<std::string> lines = linesOf(text::fromUtf8OrCp932(o.Text.view()));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const double step = static_cast<double>(i) * height;
        if (!lines[i].empty()) dc.textOut(pelOf(box.at[0].x + down.x * step, box.at[0].y + down.y * step), lines[i]);
    }
}

void paintStampBitmap(DeviceContext& dc, const Rect& clip, const AnnObject& o, const Matrix* m) {
    const MappedBox box(m, o.Corners);
    clipToBox(dc, clip, m, o.Corners);
    const int width = annRound(distance(box.at[1], box.at[2]));
    const int height = annRound(distance(box.at[0], box.at[1]));
    const Rect destination = annBoundsOfPels(box.pels, 4);
    // A stamp out of sight makes no picture of its size.
    if (width <= 0 || height <= 0 || desktop::intersect(destination, dc.clipBox()).empty()) return;
    desktop::Bitmap picture;
    if (!desktop::resampleBitmap(o.Bitmap, picture, width, height)) return;
    // Hundredths of a degree; the bitmap service turns counter-clockwise for
    // positive angles, the box's angle is clockwise on the window.
    const double hundredths = box.angle() * 18000.0 / M_PI;
    const long turn = std::isfinite(hundredths) ? std::lround(hundredths) : 0;
    if (turn != 0 && !desktop::rotateBitmap(picture, -turn)) return;
    desktop::paintBitmap(dc, picture, destination, desktop::SRCCOPY);
}

void paintStamp(DeviceContext& dc, const Rect& clip, const AnnObject& o, const Matrix* m) {
    const Restore restore{dc, annSelectDrawTools(dc, clip, o, m)};
    if (o.Bitmap.holdsBitmap()) {
        paintStampBitmap(dc, clip, o, m);
        return;
    }
    paintBox(dc, m, o.Corners);
    if (o.Text.empty()) return;
    const MappedBox box(m, o.Corners);
    clipToBox(dc, clip, m, o.Corners);
    dc.setBkMode(desktop::TRANSPARENT);
    dc.selectFont(objectFont(o, m, &box));
    const int height = lineHeight(dc);
    const std::vector<std::string> lines = linesOf(text::fromUtf8OrCp932(o.Text.view()));
    const POINTD along = box.along(), down = box.across();
    // The block of lines in the middle between top and bottom edge, each
    // line in the middle along the bottom edge.
    const double blockTop = (distance(box.at[0], box.at[1]) - static_cast<double>(lines.size()) * height) / 2;
    const double boxWidth = distance(box.at[1], box.at[2]);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].empty()) continue;
        const double dy = blockTop + static_cast<double>(i) * height;
        const double dx = (boxWidth - dc.textExtent(lines[i]).cx) / 2;
        dc.textOut(pelOf(box.at[0].x + down.x * dy + along.x * dx, box.at[0].y + down.y * dy + along.y * dx), lines[i]);
    }
}

const image::Image& checkerboard() {
    static const image::Image pattern = [] {
        image::Image p(8, 8, image::PixelFormat::Indexed1, 0);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) p.setIndex(x, y, (x + y) % 2 == 0 ? 1 : 0);  // rows 0xAA, 0x55
        return p;
    }();
    return pattern;
}

void paintNote(DeviceContext& dc, const Rect& clip, const AnnObject& o, const Matrix* m) {
    const Restore restore{dc, annSelectDrawTools(dc, clip, o, m)};
    const Rect r = iconRect(m, o.Corners);
    // The body's frame is always black and thin.
    dc.selectPen({desktop::PS_SOLID, 0, 0});
    dc.rectangle({r.left, r.top, r.right - 4, r.bottom - 4});
    {
        // The drop shadow darkens every other pel below it.
        const Restore shadow{dc, dc.save()};
        dc.setBkColor(0x000000);
        dc.setTextColor(0xFFFFFF);
        dc.selectBrush(Brush::patterned(checkerboard()));
        dc.patBlt({r.left + 4, r.bottom - 4, r.right, r.bottom}, desktop::kPatternAndDestination);
        dc.patBlt({r.right - 4, r.top + 4, r.right, r.bottom}, desktop::kPatternAndDestination);
    }
    if (o.Text.empty()) return;
    dc.setBkMode(desktop::TRANSPARENT);
    dc.selectFont(objectFont(o, m, nullptr));
    dc.drawText(text::fromUtf8OrCp932(o.Text.view()), {r.left + 5, r.top + 5, r.right - 9, r.bottom - 9},
                desktop::DT_WORDBREAK | desktop::DT_EXPANDTABS | desktop::DT_NOPREFIX);
}

void paintButton(DeviceContext& dc, const Rect& clip, const AnnObject& o, const Matrix* m) {
    const Restore restore{dc, annSelectDrawTools(dc, clip, o, m)};
    const Rect r = iconRect(m, o.Corners);
    const bool pressed = o.ActiveState == 1;
    annDrawButtonFace(dc, r, pressed);
    if (o.Text.empty()) return;
    Font f;
    f.height = -mulDiv(8, dc.deviceCaps(desktop::LOGPIXELSY), 72);
    f.weight = desktop::FW_NORMAL;
    f.charSet = desktop::DEFAULT_CHARSET;
    f.faceName = "MS Sans Serif";
    dc.selectFont(f);
    const std::string caption = text::fromUtf8OrCp932(o.Text.view());
    const desktop::Size extent = dc.textExtent(caption);
    const int x = r.left + (r.right - extent.cx - r.left - 3) / 2 + (pressed ? 1 : 0);
    const int y = r.top + (r.bottom - extent.cy - r.top - 2) / 2 + (pressed ? 1 : 0);
    dc.extTextOut({x, y}, desktop::ETO_CLIPPED, &r, caption);
}

// A picture of the module stretched onto the object's box.
void paintIcon(DeviceContext& dc, const Rect& r, int id, std::uint32_t rop) {
    if (const image::Image* picture = annModuleImage(id))
        dc.stretchBlt(r, *picture, {0, 0, picture->width(), picture->height()}, rop);
}

void paintPoints(DeviceContext& dc, const AnnObject& o, const Matrix* m, bool closed) {
    const std::size_t count = std::min<std::size_t>(o.PointCount, o.Points.capacity());
    if (count == 0) return;
    std::vector<Point> pels(count);
    annMapPoints(m, o.Points.data(), pels.data(), count);
    if (closed) dc.polygon(pels);
    else dc.polyline(pels);
}

void paintByKind(DeviceContext& dc, const Rect& clip, AnnObject& o, const Matrix* m) {
    switch (o.Type) {
    case ANN_CONTAINER:
    case ANN_HIGHLIGHT:
    case ANN_RECTANGLE:
    case ANN_REDACTION: {
        const Restore restore{dc, annSelectDrawTools(dc, clip, o, m)};
        paintBox(dc, m, o.Corners);
        break;
    }
    case ANN_ARROW: {
        const Restore restore{dc, annSelectDrawTools(dc, clip, o, m)};
        o.ArrowHeadSize[0] = o.ArrowHeadSize[1] = o.LineWidth * 3 + 2;
        annDrawArrow(dc, m, o);
        break;
    }
    case ANN_AUDIO: {
        const Restore restore{dc, annSelectDrawTools(dc, clip, o, m)};
        const Rect r = iconRect(m, o.Corners);
        paintIcon(dc, r, o.ActiveState ? 105 : 103, desktop::SRCAND);
        paintIcon(dc, r, o.ActiveState ? 104 : 102, desktop::SRCPAINT);
        break;
    }
    case ANN_BUTTON: paintButton(dc, clip, o, m); break;
    case ANN_ELLIPSE: {
        const Restore restore{dc, annSelectDrawTools(dc, clip, o, m)};
        Rect r;
        if (annBoxRect(m, o.Corners, &r)) dc.ellipse(r);
        else annDrawEllipse(dc, m, o.Corners);
        break;
    }
    case ANN_FREEHAND:
    case ANN_LINE:
    case ANN_POLYLINE:
    case ANN_POLYGON: {
        const Restore restore{dc, annSelectDrawTools(dc, clip, o, m)};
        paintPoints(dc, o, m, o.Type == ANN_POLYGON);
        break;
    }
    case ANN_HOTSPOT: {
        if (o.UserMode != ANN_MODE_DESIGN) break;
        const Restore restore{dc, annSelectDrawTools(dc, clip, o, m)};
        paintIcon(dc, iconRect(m, o.Corners), 106, desktop::SRCCOPY);
        break;
    }
    case ANN_NOTE: paintNote(dc, clip, o, m); break;
    case ANN_STAMP: paintStamp(dc, clip, o, m); break;
    case ANN_TEXT: paintText(dc, clip, o, m); break;
    default: break;  // automation objects, and kinds no painter knows, show nothing
    }
}

}  // namespace

int annSelectDrawTools(DeviceContext& dc, const Rect& clip, const AnnObject& o, const Matrix* m) {
    const int level = dc.save();
    dc.intersectClipRect(clip);
    int width = annRound(o.LineWidth * annLengthScale(m));
    if (width < 2) width = 0;
    dc.selectPen({penStyle(o.LineStyle), width, o.ForeColor});
    dc.selectBrush(brushOf(o));
    dc.setTextColor(o.ForeColor);
    dc.setBkColor(o.BackColor);
    dc.setBkMode(o.FillMode == ANN_FILLMODE_TRANSPARENT ? desktop::TRANSPARENT : desktop::OPAQUE);
    // A translucent fill darkens what lies below it, as a highlighter does.
    dc.setRop2(o.FillMode == ANN_FILLMODE_TRANSLUCENT ? desktop::R2_MASKPEN : desktop::R2_COPYPEN);
    dc.setPolyFillMode(o.PolyFillMode == ANN_POLYFILL_ALTERNATE ? desktop::ALTERNATE : desktop::WINDING);
    return level;
}

void annPaintObject(DeviceContext& dc, const Rect& clip, AnnObject& o, const Matrix* m) {
    try {
        paintByKind(dc, clip, o, m);
    } catch (...) {
        // The object stays undrawn; the others are drawn all the same.
        logCurrentError("zentrel");
    }
}

void annArrowOutline(const Matrix* m, const POINTD& head, const POINTD& tail, const double headSize[2], Point out[6]) {
    const POINTD h = m ? m->apply(head) : head, t = m ? m->apply(tail) : tail;
    const double dx = h.x - t.x, dy = h.y - t.y, length = std::hypot(dx, dy);
    double c = 1, s = 0;
    if (length > 0 && std::isfinite(length)) c = dx / length, s = dy / length;
    const double b = headSize[0], a = headSize[1];
    auto at = [&](double x, double y) { return pelOf(h.x + x * c - y * s, h.y + x * s + y * c); };
    const Point notch = at(-a / 2, 0);
    out[0] = pelOf(h.x, h.y);
    out[1] = at(-a, b / 2);
    out[2] = notch;
    out[3] = pelOf(t.x, t.y);
    out[4] = notch;
    out[5] = at(-a, -b / 2);
}

void annDrawArrow(DeviceContext& dc, const Matrix* m, const AnnObject& arrow) {
    Point p[6];
    annArrowOutline(m, arrow.ArrowPoints[0], arrow.ArrowPoints[1], arrow.ArrowHeadSize, p);
    const Pen pen = dc.pen();
    const Brush old = dc.selectBrush(pen.style == desktop::PS_NULL ? Brush::hollow() : Brush::solid(pen.color));
    if (pen.width <= 1) {
        const Point shaft[] = {p[2], p[3]};
        const Point headPoints[] = {p[0], p[1], p[2], p[5]};
        dc.polyline(shaft);
        dc.polygon(headPoints);
    } else {
        dc.polygon(p);
    }
    dc.selectBrush(old);
}

std::vector<Point> annEllipsePoints(const Matrix* m, const POINTD corners[3]) {
    // A bound on the steps keeps a huge box from asking for millions of
    // points; such an ellipse is coarser only where it is far out of sight.
    constexpr double kMostSteps = 8192;
    const POINTD p0 = corners[0], p1 = corners[1], p2 = corners[2];
    const POINTD c{(p0.x + p2.x) / 2, (p0.y + p2.y) / 2};
    const POINTD u{(p2.x - p1.x) / 2, (p2.y - p1.y) / 2}, v{(p0.x - p1.x) / 2, (p0.y - p1.y) / 2};
    auto at = [&](double angle) {
        const POINTD q{c.x + std::cos(angle) * u.x + std::sin(angle) * v.x, c.y + std::cos(angle) * u.y + std::sin(angle) * v.y};
        return m ? m->apply(q) : q;
    };
    double f = distance(at(0), at(M_PI / 2));
    if (!std::isfinite(f)) f = 1;
    f = std::clamp(f, 1.0, kMostSteps);
    const double step = (M_PI / 2) / f;
    std::vector<Point> out;
    out.reserve(static_cast<std::size_t>(4 * f + 1));
    for (std::size_t k = 0;; ++k) {
        const double angle = static_cast<double>(k) * step;
        if (angle >= 2 * M_PI) break;
        const POINTD q = at(angle);
        const Point pel = pelOf(q.x, q.y);
        if (out.empty() || !(out.back() == pel)) out.push_back(pel);
    }
    return out;
}

void annDrawEllipse(DeviceContext& dc, const Matrix* m, const POINTD corners[3]) {
    const std::vector<Point> points = annEllipsePoints(m, corners);
    dc.polygon(points);
}

void annDrawButtonFace(DeviceContext& dc, const Rect& r, bool pressed) {
    const Restore restore{dc, dc.save()};
    const int L = r.left, T = r.top, R = r.right, B = r.bottom;
    // Each part is an empty text written over its opaque rectangle; a part
    // that a small button leaves no room for is not drawn.
    auto fill = [&](int colour, Rect part) {
        if (part.empty()) return;
        dc.setBkColor(desktop::sysColor(colour));
        dc.extTextOut({part.left, part.top}, desktop::ETO_OPAQUE, &part, {});
    };
    using desktop::COLOR_BTNFACE, desktop::COLOR_BTNHIGHLIGHT, desktop::COLOR_BTNSHADOW, desktop::COLOR_WINDOWFRAME;
    fill(COLOR_WINDOWFRAME, {L + 1, T, R - 1, T + 1});
    fill(COLOR_WINDOWFRAME, {L + 1, B - 1, R - 1, B});
    fill(COLOR_WINDOWFRAME, {L, T + 1, L + 1, B - 1});
    fill(COLOR_WINDOWFRAME, {R - 1, T + 1, R, B - 1});
    fill(COLOR_BTNFACE, {L + 1, T + 1, R - 1, B - 1});
    if (!pressed) {
        fill(COLOR_BTNHIGHLIGHT, {L + 1, T + 1, R - 2, T + 2});
        fill(COLOR_BTNHIGHLIGHT, {L + 1, T + 1, L + 2, B - 2});
        fill(COLOR_BTNSHADOW, {R - 2, T + 1, R - 1, B - 1});
        fill(COLOR_BTNSHADOW, {L + 1, B - 2, R - 1, B - 1});
        fill(COLOR_BTNFACE, {L + 2, T + 2, R - 3, T + 3});
        fill(COLOR_BTNFACE, {L + 2, T + 2, L + 3, B - 3});
        fill(COLOR_BTNSHADOW, {R - 3, T + 2, R - 2, B - 2});
        fill(COLOR_BTNSHADOW, {L + 2, B - 3, R - 2, B - 2});
    } else {
        fill(COLOR_BTNSHADOW, {L + 1, T + 1, R - 2, T + 2});
        fill(COLOR_BTNSHADOW, {L + 1, T + 1, L + 2, B - 2});
        fill(COLOR_BTNFACE, {R - 2, T + 1, R - 1, B - 1});
        fill(COLOR_BTNFACE, {L + 1, B - 2, R - 1, B - 1});
    }
}

}  // namespace fg::annotation
