#include "platform/error.h"
#include "platform/files.h"
#include "platform/testing/error_of.h"
#include "platform/testing/temp_home.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

using namespace fg;
using fg::testing::errorOf;
using fg::testing::TempDir;

TEST(Files, PathPieces) {
    EXPECT_EQ(fs::join("a/", "/b"), "a/b");
    EXPECT_EQ(fs::join("a", "b"), "a/b");
    EXPECT_EQ(fs::join("", "b"), "b");
    EXPECT_EQ(fs::withSlash("a"), "a/");
    EXPECT_EQ(fs::withSlash("a/"), "a/");
    EXPECT_EQ(fs::withSlash(""), "");
    EXPECT_EQ(fs::folderOf("/x/y/z.xml"), "/x/y/");
    EXPECT_EQ(fs::folderOf("z.xml"), "");
    EXPECT_EQ(fs::nameOf("/x/y/z.xml"), "z.xml");
    EXPECT_EQ(fs::nameOf("z.xml"), "z.xml");
    for (std::string_view bare : {"a.xml", "index.csv", "..a", "a..", "髙 ①.xml"})
        EXPECT_TRUE(fs::isBareName(bare)) << bare;
    for (std::string_view reaching : {"", ".", "..", "sub/a.xml", "/a", "a/", "..\\a", "a\\b"})
        EXPECT_FALSE(fs::isBareName(reaching)) << reaching;
    EXPECT_FALSE(fs::isBareName(std::string_view("a\0b", 3)));
}

TEST(Files, ResolveFindsAnySpelling) {
    TempDir dir;
    fs::makeFolders(dir / "Data/Maker");
    fs::writeFileAtomic(dir / "Data/Maker/MakerInfo.XML", "m");
    fs::writeFileAtomic(dir / "Data/exact.xml", "lower");
    std::ofstream(dir / "Data/EXACT.xml") << "upper";  // writeFileAtomic would take the existing spelling
    fs::writeFileAtomic(dir / "Data/ＡＢ.txt", "wide");

    EXPECT_EQ(fs::resolve(dir / "data/maker/makerinfo.xml"), dir / "Data/Maker/MakerInfo.XML");
    EXPECT_EQ(fs::resolve(dir / "DATA/MAKER/"), dir / "Data/Maker/");
    EXPECT_EQ(fs::resolve(dir / "Data/EXACT.xml"), dir / "Data/EXACT.xml");  // an exact match wins
    EXPECT_EQ(fs::resolve(dir / "data/exact.xml"), dir / "Data/exact.xml");
    EXPECT_EQ(fs::resolve(dir / "data/ａｂ.TXT"), dir / "Data/ＡＢ.txt");
    EXPECT_TRUE(fs::fileExists(dir / "Data/./Maker/../maker/makerinfo.xml"));
    EXPECT_FALSE(fs::resolve(dir / "data/nothing.xml"));
    EXPECT_FALSE(fs::resolve(dir / "nowhere/maker/makerinfo.xml"));
    EXPECT_FALSE(fs::resolve(""));

    EXPECT_TRUE(fs::fileExists(dir / "DATA/maker/MAKERINFO.xml"));
    EXPECT_FALSE(fs::fileExists(dir / "data/maker"));
    EXPECT_TRUE(fs::folderExists(dir / "data/MAKER"));
    EXPECT_FALSE(fs::folderExists(dir / "data/maker/makerinfo.xml"));
    EXPECT_EQ(fs::readFile(dir / "data/maker/makerinfo.xml"), "m");
    EXPECT_EQ(fs::readFile(dir / "Data/EXACT.xml"), "upper");
    EXPECT_EQ(fs::readFile(dir / "Data/exact.xml"), "lower");
}

// A folder of a few files is read through; in one of thousands a name of
// few letters is looked for under each of its spellings. Both find the same.
TEST(Files, ResolveFindsTheSameInSmallAndLargeFolders) {
    for (int padding : {0, 3000}) {
        SCOPED_TRACE(padding);
        TempDir dir;
        for (int i = 0; i < padding; ++i) std::ofstream(dir / ("202401010000" + std::to_string(i) + ".xml"));
        for (const char* name : {"B20240101.XML", "b20240101.xml", "N_001.Jpg", "ＡＢ1.txt", "base2024.xml",
                                 "FAXManageNumber.xml", "\xff\xfe.xml"})
            std::ofstream(dir / name) << name;
        struct Case {
            const char* asked;
            const char* found;  // "" for none
        } cases[] = {
            {"b20240101.XML", "B20240101.XML"},  // of two spellings, the first in byte order
            {"n_001.JPG", "N_001.Jpg"},
            {"ａｂ1.TXT", "ＡＢ1.txt"},
            {"BASE2024.XML", "base2024.xml"},
            {"faxmanagenumber.XML", "FAXManageNumber.xml"},  // too many letters to look for each
            {"\xff\xfe.XML", "\xff\xfe.xml"},            // not UTF-8: read through
            {"n_002.jpg", ""},
            {"ａｃ1.txt", ""},
        };
        for (const Case& c : cases) {
            auto found = fs::resolve(dir / c.asked);
            EXPECT_EQ(found ? fs::nameOf(*found) : "", c.found) << c.asked;
        }
    }
}

TEST(Files, SameFileHoweverSpelt) {
    TempDir dir;
    fs::makeFolders(dir / "Data/Maker");
    fs::makeFolders(dir / "Other");
    ASSERT_EQ(::symlink((dir / "Data").c_str(), (dir / "Link").c_str()), 0);
    struct Case {
        std::string a, b;
        bool same;
    } cases[] = {
        {dir / "Data/", dir / "Data", true},
        {dir / "data/MAKER/", dir / "Data/Maker/", true},
        {dir / "Link/Maker/", dir / "Data/Maker/", true},
        {dir / "Data/Maker/../", dir / "Data/", true},
        {dir / "Other/", dir / "Data/", false},
        {dir / "Missing/", dir / "Missing/", false},
    };
    for (const Case& c : cases) EXPECT_EQ(fs::sameFile(c.a, c.b), c.same) << c.a << " " << c.b;
}

TEST(Files, ListMatchesWithoutCaseAndSortsWithoutCase) {
    TempDir dir;
    for (const char* name : {"b.XML", "A.xml", "c.txt", "@run1.XML", "@Run0.xml", ".x.xml.lock", ".x.xml.tmp.1.0",
                             "Ｚ.xml", "ｙ.xml"})
        fs::writeFileAtomic(dir / name, "");
    fs::makeFolders(dir / "Sub.xml");
    fs::makeFolders(dir / "other");

    using Names = std::vector<std::string>;
    EXPECT_EQ(fs::list(dir.path(), "*.xml"), (Names{"@Run0.xml", "@run1.XML", "A.xml", "b.XML", "ｙ.xml", "Ｚ.xml"}));
    EXPECT_EQ(fs::list(dir.path(), "@*.XML"), (Names{"@Run0.xml", "@run1.XML"}));
    EXPECT_EQ(fs::list(dir.path(), "?.xml"), (Names{"A.xml", "b.XML", "ｙ.xml", "Ｚ.xml"}));
    EXPECT_EQ(fs::list(dir.path(), "ｚ.*"), (Names{"Ｚ.xml"}));
    EXPECT_EQ(fs::list(dir.path(), "*", fs::ListKind::Folders), (Names{"other", "Sub.xml"}));
    EXPECT_EQ(fs::list(dir.path(), "s*", fs::ListKind::All), (Names{"Sub.xml"}));
    EXPECT_TRUE(fs::list(dir / "missing").empty());
    EXPECT_EQ(fs::list(dir.path() + "SUB.XML/"), Names{});
    EXPECT_TRUE(fs::matchWildcard("*.g3", "202401010900000001_01.G3"));
    EXPECT_TRUE(fs::matchWildcard("a*b*c", "aXbYbZc"));
    EXPECT_FALSE(fs::matchWildcard("a*b", "ab_"));
    EXPECT_TRUE(fs::matchWildcard("髙?", "髙橋"));
}

TEST(Files, ReadAndWriteErrors) {
    TempDir dir;
    EXPECT_EQ(errorOf([&] { fs::readFile(dir / "none.xml"); }), errnum::FileNotFound);
    EXPECT_EQ(errorOf([&] { fs::readFile(dir.path()); }), errnum::FileNotFound);
    EXPECT_EQ(errorOf([&] { fs::writeFileAtomic(dir / "no/such/folder/f.xml", "x"); }), errnum::PathNotFound);
    fs::makeFolders(dir / "folder");
    EXPECT_EQ(errorOf([&] { fs::writeFileAtomic(dir / "folder", "x"); }), errnum::PathFileAccessError);
    EXPECT_EQ(errorOf([&] { fs::copyFile(dir / "none", dir / "copy"); }), errnum::FileNotFound);
    EXPECT_FALSE(fs::removeFile(dir / "none"));
    fs::removeTree(dir / "none");  // never raises
}

TEST(Files, AtomicWriteKeepsOneSpellingAndLeavesNoTemporaries) {
    TempDir dir;
    fs::makeFolders(dir / "Data");
    fs::writeFileAtomic(dir / "Data/FaxSendLog.xml", "old");
    fs::writeFileAtomic(dir / "data/FAXSENDLOG.XML", "new");  // the existing spelling is written
    EXPECT_EQ(fs::list(dir / "Data", "*", fs::ListKind::All), std::vector<std::string>{"FaxSendLog.xml"});
    EXPECT_EQ(fs::readFile(dir / "Data/FaxSendLog.xml"), "new");

    // A temporary file left by a killed writer whose process id came round again.
    for (int i = 0; i < 10; ++i)
        fs::writeFileAtomic(dir / ("Data/.FaxSendLog.xml.tmp." + std::to_string(::getpid()) + "." + std::to_string(i)), "stale");
    fs::writeFileAtomic(dir / "Data/FaxSendLog.xml", "newer");
    EXPECT_EQ(fs::readFile(dir / "data/faxsendlog.xml"), "newer");

    fs::copyFile(dir / "data/faxsendlog.xml", dir / "Data/Copy.xml");
    EXPECT_EQ(fs::readFile(dir / "Data/Copy.xml"), "newer");
    EXPECT_TRUE(fs::removeFile(dir / "data/COPY.xml"));
    EXPECT_FALSE(fs::fileExists(dir / "Data/Copy.xml"));

    std::string big(3 << 20, 'z');
    fs::writeFileAtomic(dir / "big.bin", big);
    EXPECT_EQ(fs::readFile(dir / "big.bin"), big);
}

// A file written as its bytes come is seen whole or not at all.
TEST(Files, AFileWrittenPieceByPieceTakesItsNameOnlyWhole) {
    TempDir dir;
    fs::writeFileAtomic(dir / "answer.dat", "old");
    for (bool commit : {false, true}) {
        fs::AtomicFileWriter file(dir / "answer.dat");
        file.write("first ");
        file.write("second third");
        file.truncate(12);
        file.write("!");
        EXPECT_EQ(fs::readFile(dir / "answer.dat"), "old");
        EXPECT_EQ(fs::list(dir.path(), "*", fs::ListKind::All), std::vector<std::string>{"answer.dat"});
        if (commit) file.commit();
    }
    EXPECT_EQ(fs::readFile(dir / "answer.dat"), "first second!");
    EXPECT_EQ(fs::list(dir.path(), "*", fs::ListKind::All), std::vector<std::string>{"answer.dat"});
}

TEST(Files, AnAtomicSaveKeepsTheFilesModeOwnerAndGroup) {
    TempDir dir;
    const std::string path = dir / "FaxSendLog.xml";
    fs::writeFileAtomic(path, "old");
    // A group other than ours: root may give any, others one of their own.
    gid_t other = ::getegid();
    if (::geteuid() == 0) {
        other = 1;
    } else {
        gid_t groups[64];
        int n = ::getgroups(64, groups);
        for (int i = 0; i < n; ++i)
            if (groups[i] != ::getegid()) other = groups[i];
    }
    struct Case {
        mode_t mode;
        gid_t group;
    } cases[] = {{0660, other}, {0600, ::getegid()}, {0644, other}, {0640, ::getegid()}};
    for (const Case& c : cases) {
        ASSERT_EQ(::chmod(path.c_str(), c.mode), 0);
        ASSERT_EQ(::chown(path.c_str(), static_cast<uid_t>(-1), c.group), 0);
        fs::writeFileAtomic(dir / "FAXSENDLOG.XML", "new " + std::to_string(c.mode));
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.mode);
        EXPECT_EQ(st.st_gid, c.group);
        EXPECT_EQ(st.st_uid, ::geteuid());
        EXPECT_EQ(fs::readFile(path), "new " + std::to_string(c.mode));
    }
    // A copy takes the mode of the file it replaces, not of its source.
    fs::writeFileAtomic(dir / "copy.xml", "x");
    ::chmod((dir / "copy.xml").c_str(), 0604);
    fs::copyFile(path, dir / "copy.xml");
    struct stat st {};
    ASSERT_EQ(::stat((dir / "copy.xml").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    // A new file gets the usual mode.
    mode_t mask = ::umask(022);
    fs::writeFileAtomic(dir / "new.xml", "n");
    ::umask(mask);
    ASSERT_EQ(::stat((dir / "new.xml").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
}

TEST(Files, ProgramFolderIsTheHomeOrTheProgramsFolder) {
    const char* saved = std::getenv("FAXGATE_HOME");
    std::string keep = saved ? saved : "";
    ::setenv("FAXGATE_HOME", "/srv/faxgate", 1);
    EXPECT_EQ(fs::programFolder(), "/srv/faxgate/");
    ::unsetenv("FAXGATE_HOME");
    char exe[4096];
    ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    ASSERT_GT(n, 0);
    EXPECT_EQ(fs::programFolder(), fs::folderOf(std::string(exe, static_cast<std::size_t>(n))));
    if (saved) ::setenv("FAXGATE_HOME", keep.c_str(), 1);
}

TEST(Files, RenameAndMoveWithoutReplacing) {
    TempDir dir;
    fs::writeFileAtomic(dir / "a.txt", "a");
    fs::writeFileAtomic(dir / "b.txt", "b");
    fs::rename(dir / "a.txt", dir / "b.txt");  // replaces
    EXPECT_FALSE(fs::fileExists(dir / "a.txt"));
    EXPECT_EQ(fs::readFile(dir / "b.txt"), "a");
    EXPECT_EQ(errorOf([&] { fs::rename(dir / "none.txt", dir / "c.txt"); }), errnum::PathFileAccessError);

    fs::writeFileAtomic(dir / "c.txt", "c");
    struct Case {
        const char* to;
        long error;
    } cases[] = {
        {"B.TXT", errnum::FileAlreadyExists},  // taken in another spelling
        {"b.txt", errnum::FileAlreadyExists},
        {"no/such/d.txt", errnum::PathFileAccessError},
        {"d.txt", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(errorOf([&] { fs::moveNoReplace(dir / "c.txt", dir / c.to); }), c.error) << c.to;
        EXPECT_EQ(fs::readFile(dir / "b.txt"), "a") << c.to;
    }
    EXPECT_FALSE(fs::fileExists(dir / "c.txt"));
    EXPECT_EQ(fs::readFile(dir / "d.txt"), "c");
}

TEST(Files, AStampTellsAChangedFile) {
    TempDir dir;
    EXPECT_FALSE(fs::stampOf(dir / "none.txt"));
    fs::writeFileAtomic(dir / "a.txt", "one");
    auto before = fs::stampOf(dir / "a.txt");
    ASSERT_TRUE(before);
    EXPECT_EQ(before->size, 3u);
    EXPECT_EQ(fs::stampOf(dir / "a.txt"), before);
    fs::writeFileAtomic(dir / "a.txt", "three");
    EXPECT_NE(fs::stampOf(dir / "a.txt"), before);
}

TEST(Files, TemporaryFilesAndFoldersGoWithTheirOwner) {
    TempDir dir;
    std::string kept, gone, folder;
    {
        fs::TempFile a(dir.path(), ".a-");
        fs::TempFile b(dir.path(), ".a-");
        EXPECT_NE(a.path(), b.path());
        EXPECT_EQ(a.path().rfind(dir / ".a-", 0), 0u) << a.path();
        EXPECT_EQ(fs::readFile(a.path()), "");  // there, and empty, all the while
        gone = b.path();
        fs::writeFileAtomic(a.path(), "whole");
        a.placeAt(dir / "target.txt");
        kept = dir / "target.txt";
        fs::TempFolder work(dir.path(), ".work-");
        folder = work.path();
        EXPECT_EQ(folder.back(), '/');
        fs::writeFileAtomic(folder + "inside.txt", "x");
    }
    EXPECT_EQ(fs::readFile(kept), "whole");
    EXPECT_FALSE(fs::fileExists(gone));
    EXPECT_FALSE(fs::folderExists(folder));
    EXPECT_EQ(fs::list(dir.path(), "*", fs::ListKind::All), std::vector<std::string>{"target.txt"});
    EXPECT_EQ(errorOf([&] { fs::TempFile(dir / "no/such/", "x"); }), errnum::PathNotFound);
    EXPECT_EQ(errorOf([&] { fs::TempFolder(dir / "no/such/", "x"); }), errnum::PathNotFound);
    EXPECT_EQ(fs::temporaryFolder().back(), '/');
}

TEST(Files, TheTemporariesOfEndedWritersGoAndOthersStay) {
    TempDir dir;
    pid_t ended = ::fork();
    if (ended == 0) ::_exit(0);
    ASSERT_GT(ended, 0);
    ASSERT_EQ(::waitpid(ended, nullptr, 0), ended);
    // Ended but not yet collected: its id stays taken all the while.
    pid_t uncollected = ::fork();
    if (uncollected == 0) ::_exit(0);
    ASSERT_GT(uncollected, 0);
    siginfo_t info{};
    ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(uncollected), &info, WEXITED | WNOWAIT), 0);
    const std::string gone = std::to_string(ended), live = std::to_string(::getpid());
    const std::string zombie = std::to_string(uncollected);
    for (const std::string& rel : std::vector<std::string>{"a/.x.xml.tmp." + gone + ".1", "a/.x.xml.tmp." + live + ".1", "a/.x.xml.lock",
                                   "a/x.tmp." + gone + ".1", ".w-.tmp." + gone + ".Ab12Cd/p.G3",
                                   "a/.y.xml.tmp." + zombie + ".1", ".z.zip..tmp." + zombie + ".Ef34Gh/z.zip",
                                   ".@20240105093000." + gone + ".tmp", ".@20240105093000." + live + ".tmp", ".x." + gone}) {
        fs::makeFolders(fs::folderOf(dir / rel));
        fs::writeFileAtomic(dir / rel, "");
    }
    fs::TempFolder mine(dir / "a", ".w-");
    fs::removeTemporariesOfEndedWriters(dir.path());
    EXPECT_EQ(fg::testing::everythingIn(dir.path()),
              (std::vector<std::string>{".@20240105093000." + live + ".tmp", ".x." + gone, "a",
                                        "a/" + fs::nameOf(mine.path().substr(0, mine.path().size() - 1)),
                                        "a/.x.xml.lock", "a/.x.xml.tmp." + live + ".1", "a/x.tmp." + gone + ".1"}));
    EXPECT_EQ(::waitpid(uncollected, nullptr, 0), uncollected);
}

TEST(Files, KindsStartsAndAppends) {
    TempDir dir;
    fs::writeFileAtomic(dir / "a.bin", std::string("\x60\xEA rest", 7));
    fs::makeFolders(dir / "sub");
    ASSERT_EQ(::symlink((dir / "a.bin").c_str(), (dir / "link").c_str()), 0);
    struct Case {
        const char* name;
        fs::Kind followed, itself;
    } cases[] = {
        {"a.bin", fs::Kind::File, fs::Kind::File},
        {"sub", fs::Kind::Folder, fs::Kind::Folder},
        {"link", fs::Kind::File, fs::Kind::Other},
        {"none", fs::Kind::Missing, fs::Kind::Missing},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fs::kindOf(dir / c.name), c.followed) << c.name;
        EXPECT_EQ(fs::kindOf(dir / c.name, false), c.itself) << c.name;
    }
    EXPECT_EQ(fs::readStart(dir / "a.bin", 2), std::string("\x60\xEA", 2));
    EXPECT_EQ(fs::readStart(dir / "a.bin", 100).size(), 7u);
    EXPECT_EQ(fs::readStart(dir / "none", 2), "");

    fs::appendToFile(dir / "log.txt", "one\n");
    fs::appendToFile(dir / "log.txt", "two\n");
    EXPECT_EQ(fs::readFile(dir / "log.txt"), "one\ntwo\n");
    EXPECT_EQ(errorOf([&] { fs::appendToFile(dir / "no/such/log.txt", "x"); }), errnum::PathFileAccessError);
    EXPECT_EQ(fs::currentFolder().back(), '/');
}

// Large reads of one stretch of work share a buffer: each gives exactly its
// own file, into a buffer that held a larger file or a smaller one; a larger
// file frees the kept buffer before its own is made, and nothing is kept
// outside a stretch.
TEST(Files, LargeReadsThatShareABufferEachGiveTheirOwnBytes) {
    TempDir dir;
    const std::size_t mb = 1 << 20;
    const std::string a(10 * mb, 'a'), b(9 * mb, 'b'), c(12 * mb, 'c');
    for (const auto& [name, bytes] : {std::pair{"a.bin", &a}, {"b.bin", &b}, {"c.bin", &c}})
        fs::writeFileAtomic(dir / name, *bytes, fs::Sync::Passing);
    {
        fs::ReusedReads reuse;
        std::string read = fs::readFile(dir / "a.bin");
        const char* buffer = read.data();
        fs::giveBackRead(std::move(read));
        EXPECT_GE(fs::heldForReadsForTest(), a.size());
        read = fs::readFile(dir / "b.bin");
        EXPECT_EQ(read.data(), buffer);
        EXPECT_EQ(read, b);
        fs::giveBackRead(std::move(read));
        read = fs::readFile(dir / "c.bin");
        EXPECT_EQ(fs::heldForReadsForTest(), 0u);
        EXPECT_EQ(read, c);
        fs::giveBackRead(std::move(read));
        EXPECT_EQ(fs::readFile(dir / "a.bin"), a);
    }
    EXPECT_EQ(fs::heldForReadsForTest(), 0u);
    fs::giveBackRead(fs::readFile(dir / "a.bin"));
    EXPECT_EQ(fs::heldForReadsForTest(), 0u);
}
