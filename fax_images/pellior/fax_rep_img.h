// FaxRepImg turns the layout of a fax document into fax pages: it prints the
// layout to the fax printer, exports the printed pages to bitmaps, keeps a
// JPEG reference copy of every page, gives each page the fax page shape,
// codes it as a G3 page, deletes the bitmap and appends the page names to
// the document's management record.
//
// Files of layout e and page p, in the folders of their keys:
//   "ExcelLayout"  e.xls   the layout, deleted once printed
//   "Msf"          e.msf   the printed pages, deleted once exported
//   "Bitmap"       p.bmp   one per page (p = e + "_" + page number)
//   "Jpg"          p.jpg   the reference copy, kept
//   "G3Image"      p.g3    the page that is sent
//
// makeFAXImage keeps each printed page in memory from the print to its G3
// page: the printer hands over the page pictures with the printed file, the
// reference copy is the printed file's own JPEG picture (or the JPEG of the
// shaped page, for the callers that keep the page as sent), and only the
// shaped page is written as a bitmap, for the fax engine to read. It leaves
// the files the members run one by one leave, and numbers the pages on
// after those of the layout that have a reference copy or a G3 page
// already: a document laid out again never overwrites the pictures of an
// earlier send that the send log points at.
//
// Every member catches its own failures, logs the error behind them (the
// member's name as the source) and answers False; no failure is answered
// with True. makeFAXImage adds error 40007 to the log when it stops.
// Members run on the caller's thread; while a print waits for another
// process's print to end, the caller's events keep coming through the event
// pump it hands over.
#pragma once

#include "fax_images/pellior/img_tran_form.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fg {

class EventPump;

// What the page pipeline needs of a document's management record, and where
// it leaves the names of the pages it made: the store itself (makeFAXImage),
// or records the caller holds in hand and stores later, once for all its
// documents (the document builder's batches).
class PageRecords {
public:
    virtual ~PageRecords() = default;
    // The report title of the number's record, which shapes its pages;
    // nullopt, after logging why, when it has none.
    virtual std::optional<std::string> title(const std::string& number) = 0;
    // The pages made for the number, in order, their files durable on disk.
    // False, after logging why, when they cannot be kept.
    virtual bool pagesMade(const std::string& number, const std::vector<std::string>& names) = 0;
};

class FaxRepImg {
public:
    explicit FaxRepImg(EventPump* pump = nullptr);
    ~FaxRepImg();
    FaxRepImg(const FaxRepImg&) = delete;
    FaxRepImg& operator=(const FaxRepImg&) = delete;

    // The pump that keeps delivering the caller's events while a print
    // waits (none: the wait only sleeps).
    void setEventPump(EventPump* pump) { pump_ = pump; }

    static constexpr long kMakeImageError = 40007;
    static constexpr long kDeleteG3Error = 40014;

    // Writes the print start file; True when saved.
    bool CreateMyTalkFile();
    // Which picture of a page its reference copy keeps: the page as printed,
    // taken before the page is shaped (the document builder's batches, the
    // send-history and order-balance lists), or the page as sent, taken
    // once it has its fax page shape (the test fax, the OCR answer forms).
    enum class ReferenceCopy { AsPrinted, AsSent };
    // The whole pipeline for each index of strRepManageNo, in order, with
    // strExcelName(i) the layout of strRepManageNo(i). strRepType has no
    // effect. Stops at the first failure (40007): earlier documents stay
    // complete and recorded, later ones are not started. The store is read
    // once for the titles, and the page names of every document made are
    // appended to the records in one save at the end.
    bool makeFAXImage(const std::vector<std::string>& strRepManageNo, const std::vector<std::string>& strExcelName,
                      const std::string& strRepType, ReferenceCopy referenceCopy = ReferenceCopy::AsPrinted);
    // The same for documents whose records the caller holds: the titles come
    // from `records` and the page names go to it.
    bool makeFAXImage(const std::vector<std::string>& strRepManageNo, const std::vector<std::string>& strExcelName,
                      const std::string& strRepType, PageRecords& records,
                      ReferenceCopy referenceCopy = ReferenceCopy::AsPrinted);
    // Deletes the G3 pages listed in the number's record; the first that
    // cannot be deleted stops it with 40014 and the rest stay.
    bool delG3FromManageNo(const std::string& strRepManageNo);
    // Deletes Bitmap + name + ".bmp".
    bool deleteBMPFile(const std::string& strBmpFileName);
    // "0": exports the printed file of the layout to page bitmaps and deletes
    // it. Any other number: rebuilds one page bitmap (8-bit gray) from its
    // JPEG copy, as the copy stands; whoever re-sends it shapes it with
    // trimBMPFile.
    bool changeBMPFile(const std::string& strMFSFileName, const std::string& strFileType);
    // Codes Bitmap + name + ".bmp" as G3Image + name + ".g3", synced to disk.
    bool changeG3File(const std::string& strBmpFileName);
    // Prints the first sheet of ExcelLayout + name + ".xls" with margins of
    // 1, 1, 20 and 0 points into Msf + name + ".msf"; unless blnDelFlg, the
    // layout is deleted afterwards through FaxReportMaker.deleteReport.
    bool changeMSFFile(const std::string& strExcelFileName, bool blnDelFlg);
    // Gives a page bitmap the fax page shape for the report type of the
    // management number (page_files.h, shapeForFax): fitted inside 1200 x
    // 1728 pels for the upright forms, otherwise inside 1728 x 1200 and
    // turned a quarter counter-clockwise.
    bool trimBMPFile(const std::string& strBmpFileName, const std::string& strRepNo);

private:
    struct Document;

    // The pipeline of makeFAXImage without its final 40007.
    bool makeDocuments(const std::vector<std::string>& numbers, const std::vector<std::string>& layouts,
                       PageRecords& records, ReferenceCopy referenceCopy);

    bool deleteG3File(const std::string& name);
    // changeG3File; the G3 page synced to disk only when `durable`.
    bool codeG3(const std::string& name, bool durable);
    bool deleteMSFFile(const std::string& name);
    // One print job under the print lock; the pages printed go to `pages`
    // when it is given. Failures are logged as changeMSFFile's.
    bool print(const std::string& layoutName, bool keepLayout, std::vector<layout::PrintedPage>* pages);
    // The steps of one page of a document, in order; the first that fails
    // has logged why and answers False.
    bool makePage(Document& document, const std::string& name, layout::PrintedPage& page);
    // Writes a page's reference copy (unsynced, see makeFAXImage) and checks
    // it; a failure is logged as FAXTranReferImg's.
    bool keepReferenceCopy(const std::string& name, std::string_view jpeg);
    // What a failed document leaves for the person who looks: the bitmaps
    // of its pages from `from` on.
    void leaveBitmaps(const std::vector<std::string>& names, const std::vector<layout::PrintedPage>& pages,
                      std::size_t from);
    frmImgTranCtl& form();

    EventPump* pump_;
    std::unique_ptr<frmImgTranCtl> form_;
};

}  // namespace fg
