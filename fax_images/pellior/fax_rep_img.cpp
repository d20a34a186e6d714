#include "fax_images/pellior/fax_rep_img.h"

#include "fax_images/pellior/fax_tran_refer_img.h"
#include "fax_images/pellior/page_files.h"
#include "fax_images/pellior/print_start_file.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/layout/fax_report_maker.h"
#include "platform/layout/page_export.h"
#include "platform/layout/workbook_file.h"
#include "platform/values.h"
#include "settings/fax_manage_num.h"

namespace fg {

namespace {

using pellior::checkPlainName;
using pellior::folder;
using pellior::logCurrentException;
using pellior::statusError;

// The report types whose forms are laid out upright and go out as they are.
bool uprightForm(const std::string& repType) {
    return repType == "FAX回答再送信依頼" || repType == "未処理一覧" || repType == "テスト帳票";
}

// The fax page shape (width x height of the first resize) and whether the
// page is then turned.
constexpr float kLong = 1728.0f, kShort = 1200.0f;

// A page that came back from an imaging call with a non-zero status.
void check(short status, const image::ImagingControl& k, const std::string& what) {
    if (status != image::ImagingControl::kOk)
        throw statusError(status, what, k.lastError() ? &*k.lastError() : nullptr);
}

}  // namespace

FaxRepImg::FaxRepImg(EventPump* pump) : pump_(pump) {}
FaxRepImg::~FaxRepImg() = default;

frmImgTranCtl& FaxRepImg::form() {
    if (!form_) form_ = std::make_unique<frmImgTranCtl>();
    return *form_;
}

bool FaxRepImg::CreateMyTalkFile() {
    try {
        PrintStartFile::write();
        return true;
    } catch (...) {
        logCurrentException("CreateMyTalkFile");
        return false;
    }
}

bool FaxRepImg::makeFAXImage(const std::vector<std::string>& strRepManageNo,
                             const std::vector<std::string>& strExcelName, const std::string&) {
    try {
        FaxManageNum store;
        for (std::size_t i = 0; i < strRepManageNo.size(); ++i) {
            const std::string& n = strRepManageNo[i];
            if (i >= strExcelName.size())
                throw Error(errnum::SubscriptOutOfRange, "帳票管理番号=" + n + " のレイアウト名がありません");
            const std::string& e = strExcelName[i];
            if (!changeMSFFile(e, false)) throw Error(kMakeImageError, "On Error");
            if (!changeBMPFile(e, "0")) throw Error(kMakeImageError, "On Error");
            // Pages by their number, and only the pages of exactly this layout.
            std::vector<std::string> pages = layout::listPages(folder("Bitmap"), e);
            if (pages.empty()) {
                pellior::logError("makeFAXImage", Error(errnum::FileNotFound, "ページのビットマップがありません: " + e));
                throw Error(kMakeImageError, "On Error");
            }
            for (const std::string& p : pages) {
                if (!FAXTranReferImg().saveImage(p) || !trimBMPFile(p, n) || !changeG3File(p) || !deleteBMPFile(p))
                    throw Error(kMakeImageError, "On Error");
            }
            if (!store.subAddTempImageFileNames(n, pages) || !store.subAddRefImageFileNames(n, pages))
                throw Error(kMakeImageError, "On Error");
        }
        return true;
    } catch (const Error& e) {
        // The step that failed has logged what went wrong; a failure of our
        // own (no layout name, no store) is logged here beside the number.
        if (e.number() != kMakeImageError) pellior::logError("makeFAXImage", e);
    } catch (...) {
        logCurrentException("makeFAXImage");
    }
    pellior::logError("makeFAXImage", Error(kMakeImageError, "On Error"));
    return false;
}

bool FaxRepImg::delG3FromManageNo(const std::string& strRepManageNo) {
    try {
        std::vector<std::string> names;
        FaxManageNum store;
        const int count = store.getTempImageFileToManage(strRepManageNo, "", names);
        for (int i = 0; i < count && static_cast<std::size_t>(i) < names.size(); ++i) {
            if (!deleteG3File(names[static_cast<std::size_t>(i)]))
                throw Error(kDeleteG3Error, "帳票管理番号=" + strRepManageNo, "");
        }
        return true;
    } catch (...) {
        logCurrentException("FaxRepImg");
        return false;
    }
}

bool FaxRepImg::deleteBMPFile(const std::string& strBmpFileName) {
    try {
        checkPlainName(strBmpFileName);
        pellior::deleteFile(folder("Bitmap") + strBmpFileName + ".bmp");
        return true;
    } catch (...) {
        logCurrentException("deleteBMPFile");
        return false;
    }
}

bool FaxRepImg::changeBMPFile(const std::string& strMFSFileName, const std::string& strFileType) {
    try {
        checkPlainName(strMFSFileName);
        if (toInt16(strFileType) == 0) {
            form().MfExp1Export(folder("Msf") + strMFSFileName + ".msf", folder("Bitmap") + strMFSFileName + ".bmp");
            return deleteMSFFile(strMFSFileName);
        }
        // A page rebuilt from its copy for a re-send: the copy holds the page
        // as printed, so it is brought to the fax page shape here, upright
        // pages as they stand and wide pages turned, as trimBMPFile did with
        // the page first sent.
        image::ImagingControl& k = form().KRAYTON1();
        const std::string bmp = folder("Bitmap") + strMFSFileName + ".bmp";
        check(k.load(folder("Jpg") + strMFSFileName + ".jpg"), k, "JPEG の読み込み");
        const bool wide = k.picture().width() > k.picture().height();
        check(wide ? k.resize(kLong, kShort, 1) : k.resize(kShort, kLong, 1), k, "サイズ変更");
        if (wide) check(k.rotate(9000, true, frmImgTranCtl::kWhite), k, "回転");
        check(k.save(bmp, image::ImagingControl::kFormatBmp, 8, 2, false), k, "ビットマップの保存");
        return true;
    } catch (...) {
        logCurrentException("changeBMPFile");
        return false;
    }
}

bool FaxRepImg::changeG3File(const std::string& strBmpFileName) {
    try {
        checkPlainName(strBmpFileName);
        Ostrand& o = form().Ostrand1();
        o.setStretch(otStretchBothHigh);
        std::int16_t rc = 0;
        o.BmpToG3(folder("Bitmap") + strBmpFileName + ".bmp", folder("G3Image") + strBmpFileName + ".g3", rc);
        if (rc != 0) throw statusError(rc, "BmpToG3 " + strBmpFileName);
        return true;
    } catch (...) {
        logCurrentException("changeG3File");
        return false;
    }
}

bool FaxRepImg::changeMSFFile(const std::string& strExcelFileName, bool blnDelFlg) {
    bool started = false;
    try {
        checkPlainName(strExcelFileName);
        const std::string xls = folder("ExcelLayout") + strExcelFileName + ".xls";
        const std::string msf = folder("Msf") + strExcelFileName + ".msf";
        FileLock printing = PrintStartFile::acquire(pump_);
        started = true;
        if (!CreateMyTalkFile()) {
            PrintStartFile::remove();
            return false;
        }
        layout::FaxPrinter& printer = form().MfRemote1();
        printer.reset();
        if (!printer.setOutputFile(msf)) throw Error(errnum::PathNotFound, "印刷先に書けません: " + msf);
        layout::Workbook workbook = layout::readWorkbook(xls);
        if (workbook.sheets.empty()) throw Error(layout::kLayoutError, "シートがありません: " + xls);
        layout::PageSetup& setup = workbook.sheets[0].pageSetup;
        setup.leftMargin = 1;
        setup.rightMargin = 1;
        setup.topMargin = 20;
        setup.bottomMargin = 0;
        printer.print(workbook, 0);
        PrintStartFile::remove();
        started = false;
        printing.unlock();
        if (!blnDelFlg) {
            bool ok = false;
            FaxReportMaker().deleteReport(strExcelFileName, ok);
            // The pages are made all the same; a layout left behind is only
            // reported, for the operator to clear.
            if (!ok)
                pellior::logError("changeMSFFile", Error(errnum::PathFileAccessError,
                                                         "印刷したレイアウトを削除できません: " + xls));
        }
        return true;
    } catch (...) {
        logCurrentException("changeMSFFile");
        // Only the holder of the print lock may remove the start file.
        if (started) PrintStartFile::remove();
        return false;
    }
}

bool FaxRepImg::trimBMPFile(const std::string& strBmpFileName, const std::string& strRepNo) {
    try {
        checkPlainName(strBmpFileName);
        FaxManageNum store;
        if (!store.getManageNum(strRepNo, "", true)) return false;  // the store has logged 40012
        const bool upright = uprightForm(store.mstrRepType());
        const std::string bmp = folder("Bitmap") + strBmpFileName + ".bmp";
        image::ImagingControl& k = form().KRAYTON1();
        check(k.load(bmp), k, "ビットマップの読み込み");
        check(upright ? k.resize(kShort, kLong, 1) : k.resize(kLong, kShort, 1), k, "サイズ変更");
        check(k.save(bmp, image::ImagingControl::kFormatBmp, 0, 0, false), k, "ビットマップの保存");
        if (upright) return true;
        check(k.load(bmp), k, "ビットマップの読み込み");
        check(k.rotate(9000, true, frmImgTranCtl::kWhite), k, "回転");
        check(k.save(bmp, image::ImagingControl::kFormatBmp, 0, 0, false), k, "ビットマップの保存");
        return true;
    } catch (...) {
        logCurrentException("trimBMPFile");
        return false;
    }
}

bool FaxRepImg::deleteG3File(const std::string& name) {
    try {
        checkPlainName(name);
        pellior::deleteFile(folder("G3Image") + name + ".g3");
        return true;
    } catch (...) {
        logCurrentException("deleteG3File");
        return false;
    }
}

bool FaxRepImg::deleteMSFFile(const std::string& name) {
    try {
        pellior::deleteFile(folder("Msf") + name + ".msf");
        return true;
    } catch (...) {
        logCurrentException("deleteMSFFile");
        return false;
    }
}

}  // namespace fg
