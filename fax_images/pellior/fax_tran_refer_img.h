// FAXTranReferImg keeps the JPEG reference copy of a page bitmap that is
// about to be faxed: Jpg + name + ".jpg" from Bitmap + name + ".bmp".
#pragma once

#include "fax_images/pellior/img_tran_form.h"

#include <memory>
#include <string>

namespace fg {

class FAXTranReferImg {
public:
    FAXTranReferImg();
    ~FAXTranReferImg();

    // Writes the copy (24-bit JPEG) and checks it by decoding it again.
    // False, with the error behind it logged, when the bitmap cannot be
    // loaded, the copy cannot be written or does not check.
    bool saveImage(const std::string& strBitmapFileName);
    // Deletes Bitmap + name + ".bmp"; a missing bitmap is a logged failure.
    bool deleteImage(const std::string& strFileName);

private:
    frmImgTranCtl& form();
    std::unique_ptr<frmImgTranCtl> form_;
};

}  // namespace fg
