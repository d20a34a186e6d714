#include "fax_images/pellior/fax_rep_img.h"

#include "fax_images/pellior/page_files.h"
#include "fax_images/pellior/print_start_file.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/image/bmp.h"
#include "platform/image/image.h"
#include "platform/imaging/jpeg.h"
#include "report_maker/fax_report_maker.h"
#include "platform/layout/workbook_file.h"
#include "platform/values.h"
#include "settings/fax_manage_num.h"
#include "settings/manage_records.h"

#include <optional>
#include <utility>

namespace fg {

using pellior::checkImaging;
using pellior::checkPlainName;
using pellior::folder;

// One document on its way through makeFAXImage: its management number, the
// report title that shapes its pages, read from its record when the first
// page needs it, and which picture of a page becomes its copy.
struct FaxRepImg::Document {
    const std::string& number;
    PageRecords& records;
    std::optional<std::string> title;
    ReferenceCopy referenceCopy;
};

namespace {

// The records of makeFAXImage's documents as the store holds them: the store
// read once for the titles (a number it does not show is asked of the store
// itself, which logs NoRecordForManageNum when it has none), and the page names kept until
// every document is made, then appended in one save.
class StoredPages : public PageRecords {
public:
    std::optional<std::string> title(const std::string& number) override {
        if (!read_) read_.emplace();
        if (const ManageRecord* record = read_->find(number)) return record->title();
        FaxManageNum store;
        if (!store.getManageNum(number, "", true)) return std::nullopt;
        return store.mstrRepType();
    }
    bool pagesMade(const std::string& number, const std::vector<std::string>& names) override {
        made_.push_back({number, names});
        return true;
    }
    // Appends the page names of every document made to its record; False
    // after logging why.
    bool store() {
        if (made_.empty()) return true;
        StoreChanges changes;
        for (const auto& [number, names] : made_) changes.addPages(number, names);
        made_.clear();
        try {
            changes.apply();
            return true;
        } catch (...) {
            logCurrentError(FaxManageNum::kErrorSource);
            return false;
        }
    }

private:
    std::optional<StoredRecords> read_;
    std::vector<std::pair<std::string, std::vector<std::string>>> made_;
};

}  // namespace

FaxRepImg::FaxRepImg(EventPump* pump) : pump_(pump) { image::keepPictureMemory(); }
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
        logCurrentError("CreateMyTalkFile");
        return false;
    }
}

bool FaxRepImg::makeFAXImage(const std::vector<std::string>& strRepManageNo,
                             const std::vector<std::string>& strExcelName, const std::string&,
                             ReferenceCopy referenceCopy) {
    StoredPages records;
    // The documents made before a failure are recorded all the same.
    const bool made = makeDocuments(strRepManageNo, strExcelName, records, referenceCopy);
    if (records.store() && made) return true;
    pellior::logError("makeFAXImage", Error(kMakeImageError, "On Error"));
    return false;
}

bool FaxRepImg::makeFAXImage(const std::vector<std::string>& strRepManageNo,
                             const std::vector<std::string>& strExcelName, const std::string&, PageRecords& records,
                             ReferenceCopy referenceCopy) {
    if (makeDocuments(strRepManageNo, strExcelName, records, referenceCopy)) return true;
    pellior::logError("makeFAXImage", Error(kMakeImageError, "On Error"));
    return false;
}

bool FaxRepImg::makeDocuments(const std::vector<std::string>& numbers, const std::vector<std::string>& layouts,
                              PageRecords& records, ReferenceCopy referenceCopy) {
    try {
        for (std::size_t i = 0; i < numbers.size(); ++i) {
            const std::string& n = numbers[i];
            if (i >= layouts.size())
                throw Error(errnum::SubscriptOutOfRange, "帳票管理番号=" + n + " のレイアウト名がありません");
            const std::string& e = layouts[i];
            // The print and its export: the printer hands the pages over
            // with the printed file, which has then served its turn.
            std::vector<layout::PrintedPage> pages;
            if (!print(e, false, &pages) || !deleteMSFFile(e)) throw Error(kMakeImageError, "On Error");
            const std::vector<std::string> names = pellior::freshPageNames(e, pages.size());
            if (names.empty()) throw Error(errnum::SubscriptOutOfRange, "帳票管理番号=" + n + " のページがありません");
            Document document{n, records, std::nullopt, referenceCopy};
            for (std::size_t k = 0; k < pages.size(); ++k) {
                if (makePage(document, names[k], pages[k])) continue;
                leaveBitmaps(names, pages, k);
                throw Error(kMakeImageError, "On Error");
            }
            // The copies and G3 pages were written unsynced, page by page;
            // made durable together here (one commit of the disk's journal
            // serves them all), before the record names them.
            try {
                for (const std::string& name : names) {
                    fs::syncFile(folder("Jpg") + name + ".jpg");
                    fs::syncFile(folder("G3Image") + name + ".g3");
                }
            } catch (...) {
                logCurrentError("makeFAXImage");
                throw Error(kMakeImageError, "On Error");
            }
            if (!records.pagesMade(n, names)) throw Error(kMakeImageError, "On Error");
        }
        return true;
    } catch (...) {
        // The step that failed has logged what went wrong; a failure of our
        // own (no layout name) is logged here beside the number.
        Error e = currentError();
        if (e.number() != kMakeImageError) pellior::logError("makeFAXImage", e);
        return false;
    }
}

bool FaxRepImg::makePage(Document& document, const std::string& name, layout::PrintedPage& page) {
    const std::string bitmap = folder("Bitmap") + name + ".bmp";
    // 1. The reference copy of the page as printed: the printed page's own
    // JPEG picture.
    if (document.referenceCopy == ReferenceCopy::AsPrinted && !keepReferenceCopy(name, page.jpeg)) return false;
    // 2. The fax page shape of the record's title, written for the engine.
    image::Image shaped;
    try {
        if (!document.title) {
            document.title = document.records.title(document.number);
            if (!document.title) return false;  // the records have logged why
        }
        shaped = pellior::shapeForFax(page.picture, *document.title, name, "trimBMPFile");
        page.picture = image::Image();
        image::writeBmp(bitmap, shaped, 8, 128, fs::Sync::Passing);
    } catch (...) {
        logCurrentError("trimBMPFile");
        return false;
    }
    // 2b. Or the reference copy of the page as sent, coded as the printed
    // copies are.
    if (document.referenceCopy == ReferenceCopy::AsSent) {
        std::string sent;
        try {
            sent = image::encodeJpeg(shaped, 24);
        } catch (...) {
            logCurrentError("FAXTranReferImg");
            return false;
        }
        if (!keepReferenceCopy(name, sent)) return false;
    }
    // 3. The G3 page (synced with the copies), 4. the bitmap gone.
    return codeG3(name, false) && deleteBMPFile(name);
}

bool FaxRepImg::keepReferenceCopy(const std::string& name, std::string_view jpeg) {
    try {
        const std::string copy = folder("Jpg") + name + ".jpg";
        fs::writeFileAtomic(copy, jpeg, fs::Sync::Passing);
        image::checkWritten(copy, jpeg);
        return true;
    } catch (...) {
        logCurrentError("FAXTranReferImg");
        return false;
    }
}

void FaxRepImg::leaveBitmaps(const std::vector<std::string>& names, const std::vector<layout::PrintedPage>& pages,
                             std::size_t from) {
    for (std::size_t j = from; j < pages.size(); ++j) {
        // A page shaped already has its bitmap; the others are left as printed.
        const std::string bitmap = folder("Bitmap") + names[j] + ".bmp";
        if (fs::fileExists(bitmap) || pages[j].picture.empty()) continue;
        try {
            image::writeBmp(bitmap, pages[j].picture, 8);
        } catch (...) {
            logCurrentError("makeFAXImage");
        }
    }
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
        logCurrentError("FaxRepImg");
        return false;
    }
}

bool FaxRepImg::deleteBMPFile(const std::string& strBmpFileName) {
    try {
        checkPlainName(strBmpFileName);
        pellior::deleteFile(folder("Bitmap") + strBmpFileName + ".bmp");
        return true;
    } catch (...) {
        logCurrentError("deleteBMPFile");
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
        // A page rebuilt from its copy for a re-send, as the copy stands: the
        // re-send shapes it afterwards, as trimBMPFile shaped the page first
        // sent (shaping it here as well would turn a wide page twice).
        image::ImagingControl& k = form().KRAYTON1();
        checkImaging(k.load(folder("Jpg") + strMFSFileName + ".jpg"), k, "JPEG の読み込み");
        checkImaging(k.save(folder("Bitmap") + strMFSFileName + ".bmp", image::ImagingControl::kFormatBmp, 8, 2, false),
                     k, "ビットマップの保存");
        k.clear();
        return true;
    } catch (...) {
        logCurrentError("changeBMPFile");
        return false;
    }
}

bool FaxRepImg::changeG3File(const std::string& strBmpFileName) { return codeG3(strBmpFileName, true); }

bool FaxRepImg::codeG3(const std::string& name, bool durable) {
    try {
        checkPlainName(name);
        Ostrand& o = form().Ostrand1();
        o.setStretch(otStretchBothHigh);
        std::int16_t rc = 0;
        const std::string g3 = folder("G3Image") + name + ".g3";
        o.BmpToG3(folder("Bitmap") + name + ".bmp", g3, rc);
        if (rc != 0) throw pellior::statusError(rc, "BmpToG3 " + name);
        if (durable) fs::syncFile(g3);
        return true;
    } catch (...) {
        logCurrentError("changeG3File");
        return false;
    }
}

bool FaxRepImg::changeMSFFile(const std::string& strExcelFileName, bool blnDelFlg) {
    return print(strExcelFileName, blnDelFlg, nullptr);
}

bool FaxRepImg::print(const std::string& layoutName, bool keepLayout, std::vector<layout::PrintedPage>* pages) {
    bool started = false;
    try {
        checkPlainName(layoutName);
        const std::string xls = folder("ExcelLayout") + layoutName + ".xls";
        const std::string msf = folder("Msf") + layoutName + ".msf";
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
        std::vector<layout::PrintedPage> printed = printer.printPages(workbook, 0);
        PrintStartFile::remove();
        started = false;
        printing.unlock();
        if (!keepLayout) {
            bool ok = false;
            FaxReportMaker().deleteReport(layoutName, ok);
            // The pages are made all the same; a layout left behind is only
            // reported, for the operator to clear.
            if (!ok)
                pellior::logError("changeMSFFile", Error(errnum::PathFileAccessError,
                                                         "印刷したレイアウトを削除できません: " + xls));
        }
        if (pages) *pages = std::move(printed);
        return true;
    } catch (...) {
        logCurrentError("changeMSFFile");
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
        const std::string bmp = folder("Bitmap") + strBmpFileName + ".bmp";
        image::ImagingControl& k = form().KRAYTON1();
        checkImaging(k.load(bmp), k, "ビットマップの読み込み");
        k.setPicture(pellior::shapeForFax(k.picture(), store.mstrRepType(), strBmpFileName, "trimBMPFile"));
        checkImaging(k.save(bmp, image::ImagingControl::kFormatBmp, 0, 0, false), k, "ビットマップの保存");
        k.clear();
        return true;
    } catch (...) {
        logCurrentError("trimBMPFile");
        return false;
    }
}

bool FaxRepImg::deleteG3File(const std::string& name) {
    try {
        checkPlainName(name);
        pellior::deleteFile(folder("G3Image") + name + ".g3");
        return true;
    } catch (...) {
        logCurrentError("deleteG3File");
        return false;
    }
}

bool FaxRepImg::deleteMSFFile(const std::string& name) {
    try {
        pellior::deleteFile(folder("Msf") + name + ".msf");
        return true;
    } catch (...) {
        logCurrentError("deleteMSFFile");
        return false;
    }
}

}  // namespace fg
