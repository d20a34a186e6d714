#include "platform/desktop/font_engine.h"

#include "platform/error.h"
#include "platform/text.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace fg::desktop {

namespace {

// The faces the engine names, and the faces installed in their place:
// the Liberation faces keep the metrics of the Latin ones.
struct FaceMapping {
    const char* name;
    const char* family;
};
constexpr FaceMapping kFaces[] = {
    {"Arial", "Liberation Sans"},
    {"MS Sans Serif", "Liberation Sans"},
    {"Times New Roman", "Liberation Serif"},
    {"Courier New", "Liberation Mono"},
    {"ＭＳ Ｐゴシック", "IPAPGothic"},
    {"ＭＳ ゴシック", "IPAGothic"},
    {"ＭＳ Ｐ明朝", "IPAPMincho"},
    {"ＭＳ 明朝", "IPAMincho"},
};
constexpr const char* kFallback = "Liberation Sans,IPAPGothic";
// The widest line width the engine can take, in pels.
constexpr int kWidestWrap = std::numeric_limits<int>::max() / PANGO_SCALE;
// The cell height of a font that gives none.
constexpr int kDefaultCellHeight = 16;

int pels(int pangoUnits) { return static_cast<int>(std::lround(static_cast<double>(pangoUnits) / PANGO_SCALE)); }

}  // namespace

FontEngine& FontEngine::instance() {
    static FontEngine engine;
    return engine;
}

FontEngine::FontEngine() : context_(pango_font_map_create_context(pango_cairo_font_map_get_default())) {
    if (!context_) throw Error(errnum::OutOfMemory, "no font context", "desktop");
    // Unhinted metrics: the same text measures the same wherever it is drawn.
    const CairoOwned<cairo_font_options_t> options(cairo_font_options_create());
    cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_GRAY);
    pango_cairo_context_set_font_options(context_.get(), options.get());
    pango_context_set_language(context_.get(), pango_language_from_string("ja"));
}

std::string FontEngine::family(const std::string& faceName) {
    if (faceName.empty()) return kFallback;
    for (const FaceMapping& f : kFaces)
        if (text::iequals(faceName, f.name)) return std::string(f.family) + "," + kFallback;
    return faceName + "," + kFallback;
}

CairoOwned<PangoFontDescription> FontEngine::describe(const Font& font) {
    CairoOwned<PangoFontDescription> fd(pango_font_description_new());
    pango_font_description_set_family(fd.get(), family(font.faceName).c_str());
    pango_font_description_set_weight(fd.get(), static_cast<PangoWeight>(std::clamp(font.weight ? font.weight : 400, 100, 1000)));
    pango_font_description_set_style(fd.get(), font.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    pango_font_description_set_absolute_size(fd.get(), emPixels(font) * PANGO_SCALE);
    return fd;
}

// A negative height is the em itself; a positive one the cell, of which
// the em is the share that the face's ascent and descent leave.
double FontEngine::emPixels(const Font& font) {
    if (font.height < 0) return -static_cast<double>(font.height);
    const int cell = font.height > 0 ? font.height : kDefaultCellHeight;
    Font reference = font;
    reference.height = -100;
    const TextMetrics m = metrics(reference);
    return m.height > 0 ? cell * 100.0 / m.height : cell;
}

TextMetrics FontEngine::metrics(const Font& font) {
    const std::string key = std::to_string(font.height) + "/" + std::to_string(font.weight) + "/" +
                            std::to_string(font.italic) + "/" + font.faceName;
    if (auto it = metrics_.find(key); it != metrics_.end()) return it->second;
    CairoOwned<PangoFontDescription> fd = describe(font);
    CairoOwned<PangoFontMetrics> pm(pango_context_get_metrics(context_.get(), fd.get(), nullptr));
    TextMetrics m;
    m.ascent = pels(pango_font_metrics_get_ascent(pm.get()));
    m.descent = pels(pango_font_metrics_get_descent(pm.get()));
    m.height = m.ascent + m.descent;
    m.internalLeading = std::max(0, m.height - static_cast<int>(std::lround(emPixels(font))));
    m.externalLeading = std::max(0, pels(pango_font_metrics_get_height(pm.get())) - m.height);
    m.aveCharWidth = pels(pango_font_metrics_get_approximate_char_width(pm.get()));
    metrics_.emplace(key, m);
    return m;
}

CairoOwned<PangoLayout> FontEngine::layout(const Font& font, std::string_view utf8) {
    CairoOwned<PangoLayout> layout(pango_layout_new(context_.get()));
    CairoOwned<PangoFontDescription> fd = describe(font);
    pango_layout_set_font_description(layout.get(), fd.get());
    CairoOwned<PangoAttrList> attrs(pango_attr_list_new());
    if (font.underline) pango_attr_list_insert(attrs.get(), pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
    if (font.strikeOut) pango_attr_list_insert(attrs.get(), pango_attr_strikethrough_new(TRUE));
    pango_layout_set_attributes(layout.get(), attrs.get());
    pango_layout_set_text(layout.get(), utf8.data(), static_cast<int>(utf8.size()));
    return layout;
}

Size FontEngine::extent(const Font& font, std::string_view utf8) {
    CairoOwned<PangoLayout> l = layout(font, utf8);
    PangoRectangle logical;
    pango_layout_get_extents(l.get(), nullptr, &logical);
    return {pels(logical.width), metrics(font).height};
}

std::vector<std::string> FontEngine::lines(const Font& font, std::string_view text, int width) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        const std::string_view paragraph = text.substr(start, end == std::string_view::npos ? end : end - start);
        if (width <= 0 || paragraph.empty()) {
            out.emplace_back(paragraph);
        } else {
            CairoOwned<PangoLayout> l = layout(font, paragraph);
            // The engine's widths are ints of 1/1024 pel: a wider box (a
            // note of a hostile file) is clamped to the widest it holds, far
            // beyond any surface, rather than overflowing.
            pango_layout_set_width(l.get(), std::min(width, kWidestWrap) * PANGO_SCALE);
            pango_layout_set_wrap(l.get(), PANGO_WRAP_WORD);
            for (GSList* it = pango_layout_get_lines_readonly(l.get()); it; it = it->next) {
                const auto* line = static_cast<PangoLayoutLine*>(it->data);
                std::string piece(paragraph.substr(static_cast<std::size_t>(line->start_index),
                                                   static_cast<std::size_t>(line->length)));
                // The space where a line was broken belongs to neither line.
                while (!piece.empty() && piece.back() == ' ') piece.pop_back();
                out.push_back(std::move(piece));
            }
        }
        if (end == std::string_view::npos) break;
        // One line end: CR LF, LF CR, or a lone CR or LF.
        std::size_t next = end + 1;
        if (next < text.size() && (text[next] == '\r' || text[next] == '\n') && text[next] != text[end]) ++next;
        start = next;
        if (start == text.size()) break;
    }
    return out;
}

}  // namespace fg::desktop
