// The fax printer: prints a sheet of a layout workbook into a printed file
// that the page export turns into page bitmaps.
//
// Like the printer driver of a fax, it prints pictures: each page is drawn
// at the export's 200 pels per inch (sheet_renderer.h) and kept as the JPEG
// picture that is also the page's reference copy (24 bits, jpeg.h). The
// printed file (".msf") is a PDF document of A4 pages in the sheet's
// orientation, each showing its picture. It is written atomically, so an
// export never sees half a print; it is a work file that the same run
// exports and removes, so it is not synced to disk.
//
// A print job: reset(), setOutputFile(path), then print().
// The printer itself takes no lock; callers that share the printer's folders
// across processes serialise their jobs themselves.
#pragma once

#include "platform/image/image.h"
#include "platform/layout/workbook.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fg::layout {

// One printed page: the picture as drawn, and its JPEG picture as the
// printed file holds it.
struct PrintedPage {
    image::Image picture;
    std::string jpeg;
};

class FaxPrinter {
public:
    // Forgets the output file of an earlier job.
    void reset();
    // Names the file the next print writes. False (and nothing named) for
    // an empty path or a folder that does not exist.
    [[nodiscard]] bool setOutputFile(const std::string& path);
    const std::string& outputFile() const { return outputFile_; }

    // Prints one sheet into the output file and answers its pages. Raises
    // fg::Error: kLayoutError when no output file is named, the sheet does
    // not exist or cannot be printed; 75/76 when the file cannot be written.
    std::vector<PrintedPage> printPages(const Workbook& workbook, std::size_t sheetIndex = 0);
    // As printPages; answers the number of pages.
    int print(const Workbook& workbook, std::size_t sheetIndex = 0);

private:
    std::string outputFile_;
};

// A PDF document of one page per picture, each page `widthPoints` x
// `heightPoints` filled by its JPEG picture (jpeg.h).
std::string pdfOfPictures(const std::vector<PrintedPage>& pages, double widthPoints, double heightPoints);
// The JPEG pictures of a printed file that pdfOfPictures wrote, in page
// order; nullopt for any other PDF document (or a damaged one), which is
// left to a general reader.
std::optional<std::vector<std::string_view>> picturesOf(std::string_view pdf);

}  // namespace fg::layout
