#include "platform/folder_watch.h"

#include "platform/files.h"
#include "platform/testing/temp_home.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

namespace fg {
namespace {

// A watch tells of each change to a listed file once, and of nothing else;
// a folder put in the place of the watched one is a change (also where its
// parent was moved, which tells the watched folder nothing), the old one no
// longer concerns it.
TEST(FolderWatch, TellsOfChangesToListedFilesOnce) {
    testing::TempDir dir;
    const std::string folder = dir.path() + "site/makers/";
    fs::makeFolders(folder);
    fs::writeFileAtomic(folder + "a.xml", "a");
    FolderWatch watch(folder, "*.XML");
    if (watch.changed()) GTEST_SKIP() << "no watch on this file system: every question is answered yes";
    struct Case {
        const char* what;
        std::function<void()> change;
        bool changed;
    } cases[] = {
        {"a hidden file", [&] { fs::writeFileAtomic(folder + ".folder.lock", ""); }, false},
        {"a file of another kind", [&] { fs::writeFileAtomic(folder + "notes.txt", "n"); }, false},
        {"a listed file added", [&] { fs::writeFileAtomic(folder + "B.XML", "b"); }, true},
        {"written in place", [&] { fs::appendToFile(folder + "a.xml", "more"); }, true},
        {"its mode changed",
         [&] { std::filesystem::permissions(folder + "a.xml", std::filesystem::perms::owner_read); }, true},
        {"removed", [&] { (void)fs::removeFile(folder + "B.XML"); }, true},
        {"the folder replaced", [&] { fs::rename(dir.path() + "site", dir.path() + "old"); fs::makeFolders(folder); },
         true},
        {"the old folder changed", [&] { fs::writeFileAtomic(dir.path() + "old/makers/c.xml", "c"); }, false},
        {"the new folder changed", [&] { fs::writeFileAtomic(folder + "c.xml", "c"); }, true},
    };
    for (const Case& c : cases) {
        c.change();
        EXPECT_EQ(watch.changed(), c.changed) << c.what;
        EXPECT_FALSE(watch.changed()) << c.what << ": told once";
    }

    // A child made by fork shares the parent's notices: it must not take
    // them from the parent.
    fs::writeFileAtomic(folder + "d.xml", "d");
    const pid_t child = ::fork();
    if (child == 0) ::_exit(watch.changed() ? 0 : 1);
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0) << "a forked child answers yes";
    EXPECT_TRUE(watch.changed()) << "the parent still hears of the change";
}

}  // namespace
}  // namespace fg
