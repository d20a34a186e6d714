#include "jobs/pomrik/make_ocr_data_ctl.h"

#include "jobs/errors.h"
#include "jobs/job_numbers.h"
#include "platform/clock.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"
#include "report_maker/fax_report_maker.h"
#include "settings/maker_info.h"

#include <optional>

namespace fg::jobs {

namespace {

const MakeOCRDataCtl::Form kQuotation{"9999", "F3-JP", "見積書"};
const MakeOCRDataCtl::Form kDeliveryDate{"9999", "F9-JP", "納期回答書"};
// Both forms: the quotation form first, under a number of its own.
const MakeOCRDataCtl::Form kQuotationOfBoth{"9998", "F3-JP", "見積書"};

}  // namespace

std::vector<MakeOCRDataCtl::Form> MakeOCRDataCtl::formsOf(const std::string& ocrType) {
    if (ocrType == "1") return {kQuotation};
    if (ocrType == "2") return {kDeliveryDate};
    if (ocrType == "3") return {kQuotationOfBoth, kDeliveryDate};
    return {};
}

MakeOCRDataCtl::MakeOCRDataCtl(EventPump& pump)
    : FaxJob(pump, {kProgram, errs::FormsNotSent, kReferenceCopy}) {}

bool MakeOCRDataCtl::blnSendFax() {
    std::string layoutFolder;
    std::vector<std::string> numbers;
    // Each number reads the clock on its own; both are held until their
    // records keep them taken, and through the clean-up of a failure, so
    // that no other job takes a number whose files are being removed.
    std::optional<JobNumbers> reserved;
    recorded_.clear();
    try {
        FolderPathInfo folders;
        const std::string reportFolder = folders.getFolderPath("ReportID");
        layoutFolder = folders.getFolderPath(FaxReportMaker::kFolderKey);

        reserved.emplace();
        std::vector<std::string> workbooks, titles;
        for (const Form& form : formsOf(ocrType_)) {
            numbers.push_back(reserved->reserve(form.suffix));
            workbooks.push_back(form.workbook);
            titles.push_back(form.title);
        }
        if (!setOCRManageNum(numbers, workbooks, titles)) throw Error(errs::FormsNotRecorded, {});

        for (std::size_t i = 0; i < numbers.size(); ++i)
            fs::copyFile(reportFolder + workbooks[i] + FaxReportMaker::kExtension,
                         layoutFolder + numbers[i] + FaxReportMaker::kExtension);
        const bool sent = makeFAXImage(numbers, numbers, titles.front());
        delLayoutCopies(layoutFolder, numbers);
        if (!sent) throw Error(errs::FormsPagesFailed, {});
        return true;
    } catch (...) {
        if (!layoutFolder.empty()) delLayoutCopies(layoutFolder, numbers);
        logCurrentFailure();
        // A record of a form that never went would await an answer to it
        // for ever: forms not handed over leave no record and no page.
        if (!handedOver())
            for (const std::string& number : recorded_) removeJobOutput(kProgram, number);
        return false;
    }
}

bool MakeOCRDataCtl::setOCRManageNum(const std::vector<std::string>& strRepManageNo, const std::vector<std::string>&,
                                     const std::vector<std::string>& strTitle) {
    try {
        MakerInfo supplier;
        if (!supplier.getMakerInfo("", strFaxNo(), true)) return false;  // the lookup has logged 40105
        if (strRepManageNo.empty()) {
            writeDebugLine(kProgram, "OCR帳票種別が正しくありません: \"" + ocrType_ + "\"");
            return false;
        }
        const std::string sendDate = timeStamp14(clock().now());
        recorded_.reserve(strRepManageNo.size());  // no record stored goes unnoted
        for (std::size_t i = 0; i < strRepManageNo.size(); ++i) {
            if (!storeJobRecord(strRepManageNo[i], strTitle.at(i), sendDate, supplier, true)) return false;
            recorded_.push_back(strRepManageNo[i]);
        }
        return true;
    } catch (...) {
        writeDebugLine(kProgram, "setOCRManageNum: " + currentError().description());
        return false;
    }
}

void MakeOCRDataCtl::delLayoutCopies(const std::string& layoutFolder, const std::vector<std::string>& strRepManageNo) {
    for (const std::string& number : strRepManageNo) (void)fs::removeFile(layoutFolder + number + FaxReportMaker::kExtension);
}

}  // namespace fg::jobs
