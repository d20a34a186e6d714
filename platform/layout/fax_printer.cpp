#include "platform/layout/fax_printer.h"

#include "platform/files.h"
#include "platform/layout/sheet_renderer.h"

namespace fg::layout {

void FaxPrinter::reset() { outputFile_.clear(); }

bool FaxPrinter::setOutputFile(const std::string& path) {
    if (path.empty() || fs::nameOf(path).empty()) return false;
    const std::string folder = fs::folderOf(path);
    if (!folder.empty() && !fs::folderExists(folder)) return false;
    outputFile_ = path;
    return true;
}

int FaxPrinter::print(const Workbook& workbook, std::size_t sheetIndex) {
    if (outputFile_.empty()) layoutError("印刷先のファイルが指定されていません");
    if (sheetIndex >= workbook.sheets.size())
        layoutError("シート " + std::to_string(sheetIndex + 1) + " がありません");
    RenderedPdf pdf = renderSheetPdf(workbook, workbook.sheets[sheetIndex]);
    fs::writeFileAtomic(outputFile_, pdf.bytes);
    return pdf.pages;
}

}  // namespace fg::layout
