#include "fax_images/pellior/page_files.h"

#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"
#include "platform/imaging/imaging_control.h"
#include "platform/layout/page_export.h"
#include "platform/layout/workbook.h"

#include <algorithm>
#include <cmath>

namespace fg::pellior {

std::string folder(const char* key) { return fs::withSlash(FolderPathInfo().getFolderPath(key)); }

void checkPlainName(const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name.find_first_of("/\\") != std::string::npos ||
        name.find('\0') != std::string::npos)
        throw Error(errnum::BadFileNameOrNumber,
                    Error::standardText(errnum::BadFileNameOrNumber) + " \"" + name + "\"");
}

void deleteFile(const std::string& path) {
    auto found = fs::resolve(path);
    if (!found) throw Error(errnum::FileNotFound, Error::standardText(errnum::FileNotFound) + " " + path);
    if (!fs::removeFile(*found))
        throw Error(errnum::PathFileAccessError, Error::standardText(errnum::PathFileAccessError) + " " + path);
}

Error statusError(long status, const std::string& what, const Error* underlying) {
    std::string description = what;
    if (underlying) description += ": " + underlying->description();
    return Error(status, description);
}

void checkImaging(short status, const image::ImagingControl& control, const std::string& what) {
    if (status != image::ImagingControl::kOk)
        throw statusError(status, what, control.lastError() ? &*control.lastError() : nullptr);
}

bool uprightTitle(const std::string& title) {
    return title == "FAX回答再送信依頼" || title == "未処理一覧" || title == "テスト帳票";
}

namespace {

// The fax page: 1200 x 1728 pels before the fax engine stretches it to
// 1728 x 2291, over 215 x 297 mm of paper.
constexpr int kShort = 1200, kLong = 1728;
constexpr double kPaperWidthMm = 215.0, kPaperHeightMm = 297.0;
// White kept on every edge of the fax page: a receiving machine does not
// print the outermost few millimetres of what it receives, and the forms
// are printed with a margin of one point.
constexpr double kFaxMarginMm = 5.0;

int pelsPerMeter(int pels, double mm) { return static_cast<int>(std::lround(pels / (mm / 1000.0))); }

}  // namespace

std::pair<int, int> faxPaperResolution(int width, int height) {
    return {pelsPerMeter(width, kPaperWidthMm), pelsPerMeter(height, kPaperHeightMm)};
}

image::Image shapeForFax(const image::Image& page, const std::string& title, const std::string& pageName,
                         const std::string& source) {
    if (page.empty()) throw Error::standard(errnum::ObjectNotSet);
    // A page in the fax shape already (a copy kept as it was sent, rebuilt
    // for a re-send) has its margins: fitting it again would shrink it.
    if (page.width() == kShort && page.height() == kLong) return page;
    const bool upright = uprightTitle(title);
    if ((page.width() > page.height()) == upright)
        logError(source, Error(layout::kLayoutError,
                               "帳票 \"" + title + "\" のページ " + pageName + " は" + (upright ? "横長" : "縦長") +
                                   "です。" + (upright ? "縦長" : "横長") +
                                   "に作った帳票でないと正しい向きで送れないため、縦横比を保って縮めて送ります"));
    const auto [across, down] = faxPaperResolution(kShort, kLong);
    // Wide pages are fitted on the paper lying on its side, then turned.
    const int marginAcross = static_cast<int>(std::ceil(kShort * kFaxMarginMm / kPaperWidthMm));
    const int marginDown = static_cast<int>(std::ceil(kLong * kFaxMarginMm / kPaperHeightMm));
    const image::Frame frame = upright ? image::Frame{kShort, kLong, across, down, false, marginAcross, marginDown}
                                       : image::Frame{kLong, kShort, down, across, true, marginDown, marginAcross};
    return image::fitInside(page, frame, image::Resample::KeepStrokes);
}

std::vector<std::string> freshPageNames(const std::string& layout, std::size_t count) {
    int highest = 0;
    for (const auto& [key, extension] : {std::pair{"Jpg", ".jpg"}, std::pair{"G3Image", ".g3"}})
        for (const std::string& name : layout::listPages(folder(key), layout, extension))
            highest = std::max(highest, layout::pageNumber(name, layout));
    std::vector<std::string> names;
    for (std::size_t k = 1; k <= count; ++k) names.push_back(layout::pageName(layout, highest + static_cast<int>(k)));
    return names;
}

}  // namespace fg::pellior
