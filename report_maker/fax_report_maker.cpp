// FaxReportMaker: a fax document becomes the layout workbook that the page
// pipeline prints, and the layout goes again once printed or rolled back. One installed layout sheet per report type turns
// the document, with the addressee of its management record beside it, into
// the layout file form; the result is read back as a layout before it is
// written, so a sheet that makes something unprintable fails here, not at
// the printer.
#include "report_maker/fax_report_maker.h"
#include "report_maker/record_addressee.h"

#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"
#include "platform/layout/page_plan.h"
#include "platform/layout/workbook_file.h"
#include "platform/xml.h"
#include "platform/xslt.h"
#include "settings/fax_manage_num.h"
#include "settings/manage_records.h"

#include <cstdio>
#include <optional>
#include <utility>

namespace fg {

namespace {

constexpr const char* kSource = "FaxReportMaker";

// The layout sheet of a report type: its own form where it has one, the
// item-and-value form for the stored documents laid out again.
std::string layoutSheetFor(const std::string& reportType) {
    static const int ownForms[] = {1, 5, 6, 7, 8, 11, 12, 13, 15, 16};
    static const int storedForms[] = {4, 10, 14};
    int n = 0;
    if (reportType.size() >= 2 && reportType.size() <= 3 && reportType[0] == 'F' &&
        reportType.find_first_not_of("0123456789", 1) == std::string::npos)
        n = std::stoi(reportType.substr(1));
    for (int f : ownForms)
        if (n == f) {
            char name[32];
            std::snprintf(name, sizeof name, "FR%03d_Layout.xsl", f * 10);
            return name;
        }
    for (int f : storedForms)
        if (n == f) return "FaxLayout_Generic.xsl";
    throw Error(errnum::InvalidProcedureCall, "帳票種別が正しくありません: \"" + reportType + "\"", kSource);
}

// The number comes from a management record a person may have edited; it is
// joined to a folder, so only a plain name may pass.
void checkPlainName(const std::string& number) {
    if (!fs::isBareName(number))
        throw Error(errnum::BadFileNameOrNumber,
                    Error::standardText(errnum::BadFileNameOrNumber) + " \"" + number + "\"", kSource);
}

// What a layout sheet reads: the record's addressee (all empty when there is
// none) and the fax document.
xml::Document reportInput(const std::string& reportType, const std::string& number,
                          const FaxReportMaker::Addressee& addressee, const xml::Document& fax) {
    xml::Document input;
    xml::Node root = input.appendChild(input.createElement("FaxReport"));
    root.setAttribute("ReportType", reportType);
    xml::Node record = root.appendChild(input.createElement("Record"));
    const std::pair<const char*, const std::string*> fields[] = {
        {"RepManageNo", &number},
        {"RepType", &addressee.repType},
        {"SendDate", &addressee.sendDate},
        {"OrderName", &addressee.orderName},
        {"SendCompanyName", &addressee.company},
        {"SendPostName", &addressee.post},
        {"SendChargeName", &addressee.charge},
        {"SendFAXNum", &addressee.faxNumber}};
    for (const auto& [name, value] : fields) record.appendChild(input.createElement(name)).setText(*value);
    xml::Node document = root.appendChild(input.createElement("Document"));
    document.appendChild(fax.documentElement().cloneNode(true));
    return input;
}

// The addressees of the store, read once for a call of many documents.
class StoredAddressees {
public:
    FaxReportMaker::Addressee find(const std::string& number) {
        if (!read_) read_.emplace();
        if (const ManageRecord* r = read_->find(number))
            return addresseeOf(*r);
        // A job program records its fax after the layout is made; such a
        // document is laid out without an addressee. (The store itself is
        // asked: a number the read did not show may be found by it.)
        FaxManageNum store;
        if (!store.getManageNum(number, "", false)) return {};
        return {store.mstrRepType(),         store.mstrSendDate(),      store.mstrOrderName(),
                store.mstrSendCompanyName(), store.mstrSendPostName(),  store.mstrSendChargeName(),
                store.mstrSendFAXNum()};
    }

private:
    std::optional<StoredRecords> read_;
};

}  // namespace

FaxReportMaker::Addressee addresseeOf(const ManageRecord& r) {
    return {r.title(), r.fields[0], r.fields[8], r.fields[10], r.fields[11], r.fields[12], r.fields[13]};
}

void FaxReportMaker::deleteReport(const std::string& number, bool& ok) {
    ok = false;
    checkPlainName(number);
    const std::string path = FolderPathInfo().getFolderPath(kFolderKey) + number + kExtension;
    // Names are read without regard to case, so every spelling of the
    // layout counts as the layout.
    while (auto found = fs::resolve(path)) {
        if (!fs::removeFile(*found)) return;
    }
    ok = true;
}

void FaxReportMaker::makeReport(const std::vector<std::string>& files, const std::string& reportType,
                                std::string& workbook, bool& ok) {
    ok = false;
    try {
        const std::string sheetName = layoutSheetFor(reportType);
        if (files.empty())
            throw Error(errnum::SubscriptOutOfRange, "レイアウトする管理番号がありません", kSource);
        FolderPathInfo folders;
        const std::string xsl = folders.getFolderPath("Xsl");
        const std::string sendFolder = folders.getFolderPath("FaxSendXML");
        const std::string layoutFolder = folders.getFolderPath(kFolderKey);
        xml::Document sheet;
        if (!sheet.load(xsl + sheetName))
            throw Error(errnum::FileNotFound,
                        "レイアウトシートを読めません: " + xsl + sheetName + " (" + sheet.parseError().reason + ")", kSource);
        StoredAddressees stored;
        for (const auto& number : files) {
            checkPlainName(number);
            xml::Document fax;
            if (!fax.load(sendFolder + number + ".xml"))
                throw Error(errnum::FileNotFound,
                            "FAX送信文書を読めません: " + sendFolder + number + ".xml (" + fax.parseError().reason + ")",
                            kSource);
            std::optional<Addressee> inHand = lookup_ ? lookup_(number) : std::nullopt;
            const Addressee addressee = inHand ? *inHand : stored.find(number);
            xml::Document laidOut;
            xml::transformNodeToObject(reportInput(reportType, number, addressee, fax).asNode(), sheet, laidOut);
            layout::Workbook result = layout::parseWorkbook(laidOut.xml());
            for (const auto& s : result.sheets) layout::planPages(result, s);  // a blank sheet prints nothing
            // A work file: the page pipeline prints and removes it in the same
            // batch, which a crash before then leaves unfinished anyway.
            layout::writeWorkbook(layoutFolder + number + kExtension, result, fs::Sync::Passing);
            workbook = number;
        }
        ok = true;
    } catch (...) {
        logCurrentError(kSource);
    }
}

}  // namespace fg
