// Owning pointers for the cairo and pango objects that the sheet renderer
// and the drawing layer make, so that every exit path lets go of them.
#pragma once

#include <cairo.h>
#include <pango/pangocairo.h>

#include <memory>

namespace fg {

struct CairoDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
    void operator()(cairo_t* c) const { cairo_destroy(c); }
    void operator()(PangoLayout* l) const { g_object_unref(l); }
    void operator()(PangoContext* c) const { g_object_unref(c); }
    void operator()(PangoFontDescription* f) const { pango_font_description_free(f); }
    void operator()(PangoFontMetrics* m) const { pango_font_metrics_unref(m); }
    void operator()(PangoAttrList* a) const { pango_attr_list_unref(a); }
};
template <class T>
using CairoOwned = std::unique_ptr<T, CairoDeleter>;

}  // namespace fg
