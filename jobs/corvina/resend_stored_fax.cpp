#include "jobs/corvina/resend_stored_fax.h"

#include "fax_images/pellior/page_files.h"
#include "jobs/belvast/make_test_fax_ctl.h"
#include "jobs/errors.h"
#include "jobs/pomrik/make_ocr_data_ctl.h"
#include "settings/fax_manage_num.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace fg::jobs {

namespace {

constexpr long kQuarterTurn = 9000;  // hundredths of a degree, counter-clockwise
constexpr std::uint32_t kWhite = 0xFFFFFF;

// Which picture of each page the job that made a fax of this title kept.
FaxRepImg::ReferenceCopy copyKeptFor(const std::string& title) {
    if (title == MakeTestFaxCtl::kTitle) return MakeTestFaxCtl::kReferenceCopy;
    for (const MakeOCRDataCtl::Form& form : MakeOCRDataCtl::formsOf("3"))  // both forms
        if (title == form.title) return MakeOCRDataCtl::kReferenceCopy;
    return FaxRepImg::ReferenceCopy::AsPrinted;
}

}  // namespace

ResendStoredFax::ResendStoredFax(EventPump& pump)
    : FaxJob(pump, {kProgram, errs::ResendNotSent, FaxRepImg::ReferenceCopy::AsPrinted}) {}

bool ResendStoredFax::turnsPages(const std::string& title) {
    return !pellior::uprightTitle(title) && copyKeptFor(title) == FaxRepImg::ReferenceCopy::AsPrinted;
}

bool ResendStoredFax::blnSendFax() {
    try {
        FaxManageNum store;
        std::vector<std::string> pages;
        // A number not on record is logged by the store as well.
        if (store.getRefImageFileToManage(number_, "", pages) <= 0)
            throw Error(errs::ResendNotOnRecord, "帳票管理番号=" + number_);
        if (!store.getManageNum(number_, "", true)) throw Error(errs::ResendNotOnRecord, "帳票管理番号=" + number_);
        const bool turn = turnsPages(store.mstrRepType());

        FaxRepImg pageFiles(&eventPump());
        for (const std::string& page : pages) {
            // Each step logs its own reason in the error log.
            if (!pageFiles.changeBMPFile(page, "1"))
                throw Error(errs::ResendPageFailed, "参照画像からページを作れません: " + page);
            shapePage(page, turn);
            if (!pageFiles.changeG3File(page)) throw Error(errs::ResendPageFailed, "G3 に変換できません: " + page);
            if (!pageFiles.deleteBMPFile(page))
                throw Error(errs::ResendPageFailed, "ビットマップを削除できません: " + page);
        }
        if (!handOver({number_})) throw Error(errs::ResendRefused, "帳票管理番号=" + number_);
        return true;
    } catch (...) {
        logCurrentFailure();
        return false;
    }
}

void ResendStoredFax::shapePage(const std::string& page, bool turn) {
    const std::string bitmap = pellior::folder("Bitmap") + page + ".bmp";
    // The square is the fax page; before the turn, the page lying on its side.
    auto [across, down] = pellior::faxPaperResolution(kSide, kSide);
    if (turn) std::swap(across, down);
    auto step = [&](short status, const char* what) {
        if (status == image::ImagingControl::kOk) return;
        // The imaging control's own error, under the job's number.
        const std::string reason = imaging_.lastError()
                                       ? " (" + std::to_string(imaging_.lastError()->number()) + " " +
                                             imaging_.lastError()->description() + ")"
                                       : "";
        imaging_.clear();
        throw Error(errs::ResendPageFailed, std::string("ページ ") + page + " の" + what + "に失敗しました" + reason);
    };
    step(imaging_.load(bitmap), "読み込み");
    step(imaging_.resize(kSide, kSide, 1, across, down), "サイズ変更");
    if (turn) step(imaging_.rotate(kQuarterTurn, true, kWhite), "回転");
    step(imaging_.save(bitmap, image::ImagingControl::kFormatBmp, 0, 0, false), "保存");
    imaging_.clear();
}

}  // namespace fg::jobs
