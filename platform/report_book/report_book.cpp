#include "platform/report_book/report_book.h"

#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/layout/sheet_renderer.h"
#include "platform/layout/workbook.h"
#include "platform/layout/workbook_file.h"
#include "platform/process/process.h"
#include "platform/xml.h"
#include "platform/xslt.h"

#include <cstdlib>
#include <functional>
#include <optional>
#include <utility>

namespace fg {

namespace {

constexpr const char* kXslNamespace = "http://www.w3.org/1999/XSL/Transform";

void logFailure(const char* call, int code, const std::string& why) {
    ErrorLogWriter().writeError(call, code, why);
}

// Any other failure of a call: the report book's own code, with what failed.
// Call only inside a catch.
int unexpected(const char* call) {
    logFailure(call, ReportBook::kUnexpected, currentError().description());
    return ReportBook::kUnexpected;
}

// Runs one step of a call; an error it raises is logged under the call as
// `code`, with `what` and the error's description, and answers `code`.
int step(const char* call, int code, const std::string& what, const std::function<void()>& work) {
    try {
        work();
    } catch (const Error& e) {
        logFailure(call, code, what + " (" + e.description() + ")");
        return code;
    }
    return ReportBook::kDone;
}

bool hasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value && *value) return true;
    }
    return false;
}

// Removes every spelling of a file; false when one is left.
bool removeAll(const std::string& path) {
    while (auto found = fs::resolve(path))
        if (!fs::removeFile(*found)) return false;
    return true;
}

bool isTemplateSheet(const xml::Document& doc) {
    // The root of a filling template is a literal result element that
    // names the XSLT version in the XSLT namespace, whatever its prefix.
    xml::Node root = doc.documentElement();
    if (root.isNull()) return false;
    return !root
                .selectSingleNode(std::string("@*[local-name()='version' and namespace-uri()='") + kXslNamespace +
                                  "']")
                .isNull();
}

}  // namespace

struct ReportBook::Filled {
    layout::Workbook workbook;
};

std::string ReportBook::pdfPathOf(const std::string& tempWorkbook) {
    std::string name = fs::nameOf(tempWorkbook);
    std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return fs::folderOf(tempWorkbook) + name + ".pdf";
}

ReportBook::ReportBook(std::string tempWorkbook) : tempWorkbook_(std::move(tempWorkbook)) {}

int ReportBook::fill(const char* call, const std::vector<std::string>& xmlFiles, const std::string& templatePath,
                     Filled& out) {
    // An earlier report's workbook and PDF go first: whatever happens below,
    // nothing of it is left to pass for this one.
    if (!removeAll(tempWorkbook_) || !removeAll(pdfPathOf(tempWorkbook_))) {
        logFailure(call, kTempWriteFailed, "前回の一時ブックを削除できません: " + tempWorkbook_);
        return kTempWriteFailed;
    }
    if (xmlFiles.empty()) {
        logFailure(call, kNoDataFile, "帳票のデータファイルが指定されていません");
        return kNoDataFile;
    }

    xml::Document sheet;
    if (!sheet.load(templatePath)) {
        logFailure(call, kTemplateUnreadable,
                   "帳票テンプレートを読めません: " + templatePath + " (" + sheet.parseError().reason + ")");
        return kTemplateUnreadable;
    }

    xml::Document input;
    xml::Node root = input.appendChild(input.createElement("ReportData"));
    for (const std::string& file : xmlFiles) {
        xml::Document data;
        if (!data.load(file) || data.documentElement().isNull()) {
            logFailure(call, kDataUnreadable,
                       "帳票のデータファイルを読めません: " + file + " (" + data.parseError().reason + ")");
            return kDataUnreadable;
        }
        xml::Node holder = root.appendChild(input.createElement("Data"));
        holder.setAttribute("file", fs::nameOf(file));
        holder.appendChild(data.documentElement().cloneNode(true));
    }

    std::string layoutText;
    if (isTemplateSheet(sheet)) {
        xml::Document filled;
        if (int code = step(call, kTemplateUnreadable, "帳票テンプレートで差し込めません: " + templatePath,
                            [&] { xml::transformNodeToObject(input.asNode(), sheet, filled); }))
            return code;
        layoutText = filled.xml();
    } else {
        layoutText = sheet.xml();
    }

    if (int code = step(call, kFillFailed, "差し込んだ帳票がレイアウトになりません: " + templatePath,
                        [&] { out.workbook = layout::parseWorkbook(layoutText); }))
        return code;
    return step(call, kTempWriteFailed, "一時ブックを書けません: " + tempWorkbook_,
                [&] { layout::writeWorkbook(tempWorkbook_, out.workbook); });
}

int ReportBook::writePdf(const char* call, const Filled& filled) {
    layout::RenderedPdf pdf;
    if (int code = step(call, kNothingToPrint, "帳票を印刷できません: " + tempWorkbook_,
                        [&] { pdf = layout::renderWorkbookPdf(filled.workbook); }))
        return code;
    const std::string path = pdfPathOf(tempWorkbook_);
    return step(call, kTempWriteFailed, "PDF を書けません: " + path, [&] { fs::writeFileAtomic(path, pdf.bytes); });
}

int ReportBook::gCallPrintReport(const std::vector<std::string>& xmlFiles, const std::string& templatePath,
                                 int copies, const std::string& printer) {
    constexpr const char* call = "gCallPrintReport";
    try {
        Filled filled;
        if (int code = fill(call, xmlFiles, templatePath, filled)) return code;
        if (copies < 1) {
            logFailure(call, kBadCopies, "印刷部数が正しくありません: " + std::to_string(copies));
            return kBadCopies;
        }
        const std::optional<std::string> lp = findOnPath("lp");
        if (!lp) {
            logFailure(call, kNoPrintCommand, "印刷コマンド lp が見つかりません");
            return kNoPrintCommand;
        }
        if (int code = writePdf(call, filled)) return code;
        const std::string pdf = pdfPathOf(tempWorkbook_);

        std::vector<std::string> args;
        if (!printer.empty()) args.insert(args.end(), {"-d", printer});
        args.insert(args.end(), {"-n", std::to_string(copies), pdf});
        int code = kDone;
        try {
            Process job = Process::start(*lp, args);
            if (!job.waitFor(kPrintBound)) {
                (void)job.terminate(std::chrono::milliseconds(5000));
                logFailure(call, kPrintTimedOut,
                           "lp が " + std::to_string(kPrintBound.count()) + " ms で終わらないため止めました (プリンタ: " +
                               (printer.empty() ? "既定" : printer) + ")");
                code = kPrintTimedOut;
            } else if (job.exitCode().value_or(-1) != 0) {
                logFailure(call, kPrintRefused,
                           "lp が印刷を受け付けません (終了コード " + std::to_string(job.exitCode().value_or(-1)) +
                               ", プリンタ: " + (printer.empty() ? "既定" : printer) + ")");
                code = kPrintRefused;
            }
        } catch (const Error& e) {
            logFailure(call, kNoPrintCommand, "lp を起動できません: " + e.description());
            code = kNoPrintCommand;
        }
        // lp has sent the file to the queue (or failed): the PDF is ours to remove.
        if (!removeAll(pdf)) logFailure(call, kTempWriteFailed, "印刷した PDF を削除できません: " + pdf);
        return code;
    } catch (...) {
        return unexpected(call);
    }
}

int ReportBook::gCallPreviewReport(const std::vector<std::string>& xmlFiles, const std::string& templatePath) {
    constexpr const char* call = "gCallPreviewReport";
    try {
        Filled filled;
        if (int code = fill(call, xmlFiles, templatePath, filled)) return code;
        if (int code = writePdf(call, filled)) return code;
        if (!hasDisplay()) return kDone;  // a server without a screen: the PDF is the preview
        const std::optional<std::string> viewer = findOnPath("xdg-open");
        if (!viewer) {
            logFailure(call, kNoViewer, "PDF を表示するプログラム xdg-open が見つかりません: " + pdfPathOf(tempWorkbook_));
            return kNoViewer;
        }
        try {
            // The preview stays on screen after the call, as long as the
            // person wants it: nobody waits for the viewer.
            Process::startDetached(*viewer, {pdfPathOf(tempWorkbook_)});
        } catch (const Error& e) {
            logFailure(call, kNoViewer, "PDF を表示できません: " + e.description());
            return kNoViewer;
        }
        return kDone;
    } catch (...) {
        return unexpected(call);
    }
}

int ReportBook::gCallSaveReport(const std::vector<std::string>& xmlFiles, const std::string& templatePath,
                                const std::string& saveFile) {
    constexpr const char* call = "gCallSaveReport";
    try {
        Filled filled;
        if (int code = fill(call, xmlFiles, templatePath, filled)) return code;
        return step(call, kSaveWriteFailed, "帳票を保存できません: " + saveFile,
                    [&] { layout::writeWorkbook(saveFile, filled.workbook); });
    } catch (...) {
        return unexpected(call);
    }
}

}  // namespace fg
