#include "annotation/save_load.h"

#include "annotation/bounds.h"
#include "annotation/guard.h"
#include "annotation/metafile_output.h"
#include "annotation/properties.h"
#include "annotation/tree.h"
#include "platform/desktop/bitmap.h"
#include "platform/owned.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fg::annotation {

namespace {

constexpr std::string_view kBegin = "KTANNBEGIN", kEnd = "KTANNEND", kBlockBegin = "BLOCKBEGIN",
                           kBlockEnd = "BLOCKEND", kBeginObject = "BEGINOBJECT", kEndObject = "ENDOBJECT";

bool isPointKind(std::uint32_t kind) {
    return kind == ANN_FREEHAND || kind == ANN_LINE || kind == ANN_POLYGON || kind == ANN_POLYLINE;
}

// The lines of one block; after the first failure nothing more is written
// and the failure is the block's result.
class BlockWriter {
public:
    explicit BlockWriter(AnnStream& stream) : stream_(stream) {}
    int result() const { return result_; }
    void line(std::string_view text) {
        if (result_ == ANN_SUCCESS) result_ = annWriteLine(stream_, text);
    }
    void number(std::string_view keyword, std::uint32_t value) {
        line(keyword);
        line(annFormatUnsigned(value));
    }
    void flag(std::string_view keyword, std::int32_t value) { number(keyword, value != 0); }
    void real(std::string_view keyword, double value) {
        line(keyword);
        line(annFormatReal(value));
    }
    void point(const POINTD& p) {
        line(annFormatReal(p.x));
        line(annFormatReal(p.y));
    }
    void points(const POINTD* p, std::size_t count) {
        line("POINTS");
        line(annFormatUnsigned(static_cast<std::uint32_t>(count)));
        for (std::size_t i = 0; i < count; ++i) point(p[i]);
    }
    void encoded(std::string_view keyword, std::string_view bytes) {
        number(keyword, static_cast<std::uint32_t>(bytes.size()));
        if (result_ == ANN_SUCCESS)
            result_ = annEncodeText(stream_, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    void bitmap(const desktop::Bitmap& b) {
        line("BITMAP");
        if (result_ == ANN_SUCCESS) result_ = annWriteBitmap(stream_, b);
    }

private:
    AnnStream& stream_;
    int result_ = ANN_SUCCESS;
};

// Writes the objects a save chooses, each written container opened with
// "BLOCKBEGIN" just before the first chosen object below it and closed
// after the last.
class TreeWriter {
public:
    explicit TreeWriter(AnnStream& stream) : stream_(stream) {}

    int chosen(AnnObject& o) {
        for (auto& [container, written] : open_) {
            if (written) continue;
            if (const int r = annWriteObject(stream_, *container); r != ANN_SUCCESS) return r;
            if (const int r = annWriteLine(stream_, kBlockBegin); r != ANN_SUCCESS) return r;
            container->WriteMark = 1;
            written = true;
        }
        if (const int r = annWriteObject(stream_, o); r != ANN_SUCCESS) return r;
        o.WriteMark = 1;
        return ANN_SUCCESS;
    }

    // A container with children. Below it every object without children
    // is chosen, or with `selectedOnly` only the selected ones (a selected
    // container turns the switch off for its subtree).
    int walk(AnnObject& container, bool selectedOnly) {
        open_.emplace_back(&container, false);
        for (AnnObject* c = container.FirstChild; c; c = c->NextSibling) {
            int r = ANN_SUCCESS;
            if (c->FirstChild) r = walk(*c, selectedOnly && !c->Selected);
            else if (!selectedOnly || c->Selected) r = chosen(*c);
            if (r != ANN_SUCCESS) return r;
        }
        const bool written = open_.back().second;
        open_.pop_back();
        return written ? annWriteLine(stream_, kBlockEnd) : ANN_SUCCESS;
    }

private:
    AnnStream& stream_;
    std::vector<std::pair<AnnObject*, bool>> open_;
};

// Whether `bytes` more bytes can still follow: a count or length that
// claims more than the data holds is refused before anything is sized by
// it (each byte of code takes more than one character, each point more
// than four bytes of lines).
bool dataHolds(LineReader& lines, std::uint64_t bytes) {
    const std::int64_t left = annStreamRemaining(lines.stream());
    return left >= 0 && bytes <= static_cast<std::uint64_t>(left);
}

int readString(LineReader& lines, OwnedString& field) {
    field.clear();
    std::uint32_t length = 0;
    if (const int r = annReadUnsigned(lines, length); r != ANN_SUCCESS) return r;
    // The length and its terminator must fit in 32 bits.
    if (length == 0xFFFFFFFFu || !dataHolds(lines, length)) return ANN_ERROR_FILE_READ;
    std::string bytes(length, '\0');
    if (const int r = annDecodeText(lines, reinterpret_cast<std::uint8_t*>(bytes.data()), length); r != ANN_SUCCESS)
        return r;
    return field.assign(bytes) ? ANN_SUCCESS : ANN_ERROR_NO_MEMORY;
}

int readPoints(LineReader& lines, AnnObject& o) {
    o.PointCount = 0;
    o.Points.clear();
    std::uint32_t count = 0;
    if (const int r = annReadUnsigned(lines, count); r != ANN_SUCCESS) return r;
    // Sixteen bytes a point must fit in 32 bits.
    if (count > 0xFFFFFFFFu / sizeof(POINTD) || !dataHolds(lines, std::uint64_t(count) * 4)) return ANN_ERROR_FILE_READ;
    if (!o.Points.allocate(count)) return ANN_ERROR_NO_MEMORY;
    for (std::uint32_t i = 0; i < count; ++i) {
        POINTD& p = o.Points.data()[i];
        if (const int r = annReadReal(lines, p.x); r != ANN_SUCCESS) return r;
        if (const int r = annReadReal(lines, p.y); r != ANN_SUCCESS) return r;
    }
    o.PointCount = count;
    return ANN_SUCCESS;
}

// The geometry the kind keeps, from the points read; the list stays with
// the object whatever its kind.
void settlePoints(AnnObject& o) {
    const POINTD* p = o.Points.data();
    if (o.Type == ANN_ARROW) {
        if (o.PointCount == 2) std::copy(p, p + 2, o.ArrowPoints);
    } else if (!isPointKind(o.Type) && o.PointCount == 3) {
        std::copy(p, p + 3, o.Corners);
    }
}

enum class Value { Flag, Unsigned, Real, String, Points, Bitmap };

struct Keyword {
    std::string_view name;
    Value value;
    std::uint32_t AnnObject::*u32 = nullptr;
    std::int32_t AnnObject::*i32 = nullptr;
    double AnnObject::*real = nullptr;
    OwnedString AnnObject::*string = nullptr;
};

const Keyword kKeywords[] = {
    {.name = "VISIBLE", .value = Value::Flag, .i32 = &AnnObject::Visible},
    {.name = "TAG", .value = Value::Unsigned, .u32 = &AnnObject::Tag},
    {.name = "SCALARX", .value = Value::Real, .real = &AnnObject::ScalarX},
    {.name = "SCALARY", .value = Value::Real, .real = &AnnObject::ScalarY},
    {.name = "OFFSETX", .value = Value::Real, .real = &AnnObject::OffsetX},
    {.name = "OFFSETY", .value = Value::Real, .real = &AnnObject::OffsetY},
    {.name = "FORECOLOR", .value = Value::Unsigned, .u32 = &AnnObject::ForeColor},
    {.name = "BACKCOLOR", .value = Value::Unsigned, .u32 = &AnnObject::BackColor},
    {.name = "FONTBOLD", .value = Value::Flag, .i32 = &AnnObject::FontBold},
    {.name = "FONTITALIC", .value = Value::Flag, .i32 = &AnnObject::FontItalic},
    {.name = "FONTSTRIKETHROUGH", .value = Value::Flag, .i32 = &AnnObject::FontStrikeThrough},
    {.name = "FONTUNDERLINE", .value = Value::Flag, .i32 = &AnnObject::FontUnderline},
    {.name = "FONTSIZE", .value = Value::Real, .real = &AnnObject::FontSize},
    {.name = "FONTNAME", .value = Value::String, .string = &AnnObject::FontName},
    {.name = "LINEWIDTH", .value = Value::Real, .real = &AnnObject::LineWidth},
    {.name = "LINESTYLE", .value = Value::Unsigned, .u32 = &AnnObject::LineStyle},
    {.name = "FILLPATTERN", .value = Value::Unsigned, .u32 = &AnnObject::FillPattern},
    {.name = "FILLMODE", .value = Value::Unsigned, .u32 = &AnnObject::FillMode},
    {.name = "POLYFILLMODE", .value = Value::Unsigned, .u32 = &AnnObject::PolyFillMode},
    {.name = "TEXT", .value = Value::String, .string = &AnnObject::Text},
    {.name = "BITMAP", .value = Value::Bitmap},
    {.name = "POINTS", .value = Value::Points},
};

int readValue(LineReader& lines, AnnObject& o, const Keyword& k) {
    switch (k.value) {
    case Value::Flag:
    case Value::Unsigned: {
        std::uint32_t v = 0;
        if (const int r = annReadUnsigned(lines, v); r != ANN_SUCCESS) return r;
        if (k.u32) o.*k.u32 = v;
        else o.*k.i32 = v != 0;
        return ANN_SUCCESS;
    }
    case Value::Real: return annReadReal(lines, o.*k.real);
    case Value::String: return readString(lines, o.*k.string);
    case Value::Points: return readPoints(lines, o);
    case Value::Bitmap: return annReadBitmap(lines, o.Bitmap);
    }
    return ANN_ERROR_FILE_READ;
}

int readObjectBody(LineReader& lines, AnnObject& o) {
    for (;;) {
        std::string_view token;
        if (const int r = lines.next(token); r != ANN_SUCCESS) return r;
        if (token == kEndObject) {
            settlePoints(o);
            return ANN_SUCCESS;
        }
        const auto k = std::find_if(std::begin(kKeywords), std::end(kKeywords),
                                    [&](const Keyword& kw) { return kw.name == token; });
        if (k == std::end(kKeywords)) return ANN_ERROR_FILE_READ;
        if (const int r = readValue(lines, o, *k); r != ANN_SUCCESS) return r;
    }
}

bool supportedDepth(std::uint32_t bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// A row buffer of the kernel library's allocator, freed on every path.
using RowBuffer = Owned<std::uint8_t*, desktop::memoryFree>;
RowBuffer rowBuffer(std::size_t size) { return RowBuffer(static_cast<std::uint8_t*>(desktop::memoryAllocate(size))); }

// What a failed load made goes again: the outermost objects with all
// below them. The objects have no window, so no one is told.
void freeLoaded(AnnObject* first) {
    if (first) annDestroyTree(first, ANN_FLAG_NO_INVALIDATE, true);
}

// Runs a read; what it made is freed when it fails, by a result or an
// exception.
template <class Read, class Free>
int freedOnFailure(Read&& read, Free&& free) {
    int r;
    try {
        r = read();
    } catch (...) {
        free();
        throw;
    }
    if (r != ANN_SUCCESS) free();
    return r;
}

}  // namespace

AnnObject* annNextBelow(AnnObject* o, const AnnObject* top) {
    if (o->FirstChild) return o->FirstChild;
    for (; o && o != top; o = o->Container)
        if (o->NextSibling) return o->NextSibling;
    return nullptr;
}

int annWriteObject(AnnStream& stream, const AnnObject& o) {
    BlockWriter w(stream);
    const std::uint32_t kind = o.Type;
    w.line(kBeginObject);
    w.line(annFormatUnsigned(kind));
    w.flag("VISIBLE", o.Visible);
    w.number("TAG", o.Tag);
    w.real("SCALARX", o.ScalarX);
    w.real("SCALARY", o.ScalarY);
    w.real("OFFSETX", o.OffsetX);
    w.real("OFFSETY", o.OffsetY);
    if (annKindIn(kForeColorKinds, kind)) w.number("FORECOLOR", o.ForeColor);
    if (annKindIn(kBackColorKinds, kind)) w.number("BACKCOLOR", o.BackColor);
    if (annKindIn(kFontKinds, kind)) {
        w.flag("FONTBOLD", o.FontBold);
        w.flag("FONTITALIC", o.FontItalic);
        w.flag("FONTSTRIKETHROUGH", o.FontStrikeThrough);
        w.flag("FONTUNDERLINE", o.FontUnderline);
        w.real("FONTSIZE", o.FontSize);
        if (!o.FontName.empty()) w.encoded("FONTNAME", o.FontName.view());
    }
    if (annKindIn(kLineKinds, kind)) {
        w.real("LINEWIDTH", o.LineWidth);
        w.number("LINESTYLE", o.LineStyle);
    }
    if (annKindIn(kFillPatternKinds, kind)) w.number("FILLPATTERN", o.FillPattern);
    if (annKindIn(kFillModeKinds, kind)) w.number("FILLMODE", o.FillMode);
    if (annKindIn(kPolyFillModeKinds, kind)) w.number("POLYFILLMODE", o.PolyFillMode);
    if (annKindIn(kTextKinds, kind) && !o.Text.empty()) w.encoded("TEXT", o.Text.view());
    if (annKindIn(kBitmapKinds, kind) && o.Bitmap.holdsBitmap()) w.bitmap(o.Bitmap);
    if (kind == ANN_ARROW) {
        w.points(o.ArrowPoints, 2);
    } else if (isPointKind(kind)) {
        const std::size_t count = std::min<std::size_t>(o.PointCount, o.Points.capacity());
        if (count >= 2) w.points(o.Points.data(), count);
    } else if (kind != ANN_AUTOMATION) {
        w.points(o.Corners, 3);
    }
    w.line(kEndObject);
    return w.result();
}

int annWriteBitmap(AnnStream& stream, const desktop::Bitmap& b) {
    BlockWriter w(stream);
    const int bits = b.bitsPerPixel();
    for (std::uint32_t v : {std::uint32_t(bits), std::uint32_t(b.image.width()), std::uint32_t(b.image.height()),
                            b.attributes[0], b.attributes[1]})
        w.line(annFormatUnsigned(v));
    if (w.result() != ANN_SUCCESS) return w.result();
    const std::size_t perLine = b.bytesPerLine();
    const RowBuffer row = rowBuffer(perLine);
    if (!row) return ANN_ERROR_NO_MEMORY;
    // The reader takes a palette of 2^bits entries, whatever the bitmap's
    // own count: the missing entries go as zeros.
    if (bits <= 8) {
        std::vector<std::uint8_t> entries = desktop::bitmapPaletteEntries(b);
        entries.resize(std::size_t(4) << bits, 0);
        if (const int r = annEncodeText(stream, entries.data(), entries.size()); r != ANN_SUCCESS) return r;
    }
    for (int y = 0; y < b.image.height(); ++y) {
        (void)desktop::getBitmapRow(b, y, row.get(), perLine);
        if (const int r = annEncodeText(stream, row.get(), perLine); r != ANN_SUCCESS) return r;
    }
    return ANN_SUCCESS;
}

int annWriteTree(AnnStream& stream, AnnObject* object, bool selectedOnly) {
    AnnObject* root = annRoot(object);
    for (AnnObject* o = root; o; o = annNextBelow(o, root)) o->WriteMark = 0;
    if (const int r = annWriteLine(stream, kBegin); r != ANN_SUCCESS) return r;
    TreeWriter writer(stream);
    int r = ANN_SUCCESS;
    if (object->FirstChild) {
        r = writer.walk(*object, selectedOnly && !object->Selected);
    } else if (!selectedOnly || object->Selected) {
        // A leaf goes inside its container's block, so that it loads again.
        if (AnnObject* container = object->Container) {
            r = annWriteObject(stream, *container);
            if (r == ANN_SUCCESS) r = annWriteLine(stream, kBlockBegin);
            if (r == ANN_SUCCESS) container->WriteMark = 1;
        }
        if (r == ANN_SUCCESS) r = annWriteObject(stream, *object);
        if (r == ANN_SUCCESS) object->WriteMark = 1;
        if (r == ANN_SUCCESS && object->Container) r = annWriteLine(stream, kBlockEnd);
    }
    return r == ANN_SUCCESS ? annWriteLine(stream, kEnd) : r;
}

int annCheckSavable(const AnnObject& object, std::uint32_t format) {
    if (format == ANN_FORMAT_METAFILE) {
        // The picture's frame is the root's bounds, which the metafile holds
        // in 16 signed bits.
        const AnnObject* root = &object;
        while (root->Container) root = root->Container;
        const desktop::Rect& b = root->BoundsRect;
        auto fits = [](std::int64_t v) { return v >= -32768 && v <= 32767; };
        const bool frame = fits(b.left) && fits(b.top) && fits(b.right) && fits(b.bottom) &&
                           fits(std::int64_t(b.right) - b.left) && fits(std::int64_t(b.bottom) - b.top);
        return frame ? ANN_SUCCESS : ANN_ERROR_INVALID_PARAMETER;
    }
    return annHeight(&object) > kMaxLoadDepth ? ANN_ERROR_INVALID_PARAMETER : ANN_SUCCESS;
}

int annWriteFormat(AnnStream& stream, AnnObject* object, std::uint32_t format, bool selectedOnly) {
    if (const int r = annCheckSavable(*object, format); r != ANN_SUCCESS) return r;
    return format == ANN_FORMAT_METAFILE ? annWriteMetafile(stream, object, selectedOnly)
                                         : annWriteTree(stream, object, selectedOnly);
}

int annSaveMemory(AnnObject* object, std::uint32_t format, bool selectedOnly, desktop::MemoryHandle* block,
                  std::uint32_t* size) {
    if (block) *block = 0;
    if (size) *size = 0;
    if (!object || !block || format > ANN_FORMAT_METAFILE) return ANN_ERROR_INVALID_PARAMETER;
    MemoryStream sink;
    if (const int r = annWriteFormat(sink, object, format, selectedOnly); r != ANN_SUCCESS) return r;
    const std::uint32_t written = sink.size();
    *block = sink.release();
    if (size) *size = written;
    return ANN_SUCCESS;
}

int annReadBitmap(LineReader& lines, desktop::Bitmap& bitmap) {
    desktop::freeBitmap(bitmap);
    std::uint32_t v[5] = {};
    for (std::uint32_t& value : v)
        if (const int r = annReadUnsigned(lines, value); r != ANN_SUCCESS) return r;
    const std::uint32_t bits = v[0], width = v[1], height = v[2];
    const auto maxSide = static_cast<std::uint32_t>(image::Image::kMaxSide);
    if (!supportedDepth(bits) || width == 0 || height == 0 || width > maxSide || height > maxSide)
        return ANN_ERROR_FILE_READ;
    const std::uint64_t perLine = (std::uint64_t(width) * bits + 7) / 8;
    const std::uint64_t paletteBytes = bits <= 8 ? std::uint64_t(4) << bits : 0;
    if (!dataHolds(lines, paletteBytes + perLine * height)) return ANN_ERROR_FILE_READ;

    image::Palette palette;
    if (paletteBytes) {
        std::uint8_t entries[4 << 8];
        if (const int r = annDecodeText(lines, entries, paletteBytes); r != ANN_SUCCESS) return r;
        for (std::size_t i = 0; i < paletteBytes; i += 4) palette.push_back({entries[i], entries[i + 1], entries[i + 2]});
    }
    desktop::Bitmap made;
    if (!desktop::createBitmap(made, static_cast<int>(width), static_cast<int>(height), static_cast<int>(bits),
                               paletteBytes ? &palette : nullptr, v[3], v[4]))
        return ANN_ERROR_FILE_READ;
    const RowBuffer row = rowBuffer(perLine);
    if (!row) return ANN_ERROR_NO_MEMORY;
    for (std::uint32_t y = 0; y < height; ++y) {
        if (const int r = annDecodeText(lines, row.get(), perLine); r != ANN_SUCCESS) return r;
        (void)desktop::putBitmapRow(made, static_cast<int>(y), row.get(), perLine);
    }
    bitmap = std::move(made);
    return ANN_SUCCESS;
}

int annReadObject(LineReader& lines, AnnObject** object) {
    *object = nullptr;
    std::uint32_t kind = 0;
    if (const int r = annReadUnsigned(lines, kind); r != ANN_SUCCESS) return r;
    if (kind > ANN_AUTOMATION) return ANN_ERROR_FILE_READ;
    AnnObject* o = annNewObject(kind);
    if (!o) return ANN_ERROR_NO_MEMORY;
    const int r = freedOnFailure([&] { return readObjectBody(lines, *o); }, [&] { annFreeObject(o); });
    if (r == ANN_SUCCESS) *object = o;
    return r;
}

namespace {

// The lines after "KTANNBEGIN" up to "KTANNEND". Objects are linked as
// they are read, below the first outermost one and after it, so that
// whatever happens everything read hangs from `first`.
int readLevels(LineReader& lines, AnnObject*& first) {
    // Each open level: its container (none outermost) and the last object
    // read into it.
    struct Level {
        AnnObject* container;
        AnnObject* last;
    };
    std::vector<Level> levels{{nullptr, nullptr}};
    for (;;) {
        std::string_view token;
        if (const int r = lines.next(token); r != ANN_SUCCESS) return r;
        Level& level = levels.back();
        if (token == kBeginObject) {
            AnnObject* o = nullptr;
            if (const int r = annReadObject(lines, &o); r != ANN_SUCCESS) return r;
            if (!level.container && !first) {
                first = o;
                if (o->Type != ANN_CONTAINER) return ANN_ERROR_FILE_READ;
            } else if (level.last) {
                level.last->NextSibling = o;
                o->PrevSibling = level.last;
            } else {
                level.container->FirstChild = o;
            }
            o->Container = level.container;
            level.last = o;
        } else if (token == kBlockBegin) {
            // A container takes one block: a second would orphan the first.
            AnnObject* container = level.last;
            if (!container || container->Type != ANN_CONTAINER || container->FirstChild ||
                levels.size() > kMaxLoadDepth)
                return ANN_ERROR_FILE_READ;
            levels.push_back({container, nullptr});
        } else if (token == kBlockEnd) {
            if (levels.size() == 1 || !level.last) return ANN_ERROR_FILE_READ;
            levels.pop_back();
        } else if (token == kEnd) {
            return levels.size() == 1 ? ANN_SUCCESS : ANN_ERROR_FILE_READ;
        } else {
            return ANN_ERROR_FILE_READ;
        }
    }
}

}  // namespace

int annReadTree(AnnStream& stream, AnnObject** root) {
    *root = nullptr;
    LineReader lines(stream);
    std::string_view token;
    if (const int r = lines.next(token); r != ANN_SUCCESS) return r;
    if (token != kBegin) return ANN_ERROR_FILE_READ;
    AnnObject* first = nullptr;
    if (const int r = freedOnFailure([&] { return readLevels(lines, first); }, [&] { freeLoaded(first); });
        r != ANN_SUCCESS)
        return r;
    if (!first) {
        first = annNewObject(ANN_CONTAINER);
        if (!first) return ANN_ERROR_NO_MEMORY;
    }
    // Only the first outermost object is handed over; the caller could
    // never free any that followed it.
    if (AnnObject* extra = first->NextSibling) {
        first->NextSibling = nullptr;
        extra->PrevSibling = nullptr;
        freeLoaded(extra);
    }
    *root = first;
    return ANN_SUCCESS;
}

int annLoadTree(AnnStream& stream, AnnObject** root) {
    const int r = annReadTree(stream, root);
    if (r == ANN_SUCCESS) annUpdateBounds(*root, false);
    return r;
}

}  // namespace fg::annotation

using namespace fg::annotation;
using fg::desktop::FileAccess;
using fg::desktop::FileHandle;

namespace {

// A file the engine opened itself, closed on every path.
using OwnFile = fg::Owned<FileHandle, fg::desktop::fileClose, -1>;

int saveAt(FileHandle file, int32_t offset, uint32_t* written, AnnObject* o, uint32_t format, bool selectedOnly) {
    FileStream stream(file);
    const std::int64_t start = offset < 0 ? -1 : stream.seek(offset, kSeekStart);
    if (start < 0) return ANN_ERROR_FILE_SEEK;
    const int r = annWriteFormat(stream, o, format, selectedOnly);
    if (r == ANN_SUCCESS && written) {
        const std::int64_t end = stream.seek(0, kSeekCurrent);
        *written = end >= start ? static_cast<uint32_t>(end - start) : 0;
    }
    return r;
}

int loadAt(AnnStream& stream, int64_t offset, ANNHANDLE* object) {
    if (offset < 0 || stream.seek(offset, kSeekStart) != offset) return ANN_ERROR_FILE_SEEK;
    AnnObject* root = nullptr;
    const int r = annLoadTree(stream, &root);
    if (r == ANN_SUCCESS) *object = root->Self;
    return r;
}

}  // namespace

extern "C" {

int32_t K_AnnSave(const char* name, ANNHANDLE object, uint32_t format, int32_t selectedOnly) {
    return annGuard([&] {
        // Everything is checked before the file is created or emptied.
        AnnObject* o = annLock(object);
        if (!name || !o || format > ANN_FORMAT_METAFILE) return ANN_ERROR_INVALID_PARAMETER;
        if (const int r = annCheckSavable(*o, format); r != ANN_SUCCESS) return r;
        const OwnFile file(fg::desktop::fileOpen(name, FileAccess::CreateEmpty));
        if (!file) return ANN_ERROR_FILE_OPEN;
        return saveAt(file.get(), 0, nullptr, o, format, selectedOnly != 0);
    });
}

int32_t K_AnnSaveOffset(int32_t file, int32_t offset, uint32_t* written, ANNHANDLE object, uint32_t format,
                        int32_t selectedOnly) {
    return annGuard([&] {
        AnnObject* o = annLock(object);
        if (!o || format > ANN_FORMAT_METAFILE) return ANN_ERROR_INVALID_PARAMETER;
        return saveAt(file, offset, written, o, format, selectedOnly != 0);
    });
}

int32_t K_AnnSaveMemory(ANNHANDLE object, uint32_t format, int32_t selectedOnly, ANNMEMORY* memory, uint32_t* size) {
    return annGuard([&] { return annSaveMemory(annLock(object), format, selectedOnly != 0, memory, size); });
}

int32_t K_AnnLoad(const char* name, ANNHANDLE* object) {
    return annGuard([&] {
        if (!name || !object) return ANN_ERROR_INVALID_PARAMETER;
        *object = 0;
        const OwnFile file(fg::desktop::fileOpen(name, FileAccess::Read));
        if (!file) return ANN_ERROR_FILE_OPEN;
        FileStream stream(file.get());
        return loadAt(stream, 0, object);
    });
}

int32_t K_AnnLoadOffset(int32_t file, int32_t offset, ANNHANDLE* object) {
    return annGuard([&] {
        if (!object) return ANN_ERROR_INVALID_PARAMETER;
        *object = 0;
        FileStream stream(file);
        return loadAt(stream, offset, object);
    });
}

int32_t K_AnnLoadMemory(const void* text, uint32_t size, ANNHANDLE* object) {
    return annGuard([&] {
        if (!object || !text) return ANN_ERROR_INVALID_PARAMETER;
        *object = 0;
        MemoryStream stream(text, size);
        return loadAt(stream, 0, object);
    });
}

}  // extern "C"
