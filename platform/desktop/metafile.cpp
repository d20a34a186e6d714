#include "platform/desktop/metafile.h"

#include "platform/image/bmp.h"
#include "platform/text.h"

#include <algorithm>

namespace fg::desktop {

namespace {

constexpr std::uint16_t kHeaderWords = 9;
constexpr std::uint16_t BS_DIBPATTERN = 5;
constexpr std::uint16_t DIB_RGB_COLORS = 0;

std::uint16_t w(int v) { return static_cast<std::uint16_t>(v); }
// A coordinate or extent: the format holds 16 signed bits, and a value
// beyond them is clamped to the nearest it holds rather than wrapped round.
std::uint16_t xy(int v) { return static_cast<std::uint16_t>(std::clamp(v, -32768, 32767)); }
void putColor(std::vector<std::uint16_t>& p, Color c) {
    p.push_back(w(static_cast<int>(c & 0xFFFF)));
    p.push_back(w(static_cast<int>(c >> 16)));
}
void putBytes(std::vector<std::uint16_t>& p, std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        const auto lo = static_cast<std::uint8_t>(bytes[i]);
        const auto hi = i + 1 < bytes.size() ? static_cast<std::uint8_t>(bytes[i + 1]) : 0;
        p.push_back(static_cast<std::uint16_t>(lo | (hi << 8)));
    }
}
void putRect(std::vector<std::uint16_t>& p, const Rect& r) {  // bottom, right, top, left
    for (int v : {r.bottom, r.right, r.top, r.left}) p.push_back(xy(v));
}
std::string le(std::uint32_t v, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
    return out;
}

// A mask takes the text and background colours of the moment it is
// recorded: the metafile keeps a bitmap with those two colours.
image::Image withMaskColours(const image::Image& source, Color text, Color background) {
    if (source.format() != image::PixelFormat::Indexed1 || !source.palette().empty()) return source;
    image::Image out = source;
    auto rgbOf = [](Color c) { return image::Rgb{std::uint8_t(c), std::uint8_t(c >> 8), std::uint8_t(c >> 16)}; };
    out.setPalette({rgbOf(text), rgbOf(background)});
    return out;
}

const struct {
    std::uint16_t function;
    const char* name;
} kNames[] = {
    {meta::EOF_, "EOF"},
    {meta::SAVEDC, "SAVEDC"},
    {meta::SETBKMODE, "SETBKMODE"},
    {meta::SETMAPMODE, "SETMAPMODE"},
    {meta::SETROP2, "SETROP2"},
    {meta::SETPOLYFILLMODE, "SETPOLYFILLMODE"},
    {meta::RESTOREDC, "RESTOREDC"},
    {meta::SELECTOBJECT, "SELECTOBJECT"},
    {meta::DIBCREATEPATTERNBRUSH, "DIBCREATEPATTERNBRUSH"},
    {meta::DELETEOBJECT, "DELETEOBJECT"},
    {meta::SETBKCOLOR, "SETBKCOLOR"},
    {meta::SETTEXTCOLOR, "SETTEXTCOLOR"},
    {meta::SETWINDOWORG, "SETWINDOWORG"},
    {meta::SETWINDOWEXT, "SETWINDOWEXT"},
    {meta::CREATEPENINDIRECT, "CREATEPENINDIRECT"},
    {meta::CREATEFONTINDIRECT, "CREATEFONTINDIRECT"},
    {meta::CREATEBRUSHINDIRECT, "CREATEBRUSHINDIRECT"},
    {meta::POLYGON, "POLYGON"},
    {meta::POLYLINE, "POLYLINE"},
    {meta::INTERSECTCLIPRECT, "INTERSECTCLIPRECT"},
    {meta::ELLIPSE, "ELLIPSE"},
    {meta::RECTANGLE, "RECTANGLE"},
    {meta::TEXTOUT, "TEXTOUT"},
    {meta::PATBLT, "PATBLT"},
    {meta::EXTTEXTOUT, "EXTTEXTOUT"},
    {meta::STRETCHDIB, "STRETCHDIB"},
};

}  // namespace

std::string metafileFunctionName(std::uint16_t function) {
    for (const auto& n : kNames)
        if (n.function == function) return n.name;
    return "0x" + std::to_string(function);
}

std::vector<MetafileRecord> metafileRecords(const Metafile& metafile) {
    const std::string& b = metafile.bits();
    auto word = [&](std::size_t at) {
        return static_cast<std::uint16_t>(static_cast<std::uint8_t>(b[at]) | (static_cast<std::uint8_t>(b[at + 1]) << 8));
    };
    std::vector<MetafileRecord> out;
    std::size_t at = kHeaderWords * 2;
    while (at + 6 <= b.size()) {
        const std::uint32_t size = word(at) | (std::uint32_t(word(at + 2)) << 16);
        if (size < 3 || at + std::size_t(size) * 2 > b.size()) break;
        MetafileRecord r{word(at + 4), {}};
        for (std::uint32_t i = 3; i < size; ++i) r.params.push_back(word(at + i * 2));
        if (r.function == meta::EOF_) break;
        out.push_back(std::move(r));
        at += std::size_t(size) * 2;
    }
    return out;
}

std::string placeableHeader(const Rect& bounds, std::uint16_t unitsPerInch) {
    std::string h = le(0x9AC6CDD7u, 4) + le(0, 2);
    for (int v : {bounds.left, bounds.top, bounds.right, bounds.bottom}) h += le(xy(v), 2);
    h += le(unitsPerInch, 2) + le(0, 4);
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < 20; i += 2)
        sum ^= static_cast<std::uint16_t>(static_cast<std::uint8_t>(h[i]) | (static_cast<std::uint8_t>(h[i + 1]) << 8));
    return h + le(sum, 2);
}

MetafileRecorder::MetafileRecorder() : words_(kHeaderWords, 0) {}
MetafileRecorder::~MetafileRecorder() = default;

Rect MetafileRecorder::deviceBounds() const { return {-32768, -32768, 32767, 32767}; }

int MetafileRecorder::deviceCaps(int index) const {
    switch (index) {
    case TECHNOLOGY: return DT_METAFILE;
    case LOGPIXELSX:
    case LOGPIXELSY: return 96;  // the reference screen
    default: return 0;
    }
}

void MetafileRecorder::record(std::uint16_t function, const std::vector<std::uint16_t>& params) {
    if (closed_) return;
    const std::uint32_t size = static_cast<std::uint32_t>(3 + params.size());
    words_.push_back(static_cast<std::uint16_t>(size & 0xFFFF));
    words_.push_back(static_cast<std::uint16_t>(size >> 16));
    words_.push_back(function);
    words_.insert(words_.end(), params.begin(), params.end());
    maxRecord_ = std::max(maxRecord_, size);
}

void MetafileRecorder::setMapMode(int mode) { record(meta::SETMAPMODE, {w(mode)}); }
void MetafileRecorder::setWindowOrg(Point o) { record(meta::SETWINDOWORG, {xy(o.y), xy(o.x)}); }
void MetafileRecorder::setWindowExt(Size e) { record(meta::SETWINDOWEXT, {xy(e.cy), xy(e.cx)}); }

Metafile MetafileRecorder::close() {
    if (closed_) return {};
    record(meta::EOF_, {});
    closed_ = true;
    const std::uint32_t total = static_cast<std::uint32_t>(words_.size());
    const std::uint16_t header[kHeaderWords] = {1, kHeaderWords, 0x0300, w(static_cast<int>(total & 0xFFFF)),
                                                w(static_cast<int>(total >> 16)), w(static_cast<int>(holders_.size())),
                                                w(static_cast<int>(maxRecord_ & 0xFFFF)),
                                                w(static_cast<int>(maxRecord_ >> 16)), 0};
    std::copy(std::begin(header), std::end(header), words_.begin());
    std::string bits;
    bits.reserve(words_.size() * 2);
    for (std::uint16_t v : words_) bits += le(v, 2);
    return Metafile(std::move(bits));
}

// An object takes the lowest free slot, as a player numbers them.
void MetafileRecorder::select(int Held::*which, std::uint16_t createFunction, const std::vector<std::uint16_t>& params) {
    auto free = std::find(holders_.begin(), holders_.end(), 0);
    const int slot = static_cast<int>(free - holders_.begin());
    if (free == holders_.end()) holders_.push_back(0);
    record(createFunction, params);
    record(meta::SELECTOBJECT, {w(slot)});
    holders_[static_cast<std::size_t>(slot)] = 1;
    Held old;
    old.*which = current_.*which;
    current_.*which = slot;
    release(old);
}

void MetafileRecorder::release(const Held& held) {
    for (int slot : {held.pen, held.brush, held.font}) {
        if (slot < 0) continue;
        if (--holders_[static_cast<std::size_t>(slot)] == 0) record(meta::DELETEOBJECT, {w(slot)});
    }
}

void MetafileRecorder::changed(Change what) {
    const State& st = state();
    std::vector<std::uint16_t> p;
    switch (what) {
    case Change::Pen:
        p = {w(st.pen.style), w(st.pen.width), 0};
        putColor(p, st.pen.color);
        select(&Held::pen, meta::CREATEPENINDIRECT, p);
        break;
    case Change::Brush:
        if (st.brush.style == BS_PATTERN) {
            p = {BS_DIBPATTERN, DIB_RGB_COLORS};
            putBytes(p, image::encodeDib(withMaskColours(*st.brush.pattern, st.textColor, st.bkColor)));
            select(&Held::brush, meta::DIBCREATEPATTERNBRUSH, p);
        } else {
            p = {w(st.brush.style)};
            putColor(p, st.brush.color);
            p.push_back(w(st.brush.hatch));
            select(&Held::brush, meta::CREATEBRUSHINDIRECT, p);
        }
        break;
    case Change::Font: {
        const Font& f = st.font;
        p = {w(f.height), w(f.width), w(f.escapement), w(f.orientation), w(f.weight),
             static_cast<std::uint16_t>(f.italic | (f.underline << 8)),
             static_cast<std::uint16_t>(f.strikeOut | (f.charSet << 8)),
             static_cast<std::uint16_t>(f.outPrecision | (f.clipPrecision << 8)),
             static_cast<std::uint16_t>(f.quality | (f.pitchAndFamily << 8))};
        std::string face = text::toCp932(f.faceName).substr(0, 31);
        face.resize(32, '\0');
        putBytes(p, face);
        select(&Held::font, meta::CREATEFONTINDIRECT, p);
        break;
    }
    case Change::TextColor: putColor(p, st.textColor), record(meta::SETTEXTCOLOR, p); break;
    case Change::BkColor: putColor(p, st.bkColor), record(meta::SETBKCOLOR, p); break;
    case Change::BkMode: record(meta::SETBKMODE, {w(st.bkMode)}); break;
    case Change::Rop2: record(meta::SETROP2, {w(st.rop2)}); break;
    case Change::PolyFillMode: record(meta::SETPOLYFILLMODE, {w(st.polyFillMode)}); break;
    }
}

void MetafileRecorder::clipIntersected(const Rect& r) {
    std::vector<std::uint16_t> p;
    putRect(p, r);
    record(meta::INTERSECTCLIPRECT, p);
}

void MetafileRecorder::saved() {
    record(meta::SAVEDC, {});
    saved_.push_back(current_);
    for (int slot : {current_.pen, current_.brush, current_.font})
        if (slot >= 0) ++holders_[static_cast<std::size_t>(slot)];
}

void MetafileRecorder::restored(int levelsDropped) {
    record(meta::RESTOREDC, {w(-levelsDropped)});
    // The player selects the restored objects again; only then may the
    // objects no state holds any more be deleted.
    const std::size_t keep = saved_.size() - static_cast<std::size_t>(levelsDropped);
    const Held restoredState = saved_[keep];
    release(current_);
    for (std::size_t i = keep + 1; i < saved_.size(); ++i) release(saved_[i]);
    current_ = restoredState;
    saved_.resize(keep);
}

void MetafileRecorder::rectangle(const Rect& r) {
    std::vector<std::uint16_t> p;
    putRect(p, r);
    record(meta::RECTANGLE, p);
}

void MetafileRecorder::ellipse(const Rect& r) {
    std::vector<std::uint16_t> p;
    putRect(p, r);
    record(meta::ELLIPSE, p);
}

namespace {
std::vector<std::uint16_t> pointParams(std::span<const Point> points) {
    std::vector<std::uint16_t> p{w(static_cast<int>(points.size()))};
    for (Point pt : points) p.push_back(xy(pt.x)), p.push_back(xy(pt.y));
    return p;
}
}  // namespace

void MetafileRecorder::polygon(std::span<const Point> points) { record(meta::POLYGON, pointParams(points)); }
void MetafileRecorder::polyline(std::span<const Point> points) { record(meta::POLYLINE, pointParams(points)); }

void MetafileRecorder::patBlt(const Rect& r, std::uint32_t rop) {
    record(meta::PATBLT, {w(static_cast<int>(rop & 0xFFFF)), w(static_cast<int>(rop >> 16)), xy(r.height()),
                          xy(r.width()), xy(r.top), xy(r.left)});
}

void MetafileRecorder::stretchBlt(const Rect& destination, const image::Image& source, const Rect& sourceRect,
                                  std::uint32_t rop) {
    const Rect part = intersect(normalized(sourceRect), {0, 0, source.width(), source.height()});
    if (source.empty() || part.empty()) return;
    // Only the part drawn is kept, so the source rectangle starts at 0.
    image::Image piece = source;
    if (part != Rect{0, 0, source.width(), source.height()}) {
        piece = image::Image(part.width(), part.height(), source.format(), 0);
        piece.setPalette(source.palette());
        for (int y = 0; y < part.height(); ++y)
            for (int x = 0; x < part.width(); ++x)
                if (image::isIndexed(source.format())) piece.setIndex(x, y, source.index(part.left + x, part.top + y));
                else piece.setPixel(x, y, source.pixel(part.left + x, part.top + y));
    }
    std::vector<std::uint16_t> p{w(static_cast<int>(rop & 0xFFFF)), w(static_cast<int>(rop >> 16)), DIB_RGB_COLORS,
                                 w(part.height()), w(part.width()), 0, 0, xy(destination.height()),
                                 xy(destination.width()), xy(destination.top), xy(destination.left)};
    putBytes(p, image::encodeDib(withMaskColours(piece, state().textColor, state().bkColor)));
    record(meta::STRETCHDIB, p);
}

void MetafileRecorder::extTextOut(Point at, unsigned options, const Rect* rect, std::string_view utf8) {
    const std::string bytes = text::toCp932(utf8);
    std::vector<std::uint16_t> p;
    if (options == 0 && !rect) {
        p.push_back(w(static_cast<int>(bytes.size())));
        putBytes(p, bytes);
        p.push_back(xy(at.y));
        p.push_back(xy(at.x));
        record(meta::TEXTOUT, p);
        return;
    }
    p = {xy(at.y), xy(at.x), w(static_cast<int>(bytes.size())), w(static_cast<int>(options))};
    if (rect && (options & (ETO_OPAQUE | ETO_CLIPPED)))
        for (int v : {rect->left, rect->top, rect->right, rect->bottom}) p.push_back(xy(v));
    putBytes(p, bytes);
    record(meta::EXTTEXTOUT, p);
}

}  // namespace fg::desktop
