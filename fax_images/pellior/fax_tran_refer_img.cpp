#include "fax_images/pellior/fax_tran_refer_img.h"

#include "fax_images/pellior/page_files.h"
#include "platform/error_log.h"

namespace fg {

namespace {
constexpr const char* kSource = "FAXTranReferImg";
}

FAXTranReferImg::FAXTranReferImg() = default;
FAXTranReferImg::~FAXTranReferImg() = default;

frmImgTranCtl& FAXTranReferImg::form() {
    if (!form_) form_ = std::make_unique<frmImgTranCtl>();
    return *form_;
}

bool FAXTranReferImg::saveImage(const std::string& strBitmapFileName) {
    try {
        pellior::checkPlainName(strBitmapFileName);
        image::ImagingControl& k = form().KRAYTON1();
        const std::string jpg = pellior::folder("Jpg") + strBitmapFileName + ".jpg";
        // Each step is examined: a copy that was never written must not pass
        // on the strength of an older file of the same name.
        pellior::checkImaging(k.load(pellior::folder("Bitmap") + strBitmapFileName + ".bmp"), k, "ビットマップの読み込み");
        pellior::checkImaging(k.save(jpg, image::ImagingControl::kFormatJpeg, 24, 2, false), k, "JPEG の保存");
        pellior::checkImaging(k.check(jpg, 1), k, "JPEG の検査");
        k.clear();
        return true;
    } catch (...) {
        logCurrentError(kSource);
        return false;
    }
}

bool FAXTranReferImg::deleteImage(const std::string& strFileName) {
    try {
        pellior::checkPlainName(strFileName);
        pellior::deleteFile(pellior::folder("Bitmap") + strFileName + ".bmp");
        return true;
    } catch (...) {
        logCurrentError(kSource);
        return false;
    }
}

}  // namespace fg
