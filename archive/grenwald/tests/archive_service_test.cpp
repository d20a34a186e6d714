// The archive service as the EDI side uses it: request.zip checked by unzip,
// answer archives made by GNU tar, the result codes of every refusal, and
// hostile archives that must not write outside their folder.
#include "archive/grenwald/archive.h"

#include "archive_test_support.h"
#include "platform/files.h"
#include "platform/testing/temp_home.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace fg {
namespace {

using testing::outputLines;
using testing::runProgram;

class ArchiveService : public ::testing::Test {
protected:
    testing::TempDir dir;
    testing::ErrorLogGuard log;

    std::string folder(const std::string& rel) {
        fs::makeFolders(dir / rel);
        return fs::withSlash(dir / rel);
    }
    void write(const std::string& rel, const std::string& bytes) {
        fs::makeFolders(fs::folderOf(dir / rel));
        fs::writeFileAtomic(dir / rel, bytes);
    }
    std::vector<std::string> zipNames(const std::string& zip) {
        ProgramRun r = runProgram("/usr/bin/unzip", {"-Z1", zip});
        EXPECT_EQ(r.exitCode, 0) << r.output;
        return outputLines(r.output);
    }
    std::string unzipped(const std::string& zip, const std::string& member) {
        return runProgram("/usr/bin/unzip", {"-p", zip, member}).output;
    }
    // A tarball made by GNU tar from a folder of the temporary tree.
    std::string tarball(const std::string& from, const std::vector<std::string>& members, const std::string& name,
                        const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args{"-czf", dir / name, "-C", dir / from};
        args.insert(args.end(), extra.begin(), extra.end());
        args.insert(args.end(), members.begin(), members.end());
        ProgramRun r = runProgram("/usr/bin/tar", args);
        EXPECT_EQ(r.exitCode, 0) << r.output;
        return dir / name;
    }
    using ProgramRun = testing::ProgramRun;
};

TEST_F(ArchiveService, RequestZipLandsBesideTheFirstFileAndHoldsExactlyItsMembers) {
    write("req/request.xml", "<Request>1</Request>");
    write("req/data.xml", "<Data>abc</Data>");
    Archive a;
    a.setFile("request.zip");
    EXPECT_EQ(a.compress(ZIP, {dir / "req/request.xml", dir / "req/data.xml"}), mstrARCHIVE_SUCCESS);
    EXPECT_EQ(a.file(), "request.zip");  // no operation changes File
    ASSERT_TRUE(fs::fileExists(dir / "req/request.zip"));
    ProgramRun test = runProgram("/usr/bin/unzip", {"-t", dir / "req/request.zip"});
    EXPECT_EQ(test.exitCode, 0) << test.output;
    EXPECT_EQ(zipNames(dir / "req/request.zip"), (std::vector<std::string>{"request.xml", "data.xml"}));
    EXPECT_EQ(unzipped(dir / "req/request.zip", "data.xml"), "<Data>abc</Data>");
    // Nothing of the work is left beside the archive.
    EXPECT_EQ(fs::list(dir / "req", "*", fs::ListKind::All),
              (std::vector<std::string>{"data.xml", "request.xml", "request.zip"}));
    EXPECT_TRUE(fs::list(dir / "req", ".*", fs::ListKind::All).empty());
}

TEST_F(ArchiveService, ASecondPackWithinTheSameSecondCarriesTheNewContentAndNoOldEntry) {
    write("req/request.xml", "<Request>first</Request>");
    write("req/data.xml", "<Data>old</Data>");
    Archive a;
    a.setFile("request.zip");
    ASSERT_EQ(a.compress(ZIP, {dir / "req/request.xml", dir / "req/data.xml"}), 0);
    // Same size, same second: an update by time stamp would keep the old one.
    write("req/request.xml", "<Request>secnd</Request>");
    struct stat st {};
    ASSERT_EQ(::stat((dir / "req/request.zip").c_str(), &st), 0);
    ASSERT_EQ(a.compress(ZIP, {dir / "req/request.xml"}), 0);
    EXPECT_EQ(unzipped(dir / "req/request.zip", "request.xml"), "<Request>secnd</Request>");
    EXPECT_EQ(zipNames(dir / "req/request.zip"), std::vector<std::string>{"request.xml"});
}

TEST_F(ArchiveService, PackingRefusalsComeInTheirOrderAndWriteNothing) {
    write("a/x.xml", "x");
    write("a/z.xml", "z");
    write("b/y.xml", "y");
    Archive a;
    a.setFile("r.zip");
    EXPECT_EQ(a.compress(TAR_GZ, {dir / "a/x.xml"}), mstrNOT_ARCHIVE_TYPE);
    EXPECT_EQ(a.compress(TAR_GZ, {"relative.xml"}), mstrNOT_ARCHIVE_TYPE);  // the type first
    EXPECT_EQ(a.compress(ZIP, {"request.xml"}), mstrNOT_FOLDER);           // a bare name has no folder
    EXPECT_EQ(a.compress(ZIP, {dir / "nowhere/x.xml"}), mstrNOT_FOLDER);
    EXPECT_EQ(a.compress(ZIP, {dir / "a/README"}), mstrNOT_FOLDER);        // no "." anywhere: no folder
    // Every file is looked up in the first one's folder: a/y.xml is missing.
    EXPECT_EQ(a.compress(ZIP, {dir / "a/x.xml", dir / "b/y.xml"}), mstrNOT_FILE);
    EXPECT_EQ(a.compress(ZIP, {dir / "a/x.xml", dir / "a/missing.xml", dir / "a/z.xml"}), mstrNOT_FILE);
    EXPECT_FALSE(fs::fileExists(dir / "a/r.zip"));
    EXPECT_EQ(a.compressOne(ZIP, dir / "a/missing.xml"), mstrNOT_FILE);
    EXPECT_EQ(a.compressAll(ZIP, dir / "nowhere"), mstrNOT_FOLDER);
    Archive empty;
    EXPECT_EQ(empty.compress(ZIP, {dir / "a/x.xml"}), mstrNOT_ARCHIVE_FILE);
    EXPECT_EQ(empty.compressOne(ZIP, dir / "a/x.xml"), mstrNOT_ARCHIVE_FILE);
    EXPECT_EQ(empty.compressAll(ZIP, dir / "a"), mstrNOT_ARCHIVE_FILE);
    EXPECT_EQ(a.compress(ZIP, {}), mstrARCHIVE_ERROR);
    EXPECT_FALSE(fs::fileExists(dir / "a/r.zip"));
}

TEST_F(ArchiveService, FolderAndNameOfAPath) {
    struct Case {
        const char* path;
        const char* folder;
        const char* name;
    } cases[] = {
        {"/work/req/request.xml", "/work/req", "request.xml"},
        {"/request.xml", "/", "request.xml"},
        {"/work/README", "", ""},
        {"/data.1/README", "/data.1", "README"},
        {"request.xml", "", ""},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Archive::getFolderOfPath(c.path), c.folder) << c.path;
        EXPECT_EQ(Archive::getNameOfPath(c.path), c.name) << c.path;
    }
}

TEST_F(ArchiveService, CompressOneAndCompressAllPackTheirFiles) {
    write("one/request.xml", "<R/>");
    write("all/a.xml", "a");
    write("all/b.xml", "b");
    Archive a;
    a.setFile(dir / "one/one.zip");
    ASSERT_EQ(a.compressOne(ZIP, dir / "one/request.xml"), 0);
    EXPECT_EQ(zipNames(dir / "one/one.zip"), std::vector<std::string>{"request.xml"});
    a.setFile(dir / "out.zip");
    ASSERT_EQ(a.compressAll(ZIP, dir / "all"), 0);
    EXPECT_EQ(zipNames(dir / "out.zip"), (std::vector<std::string>{"a.xml", "b.xml"}));
    // An archive inside the folder it packs never takes in its older copy.
    write("all/sub/c.xml", "c");
    a.setFile("all.zip");
    ASSERT_EQ(a.compressAll(ZIP, dir / "all"), 0);
    ASSERT_EQ(a.compressAll(ZIP, dir / "all"), 0);
    EXPECT_EQ(zipNames(dir / "all/all.zip"), (std::vector<std::string>{"a.xml", "b.xml", "sub/c.xml"}));
}

class AnswerArchive : public ArchiveService {
protected:
    // As the EDI server sends it: "./" names, folder entries, upper-case index.
    std::string answer() {
        write("src/INDEX.CSV", "0301,A001\r\n");
        write("src/answer.xml", "<Answer><ErrCode>T0000</ErrCode></Answer>");
        write("src/docs/D0301_1.XML", "<Doc/>");
        return tarball("src", {"."}, "answer.tgz");
    }
};

TEST_F(AnswerArchive, ListsTheEntryNamesAndExtractsAMemberWithoutRegardToCase) {
    std::string tgz = answer();
    Archive a;
    a.setFile(tgz);
    std::vector<std::string> names = a.getFileNameList();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"D0301_1.XML", "INDEX.CSV", "answer.xml"}));
    // As stored: an entry in a folder keeps its folder, so a caller can tell
    // that it would not land where its bare name says.
    std::vector<std::string> stored = a.getStoredNameList().value_or(std::vector<std::string>{"unreadable"});
    std::sort(stored.begin(), stored.end());
    EXPECT_EQ(stored, (std::vector<std::string>{"INDEX.CSV", "answer.xml", "docs/D0301_1.XML"}));

    std::string out = folder("out");
    out.pop_back();  // the callers give the folder without its separator
    EXPECT_EQ(a.expand(out, "index.csv"), mstrARCHIVE_SUCCESS);
    EXPECT_TRUE(fs::fileExists(dir / "out/index.csv"));
    EXPECT_EQ(fs::readFile(dir / "out/index.csv"), "0301,A001\r\n");
    EXPECT_FALSE(fs::fileExists(dir / "out/answer.xml"));

    EXPECT_EQ(a.expand(out, "./docs/d0301_1.xml"), 0);
    EXPECT_EQ(fs::readFile(dir / "out/docs/D0301_1.XML"), "<Doc/>");

    std::string all = folder("all");
    EXPECT_EQ(a.expand(all, ""), 0);
    EXPECT_EQ(fs::list(all, "*", fs::ListKind::All), (std::vector<std::string>{"answer.xml", "docs", "INDEX.CSV"}));
}

// Several members in one pass: each matched as one alone would be, and all
// or nothing, so a failed pass leaves no member behind.
TEST_F(AnswerArchive, SeveralMembersAreExtractedTogetherOrNotAtAll) {
    std::string tgz = answer();
    Archive a;
    a.setFile(tgz);
    struct Case {
        const char* what;
        std::vector<std::string> names;
        long result;
        std::vector<std::string> left;  // in the folder afterwards
    } cases[] = {
        {"two members, one twice, names in any case", {"index.csv", "./DOCS/d0301_1.xml", "INDEX.CSV"},
         mstrARCHIVE_SUCCESS, {"docs", "INDEX.CSV"}},
        {"a member the archive lacks", {"index.csv", "nothere.csv"}, mstrEXPAND_ERROR, {}},
        {"an empty name, which would be every member", {"index.csv", ""}, mstrEXPAND_ERROR, {}},
        {"no name at all", {}, mstrARCHIVE_SUCCESS, {}},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string out = folder("many" + std::to_string(++n));
        EXPECT_EQ(a.expand(out, c.names), c.result);
        EXPECT_EQ(fs::list(out, "*", fs::ListKind::All), c.left);
    }
    EXPECT_EQ(fs::readFile(dir / "many1/docs/D0301_1.XML"), "<Doc/>");
    EXPECT_EQ(a.expand(dir / "nowhere", std::vector<std::string>{}), mstrNOT_FOLDER);
}

TEST_F(AnswerArchive, AMissingMemberArchiveOrFolderFailsWithItsCode) {
    std::string tgz = answer();
    std::string out = folder("out");
    Archive a;
    a.setFile(tgz);
    EXPECT_EQ(a.expand(out, "nothere.csv"), mstrEXPAND_ERROR);
    EXPECT_TRUE(fs::list(out, "*", fs::ListKind::All).empty());
    EXPECT_TRUE(log.log->has(mstrEXPAND_ERROR));  // the reason is logged with the result

    EXPECT_EQ(a.expand(dir / "nowhere", "index.csv"), mstrNOT_FOLDER);
    a.setFile(dir / "missing.tgz");
    EXPECT_EQ(a.expand(dir / "nowhere", "index.csv"), mstrNOT_FOLDER);  // the folder is tested first
    EXPECT_EQ(a.expand(out, "index.csv"), mstrNOT_FILE);
    EXPECT_EQ(a.getFileNameList(), std::vector<std::string>{""});
    EXPECT_EQ(a.getStoredNameList(), std::nullopt);
    a.setFile("");
    EXPECT_EQ(a.expand(out, ""), mstrNOT_FILE);

    write("notatar.tgz", "this is not an archive");
    a.setFile(dir / "notatar.tgz");
    EXPECT_EQ(a.expand(out, ""), mstrEXPAND_ERROR);
    EXPECT_EQ(a.getFileNameList(), std::vector<std::string>{""});
    EXPECT_EQ(a.getStoredNameList(), std::nullopt);
    // An archive of no entries is readable: it lists nothing.
    ASSERT_EQ(runProgram("/usr/bin/tar", {"-czf", dir / "empty.tgz", "-T", "/dev/null"}).exitCode, 0);
    a.setFile(dir / "empty.tgz");
    EXPECT_EQ(a.getStoredNameList(), std::vector<std::string>{});
}

TEST_F(ArchiveService, AHostileTarballWritesNothingOutsideItsFolder) {
    // ../x relative to the target, an absolute name, and a link leading out
    // with a file stored behind it.
    write("dest-src/inner.txt", "inner");
    write("x", "original x");
    write("outside/abs.txt", "original abs");
    folder("src/real");
    write("src/real/evil.txt", "evil");
    ASSERT_EQ(::symlink("../outside", (dir / "src/link").c_str()), 0);
    std::string dotdot = tarball("dest-src", {"../x", "inner.txt"}, "dotdot.tgz", {"-P"});
    std::string absolute = tarball("dest-src", {dir / "outside/abs.txt"}, "abs.tgz", {"-P"});
    std::string linked = tarball("src", {"link", "real/evil.txt"}, "link.tgz", {"--transform=s,^real/,link/,"});
    write("x", "kept x");
    write("outside/abs.txt", "kept abs");
    std::string dest = folder("dest-src");

    Archive a;
    for (const auto& tgz : {dotdot, absolute, linked}) {
        a.setFile(tgz);
        EXPECT_EQ(a.expand(dest, ""), mstrEXPAND_ERROR) << tgz;
    }
    EXPECT_EQ(fs::readFile(dir / "x"), "kept x");
    EXPECT_EQ(fs::readFile(dir / "outside/abs.txt"), "kept abs");
    EXPECT_FALSE(fs::fileExists(dir / "outside/evil.txt"));
    struct stat st {};
    EXPECT_NE(::lstat((dest + "link").c_str(), &st) == 0 && S_ISLNK(st.st_mode), true);
    bool logged = false;
    for (const auto& e : log.log->entries())
        if (e.description.find("../x") != std::string::npos) logged = true;
    EXPECT_TRUE(logged);

    // A link already in the folder is never written through.
    std::string trap = folder("trap");
    ASSERT_EQ(::symlink((dir / "outside").c_str(), (trap + "docs").c_str()), 0);
    write("src2/docs/evil.txt", "through");
    a.setFile(tarball("src2", {"docs/evil.txt"}, "through.tgz"));
    EXPECT_EQ(a.expand(trap, ""), mstrEXPAND_ERROR);
    EXPECT_FALSE(fs::fileExists(dir / "outside/evil.txt"));
}

}  // namespace
}  // namespace fg
