#include "fax_images/pellior/fax_receive_ref_img.h"

#include "fax_images/pellior/page_files.h"
#include "platform/error_log.h"
#include "platform/files.h"

#include <filesystem>
#include <system_error>

namespace fg {

namespace {

constexpr const char* kSource = "FaxReceiveRefImg";

// Moves a file without ever replacing one: a hard link is made at the new
// name (which fails when the name is taken) and the old name removed; across
// file systems, a copy that refuses to overwrite.
void moveNoReplace(const std::string& from, const std::string& to) {
    namespace sfs = std::filesystem;
    if (fs::fileExists(to))  // names are matched without regard to case
        throw Error(errnum::FileAlreadyExists, Error::standardText(errnum::FileAlreadyExists) + " " + to);
    std::error_code ec;
    sfs::create_hard_link(from, to, ec);
    if (ec == std::errc::cross_device_link || ec == std::errc::operation_not_permitted) {
        ec.clear();
        sfs::copy_file(from, to, sfs::copy_options::none, ec);
    }
    if (ec == std::errc::file_exists)
        throw Error(errnum::FileAlreadyExists, Error::standardText(errnum::FileAlreadyExists) + " " + to);
    if (ec) throw Error(errnum::PathFileAccessError, "移動できません: " + from + " -> " + to + ": " + ec.message());
    if (!fs::removeFile(from))
        throw Error(errnum::PathFileAccessError, "移動元を削除できません: " + from);
}

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
        moveNoReplace(copy, pellior::folder("Jpg") + strFileName + ".jpg");
        return true;
    } catch (...) {
        logCurrentError(kSource);
        return false;
    }
}

}  // namespace fg
