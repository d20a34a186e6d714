#include "jobs/belvast/make_test_fax_ctl.h"

#include "jobs/errors.h"
#include "jobs/job_numbers.h"
#include "platform/clock.h"
#include "platform/error_log.h"
#include "platform/folder_path_info.h"
#include "report_maker/fax_report_maker.h"
#include "platform/xml.h"
#include "settings/maker_info.h"

namespace fg::jobs {

MakeTestFaxCtl::MakeTestFaxCtl(EventPump& pump)
    : FaxJob(pump, {kProgram, errs::TestFaxNotSent, kReferenceCopy}) {}

bool MakeTestFaxCtl::blnSendFax() {
    std::string taken;
    try {
        // Held until the document and the record keep the number taken.
        JobNumbers numbers;
        const std::vector<std::string> number{numbers.reserve(kSuffix)};
        taken = number.front();
        if (!setTestManageNum(number, {kReportType})) throw Error(errs::TestFaxNotMade, {});
        if (!makeFAXImage(number, number, kReportType)) throw Error(errs::TestFaxNotSent, {});
        return true;
    } catch (...) {
        logCurrentFailure();
        // A test fax that did not go is no use to anyone: none of it stays.
        if (!taken.empty()) removeJobOutput(kProgram, taken);
        return false;
    }
}

bool MakeTestFaxCtl::setTestManageNum(const std::vector<std::string>& strRepManageNo,
                                      const std::vector<std::string>&) {
    try {
        MakerInfo supplier;
        if (!supplier.getMakerInfo("", strFaxNo(), true)) return false;  // the lookup has logged 40105
        const std::string sendDate = timeStamp14(clock().now());
        for (const std::string& number : strRepManageNo) {
            if (!makeTestFaxXml(number)) return false;
            bool laidOut = false;
            std::string workbook;
            FaxReportMaker().makeReport(strRepManageNo, kReportType, workbook, laidOut);
            if (!laidOut) return false;
            if (!storeJobRecord(number, kTitle, sendDate, supplier, true)) return false;
        }
        return true;
    } catch (...) {
        // Only the job's number reaches the telephony log; the reason is kept.
        writeDebugLine(kProgram, "setTestManageNum: " + currentError().description());
        return false;
    }
}

bool MakeTestFaxCtl::makeTestFaxXml(const std::string& strRepManageNo) {
    try {
        const std::string folder = FolderPathInfo().getFolderPath("FaxSendXML");
        xml::Document doc;
        doc.appendChild(doc.createProcessingInstruction("xml", "version=\"1.0\" encoding=\"shift-jis\""));
        xml::Node root = doc.appendChild(doc.createElement("JPTRM"));
        root.appendChild(doc.createElement("SendDate")).setText(formatLocal(clock().now(), "%Y/%m/%d %H:%M:%S"));
        root.appendChild(doc.createElement("RepManageNo")).setText(strRepManageNo);
        doc.save(folder + strRepManageNo + ".xml");
        return true;
    } catch (...) {
        writeDebugLine(kProgram, "makeTestFaxXml: " + currentError().description());
        return false;
    }
}

}  // namespace fg::jobs
