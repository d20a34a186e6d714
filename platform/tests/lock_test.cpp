// Shared files under several processes: the lock, atomic saves, and what a
// reader without the lock sees.
#include "child.h"
#include "platform/error.h"
#include "platform/file_lock.h"
#include "platform/files.h"
#include "platform/testing/temp_home.h"
#include "platform/wait_deadline.h"
#include "platform/xml.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace fg;
using fg::testing::Child;
using fg::testing::TempDir;

namespace {

// Starts a helper that holds a lock, and waits until it has it.
Child holder(const std::string& path, const std::string& mode) {
    Child c = Child::start({"hold", path, mode}, true);
    EXPECT_EQ(c.readLine(), "locked");
    return c;
}

// Starts a writer that saves `path` over and over, and kills it at a random
// moment after its first save. Its exit code.
int killWriterMidSave(const std::string& path, std::mt19937& random) {
    Child writer = Child::start({"churn", path}, true);
    EXPECT_EQ(writer.readLine(), "saved");
    std::this_thread::sleep_for(std::chrono::milliseconds(random() % 40));
    writer.kill(SIGKILL);
    return writer.wait();
}

}  // namespace

TEST(SharedFile, EightWritersUnderTheLockLoseNoUpdateAndAReaderSeesWholeFiles) {
    TempDir dir;
    const std::string path = dir / "Counter.xml";
    // Padding makes each save long enough for a torn read to be likely, were saves not atomic.
    fs::writeFileAtomic(path, "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<Counter><Value>0</Value><Pad>" +
                                  std::string(50000, 'p') + "</Pad></Counter>\r\n");

    std::atomic<bool> done{false};
    std::atomic<int> reads{0}, broken{0}, backwards{0};
    std::thread reader([&] {
        long last = 0;
        while (!done) {
            xml::Document doc;
            if (!doc.load(path)) {
                ++broken;
                continue;
            }
            long v = std::stol(doc.selectSingleNode("/Counter/Value").text());
            if (v < last) ++backwards;
            last = v;
            ++reads;
        }
    });

    std::vector<Child> writers;
    for (int i = 0; i < 8; ++i) writers.push_back(Child::start({"add", path, "30"}));
    for (auto& w : writers) EXPECT_EQ(w.wait(), 0);
    done = true;
    reader.join();

    xml::Document doc;
    ASSERT_TRUE(doc.load(path));
    EXPECT_EQ(doc.selectSingleNode("/Counter/Value").text(), "240");
    EXPECT_EQ(broken, 0);
    EXPECT_EQ(backwards, 0);
    EXPECT_GT(reads, 0);
    EXPECT_EQ(fs::list(dir.path(), "*", fs::ListKind::All), std::vector<std::string>{"Counter.xml"});
}

TEST(SharedFile, AWriterKilledMidSaveLeavesTheOldOrTheNewFile) {
    TempDir dir;
    const std::string path = dir / "Generation.xml";
    std::mt19937 random(12345);
    for (int round = 0; round < 6; ++round) {
        EXPECT_EQ(killWriterMidSave(path, random), 128 + SIGKILL);

        xml::Document doc;
        ASSERT_TRUE(doc.load(path)) << "round " << round << ": " << doc.parseError().reason;
        std::string gen = doc.documentElement().getAttribute("gen");
        xml::NodeList items = doc.documentElement().childNodes();
        ASSERT_EQ(items.size(), 3000u) << "round " << round;
        EXPECT_EQ(items.back().getAttribute("gen"), gen);
        EXPECT_EQ(items.back().text(), "品目2999");
    }
}

TEST(SharedFile, TemporariesOfKilledWritersGoWhenTheLockIsNextTaken) {
    TempDir dir;
    const std::string path = dir / "FAXManageNumber.xml";
    auto hidden = [&] {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            if (e.path().filename().string().find(".tmp.") != std::string::npos)
                names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    std::mt19937 random(54321);
    for (int round = 0; round < 6; ++round) killWriterMidSave(path, random);
    // A writer that died before its rename, as a named temporary shows it,
    // and one that is still writing (this process).
    Child gone = Child::start({"scale"}, true);
    gone.readLine();
    ASSERT_EQ(gone.wait(), 0);
    const std::string dead = ".FaxManageNumber.xml.tmp." + std::to_string(gone.pid) + ".0";
    const std::string live = ".faxmanagenumber.XML.tmp." + std::to_string(::getpid()) + ".7";
    fs::writeFileAtomic(dir / dead, std::string(100000, 'x'));
    fs::writeFileAtomic(dir / live, "being written");
    fs::writeFileAtomic(dir / ".Other.xml.tmp.1.0", "another file's");
    // The last writer killed may have died between naming its file and the
    // rename: its temporary is there too, and must go with the dead one.
    for (const std::string& name : {dead, std::string(".Other.xml.tmp.1.0"), live})
        EXPECT_TRUE(std::ranges::count(hidden(), name) == 1) << name;

    { FileLock lock(dir / "faxmanagenumber.xml"); }
    EXPECT_EQ(hidden(), (std::vector<std::string>{".Other.xml.tmp.1.0", live}));
    // A shared lock is a reader's: it leaves the folder alone.
    fs::writeFileAtomic(dir / dead, "again");
    { FileLock lock(path, FileLock::Mode::Shared); }
    EXPECT_EQ(hidden().size(), 3u);
    EXPECT_TRUE(FileLock::tryLock(path).held());
    EXPECT_EQ(hidden().size(), 2u);
    xml::Document doc;
    EXPECT_TRUE(doc.load(path));
}

TEST(FileLock, ExclusiveSharedAndTimeouts) {
    TempDir dir;
    const std::string path = dir / "Settings.xml";
    {
        FileLock a(path, FileLock::Mode::Shared);
        FileLock b(dir / "SETTINGS.XML", FileLock::Mode::Shared);  // readers share, whatever the spelling
        EXPECT_TRUE(a.held() && b.held());
        EXPECT_FALSE(FileLock::tryLock(path).held());
        try {
            FileLock late(path, FileLock::Mode::Exclusive, std::chrono::milliseconds(30));
            ADD_FAILURE() << "exclusive lock taken beside readers";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), errnum::PermissionDenied);
        }
        {
            // The work's deadline ends the wait long before the lock's own bound.
            WaitDeadline deadline(std::chrono::milliseconds(30));
            auto start = std::chrono::steady_clock::now();
            EXPECT_THROW(FileLock(path, FileLock::Mode::Exclusive, std::chrono::minutes(10)), Error);
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::minutes(5));
        }
        a.unlock();
        EXPECT_FALSE(a.held());
        EXPECT_FALSE(FileLock::tryLock(path).held());
    }
    FileLock writer = FileLock::tryLock(path);
    ASSERT_TRUE(writer.held());
    EXPECT_FALSE(FileLock::tryLock(path, FileLock::Mode::Shared).held());
    FileLock moved(std::move(writer));
    EXPECT_FALSE(writer.held());
    EXPECT_TRUE(moved.held());
    moved = FileLock::tryLock(dir / "other.xml");  // releases the first
    EXPECT_TRUE(FileLock::tryLock(path).held());

    EXPECT_EQ(FileLock::lockPathFor(dir / "Settings.xml"), dir / ".settings.xml.lock");
    EXPECT_THROW(FileLock(dir / "missing/x.xml", FileLock::Mode::Exclusive, std::chrono::milliseconds(10)), Error);
}

TEST(FileLock, HoldsAcrossProcessesAndRenamesAndDiesWithItsHolder) {
    TempDir dir;
    const std::string path = dir / "End.xml";
    fs::writeFileAtomic(path, "<End/>");
    {
        Child c = holder(path, "exclusive");
        fs::writeFileAtomic(path, "<End>renamed over</End>");  // a save renames over the target
        EXPECT_FALSE(FileLock::tryLock(path).held());
        EXPECT_FALSE(FileLock::tryLock(dir / "end.XML", FileLock::Mode::Shared).held());
        c.kill(SIGKILL);
        c.wait();
    }
    EXPECT_TRUE(FileLock::tryLock(path).held());  // a dead holder's lock is gone
    {
        Child c = holder(path, "shared");
        EXPECT_TRUE(FileLock::tryLock(path, FileLock::Mode::Shared).held());
        EXPECT_FALSE(FileLock::tryLock(path).held());
    }
    fs::makeFolders(dir / "Work");
    {
        Child c = holder(dir / "Work", "folder");
        EXPECT_THROW(FileLock::forFolder(dir / "work", FileLock::Mode::Exclusive, std::chrono::milliseconds(20)), Error);
        EXPECT_TRUE(FileLock(dir / "Work/file.xml", FileLock::Mode::Exclusive, std::chrono::milliseconds(20)).held());
    }
    EXPECT_TRUE(FileLock::forFolder(dir / "WORK").held());
}

TEST(FileLock, AWaiterGetsTheLockWhenItIsReleased) {
    TempDir dir;
    const std::string path = dir / "FAXManageNumber.xml";
    Child c = holder(path, "exclusive");
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        c.kill(SIGKILL);
    });
    FileLock lock(path, FileLock::Mode::Exclusive, std::chrono::milliseconds(10000));
    EXPECT_TRUE(lock.held());
    release.join();
}
