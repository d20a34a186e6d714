#include "platform/layout/sheet_renderer.h"

#include "platform/layout/cairo_objects.h"
#include "platform/layout/page_plan.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace fg::layout {

namespace {

// Text keeps this far from the edges of its cell, so that it never touches
// a border line.
constexpr double kPadX = 3.0;
constexpr double kPadY = 2.0;
// A text that does not fit its cell is made smaller, down to this share of
// its size (and never below kSmallest points unless it was smaller to begin
// with); what still does not fit then wraps.
constexpr double kLeastShare = 0.6;
constexpr double kSmallest = 6.0;
// The thinnest line we draw: at 200 pels per inch it is two pels wide, a
// line a fax machine prints clearly.
constexpr double kThin = 0.75;
// The footer's text size, in points.
constexpr double kFooterSize = 8.5;

template <class T>
using Owned = CairoOwned<T>;

cairo_status_t appendToString(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

struct Rect {
    double x, y, w, h;
};

// Colours on a page picture are darkness only (an alpha surface: black of
// the colour's darkness); on a PDF page they are the colours themselves.
void setInk(cairo_t* cr, const Color& c) {
    if (cairo_surface_get_content(cairo_get_target(cr)) == CAIRO_CONTENT_ALPHA) {
        const double luminance = (0.299 * c.r + 0.587 * c.g + 0.114 * c.b) / 255.0;
        cairo_set_source_rgba(cr, 0, 0, 0, 1.0 - luminance);
    } else {
        cairo_set_source_rgb(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0);
    }
}

// The footer line of page `number` of `count`.
std::string footerText(const std::string& pattern, int number, int count) {
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '&' && i + 1 < pattern.size()) {
            const char c = pattern[i + 1];
            if (c == 'P' || c == 'p') { out += std::to_string(number); ++i; continue; }
            if (c == 'N' || c == 'n') { out += std::to_string(count); ++i; continue; }
            if (c == '&') { out += '&'; ++i; continue; }
        }
        out += pattern[i];
    }
    return out;
}

using EdgeKey = std::pair<int, int>;  // (row, column)

// The line an edge gets from the cell before it (above or left) and from
// the cell after it. At a page's border only the line of the cell on the
// page is drawn: the bottom line of the last row of one page does not
// reappear at the top of the next.
struct Edge {
    LineStyle before = LineStyle::None;
    LineStyle after = LineStyle::None;
};

class SheetPainter {
public:
    SheetPainter(const Workbook& wb, const Sheet& sheet, const PagePlan& plan) : wb_(wb), sheet_(sheet) {
        const Area& a = plan.printed;
        colX_.assign(static_cast<std::size_t>(a.last.column) + 2, 0.0);
        for (int c = 1; c <= a.last.column; ++c)
            colX_[static_cast<std::size_t>(c) + 1] = colX_[static_cast<std::size_t>(c)] + sheet.columnWidth(c);
        rowY_.assign(static_cast<std::size_t>(a.last.row) + 2, 0.0);
        for (int r = 1; r <= a.last.row; ++r)
            rowY_[static_cast<std::size_t>(r) + 1] = rowY_[static_cast<std::size_t>(r)] + sheet.rowHeight(r);
        buildEdges();
    }

    // Page `number` of `count`: its title rows, then its own rows, then the
    // footer.
    void paint(cairo_t* cr, const PagePlan::Page& page, int number, int count) {
        const PageSetup& ps = sheet_.pageSetup;
        const double z = ps.zoom / 100.0;
        cairo_save(cr);
        layout_.reset(pango_cairo_create_layout(cr));
        PangoContext* context = pango_layout_get_context(layout_.get());
        pango_context_set_language(context, pango_language_from_string("ja"));
        // Glyphs are placed as the font designs them, not moved to whole
        // pels: a page picture and a PDF page lay out the same text alike.
        const Owned<cairo_font_options_t> options(cairo_font_options_create());
        cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
        cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_SLIGHT);
        pango_cairo_context_set_font_options(context, options.get());
        pango_context_set_round_glyph_positions(context, FALSE);
        pango_layout_context_changed(layout_.get());

        cairo_translate(cr, ps.leftMargin, ps.topMargin);
        cairo_scale(cr, z, z);
        double top = 0;
        for (const RowSpan& t : page.titles) {
            paintStrip(cr, {t.first, t.last, page.firstColumn, page.lastColumn, {}}, top);
            top += y(t.last + 1) - y(t.first);
        }
        paintStrip(cr, page, top);
        cairo_restore(cr);
        if (!ps.footer.empty()) paintFooter(cr, footerText(ps.footer, number, count));
        layout_.reset();
    }

private:
    double x(int column) const {
        return colX_[static_cast<std::size_t>(column)] - colX_[static_cast<std::size_t>(strip_.firstColumn)];
    }
    double y(int row) const {
        return rowY_[static_cast<std::size_t>(row)] - rowY_[static_cast<std::size_t>(strip_.firstRow)];
    }
    Rect rectOf(const Area& a) const {
        return {x(a.first.column), y(a.first.row), x(a.last.column + 1) - x(a.first.column),
                y(a.last.row + 1) - y(a.first.row)};
    }
    bool onStrip(const Area& a) const {
        return a.overlaps(Area{{strip_.firstRow, strip_.firstColumn}, {strip_.lastRow, strip_.lastColumn}});
    }

    // One band of rows drawn `top` points below the top of the printed area.
    void paintStrip(cairo_t* cr, const PagePlan::Page& strip, double top) {
        strip_ = strip;
        cairo_save(cr);
        cairo_translate(cr, 0, top);
        // Whatever belongs to the next band (a merged area that runs on, a
        // long text) stays off this one; the slack keeps the band's own
        // edge lines whole.
        const double slack = 1.5;
        cairo_rectangle(cr, -slack, -slack, x(strip.lastColumn + 1) + 2 * slack, y(strip.lastRow + 1) + 2 * slack);
        cairo_clip(cr);
        std::vector<std::pair<Area, const Cell*>> anchors = anchorsOnStrip();
        for (const auto& [area, cell] : anchors) paintFill(cr, area, *cell);
        for (const auto& [area, cell] : anchors)
            if (!cell->text.empty()) paintText(cr, area, *cell);
        paintEdges(cr);
        cairo_restore(cr);
    }

    // The cells that draw something: cells outside merged areas, and the
    // top-left cell of each merged area (standing for the whole area).
    std::vector<std::pair<Area, const Cell*>> anchorsOnStrip() const {
        std::vector<std::pair<Area, const Cell*>> out;
        auto it = sheet_.cells.lower_bound(CellRef{strip_.firstRow, 1});
        for (; it != sheet_.cells.end() && it->first.row <= strip_.lastRow; ++it) {
            const CellRef ref = it->first;
            if (ref.column < strip_.firstColumn || ref.column > strip_.lastColumn) continue;
            if (sheet_.mergeAt(ref)) continue;
            out.push_back({Area{ref, ref}, &it->second});
        }
        for (const Area& m : sheet_.merges) {
            if (!onStrip(m)) continue;
            if (const Cell* c = sheet_.cell(m.first)) out.push_back({m, c});
        }
        return out;
    }

    void paintFill(cairo_t* cr, const Area& area, const Cell& cell) {
        const CellStyle& st = wb_.styleOf(cell);
        if (!st.fill) return;
        Rect r = rectOf(area);
        setInk(cr, *st.fill);
        cairo_rectangle(cr, r.x, r.y, r.w, r.h);
        cairo_fill(cr);
    }

    void setFont(const Font& font, double size) {
        Owned<PangoFontDescription> fd(pango_font_description_new());
        pango_font_description_set_family(fd.get(), font.family.c_str());
        // Absolute size: the PDF's unit is the point, whatever resolution pango assumes.
        pango_font_description_set_absolute_size(fd.get(), size * PANGO_SCALE);
        pango_font_description_set_weight(fd.get(), font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
        pango_font_description_set_style(fd.get(), font.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
        pango_layout_set_font_description(layout_.get(), fd.get());
        Owned<PangoAttrList> attrs(pango_attr_list_new());
        if (font.underline) pango_attr_list_insert(attrs.get(), pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
        pango_layout_set_attributes(layout_.get(), attrs.get());
    }

    // The room a text has to the right of its cell: unwrapped left-aligned
    // text of a single cell runs on over the empty cells to its right, as on
    // a spreadsheet, as far as it needs.
    double runOnWidth(const Area& area, const Rect& r, double needed) const {
        double w = r.w;
        for (int c = area.first.column + 1; c <= strip_.lastColumn && w - 2 * kPadX < needed; ++c) {
            CellRef next{area.first.row, c};
            const Cell* n = sheet_.cell(next);
            if ((n && !n->text.empty()) || sheet_.mergeAt(next)) break;
            w = x(c + 1) - r.x;
        }
        return w;
    }

    struct Extents {
        double inkY, inkH, logX, logW, logH;
    };
    Extents measure() const {
        PangoRectangle ink, logical;
        pango_layout_get_extents(layout_.get(), &ink, &logical);
        const double k = 1.0 / PANGO_SCALE;
        return {ink.y * k, ink.height * k, logical.x * k, logical.width * k, logical.height * k};
    }

    // Lays the text out to fit inside the cell's padding: smaller where it is
    // too wide or too tall, and wrapped at the cell's width where even the
    // smallest size is too wide. Answers the width the text may use.
    double fitText(const Area& area, const CellStyle& st, const Cell& cell, const Rect& r, bool& wrapped,
                   Extents& e) {
        PangoLayout* layout = layout_.get();
        const double innerW = std::max(0.0, r.w - 2 * kPadX), innerH = std::max(0.0, r.h - 2 * kPadY);
        const double least = std::min(st.font.size, std::max(kSmallest, st.font.size * kLeastShare));
        wrapped = st.wrap;
        pango_layout_set_text(layout, cell.text.data(), static_cast<int>(cell.text.size()));
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
        double size = st.font.size, room = innerW;
        for (int tries = 0;; ++tries) {
            setFont(st.font, size);
            pango_layout_set_width(layout, wrapped ? static_cast<int>(innerW * PANGO_SCALE) : -1);
            e = measure();
            const bool runsOn = !wrapped && st.halign == HAlign::Left && area.first == area.last;
            room = runsOn ? runOnWidth(area, r, e.logW) - 2 * kPadX : innerW;
            const bool wide = !wrapped && e.logW > room + 0.01, tall = e.inkH > innerH + 0.01;
            if ((!wide && !tall) || tries >= 8) break;
            if (size <= least + 1e-6) {
                if (!wide || wrapped) break;
                wrapped = true;  // the smallest size is still too wide: wrap it instead
                continue;
            }
            double share = 0.98 * std::min(wide ? room / e.logW : 1.0, tall ? innerH / e.inkH : 1.0);
            if (wrapped) share = std::max(share, 0.85);  // wrapping flows again at each size
            size = std::max(least, size * std::min(share, 0.98));
        }
        return wrapped ? innerW : room;
    }

    void paintText(cairo_t* cr, const Area& area, const Cell& cell) {
        const CellStyle& st = wb_.styleOf(cell);
        PangoLayout* layout = layout_.get();
        Rect r = rectOf(area);
        bool wrapped = false;
        Extents e{};
        const double room = fitText(area, st, cell, r, wrapped, e);
        pango_layout_set_alignment(layout, st.halign == HAlign::Left     ? PANGO_ALIGN_LEFT
                                           : st.halign == HAlign::Center ? PANGO_ALIGN_CENTER
                                                                         : PANGO_ALIGN_RIGHT);
        double tx;
        if (wrapped) tx = r.x + kPadX;  // the layout is as wide as the cell and aligns itself
        else if (st.halign == HAlign::Left) tx = r.x + kPadX - e.logX;
        else if (st.halign == HAlign::Center) tx = r.x + (r.w - e.logW) / 2 - e.logX;
        else tx = r.x + r.w - kPadX - e.logW - e.logX;
        double ty = st.valign == VAlign::Top      ? r.y + kPadY
                    : st.valign == VAlign::Middle ? r.y + (r.h - e.logH) / 2
                                                  : r.y + r.h - kPadY - e.logH;
        // The ink, not only the line box, stays off the cell's edges.
        const double inkTop = ty + e.inkY, inkBottom = inkTop + e.inkH;
        if (inkBottom > r.y + r.h - kPadY) ty -= inkBottom - (r.y + r.h - kPadY);
        if (ty + e.inkY < r.y + kPadY) ty += r.y + kPadY - (ty + e.inkY);

        // What even the smallest size cannot fit is cut at the padding, so
        // that it never reaches a border or the next row.
        Rect clip{r.x + kPadX, r.y + kPadY, std::max(0.0, r.w - 2 * kPadX), std::max(0.0, r.h - 2 * kPadY)};
        if (!wrapped && room > clip.w) clip.w = room;
        cairo_save(cr);
        cairo_rectangle(cr, clip.x, clip.y, clip.w, clip.h);
        cairo_clip(cr);
        setInk(cr, st.font.color);
        cairo_move_to(cr, tx, ty);
        pango_cairo_show_layout(cr, layout);
        cairo_restore(cr);
    }

    // Centred in the band at the foot of the printed area, in the default
    // style's face.
    void paintFooter(cairo_t* cr, const std::string& text) {
        const PageSetup& ps = sheet_.pageSetup;
        Font font = wb_.styleOf(Cell{}).font;
        font.bold = font.italic = font.underline = false;
        setFont(font, kFooterSize);
        PangoLayout* layout = layout_.get();
        pango_layout_set_width(layout, -1);
        pango_layout_set_alignment(layout, PANGO_ALIGN_LEFT);
        pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
        const Extents e = measure();
        const double left = ps.leftMargin, right = ps.paperWidth() - ps.rightMargin;
        const double bottom = ps.paperHeight() - ps.bottomMargin;
        cairo_save(cr);
        setInk(cr, Color{});
        cairo_move_to(cr, (left + right - e.logW) / 2 - e.logX, bottom - (kFooterBand + e.logH) / 2);
        pango_cairo_show_layout(cr, layout);
        cairo_restore(cr);
    }

    static void put(std::map<EdgeKey, Edge>& edges, EdgeKey key, LineStyle l, bool fromBefore) {
        if (l == LineStyle::None) return;
        Edge& e = edges[key];
        LineStyle& side = fromBefore ? e.before : e.after;
        side = std::max(side, l);
    }

    // Edges: h_(r, c) is the line above row r over column c; v_(r, c) the
    // line left of column c beside row r.
    void buildEdges() {
        for (const auto& [ref, cell] : sheet_.cells) {
            const Area* m = sheet_.mergeAt(ref);
            if (m && !(m->first == ref)) continue;
            const Area a = m ? *m : Area{ref, ref};
            const Borders& b = wb_.styleOf(cell).borders;
            for (int c = a.first.column; c <= a.last.column; ++c) {
                put(h_, {a.first.row, c}, b.top, false);
                put(h_, {a.last.row + 1, c}, b.bottom, true);
            }
            for (int r = a.first.row; r <= a.last.row; ++r) {
                put(v_, {r, a.first.column}, b.left, false);
                put(v_, {r, a.last.column + 1}, b.right, true);
            }
        }
        // A neighbour's border must not cut through a merged area.
        for (const Area& m : sheet_.merges) {
            for (int r = m.first.row + 1; r <= m.last.row; ++r)
                for (int c = m.first.column; c <= m.last.column; ++c) h_.erase({r, c});
            for (int r = m.first.row; r <= m.last.row; ++r)
                for (int c = m.first.column + 1; c <= m.last.column; ++c) v_.erase({r, c});
        }
    }

    static void stroke(cairo_t* cr, LineStyle l, double x0, double y0, double x1, double y1) {
        const bool horizontal = y0 == y1;
        auto line = [&](double offset, double width) {
            cairo_set_line_width(cr, width);
            if (horizontal) {
                cairo_move_to(cr, x0, y0 + offset);
                cairo_line_to(cr, x1, y1 + offset);
            } else {
                cairo_move_to(cr, x0 + offset, y0);
                cairo_line_to(cr, x1 + offset, y1);
            }
            cairo_stroke(cr);
        };
        static const double kDash[] = {3.0, 2.0};
        static const double kDot[] = {0.75, 1.5};
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_set_dash(cr, nullptr, 0, 0);
        // Square caps close the corners where lines meet; broken lines keep
        // their dashes exact.
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_SQUARE);
        switch (l) {
        case LineStyle::None: return;
        case LineStyle::Hair:
        case LineStyle::Thin: line(0, kThin); break;
        case LineStyle::Medium: line(0, 1.5); break;
        case LineStyle::Thick: line(0, 2.25); break;
        case LineStyle::Double:
            line(-1.0, kThin);
            line(1.0, kThin);
            break;
        case LineStyle::Dashed:
        case LineStyle::Dotted:
            cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
            cairo_set_dash(cr, l == LineStyle::Dashed ? kDash : kDot, 2, 0);
            line(0, kThin);
            break;
        }
    }

    static LineStyle visible(const Edge& e, bool pageStart, bool pageEnd) {
        if (pageStart) return e.after;
        if (pageEnd) return e.before;
        return std::max(e.before, e.after);
    }

    void paintEdges(cairo_t* cr) {
        for (auto it = h_.lower_bound({strip_.firstRow, 0}); it != h_.end() && it->first.first <= strip_.lastRow + 1;
             ++it) {
            auto [r, c] = it->first;
            if (c < strip_.firstColumn || c > strip_.lastColumn) continue;
            stroke(cr, visible(it->second, r == strip_.firstRow, r == strip_.lastRow + 1), x(c), y(r), x(c + 1), y(r));
        }
        for (auto it = v_.lower_bound({strip_.firstRow, 0}); it != v_.end() && it->first.first <= strip_.lastRow; ++it) {
            auto [r, c] = it->first;
            if (c < strip_.firstColumn || c > strip_.lastColumn + 1) continue;
            stroke(cr, visible(it->second, c == strip_.firstColumn, c == strip_.lastColumn + 1), x(c), y(r), x(c),
                   y(r + 1));
        }
    }

    const Workbook& wb_;
    const Sheet& sheet_;
    std::vector<double> colX_, rowY_;
    std::map<EdgeKey, Edge> h_, v_;
    PagePlan::Page strip_;
    Owned<PangoLayout> layout_;
};

}  // namespace

namespace {

using SheetPlans = std::vector<std::pair<const Sheet*, PagePlan>>;

// One PDF of the planned pages of the sheets, in order (at least one sheet).
RenderedPdf paintPdf(const Workbook& workbook, const SheetPlans& plans) {
    RenderedPdf out;
    const PageSetup& first = plans.front().first->pageSetup;
    Owned<cairo_surface_t> surface(
        cairo_pdf_surface_create_for_stream(appendToString, &out.bytes, first.paperWidth(), first.paperHeight()));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
        layoutError(std::string("PDF を作れません: ") + cairo_status_to_string(cairo_surface_status(surface.get())));
    std::size_t pages = 0;
    {
        Owned<cairo_t> cr(cairo_create(surface.get()));
        for (const auto& [sheet, plan] : plans) {
            // The page size is taken when a page begins, so each sheet's
            // pages keep its own orientation.
            cairo_pdf_surface_set_size(surface.get(), sheet->pageSetup.paperWidth(), sheet->pageSetup.paperHeight());
            SheetPainter painter(workbook, *sheet, plan);
            for (std::size_t k = 0; k < plan.pages.size(); ++k) {
                painter.paint(cr.get(), plan.pages[k], static_cast<int>(k + 1), static_cast<int>(plan.pages.size()));
                cairo_show_page(cr.get());
                if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS)
                    layoutError(std::string("ページを描けません: ") + cairo_status_to_string(cairo_status(cr.get())));
            }
            pages += plan.pages.size();
        }
    }
    cairo_surface_finish(surface.get());
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
        layoutError(std::string("PDF を書けません: ") + cairo_status_to_string(cairo_surface_status(surface.get())));
    out.pages = static_cast<int>(pages);
    return out;
}

}  // namespace

RenderedPdf renderSheetPdf(const Workbook& workbook, const Sheet& sheet) {
    SheetPlans plans;
    plans.emplace_back(&sheet, planPages(workbook, sheet));
    return paintPdf(workbook, plans);
}

RenderedPdf renderWorkbookPdf(const Workbook& workbook) {
    SheetPlans plans;
    std::size_t total = 0;
    for (const Sheet& sheet : workbook.sheets) {
        if (!workbook.usedArea(sheet)) continue;
        plans.emplace_back(&sheet, planPages(workbook, sheet));
        total += plans.back().second.pages.size();
    }
    if (plans.empty()) layoutError("印刷する内容がありません");
    if (total > static_cast<std::size_t>(kMaxPages))
        layoutError("ページ数が多すぎます (" + std::to_string(total) + " ページ)");
    return paintPdf(workbook, plans);
}

std::vector<image::Image> renderSheetPages(const Workbook& workbook, const Sheet& sheet, int dpi) {
    const PagePlan plan = planPages(workbook, sheet);
    const PageSetup& ps = sheet.pageSetup;
    const int width = static_cast<int>(std::lround(ps.paperWidth() * dpi / 72.0));
    const int height = static_cast<int>(std::lround(ps.paperHeight() * dpi / 72.0));
    const int pelsPerMeter = static_cast<int>(std::lround(dpi / 0.0254));
    SheetPainter painter(workbook, sheet, plan);
    std::vector<image::Image> pages;
    // Darkness only: an alpha surface is a quarter of a colour one, and the
    // page picture is gray. One surface serves every page, cleared between,
    // over memory each thread keeps from one print to the next: fresh memory
    // costs more to touch for the first time than a page takes to draw.
    const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_A8, width);
    if (stride <= 0) layoutError("ページが大きすぎます");
    const std::size_t bytes = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
    thread_local std::vector<unsigned char> memory;
    if (memory.size() < bytes) memory.resize(bytes);
    Owned<cairo_surface_t> surface(
        cairo_image_surface_create_for_data(memory.data(), CAIRO_FORMAT_A8, width, height, stride));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
        layoutError(std::string("ページを描けません: ") + cairo_status_to_string(cairo_surface_status(surface.get())));
    for (std::size_t k = 0; k < plan.pages.size(); ++k) {
        cairo_surface_flush(surface.get());
        std::memset(memory.data(), 0, bytes);
        cairo_surface_mark_dirty(surface.get());
        {
            Owned<cairo_t> cr(cairo_create(surface.get()));
            cairo_scale(cr.get(), dpi / 72.0, dpi / 72.0);
            // Ink adds to the darkness beneath it, to black at most. On
            // white, where nearly everything is drawn, that is what laying
            // ink over it gives; where a line or a glyph crosses a fill or
            // another line, only the smoothed pels at its edge come out a
            // little darker, and two fills that share a pel add up to the
            // one fill. cairo draws it straight into the page; laying ink
            // over an alpha surface took its general path, which cleared
            // and filled scan buffers for every glyph run and fill and cost
            // a third of the drawing.
            cairo_set_operator(cr.get(), CAIRO_OPERATOR_ADD);
            painter.paint(cr.get(), plan.pages[k], static_cast<int>(k + 1), static_cast<int>(plan.pages.size()));
            if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS)
                layoutError(std::string("ページを描けません: ") + cairo_status_to_string(cairo_status(cr.get())));
        }
        cairo_surface_flush(surface.get());
        const unsigned char* data = memory.data();
        image::Image page(width, height, image::PixelFormat::Gray8);
        page.setResolution(pelsPerMeter, pelsPerMeter);
        for (int y = 0; y < height; ++y) {
            // White is no darkness: each pel is 255 - alpha, eight at a time.
            const unsigned char* a = data + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride);
            std::uint8_t* g = page.row(y);
            int x = 0;
            for (; x + 8 <= width; x += 8) {
                std::uint64_t v;
                std::memcpy(&v, a + x, 8);
                v = ~v;
                std::memcpy(g + x, &v, 8);
            }
            for (; x < width; ++x) g[x] = static_cast<std::uint8_t>(255 - a[x]);
        }
        pages.push_back(std::move(page));
    }
    return pages;
}

}  // namespace fg::layout
