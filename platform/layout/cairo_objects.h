// Owners of the cairo and pango objects that the sheet renderer and the
// drawing layer make, so that every exit path lets go of them.
#pragma once

#include "platform/owned.h"

#include <cairo.h>
#include <pango/pangocairo.h>

namespace fg {

// The call that gives back each kind of object.
template <class T>
constexpr auto kCairoRelease = nullptr;
template <>
constexpr auto kCairoRelease<cairo_surface_t> = cairo_surface_destroy;
template <>
constexpr auto kCairoRelease<cairo_t> = cairo_destroy;
template <>
constexpr auto kCairoRelease<PangoLayout> = g_object_unref;
template <>
constexpr auto kCairoRelease<PangoContext> = g_object_unref;
template <>
constexpr auto kCairoRelease<PangoFontDescription> = pango_font_description_free;
template <>
constexpr auto kCairoRelease<PangoFontMetrics> = pango_font_metrics_unref;
template <>
constexpr auto kCairoRelease<PangoAttrList> = pango_attr_list_unref;

template <class T>
using CairoOwned = Owned<T*, kCairoRelease<T>>;

}  // namespace fg
