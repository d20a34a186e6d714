// Draws a sheet onto A4 pages of a PDF document with cairo and pango.
//
// What is drawn, page by page (page_plan.h says which cells go on a page):
// - fills of cells and merged areas;
// - text in the cell's font (family through fontconfig, so Japanese text
//   finds a Japanese face even when the named one is missing), size, bold,
//   italic, underline and colour; aligned left, centre or right and top,
//   middle or bottom, kept 3 pt off the cell's sides and 2 pt off its top
//   and bottom; wrapped at the cell's width when the style says so, and
//   always broken at line breaks of the text; unwrapped left-aligned text
//   runs on over empty cells to its right, as on a spreadsheet; a text that
//   does not fit is made smaller (to 60 % of its size, not below 6 pt), and
//   wrapped where even that is too wide, so that it stays inside its cell
//   instead of running into the next row;
// - borders: where two cells give one edge different lines the heavier is
//   drawn; lines are at least 0.75 pt, two pels at a fax printer's 200 per
//   inch;
// - the title rows again at the top of every continued page, and the
//   footer line with its page number (page_plan.h);
// - merged areas: the top-left cell's text, fill and borders cover the whole
//   area, edges inside it are not drawn, and the other cells of the area
//   give nothing.
// Cell text is display text: nothing is computed or formatted.
#pragma once

#include "platform/image/image.h"
#include "platform/layout/workbook.h"

#include <string>
#include <vector>

namespace fg::layout {

struct RenderedPdf {
    std::string bytes;
    int pages = 0;
};

// Raises kLayoutError when the sheet has nothing to print, has too many
// pages, or cairo fails.
RenderedPdf renderSheetPdf(const Workbook& workbook, const Sheet& sheet);

// Draws every sheet that has something to print into one PDF document, in
// sheet order, each on pages of its own orientation; blank sheets give no
// page. Raises kLayoutError when no sheet has anything to print, when the
// pages together would be more than kMaxPages, or when cairo fails.
RenderedPdf renderWorkbookPdf(const Workbook& workbook);

// The pages of a sheet as pictures, as renderSheetPdf would print them: 8-bit
// gray (black 0), `dpi` pels per inch both ways, A4 in the sheet's
// orientation. Raises as renderSheetPdf.
std::vector<image::Image> renderSheetPages(const Workbook& workbook, const Sheet& sheet, int dpi);

}  // namespace fg::layout
