#include "fax_images/pellior/fax_tran_refer_img.h"

#include "fax_images/pellior/page_files.h"

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
        auto check = [&k](short status, const std::string& what) {
            if (status != image::ImagingControl::kOk)
                throw pellior::statusError(status, what, k.lastError() ? &*k.lastError() : nullptr);
        };
        check(k.load(pellior::folder("Bitmap") + strBitmapFileName + ".bmp"), "ビットマップの読み込み");
        check(k.save(jpg, image::ImagingControl::kFormatJpeg, 24, 2, false), "JPEG の保存");
        check(k.check(jpg, 1), "JPEG の検査");
        k.clear();
        return true;
    } catch (...) {
        pellior::logCurrentException(kSource);
        return false;
    }
}

bool FAXTranReferImg::deleteImage(const std::string& strFileName) {
    try {
        pellior::checkPlainName(strFileName);
        pellior::deleteFile(pellior::folder("Bitmap") + strFileName + ".bmp");
        return true;
    } catch (...) {
        pellior::logCurrentException(kSource);
        return false;
    }
}

}  // namespace fg
