// Prints to the fax printer are serialised across processes by the print
// lock; a lock or start file left by a process that died never blocks.
#include "fax_images/pellior/fax_rep_img.h"
#include "fax_images/pellior/print_start_file.h"

#include "page_fixture.h"
#include "platform/clock.h"
#include "platform/process/event_pump.h"
#include "platform/process/process.h"
#include "platform/testing/run_program.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

namespace fg {
namespace {

using testing::kOrderSheet;
using testing::kTestForm;
using namespace std::chrono_literals;

std::string helper() { return runningProgramFolder() + "fax_images_pages_helper"; }

// Waits in real time, within a bound, for a file another process makes.
bool appears(const std::string& path) {
    return testing::eventually([&] { return fs::fileExists(path); });
}

class PrintLock : public testing::PageImagesTest {
protected:
    void TearDown() override { setClock(nullptr); }
};

TEST_F(PrintLock, AWaitingPrintKeepsDeliveringTheCallersEvents) {
    setClock(std::make_shared<ScaledClock>(0.01));
    // Only a wait that delivers nothing reaches this bound of an hour.
    home.write("waits.xml", "<?xml version=\"1.0\"?><Waits><PrintStart>3600000</PrintStart></Waits>");
    FileLock other = FileLock::tryLock(PrintStartFile::path());
    ASSERT_TRUE(other.held());
    EventPump pump;
    int ticks = 0;
    bool released = false;
    // The other print ends on the fifth tick: a wait that delivers the
    // caller's events only at its start or its end never sees it end.
    PumpTimer tick(pump, [&] {
        if (++ticks != 5) return;
        released = true;
        other.unlock();
    });
    tick.setInterval(100ms);
    FaxRepImg img(&pump);
    ASSERT_TRUE(img.changeMSFFile(kTestForm, true)) << loggedText();
    EXPECT_TRUE(released);
    EXPECT_TRUE(fs::fileExists(msfs + kTestForm + ".msf"));
}

TEST_F(PrintLock, APrintWaitsForTheHolderAndALockOfAKilledProcessDoesNotBlock) {
    Process holder = Process::start(helper(), {"hold", home / "held"});
    ASSERT_TRUE(appears(home / "held"));
    EXPECT_TRUE(fs::fileExists(home / "MyTalkStUp.xml"));

    std::atomic<bool> done{false};
    bool ok = false;
    std::thread printing([&] {
        ok = FaxRepImg().changeMSFFile(kTestForm, true);
        done = true;
    });
    std::this_thread::sleep_for(400ms);
    EXPECT_FALSE(done);
    EXPECT_FALSE(fs::fileExists(msfs + kTestForm + ".msf"));

    // Killed while "printing": its start file stays, its lock goes with it.
    (void)holder.terminate(0ms);
    printing.join();
    EXPECT_TRUE(ok) << loggedText();
    EXPECT_TRUE(fs::fileExists(msfs + kTestForm + ".msf"));
    EXPECT_FALSE(fs::fileExists(home / "MyTalkStUp.xml"));
}

TEST_F(PrintLock, AHungHolderFailsThePrintAfterTheBoundOfWaitsXml) {
    setClock(std::make_shared<ScaledClock>(0.01));
    home.write("waits.xml", "<?xml version=\"1.0\"?><Waits><PrintStart>5000</PrintStart></Waits>");
    // The holder prints for ever.
    Process holder = Process::start(helper(), {"hold", home / "held"});
    ASSERT_TRUE(appears(home / "held"));
    record("P1", "テスト帳票");
    fs::copyFile(layouts + kTestForm + ".xls", layouts + "P1.xls");
    auto start = clock().elapsed();
    auto printing = std::async(std::launch::async, [] { return FaxRepImg().makeFAXImage({"P1"}, {"P1"}, ""); });
    if (printing.wait_for(30s) != std::future_status::ready) {
        (void)holder.terminate(0ms);  // lets the print go on, so that the test can end
        printing.wait();
        FAIL() << "the print waited past its bound";
    }
    EXPECT_FALSE(printing.get());
    EXPECT_GE(clock().elapsed() - start, 5000ms);
    EXPECT_NE(loggedText().find("5 秒を過ぎても終わりません"), std::string::npos) << loggedText();
    EXPECT_NE(loggedText().find("40007"), std::string::npos) << loggedText();
    EXPECT_FALSE(fs::fileExists(msfs + "P1.msf"));
    EXPECT_TRUE(fs::fileExists(layouts + "P1.xls"));  // left for the next try
}

TEST_F(PrintLock, TwoProcessesMakingPagesAtOnceBothSucceed) {
    for (const char* n : {"P1", "P2"}) {
        record(n, "テスト帳票");
        fs::copyFile(layouts + kTestForm + ".xls", layouts + n + ".xls");
    }
    Process a = Process::start(helper(), {"make", "P1", "P1"});
    Process b = Process::start(helper(), {"make", "P2", "P2"});
    ASSERT_TRUE(a.waitFor(60000ms));
    ASSERT_TRUE(b.waitFor(60000ms));
    EXPECT_EQ(a.exitCode(), 0);
    EXPECT_EQ(b.exitCode(), 0);
    EXPECT_EQ(pageNames("P1"), std::vector<std::string>{"P1_001"});
    EXPECT_EQ(pageNames("P2"), std::vector<std::string>{"P2_001"});
    EXPECT_EQ(files(g3s), (std::vector<std::string>{"P1_001.g3", "P2_001.g3"}));
    EXPECT_TRUE(files(msfs).empty());
    EXPECT_FALSE(fs::fileExists(home / "MyTalkStUp.xml"));
}

TEST(PrintStartFile, LiesInTheProgramFolderBehindASeparator) {
    testing::TempHome home;
    EXPECT_EQ(PrintStartFile::path(), home.path() + "MyTalkStUp.xml");
}

}  // namespace
}  // namespace fg
