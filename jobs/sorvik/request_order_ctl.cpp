#include "jobs/sorvik/request_order_ctl.h"

#include "common/vantrel/information_code.h"
#include "documents/quillary/receipt_confirmation.h"
#include "edi_control/castrel/catalogue.h"
#include "edi_control/castrel/edi_control.h"
#include "jobs/errors.h"
#include "platform/folder_path_info.h"
#include "report_maker/fax_report_maker.h"
#include "platform/processed_file_hook.h"
#include "settings/maker_info.h"

#include <algorithm>

namespace fg::jobs {

RequestOrderCtl::RequestOrderCtl(EventPump& pump)
    : FaxJob(pump, {kProgram, errs::OrderBalanceFailed, FaxRepImg::ReferenceCopy::AsPrinted}) {}

RequestOrderCtl::~RequestOrderCtl() = default;

FaxTranXml& RequestOrderCtl::faxTranXml() {
    if (!faxTranXml_) faxTranXml_ = std::make_unique<FaxTranXml>(&eventPump());
    return *faxTranXml_;
}

bool RequestOrderCtl::blnSendFax() {
    try {
        EDIControl control(&eventPump());
        std::vector<GET_FILE> fetched;
        std::vector<std::string> downloaded;
        if (!control.getOrderBalanceData(strFaxNo(), fetched, downloaded))
            throw Error(errs::OrderBalanceFailed, {});
        // The downloaded files are this job's alone: they go whatever becomes
        // of the lists, and also when none was of a registered supplier, so
        // that none is left in the work folder.
        const std::string tempEdi = FolderPathInfo().getFolderPath(documents::folders::kMessages);
        bool made = false;
        try {
            if (fetched.empty() || fetched[0].intCnt == 0) {
                // Nothing, or nothing of a registered supplier (which the
                // fetch has confirmed already): nothing to fax.
                noteNothingToFax();
            } else {
                made = makeOrderBalanceFax(fetched);
            }
        } catch (...) {
            control.delEdiXmlFile(tempEdi, downloaded);
            throw;
        }
        control.delEdiXmlFile(tempEdi, downloaded);
        return made;
    } catch (...) {
        logCurrentFailure();
        return false;
    }
}

bool RequestOrderCtl::makeOrderBalanceFax(const std::vector<GET_FILE>& udtAllData) {
    // An unregistered fax number (logged by the lookup) matches no group:
    // nothing is faxed and the receipt is still confirmed.
    MakerInfo supplier;
    (void)supplier.getMakerInfo("", strFaxNo(), true);
    const std::string code = supplier.strSupplierCode();

    std::vector<Edit_File> groups;
    faxTranXml().EditData(udtAllData, groups);
    for (const Edit_File& group : groups) {
        if (code.empty() || group.strSupplier != code) continue;
        std::vector<std::string> numbers;
        // The builder logs why and has taken back what it recorded.
        if (!faxTranXml().makeOderBalanceList(group.strFileName, numbers, strFaxNo())) return false;
        const std::size_t used = std::min(group.strFileName.size(), static_cast<std::size_t>(std::max<int>(0, group.intCnt)));
        for (std::size_t k = 0; k < used; ++k) {
            bool ok = false;
            ProcessedFileHook::current().fileDone(group.strFileName[k], ok);
        }
        if (numbers.empty()) continue;
        for (const std::string& number : numbers) {
            bool laidOut = false;
            std::string workbook;
            FaxReportMaker().makeReport({number}, kReportType, workbook, laidOut);
            if (!laidOut) {
                faxTranXml().delManageOrderBalance(numbers);
                return false;
            }
        }
        // Owed from before the hand-over: should the job die before its
        // confirmation, the balances are not faxed a second time.
        std::string owed;
        try {
            owed = documents::OwedReceipts::owe(
                documents::listedArchives(FolderPathInfo().getFolderPath(documents::folders::kRequest),
                                          {castrel::kOrderConfirmList, {infocode::ORDERBALANCE}, nullptr}),
                {numbers});
        } catch (...) {
            faxTranXml().delManageOrderBalance(numbers);
            throw;
        }
        if (!makeFAXImage(numbers, numbers, kReportType)) {
            documents::OwedReceipts::forget(owed);
            faxTranXml().delManageOrderBalance(numbers);
            return false;
        }
        documents::OwedReceipts::handedOver(owed, numbers);
    }
    return PutConfirmFax();
}

bool RequestOrderCtl::PutConfirmFax() {
    try {
        const std::string folder = FolderPathInfo().getFolderPath(documents::folders::kRequest);
        return documents::confirmListed(
            folder, {castrel::kOrderConfirmList, {infocode::ORDERBALANCE}, [this](const documents::Confirmation& failed) {
                         // A refusal is a warning: the fax has gone, and the
                         // server offers the balances again.
                         if (failed.outcome == documents::Confirmation::Outcome::Refused)
                             logFailure(errs::ConfirmRefused, failed.detail, false);
                         else
                             logFailure(errs::ConfirmNotPacked, failed.detail);
                     }});
    } catch (...) {
        // The list is gone already: a confirmation is never sent twice.
        logCurrentFailure();
        return false;
    }
}

}  // namespace fg::jobs
