// The page export: a printed file (fax_printer.h) becomes one bitmap per
// page, and the pages of a layout are found again by name.
//
// A page bitmap is 8-bit gray at 200 pels per inch both ways (a fax
// resolution; A4 portrait is 1654 x 2339 pels), named after its layout:
// the layout name, "_", the page number in at least three digits, ".bmp"
// ("202401150930000001_001.bmp"). The page name is the file name without
// ".bmp". Pages are ordered by their number, never by how a directory
// happens to list them, and a page belongs to a layout only when its name
// is exactly the layout name followed by that suffix: the pages of "A1"
// are never taken for those of "A".
#pragma once

#include <string>
#include <vector>

namespace fg::layout {

inline constexpr int kExportDpi = 200;

std::string pageName(const std::string& layoutName, int page);
// The page number of a page name of the layout (0 when it is none).
int pageNumber(const std::string& pageName, const std::string& layoutName);

// The page names of a layout in a folder, in page order, from the files of
// the pages with the given extension (".bmp" the page bitmaps).
std::vector<std::string> listPages(const std::string& folder, const std::string& layoutName,
                                   const std::string& extension = ".bmp");

// Writes the page bitmaps of the printed file `printedFile`. `bitmapPath` is
// the folder and layout name followed by ".bmp" (the extension may be left
// off); page bitmaps of an earlier export of the same layout are removed
// first, so that a shorter print never inherits their pages. Answers the
// page names written, in page order. Raises fg::Error: 53 for a missing
// printed file, kLayoutError for a file that is no printed file or has no
// page or more than kMaxPages, 52 for a bitmap path without a layout name,
// 75/76 when a bitmap cannot be written.
std::vector<std::string> exportPages(const std::string& printedFile, const std::string& bitmapPath);

}  // namespace fg::layout
