// The whole send road over real fax lines: two fax-send servers (morvane
// processes) with the modem engine, their two ports on two software fax
// modems behind pseudo-terminals.
#include "fax_send/morvane/fax_send.h"

#include "platform/clock.h"
#include "platform/fax_engine/g3_codec.h"
#include "platform/files.h"
#include "platform/testing/software_fax_modem.h"
#include "send_test_support.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <map>

namespace fg {
namespace {

using testing::SoftwareFaxModem;
using namespace std::chrono_literals;

constexpr double kScale = 0.2;
constexpr auto kBound = std::chrono::milliseconds(600000);  // two minutes of real time

class FaxSendOverModems : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("FAXGATE_TIME_SCALE", "0.2", 1);
        ::setenv("FAXGATE_FAX_ENGINE", "modem", 1);
        setClock(std::make_shared<ScaledClock>(kScale));
        std::filesystem::create_symlink(testing::programDir() + "morvane", home.path() + "morvane");
        testing::setRetries(home, "2");
        testing::writeModems(home, {"1*ATZ*0*1*0*", "2*ATZ*0*1*0*"});
        fs::makeFolders(home / "lock");
        home.write("faxports.xml", "<FaxPorts><LockFolder>" + home / "lock" + "</LockFolder>" + port(1, modemA) +
                                       port(2, modemB) + "</FaxPorts>");
    }
    void TearDown() override {
        setClock(nullptr);
        ::unsetenv("FAXGATE_TIME_SCALE");
        ::unsetenv("FAXGATE_FAX_ENGINE");
    }
    static std::string port(int n, const SoftwareFaxModem& modem) {
        return "<Port><Number>" + std::to_string(n) + "</Number><Device>" + modem.devicePath() + "</Device></Port>";
    }

    testing::TempHome home;
    testing::ErrorLogGuard log;
    static std::string made(const std::string& folder) {
        fs::makeFolders(folder);
        return folder;
    }
    SoftwareFaxModem modemA{made(home / "ReceivedA/")};
    SoftwareFaxModem modemB{made(home / "ReceivedB/")};
    EventPump pump;
};

TEST_F(FaxSendOverModems, ABatchArrivesAtTheModemsIsLoggedAndABusyLineIsTriedAgain) {
    std::vector<testing::ManageRecord> records = {{"A0001", "0311110001", {"A0001_1", "A0001_2"}},
                                                  {"A0002", "0311110002", {"A0002_1"}},
                                                  {"B0001", "0322220001", {"B0001_1"}}};
    testing::writeStore(home, records);
    auto pages = testing::writePages(home, records);
    SoftwareFaxModem::Station busy;
    busy.outcome = SoftwareFaxModem::Outcome::Busy;
    modemA.setStation("0322220001", busy);
    modemB.setStation("0322220001", busy);

    // Two servers at once: the second finds the first port locked and takes
    // the other.
    auto first = std::make_unique<FaxSend>(pump);
    auto second = std::make_unique<FaxSend>(pump);
    first->setEventSendFaxEnd([&] { first->release(); });
    second->setEventSendFaxEnd([&] { second->release(); });
    ASSERT_TRUE(first->sendFAX({"A0001", "A0002"}));
    ASSERT_TRUE(second->sendFAX({"B0001"}));
    ASSERT_TRUE(FaxSend::waitForEnds(pump, {first.get(), second.get()}, FaxSend::WaitFor::All, kBound));

    std::map<std::string, std::vector<SoftwareFaxModem::Call>> byNumber;
    for (auto* modem : {&modemA, &modemB})
        for (auto& call : modem->calls()) byNumber[call.dialled].push_back(call);
    for (auto [number, names] : std::map<std::string, std::vector<std::string>>{
             {"0311110001", {"A0001_1", "A0001_2"}}, {"0311110002", {"A0002_1"}}}) {
        ASSERT_EQ(byNumber[number].size(), 1u) << number;
        const auto& call = byNumber[number].front();
        EXPECT_EQ(call.localId, "1234");
        EXPECT_EQ(call.modemClass, 2);
        ASSERT_EQ(call.pages.size(), names.size());
        for (std::size_t n = 0; n < names.size(); ++n)
            EXPECT_EQ(fax::decodeWholeG3(fs::readFile(call.pages[n])), fax::decodeWholeG3(pages[names[n]]));
    }
    // The busy number, tried as often as the settings say.
    EXPECT_EQ(byNumber["0322220001"].size(), 2u);

    std::map<std::string, testing::SendLogRecord> logged;
    for (auto& r : testing::sendLog(home)) logged[r.number] = r;
    EXPECT_EQ(logged["A0001"].result, "OK");
    EXPECT_EQ(logged["A0001"].pageNum, "2");
    EXPECT_EQ(logged["A0002"].result, "OK");
    EXPECT_EQ(logged["B0001"].result, "NG");
    EXPECT_EQ(logged["B0001"].pageNum, "0");

    // Each busy try is in the error log with the line's hang-up code; the
    // trace has the called station's ID and each result.
    std::string errors = fs::readFile(home.folder("log") + "ErrorLog.txt");
    for (const char* tryText : {"送信回数：1回目", "送信回数：2回目"})
        EXPECT_NE(errors.find(std::string("帳票管理番号：B0001　") + tryText + "　　送信結果コード：10  ハングアップコード：16"),
                  std::string::npos)
            << errors;
    std::string trace = fs::readFile(home.folder("log") + "SendTrace.txt");
    EXPECT_NE(trace.find("< +FCSI:"), std::string::npos) << trace;
    EXPECT_NE(trace.find("+81 3 1234 5678"), std::string::npos);
    EXPECT_NE(trace.find("send to 0311110001: result 0, hang-up 0, pages 2"), std::string::npos);
    EXPECT_NE(trace.find("send to 0322220001: result 10, hang-up 16, pages 0"), std::string::npos);
}

}  // namespace
}  // namespace fg
