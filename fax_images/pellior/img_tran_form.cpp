#include "fax_images/pellior/img_tran_form.h"

#include "platform/layout/page_export.h"

namespace fg {

Ostrand& frmImgTranCtl::Ostrand1() {
    if (!ostrand_) {
        ostrand_ = std::make_unique<Ostrand>();
        ostrand_->createWindow();
    }
    return *ostrand_;
}

std::vector<std::string> frmImgTranCtl::MfExp1Export(const std::string& printedFile, const std::string& bitmapPath) {
    return layout::exportPages(printedFile, bitmapPath);
}

}  // namespace fg
