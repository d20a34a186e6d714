#include "platform/desktop/drawing.h"

#include "platform/desktop/font_engine.h"

#include <algorithm>

namespace fg::desktop {

Rect intersect(const Rect& a, const Rect& b) {
    Rect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
    return r.empty() ? Rect{} : r;
}

Rect unite(const Rect& a, const Rect& b) {
    if (a.empty()) return b.empty() ? Rect{} : b;
    if (b.empty()) return a;
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

Rect normalized(const Rect& r) {
    return {std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
            std::max(r.top, r.bottom)};
}

Brush Brush::patterned(image::Image pattern) {
    return {BS_PATTERN, 0, 0, std::make_shared<const image::Image>(std::move(pattern))};
}

Region Region::rectangle(const Rect& r) {
    Region region;
    region.bounds_ = normalized(r);
    return region;
}

Region Region::polygon(std::span<const Point> points, int fillMode) {
    Region region;
    region.polygon_.assign(points.begin(), points.end());
    region.fillMode_ = fillMode;
    if (points.size() < 3) {
        region.polygon_.clear();  // no area
        return region;
    }
    Rect b{points[0].x, points[0].y, points[0].x, points[0].y};
    for (Point p : points) b = {std::min(b.left, p.x), std::min(b.top, p.y), std::max(b.right, p.x), std::max(b.bottom, p.y)};
    // The outline runs through pel centres; a region holds the pels inside.
    region.bounds_ = {b.left, b.top, b.right + 1, b.bottom + 1};
    return region;
}

DeviceContext::DeviceContext() = default;
DeviceContext::~DeviceContext() = default;

int DeviceContext::save() {
    saved_.push_back(state_);
    saved();
    return static_cast<int>(saved_.size());
}

bool DeviceContext::restore(int level) {
    const int depth = static_cast<int>(saved_.size());
    if (level < 0) level = depth + 1 + level;
    if (level < 1 || level > depth) return false;
    state_ = saved_[static_cast<std::size_t>(level - 1)];
    saved_.resize(static_cast<std::size_t>(level - 1));
    restored(depth - level + 1);
    return true;
}

namespace {
template <class T>
T swapIn(T& field, T value) {
    T old = std::move(field);
    field = std::move(value);
    return old;
}
}  // namespace

Pen DeviceContext::selectPen(const Pen& pen) {
    Pen old = swapIn(state_.pen, pen);
    changed(Change::Pen);
    return old;
}
Brush DeviceContext::selectBrush(const Brush& brush) {
    Brush old = swapIn(state_.brush, brush);
    changed(Change::Brush);
    return old;
}
Font DeviceContext::selectFont(const Font& font) {
    Font old = swapIn(state_.font, font);
    changed(Change::Font);
    return old;
}
Color DeviceContext::setTextColor(Color c) {
    Color old = swapIn(state_.textColor, c);
    changed(Change::TextColor);
    return old;
}
Color DeviceContext::setBkColor(Color c) {
    Color old = swapIn(state_.bkColor, c);
    changed(Change::BkColor);
    return old;
}
int DeviceContext::setBkMode(int mode) {
    if (mode != TRANSPARENT && mode != OPAQUE) return 0;
    int old = swapIn(state_.bkMode, mode);
    changed(Change::BkMode);
    return old;
}
int DeviceContext::setRop2(int rop2) {
    if (rop2 < 1 || rop2 > 16) return 0;
    int old = swapIn(state_.rop2, rop2);
    changed(Change::Rop2);
    return old;
}
int DeviceContext::setPolyFillMode(int mode) {
    if (mode != ALTERNATE && mode != WINDING) return 0;
    int old = swapIn(state_.polyFillMode, mode);
    changed(Change::PolyFillMode);
    return old;
}

void DeviceContext::intersectClipRect(const Rect& r) {
    ClipState& c = state_.clip;
    c.box = intersect(c.limited ? c.box : deviceBounds(), normalized(r));
    c.limited = true;
    clipIntersected(r);
}

void DeviceContext::selectClipRegion(const Region* region) {
    ClipState& c = state_.clip;
    if (!region) {
        c = {};
    } else {
        c.limited = true;
        c.box = intersect(deviceBounds(), region->bounds());
        c.region = region->isRectangle() ? nullptr : std::make_shared<const Region>(*region);
    }
    clipRegionSelected(region);
}

Rect DeviceContext::clipBox() const { return state_.clip.limited ? state_.clip.box : deviceBounds(); }

void DeviceContext::fillRect(const Rect& r, const Brush& brush) {
    Brush old = selectBrush(brush);
    patBlt(normalized(r), PATCOPY);
    selectBrush(old);
}

TextMetrics DeviceContext::textMetrics() const { return FontEngine::instance().metrics(state_.font); }

Size DeviceContext::textExtent(std::string_view utf8) const { return FontEngine::instance().extent(state_.font, utf8); }

int DeviceContext::drawText(std::string_view utf8, const Rect& rect, unsigned format) {
    FontEngine& engine = FontEngine::instance();
    const int lineHeight = engine.metrics(state_.font).height;
    const std::vector<std::string> lines =
        engine.lines(state_.font, utf8, (format & DT_WORDBREAK) ? std::max(1, rect.width()) : 0);
    int y = rect.top;
    for (const std::string& line : lines) {
        if (!line.empty()) extTextOut({rect.left, y}, ETO_CLIPPED, &rect, line);
        y += lineHeight;
    }
    return y - rect.top;
}

}  // namespace fg::desktop
