#include "fax_images/pellior/fax_receive_ref_img.h"

#include "fax_images/pellior/page_files.h"
#include "platform/error_log.h"
#include "platform/files.h"

namespace fg {

namespace {

constexpr const char* kSource = "FaxReceiveRefImg";

}  // namespace

FaxReceiveRefImg::FaxReceiveRefImg() = default;
FaxReceiveRefImg::~FaxReceiveRefImg() = default;

bool FaxReceiveRefImg::changeJPGFile(const std::string& strFileName) {
    try {
        pellior::checkPlainName(strFileName);
        if (!form_) form_ = std::make_unique<frmImgTranCtl>();
        image::ImagingControl& k = form_->KRAYTON1();
        const std::string bitmaps = pellior::folder("Bitmap");
        const std::string copy = bitmaps + strFileName + ".jpg";
        pellior::checkImaging(k.load(bitmaps + strFileName + ".bmp"), k, "ビットマップの読み込み");
        pellior::checkImaging(k.save(copy, image::ImagingControl::kFormatJpeg, 24, 2, false), k, "JPEG の保存");
        pellior::checkImaging(k.load(copy), k, "JPEG の読み込み");
        // A copy that does not check stays where it was written, for a
        // person to look at; it is not passed on as a good copy.
        pellior::checkImaging(k.check(copy, 1), k, "JPEG の検査");
        fs::moveNoReplace(copy, pellior::folder("Jpg") + strFileName + ".jpg");
        return true;
    } catch (...) {
        logCurrentError(kSource);
        return false;
    }
}

}  // namespace fg
