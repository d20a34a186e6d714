// The file form of a layout workbook: a small XML document of our own,
// stored under the name the pipeline prints (number + ".xls").
//
//   <?xml version="1.0" encoding="UTF-8"?>
//   <Workbook>
//     <Styles>
//       <Style id="Default" font="IPAGothic" size="10"/>
//       <Style id="title" font="IPAMincho" size="18" bold="true" halign="center" valign="middle"/>
//       <Style id="grid" border="thin" wrap="true" fill="#E8E8E8" borderBottom="double"/>
//     </Styles>
//     <Sheet name="注文書">
//       <PageSetup orientation="landscape" leftMargin="28" rightMargin="28"
//                  topMargin="28" bottomMargin="28" zoom="100"
//                  titleRows="1:4,7" footer="&amp;P / &amp;N"/>
//       <Columns defaultWidth="48"><Column from="1" to="3" width="60"/></Columns>
//       <Rows defaultHeight="18"><Row index="1" height="32"/></Rows>
//       <Cells>
//         <Cell ref="B3:H20" style="grid"/>      a style for every cell of an area
//         <Cell ref="A1" style="title">注文書</Cell>
//       </Cells>
//       <Merges><Merge ref="A1:H1"/></Merges>
//       <PageBreaks><RowBreak row="31"/><ColumnBreak column="9"/></PageBreaks>
//     </Sheet>
//   </Workbook>
//
// Lengths are points. titleRows lists the rows (single rows and spans
// "first:last", in order) printed again above every page after the first,
// and footer the line at the foot of every page (workbook.h). Style attributes, all optional (defaults in workbook.h):
// font (a font family), size, bold, italic, underline ("true"/"false"/"1"/"0"),
// color and fill ("#RRGGBB"), halign (left|center|right), valign
// (top|middle|bottom), wrap, border (all four edges) and borderLeft,
// borderTop, borderRight, borderBottom (none|hair|dotted|dashed|thin|medium|
// double|thick). A Cell sets the style of every cell of its ref when it has
// a style attribute, and the text of its one cell when it has text; a later
// Cell for the same cell overrides an earlier one. Cells without a style take
// the style "Default". Text is display text: line breaks in it break lines.
//
// The reader refuses, with fg::Error kLayoutError and the reason, anything it
// would otherwise have to guess at: an unknown element or attribute, a value
// out of range, a reference outside the sheet bounds, a style that is not
// defined, overlapping merges, a workbook without sheets.
#pragma once

#include "platform/files.h"
#include "platform/layout/workbook.h"

#include <string>

namespace fg::layout {

// Reads a layout file (name matched without regard to case). A missing file
// raises fg::Error 53.
Workbook readWorkbook(const std::string& path);
Workbook parseWorkbook(const std::string& xmlText);

// Writes a layout file atomically, UTF-8; a layout that the same run prints
// and removes is written fs::Sync::Passing.
void writeWorkbook(const std::string& path, const Workbook& workbook, fs::Sync sync = fs::Sync::Durable);
std::string serializeWorkbook(const Workbook& workbook);

}  // namespace fg::layout
