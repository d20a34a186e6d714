// The control over the simulated fax lines of the demo home: the whole path
// from page bitmaps to pages in a line's outbox.
#include "fax_send/ostrand/ostrand.h"

#include "platform/clock.h"
#include "platform/fax_engine/fax_engine_loader.h"
#include "platform/files.h"
#include "platform/image/bmp.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_home.h"
#include "platform/xml.h"

#include <gtest/gtest.h>

namespace fg {
namespace {

namespace rc = OstrandResultCode;

class OstrandOnSimulatedLines : public ::testing::Test {
protected:
    void SetUp() override {
        // Line times are tens of seconds; a thousandth of that keeps the
        // test short while the real timing code runs.
        setClock(std::make_shared<ScaledClock>(0.001));
        bitmaps = home.folder("Bitmap");
        g3 = home.folder("G3Image");
        sendTemp = home.folder("SendTemp");
    }
    void TearDown() override { setClock(nullptr); }

    // Page n of a document: 1728 x 1200, as the page pipeline shapes them,
    // with n bars so that the pages differ.
    void makePage(int n) {
        image::Image page(1728, 1200, image::PixelFormat::Gray8);
        for (int bar = 0; bar < n; ++bar)
            for (int y = 100 + bar * 50; y < 120 + bar * 50; ++y)
                for (int x = 100; x < 1600; ++x) page.row(y)[x] = 0;
        image::writeBmp(bitmaps + "doc" + std::to_string(n) + ".bmp", page, 8);
    }
    void setLine(int port, const std::string& body) {
        home.write("FaxLines/COM" + std::to_string(port) + "/line.xml",
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?><FaxLine>" + body + "</FaxLine>");
    }
    std::int16_t waitForResult(Ostrand& c) {
        std::int16_t result = -1, code = rc::StillRunning;
        testing::eventually([&] { return c.GetResult(result, code), code != rc::StillRunning; });
        EXPECT_EQ(code, rc::Done);
        return result;
    }

    testing::TempHome home;
    testing::ErrorLogGuard log;
    std::string bitmaps, g3, sendTemp;
};

TEST_F(OstrandOnSimulatedLines, AThreePageDocumentIsSentPageByPageToTheRightNumber) {
    Ostrand pipeline;  // the page-image side converts
    std::int16_t code = -1;
    pipeline.setStretch(otStretchBothHigh);
    for (int n = 1; n <= 3; ++n) {
        makePage(n);
        pipeline.BmpToG3(bitmaps + "doc" + std::to_string(n) + ".bmp", g3 + "doc" + std::to_string(n) + ".g3", code);
        ASSERT_EQ(code, 0);
        // The send copies, named as the fax-send server names them.
        fs::copyFile(g3 + "doc" + std::to_string(n) + ".g3", sendTemp + "20260101120000_p" + std::to_string(n) + ".G3");
    }
    std::int32_t cols = 0, rows = 0;
    pipeline.GetG3Size(g3 + "doc1.g3", cols, rows, code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(cols, 1728);
    EXPECT_EQ(rows, 2291);

    Ostrand modem;
    modem.setLocalID("1234");
    modem.setCommPort(2);
    modem.setPages(3);
    modem.PortOpen(code);
    ASSERT_EQ(code, 0);
    modem.SendFax("0311112222", sendTemp + "20260101120000.G3", code);
    ASSERT_EQ(code, rc::Done);
    EXPECT_EQ(waitForResult(modem), 0);
    EXPECT_EQ(modem.NumOfPagesSent(), 3);
    EXPECT_EQ(modem.HangupCode(), 0);
    EXPECT_EQ(modem.RemoteID(), "0311112222");
    modem.PortClose(code);
    EXPECT_EQ(code, 0);

    std::string call = home / "FaxLines/COM2/outbox/000001/";
    for (int n = 1; n <= 3; ++n)
        EXPECT_EQ(fs::readFile(call + "p" + std::to_string(n) + ".G3"), fs::readFile(g3 + "doc" + std::to_string(n) + ".g3"));
    xml::Document fax;
    ASSERT_TRUE(fax.load(call + "fax.xml"));
    EXPECT_EQ(fax.selectSingleNode("/Fax/PhoneNumber").text(), "0311112222");
    EXPECT_EQ(fax.selectSingleNode("/Fax/LocalID").text(), "1234");
    EXPECT_EQ(fax.selectSingleNode("/Fax/Resolution").text(), "0");
    EXPECT_EQ(fax.selectSingleNode("/Fax/Status").text(), "sent");

    // And back: a received page becomes a half-size bitmap.
    pipeline.setShrink(otShrinkBoth);
    pipeline.G3ToBmp(g3 + "doc2.g3", bitmaps + "back.bmp", code);
    EXPECT_EQ(code, 0);
    pipeline.GetBmpSize(bitmaps + "back.bmp", cols, rows, code);
    EXPECT_EQ(cols, 864);
    EXPECT_EQ(rows, 1145);
}

TEST_F(OstrandOnSimulatedLines, APortInUseAndAFailingLineReportTheirCodes) {
    Ostrand first, second;
    std::int16_t code = -1;
    first.setCommPort(1);
    first.PortOpen(code);
    ASSERT_EQ(code, 0);
    second.setCommPort(1);
    second.PortOpen(code);
    EXPECT_EQ(code, fax::EngineCode::PortBusy);
    second.setCommPort(7);
    second.PortOpen(code);
    EXPECT_EQ(code, fax::EngineCode::NoSuchPort);

    makePage(1);
    first.BmpToG3(bitmaps + "doc1.bmp", sendTemp + "s_p1.G3", code);
    ASSERT_EQ(code, 0);
    first.setPages(1);
    struct Case {
        const char* line;
        std::int16_t result;
        std::int32_t hangup;
    } cases[] = {
        {"<Failure>busy</Failure>", fax::EngineCode::LineBusy, 0x10},
        {"<Failure>noanswer</Failure>", fax::EngineCode::NoAnswer, 0x04},
        {"<Failure>drop</Failure><DropAfterPage>1</DropAfterPage>", fax::EngineCode::LineDropped, 0x54},
        {"", 0, 0},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.line);
        setLine(1, k.line);
        first.SendFax("0311112222", sendTemp + "s.G3", code);
        ASSERT_EQ(code, rc::Done);
        EXPECT_EQ(waitForResult(first), k.result);
        EXPECT_EQ(first.HangupCode(), k.hangup);
    }
    // A page that is not there fails the send without a call.
    first.setPages(2);
    first.SendFax("0311112222", sendTemp + "s.G3", code);
    EXPECT_EQ(waitForResult(first), fax::EngineCode::FileNotFound);
}

}  // namespace
}  // namespace fg
