#include "platform/desktop/kernel_files.h"

#include "platform/files.h"
#include "platform/testing/temp_home.h"

#include <gtest/gtest.h>

#include <string>

namespace fg::desktop {
namespace {

TEST(KernelFiles, CreatesEmptiesReadsWritesAndSeeks) {
    testing::TempDir dir;
    fs::writeFileAtomic(dir / "Old.txt", "old contents");

    const FileHandle out = fileOpen(dir / "Old.txt", FileAccess::CreateEmpty);
    ASSERT_GE(out, 0);
    EXPECT_EQ(fileSeek(out, 0, 2), 0) << "emptied";
    EXPECT_EQ(fileWrite(out, "0123456789", 10), 10);
    EXPECT_EQ(fileSeek(out, 4, 0), 4);
    EXPECT_EQ(fileSeek(out, -2, 1), 2);
    char bytes[16] = {};
    EXPECT_EQ(fileRead(out, bytes, sizeof bytes), 8) << "fewer only at the end";
    EXPECT_EQ(std::string(bytes, 8), "23456789");
    EXPECT_EQ(fileRead(out, bytes, sizeof bytes), 0);
    EXPECT_EQ(fileSeek(out, -3, 2), 7);
    EXPECT_EQ(fileSeek(out, 0, 3), -1) << "no such origin";
    EXPECT_EQ(fileSeek(out, -20, 1), -1);
    fileClose(out);

    // Names read are matched without regard to case; a read-only file takes
    // no writes.
    const FileHandle in = fileOpen(dir / "OLD.TXT", FileAccess::Read);
    ASSERT_GE(in, 0);
    EXPECT_EQ(fileRead(in, bytes, 3), 3);
    EXPECT_EQ(std::string(bytes, 3), "012");
    EXPECT_EQ(fileWrite(in, "x", 1), 0);
    fileClose(in);

    EXPECT_LT(fileOpen(dir / "missing.txt", FileAccess::Read), 0);
    EXPECT_LT(fileOpen(dir / "no/such/folder.txt", FileAccess::CreateEmpty), 0);
    EXPECT_EQ(fileRead(-1, bytes, 1), -1);
    EXPECT_EQ(fileSeek(-1, 0, 0), -1);
}

TEST(KernelFiles, AFullDeviceTakesAShortWrite) {
    const FileHandle full = fileOpen("/dev/full", FileAccess::CreateEmpty);
    ASSERT_GE(full, 0);
    EXPECT_EQ(fileWrite(full, "abc", 3), 0);
    fileClose(full);
}

}  // namespace
}  // namespace fg::desktop
