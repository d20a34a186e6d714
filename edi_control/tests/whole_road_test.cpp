// The whole road of the demo's documents: the shipped answers of the local
// EDI server fetched by the schedule's call, built by the document builder,
// rendered and sent on simulated lines by fax-send servers started from the
// installation, the send log filled, and the receipts confirmed once the
// sends are queued. Then the reminder lists, faxed and confirmed.
#include "edi_fixture.h"

#include "platform/clock.h"
#include "platform/process/event_pump.h"
#include "platform/testing/broken_documents.h"
#include "platform/testing/send_lines.h"
#include "platform/text.h"

#include <algorithm>
#include <filesystem>

namespace fg {
namespace {

using testing::EdiFixture;

class WholeRoadTest : public EdiFixture {
protected:
    EventPump pump;

    void SetUp() override {
        ::setenv("FAXGATE_TIME_SCALE", "0.001", 1);
        setClock(std::make_shared<ScaledClock>(0.001));
        std::filesystem::copy(testing::sourceDir() + "demo/edi_server", answers.path(),
                              std::filesystem::copy_options::recursive);
        std::filesystem::create_symlink(testing::programDir() + "morvane", home / "morvane");
        for (int port = 1; port <= 6; ++port) testing::writeLine(home.path(), port, testing::kLineAtOnce);
        EdiFixture::SetUp();
        control = std::make_unique<EDIControl>(&pump);
    }
    void TearDown() override {
        control.reset();
        setClock(nullptr);
        ::unsetenv("FAXGATE_TIME_SCALE");
    }
    // Waits (pumping the builder's events) until no send is under way.
    bool sendsEnded() {
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (control->SendPortEndCheck()) {
            if (std::chrono::steady_clock::now() > until) return false;
            (void)pump.waitFor(std::chrono::milliseconds(1000));
        }
        return true;
    }
    // The server offers each demo archive on every fetch until its receipt
    // is confirmed.
    void offerUntilConfirmed() {
        fs::removeTree(answers / "GetEdiData");
        const std::string demo = testing::sourceDir() + "demo/edi_server/GetEdiData/";
        for (const char* step : {"1", "2", "3", "4"})
            for (const auto& archive : fs::list(demo + step, "*", fs::ListKind::Folders)) {
                const std::string to = answers / ("GetEdiData/unconfirmed/" + archive.substr(1, 4) + "/");
                fs::makeFolders(to);
                std::filesystem::copy(demo + step + "/" + archive, to + archive,
                                      std::filesystem::copy_options::recursive);
            }
    }
    std::vector<std::string> confirmedIds() {
        std::vector<std::string> ids;
        for (const auto& zip : requests("PutConfirm")) ids.push_back(requestValue(zip, "ConfirmID"));
        return ids;
    }
    std::vector<xml::Node> sendLog() {
        xml::Document log;
        if (!log.load(folder("FaxSendLog") + "FaxSendLog.xml")) return {};
        return log.selectNodes("/FaxSendLogs/FaxSendLog");
    }
    std::size_t sentPages() {
        std::size_t pages = 0;
        for (int port = 1; port <= 6; ++port) {
            std::string outbox = home / ("FaxLines/COM" + std::to_string(port) + "/outbox/");
            std::error_code ec;
            for (auto it = std::filesystem::recursive_directory_iterator(outbox, ec);
                 it != std::filesystem::recursive_directory_iterator(); ++it)
                pages += it->is_regular_file() ? 1 : 0;
        }
        return pages;
    }
};

TEST_F(WholeRoadTest, TheDemoDocumentsAreFaxedLoggedAndConfirmed) {
    ASSERT_TRUE(control->getEDIData("0")) << logText();
    ASSERT_TRUE(sendsEnded());

    // Six documents of two suppliers, four kinds: every send logged OK.
    auto logged = sendLog();
    ASSERT_FALSE(logged.empty()) << logText();
    for (const auto& record : logged) EXPECT_NE(record.xml().find("OK"), std::string::npos) << record.xml();
    EXPECT_GT(sentPages(), 0u);

    // Confirmed after the sends were queued, one archive per code.
    auto confirmed = requests("PutConfirm");
    ASSERT_EQ(confirmed.size(), 4u) << logText();
    std::vector<std::string> ids;
    for (const auto& zip : confirmed) ids.push_back(requestValue(zip, "ConfirmID"));
    EXPECT_EQ(ids, (std::vector<std::string>{"D0301_20240110083000", "D0500_20240111090000",
                                             "D0701_20240112100000", "D1101_20240105080000"}));
    EXPECT_EQ(filesIn("TempEDI"), std::vector<std::string>{});
    EXPECT_EQ(filesIn("TempReqEDI"), std::vector<std::string>{});

    // The reminder lists go the same road and are confirmed by name.
    ASSERT_TRUE(control->getEDIData("1")) << logText();
    ASSERT_TRUE(sendsEnded());
    auto reminders = requests("DelFaxReminder");
    ASSERT_EQ(reminders.size(), 1u) << logText();
    EXPECT_NE(member(reminders[0], "request.xml").find("<FileName>Reminder_0001.xml</FileName>"), std::string::npos);
    EXPECT_GT(sendLog().size(), logged.size());
    EXPECT_EQ(filesIn("TempEDI"), std::vector<std::string>{});
}

// The order sheet's archive carries a document no builder can read; the
// EDI server offers each archive until its receipt is confirmed. Every
// other archive is faxed and confirmed once; that one is held back, named
// in the error log on each pass with its document and the reason, and
// never confirmed.
TEST_F(WholeRoadTest, ABrokenDocumentHoldsBackOnlyItsOwnArchive) {
    offerUntilConfirmed();
    const std::string broken = answers / "GetEdiData/unconfirmed/0500/D0500_20240111090000.tgz/DORE0500_0001.xml";
    fs::writeFileAtomic(broken, testing::withEntityPastTheBound(fs::readFile(broken)));

    std::size_t sent = 0;
    for (int pass = 1; pass <= 2; ++pass) {
        SCOPED_TRACE(pass);
        ASSERT_TRUE(control->getEDIData("0")) << logText();
        ASSERT_TRUE(sendsEnded());
        if (pass == 1) sent = sendLog().size();
        // The archive, its document and the reason, on each pass.
        std::size_t held = 0;
        for (const auto& e : log.log->entries())
            held += e.description.find("D0500_20240111090000") != std::string::npos &&
                    e.description.find("DORE0500_0001.xml") != std::string::npos &&
                    e.description.find("実体参照") != std::string::npos;
        EXPECT_EQ(held, static_cast<std::size_t>(pass)) << logText();
        EXPECT_EQ(filesIn("TempEDI"), std::vector<std::string>{});
        EXPECT_EQ(filesIn("TempReqEDI"), std::vector<std::string>{});
    }
    // The five documents of the other archives, faxed once.
    EXPECT_EQ(sent, 5u) << logText();
    EXPECT_EQ(sendLog().size(), sent);
    for (const auto& record : sendLog()) EXPECT_NE(record.xml().find("OK"), std::string::npos) << record.xml();
    EXPECT_EQ(confirmedIds(),
              (std::vector<std::string>{"D0301_20240110083000", "D0701_20240112100000", "D1101_20240105080000"}));
    EXPECT_FALSE(fs::fileExists(home / "OwedReceipts.txt"));
    EXPECT_NE(fs::readFile(home / "log/DebugLog.txt").find("実体参照"), std::string::npos);
}

// A damaged line in the receipts owed (NUL bytes, a line cut and garbled
// where it named the order sheet's archive) is set aside and named once:
// every other archive is faxed and confirmed once, the one it names is held
// until the operator removes the set-aside copy, and the log stays text.
TEST_F(WholeRoadTest, ADamagedOwedReceiptsLineHoldsBackOnlyTheArchiveItNames) {
    setErrorLogSink(nullptr);  // the log file itself is checked
    offerUntilConfirmed();
    const std::string damaged = std::string(40, '\0') + "\n0500/D0500_20240111090000.tgz\xFF\x01\x1b\n";
    home.write("OwedReceipts.txt", damaged);
    for (int pass = 1; pass <= 3; ++pass) {
        if (pass == 3) ASSERT_TRUE(fs::removeFile(home / "OwedReceipts.damaged.txt"));
        ASSERT_TRUE(control->getEDIData("0"));
        ASSERT_TRUE(sendsEnded());
        if (pass == 3) break;
        EXPECT_EQ(sendLog().size(), 5u);
        EXPECT_EQ(confirmedIds(), (std::vector<std::string>{"D0301_20240110083000", "D0701_20240112100000",
                                                            "D1101_20240105080000"}));
        EXPECT_EQ(home.read("OwedReceipts.damaged.txt"), damaged);
    }
    const std::string logged = home.read("log/ErrorLog.txt");
    EXPECT_TRUE(text::isUtf8(logged) && std::none_of(logged.begin(), logged.end(), [](char c) {
                    return static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n';
                })) << logged;
    std::size_t named = 0;  // each damaged line, once
    for (auto at = logged.find("へ移しました"); at != std::string::npos; at = logged.find("へ移しました", at + 1)) ++named;
    EXPECT_EQ(named, 2u) << logged;
    EXPECT_NE(logged.find("D0500_20240111090000.tgz\\xFF\\x01\\x1B"), std::string::npos) << logged;
    // The order sheet's two documents once released, and nothing twice.
    EXPECT_EQ(sendLog().size(), 7u);
    for (const auto& record : sendLog()) EXPECT_NE(record.xml().find("OK"), std::string::npos) << record.xml();
    EXPECT_EQ(confirmedIds().size(), 4u);
}

}  // namespace
}  // namespace fg
