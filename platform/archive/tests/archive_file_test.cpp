#include "platform/archive/archive_file.h"

#include <gtest/gtest.h>

namespace fg {
namespace {

TEST(ArchiveNames, NormalNameDropsDotSlashAndTrailingSlash) {
    EXPECT_EQ(arc::normalName("./a/b.txt"), "a/b.txt");
    EXPECT_EQ(arc::normalName("./"), "");
    EXPECT_EQ(arc::normalName("dir/"), "dir");
}

}  // namespace
}  // namespace fg
