// The report book: a report made from XML data files through a report
// template, then printed, shown or saved.
//
// A report template (".xlt") is a layout workbook in the layout file form
// (platform/layout/workbook_file.h) whose root may carry xsl:version="1.0"
// with the XSLT namespace. Such a template is a style sheet in its own right
// (a literal result element): its cells take their text from the data
// through xsl:value-of, and xsl:for-each or xsl:if may repeat or leave out
// cells, rows or whole sheets. Cell references are then computed with
// xsl:attribute. A template without xsl:version is a fixed form and prints as
// it is. The template reads this document:
//
//   <ReportData>
//     <Data file="order.xml"> root element of the first data file </Data>
//     <Data file="lines.xml"> root element of the second </Data>
//   </ReportData>
//
// Every call fills the template, checks that the result is a layout with
// something to print, and writes it as the temporary workbook named when the
// book was made. Print then renders the workbook to PDF and hands it to the
// printing system's lp; preview renders it next to the temporary workbook
// (same name, ".pdf") and opens it in the desktop's viewer where a display
// exists; save writes the filled layout under the name given.
//
// Each call answers 0 for success or one of the codes below, and writes the
// reason of every failure to the error log under the call's name. The
// temporary workbook and its PDF of an earlier call are removed before
// anything is filled, so a failed call never leaves an earlier report behind
// that could be taken for its own.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace fg {

class ReportBook {
public:
    // Result codes of the calls. They start above the report checks' own
    // codes (0 to 4), so a caller can tell which side refused.
    enum Result : int {
        kDone = 0,
        kNoDataFile = 101,         // no data file was given
        kTemplateUnreadable = 102, // the template cannot be read or is no template
        kDataUnreadable = 103,     // a data file cannot be read as XML
        kFillFailed = 104,         // the filled template is no layout
        kNothingToPrint = 105,     // the filled layout prints nothing, or too many pages
        kTempWriteFailed = 106,    // the temporary workbook or its PDF cannot be written
        kSaveWriteFailed = 107,    // the save file cannot be written
        kBadCopies = 108,          // fewer than one copy asked for
        kNoPrintCommand = 109,     // lp is not installed or cannot be started
        kPrintRefused = 110,       // lp refused the job (its exit code is logged)
        kPrintTimedOut = 111,      // lp did not end within kPrintBound; it was stopped
        kNoViewer = 112,           // a display exists but no viewer can be started
        kUnexpected = 113,         // any other failure (out of memory); its text is logged
    };

    // How long lp may take to hand a job to the print queue.
    static constexpr std::chrono::milliseconds kPrintBound{60000};
    // The PDF that print and preview render, beside the temporary workbook.
    static std::string pdfPathOf(const std::string& tempWorkbook);

    // `tempWorkbook`: the path of the temporary workbook (its folder must
    // exist when a call runs).
    explicit ReportBook(std::string tempWorkbook);

    // Prints `copies` copies on `printer` ("" for the system's default
    // destination). The PDF is removed once lp has taken it.
    int gCallPrintReport(const std::vector<std::string>& xmlFiles, const std::string& templatePath, int copies,
                         const std::string& printer);
    // Renders the PDF and opens it where a display ($DISPLAY or
    // $WAYLAND_DISPLAY) exists; without one the PDF is left for a person.
    int gCallPreviewReport(const std::vector<std::string>& xmlFiles, const std::string& templatePath);
    // Writes the filled layout to `saveFile`, atomically.
    int gCallSaveReport(const std::vector<std::string>& xmlFiles, const std::string& templatePath,
                        const std::string& saveFile);

private:
    struct Filled;
    int fill(const char* call, const std::vector<std::string>& xmlFiles, const std::string& templatePath,
             Filled& out);
    int writePdf(const char* call, const Filled& filled);

    std::string tempWorkbook_;
};

}  // namespace fg
