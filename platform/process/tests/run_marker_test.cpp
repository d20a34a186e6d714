#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process/process.h"
#include "platform/process/run_marker.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_home.h"
#include "platform/text.h"
#include "platform/xml.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>

namespace fg {
namespace {

using namespace std::chrono_literals;
const std::string kChild = PROCESS_TEST_CHILD;

struct FixedTime {
    std::shared_ptr<ManualClock> clock;
    explicit FixedTime(std::chrono::system_clock::time_point t) : clock(std::make_shared<ManualClock>(t)) {
        setClock(clock);
    }
    ~FixedTime() { setClock(nullptr); }
};

TEST(RunMarker, HoldsTheTelephonyDocumentUnderAStampedName) {
    testing::TempDir dir;
    RunMarker m = RunMarker::create(dir.path());
    ASSERT_EQ(m.name().size(), 15u);
    EXPECT_EQ(m.name()[0], '@');
    EXPECT_EQ(m.name().find_first_not_of("0123456789", 1), std::string::npos) << m.name();
    EXPECT_EQ(fs::list(dir.path(), "@*.XML"), std::vector<std::string>{m.name() + ".XML"});
    xml::Document doc;
    ASSERT_TRUE(doc.load(m.path()));
    ASSERT_EQ(doc.childNodes().size(), 2u);
    EXPECT_EQ(doc.childNodes()[0].nodeName(), "xml");
    EXPECT_NE(doc.childNodes()[0].text().find("Shift_JIS"), std::string::npos);
    EXPECT_EQ(doc.documentElement().nodeName(), "TELEPHONY");
    EXPECT_TRUE(doc.documentElement().childNodes().empty());
    EXPECT_TRUE(RunMarker::isLive(dir.path(), m.name() + ".XML"));
    m.remove();
    EXPECT_TRUE(fs::list(dir.path(), "*", fs::ListKind::All).empty());
    // Nothing is left behind, not even the hidden lock file.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 0);
}

TEST(RunMarker, MarkersOfOneSecondGetNamesOfTheirOwn) {
    testing::TempDir dir;
    FixedTime time(std::chrono::system_clock::now());
    std::string stamp = "@" + timeStamp14(time.clock->now());
    std::vector<RunMarker> markers;
    for (int i = 0; i < 3; ++i) markers.push_back(RunMarker::create(dir.path()));
    EXPECT_EQ(markers[0].name(), stamp);
    EXPECT_EQ(markers[1].name(), stamp + "_2");
    EXPECT_EQ(markers[2].name(), stamp + "_3");
    for (const auto& f : RunMarker::find(dir.path())) EXPECT_TRUE(f.live) << f.fileName;
    // The first to end deletes its own marker only.
    markers[0].remove();
    EXPECT_EQ(RunMarker::find(dir.path()).size(), 2u);
    // A freed name is taken again.
    RunMarker again = RunMarker::create(dir.path());
    EXPECT_EQ(again.name(), stamp);
}

TEST(RunMarker, AMarkerWhoseWriterDiedIsStale) {
    testing::TempDir dir;
    std::string nameFile = dir / "name.txt";
    fs::makeFolders(dir / "home");
    Process writer = Process::start(kChild, {"marker", dir / "home/", nameFile});
    ASSERT_TRUE(testing::eventually([&] { return fs::fileExists(nameFile); }));
    std::string file = fs::readFile(nameFile) + ".XML";

    auto found = RunMarker::find(dir / "home/");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].fileName, file);
    EXPECT_TRUE(found[0].live);

    // The writer dies without deleting its marker; the program it started
    // lives on but does not keep the marker alive.
    ::kill(writer.pid(), SIGKILL);
    ASSERT_TRUE(writer.waitFor(20000ms));
    found = RunMarker::find(dir / "home/");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_FALSE(found[0].live);
    EXPECT_FALSE(RunMarker::isLive(dir / "home/", file));

    // A marker nobody locks (written by hand) is stale as well; other names are no markers.
    fs::writeFileAtomic(dir / "home/@20200101000000.xml", "<TELEPHONY/>");
    fs::writeFileAtomic(dir / "home/X@20200101000000.XML", "<TELEPHONY/>");
    found = RunMarker::find(dir / "home/");
    ASSERT_EQ(found.size(), 2u);
    EXPECT_FALSE(found[0].live);
    EXPECT_FALSE(found[1].live);
    EXPECT_TRUE(RunMarker::find(dir / "no such folder/").empty());
}

TEST(RunMarker, WhatADeadWriterLeftIsFoundByItsProcessId) {
    testing::TempDir dir;
    const std::string home = dir / "home/";
    fs::makeFolders(home);
    auto hidden = [&] {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(home))
            if (e.path().filename().string()[0] == '.') names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    // Two writers die holding their markers.
    std::vector<Process> writers;
    std::vector<std::string> names;
    for (int i = 0; i < 2; ++i) {
        std::string nameFile = dir / ("name" + std::to_string(i) + ".txt");
        writers.push_back(Process::start(kChild, {"marker", home, nameFile}));
        ASSERT_TRUE(testing::eventually([&] { return fs::fileExists(nameFile); }));
        names.push_back(fs::readFile(nameFile) + ".XML");
    }
    for (Process& w : writers) {
        ::kill(w.pid(), SIGKILL);
        ASSERT_TRUE(w.waitFor(20000ms));
    }
    const pid_t first = writers[0].pid(), second = writers[1].pid();
    // The first also died while it wrote a third: its lock and hidden copy are there, the marker is not.
    fs::writeFileAtomic(home + ".@20200101000000.xml.lock", std::to_string(first));
    fs::writeFileAtomic(home + ".@20200101000000." + std::to_string(first) + ".tmp", "<TELEPHONY/>");
    // A live marker of this process, and one written by hand.
    RunMarker live = RunMarker::create(home);
    fs::writeFileAtomic(home + "@20200102000000.XML", "<TELEPHONY/>");

    EXPECT_EQ(RunMarker::removeLeftBy(home, first), 1);
    auto found = RunMarker::find(home);
    std::vector<std::string> left;
    for (const auto& f : found) left.push_back(f.fileName);
    std::vector<std::string> expected{"@20200102000000.XML", names[1], live.name() + ".XML"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(left, expected);
    std::vector<std::string> locks{"." + text::toLowerAscii(names[1]) + ".lock",
                                   "." + text::toLowerAscii(live.name()) + ".xml.lock"};
    std::sort(locks.begin(), locks.end());
    EXPECT_EQ(hidden(), locks);

    // A live writer's marker stays, whoever asks; a second call finds nothing.
    EXPECT_EQ(RunMarker::removeLeftBy(home, ::getpid()), 0);
    EXPECT_EQ(RunMarker::removeLeftBy(home, first), 0);
    EXPECT_TRUE(RunMarker::isLive(home, live.name() + ".XML"));
    EXPECT_EQ(RunMarker::removeLeftBy(home, second), 1);
    EXPECT_EQ(RunMarker::find(home).size(), 2u);
    EXPECT_EQ(hidden(), std::vector<std::string>{"." + text::toLowerAscii(live.name()) + ".xml.lock"});
}

TEST(RunMarker, LocksThatGuardNothingAreRemovedAndNoOthers) {
    testing::TempDir dir;
    // Writers killed before they wrote their id, or their marker: the two
    // first go. A stale marker's lock, a hand-over's and a live writer's
    // stay, the last before its marker is written.
    for (const char* stamp : {"20200101000000", "20200101000001", "20200102000000", "20200103000000"})
        fs::writeFileAtomic(dir / (std::string(".@") + stamp + ".xml.lock"), stamp[13] == '1' ? "999999" : "");
    fs::writeFileAtomic(dir / "@20200102000000.XML", "<TELEPHONY/>");
    fs::writeFileAtomic(RunMarker::handOverPath(dir.path(), "@20200103000000.XML"), "1\n");
    RunMarker live = RunMarker::create(dir.path());
    (void)fs::removeFile(live.path());
    // A marker's content that never got its name: that of a writer that
    // has ended goes, this process's stays.
    Process ended = Process::start(kChild, {"exit", "0"});
    ASSERT_TRUE(ended.waitFor(20000ms));
    const std::string leftBy = ".@20200104000000." + std::to_string(ended.pid()) + ".tmp";
    const std::string writing = ".@20200104000001." + std::to_string(::getpid()) + ".tmp";
    for (const std::string& name : {leftBy, writing}) fs::writeFileAtomic(dir / name, "");
    EXPECT_EQ(RunMarker::removeStrayLocks(dir.path()), 2);
    for (const std::string& stamp : std::vector<std::string>{"20200102000000", "20200103000000", live.name().substr(1)})
        EXPECT_TRUE(fs::fileExists(dir / (".@" + stamp + ".xml.lock"))) << stamp;
    EXPECT_FALSE(fs::fileExists(dir / leftBy));
    EXPECT_TRUE(fs::fileExists(dir / writing));
    EXPECT_EQ(RunMarker::removeStrayLocks(dir.path()), 0);
}

TEST(RunMarker, NamedOperationsKeepTheMarkerUntilDeleted) {
    testing::TempDir dir;
    std::string name = makeRunFile(dir.path());
    ASSERT_FALSE(name.empty());
    EXPECT_TRUE(RunMarker::isLive(dir.path(), name + ".XML"));
    // Names that are no marker names, or point elsewhere, delete nothing.
    fs::writeFileAtomic(dir / "keep.XML", "x");
    for (const char* bad : {"", "keep", "../keep", "@../keep", "@20240101/../../keep"}) deleteRunFile(dir.path(), bad);
    EXPECT_TRUE(fs::fileExists(dir / "keep.XML"));
    EXPECT_TRUE(fs::fileExists(dir / (name + ".XML")));
    deleteRunFile(dir.path(), name);
    EXPECT_FALSE(fs::fileExists(dir / (name + ".XML")));
    deleteRunFile(dir.path(), name);  // twice is silent
    EXPECT_EQ(makeRunFile(dir / "missing folder/"), "");
}

}  // namespace
}  // namespace fg
