#include "fax_images/pellior/fax_receive_image.h"

#include "fax_images/pellior/page_files.h"

namespace fg {

namespace {
constexpr const char* kSource = "FaxReceiveImage";
}

FaxReceiveImage::FaxReceiveImage() = default;
FaxReceiveImage::~FaxReceiveImage() = default;

bool FaxReceiveImage::changeBMPFile(const std::string& strFileName) {
    try {
        pellior::checkPlainName(strFileName);
        if (!form_) form_ = std::make_unique<frmImgTranCtl>();
        const std::string bmp = pellior::folder("Bitmap") + strFileName + ".bmp";
        std::int16_t rc = 0;
        form_->Ostrand1().G3ToBmp(pellior::folder("G3Image") + strFileName + ".g3", bmp, rc);
        if (rc != 0) throw pellior::statusError(rc, "G3ToBmp " + strFileName);
        image::ImagingControl& k = form_->KRAYTON1();
        auto check = [&k](short status, const std::string& what) {
            if (status != image::ImagingControl::kOk)
                throw pellior::statusError(status, what, k.lastError() ? &*k.lastError() : nullptr);
        };
        check(k.load(bmp), "ビットマップの読み込み");
        check(k.resize(1303.0f, 1728.0f, 1), "サイズ変更");
        check(k.rotate(9000, true, frmImgTranCtl::kWhite), "回転");
        check(k.save(bmp, image::ImagingControl::kFormatBmp, 0, 0, false), "ビットマップの保存");
        return true;
    } catch (...) {
        pellior::logCurrentException(kSource);
        return false;
    }
}

}  // namespace fg
