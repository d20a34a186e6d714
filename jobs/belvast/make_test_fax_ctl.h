// The test fax ("テスト帳票", report type "F16"): a one-page fax that shows a
// supplier's line and the machine work, sent on the supplier's request. Its
// fax document holds the send time and the management number (stamp +
// "9999"); its record carries the supplier found for the fax number.
#pragma once

#include "jobs/fax_job.h"

#include <string>
#include <vector>

namespace fg::jobs {

class MakeTestFaxCtl : public FaxJob {
public:
    static constexpr const char* kProgram = "belvast";
    static constexpr const char* kSuffix = "9999";
    static constexpr const char* kReportType = "F16";
    static constexpr const char* kTitle = "テスト帳票";
    // Its reference copy is the page as sent, taken once it has its fax
    // page shape (the re-send reads it so).
    static constexpr FaxRepImg::ReferenceCopy kReferenceCopy = FaxRepImg::ReferenceCopy::AsSent;

    explicit MakeTestFaxCtl(EventPump& pump);

    // 40500 when the document, layout or record could not be made, 40501
    // when the pages could not be made or the send was refused; what the job
    // wrote goes with the failure.
    bool blnSendFax() override;

private:
    // The document, its layout and its record, for each number. False on any
    // failure, unlogged here (the steps log their own reasons).
    bool setTestManageNum(const std::vector<std::string>& strRepManageNo, const std::vector<std::string>& strRepType);
    // Writes FaxSendXML + number + ".xml": JPTRM with SendDate and RepManageNo.
    bool makeTestFaxXml(const std::string& strRepManageNo);
};

}  // namespace fg::jobs
