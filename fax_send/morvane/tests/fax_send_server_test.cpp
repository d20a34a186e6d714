// The FaxSend object in its server: the settings check of sendFAX, the timer,
// the end event and the run marker, driven in-process.
#include "fax_send/morvane/fax_send_server.h"

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process/run_marker.h"
#include "scripted_modem.h"
#include "send_test_support.h"

#include <gtest/gtest.h>

namespace fg {
namespace {

using namespace std::chrono_literals;

class Host : public FaxSendServer::Host {
public:
    std::function<void()> onEnd;
    int events = 0;
    void wait(std::chrono::milliseconds d) override { clock().sleepFor(d); }
    void raiseSendFaxEnd() override {
        ++events;
        if (onEnd) onEnd();
    }
};

class SendServer : public ::testing::Test {
protected:
    void SetUp() override {
        setClock(manual);
        testing::writeModems(home, {"1*ATZ*0*1*0*"});
        testing::setRetries(home, "1");
        std::vector<testing::ManageRecord> records{{"A0001", "0311110001", {"A0001_1"}}};
        testing::writeStore(home, records);
        testing::writePages(home, records);
    }
    void TearDown() override { setClock(nullptr); }

    SendModemFactory factory() {
        return [this] {
            auto m = std::make_unique<testing::ScriptedModem>();
            modems.push_back(m.get());
            return m;
        };
    }
    std::vector<RunMarker::Found> markers() { return RunMarker::find(home.path()); }

    testing::TempHome home;
    testing::ErrorLogGuard log;
    std::shared_ptr<ManualClock> manual = std::make_shared<ManualClock>();
    Host host;
    std::vector<testing::ScriptedModem*> modems;
};

TEST_F(SendServer, BrokenSettingsRefuseTheListWith40007AndItsMessage) {
    struct Case {
        const char* name;
        std::string file;  // relative to the home
        std::string content;  // "" removes the file
        std::string message;
    } cases[] = {
        {"folder.xml", "folder.xml", "<Folders>", "フォルダ情報ファイルが不正です。"},
        {"send log missing", "data/FaxSendLog.xml", "", "ＦＡＸ送信履歴ファイルが不正です。"},
        {"send log broken", "data/FaxSendLog.xml", "<FaxSendLogs><FaxSendLog>", "ＦＡＸ送信履歴ファイルが不正です。"},
        {"settings", "data/SetUpInformation.xml", "<SetUpInfo", "設定情報ファイルが不正です。"},
        {"store", "data/FAXManageNumber.xml", "", "ＦＡＸ帳票管理番号ファイルが不正です。"},
    };
    for (auto& k : cases) {
        SCOPED_TRACE(k.name);
        testing::TempHome fresh;
        testing::writeModems(fresh, {"1*ATZ*0*1*0*"});
        if (k.content.empty()) (void)fs::removeFile(fresh / k.file);
        else fresh.write(k.file, k.content);
        log.log->clear();
        FaxSendServer object(host, factory());
        EXPECT_FALSE(object.sendFAX({"A0001"}));
        EXPECT_FALSE(object.tickDue());
        ASSERT_EQ(log.log->entries().size(), 1u);
        EXPECT_EQ(log.log->entries()[0].number, 40007);
        EXPECT_EQ(log.log->entries()[0].description, k.message);
        EXPECT_EQ(log.log->entries()[0].source, "FaxSend");
    }
}

TEST_F(SendServer, TheSendLogIsCheckedWhereTheSendHistoryKeepsIt) {
    // "log" names a folder without a send log; "FaxSendLog" the one with it.
    std::string map = home.read("folderpath.xml");
    home.write("folderpath.xml", testing::sjisDocument(
                                     "<Folders><Folder class=\"log\">elsewhere/</Folder>" +
                                     map.substr(map.find("<Folders>") + 9)));
    FaxSendServer object(host, factory());
    EXPECT_TRUE(object.sendFAX({"A0001"}));
    EXPECT_TRUE(log.log->entries().empty());
}

TEST_F(SendServer, OneListOneJobOneEventAndTheMarkerUntilTheHandlerHasRun) {
    FaxSendServer object(host, factory());
    auto atCreation = markers();
    ASSERT_EQ(atCreation.size(), 1u);
    EXPECT_TRUE(atCreation[0].live);
    EXPECT_EQ("@" + atCreation[0].fileName.substr(1, atCreation[0].fileName.size() - 5), object.runFile());
    EXPECT_TRUE(object.blnEndStatus().isEmpty());

    EXPECT_FALSE(object.sendFAX({}));  // nothing to send
    ASSERT_TRUE(object.sendFAX({"A0001"}));
    EXPECT_EQ(*object.tickDue(), clock().elapsed() + 5000ms);
    EXPECT_FALSE(object.sendFAX({"A0001"}));  // armed: refused
    EXPECT_EQ(log.log->entries().size(), 2u);

    host.onEnd = [&] {
        EXPECT_EQ(object.blnEndStatus().toText(), "True");
        EXPECT_EQ(markers().size(), 1u);  // the handler runs before the marker goes
    };
    object.tick();
    ASSERT_EQ(modems.size(), 1u);  // made by sendFAX, as the hidden form was
    EXPECT_EQ(modems[0]->calls.front(), "open COM1");
    EXPECT_EQ(host.events, 1);
    EXPECT_TRUE(markers().empty());
    EXPECT_EQ(object.blnEndStatus().toText(), "True");
    object.tick();  // the timer is one-shot
    EXPECT_EQ(host.events, 1);

    // A later list is a send under way like the first: it gets a marker.
    testing::writePages(home, {{"A0001", "0311110001", {"A0001_1"}}});
    ASSERT_TRUE(object.sendFAX({"A0001"}));
    EXPECT_EQ(markers().size(), 1u);
    host.onEnd = [&] {
        // A handler may arm the next job; that job keeps the marker.
        EXPECT_TRUE(object.sendFAX({"A0001"}));
    };
    object.tick();
    EXPECT_EQ(markers().size(), 1u);
    host.onEnd = nullptr;
    object.tick();
    EXPECT_TRUE(markers().empty());
    EXPECT_EQ(host.events, 3);
}

TEST_F(SendServer, AJobThatCannotReadTheModemLinesEndsFalse) {
    fs::writeFileAtomic(home.folder("ModemInfo") + "modeminformation.xml", testing::sjisDocument("<Modems/>"));
    FaxSendServer object(host, factory());
    ASSERT_TRUE(object.sendFAX({"A0001"}));
    object.tick();
    EXPECT_EQ(object.blnEndStatus().toText(), "False");
    EXPECT_EQ(host.events, 1);
    EXPECT_TRUE(log.log->has(40002));
    // Nothing was sent, so nothing may vanish: recorded NG, pages kept.
    EXPECT_EQ(testing::sendLog(home).at(0).result, "NG");
    EXPECT_TRUE(fs::fileExists(home.folder("G3ReImage") + "A0001_1.G3"));
}

}  // namespace
}  // namespace fg
