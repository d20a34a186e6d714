// The order-balance list ("注文残高一覧", report type "F7") that a supplier
// asks for by telephone: the order balances are fetched from the EDI server,
// the lists of the caller's supplier are built by the document builder (one
// per customer), laid out, made into pages and sent, and the receipt of the
// fetched data is confirmed to the EDI server from PutConfirmOrderFax.xml.
// Balances of other suppliers are not faxed; the downloaded files are
// removed from the work folder once the job is done with them.
#pragma once

#include "documents/quillary/catalogue.h"
#include "documents/quillary/fax_tran_xml.h"
#include "jobs/fax_job.h"

#include <memory>
#include <string>
#include <vector>

namespace fg::jobs {

class RequestOrderCtl : public FaxJob {
public:
    static constexpr const char* kProgram = "sorvik";
    static constexpr const char* kReportType = documents::report::OrderBalances;

    explicit RequestOrderCtl(EventPump& pump);
    ~RequestOrderCtl() override;

    // 40521 when the balances could not be fetched. Nothing fetched for a
    // registered supplier: nothing to fax, no log. A list, layout or page
    // step that fails ends the job without a log entry of its own (the step
    // has logged why) and takes the group's numbers back. Otherwise the
    // result of the confirmation; with no list of the caller's supplier
    // nothing is faxed and the confirmation still runs.
    bool blnSendFax() override;

    // Confirms the receipt listed in PutConfirmOrderFax.xml of "TempReqEDI"
    // under the order balances' information code, taking the file away
    // first. True when there is nothing to confirm, when the server
    // accepted it, and when it refused it (40205, logged as a warning: the
    // server offers the balances again). False after a packing failure
    // (40204) or any other error, the file gone either way.
    bool PutConfirmFax();

private:
    // The lists of the caller's supplier among the fetched files, then the
    // confirmation.
    bool makeOrderBalanceFax(const std::vector<GET_FILE>& udtAllData);
    // The document builder, made on first use.
    FaxTranXml& faxTranXml();

    std::unique_ptr<FaxTranXml> faxTranXml_;
};

}  // namespace fg::jobs
