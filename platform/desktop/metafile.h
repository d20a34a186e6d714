// Metafiles: the recording back-end of the drawing interface writes each
// call as a record of a standard metafile (16-bit coordinates), for the
// metafile save, the clipboard picture and tests that look at what a painter
// did. Pens, brushes and fonts become objects created when selected and
// deleted once no current or saved state holds them; text is written in
// code page 932. A clip region cannot be recorded: painters clip metafiles
// by rectangles only.
#pragma once

#include "platform/desktop/drawing.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fg::desktop {

// Record functions written here.
namespace meta {
inline constexpr std::uint16_t EOF_ = 0x0000, SAVEDC = 0x001E, SETBKMODE = 0x0102, SETMAPMODE = 0x0103,
                               SETROP2 = 0x0104, SETPOLYFILLMODE = 0x0106, RESTOREDC = 0x0127,
                               SELECTOBJECT = 0x012D, DIBCREATEPATTERNBRUSH = 0x0142, DELETEOBJECT = 0x01F0,
                               SETBKCOLOR = 0x0201, SETTEXTCOLOR = 0x0209, SETWINDOWORG = 0x020B,
                               SETWINDOWEXT = 0x020C, CREATEPENINDIRECT = 0x02FA, CREATEFONTINDIRECT = 0x02FB,
                               CREATEBRUSHINDIRECT = 0x02FC, POLYGON = 0x0324, POLYLINE = 0x0325,
                               INTERSECTCLIPRECT = 0x0416, ELLIPSE = 0x0418, RECTANGLE = 0x041B, TEXTOUT = 0x0521,
                               PATBLT = 0x061D, EXTTEXTOUT = 0x0A32, STRETCHDIB = 0x0F43;
}  // namespace meta

inline constexpr int MM_TEXT = 1;

// The bytes of a standard metafile: its 18-byte header, its records, the
// end record.
class Metafile {
public:
    Metafile() = default;
    explicit Metafile(std::string bits) : bits_(std::move(bits)) {}
    const std::string& bits() const { return bits_; }
    [[nodiscard]] bool empty() const { return bits_.empty(); }

private:
    std::string bits_;
};

struct MetafileRecord {
    std::uint16_t function = 0;
    std::vector<std::uint16_t> params;
    bool operator==(const MetafileRecord&) const = default;
};
// The records of a metafile up to its end record, for a reader that checks
// what was drawn; "RECTANGLE" and so on for the functions above.
std::vector<MetafileRecord> metafileRecords(const Metafile& metafile);
std::string metafileFunctionName(std::uint16_t function);

// The 22-byte header that places a metafile: key, bounds, units per inch
// and the checksum of its first ten words. The bounds are kept to 16 bits.
std::string placeableHeader(const Rect& bounds, std::uint16_t unitsPerInch);

class MetafileRecorder : public DeviceContext {
public:
    MetafileRecorder();
    ~MetafileRecorder() override;

    void setMapMode(int mode);
    void setWindowOrg(Point origin);
    void setWindowExt(Size extent);
    // Ends the recording; later calls record nothing.
    Metafile close();

    int deviceCaps(int index) const override;
    void rectangle(const Rect& r) override;
    void ellipse(const Rect& r) override;
    void polygon(std::span<const Point> points) override;
    void polyline(std::span<const Point> points) override;
    void patBlt(const Rect& r, std::uint32_t rop) override;
    void stretchBlt(const Rect& destination, const image::Image& source, const Rect& sourceRect,
                    std::uint32_t rop) override;
    void extTextOut(Point at, unsigned options, const Rect* rect, std::string_view utf8) override;

protected:
    Rect deviceBounds() const override;
    void changed(Change what) override;
    void clipIntersected(const Rect& r) override;
    void saved() override;
    void restored(int levelsDropped) override;

private:
    struct Held {
        int pen = -1, brush = -1, font = -1;
    };
    void record(std::uint16_t function, const std::vector<std::uint16_t>& params);
    void select(int Held::*which, std::uint16_t createFunction, const std::vector<std::uint16_t>& params);
    void release(const Held& held);

    std::vector<std::uint16_t> words_;
    std::uint32_t maxRecord_ = 0;
    std::vector<int> holders_;  // per object slot: how many states hold it (0: free)
    Held current_;
    std::vector<Held> saved_;
    bool closed_ = false;
};

}  // namespace fg::desktop
