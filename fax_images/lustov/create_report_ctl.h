// Report printing for client programs: a report made from one or more XML
// data files and a report template is printed, shown or saved through the
// report book (platform/report_book/report_book.h).
//
// The report template is the report id with ".xlt" in the "ReportID" folder
// of folder.xml; the temporary workbook is "ImageBook.xls" in its "temp"
// folder. Each call checks its files, then hands them to the report book and
// answers the book's result: 0, or one of the book's own codes (above 100).
//
// Programs that print reports at the same time take turns: the temporary
// workbook is one file for all of them.
//
// The class handles no error: a folder.xml that cannot be read or lacks a
// key, or a turn that does not come within two minutes (error 70), raises
// its fg::Error to the caller.
#pragma once

#include "platform/values.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace fg {

class ReportBook;

enum ERR_CODE : int16_t {
    NO_ERR = 0,
    NONE_XML_FILE = 1,   // an XML data file does not exist
    NONE_TMP_FILE = 2,   // the report template does not exist
    NONE_SAVE_FILE = 3,  // the save file's folder does not exist, or its name does not end in "xls"
    EXIST_ERR = 4,       // defined for callers; never answered
};

class CreateReportCtl {
public:
    static constexpr const char* kTempWorkbookName = "ImageBook.xls";

    // Prints the report. The page range, preview, print-to-file and collate
    // arguments are accepted and change nothing. The temporary workbook is
    // removed afterwards.
    int16_t doPrint(const std::vector<std::string>& strXMLFileName, const std::string& strReportID,
                    const Variant& varFromPageNo, const Variant& varToPageNo, int16_t intCopiesCnt,
                    const Variant& varPreview, const Variant& varPrintToFile, const Variant& varCollate,
                    std::string strActivePrinter);
    // Shows the report; the temporary workbook is kept for the viewer.
    int16_t doPreview(const std::vector<std::string>& strXMLFileName, const std::string& strReportID);
    // Saves the report as a layout file under `strSaveFileName`, which must
    // end in "xls" and lie in an existing folder. Only the first data file is
    // checked together with the template and the save name.
    int16_t doSave(const std::vector<std::string>& strXMLFileName, const std::string& strReportID,
                   const std::string& strSaveFileName);

private:
    void beginCall();
    std::string getTemplatePath(const std::string& reportId) const;
    int16_t checkReportFiles(const std::string& xmlFile, const std::string& reportId, const std::string& saveFileName);
    std::string tempWorkbookPath() const;
    void deleteImageBook();
    // Checks every data file, then hands them to `work` on the temporary
    // workbook, under its turn; the call's result, kept as the last one.
    int16_t onImageBook(const std::vector<std::string>& xmlFiles, const std::string& reportId,
                        const std::string& saveFileName, const std::function<int(ReportBook&)>& work);

    std::string templatePath_;  // of the last check
    int16_t code_ = NO_ERR;     // of the last check or call
    int checkCount_ = 0;        // template and save name checked in this call
};

}  // namespace fg
