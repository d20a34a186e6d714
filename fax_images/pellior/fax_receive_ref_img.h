// FaxReceiveRefImg makes the JPEG copy of a received page bitmap: written
// beside the bitmap in the Bitmap folder, checked, then moved to Jpg +
// name + ".jpg". The bitmap itself stays.
#pragma once

#include "fax_images/pellior/img_tran_form.h"

#include <memory>
#include <string>

namespace fg {

class FaxReceiveRefImg {
public:
    FaxReceiveRefImg();
    ~FaxReceiveRefImg();

    // True when the checked copy is in the Jpg folder. A copy that does not
    // check stays in the Bitmap folder and is reported as a failure; a copy
    // of the same name already in the Jpg folder is never overwritten.
    // Every failure is logged (source "FaxReceiveRefImg").
    bool changeJPGFile(const std::string& strFileName);

private:
    std::unique_ptr<frmImgTranCtl> form_;
};

}  // namespace fg
