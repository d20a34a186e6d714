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
#include "platform/testing/whole_home.h"

#include <algorithm>
#include <filesystem>
#include <regex>

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
    // The demo's archives offered until their receipt is confirmed, and its
    // reminder kept until its deletion is asked, as the EDI server does.
    void offerUntilConfirmed() {
        fs::removeTree(answers / "GetEdiData");
        fs::removeTree(answers / "GetFaxReminder");
        const std::string demo = testing::sourceDir() + "demo/edi_server/";
        for (const char* step : {"1", "2", "3", "4"})
            for (const auto& archive : fs::list(demo + "GetEdiData/" + step, "*", fs::ListKind::Folders)) {
                const std::string to = answers / ("GetEdiData/unconfirmed/" + archive.substr(1, 4) + "/");
                fs::makeFolders(to);
                std::filesystem::copy(demo + "GetEdiData/" + step + "/" + archive, to + archive,
                                      std::filesystem::copy_options::recursive);
            }
        fs::makeFolders(answers / "GetFaxReminder/kept");
        fs::copyFile(demo + "GetFaxReminder/1/R0001_20240115070000.tgz/Reminder_0001.xml",
                     answers / "GetFaxReminder/kept/Reminder_0001.xml");
    }
    // Error-log lines that name every one of the texts.
    std::size_t loggedNaming(const std::vector<std::string>& texts) {
        return std::ranges::count_if(log.log->entries(), [&](const auto& e) {
            return std::ranges::all_of(texts, [&](const std::string& t) { return e.description.find(t) != std::string::npos; });
        });
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

struct Refused {
    const char* id;
    const char* file;  // below the answers
    bool reminder;     // made from the sound reminder beside it, else broken in place
    std::string (*breakIt)(const std::string&);
    std::vector<std::string> named;  // in one error-log line on every pass
    const char* held;                // the archive never confirmed
    std::size_t faxed;               // every other document, OK
};
void PrintTo(const Refused& r, std::ostream* out) { *out << r.id; }

const Refused kRefused[] = {
    {"ADocumentWithAnEntityPastTheBound", "0500/D0500_20240111090000.tgz/DORE0500_0001.xml", false,
     [](const std::string& t) { return testing::withEntityPastTheBound(t); },
     {"D0500_20240111090000", "DORE0500_0001.xml", "実体参照"}, "D0500_20240111090000", 8},
    {"AReminderEntryCutInHalf", "Reminder_0002.xml", true, [](const std::string& t) { return testing::cutInHalf(t); },
     {"Reminder_0002.xml", "受け付けません"}, "", 10},
    {"RemindersWithoutTheirSupplierCodes", "Reminder_0002.xml", true,
     [](const std::string& t) { return std::regex_replace(t, std::regex("<Supplier-code>S000[13]</Supplier-code>"), ""); },
     {"Reminder_0002.xml", "受注者コードのない行"}, "", 10},
    {"RemindersOfASupplierNotRegistered", "Reminder_0002.xml", true,
     [](const std::string& t) { return std::regex_replace(t, std::regex(">S000[13]<"), ">S0999<"); },
     {"Reminder_0002.xml", "S0999"}, "", 10},
    // Its index names a registered supplier, so the fetch keeps it.
    {"AnOrderLineOfASupplierNotRegistered", "0500/D0500_20240111090000.tgz/DORE0500_0001.xml", false,
     [](const std::string& t) { return std::regex_replace(t, std::regex(">S0001<"), ">S0999<"); },
     {"D0500_20240111090000", "DORE0500_0001.xml", "S0999"}, "D0500_20240111090000", 8},
    {"APayablesNoticeWhoseFirstLineHasNoSupplierCode", "1101/D1101_20240105080000.tgz/DORE1101_0001.xml", false,
     [](const std::string& t) {
         return std::regex_replace(t, std::regex("<Supplier-code>S0001</Supplier-code>"), "",
                                   std::regex_constants::format_first_only);
     },
     {"D1101_20240105080000", "DORE1101_0001.xml", "Supplier-code"}, "D1101_20240105080000", 9},
};

class RefusedEntryTest : public WholeRoadTest, public ::testing::WithParamInterface<Refused> {};

// A message its builder will not take, among the demo's archives offered
// until confirmed and its reminder kept until deleted. Over two passes of
// documents and reminders, every other entry is faxed OK once and confirmed
// (or its deletion asked) once; the refused one is named with its reason on
// each pass (the reason beside the builder's line in the debug log) and
// never confirmed, and nothing is left behind.
TEST_P(RefusedEntryTest, HoldsBackOnlyItself) {
    const Refused& c = GetParam();
    offerUntilConfirmed();
    const std::string folder = answers / (c.reminder ? "GetFaxReminder/kept/" : "GetEdiData/unconfirmed/");
    const std::string sound = c.reminder ? folder + "Reminder_0001.xml" : folder + c.file;
    fs::writeFileAtomic(folder + c.file, c.breakIt(fs::readFile(sound)));
    for (int pass = 1; pass <= 2; ++pass) {
        SCOPED_TRACE(pass);
        ASSERT_TRUE(control->getEDIData("0")) << logText();
        ASSERT_TRUE(sendsEnded());
        ASSERT_TRUE(control->getEDIData("1")) << logText();
        ASSERT_TRUE(sendsEnded());
        EXPECT_EQ(loggedNaming(c.named), static_cast<std::size_t>(pass)) << logText();
        EXPECT_EQ(filesIn("TempEDI"), std::vector<std::string>{});
        EXPECT_EQ(filesIn("TempReqEDI"), std::vector<std::string>{});
    }
    EXPECT_FALSE(fs::fileExists(home / "OwedReceipts.txt"));
    EXPECT_NE(fs::readFile(home / "log/DebugLog.txt").find(std::filesystem::path(c.file).filename().string() + ": "),
              std::string::npos);
    const testing::SendAccount sends = testing::accountSends(home.path());
    EXPECT_EQ(sends.recordedOK, c.faxed) << logText();
    EXPECT_EQ(sends.duplicates(), 0u);
    EXPECT_EQ(sends.notRecordedOnce(), std::vector<std::string>{});
    EXPECT_EQ(sends.leftovers, std::vector<std::string>{});
    std::vector<std::string> confirmed;
    for (const char* id : {"D0301_20240110083000", "D0500_20240111090000", "D0701_20240112100000", "D1101_20240105080000"})
        if (id != std::string(c.held)) confirmed.push_back(id);
    EXPECT_EQ(confirmedIds(), confirmed);
    // The sound reminder's deletion asked once; the refused one's never.
    const auto deletions = requests("DelFaxReminder");
    ASSERT_EQ(deletions.size(), 1u) << logText();
    EXPECT_NE(member(deletions[0], "request.xml").find("<FileName>Reminder_0001.xml</FileName>"), std::string::npos);
    EXPECT_EQ(member(deletions[0], "request.xml").find("Reminder_0002.xml"), std::string::npos);
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
INSTANTIATE_TEST_SUITE_P(Kinds, RefusedEntryTest, ::testing::ValuesIn(kRefused),
                         [](const auto& info) { return std::string(info.param.id); });

}  // namespace
}  // namespace fg
