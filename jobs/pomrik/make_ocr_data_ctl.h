// The blank OCR answer forms: the quotation form ("見積書", supplied workbook
// "F3-JP"), the delivery-date answer form ("納期回答書", "F9-JP"), or both,
// which the supplier fills in and faxes back for the OCR to read. Each form
// is a copy of its supplied workbook (folder "ReportID") laid out under its
// own management number; the copies exist only while the pages are made.
#pragma once

#include "jobs/fax_job.h"

#include <string>
#include <vector>

namespace fg::jobs {

class MakeOCRDataCtl : public FaxJob {
public:
    static constexpr const char* kProgram = "pomrik";
    // Their reference copies are the pages as sent, taken once they have
    // their fax page shape (the re-send reads them so).
    static constexpr FaxRepImg::ReferenceCopy kReferenceCopy = FaxRepImg::ReferenceCopy::AsSent;

    // One form of an OCR type: the suffix of its number, its supplied
    // workbook and its title.
    struct Form {
        const char* suffix;
        const char* workbook;
        const char* title;
    };
    // The forms of an OCR type, in the order they are sent: "1" the
    // quotation form, "2" the delivery-date answer form, "3" both; none for
    // any other type.
    static std::vector<Form> formsOf(const std::string& ocrType);

    explicit MakeOCRDataCtl(EventPump& pump);

    const std::string& strReportType() const { return ocrType_; }
    void setStrReportType(const std::string& ocrType) { ocrType_ = ocrType; }

    // 40511 when the records could not be written (no supplier registered,
    // an OCR type other than "1" to "3", the store), 40510 when the pages
    // could not be made or the send was refused; any other failure (a
    // supplied workbook missing, say) is logged as it came. The layout
    // copies go on every outcome; a failure takes back the records and
    // pages it made, as no form of it was sent.
    bool blnSendFax() override;

private:
    // One record per number, with the supplier found for the fax number and
    // one send date. False on any failure, and for no numbers at all.
    bool setOCRManageNum(const std::vector<std::string>& strRepManageNo, const std::vector<std::string>& strWorkbook,
                         const std::vector<std::string>& strTitle);
    // Deletes each number's layout copy that is still there.
    static void delLayoutCopies(const std::string& layoutFolder, const std::vector<std::string>& strRepManageNo);

    std::string ocrType_;
    // The numbers whose records this run has stored.
    std::vector<std::string> recorded_;
};

}  // namespace fg::jobs
