#include "fax_images/lustov/create_report_ctl.h"

#include "common/vantrel/edi_folder_information_object.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/file_lock.h"
#include "platform/files.h"
#include "platform/report_book/report_book.h"

#include <functional>
#include <optional>

namespace fg {

namespace {

// Results of the report book pass through as 16-bit values; the book's
// codes all fit, and anything that would not is not taken for success.
int16_t toResult(int code) {
    if (code < INT16_MIN || code > INT16_MAX) return ReportBook::kUnexpected;
    return static_cast<int16_t>(code);
}

// The temporary workbook and its PDF have one name for every program that
// prints reports, so one report's call at a time may use them: a second
// program would otherwise fill them with its own report while the first
// prints, or delete them under it. Without the folder there is nothing to
// share, and the report book reports the missing folder itself.
std::optional<FileLock> lockImageBook(const std::string& path) {
    if (!fs::folderExists(fs::folderOf(path))) return std::nullopt;
    return FileLock(path, FileLock::Mode::Exclusive);
}

}  // namespace

// Every call starts from nothing: the code and the template of an earlier
// call, or its "already checked" mark, would otherwise let a later call
// skip its checks or answer the earlier call's result.
void CreateReportCtl::beginCall() {
    templatePath_.clear();
    code_ = NO_ERR;
    checkCount_ = 0;
}

std::string CreateReportCtl::getTemplatePath(const std::string& reportId) const {
    EdiFolderInformationObject folders;
    return fs::join(fs::programFolder(), folders.getData("ReportID")) + reportId + ".xlt";
}

std::string CreateReportCtl::tempWorkbookPath() const {
    EdiFolderInformationObject folders;
    return fs::join(fs::programFolder(), folders.getData("temp")) + kTempWorkbookName;
}

int16_t CreateReportCtl::checkReportFiles(const std::string& xmlFile, const std::string& reportId,
                                          const std::string& saveFileName) {
    if (!fs::fileExists(xmlFile)) {
        code_ = NONE_XML_FILE;
        return code_;
    }
    if (checkCount_ == 0) {
        templatePath_ = getTemplatePath(reportId);
        // A report id names a template of the template folder; one that
        // climbs out of it names none.
        if (reportId.find('/') != std::string::npos || !fs::fileExists(templatePath_)) {
            code_ = NONE_TMP_FILE;
            return code_;
        }
        if (!saveFileName.empty()) {
            const std::size_t slash = saveFileName.rfind('/');
            // A bare name would land wherever the calling program happens to
            // run; a save file is named with its folder.
            bool folderOk = false;
            if (slash != std::string::npos) {
                const std::string folder = slash == 0 ? "/" : saveFileName.substr(0, slash);
                folderOk = fs::folderExists(folder);
            }
            const bool nameOk =
                saveFileName.size() >= 3 && saveFileName.compare(saveFileName.size() - 3, 3, "xls") == 0;
            if (!folderOk || !nameOk) code_ = NONE_SAVE_FILE;
            ++checkCount_;
        }
    }
    return code_;
}

void CreateReportCtl::deleteImageBook() {
    const std::string path = tempWorkbookPath();
    while (auto found = fs::resolve(path)) {
        if (!fs::removeFile(*found)) {
            // The report has been printed by now; a workbook left over is
            // replaced by the next call, so it is logged, not reported as a
            // failed print that a caller might repeat.
            ErrorLogWriter().writeError("doPrint", errnum::PermissionDenied,
                                        "一時ブックを削除できません: " + *found);
            return;
        }
    }
}

int16_t CreateReportCtl::onImageBook(const std::vector<std::string>& xmlFiles, const std::string& reportId,
                                     const std::string& saveFileName, const std::function<int(ReportBook&)>& work) {
    int16_t code = NO_ERR;
    for (const std::string& file : xmlFiles)
        if ((code = checkReportFiles(file, reportId, saveFileName)) != NO_ERR) break;
    if (code == NO_ERR) {
        const std::string imageBook = tempWorkbookPath();
        const auto lock = lockImageBook(imageBook);
        ReportBook book(imageBook);
        code = toResult(work(book));
    }
    code_ = code;
    return code;
}

int16_t CreateReportCtl::doPrint(const std::vector<std::string>& strXMLFileName, const std::string& strReportID,
                                 const Variant& /*varFromPageNo*/, const Variant& /*varToPageNo*/,
                                 int16_t intCopiesCnt, const Variant& /*varPreview*/,
                                 const Variant& /*varPrintToFile*/, const Variant& /*varCollate*/,
                                 std::string strActivePrinter) {
    beginCall();
    templatePath_ = getTemplatePath(strReportID);
    return onImageBook(strXMLFileName, strReportID, "", [&](ReportBook& book) {
        int result = book.gCallPrintReport(strXMLFileName, templatePath_, intCopiesCnt, strActivePrinter);
        deleteImageBook();
        return result;
    });
}

int16_t CreateReportCtl::doPreview(const std::vector<std::string>& strXMLFileName, const std::string& strReportID) {
    beginCall();
    templatePath_ = getTemplatePath(strReportID);
    return onImageBook(strXMLFileName, strReportID, "", [&](ReportBook& book) {
        return book.gCallPreviewReport(strXMLFileName, templatePath_);
    });
}

int16_t CreateReportCtl::doSave(const std::vector<std::string>& strXMLFileName, const std::string& strReportID,
                                const std::string& strSaveFileName) {
    beginCall();
    return onImageBook(strXMLFileName, strReportID, strSaveFileName, [&](ReportBook& book) {
        return book.gCallSaveReport(strXMLFileName, templatePath_, strSaveFileName);
    });
}

}  // namespace fg
