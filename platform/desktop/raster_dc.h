// The raster back-end of the drawing interface: shapes are laid down without
// smoothing as a coverage mask, then combined pel by pel with the
// destination by the bitwise raster operation, so that an outline drawn
// twice with R2_XORPEN or R2_NOT leaves the pels exactly as they were and
// R2_MASKPEN gives exactly the AND of the colours. Text is smoothed and
// blended in the text colour.
#pragma once

#include "platform/desktop/drawing.h"

#include <functional>
#include <memory>

struct _cairo;

namespace fg::desktop {

class RasterDC : public DeviceContext {
public:
    // Draws into `surface`, an Rgb32 image that outlives the context.
    // `technology` is DT_RASDISPLAY for a window, DT_RASPRINTER for a page.
    explicit RasterDC(image::Image& surface, int technology = DT_RASDISPLAY, int dpiX = 96, int dpiY = 96);
    ~RasterDC() override;

    int deviceCaps(int index) const override;
    void rectangle(const Rect& r) override;
    void ellipse(const Rect& r) override;
    void polygon(std::span<const Point> points) override;
    void polyline(std::span<const Point> points) override;
    void patBlt(const Rect& r, std::uint32_t rop) override;
    void stretchBlt(const Rect& destination, const image::Image& source, const Rect& sourceRect,
                    std::uint32_t rop) override;
    void extTextOut(Point at, unsigned options, const Rect* rect, std::string_view utf8) override;

    const image::Image& surface() const { return surface_; }

protected:
    Rect deviceBounds() const override;

private:
    struct Coverage;
    // Adds a path to a cairo context.
    using Path = std::function<void(::_cairo*)>;
    // A shape within `bounds`: `fill` filled with the brush (none: no
    // fill), then `outline` stroked with the pen (none: no outline).
    void shape(Rect bounds, const Path& fill, const Path& outline);
    template <class SourceFn>
    void combine(const Coverage& coverage, const Coverage* except, std::uint8_t table, SourceFn&& source);
    [[nodiscard]] bool inRegion(int x, int y);

    image::Image& surface_;
    int technology_;
    int dpiX_, dpiY_;
    std::shared_ptr<const Region> maskedRegion_;
    std::unique_ptr<Coverage> regionMask_;
};

// A context on a bitmap of any format: it draws into a 32-bit copy that is
// written back into the bitmap, in the bitmap's own format, when the
// context ends (an Rgb32 bitmap is drawn into directly).
class BitmapDC : public RasterDC {
public:
    explicit BitmapDC(image::Image& bitmap, int dpiX = 96, int dpiY = 96);
    ~BitmapDC() override;

private:
    struct Copy {
        explicit Copy(image::Image& bitmap);
        image::Image& surface();
        image::Image& target;
        image::Image work;
    };
    BitmapDC(std::unique_ptr<Copy> copy, int dpiX, int dpiY);
    std::unique_ptr<Copy> copy_;
};

}  // namespace fg::desktop
