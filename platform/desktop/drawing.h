// The drawing interface of the annotation engine: a device context with its
// pens, brushes, fonts, colours, modes and clip, and the shapes, blits and
// text it draws. Two back-ends stand behind it: the raster one draws into
// pixels (raster_dc.h), the recording one writes metafile records
// (metafile.h). Painters are written once against this class.
//
// Coordinates are device pixels, x to the right and y downwards. A shape's
// integer points are pel centres; a rectangle (left, top, right, bottom)
// covers the pels from left to right - 1 and top to bottom - 1.
#pragma once

#include "platform/image/image.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace fg::desktop {

// A colour as 0x00BBGGRR.
using Color = std::uint32_t;
constexpr Color rgb(unsigned r, unsigned g, unsigned b) { return (r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16); }

struct Point {
    int x = 0, y = 0;
    bool operator==(const Point&) const = default;
};
struct Size {
    int cx = 0, cy = 0;
    bool operator==(const Size&) const = default;
};
struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    // Extents of rectangles that span more than an int holds saturate
    // rather than overflow.
    int width() const { return saturated(static_cast<std::int64_t>(right) - left); }
    int height() const { return saturated(static_cast<std::int64_t>(bottom) - top); }
    static int saturated(std::int64_t v) {
        return static_cast<int>(
            std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
    }
    [[nodiscard]] bool empty() const { return right <= left || bottom <= top; }
    [[nodiscard]] bool contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
    bool operator==(const Rect&) const = default;
};
// Empty results are (0, 0, 0, 0).
Rect intersect(const Rect& a, const Rect& b);
Rect unite(const Rect& a, const Rect& b);  // an empty side counts for nothing
Rect normalized(const Rect& r);            // left <= right, top <= bottom

// Pen styles; a style other than solid draws solid when the pen is wider
// than one pel.
inline constexpr int PS_SOLID = 0, PS_DASH = 1, PS_DOT = 2, PS_DASHDOT = 3, PS_DASHDOTDOT = 4, PS_NULL = 5;
// Brush styles and hatches.
inline constexpr int BS_SOLID = 0, BS_NULL = 1, BS_HATCHED = 2, BS_PATTERN = 3;
inline constexpr int HS_HORIZONTAL = 0, HS_VERTICAL = 1, HS_FDIAGONAL = 2, HS_BDIAGONAL = 3, HS_CROSS = 4,
                     HS_DIAGCROSS = 5;
// Raster operations of pens and brushes (1 to 16; those the engine uses).
inline constexpr int R2_NOT = 6, R2_XORPEN = 7, R2_MASKPEN = 9, R2_COPYPEN = 13;
// Raster operations of blits: a truth table over pattern, source and
// destination in bits 16-23.
inline constexpr std::uint32_t SRCCOPY = 0x00CC0020, SRCPAINT = 0x00EE0086, SRCAND = 0x008800C6,
                               SRCINVERT = 0x00660046, DSTINVERT = 0x00550009, PATCOPY = 0x00F00021,
                               PATINVERT = 0x005A0049, BLACKNESS = 0x00000042, WHITENESS = 0x00FF0062;
// Pattern AND destination, and pattern where the source is set with the
// destination kept elsewhere.
inline constexpr std::uint32_t kPatternAndDestination = 0x00A000C9, kPatternWhereSource = 0x00E20746;
// Background modes and polygon fill modes.
inline constexpr int TRANSPARENT = 1, OPAQUE = 2;
inline constexpr int ALTERNATE = 1, WINDING = 2;
// Device queries and technologies.
inline constexpr int TECHNOLOGY = 2, HORZRES = 8, VERTRES = 10, LOGPIXELSX = 88, LOGPIXELSY = 90;
inline constexpr int DT_RASDISPLAY = 1, DT_RASPRINTER = 2, DT_METAFILE = 5;
// Text output options and text drawing formats.
inline constexpr unsigned ETO_OPAQUE = 2, ETO_CLIPPED = 4;
inline constexpr unsigned DT_LEFT = 0, DT_TOP = 0, DT_WORDBREAK = 0x10, DT_EXPANDTABS = 0x40, DT_NOPREFIX = 0x800;
// Font weights, character sets and clipping precisions.
inline constexpr int FW_NORMAL = 400, FW_BOLD = 700;
inline constexpr std::uint8_t ANSI_CHARSET = 0, DEFAULT_CHARSET = 1, SHIFTJIS_CHARSET = 128;
inline constexpr std::uint8_t CLIP_DEFAULT_PRECIS = 0, CLIP_LH_ANGLES = 0x10;

// width 0 is the thinnest pen, one pel.
struct Pen {
    int style = PS_SOLID;
    int width = 0;
    Color color = 0;
    bool operator==(const Pen&) const = default;
};

// A solid, hatched, hollow or 8 x 8 pattern brush. A pattern that is a 1-bit
// image without a palette is a mask: its 0 pels take the text colour and its
// 1 pels the background colour of the context it paints in.
struct Brush {
    int style = BS_SOLID;
    Color color = 0xFFFFFF;
    int hatch = 0;
    std::shared_ptr<const image::Image> pattern;

    static Brush solid(Color c) { return {BS_SOLID, c, 0, nullptr}; }
    static Brush hollow() { return {BS_NULL, 0, 0, nullptr}; }
    static Brush hatched(int hatch, Color c) { return {BS_HATCHED, c, hatch, nullptr}; }
    static Brush patterned(image::Image pattern);
    bool operator==(const Brush& o) const {
        return style == o.style && color == o.color && hatch == o.hatch && pattern == o.pattern;
    }
};

// A logical font. A negative height is the character height in pels, a
// positive one the cell height; escapement in tenths of a degree,
// counter-clockwise. Latin faces map to the Liberation faces, Japanese
// ones to IPA Gothic; any other name is looked up as it is.
struct Font {
    int height = 0;
    int width = 0;
    int escapement = 0;
    int orientation = 0;
    int weight = FW_NORMAL;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    std::uint8_t charSet = DEFAULT_CHARSET;
    std::uint8_t outPrecision = 0;
    std::uint8_t clipPrecision = CLIP_DEFAULT_PRECIS;
    std::uint8_t quality = 0;
    std::uint8_t pitchAndFamily = 0;
    std::string faceName;
    bool operator==(const Font&) const = default;
};

struct TextMetrics {
    int height = 0;  // ascent + descent
    int ascent = 0;
    int descent = 0;
    int internalLeading = 0;
    int externalLeading = 0;
    int aveCharWidth = 0;
};

// A clip region: rectangles, or a polygon with its fill mode.
class Region {
public:
    static Region rectangle(const Rect& r);
    static Region polygon(std::span<const Point> points, int fillMode = ALTERNATE);
    Rect bounds() const { return bounds_; }
    [[nodiscard]] bool isRectangle() const { return polygon_.empty(); }
    const std::vector<Point>& points() const { return polygon_; }
    int fillMode() const { return fillMode_; }

private:
    Rect bounds_;
    std::vector<Point> polygon_;
    int fillMode_ = ALTERNATE;
};

class DeviceContext {
public:
    virtual ~DeviceContext();
    DeviceContext(const DeviceContext&) = delete;
    DeviceContext& operator=(const DeviceContext&) = delete;

    // The saved state: objects, colours, modes and clip. save() answers the
    // new depth; restore(-1) goes back one level, restore(n) to the state
    // saved at depth n. False for a level that was not saved.
    int save();
    [[nodiscard]] bool restore(int level = -1);

    // Each selection answers what was selected before.
    Pen selectPen(const Pen& pen);
    Brush selectBrush(const Brush& brush);
    Font selectFont(const Font& font);
    const Pen& pen() const { return state_.pen; }
    const Brush& brush() const { return state_.brush; }
    const Font& font() const { return state_.font; }

    Color setTextColor(Color c);
    Color setBkColor(Color c);
    int setBkMode(int mode);
    int setRop2(int rop2);
    int setPolyFillMode(int mode);
    Color textColor() const { return state_.textColor; }
    Color bkColor() const { return state_.bkColor; }
    int bkMode() const { return state_.bkMode; }
    int rop2() const { return state_.rop2; }
    int polyFillMode() const { return state_.polyFillMode; }

    // Drawing reaches only the clip: the intersection of the rectangles
    // given since the region was selected and of the region itself.
    // Selecting a region (null: none) replaces the clip.
    void intersectClipRect(const Rect& r);
    void selectClipRegion(const Region* region);
    Rect clipBox() const;

    virtual int deviceCaps(int index) const = 0;

    // Shapes: outlined with the pen and filled with the brush, both through
    // the pen's raster operation.
    virtual void rectangle(const Rect& r) = 0;
    virtual void ellipse(const Rect& r) = 0;
    virtual void polygon(std::span<const Point> points) = 0;
    virtual void polyline(std::span<const Point> points) = 0;
    // Blits: the brush, the source image and the destination combined by a
    // blit raster operation. The source is stretched onto the destination
    // (a negative width or height mirrors); a source that is a 1-bit mask
    // takes the text colour for 0 and the background colour for 1.
    virtual void patBlt(const Rect& r, std::uint32_t rop) = 0;
    virtual void stretchBlt(const Rect& destination, const image::Image& source, const Rect& sourceRect,
                            std::uint32_t rop) = 0;
    // Text whose cell's top-left corner lies at `at`, turned by the font's
    // escapement; with ETO_OPAQUE `rect` is filled with the background
    // colour first, with ETO_CLIPPED the text is clipped to it.
    virtual void extTextOut(Point at, unsigned options, const Rect* rect, std::string_view utf8) = 0;
    void textOut(Point at, std::string_view utf8) { extTextOut(at, 0, nullptr, utf8); }
    // Fills with a brush without selecting it for good.
    void fillRect(const Rect& r, const Brush& brush);

    // Text measured with the selected font, the same for every back-end.
    TextMetrics textMetrics() const;
    Size textExtent(std::string_view utf8) const;
    // Text broken into lines at line breaks and, with DT_WORDBREAK, where a
    // line would pass the rectangle's right edge; written from the top-left
    // corner, one cell height a line, clipped to the rectangle. Answers the
    // height of the text.
    int drawText(std::string_view utf8, const Rect& rect, unsigned format);

protected:
    DeviceContext();

    struct ClipState {
        bool limited = false;  // false: the whole device
        Rect box;
        std::shared_ptr<const Region> region;
    };
    struct State {
        Pen pen;
        Brush brush = Brush::solid(0xFFFFFF);
        Font font;
        Color textColor = 0;
        Color bkColor = 0xFFFFFF;
        int bkMode = OPAQUE;
        int rop2 = R2_COPYPEN;
        int polyFillMode = ALTERNATE;
        ClipState clip;
    };
    enum class Change { Pen, Brush, Font, TextColor, BkColor, BkMode, Rop2, PolyFillMode };

    const State& state() const { return state_; }
    // The device's own extent: the clip of a context with no clip set.
    virtual Rect deviceBounds() const = 0;
    // Hooks of the recording back-end.
    virtual void changed(Change) {}
    virtual void clipIntersected(const Rect&) {}
    virtual void clipRegionSelected(const Region*) {}
    virtual void saved() {}
    virtual void restored(int /*levelsDropped*/) {}

private:
    State state_;
    std::vector<State> saved_;
};

}  // namespace fg::desktop
