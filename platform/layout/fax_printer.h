// The fax printer: prints a sheet of a layout workbook into a printed file
// that the page export turns into page bitmaps.
//
// The printed file (".msf") holds the printed pages as a PDF document: A4
// pages in the sheet's orientation, the sheet drawn inside its margins
// (sheet_renderer.h). It is written atomically, so an export never sees half
// a print.
//
// A print job: reset(), setOutputFile(path), then print(). The printer
// itself takes no lock; callers that share the printer's folders across
// processes serialise their jobs themselves.
#pragma once

#include "platform/layout/workbook.h"

#include <cstddef>
#include <string>

namespace fg::layout {

class FaxPrinter {
public:
    // Forgets the output file of an earlier job.
    void reset();
    // Names the file the next print writes. False (and nothing named) for
    // an empty path or a folder that does not exist.
    bool setOutputFile(const std::string& path);
    const std::string& outputFile() const { return outputFile_; }

    // Prints one sheet into the output file; answers the number of pages.
    // Raises fg::Error: kLayoutError when no output file is named, the sheet
    // does not exist or cannot be printed; 75/76 when the file cannot be
    // written.
    int print(const Workbook& workbook, std::size_t sheetIndex = 0);

private:
    std::string outputFile_;
};

}  // namespace fg::layout
