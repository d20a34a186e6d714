// A layout's pages found in a folder that this process watches: every
// change made to the folder after it is kept, whatever way it is made, is in
// the next listing.
#include "platform/layout/page_export.h"
#include "platform/layout/page_folders.h"

#include "platform/files.h"
#include "platform/testing/temp_home.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace fg::layout {
namespace {

using Names = std::vector<std::string>;

TEST(PageFolders, EveryChangeToAKeptFolderIsInTheNextListing) {
    testing::TempDir dir;
    const std::string pages = dir / "Jpg/", aside = dir / "aside/";
    fs::makeFolders(pages);
    fs::makeFolders(aside);
    for (const char* f : {"L_001.jpg", "L_002.jpg", "L1_001.jpg", "LL_002.jpg", "L_01.jpg", "L_1a.jpg", "L.jpg",
                          "L_001.jpg.bak", ".L_003.jpg", "L_004.g3"})
        fs::writeFileAtomic(pages + f, "x");
    for (int asked = 0; asked < 2; ++asked) ASSERT_EQ(listPages(pages, "L", ".jpg"), (Names{"L_001", "L_002"}));
    EXPECT_EQ(watchedPageFoldersForTest(), 1u) << "the folder is kept by change notices from here on";

    const struct {
        const char* change;
        std::function<void()> make;
        Names expected;
    } steps[] = {
        {"a page saved after a gap", [&] { fs::writeFileAtomic(pages + "L_005.jpg", "x"); },
         {"L_001", "L_002", "L_005"}},
        {"another spelling", [&] { fs::writeFileAtomic(pages + "l_007.JPG", "x"); },
         {"L_001", "L_002", "L_005", "l_007"}},
        {"a long suffix", [&] { fs::writeFileAtomic(pages + "L_0000010.jpg", "x"); },
         {"L_001", "L_002", "L_005", "l_007", "L_0000010"}},
        {"no page: a number too large, a folder, another layout, a hidden file",
         [&] {
             fs::writeFileAtomic(pages + "L_1000001.jpg", "x");
             fs::makeFolders(pages + "L_008.jpg");
             fs::writeFileAtomic(pages + "LX_009.jpg", "x");
             fs::writeFileAtomic(pages + ".L_009.jpg", "x");
         },
         {"L_001", "L_002", "L_005", "l_007", "L_0000010"}},
        {"a page removed", [&] { EXPECT_TRUE(fs::removeFile(pages + "L_002.jpg")); },
         {"L_001", "L_005", "l_007", "L_0000010"}},
        {"a page moved in and one moved out",
         [&] {
             fs::writeFileAtomic(aside + "in.jpg", "x");
             fs::rename(aside + "in.jpg", pages + "L_003.jpg");
             fs::rename(pages + "L_005.jpg", aside + "L_005.jpg");
         },
         {"L_001", "L_003", "l_007", "L_0000010"}},
        {"a page linked in", [&] { fs::moveNoReplace(aside + "L_005.jpg", pages + "L_006.jpg"); },
         {"L_001", "L_003", "L_006", "l_007", "L_0000010"}},
        {"the folder moved away and another put in its place",
         [&] {
             fs::rename(pages, dir / "old");
             fs::makeFolders(pages);
             fs::writeFileAtomic(pages + "L_004.jpg", "x");
         },
         {"L_004"}},
        {"the folder removed", [&] { fs::removeTree(pages); }, {}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.change);
        step.make();
        EXPECT_EQ(listPages(pages, "L", ".jpg"), step.expected);
    }
    EXPECT_EQ(listPages(dir / "old/", "L1", ".jpg"), Names{"L1_001"});
    EXPECT_EQ(listPages(dir / "old/", "l", ".g3"), Names{"L_004"});
}

}  // namespace
}  // namespace fg::layout
