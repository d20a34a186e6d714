// The archive layer against real archivers: packing that keeps or replaces
// entries of an archive that is there, staged writes that never leave half
// an archive, and extraction that refuses whatever would reach outside its
// folder or is not a plain file, folder or link.
#include "platform/archive/archive_file.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/process/process.h"
#include "platform/testing/temp_home.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>

namespace fg {
namespace {

int runTar(const std::vector<std::string>& args, const std::string& folder) {
    SpawnOptions options;
    options.workingFolder = folder;
    options.outputFile = "/dev/null";
    Process p = Process::start("/usr/bin/tar", args, options);
    return p.waitFor(std::chrono::milliseconds(60000)) ? p.exitCode().value_or(-1) : -1;
}

class ArchiveLayer : public ::testing::Test {
protected:
    testing::TempDir dir;
    void write(const std::string& rel, const std::string& bytes, time_t mtime = 0) {
        fs::makeFolders(fs::folderOf(dir / rel));
        fs::writeFileAtomic(dir / rel, bytes);
        if (mtime) {
            utimbuf t{mtime, mtime};
            ::utime((dir / rel).c_str(), &t);
        }
    }
    std::vector<std::string> names(const std::string& archive, arc::Format f) {
        std::vector<std::string> out;
        for (const auto& e : arc::list(archive, f)) out.push_back(e.name);
        return out;
    }
    std::string member(const std::string& archive, const std::string& name) {
        std::string out = dir / ("m-" + std::to_string(++reads_) + "/");
        fs::makeFolders(out);
        arc::ExtractRequest r{archive, arc::Format::Zip, out, {name}};
        arc::extract(r);
        return fs::readFile(out + name);
    }
    int reads_ = 0;
};

TEST_F(ArchiveLayer, PackingKeepsOrReplacesTheEntriesOfAnArchiveThatIsThere) {
    write("a.xml", "a1", 1000000000);
    write("b.xml", "b1", 1000000000);
    std::string zip = dir / "r.zip";
    arc::pack({zip, arc::Format::Zip, arc::Compression::None, true,
               {{dir / "a.xml", "a.xml"}, {dir / "b.xml", "b.xml"}}});
    EXPECT_EQ(names(zip, arc::Format::Zip), (std::vector<std::string>{"a.xml", "b.xml"}));

    // Added to: b.xml replaced, a.xml kept.
    write("b.xml", "b2", 1000000000);
    arc::PackRequest add{zip, arc::Format::Zip, arc::Compression::None, true, {{dir / "b.xml", "B.XML"}}, true, false};
    arc::pack(add);
    EXPECT_EQ(names(zip, arc::Format::Zip), (std::vector<std::string>{"a.xml", "B.XML"}));
    EXPECT_EQ(member(zip, "b.xml"), "b2");

    // Updated: a file no newer than its entry leaves the entry alone.
    write("a.xml", "a2", 1000000000);
    arc::PackRequest update{zip, arc::Format::Zip, arc::Compression::None, true, {{dir / "a.xml", "a.xml"}}, true, true};
    arc::pack(update);
    EXPECT_EQ(member(zip, "a.xml"), "a1");
    write("a.xml", "a3", 1000000100);
    arc::pack(update);
    EXPECT_EQ(member(zip, "a.xml"), "a3");
    EXPECT_EQ(names(zip, arc::Format::Zip), (std::vector<std::string>{"B.XML", "a.xml"}));

    // Written fresh: nothing of the old archive survives.
    arc::pack({zip, arc::Format::Zip, arc::Compression::None, true, {{dir / "a.xml", "a.xml"}}});
    EXPECT_EQ(names(zip, arc::Format::Zip), std::vector<std::string>{"a.xml"});
}

TEST_F(ArchiveLayer, AFailedPackLeavesTheOldArchiveAndNoTemporaryFile) {
    write("a.xml", "a");
    std::string zip = dir / "r.zip";
    arc::pack({zip, arc::Format::Zip, arc::Compression::None, true, {{dir / "a.xml", "a.xml"}}});
    std::string before = fs::readFile(zip);
    try {
        arc::pack({zip, arc::Format::Zip, arc::Compression::None, true,
                   {{dir / "a.xml", "a.xml"}, {dir / "gone.xml", "gone.xml"}}});
        FAIL() << "a missing file must fail the pack";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), errnum::FileNotFound);
    }
    EXPECT_EQ(fs::readFile(zip), before);
    // An archive to merge with that is no archive fails too, and stays.
    write("bad.zip", "not a zip");
    EXPECT_THROW(arc::pack({dir / "bad.zip", arc::Format::Zip, arc::Compression::None, true,
                            {{dir / "a.xml", "a.xml"}}, true, false}),
                 Error);
    EXPECT_EQ(fs::readFile(dir / "bad.zip"), "not a zip");
    std::vector<std::string> all;
    for (const auto& n : fs::list(dir.path(), ".*", fs::ListKind::All)) all.push_back(n);
    EXPECT_TRUE(all.empty());
}

TEST_F(ArchiveLayer, TarballsArePackedWithTheCompressionTheirNameSays) {
    EXPECT_EQ(arc::compressionForName("answer.TGZ"), arc::Compression::Gzip);
    EXPECT_EQ(arc::compressionForName("a.tar.gz"), arc::Compression::Gzip);
    EXPECT_EQ(arc::compressionForName("a.tar.bz2"), arc::Compression::Bzip2);
    EXPECT_EQ(arc::compressionForName("a.txz"), arc::Compression::Xz);
    EXPECT_EQ(arc::compressionForName("a.tar"), arc::Compression::None);
    write("src/d/x.txt", "x");
    arc::pack({dir / "t.tgz", arc::Format::Tar, arc::Compression::Gzip, true,
               {{dir / "src/d", "d"}, {dir / "src/d/x.txt", "d/x.txt"}}});
    fs::makeFolders(dir / "gnu");
    EXPECT_EQ(runTar({"-xzf", dir / "t.tgz"}, dir / "gnu"), 0);
    EXPECT_EQ(fs::readFile(dir / "gnu/d/x.txt"), "x");
}

TEST_F(ArchiveLayer, ExtractionFlattensSkipsOlderAndRefusesWhatIsNotAFileFolderOrInsideLink) {
    write("src/d/x.txt", "x", 1000000000);
    write("src/top.txt", "top", 1000000000);
    ASSERT_EQ(::mkfifo((dir / "src/pipe").c_str(), 0600), 0);
    ASSERT_EQ(::link((dir / "src/top.txt").c_str(), (dir / "src/hard.txt").c_str()), 0);
    ASSERT_EQ(::symlink("d/x.txt", (dir / "src/inside").c_str()), 0);
    ASSERT_EQ(runTar({"-cf", dir / "a.tar", "d", "top.txt", "hard.txt", "pipe", "inside"}, dir / "src"), 0);

    std::string out = dir / "out/";
    fs::makeFolders(out);
    arc::ExtractReport r = arc::extract({dir / "a.tar", arc::Format::Tar, out});
    EXPECT_EQ(r.refused, std::vector<std::string>{"pipe"});
    EXPECT_EQ(fs::readFile(out + "hard.txt"), "top");
    char target[64] = {};
    ASSERT_GT(::readlink((out + "inside").c_str(), target, sizeof target - 1), 0);
    EXPECT_STREQ(target, "d/x.txt");
    struct stat st {};
    EXPECT_NE(::lstat((out + "pipe").c_str(), &st), 0);

    // Only newer: a copy on disk that is newer stays.
    write("out/top.txt", "mine", 1100000000);
    r = arc::extract({dir / "a.tar", arc::Format::Tar, out, {"top.txt"}, true, true});
    EXPECT_EQ(r.skipped, 1u);
    EXPECT_EQ(fs::readFile(out + "top.txt"), "mine");

    // Without folders every file lands in the folder itself.
    std::string flat = dir / "flat/";
    fs::makeFolders(flat);
    r = arc::extract({dir / "a.tar", arc::Format::Tar, flat, {"d/x.txt", "./TOP.TXT", "absent"}, false});
    EXPECT_EQ(fs::readFile(flat + "x.txt"), "x");
    EXPECT_EQ(fs::readFile(flat + "top.txt"), "top");
    EXPECT_EQ(r.missing, std::vector<std::string>{"absent"});
}

TEST_F(ArchiveLayer, AFolderEntryOverALinkInTheTargetIsRefused) {
    write("src/docs/a.txt", "a");
    ASSERT_EQ(runTar({"-cf", dir / "d.tar", "docs"}, dir / "src"), 0);
    write("elsewhere/keep.txt", "keep");
    std::string out = dir / "out/";
    fs::makeFolders(out);
    ASSERT_EQ(::symlink((dir / "elsewhere").c_str(), (out + "docs").c_str()), 0);
    arc::ExtractReport r = arc::extract({dir / "d.tar", arc::Format::Tar, out});
    EXPECT_EQ(r.refused, (std::vector<std::string>{"docs/", "docs/a.txt"}));
    EXPECT_FALSE(fs::fileExists(dir / "elsewhere/a.txt"));
}

TEST_F(ArchiveLayer, HardLinksOutsideTheFolderAreRefused) {
    write("src/a", "secret");
    ASSERT_EQ(::link((dir / "src/a").c_str(), (dir / "src/b").c_str()), 0);
    // Both the file and the link target renamed to leave the folder.
    ASSERT_EQ(runTar({"-cPf", dir / "h.tar", "--transform=s,^a$,../evil,", "a", "b"}, dir / "src"), 0);
    std::string out = dir / "out/";
    fs::makeFolders(out);
    arc::ExtractReport r = arc::extract({dir / "h.tar", arc::Format::Tar, out});
    EXPECT_EQ(r.refused, (std::vector<std::string>{"../evil", "b"}));
    EXPECT_FALSE(fs::fileExists(dir / "evil"));
    EXPECT_FALSE(fs::fileExists(out + "b"));
}

}  // namespace
}  // namespace fg
