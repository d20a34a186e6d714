#include "platform/layout/sheet_renderer.h"

#include "platform/layout/cairo_objects.h"
#include "platform/layout/page_plan.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace fg::layout {

namespace {

constexpr double kPadX = 2.0;
constexpr double kPadY = 1.0;
// The thinnest line we draw. The page is printed at 200 pels per inch and
// later reduced to about 145 pels per inch before it becomes black and white;
// a line thinner than 0.75 pt would then cover less than a pel and fade out.
constexpr double kThin = 0.75;

template <class T>
using Owned = CairoOwned<T>;

cairo_status_t appendToString(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

struct Rect {
    double x, y, w, h;
};

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

    void paint(cairo_t* cr, const PagePlan::Page& page) {
        page_ = page;
        const PageSetup& ps = sheet_.pageSetup;
        const double z = ps.zoom / 100.0;
        cairo_save(cr);
        cairo_translate(cr, ps.leftMargin, ps.topMargin);
        cairo_scale(cr, z, z);
        // Whatever belongs to the next band (a merged area that runs on, a
        // long text) stays off this page; the slack keeps the band's own
        // edge lines whole.
        const double slack = 1.5;
        cairo_rectangle(cr, -slack, -slack, x(page.lastColumn + 1) + 2 * slack, y(page.lastRow + 1) + 2 * slack);
        cairo_clip(cr);

        layout_.reset(pango_cairo_create_layout(cr));
        pango_context_set_language(pango_layout_get_context(layout_.get()), pango_language_from_string("ja"));

        std::vector<std::pair<Area, const Cell*>> anchors = anchorsOnPage();
        for (const auto& [area, cell] : anchors) paintFill(cr, area, *cell);
        for (const auto& [area, cell] : anchors)
            if (!cell->text.empty()) paintText(cr, area, *cell);
        paintEdges(cr);
        layout_.reset();
        cairo_restore(cr);
    }

private:
    double x(int column) const {
        return colX_[static_cast<std::size_t>(column)] - colX_[static_cast<std::size_t>(page_.firstColumn)];
    }
    double y(int row) const {
        return rowY_[static_cast<std::size_t>(row)] - rowY_[static_cast<std::size_t>(page_.firstRow)];
    }
    Rect rectOf(const Area& a) const {
        return {x(a.first.column), y(a.first.row), x(a.last.column + 1) - x(a.first.column),
                y(a.last.row + 1) - y(a.first.row)};
    }
    bool onPage(const Area& a) const {
        return a.overlaps(Area{{page_.firstRow, page_.firstColumn}, {page_.lastRow, page_.lastColumn}});
    }

    // The cells that draw something: cells outside merged areas, and the
    // top-left cell of each merged area (standing for the whole area).
    std::vector<std::pair<Area, const Cell*>> anchorsOnPage() const {
        std::vector<std::pair<Area, const Cell*>> out;
        auto it = sheet_.cells.lower_bound(CellRef{page_.firstRow, 1});
        for (; it != sheet_.cells.end() && it->first.row <= page_.lastRow; ++it) {
            const CellRef ref = it->first;
            if (ref.column < page_.firstColumn || ref.column > page_.lastColumn) continue;
            if (sheet_.mergeAt(ref)) continue;
            out.push_back({Area{ref, ref}, &it->second});
        }
        for (const Area& m : sheet_.merges) {
            if (!onPage(m)) continue;
            if (const Cell* c = sheet_.cell(m.first)) out.push_back({m, c});
        }
        return out;
    }

    void paintFill(cairo_t* cr, const Area& area, const Cell& cell) {
        const CellStyle& st = wb_.styleOf(cell);
        if (!st.fill) return;
        Rect r = rectOf(area);
        cairo_set_source_rgb(cr, st.fill->r / 255.0, st.fill->g / 255.0, st.fill->b / 255.0);
        cairo_rectangle(cr, r.x, r.y, r.w, r.h);
        cairo_fill(cr);
    }

    void setFont(const CellStyle& st) {
        Owned<PangoFontDescription> fd(pango_font_description_new());
        pango_font_description_set_family(fd.get(), st.font.family.c_str());
        // Absolute size: the PDF's unit is the point, whatever resolution pango assumes.
        pango_font_description_set_absolute_size(fd.get(), st.font.size * PANGO_SCALE);
        pango_font_description_set_weight(fd.get(), st.font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
        pango_font_description_set_style(fd.get(), st.font.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
        pango_layout_set_font_description(layout_.get(), fd.get());
        Owned<PangoAttrList> attrs(pango_attr_list_new());
        if (st.font.underline) pango_attr_list_insert(attrs.get(), pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
        pango_layout_set_attributes(layout_.get(), attrs.get());
    }

    void paintText(cairo_t* cr, const Area& area, const Cell& cell) {
        const CellStyle& st = wb_.styleOf(cell);
        PangoLayout* layout = layout_.get();
        setFont(st);
        Rect r = rectOf(area);
        const double inner = std::max(0.0, r.w - 2 * kPadX);
        if (st.wrap) {
            pango_layout_set_width(layout, static_cast<int>(inner * PANGO_SCALE));
            pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
        } else {
            pango_layout_set_width(layout, -1);
        }
        pango_layout_set_alignment(layout, st.halign == HAlign::Left     ? PANGO_ALIGN_LEFT
                                           : st.halign == HAlign::Center ? PANGO_ALIGN_CENTER
                                                                         : PANGO_ALIGN_RIGHT);
        pango_layout_set_text(layout, cell.text.data(), static_cast<int>(cell.text.size()));
        PangoRectangle ink, logical;
        pango_layout_get_extents(layout, &ink, &logical);
        const double tw = static_cast<double>(logical.width) / PANGO_SCALE;
        const double th = static_cast<double>(logical.height) / PANGO_SCALE;
        const double lx = static_cast<double>(logical.x) / PANGO_SCALE;

        double tx;
        if (st.wrap) tx = r.x + kPadX;  // the layout is as wide as the cell and aligns itself
        else if (st.halign == HAlign::Left) tx = r.x + kPadX - lx;
        else if (st.halign == HAlign::Center) tx = r.x + (r.w - tw) / 2 - lx;
        else tx = r.x + r.w - kPadX - tw - lx;
        double ty = st.valign == VAlign::Top      ? r.y + kPadY
                    : st.valign == VAlign::Middle ? r.y + (r.h - th) / 2
                                                  : r.y + r.h - kPadY - th;

        Rect clip = r;
        if (!st.wrap && st.halign == HAlign::Left && tw > inner && area.first == area.last) {
            // Runs on over the empty cells to its right.
            for (int c = area.first.column + 1; c <= page_.lastColumn; ++c) {
                CellRef next{area.first.row, c};
                const Cell* n = sheet_.cell(next);
                if ((n && !n->text.empty()) || sheet_.mergeAt(next)) break;
                clip.w = x(c + 1) - clip.x;
                if (clip.w - 2 * kPadX >= tw) break;
            }
        }
        cairo_save(cr);
        cairo_rectangle(cr, clip.x, clip.y, clip.w, clip.h);
        cairo_clip(cr);
        const Color& col = st.font.color;
        cairo_set_source_rgb(cr, col.r / 255.0, col.g / 255.0, col.b / 255.0);
        cairo_move_to(cr, tx, ty);
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
        for (auto it = h_.lower_bound({page_.firstRow, 0}); it != h_.end() && it->first.first <= page_.lastRow + 1;
             ++it) {
            auto [r, c] = it->first;
            if (c < page_.firstColumn || c > page_.lastColumn) continue;
            stroke(cr, visible(it->second, r == page_.firstRow, r == page_.lastRow + 1), x(c), y(r), x(c + 1), y(r));
        }
        for (auto it = v_.lower_bound({page_.firstRow, 0}); it != v_.end() && it->first.first <= page_.lastRow; ++it) {
            auto [r, c] = it->first;
            if (c < page_.firstColumn || c > page_.lastColumn + 1) continue;
            stroke(cr, visible(it->second, c == page_.firstColumn, c == page_.lastColumn + 1), x(c), y(r), x(c),
                   y(r + 1));
        }
    }

    const Workbook& wb_;
    const Sheet& sheet_;
    std::vector<double> colX_, rowY_;
    std::map<EdgeKey, Edge> h_, v_;
    PagePlan::Page page_;
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
            for (const PagePlan::Page& page : plan.pages) {
                painter.paint(cr.get(), page);
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

}  // namespace fg::layout
