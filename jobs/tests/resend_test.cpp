// The re-send job ("corvina") as the telephone side starts it: the pages of
// a stored fax made again from their reference copies and sent again.
#include "jobs/corvina/resend_stored_fax.h"
#include "jobs/errors.h"
#include "jobs/fax_job.h"
#include "job_fixture.h"
#include "platform/imaging/jpeg.h"

#include <cmath>

namespace fg::testing {
namespace {

using Strings = std::vector<std::string>;
using Numbers = std::vector<long>;
namespace errs = jobs::errs;

class ResendJob : public JobHome {
protected:
    // The send log's records of a number: result and re-send time.
    std::vector<std::pair<std::string, std::string>> sendsOf(const std::string& number) const {
        std::vector<std::pair<std::string, std::string>> out;
        for (const auto& r : sendLog(home))
            if (r.number == number) out.emplace_back(r.result, r.reSendDate);
        return out;
    }
    // Every page of the one fax placed, decoded.
    std::vector<Sheet> sentPages() const {
        std::vector<Sheet> pages;
        auto placed = faxes();
        EXPECT_EQ(placed.size(), 1u);
        if (placed.size() != 1) return pages;
        EXPECT_EQ(placed[0].status, "sent");
        EXPECT_EQ(placed[0].phone, kSupplierFax);
        for (const auto& g3 : placed[0].pages) pages.push_back(decode(g3));
        return pages;
    }
};

TEST_F(ResendJob, AFaxOfEachJobIsSentAgainInTheShapeOfItsFirstSend) {
    // The test fax is upright; the OCR form is wide and its copy is kept as
    // sent, turned already; the send-history list is wide and its copy is
    // kept as printed, so it is turned again.
    struct Case {
        std::string program, line;
    } cases[] = {
        {"belvast", kSupplierFax},
        {"pomrik", kSupplierFax + ",1"},
        {"drumel", kSupplierFax + ",202401"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.program);
        clearFaxes();
        const auto before = recordNumbers();
        ProgramRun first = runJob(c.program, {c.line});
        ASSERT_EQ(first.exitCode, jobs::kExitSent) << first.errors;
        const Strings made = newRecords(before);
        ASSERT_EQ(made.size(), 1u);
        const std::string number = made[0];
        const std::vector<Sheet> sent = sentPages();
        const auto record = records().at(number);
        const auto copies = files("Jpg");
        ASSERT_EQ(sendsOf(number).size(), 1u);
        EXPECT_EQ(sendsOf(number)[0].second, "");

        clearFaxes();
        ProgramRun again = runJob("corvina", {kSupplierFax + "," + number});
        EXPECT_EQ(again.exitCode, jobs::kExitSent) << again.errors;
        EXPECT_TRUE(telephonyLog().empty());
        const std::vector<Sheet> resent = sentPages();
        ASSERT_EQ(resent.size(), sent.size());
        for (std::size_t i = 0; i < sent.size(); ++i) {
            SCOPED_TRACE("page " + std::to_string(i + 1));
            EXPECT_EQ(resent[i].pels.width(), 1728);
            EXPECT_EQ(resent[i].pels.height(), sent[i].pels.height());
            const double was = inkAspect(sent[i]), is = inkAspect(resent[i]);
            EXPECT_NEAR(is / was, 1.0, 0.02) << "first send " << was << ", re-send " << is;
        }
        // The record stays as it was, no second copy is kept, and the send
        // log's record of the fax notes the re-send.
        EXPECT_EQ(records().at(number), record);
        EXPECT_EQ(files("Jpg"), copies);
        auto sends = sendsOf(number);
        ASSERT_EQ(sends.size(), 1u);
        EXPECT_EQ(sends[0].first, "OK");
        EXPECT_EQ(sends[0].second.size(), 14u) << sends[0].second;
        EXPECT_EQ(leftovers(), Strings{});
    }
}

// A picture of white with one black block of `w` x `h` pels at (x, y).
image::Image blockPage(int width, int height, int x, int y, int w, int h) {
    image::Image page(width, height, image::PixelFormat::Gray8);
    for (int row = y; row < y + h; ++row)
        for (int col = x; col < x + w; ++col) page.row(row)[col] = 0;
    return page;
}

TEST_F(ResendJob, PagesAreTurnedByTitleAndKeepTheirProportionsOnTheFax) {
    // Copies kept as printed are pages at 200 pels per inch, laid out wide
    // for most titles and upright for three; the test fax and the OCR forms
    // keep the page as sent, 1200 x 1728 pels over the fax page, wide forms
    // turned already. The square the page is rebuilt in would squash a page
    // that filled it; the block keeps its shape on the fax.
    const int printed = static_cast<int>(std::lround(200 / 0.0254));
    const int sentAcross = static_cast<int>(std::lround(1200 / 0.215)), sentDown = static_cast<int>(std::lround(1728 / 0.297));
    struct Case {
        std::string title;
        image::Image copy;
        bool turned;
    } cases[] = {
        {"見積依頼書", blockPage(2339, 1654, 100, 100, 2100, 1000), true},
        {"注文残高一覧", blockPage(2339, 1654, 300, 200, 1500, 1300), true},
        {"未処理一覧", blockPage(1654, 2339, 100, 100, 1400, 1000), false},
        {"FAX回答再送信依頼", blockPage(1654, 2339, 100, 100, 1400, 2100), false},
        {"テスト帳票", blockPage(1200, 1728, 50, 50, 1100, 700), false},
        {"見積書", blockPage(1200, 1728, 50, 50, 600, 1600), false},
    };
    cases[0].copy.setResolution(printed, printed);
    cases[1].copy.setResolution(printed, printed);
    cases[2].copy.setResolution(printed, printed);
    cases[3].copy.setResolution(printed, printed);
    cases[4].copy.setResolution(sentAcross, sentDown);
    cases[5].copy.setResolution(sentAcross, sentDown);
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        clearFaxes();
        (void)fs::removeFile(home.folder("log") + "TelephonyErrorLog.txt");
        const std::string number = "20240105093000" + std::to_string(1000 + ++n);
        writeStore(home, {{number, kSupplierFax, {number + "_001"}, c.title}});
        image::writeJpeg(home.folder("Jpg") + number + "_001.jpg", c.copy, 24);

        ProgramRun run = runJob("corvina", {kSupplierFax + "," + number});
        EXPECT_EQ(run.exitCode, jobs::kExitSent) << run.errors;
        EXPECT_TRUE(telephonyLog().empty());
        std::vector<Sheet> resent = sentPages();
        ASSERT_EQ(resent.size(), 1u);
        EXPECT_EQ(resent[0].pels.width(), 1728);
        EXPECT_GT(resent[0].pels.height(), 2200);
        EXPECT_LT(resent[0].pels.height(), 2400);
        Sheet copy{c.copy, 1000.0 / c.copy.xPelsPerMeter(), 1000.0 / c.copy.yPelsPerMeter()};
        const double expected = c.turned ? 1.0 / inkAspect(copy) : inkAspect(copy);
        EXPECT_NEAR(inkAspect(resent[0]) / expected, 1.0, 0.02)
            << "copy " << inkAspect(copy) << ", re-sent " << inkAspect(resent[0]);
        EXPECT_EQ(jobs::ResendStoredFax::turnsPages(c.title), c.turned);
        EXPECT_EQ(leftovers(), Strings{});
    }
}

TEST_F(ResendJob, WhatCannotBeSentAgainIsLoggedAndNothingIsSent) {
    const std::string stored = "202401050930001001", bare = "202401050930001002";
    auto store = [&] {
        writeStore(home, {{stored, kSupplierFax, {stored + "_001"}, "見積依頼書"}, {bare, kSupplierFax, {}, "注文書"}});
        image::writeJpeg(home.folder("Jpg") + stored + "_001.jpg", blockPage(400, 300, 10, 10, 100, 100), 8);
    };
    struct Case {
        std::string name, number;
        std::function<void()> breakIt;
        long logged;
    } cases[] = {
        {"a number not on record", "202401050930009999", [] {}, errs::ResendNotOnRecord},
        {"no number", "", [] {}, errs::ResendNotOnRecord},
        {"a record without pages", bare, [] {}, errs::ResendNotOnRecord},
        {"a reference copy gone", stored, [&] { (void)fs::removeFile(home.folder("Jpg") + stored + "_001.jpg"); },
         errs::ResendPageFailed},
        {"a reference copy that is no picture", stored,
         [&] { fs::writeFileAtomic(home.folder("Jpg") + stored + "_001.jpg", "not a picture"); },
         errs::ResendPageFailed},
        {"a refused send", stored, [&] { brokenSendSettings(); }, errs::ResendRefused},
    };
    const std::string settings = fs::readFile(home.folder("SetupInfo") + "SetUpInformation.xml");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::writeFileAtomic(home.folder("SetupInfo") + "SetUpInformation.xml", settings);
        (void)fs::removeFile(home.folder("log") + "TelephonyErrorLog.txt");
        store();
        c.breakIt();
        ProgramRun run = runJob("corvina", {kSupplierFax + "," + c.number});
        EXPECT_EQ(run.exitCode, jobs::kExitFailed) << run.errors;
        auto log = telephonyLog();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].number, c.logged);
        EXPECT_EQ(log[0].source, "corvina");
        EXPECT_TRUE(faxes().empty());
        EXPECT_EQ(leftovers(), Strings{});
    }
}

}  // namespace
}  // namespace fg::testing
