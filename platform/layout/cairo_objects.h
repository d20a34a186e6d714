// Owners of the cairo and pango objects that the sheet renderer and the
// drawing layer make, so that every exit path lets go of them.
#pragma once

#include "platform/owned.h"

#include <cairo.h>
#include <pango/pangocairo.h>

namespace fg {

// The call that gives back each kind of object.
inline void releaseCairo(cairo_surface_t* s) { cairo_surface_destroy(s); }
inline void releaseCairo(cairo_t* c) { cairo_destroy(c); }
inline void releaseCairo(cairo_font_options_t* o) { cairo_font_options_destroy(o); }
inline void releaseCairo(PangoLayout* l) { g_object_unref(l); }
inline void releaseCairo(PangoContext* c) { g_object_unref(c); }
inline void releaseCairo(PangoFontDescription* f) { pango_font_description_free(f); }
inline void releaseCairo(PangoFontMetrics* m) { pango_font_metrics_unref(m); }
inline void releaseCairo(PangoAttrList* a) { pango_attr_list_unref(a); }

template <class T>
using CairoOwned = Owned<T*, static_cast<void (*)(T*)>(releaseCairo)>;

}  // namespace fg
