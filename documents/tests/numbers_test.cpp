// Report management numbers: the counter's format, batches in the same
// second, and numbers that stay unique when several processes stamp the same
// second.
#include "documents/quillary/number_reservations.h"
#include "documents/tests/builder_fixture.h"
#include "fax_send/kelvra/fax_send_careers.h"
#include "platform/file_lock.h"
#include "platform/invariant.h"
#include "platform/testing/error_of.h"
#include "platform/testing/run_program.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>

namespace fg::testing {
namespace {

using Strings = std::vector<std::string>;

Strings noHandOvers() { return {}; }

TEST(NumberFormat, CounterHasAtLeastFourDigits) {
    EXPECT_EQ(documents::NumberReservations::format("20240115102030", 1), "202401151020300001");
    EXPECT_EQ(documents::NumberReservations::format("20240115102030", 9999), "202401151020309999");
    EXPECT_EQ(documents::NumberReservations::format("20240115102030", 10000), "2024011510203010000");
}

class NumbersTest : public BuilderTest {};

TEST_F(NumbersTest, ABatchInTheSameSecondGoesOnCounting) {
    Strings out;
    ASSERT_TRUE(builder.makeOrderSheet({"DORE0500_0001"}, out));
    builder.beginBatch();
    EXPECT_EQ(builder.repManageCount(), 2);
    clock_->advance(std::chrono::seconds(1));
    builder.beginBatch();
    EXPECT_EQ(builder.repManageCount(), 0);
    EXPECT_EQ(builder.repManageDate(), "20240115102031");
}

TEST_F(NumbersTest, TakenNumbersAreSkipped) {
    // Another object (another process's) stamps the same second: it meets
    // the records, the fax documents and a live reservation of number 4.
    Strings out;
    ASSERT_TRUE(builder.makeOrderSheet({"DORE0500_0001"}, out));  // 0001, 0002
    fs::writeFileAtomic(folder("FaxSendXML") + "base" + number(3) + ".xml", "<x/>");
    documents::NumberReservations held(documents::NumberReservations::Holder::Job);
    ASSERT_TRUE(held.reserve(number(4)));
    FaxTranXml other;
    other.beginBatch();
    Strings more;
    ASSERT_TRUE(other.makeOrderSheet({"DORE0500_0001"}, more));
    EXPECT_EQ(more, (Strings{number(5), number(6)}));
    EXPECT_EQ(other.repManageCount(), 6);
    // Given back at the end of the call: no marker stays behind.
    for (const auto& name : std::filesystem::directory_iterator(folder("FaxManageNum")))
        EXPECT_EQ(name.path().filename().string().find(number(5)), std::string::npos) << name.path();
}

TEST_F(NumbersTest, AGivenNumberIsReservedOnlyWhenNothingHoldsIt) {
    // A job program's numbers: a record, a fax document (either spelling)
    // or a live reservation of any object keeps a number taken; the builder
    // counting on then passes over what a job reserved.
    Strings out;
    ASSERT_TRUE(builder.makeOrderSheet({"DORE0500_0001"}, out));  // records 0001, 0002
    fs::writeFileAtomic(folder("FaxSendXML") + number(3) + ".xml", "<x/>");
    fs::writeFileAtomic(folder("FaxSendXML") + "base" + number(4) + ".xml", "<x/>");
    documents::NumberReservations job;
    struct Case {
        int counter;
        bool reserved;
    } cases[] = {{1, false}, {3, false}, {4, false}, {5, true}, {5, false}, {9999, true}};
    for (const auto& c : cases) EXPECT_EQ(job.reserve(number(c.counter)), c.reserved) << number(c.counter);
    documents::NumberReservations otherJob;
    EXPECT_FALSE(otherJob.reserve(number(9999)));

    FaxTranXml other;
    other.beginBatch();
    other.setRepManageCount(4);
    Strings more;
    ASSERT_TRUE(other.makeOrderSheet({"DORE0500_0001"}, more));
    EXPECT_EQ(more, (Strings{number(6), number(7)}));

    // Given back, the number is free again and its marker gone.
    job.releaseAll();
    EXPECT_TRUE(otherJob.reserve(number(9999)));
    otherJob.releaseAll();
    EXPECT_EQ(HeldList::find(folder("FaxManageNum"), ".reserved"), Strings{});
}

TEST_F(NumbersTest, ProcessesStampingTheSameSecondNeverShareANumber) {
    constexpr int kChildren = 4;
    // Each child builds from the same second with a counter of 0.
    const std::string second = std::to_string(std::chrono::system_clock::to_time_t(fixedTime()));
    std::vector<Process> children;
    for (int i = 0; i < kChildren; ++i) children.push_back(Process::start(NUMBERS_STAMPER, {second}));
    for (Process& child : children) EXPECT_EQ(waitForEnd(child), 0);
    auto recs = records();
    EXPECT_EQ(recs.size(), static_cast<std::size_t>(4 * kChildren));
    for (int i = 1; i <= 4 * kChildren; ++i) {
        EXPECT_EQ(recs.count(number(i)), 1u) << number(i);
        EXPECT_TRUE(sentExists(number(i)));
    }
}

TEST_F(NumbersTest, DrawingWithoutABuildersCounterIsRefusedInEveryBuild) {
    documents::NumberReservations givenOnly;
    EXPECT_EQ(errorOf([&] { (void)givenOnly.next(); }), errnum::InternalError);
}

// A number in the send log was faxed under it, though the store may have lost
// its record (a store put back from a copy, the clock set back): a builder in
// another process and a job's given number both pass over it.
TEST_F(NumbersTest, ANumberTheSendLogHoldsIsNeverDrawnAgain) {
    fs::writeFileAtomic(folder("FaxSendLog") + FaxSendCareers::kFileName,
                        "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<FaxSendLogs/>\r\n");
    FaxSendCareers log;
    for (int sent : {1, 3}) {
        log.setStrRepManageNo(number(sent));
        log.setStrRepType("注文書");
        ASSERT_TRUE(log.setSendCareer());
    }
    const std::string second = std::to_string(std::chrono::system_clock::to_time_t(fixedTime()));
    Process child = Process::start(NUMBERS_STAMPER, {second});
    ASSERT_EQ(waitForEnd(child), 0);
    Strings drawn;
    for (const auto& [n, record] : records()) drawn.push_back(n);
    EXPECT_EQ(drawn, (Strings{number(2), number(4), number(5), number(6)}));
    documents::NumberReservations job;
    EXPECT_FALSE(job.reserve(number(3)));
    EXPECT_TRUE(job.reserve(number(7)));
}

// A file saved again within the clock's grain keeps its size and time but
// not its place on the disk: the numbers it holds are read again, by the
// reservations that read it before and by others of the process.
TEST_F(NumbersTest, ALogSavedAgainWithinTheClocksGrainIsReadAgain) {
    const std::string path = folder("FaxSendLog") + FaxSendCareers::kFileName;
    fs::writeFileAtomic(path, "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<FaxSendLogs/>\r\n");
    FaxSendCareers log;
    log.setStrRepManageNo(number(1));
    log.setStrRepType("注文書");
    ASSERT_TRUE(log.setSendCareer());
    documents::NumberReservations job;
    ASSERT_TRUE(job.reserve(number(2)));
    job.releaseAll();
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    std::string bytes = fs::readFile(path);
    bytes.replace(bytes.find(number(1)), number(1).size(), number(2));
    fs::writeFileAtomic(path, bytes);
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    EXPECT_FALSE(job.reserve(number(2)));
    EXPECT_FALSE(documents::NumberReservations().reserve(number(2)));
}

// A batch killed before its records are stored leaves documents no record
// names; its numbers stay reserved, so the clearing finds them. A live
// reservation and a stored number keep their files.
TEST_F(NumbersTest, WhatABatchKilledBeforeStoringMadeIsClearedAndNothingElse) {
    Strings out;
    ASSERT_TRUE(builder.makeOrderSheet({"DORE0500_0001"}, out));  // records 0001, 0002
    documents::NumberReservations live;
    ASSERT_TRUE(live.reserve(number(9)));
    fs::writeFileAtomic(folder("FaxSendXML") + number(9) + ".xml", "<x/>");
    const Strings before = everythingIn(home.path());
    fs::writeFileAtomic(FileLock::lockPathFor(folder("FaxManageNum") + number(1) + ".reserved"), "");
    Process dying = Process::start(NUMBERS_STAMPER, {std::to_string(std::chrono::system_clock::to_time_t(fixedTime())), "die"});
    ASSERT_EQ(waitForEnd(dying), 9);
    EXPECT_EQ(documents::clearAbandonedNumbers(noHandOvers).unrecorded, (Strings{number(3), number(4)}));
    EXPECT_EQ(everythingIn(home.path()), before);
}

}  // namespace
}  // namespace fg::testing
