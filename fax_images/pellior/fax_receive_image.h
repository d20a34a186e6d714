// FaxReceiveImage turns a received G3 page into a bitmap for the reception
// program: G3Image + name + ".g3" becomes Bitmap + name + ".bmp", resized
// to 1303 x 1728 pels and turned a quarter counter-clockwise, so that it
// ends 1728 pels wide and 1303 high.
#pragma once

#include "fax_images/pellior/img_tran_form.h"

#include <memory>
#include <string>

namespace fg {

class FaxReceiveImage {
public:
    FaxReceiveImage();
    ~FaxReceiveImage();

    // A step with a non-zero status is logged with that status as the error
    // number (source "FaxReceiveImage") and answers False; later steps do
    // not run.
    bool changeBMPFile(const std::string& strFileName);

private:
    std::unique_ptr<frmImgTranCtl> form_;
};

}  // namespace fg
