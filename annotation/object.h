// The annotation object record, the storage it owns, the handles that name
// records to callers, and creation with the defaults of each kind.
//
// Records, their strings and point arrays are blocks of the kernel
// library's allocator (desktop/global_memory.h), so a failed allocation
// answers ANN_ERROR_NO_MEMORY and tests can count what stays allocated.
// Inside a tree the links are plain pointers; across a call that may run
// the host's code (a notification, a callback) walks hold handles and look
// them up again, so a record freed meanwhile is never touched.
#pragma once

#include "annotation/matrix.h"
#include "annotation/zentrel.h"
#include "platform/desktop/bitmap.h"
#include "platform/desktop/menu.h"
#include "platform/desktop/window.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace fg::annotation {

// A string owned by a record: bytes as given, with a terminating zero;
// empty means none.
class OwnedString {
public:
    OwnedString() = default;
    ~OwnedString() { clear(); }
    OwnedString(const OwnedString&) = delete;
    OwnedString& operator=(const OwnedString&) = delete;

    // A new copy (null or "" gives none); false, the old value kept, when
    // the allocation fails.
    bool assign(std::string_view bytes);
    void clear();
    bool empty() const { return !bytes_; }
    std::size_t size() const { return size_; }
    const char* c_str() const { return bytes_ ? bytes_ : ""; }
    std::string_view view() const { return {c_str(), size_}; }

private:
    char* bytes_ = nullptr;
    std::size_t size_ = 0;
};

// The point array of freehand, line, polygon and polyline objects (and of
// any object while it is being drawn).
class PointBuffer {
public:
    PointBuffer() = default;
    ~PointBuffer() { clear(); }
    PointBuffer(const PointBuffer&) = delete;
    PointBuffer& operator=(const PointBuffer&) = delete;

    // Room for `capacity` points, the old ones dropped; false (and no room)
    // when the allocation fails.
    bool allocate(std::size_t capacity);
    // More room with the points kept; false (and the old room kept) when
    // the allocation fails.
    bool grow(std::size_t capacity);
    void clear();
    POINTD* data() { return points_; }
    const POINTD* data() const { return points_; }
    std::size_t capacity() const { return capacity_; }

private:
    POINTD* points_ = nullptr;
    std::size_t capacity_ = 0;
};

inline constexpr int kAutoTextCount = 71;

// A copy of a record (annCopyTree, copy.cpp) copies every field by name:
// a field added here is added there too.
struct AnnObject {
    std::uint32_t Type = 0;
    AnnObject* Container = nullptr;
    AnnObject* FirstChild = nullptr;
    AnnObject* PrevSibling = nullptr;
    AnnObject* NextSibling = nullptr;
    desktop::WindowHandle Wnd = 0;
    std::uint32_t ActiveState = 0;
    std::uint32_t UserMode = 0;
    std::uint32_t Tag = 0;
    std::int32_t Visible = 0;
    std::int32_t Selected = 0;
    std::int32_t FontBold = 0;
    std::int32_t FontItalic = 0;
    std::int32_t FontStrikeThrough = 0;
    std::int32_t FontUnderline = 0;
    double LineWidth = 0;
    std::uint32_t LineStyle = 0;
    std::uint32_t FillPattern = 0;
    std::uint32_t FillMode = 0;
    std::uint32_t PolyFillMode = 0;
    double FontSize = 0;
    ANNCOLOR ForeColor = 0;
    ANNCOLOR BackColor = 0;
    OwnedString FontName;
    OwnedString Text;
    desktop::Bitmap Bitmap;
    desktop::Rect BoundsRect;
    desktop::Rect VisibleRect;
    RECTD Rect{};
    POINTD Corners[3]{};
    POINTD ArrowPoints[2]{};
    double ArrowHeadSize[2]{};
    std::uint32_t PointCount = 0;
    PointBuffer Points;
    desktop::Point Handles[4];
    std::uint32_t HandleCount = 0;
    desktop::Point DefineAnchor;
    desktop::Point DefinePoint;
    RECTD GroupRect{};
    Matrix DragTransform;
    Matrix Transform;
    Matrix InverseTransform;
    std::int32_t DefineMode = 0;
    // Set by the first step of a creation whose point buffer could be had:
    // a record is zero-filled, so DefineMode 0 alone does not say that a
    // creation has begun.
    bool DefineCreating = false;
    POINTD Center{};
    double ScalarX = 0, ScalarY = 0;
    double OffsetX = 0, OffsetY = 0;
    std::int32_t WriteMark = 0;
    // The automation's own fields.
    double DpiX = 0, DpiY = 0;
    ANNHANDLE AutoContainer = 0;
    std::int32_t AutoCapturing = 0;
    ANNHANDLE AutoCurrent = 0;
    std::uint32_t Tool = 0;
    desktop::WindowProc AutoOldWndProc = nullptr;
    // The window whose procedure an active automation object replaced, so
    // that its procedure goes back there whatever became of the container.
    desktop::WindowHandle AutoWindow = 0;
    desktop::MenuHandle AutoMenu = 0;
    desktop::Rect AutoStartSquare;
    ANNCOLOR CustomColors[16]{};
    // UndoDepth + 1 slots of snapshot handles, newest first, the last
    // always 0; null while undo is off.
    ANNHANDLE* UndoList = nullptr;
    std::int32_t UndoDepth = 0;
    std::int32_t AutoCreating = 0;
    OwnedString AutoTexts[kAutoTextCount];
    std::int32_t AutoMenuEnable = 0;
    std::int32_t AutoDrawEnable = 0;

    // The handle that names this record.
    ANNHANDLE Self = 0;
    // Set while the host is told of the object's removal, so that a host
    // that destroys the object in its handler is not told again.
    bool Leaving = false;
};

// The record a handle names, or null for 0 and for a handle whose record
// was destroyed.
AnnObject* annLock(ANNHANDLE handle);
// How many objects are live.
std::size_t annLiveObjectCount();

// A new record of a kind with that kind's defaults, named by a new handle;
// null when the record cannot be allocated.
AnnObject* annNewObject(std::uint32_t kind);
// Frees a record that no tree holds any more, with everything it owns: its
// strings, points, bitmap, automation texts and undo snapshots. Its handle
// is dead afterwards.
void annFreeObject(AnnObject* object);
// Drops every undo snapshot (each with its subtree) and the list.
void annFreeUndoList(AnnObject& object);
// The automation texts an automation object starts with, in order.
std::string_view annDefaultAutoText(int index);

}  // namespace fg::annotation
