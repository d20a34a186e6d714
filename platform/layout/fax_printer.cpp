#include "platform/layout/fax_printer.h"

#include "platform/files.h"
#include "platform/imaging/jpeg.h"
#include "platform/layout/page_export.h"
#include "platform/layout/page_plan.h"
#include "platform/layout/sheet_renderer.h"

#include <algorithm>
#include <charconv>

namespace fg::layout {

namespace {

std::string num(double d) {
    char buf[32];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed, 4);
    return std::string(buf, p);
}

}  // namespace

void FaxPrinter::reset() { outputFile_.clear(); }

bool FaxPrinter::setOutputFile(const std::string& path) {
    if (path.empty() || fs::nameOf(path).empty()) return false;
    const std::string folder = fs::folderOf(path);
    if (!folder.empty() && !fs::folderExists(folder)) return false;
    outputFile_ = path;
    return true;
}

std::vector<PrintedPage> FaxPrinter::printPages(const Workbook& workbook, std::size_t sheetIndex) {
    if (outputFile_.empty()) layoutError("印刷先のファイルが指定されていません");
    if (sheetIndex >= workbook.sheets.size())
        layoutError("シート " + std::to_string(sheetIndex + 1) + " がありません");
    const Sheet& sheet = workbook.sheets[sheetIndex];
    std::vector<PrintedPage> pages;
    for (image::Image& picture : renderSheetPages(workbook, sheet, kExportDpi)) {
        std::string jpeg = image::encodeJpeg(picture, 24);
        pages.push_back({std::move(picture), std::move(jpeg)});
    }
    fs::writeFileAtomic(outputFile_, pdfOfPictures(pages, sheet.pageSetup.paperWidth(), sheet.pageSetup.paperHeight()),
                        fs::Sync::Passing);
    return pages;
}

int FaxPrinter::print(const Workbook& workbook, std::size_t sheetIndex) {
    return static_cast<int>(printPages(workbook, sheetIndex).size());
}

std::string pdfOfPictures(const std::vector<PrintedPage>& pages, double widthPoints, double heightPoints) {
    // Objects: 1 the catalogue, 2 the page tree, then for page k the page
    // (3 + 3k), its contents (4 + 3k) and its picture (5 + 3k).
    std::string pdf = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    std::vector<std::size_t> offsets;
    auto begin = [&](std::size_t number) {
        offsets.resize(std::max(offsets.size(), number));
        offsets[number - 1] = pdf.size();
        pdf += std::to_string(number) + " 0 obj\n";
    };
    begin(1);
    pdf += "<< /Type /Catalog /Pages 2 0 R >>\nendobj\n";
    begin(2);
    pdf += "<< /Type /Pages /Count " + std::to_string(pages.size()) + " /Kids [";
    for (std::size_t k = 0; k < pages.size(); ++k) pdf += " " + std::to_string(3 + 3 * k) + " 0 R";
    pdf += " ] >>\nendobj\n";
    const std::string w = num(widthPoints), h = num(heightPoints);
    for (std::size_t k = 0; k < pages.size(); ++k) {
        const std::size_t page = 3 + 3 * k;
        const PrintedPage& p = pages[k];
        begin(page);
        pdf += "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + w + " " + h + "] /Resources << /XObject << /P " +
               std::to_string(page + 2) + " 0 R >> >> /Contents " + std::to_string(page + 1) + " 0 R >>\nendobj\n";
        const std::string draw = "q " + w + " 0 0 " + h + " 0 0 cm /P Do Q\n";
        begin(page + 1);
        pdf += "<< /Length " + std::to_string(draw.size()) + " >>\nstream\n" + draw + "endstream\nendobj\n";
        begin(page + 2);
        pdf += "<< /Type /XObject /Subtype /Image /Width " + std::to_string(p.picture.width()) + " /Height " +
               std::to_string(p.picture.height()) +
               " /ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /DCTDecode /Length " +
               std::to_string(p.jpeg.size()) + " >>\nstream\n";
        pdf += p.jpeg;
        pdf += "\nendstream\nendobj\n";
    }
    const std::size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f \n";
    for (std::size_t o : offsets) {
        std::string digits = std::to_string(o);
        pdf += std::string(10 - digits.size(), '0') + digits + " 00000 n \n";
    }
    pdf += "trailer\n<< /Size " + std::to_string(offsets.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

std::optional<std::vector<std::string_view>> picturesOf(std::string_view pdf) {
    // The page count, then each picture's stream, as pdfOfPictures writes them.
    auto number = [&](std::size_t& at) -> std::optional<std::size_t> {
        std::size_t value = 0;
        const auto [end, ec] = std::from_chars(pdf.data() + at, pdf.data() + pdf.size(), value);
        if (ec != std::errc() || end == pdf.data() + at) return std::nullopt;
        at = static_cast<std::size_t>(end - pdf.data());
        return value;
    };
    constexpr std::string_view kCount = "<< /Type /Pages /Count ", kLength = "/Filter /DCTDecode /Length ",
                               kStream = " >>\nstream\n", kEnd = "\nendstream";
    if (!pdf.starts_with("%PDF-")) return std::nullopt;
    std::size_t at = pdf.find(kCount);
    if (at == std::string_view::npos) return std::nullopt;
    at += kCount.size();
    const auto count = number(at);
    if (!count || *count < 1 || *count > static_cast<std::size_t>(kMaxPages)) return std::nullopt;
    std::vector<std::string_view> pictures;
    for (std::size_t k = 0; k < *count; ++k) {
        at = pdf.find(kLength, at);
        if (at == std::string_view::npos) return std::nullopt;
        at += kLength.size();
        const auto length = number(at);
        if (!length || pdf.substr(at, kStream.size()) != kStream) return std::nullopt;
        at += kStream.size();
        if (*length > pdf.size() - at || pdf.substr(at + *length, kEnd.size()) != kEnd) return std::nullopt;
        pictures.push_back(pdf.substr(at, *length));
        if (!image::looksLikeJpeg(pictures.back())) return std::nullopt;
        at += *length + kEnd.size();
    }
    return pictures;
}

}  // namespace fg::layout
