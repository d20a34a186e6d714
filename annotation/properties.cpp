#include "annotation/properties.h"

#include "annotation/bounds.h"
#include "annotation/guard.h"
#include "annotation/save_load.h"
#include "annotation/tree.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace fg::annotation {

bool annKindIn(const int* kinds, std::uint32_t kind) {
    for (; *kinds != -1; ++kinds)
        if (static_cast<std::uint32_t>(*kinds) == kind) return true;
    return false;
}

namespace {

std::uint32_t u32(const PropertyValue& v) { return std::get<std::uint32_t>(v); }
double real(const PropertyValue& v) { return std::get<double>(v); }

// Writes the value into one object; a store that fails leaves the object
// as it was.
int store(AnnObject& o, Attribute a, const PropertyValue& v) {
    switch (a) {
    case Attribute::Visible: o.Visible = static_cast<std::int32_t>(u32(v)); break;
    case Attribute::Selected: o.Selected = static_cast<std::int32_t>(u32(v)); break;
    case Attribute::Tag: o.Tag = u32(v); break;
    case Attribute::FontBold: o.FontBold = static_cast<std::int32_t>(u32(v)); break;
    case Attribute::FontItalic: o.FontItalic = static_cast<std::int32_t>(u32(v)); break;
    case Attribute::FontStrikeThrough: o.FontStrikeThrough = static_cast<std::int32_t>(u32(v)); break;
    case Attribute::FontUnderline: o.FontUnderline = static_cast<std::int32_t>(u32(v)); break;
    case Attribute::ForeColor: o.ForeColor = u32(v); break;
    case Attribute::BackColor: o.BackColor = u32(v); break;
    case Attribute::LineWidth: o.LineWidth = real(v); break;
    case Attribute::LineStyle: o.LineStyle = u32(v); break;
    case Attribute::FillPattern: o.FillPattern = u32(v); break;
    case Attribute::FillMode: o.FillMode = u32(v); break;
    case Attribute::PolyFillMode: o.PolyFillMode = u32(v); break;
    case Attribute::FontSize: o.FontSize = real(v); break;
    case Attribute::ScalarX: o.ScalarX = real(v); break;
    case Attribute::ScalarY: o.ScalarY = real(v); break;
    case Attribute::OffsetX: o.OffsetX = real(v); break;
    case Attribute::OffsetY: o.OffsetY = real(v); break;
    case Attribute::Text:
        if (!o.Text.assign(std::get<std::string_view>(v))) return ANN_ERROR_NO_MEMORY;
        // A stamp shows either its text or its bitmap.
        desktop::freeBitmap(o.Bitmap);
        break;
    case Attribute::FontName:
        if (!o.FontName.assign(std::get<std::string_view>(v))) return ANN_ERROR_NO_MEMORY;
        break;
    case Attribute::Bitmap: {
        const desktop::Bitmap* from = std::get<const desktop::Bitmap*>(v);
        if (!from) {
            desktop::freeBitmap(o.Bitmap);
            break;
        }
        desktop::Bitmap copy;
        if (!desktop::copyBitmap(copy, *from)) return ANN_ERROR_INVALID_PARAMETER;
        o.Bitmap = std::move(copy);
        o.Text.clear();
        break;
    }
    case Attribute::Wnd: o.Wnd = std::get<std::uintptr_t>(v); break;
    case Attribute::UserMode: o.UserMode = u32(v); break;
    case Attribute::ActiveState: o.ActiveState = u32(v); break;
    case Attribute::Tool: o.Tool = u32(v); break;
    case Attribute::AutoContainer: o.AutoContainer = std::get<std::uintptr_t>(v); break;
    case Attribute::AutoMenuEnable: o.AutoMenuEnable = static_cast<std::int32_t>(u32(v)); break;
    case Attribute::AutoDrawEnable: o.AutoDrawEnable = static_cast<std::int32_t>(u32(v)); break;
    case Attribute::DpiX: o.DpiX = real(v); break;
    case Attribute::DpiY: o.DpiY = real(v); break;
    }
    return ANN_SUCCESS;
}

// The change protocol for every object the walk reaches, with the bounds
// of each subtree updated once before the values are stored and once after
// (an update per object reached would cost the square of a tree's depth).
// The walk goes down from each object with flag 8 and along the siblings
// with flag 4.
int setWalk(AnnObject* start, bool walk, const int* kinds, Attribute a, const PropertyValue& v, unsigned flags) {
    const bool recursive = flags & ANN_FLAG_RECURSIVE;
    std::vector<AnnObject*> chosen, tops;
    int result = ANN_SUCCESS;
    for (AnnObject* top = start; top && result == ANN_SUCCESS; top = walk ? top->NextSibling : nullptr) {
        for (AnnObject* o = top; o; o = recursive ? annNextBelow(o, top) : nullptr) {
            if (annExcluded(*o, flags)) continue;
            if (annKindIn(kinds, o->Type)) {
                chosen.push_back(o);
            } else if (!recursive) {
                result = ANN_ERROR_NOT_SUPPORTED;
                break;
            }
        }
        // Without flag 8 only the objects changed have their subtrees
        // refreshed, as before.
        if (recursive) tops.push_back(top);
    }
    if (!recursive) tops = chosen;
    auto refresh = [&] {
        for (AnnObject* o : chosen) annInvalidate(*o, flags);
        for (AnnObject* top : tops) annUpdateBounds(top, false);
        for (AnnObject* o : chosen) annInvalidate(*o, flags);
    };
    refresh();
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        if (const int r = store(*chosen[i], a, v); r != ANN_SUCCESS) {
            // What was stored stays; the walk ends at the failure.
            chosen.resize(i + 1);
            result = r;
            break;
        }
    }
    refresh();
    return result;
}

}  // namespace

int annSetProperty(AnnObject* object, const int* kinds, Attribute attribute, const PropertyValue& value,
                   unsigned flags) {
    if (!object) return ANN_ERROR_INVALID_PARAMETER;
    const bool children = flags & ANN_FLAG_CHILDREN;
    return setWalk(children ? object->FirstChild : object, children, kinds, attribute, value,
                   flags & ~unsigned(ANN_FLAG_CHILDREN));
}

}  // namespace fg::annotation

using namespace fg::annotation;

namespace {

int32_t set(ANNHANDLE object, const int* kinds, Attribute a, const PropertyValue& v, uint32_t flags) {
    return annGuard([&] { return annSetProperty(annLock(object), kinds, a, v, flags); });
}

// A value checked against the given object first: -13 for a value out of
// range, before anything changes.
template <class Check>
int32_t setChecked(ANNHANDLE object, const int* kinds, Attribute a, const PropertyValue& v, uint32_t flags,
                   Check&& valid) {
    return annGuard([&] {
        AnnObject* o = annLock(object);
        if (!o || !valid(*o)) return ANN_ERROR_INVALID_PARAMETER;
        return annSetProperty(o, kinds, a, v, flags);
    });
}

// Doubles must be finite, so that a saved tree loads back.
int32_t setReal(ANNHANDLE object, const int* kinds, Attribute a, double v, uint32_t flags, bool nonNegative) {
    return setChecked(object, kinds, a, v, flags, [&](const AnnObject&) { return annFinite(v) && !(nonNegative && v < 0); });
}

template <class T, class Read>
int32_t get(ANNHANDLE object, const int* kinds, T* out, Read&& read) {
    return annGuard([&] { return annGetProperty(annLock(object), kinds, out, read); });
}

int32_t getString(ANNHANDLE object, const int* kinds, char* out, const OwnedString AnnObject::*field) {
    return annGuard([&] {
        const AnnObject* o = annLock(object);
        if (!o || !out) return ANN_ERROR_INVALID_PARAMETER;
        if (!annKindIn(kinds, o->Type)) return ANN_ERROR_NOT_SUPPORTED;
        const OwnedString& s = o->*field;
        std::memcpy(out, s.c_str(), s.size() + 1);
        return ANN_SUCCESS;
    });
}

int32_t getLength(ANNHANDLE object, const int* kinds, int32_t* out, const OwnedString AnnObject::*field) {
    return get(object, kinds, out, [&](const AnnObject& o) { return static_cast<int32_t>((o.*field).size()); });
}

std::string_view bytesOf(const char* s) { return s ? std::string_view(s) : std::string_view(); }

}  // namespace

extern "C" {

int32_t K_AnnSetVisible(ANNHANDLE o, int32_t v, uint32_t f) { return set(o, kAllKinds, Attribute::Visible, uint32_t(v), f); }
int32_t K_AnnGetVisible(ANNHANDLE o, int32_t* v) { return get(o, kAllKinds, v, [](const AnnObject& x) { return x.Visible; }); }
int32_t K_AnnSetSelected(ANNHANDLE o, int32_t v, uint32_t f) { return set(o, kAllKinds, Attribute::Selected, uint32_t(v), f); }
int32_t K_AnnGetSelected(ANNHANDLE o, int32_t* v) { return get(o, kAllKinds, v, [](const AnnObject& x) { return x.Selected; }); }
int32_t K_AnnSetTag(ANNHANDLE o, uint32_t v, uint32_t f) { return set(o, kAllKinds, Attribute::Tag, v, f); }
int32_t K_AnnGetTag(ANNHANDLE o, uint32_t* v) { return get(o, kAllKinds, v, [](const AnnObject& x) { return x.Tag; }); }

int32_t K_AnnSetFontBold(ANNHANDLE o, int32_t v, uint32_t f) { return set(o, kFontKinds, Attribute::FontBold, uint32_t(v), f); }
int32_t K_AnnGetFontBold(ANNHANDLE o, int32_t* v) { return get(o, kFontKinds, v, [](const AnnObject& x) { return x.FontBold; }); }
int32_t K_AnnSetFontItalic(ANNHANDLE o, int32_t v, uint32_t f) { return set(o, kFontKinds, Attribute::FontItalic, uint32_t(v), f); }
int32_t K_AnnGetFontItalic(ANNHANDLE o, int32_t* v) { return get(o, kFontKinds, v, [](const AnnObject& x) { return x.FontItalic; }); }
int32_t K_AnnSetFontStrikeThrough(ANNHANDLE o, int32_t v, uint32_t f) {
    return set(o, kFontKinds, Attribute::FontStrikeThrough, uint32_t(v), f);
}
int32_t K_AnnGetFontStrikeThrough(ANNHANDLE o, int32_t* v) {
    return get(o, kFontKinds, v, [](const AnnObject& x) { return x.FontStrikeThrough; });
}
int32_t K_AnnSetFontUnderline(ANNHANDLE o, int32_t v, uint32_t f) {
    return set(o, kFontKinds, Attribute::FontUnderline, uint32_t(v), f);
}
int32_t K_AnnGetFontUnderline(ANNHANDLE o, int32_t* v) {
    return get(o, kFontKinds, v, [](const AnnObject& x) { return x.FontUnderline; });
}

int32_t K_AnnSetForeColor(ANNHANDLE o, ANNCOLOR v, uint32_t f) { return set(o, kForeColorKinds, Attribute::ForeColor, v, f); }
int32_t K_AnnGetForeColor(ANNHANDLE o, ANNCOLOR* v) { return get(o, kForeColorKinds, v, [](const AnnObject& x) { return x.ForeColor; }); }
int32_t K_AnnSetBackColor(ANNHANDLE o, ANNCOLOR v, uint32_t f) { return set(o, kBackColorKinds, Attribute::BackColor, v, f); }
int32_t K_AnnGetBackColor(ANNHANDLE o, ANNCOLOR* v) { return get(o, kBackColorKinds, v, [](const AnnObject& x) { return x.BackColor; }); }

int32_t K_AnnSetLineWidth(ANNHANDLE o, double v, uint32_t f) { return setReal(o, kLineKinds, Attribute::LineWidth, v, f, true); }
int32_t K_AnnGetLineWidth(ANNHANDLE o, double* v) { return get(o, kLineKinds, v, [](const AnnObject& x) { return x.LineWidth; }); }
int32_t K_AnnSetLineStyle(ANNHANDLE o, uint32_t v, uint32_t f) {
    return setChecked(o, kLineKinds, Attribute::LineStyle, v, f, [&](const AnnObject&) { return v <= ANN_LINE_NONE; });
}
int32_t K_AnnGetLineStyle(ANNHANDLE o, uint32_t* v) { return get(o, kLineKinds, v, [](const AnnObject& x) { return x.LineStyle; }); }
int32_t K_AnnSetFillPattern(ANNHANDLE o, uint32_t v, uint32_t f) {
    return setChecked(o, kFillPatternKinds, Attribute::FillPattern, v, f,
                      [&](const AnnObject&) { return v <= ANN_FILL_VERTICAL; });
}
int32_t K_AnnGetFillPattern(ANNHANDLE o, uint32_t* v) {
    return get(o, kFillPatternKinds, v, [](const AnnObject& x) { return x.FillPattern; });
}
int32_t K_AnnSetFillMode(ANNHANDLE o, uint32_t v, uint32_t f) {
    // Text is never translucent; only the object given is asked.
    return setChecked(o, kFillModeKinds, Attribute::FillMode, v, f, [&](const AnnObject& x) {
        return v <= ANN_FILLMODE_OPAQUE && !(v == ANN_FILLMODE_TRANSLUCENT && x.Type == ANN_TEXT);
    });
}
int32_t K_AnnGetFillMode(ANNHANDLE o, uint32_t* v) { return get(o, kFillModeKinds, v, [](const AnnObject& x) { return x.FillMode; }); }
int32_t K_AnnSetPolyFillMode(ANNHANDLE o, uint32_t v, uint32_t f) {
    return setChecked(o, kPolyFillModeKinds, Attribute::PolyFillMode, v, f,
                      [&](const AnnObject&) { return v <= ANN_POLYFILL_ALTERNATE; });
}
int32_t K_AnnGetPolyFillMode(ANNHANDLE o, uint32_t* v) {
    return get(o, kPolyFillModeKinds, v, [](const AnnObject& x) { return x.PolyFillMode; });
}
int32_t K_AnnSetFontSize(ANNHANDLE o, double v, uint32_t f) { return setReal(o, kFontKinds, Attribute::FontSize, v, f, true); }
int32_t K_AnnGetFontSize(ANNHANDLE o, double* v) { return get(o, kFontKinds, v, [](const AnnObject& x) { return x.FontSize; }); }

int32_t K_AnnSetScalarX(ANNHANDLE o, double v, uint32_t f) { return setReal(o, kAllKinds, Attribute::ScalarX, v, f, false); }
int32_t K_AnnGetScalarX(ANNHANDLE o, double* v) { return get(o, kAllKinds, v, [](const AnnObject& x) { return x.ScalarX; }); }
int32_t K_AnnSetScalarY(ANNHANDLE o, double v, uint32_t f) { return setReal(o, kAllKinds, Attribute::ScalarY, v, f, false); }
int32_t K_AnnGetScalarY(ANNHANDLE o, double* v) { return get(o, kAllKinds, v, [](const AnnObject& x) { return x.ScalarY; }); }
int32_t K_AnnSetOffsetX(ANNHANDLE o, double v, uint32_t f) { return setReal(o, kAllKinds, Attribute::OffsetX, v, f, false); }
int32_t K_AnnGetOffsetX(ANNHANDLE o, double* v) { return get(o, kAllKinds, v, [](const AnnObject& x) { return x.OffsetX; }); }
int32_t K_AnnSetOffsetY(ANNHANDLE o, double v, uint32_t f) { return setReal(o, kAllKinds, Attribute::OffsetY, v, f, false); }
int32_t K_AnnGetOffsetY(ANNHANDLE o, double* v) { return get(o, kAllKinds, v, [](const AnnObject& x) { return x.OffsetY; }); }

int32_t K_AnnSetText(ANNHANDLE o, const char* v, uint32_t f) { return set(o, kTextKinds, Attribute::Text, bytesOf(v), f); }
int32_t K_AnnGetText(ANNHANDLE o, char* v) { return getString(o, kTextKinds, v, &AnnObject::Text); }
int32_t K_AnnGetTextLen(ANNHANDLE o, int32_t* v) { return getLength(o, kTextKinds, v, &AnnObject::Text); }
// The name is written for the kinds with a text and read for the kinds
// with a font; the two lists differ.
int32_t K_AnnSetFontName(ANNHANDLE o, const char* v, uint32_t f) {
    return set(o, kTextKinds, Attribute::FontName, bytesOf(v), f);
}
int32_t K_AnnGetFontName(ANNHANDLE o, char* v) { return getString(o, kFontKinds, v, &AnnObject::FontName); }
int32_t K_AnnGetFontNameLen(ANNHANDLE o, int32_t* v) { return getLength(o, kFontKinds, v, &AnnObject::FontName); }

int32_t K_AnnSetBitmap(ANNHANDLE o, const ANNBITMAP* bitmap, uint32_t f) {
    // A record that holds no picture cannot be copied; nothing changes.
    return setChecked(o, kBitmapKinds, Attribute::Bitmap, bitmap, f,
                      [&](const AnnObject&) { return !bitmap || bitmap->holdsBitmap(); });
}

int32_t K_AnnGetBitmap(ANNHANDLE object, ANNBITMAP* bitmap) {
    return annGuard([&] {
        AnnObject* o = annLock(object);
        if (!o || !bitmap) return ANN_ERROR_INVALID_PARAMETER;
        if (!annKindIn(kBitmapKinds, o->Type)) return ANN_ERROR_NOT_SUPPORTED;
        *bitmap = fg::desktop::Bitmap{};
        if (!o->Bitmap.holdsBitmap()) return ANN_ERROR_NO_BITMAP;
        *bitmap = o->Bitmap;
        return ANN_SUCCESS;
    });
}

int32_t K_AnnSetRect(ANNHANDLE object, const RECTD* rect) {
    return annGuard([&] {
        AnnObject* o = annLock(object);
        if (!o || !rect) return ANN_ERROR_INVALID_PARAMETER;
        switch (o->Type) {
        case ANN_ARROW:
        case ANN_FREEHAND:
        case ANN_LINE:
        case ANN_POLYGON:
        case ANN_POLYLINE:
        case ANN_AUTOMATION: return ANN_ERROR_NOT_SUPPORTED;
        default: break;
        }
        if (!annFinite(*rect)) return ANN_ERROR_INVALID_PARAMETER;
        annRefresh(*o, 0);
        o->Corners[0] = {rect->left, rect->top};
        o->Corners[1] = {rect->left, rect->bottom};
        o->Corners[2] = {rect->right, rect->bottom};
        annRefresh(*o, 0);
        return ANN_SUCCESS;
    });
}

int32_t K_AnnSetPoints(ANNHANDLE object, const POINTD* points, uint32_t count) {
    return annGuard([&] {
        AnnObject* o = annLock(object);
        if (!o) return ANN_ERROR_INVALID_PARAMETER;
        switch (o->Type) {
        case ANN_ARROW:
        case ANN_FREEHAND:
        case ANN_LINE:
        case ANN_POLYGON:
        case ANN_POLYLINE: break;
        default: return ANN_ERROR_NOT_SUPPORTED;
        }
        if (!points) count = 0;
        for (uint32_t i = 0; i < count; ++i)
            if (!annFinite(points[i])) return ANN_ERROR_INVALID_PARAMETER;
        annRefresh(*o, 0);
        o->PointCount = 0;
        int r = ANN_SUCCESS;
        if (!o->Points.allocate(count)) {
            r = ANN_ERROR_NO_MEMORY;
        } else if (count) {
            std::memcpy(o->Points.data(), points, count * sizeof(POINTD));
            o->PointCount = count;
            // An arrow is drawn from its two points: a list of two sets them,
            // as a loaded arrow's does.
            if (o->Type == ANN_ARROW && count == 2) o->ArrowPoints[0] = points[0], o->ArrowPoints[1] = points[1];
        }
        annRefresh(*o, 0);
        return r;
    });
}

int32_t K_AnnSetWnd(ANNHANDLE object, ANNWND window) {
    return annGuard([&] {
        AnnObject* o = annLock(object);
        if (!o) return ANN_ERROR_INVALID_PARAMETER;
        return annSetProperty(annRoot(o), kAllKinds, Attribute::Wnd, std::uintptr_t(window), ANN_FLAG_RECURSIVE);
    });
}

int32_t K_AnnGetWnd(ANNHANDLE o, ANNWND* v) { return get(o, kAllKinds, v, [](const AnnObject& x) { return x.Wnd; }); }

int32_t K_AnnSetUserMode(ANNHANDLE object, uint32_t mode) {
    return annGuard([&] {
        AnnObject* o = annLock(object);
        if (!o || mode > ANN_MODE_RUN) return ANN_ERROR_INVALID_PARAMETER;
        return annSetProperty(annRoot(o), kAllKinds, Attribute::UserMode, mode, ANN_FLAG_RECURSIVE);
    });
}

int32_t K_AnnGetUserMode(ANNHANDLE o, uint32_t* v) { return get(o, kAllKinds, v, [](const AnnObject& x) { return x.UserMode; }); }
int32_t K_AnnGetActiveState(ANNHANDLE o, uint32_t* v) {
    return get(o, kActiveKinds, v, [](const AnnObject& x) { return x.ActiveState; });
}
int32_t K_AnnGetType(ANNHANDLE o, uint32_t* v) { return get(o, kAllKinds, v, [](const AnnObject& x) { return x.Type; }); }

}  // extern "C"
