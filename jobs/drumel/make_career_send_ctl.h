// The send-history list ("FAX送信履歴一覧", report type "F13"): the faxes
// sent to one fax number in one month, as the send log records them. The
// list gets the management number stamp + "0001"; its fax document is the
// month's selection of the send log, turned into the list by
// "FR130_ChangeStructure.xsl".
#pragma once

#include "jobs/fax_job.h"
#include "jobs/job_numbers.h"

#include <optional>
#include <string>

namespace fg::jobs {

class MakeCareerSendCtl : public FaxJob {
public:
    static constexpr const char* kProgram = "drumel";
    static constexpr const char* kSuffix = "0001";
    static constexpr const char* kReportType = "F13";
    static constexpr const char* kTitle = "FAX送信履歴一覧";
    static constexpr const char* kStyleSheet = "FR130_ChangeStructure.xsl";

    explicit MakeCareerSendCtl(EventPump& pump);

    // The month, "YYYYMM".
    const std::string& strSelectData() const { return month_; }
    void setStrSelectData(const std::string& month) { month_ = month; }

    // 40506 when the selection failed, 40507 when the layout, 40508 when the
    // pages could not be made or the send was refused; after the last two
    // the list is taken back whole: record, document, layout and pages.
    bool blnSendFax() override;

    // Selects the month's sends to the fax number, stores the list's record
    // and writes its fax document. 0 with the list's number in strOutFile;
    // -1 on failure, with strOutFile untouched and nothing of the list
    // recorded. An unregistered fax number logs 40105, a record the store
    // did not take 40013; the send log is only read.
    int SelFaxSendLog(const std::string& strYD, const std::string& strFaxNo, std::string& strOutFile);

private:
    std::string month_;
    // The list's number, held until it is handed over or taken back.
    std::optional<JobNumbers> numbers_;
};

}  // namespace fg::jobs
