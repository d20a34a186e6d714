// Attributes: the lists of kinds each applies to, the setter that walks the
// objects the selection flags choose, and the getter.
#pragma once

#include "annotation/object.h"

#include <cstdint>
#include <string_view>
#include <variant>

namespace fg::annotation {

// Kind lists, in their stored order, ended by -1.
inline constexpr int kAllKinds[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, -1};
inline constexpr int kActiveKinds[] = {2, 3, 7, 16, -1};
inline constexpr int kBitmapKinds[] = {14, -1};
inline constexpr int kFontKinds[] = {9, 15, 16, 14, -1};
inline constexpr int kForeColorKinds[] = {0, 1, 3, 4, 5, 8, 9, 10, 11, 12, 15, 16, 14, -1};
inline constexpr int kBackColorKinds[] = {0, 4, 5, 6, 9, 10, 12, 13, 15, 16, 14, -1};
inline constexpr int kLineKinds[] = {0, 1, 4, 5, 8, 10, 11, 12, 16, 14, -1};
inline constexpr int kFillModeKinds[] = {0, 4, 10, 12, 16, 15, 14, -1};
inline constexpr int kFillPatternKinds[] = {0, 4, 10, 12, 16, 14, -1};
inline constexpr int kPolyFillModeKinds[] = {10, 16, -1};
inline constexpr int kTextKinds[] = {2, 3, 9, 15, 14, -1};
inline constexpr int kAutomationKinds[] = {16, -1};

bool annKindIn(const int* kinds, std::uint32_t kind);

enum class Attribute {
    Visible, Selected, Tag, FontBold, FontItalic, FontStrikeThrough, FontUnderline, ForeColor, BackColor,
    LineWidth, LineStyle, FillPattern, FillMode, PolyFillMode, FontSize, ScalarX, ScalarY, OffsetX, OffsetY,
    Text, FontName, Bitmap, Wnd, UserMode, ActiveState, Tool, AutoContainer, AutoMenuEnable, AutoDrawEnable,
    DpiX, DpiY
};

// 32-bit values (booleans, colours, numbers), doubles, strings (bytes; an
// empty one clears), a bitmap record (null clears) and handles or windows.
using PropertyValue = std::variant<std::uint32_t, double, std::string_view, const desktop::Bitmap*, std::uintptr_t>;

// Stores the value in the object, or with flag 4 in its children, and with
// flag 8 below them too. An object the flags 1 or 2 leave out is passed
// over; one whose kind is not in `kinds` ends the walk with -16, or with
// flag 8 is passed over. Each object changed is refreshed before and after
// (flag 0x10: without invalidating). A string or bitmap that cannot be
// stored keeps the object's old value and ends the walk with -1.
int annSetProperty(AnnObject* object, const int* kinds, Attribute attribute, const PropertyValue& value,
                   unsigned flags);

// Reads one attribute of one object through `read`.
template <class T, class Read>
int annGetProperty(const AnnObject* object, const int* kinds, T* out, Read&& read) {
    if (!object || !out) return ANN_ERROR_INVALID_PARAMETER;
    if (!annKindIn(kinds, object->Type)) return ANN_ERROR_NOT_SUPPORTED;
    *out = read(*object);
    return ANN_SUCCESS;
}

}  // namespace fg::annotation
