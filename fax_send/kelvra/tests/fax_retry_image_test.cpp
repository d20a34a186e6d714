// Kept pages of failed sends: exactly the named page is copied, and every
// failure is one log entry with 40005.
#include "fax_send/kelvra/fax_retry_image.h"

#include "platform/files.h"
#include "platform/testing/temp_home.h"

#include <gtest/gtest.h>

namespace fg {
namespace {

TEST(RetryImage, CopiesExactlyTheNamedPageIntoTheReSendFolder) {
    testing::TempHome home;
    testing::ErrorLogGuard log;
    std::string g3 = home.folder("G3Image"), kept = home.folder("G3ReImage");
    fs::writeFileAtomic(g3 + "202401010000000001_1.G3", "page one");
    fs::writeFileAtomic(g3 + "202401010000000001_2.G3", "page two");
    fs::writeFileAtomic(kept + "202401010000000001_1.G3", "older copy");

    ASSERT_TRUE(FaxRetryImage().saveRetryImage("202401010000000001_1"));
    EXPECT_EQ(fs::readFile(kept + "202401010000000001_1.G3"), "page one");
    EXPECT_EQ(fs::list(kept), std::vector<std::string>{"202401010000000001_1.G3"});
    EXPECT_EQ(fs::list(g3).size(), 2u);
    EXPECT_TRUE(log.log->entries().empty());
}

TEST(RetryImage, FailuresAreLoggedAs40005AndAnswerFalse) {
    testing::TempHome home;
    testing::ErrorLogGuard log;
    std::string g3 = home.folder("G3Image"), kept = home.folder("G3ReImage");
    fs::writeFileAtomic(home.path() + "secret.G3", "outside");
    for (const char* name : {"missing", "", "../secret", "..", "a/b"}) {
        log.log->clear();
        EXPECT_FALSE(FaxRetryImage().saveRetryImage(name)) << name;
        auto entries = log.log->entries();
        ASSERT_EQ(entries.size(), 1u) << name;
        EXPECT_EQ(entries[0].number, 40005);
        EXPECT_EQ(entries[0].source, "FaxretryImage");
        EXPECT_FALSE(entries[0].description.empty());
    }
    EXPECT_TRUE(fs::list(kept).empty());

    // A folder key that names no folder.
    home.write("folderpath.xml",
               "<?xml version=\"1.0\"?><Folders><Folder class=\"G3Image\">G3Image/</Folder></Folders>");
    fs::writeFileAtomic(g3 + "p.G3", "x");
    log.log->clear();
    EXPECT_FALSE(FaxRetryImage().saveRetryImage("p"));
    EXPECT_TRUE(log.log->has(40005));
}

}  // namespace
}  // namespace fg
