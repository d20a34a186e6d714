#include "jobs/drumel/make_career_send_ctl.h"

#include "fax_send/kelvra/fax_send_careers.h"
#include "fax_send/kelvra/month_sends.h"
#include "jobs/errors.h"
#include "jobs/job_numbers.h"
#include "platform/error_log.h"
#include "platform/folder_path_info.h"
#include "report_maker/fax_report_maker.h"
#include "platform/xml.h"
#include "platform/xslt.h"
#include "settings/fax_manage_num.h"
#include "settings/maker_info.h"

namespace fg::jobs {

namespace {

// Takes the list back: its record, document, layout and pages.
void removeRecord(const std::string& number) noexcept { removeJobOutput(MakeCareerSendCtl::kProgram, number); }

}  // namespace

MakeCareerSendCtl::MakeCareerSendCtl(EventPump& pump)
    : FaxJob(pump, {kProgram, errs::HistoryNotSent, FaxRepImg::ReferenceCopy::AsPrinted}) {}

bool MakeCareerSendCtl::blnSendFax() {
    try {
        std::string number;
        // A failed selection has recorded nothing and answered no number.
        if (SelFaxSendLog(month_, strFaxNo(), number) != 0) throw Error(errs::HistoryNotSelected, {});
        bool laidOut = false;
        std::string workbook;
        FaxReportMaker().makeReport({number}, kReportType, workbook, laidOut);
        if (!laidOut) {
            removeRecord(number);
            throw Error(errs::HistoryNotLaidOut, {});
        }
        if (!makeFAXImage({number}, {number}, kReportType)) {
            removeRecord(number);
            throw Error(errs::HistoryPagesFailed, {});
        }
        numbers_.reset();
        return true;
    } catch (...) {
        numbers_.reset();
        logCurrentFailure();
        return false;
    }
}

int MakeCareerSendCtl::SelFaxSendLog(const std::string& strYD, const std::string& strFaxNo, std::string& strOutFile) {
    std::string recorded;  // the number whose record this call stored
    try {
        // Held until the list is handed over or taken back: a job that dies
        // before leaves its number reserved, and the sweep takes the record
        // of a list that never went.
        numbers_.emplace();
        const std::string number = numbers_->reserve(kSuffix);
        const std::string stamp = number.substr(0, number.size() - std::char_traits<char>::length(kSuffix));

        FolderPathInfo folders;
        const std::string logPath = folders.getFolderPath("FaxSendLog") + FaxSendCareers::kFileName;
        std::vector<xml::Node> sends;
        if (!FaxSendCareers().getSendsOfMonth(strYD, strFaxNo, sends))
            throw Error(errnum::PathFileAccessError, "送信履歴を読めません: " + logPath);

        // The selection: the list's number, then the month's sends. The log
        // is never saved, so its records are moved over as they stand.
        xml::Document selection;
        selection.appendChild(selection.createProcessingInstruction("xml", "version=\"1.0\" encoding=\"Shift-jis\""));
        xml::Node root = selection.appendChild(selection.createElement("FaxSendLogs"));
        root.appendChild(selection.createElement("RepManageNo")).setText(number);
        // The number asked for: a month without sends has no record to
        // take it from, and the list must still say whom it is for.
        root.appendChild(selection.createElement("FAXNum")).setText(strFaxNo);
        for (const xml::Node& send : sends) root.appendChild(send);

        MakerInfo supplier;
        if (!supplier.getMakerInfo("", strFaxNo, true)) {
            logFailure(errs::SupplierNotRegistered, "[Fax番号:" + strFaxNo + "]");
            return -1;
        }
        if (!storeJobRecord(number, kTitle, stamp, supplier, false)) {
            logFailure(errs::RecordNotStored);
            return -1;
        }
        recorded = number;

        const std::string sheetPath = folders.getFolderPath("Xsl") + kStyleSheet;
        xml::Document sheet;
        if (!sheet.load(sheetPath))
            throw Error(errnum::FileNotFound, "スタイルシートを読めません: " + sheetPath + ": " + sheet.parseError().reason);
        xml::Document list;
        xml::transformNodeToObject(selection.asNode(), sheet, list);
        if (list.documentElement().isNull())
            throw Error(errnum::InvalidProcedureCall, kStyleSheet + std::string(" の結果が空です"));
        // The document is declared UTF-8, whatever the sheet declared.
        xml::Node declaration = list.createProcessingInstruction("xml", "version=\"1.0\" encoding=\"UTF-8\"");
        xml::Node first = list.asNode().firstChild();
        if (first.type() == xml::NodeType::ProcessingInstruction && first.nodeName() == "xml")
            list.asNode().replaceChild(declaration, first);
        else
            list.asNode().insertBefore(declaration, first);
        list.save(folders.getFolderPath("FaxSendXML") + number + ".xml");

        strOutFile = number;
        return 0;
    } catch (...) {
        // Only 40506 reaches the telephony log; the reason is kept.
        writeDebugLine(kProgram, "SelFaxSendLog: " + currentError().description());
        // A record without its document would be a list that was never
        // made: it goes with the failure.
        if (!recorded.empty()) removeRecord(recorded);
        return -1;
    }
}

}  // namespace fg::jobs
