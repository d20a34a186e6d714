#include "platform/layout/page_export.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/image/bmp.h"
#include "platform/imaging/jpeg.h"
#include "platform/layout/fax_printer.h"
#include "platform/layout/page_folders.h"
#include "platform/layout/page_plan.h"
#include "platform/layout/workbook.h"
#include "platform/text.h"

#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-image.h>
#include <poppler-page-renderer.h>
#include <poppler-page.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

namespace fg::layout {

namespace {

// Poppler reports problems of a file through a process-wide function; we
// keep the last message of this thread for the error we raise, instead of
// letting it go to standard error.
thread_local std::string popplerMessage;

void keepPopplerMessage(const std::string& message, void*) { popplerMessage = message; }

void installPopplerMessages() {
    static std::once_flag once;
    std::call_once(once, [] { poppler::set_debug_error_function(keepPopplerMessage, nullptr); });
}

bool pageSuffix(std::string_view rest, int& number) {
    // "_" then digits, at least three; nothing else.
    if (rest.size() < 4 || rest[0] != '_') return false;
    long n = 0;
    for (std::size_t i = 1; i < rest.size(); ++i) {
        if (rest[i] < '0' || rest[i] > '9') return false;
        n = n * 10 + (rest[i] - '0');
        if (n > 1000000) return false;
    }
    number = static_cast<int>(n);
    return true;
}

}  // namespace

std::string pageName(const std::string& layoutName, int page) {
    std::string digits = std::to_string(page);
    if (digits.size() < 3) digits.insert(0, 3 - digits.size(), '0');
    return layoutName + "_" + digits;
}

int pageNumber(const std::string& pageName, const std::string& layoutName) {
    int number = 0;
    if (pageName.size() <= layoutName.size() || !text::iequals(pageName.substr(0, layoutName.size()), layoutName) ||
        !pageSuffix(std::string_view(pageName).substr(layoutName.size()), number))
        return 0;
    return number;
}

std::vector<std::string> listPages(const std::string& folder, const std::string& layoutName,
                                   const std::string& extension) {
    std::vector<std::pair<int, std::string>> found;
    auto take = [&](const std::string& file) {
        if (file.size() < extension.size() ||
            !text::iequals(std::string_view(file).substr(file.size() - extension.size()), extension))
            return;
        std::string stem = file.substr(0, file.size() - extension.size());
        if (int number = pageNumber(stem, layoutName)) found.push_back({number, std::move(stem)});
    };
    // The folders keep the pages of every document ever sent: only the
    // layout's own entries are looked at, found without reading the folder.
    // Those that are folders are no pages, as a listing of files has it.
    // A name whose layout part cannot be told from its extension (an empty
    // layout, an extension holding "_") is looked for in the whole folder.
    if (!layoutName.empty() && extension.find('_') == std::string::npos) {
        const auto resolved = fs::resolve(folder);
        if (!resolved) return {};
        for (const std::string& file : entriesOfLayout(*resolved, layoutName))
            if (fs::kindOf(fs::join(*resolved, file)) != fs::Kind::Folder) take(file);
    } else {
        for (const std::string& file : fs::list(folder, layoutName + "*" + extension)) take(file);
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> names;
    for (auto& f : found) names.push_back(std::move(f.second));
    return names;
}

std::vector<std::string> exportPages(const std::string& printedFile, const std::string& bitmapPath) {
    std::string folder = fs::folderOf(bitmapPath);
    if (folder.empty()) folder = "./";
    std::string layoutName = fs::nameOf(bitmapPath);
    if (layoutName.size() >= 4 && text::iequals(layoutName.substr(layoutName.size() - 4), ".bmp"))
        layoutName.resize(layoutName.size() - 4);
    if (layoutName.empty())
        throw Error(errnum::BadFileNameOrNumber,
                    Error::standardText(errnum::BadFileNameOrNumber) + " " + bitmapPath, "layout");
    if (!fs::folderExists(folder))
        throw Error(errnum::PathNotFound, Error::standardText(errnum::PathNotFound) + " " + folder, "layout");

    const std::string bytes = fs::readFile(printedFile);
    const int pelsPerMeter = static_cast<int>(kExportDpi / 0.0254 + 0.5);
    // The page bitmaps are work files that the same run turns into copies
    // and G3 pages and removes.
    auto write = [&](image::Image& page, int number) {
        page.setResolution(pelsPerMeter, pelsPerMeter);
        const std::string name = pageName(layoutName, number);
        image::writeBmp(fs::join(folder, name + ".bmp"), page, 8, 128, fs::Sync::Passing);
        return name;
    };
    // A printed file of this system's fax printer holds its pages as JPEG
    // pictures at the export's resolution: they are the page bitmaps.
    if (auto pictures = picturesOf(bytes)) {
        std::vector<image::Image> pages;
        for (const std::string_view& picture : *pictures) pages.push_back(image::decodeJpeg(picture, false, true));
        for (const std::string& stale : listPages(folder, layoutName))
            (void)fs::removeFile(fs::join(folder, stale + ".bmp"));
        std::vector<std::string> names;
        for (std::size_t i = 0; i < pages.size(); ++i) names.push_back(write(pages[i], static_cast<int>(i + 1)));
        return names;
    }

    installPopplerMessages();
    popplerMessage.clear();
    std::unique_ptr<poppler::document> doc(
        poppler::document::load_from_raw_data(bytes.data(), static_cast<int>(bytes.size())));
    if (!doc || doc->is_locked())
        layoutError(printedFile + " は印刷ファイルではありません" + (popplerMessage.empty() ? "" : ": " + popplerMessage));
    const int count = doc->pages();
    if (count < 1) layoutError(printedFile + " にページがありません");
    if (count > kMaxPages) layoutError(printedFile + " のページが多すぎます");

    for (const std::string& stale : listPages(folder, layoutName)) (void)fs::removeFile(fs::join(folder, stale + ".bmp"));

    poppler::page_renderer renderer;
    renderer.set_render_hint(poppler::page_renderer::antialiasing, true);
    renderer.set_render_hint(poppler::page_renderer::text_antialiasing, true);
    renderer.set_image_format(poppler::image::format_gray8);
    renderer.set_paper_color(0xffffffff);
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        std::unique_ptr<poppler::page> page(doc->create_page(i));
        if (!page) layoutError(printedFile + " のページ " + std::to_string(i + 1) + " を読めません");
        poppler::image img = renderer.render_page(page.get(), kExportDpi, kExportDpi);
        if (!img.is_valid() || img.format() != poppler::image::format_gray8)
            layoutError(printedFile + " のページ " + std::to_string(i + 1) + " を描けません" +
                        (popplerMessage.empty() ? "" : ": " + popplerMessage));
        image::Image out(img.width(), img.height(), image::PixelFormat::Gray8);
        const char* src = img.const_data();
        for (int y = 0; y < img.height(); ++y)
            std::memcpy(out.row(y), src + static_cast<std::size_t>(y) * static_cast<std::size_t>(img.bytes_per_row()),
                        static_cast<std::size_t>(img.width()));
        names.push_back(write(out, i + 1));
    }
    return names;
}

}  // namespace fg::layout
