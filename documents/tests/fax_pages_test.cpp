// The fax pages every report type sends, read back as a receiving machine
// would (libtiff's fax2tiff decoding the G3 page) and laid beside the
// reference picture kept for the send history: upright or turned as the
// report's title asks, with its proportions, its thin rules, the strokes of
// its Mincho addressee and white on every edge; and a document laid out
// again never touches the reference pictures of its first send.
#include "documents/tests/batch_fixture.h"

#include "fax_images/pellior/fax_rep_img.h"
#include "platform/image/bmp.h"
#include "platform/imaging/jpeg.h"
#include "platform/layout/workbook_file.h"
#include "platform/testing/fax_pages.h"

#include <cmath>
#include <map>
#include <optional>
#include <set>

namespace fg::testing {
namespace {

using Strings = std::vector<std::string>;

// Pages of these titles go out upright; all others are turned.
bool uprightTitle(const std::string& title) {
    return title == "FAX回答再送信依頼" || title == "未処理一覧" || title == "テスト帳票";
}

// The box of the cell that carries the addressee in Mincho (style "to") on
// the first page, in pels of the reference picture: the page is printed
// with margins of 1 point at the left and 20 at the top, at 200 per inch.
Box addresseeBox(const layout::Workbook& wb) {
    const layout::Sheet& s = wb.sheets.at(0);
    for (const auto& [ref, cell] : s.cells) {
        if (cell.style != "to" || cell.text.empty()) continue;
        const layout::Area* merged = s.mergeAt(ref);
        const layout::Area a = merged ? *merged : layout::Area{ref, ref};
        double x0 = 1, y0 = 20;
        for (int c = 1; c < a.first.column; ++c) x0 += s.columnWidth(c);
        for (int r = 1; r < a.first.row; ++r) y0 += s.rowHeight(r);
        double x1 = x0, y1 = y0;
        for (int c = a.first.column; c <= a.last.column; ++c) x1 += s.columnWidth(c);
        for (int r = a.first.row; r <= a.last.row; ++r) y1 += s.rowHeight(r);
        const double px = 200.0 / 72.0;
        return Box{static_cast<int>(x0 * px), static_cast<int>(y0 * px), static_cast<int>(x1 * px),
                   static_cast<int>(y1 * px)};
    }
    ADD_FAILURE() << "no addressee in the layout";
    return {};
}

// One rendered document as the batch left it, kept aside before the
// fax-send server takes its G3 pages away.
struct Rendered {
    std::string number, title;
    layout::Workbook layout;
    Strings pages;
};

class FaxPages : public BatchTest {
protected:
    FaxPages() {
        builder().setPageRenderer(
            [this](const Strings& numbers, const Strings& workbooks, const std::string& type, PageRecords& records) {
                // Looks on as the pipeline takes each title and gives each
                // document its pages.
                struct Watch : PageRecords {
                    explicit Watch(PageRecords& inner) : inner(inner) {}
                    std::optional<std::string> title(const std::string& number) override {
                        return titles[number] = inner.title(number);
                    }
                    bool pagesMade(const std::string& number, const Strings& names) override {
                        made[number].insert(made[number].end(), names.begin(), names.end());
                        return inner.pagesMade(number, names);
                    }
                    PageRecords& inner;
                    std::map<std::string, std::optional<std::string>> titles;
                    std::map<std::string, Strings> made;
                } watch(records);
                std::vector<Rendered> now;
                for (std::size_t i = 0; i < numbers.size(); ++i)
                    now.push_back({numbers[i], "",
                                   layout::readWorkbook(home.folder("ExcelLayout") + workbooks.at(i) + ".xls"), {}});
                if (!pages_.makeFAXImage(numbers, workbooks, type, watch)) return false;
                for (Rendered& r : now) {
                    EXPECT_TRUE(watch.titles[r.number]) << r.number;
                    r.title = watch.titles[r.number].value_or("");
                    r.pages = watch.made[r.number];
                    for (const std::string& p : r.pages)
                        fs::copyFile(home.folder("G3Image") + p + ".g3", kept.path() + p + ".g3");
                    rendered.push_back(std::move(r));
                }
                return true;
            });
    }

    // What a receiving machine shows of each page of a document, against its
    // reference picture; and a sheet of one-pel rules shaped for its title.
    void checkDocument(const Rendered& r, bool withRules = true) {
        SCOPED_TRACE(r.title + " " + r.number);
        const bool turned = !uprightTitle(r.title);
        ASSERT_FALSE(r.pages.empty());
        for (std::size_t i = 0; i < r.pages.size(); ++i) {
            const std::string& p = r.pages[i];
            SCOPED_TRACE(p);
            std::string failure;
            Sheet fax = readG3WithFax2tiff(kept.path() + p + ".g3", kept.path(), failure);
            ASSERT_TRUE(failure.empty()) << failure;
            EXPECT_EQ(fax.pels.width(), 1728);
            checkMargins(fax);
            Sheet reference = squarePels(image::readJpeg(home.folder("Jpg") + p + ".jpg"));
            // The form is laid out the way its page goes out: wide forms are
            // turned, upright ones are not.
            EXPECT_EQ(reference.pels.width() > reference.pels.height(), turned)
                << reference.pels.width() << " x " << reference.pels.height();
            const Sheet seen = turned ? turnedBack(fax) : fax;
            const double aspect = inkAspect(seen) / inkAspect(reference);
            EXPECT_NEAR(aspect, 1.0, 0.02) << "proportions of the content";
            if (i == 0) {
                EXPECT_GE(darkRecall(reference, seen, addresseeBox(r.layout)), 0.95) << "Mincho addressee";
            }
        }
        if (!withRules || !ruledTitles_.insert(r.title).second) return;
        std::vector<Box> rules;
        image::Image ruled = turned ? ruledSheet(2339, 1654, 51, rules) : ruledSheet(1654, 2339, 51, rules);
        const int dpm = static_cast<int>(200 / 0.0254 + 0.5);
        ruled.setResolution(dpm, dpm);
        image::writeBmp(home.folder("Bitmap") + "RULES.bmp", ruled, 8);
        ASSERT_TRUE(pages_.trimBMPFile("RULES", r.number)) << loggedText();
        ASSERT_TRUE(pages_.changeG3File("RULES")) << loggedText();
        std::string failure;
        Sheet fax = readG3WithFax2tiff(home.folder("G3Image") + "RULES.g3", kept.path(), failure);
        ASSERT_TRUE(failure.empty()) << failure;
        checkMargins(fax);
        const Sheet seen = turned ? turnedBack(fax) : fax;
        const Sheet reference = squarePels(ruled);
        int survived = 0;
        for (const Box& rule : rules) survived += darkRecall(reference, seen, rule) >= 0.95;
        EXPECT_GE(survived * 100, static_cast<int>(rules.size()) * 99) << survived << " of " << rules.size();
        (void)fs::removeFile(home.folder("G3Image") + "RULES.g3");
    }

    // Receivers do not print the outermost millimetres of a page.
    static void checkMargins(const Sheet& fax) {
        const auto ink = inkBox(fax.pels);
        ASSERT_TRUE(ink);
        for (double white : {ink->left * fax.pelWidthMm, (fax.pels.width() - ink->right) * fax.pelWidthMm,
                             ink->top * fax.pelHeightMm, (fax.pels.height() - ink->bottom) * fax.pelHeightMm})
            EXPECT_GE(white, 4.0) << "mm of white on an edge: left, right, top, bottom";
    }

    TempDir kept;
    std::vector<Rendered> rendered;

private:
    FaxRepImg pages_;
    std::set<std::string> ruledTitles_;
};

// One case per report type (the reminders' two lists go in one batch), so
// that they run side by side.
struct Batch {
    const char* name;
    std::vector<GET_FILE> data;
    std::string type, faxNumber;
    std::set<std::string> titles;
};

void PrintTo(const Batch& b, std::ostream* os) { *os << b.name; }

const Batch kBatches[] = {
    {"F1", {GET_FILE{1, "0301", {"S0001"}, {"DORE0301_0001"}}}, "", "", {"見積依頼書"}},
    {"F6", {GET_FILE{1, "0500", {"S0001"}, {"DORE0500_0001"}}}, "", "", {"注文書"}},
    {"F8", {GET_FILE{1, "0701", {"S0001"}, {"DORE0701_0001"}}}, "", "", {"納期確認書"}},
    {"F12", {GET_FILE{1, "1101", {"S0001"}, {"DORE1101_0001"}}}, "", "", {"買掛金計上通知"}},
    {"F5F11", {GET_FILE{1, "", {""}, {"Reminder_0001.xml"}}}, "F5F11", "", {"見積未回答一覧", "納期未回答一覧"}},
    {"F7", {GET_FILE{1, "0601", {"S0001"}, {"DORE0601_0001"}}}, "F7", "0312345679", {"注文残高一覧"}},
    {"F15", {}, "F15", "0312345679", {"未処理一覧"}},
};

class EveryReportType : public FaxPages, public ::testing::WithParamInterface<Batch> {};

TEST_P(EveryReportType, GoesOutReadable) {
    const Batch& b = GetParam();
    ASSERT_TRUE(builder().makeFAXSendXML(b.data, b.type, b.faxNumber)) << loggedText();
    ASSERT_TRUE(waitForSends()) << loggedText();
    std::set<std::string> titles;
    for (const Rendered& r : rendered) {
        checkDocument(r);
        titles.insert(r.title);
    }
    EXPECT_EQ(titles, b.titles);
    // Every sheet lies as its pages go out: no page was reported turned the
    // wrong way.
    EXPECT_FALSE(logged(layout::kLayoutError, "trimBMPFile")) << loggedText();
}

INSTANTIATE_TEST_SUITE_P(FaxPages, EveryReportType, ::testing::ValuesIn(kBatches),
                         [](const ::testing::TestParamInfo<Batch>& info) { return std::string(info.param.name); });

// One case per report type laid out again (whose sheets of rules the cases
// above check).
class Relayout : public FaxPages, public ::testing::WithParamInterface<Batch> {};

TEST_P(Relayout, KeepsTheFirstReferencePictures) {
    ASSERT_TRUE(builder().makeFAXSendXML(GetParam().data, "", "")) << loggedText();
    ASSERT_TRUE(waitForSends()) << loggedText();
    // The quotation request, delivery-date confirmation and order sheet laid
    // out again through the generic sheet and sent once more: the send log
    // still points at the pictures of the first send, which stay as they were.
    std::map<std::string, std::string> first;
    for (const auto& [number, record] : records())
        if (record.fields.at("RepType") == "見積依頼書" || record.fields.at("RepType") == "納期確認書" ||
            record.fields.at("RepType") == "注文書")
            for (const std::string& p : record.refs) first[p] = fs::readFile(home.folder("Jpg") + p + ".jpg");
    auto numbersOf = [&](const char* title) {
        GET_FILE f{0, "", {}, {}};
        for (const auto& [number, record] : records())
            if (record.fields.at("RepType") == title) {
                f.strSupplier.push_back("");
                f.strGetFile.push_back(number);
                ++f.intCnt;
            }
        return f;
    };
    rendered.clear();
    const std::vector<GET_FILE> again{numbersOf("見積依頼書"), numbersOf("納期確認書"), numbersOf("注文書")};
    ASSERT_TRUE(builder().makeFAXSendXML(again, "F4F10F14", "")) << loggedText();
    ASSERT_TRUE(waitForSends()) << loggedText();
    ASSERT_EQ(rendered.size(), static_cast<std::size_t>(again[0].intCnt + again[1].intCnt + again[2].intCnt));
    for (const Rendered& r : rendered) {
        checkDocument(r, false);
        for (const std::string& p : r.pages) EXPECT_EQ(first.count(p), 0u) << p << " reused";
    }
    for (const auto& [p, bytes] : first) EXPECT_TRUE(fs::readFile(home.folder("Jpg") + p + ".jpg") == bytes) << p;
    EXPECT_FALSE(logged(layout::kLayoutError, "trimBMPFile")) << loggedText();
}

INSTANTIATE_TEST_SUITE_P(FaxPages, Relayout, ::testing::Values(kBatches[0], kBatches[1], kBatches[2]),
                         [](const ::testing::TestParamInfo<Batch>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace fg::testing
