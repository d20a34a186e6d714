#include "fax_images/pellior/fax_receive_image.h"

#include "fax_images/pellior/page_files.h"
#include "platform/error_log.h"

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
        pellior::checkImaging(k.load(bmp), k, "ビットマップの読み込み");
        pellior::checkImaging(k.resize(1303.0f, 1728.0f, 1), k, "サイズ変更");
        pellior::checkImaging(k.rotate(9000, true, frmImgTranCtl::kWhite), k, "回転");
        pellior::checkImaging(k.save(bmp, image::ImagingControl::kFormatBmp, 0, 0, false), k, "ビットマップの保存");
        return true;
    } catch (...) {
        logCurrentError(kSource);
        return false;
    }
}

}  // namespace fg
