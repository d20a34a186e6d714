// The archive layer against real archivers: packing that keeps or replaces
// entries of an archive that is there, staged writes that never leave half
// an archive, names stored as UTF-8 whatever the locale, and extraction that
// refuses whatever would reach outside its folder or is not a plain file,
// folder or link, stays within its bounds, and leaves nothing of an archive
// it could not finish.
#include "platform/archive/archive_file.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/process/process.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_home.h"

#include <gtest/gtest.h>

#include <clocale>
#include <csignal>
#include <cstdlib>
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

// Sets the process's locale for a while (LC_CTYPE, as a program that calls
// setlocale would).
struct ProcessLocale {
    explicit ProcessLocale(const char* name) : before(std::setlocale(LC_CTYPE, nullptr)) {
        std::setlocale(LC_CTYPE, name);
    }
    ~ProcessLocale() { std::setlocale(LC_CTYPE, before.c_str()); }
    std::string before;
};

TEST_F(ArchiveLayer, NamesStoredAsUtf8ComeThroughWhateverTheLocale) {
    const std::string name = "注文書.xml";
    // Python flags a non-ASCII ZIP name as UTF-8; gcab stores cabinet names so.
    ASSERT_EQ(testing::runPython("import sys, zipfile\n"
                                 "with zipfile.ZipFile(sys.argv[1], 'w') as z: z.writestr(sys.argv[2], 'zip')",
                                 {dir / "py.zip", name})
                  .exitCode,
              0);
    write("cab/" + name, "cab");
    ASSERT_EQ(testing::runProgram({"gcab", "-c", "-n", dir / "gcab.cab", dir / ("cab/" + name)}).exitCode, 0);
    write("src/" + name, "tar");

    for (const char* locale : {"C", "C.UTF-8"}) {
        SCOPED_TRACE(locale);
        ProcessLocale scoped(locale);
        struct Case {
            std::string archive;
            arc::Format format;
            std::string content;
        } cases[] = {{dir / "py.zip", arc::Format::Zip, "zip"}, {dir / "gcab.cab", arc::Format::Cab, "cab"}};
        for (const Case& c : cases) {
            EXPECT_EQ(names(c.archive, c.format), std::vector<std::string>{name}) << c.archive;
            std::string out = dir / ("out-" + std::string(locale) + "-" + fs::nameOf(c.archive) + "/");
            fs::makeFolders(out);
            arc::ExtractReport r = arc::extract({c.archive, c.format, out, {name}});
            EXPECT_TRUE(r.refused.empty()) << c.archive;
            EXPECT_EQ(fs::readFile(out + name), c.content) << c.archive;
        }

        // Written: TAR names as UTF-8 path records (never marked binary),
        // ZIP names in code page 932 without the UTF-8 flag.
        std::string tar = dir / ("w-" + std::string(locale) + ".tar");
        std::string zip = dir / ("w-" + std::string(locale) + ".zip");
        arc::pack({tar, arc::Format::Tar, arc::Compression::None, true, {{dir / ("src/" + name), name}}});
        arc::pack({zip, arc::Format::Zip, arc::Compression::None, true, {{dir / ("src/" + name), name}}});
        auto tarRead = testing::runPython(
            "import sys, tarfile\n"
            "for m in tarfile.open(sys.argv[1]): print(m.name, sorted(m.pax_headers.items()))",
            {tar});
        EXPECT_EQ(tarRead.output, name + " [('path', '" + name + "')]\n") << tarRead.errors;
        auto zipRead = testing::runPython(
            "import sys, zipfile\n"
            "for i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
            "    print(i.flag_bits & 0x800, i.filename.encode('cp437').decode('cp932'))",
            {zip});
        EXPECT_EQ(zipRead.output, "0 " + name + "\n") << zipRead.errors;
        EXPECT_EQ(names(tar, arc::Format::Tar), std::vector<std::string>{name});
        EXPECT_EQ(names(zip, arc::Format::Zip), std::vector<std::string>{name});
    }
}

TEST_F(ArchiveLayer, NoChainOfLinksLeadsOutOfTheFolder) {
    // sub/l1 -> .. is the folder itself; l2 -> sub/l1/.. is then its parent.
    write("src/sub/keep.txt", "k");
    write("src/d/x.txt", "x");
    ASSERT_EQ(::symlink("..", (dir / "src/sub/l1").c_str()), 0);
    ASSERT_EQ(::symlink("sub/l1/..", (dir / "src/l2").c_str()), 0);
    ASSERT_EQ(::symlink("d/x.txt", (dir / "src/inside").c_str()), 0);
    ASSERT_EQ(::symlink("sub/../d", (dir / "src/roundabout").c_str()), 0);
    ASSERT_EQ(runTar({"-cf", dir / "chain.tar", "sub", "d", "l2", "inside", "roundabout"}, dir / "src"), 0);

    std::string out = dir / "out/";
    fs::makeFolders(out);
    arc::ExtractReport r = arc::extract({dir / "chain.tar", arc::Format::Tar, out});
    std::sort(r.refused.begin(), r.refused.end());
    EXPECT_EQ(r.refused, (std::vector<std::string>{"l2", "roundabout", "sub/l1"}));
    EXPECT_EQ(fs::readFile(out + "inside"), "x");
    // Whatever stayed resolves inside the folder.
    char real[PATH_MAX];
    for (const std::string& rel : testing::everythingIn(out)) {
        ASSERT_NE(::realpath((out + rel).c_str(), real), nullptr) << rel;
        EXPECT_EQ(std::string(real).rfind(out, 0), 0u) << rel << " -> " << real;
    }
}

TEST_F(ArchiveLayer, AnArchiveBeyondItsBoundsIsRefusedAndNothingOfItStays) {
    // Four members: a small file, a folder, and 3 MB of zeros that pack to
    // a few kilobytes.
    ASSERT_EQ(testing::runPython("import io, sys, tarfile\n"
                                 "with tarfile.open(sys.argv[1], 'w:gz') as t:\n"
                                 "    for name, size in (('a.xml', 10), ('big/', 0), ('big/zeros', 3 << 20),\n"
                                 "                       ('z.xml', 10)):\n"
                                 "        i = tarfile.TarInfo(name.rstrip('/'))\n"
                                 "        if name.endswith('/'): i.type = tarfile.DIRTYPE\n"
                                 "        else: i.size = size\n"
                                 "        t.addfile(i, io.BytesIO(bytes(size)))",
                                 {dir / "bomb.tgz"})
                  .exitCode,
              0);
    ASSERT_LT(fs::readFile(dir / "bomb.tgz").size(), 64u * 1024);
    struct Case {
        const char* what;
        uint64_t maxBytes, maxMembers;
        bool refused;
    } cases[] = {
        {"within both bounds", 4u << 20, 4, false},
        {"too many bytes", 1u << 20, 100, true},
        {"too many members", 1u << 30, 3, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string out = dir / (std::string("out-") + c.what + "/");
        fs::makeFolders(out);
        arc::ExtractRequest request{dir / "bomb.tgz", arc::Format::Tar, out};
        request.limits = {c.maxBytes, c.maxMembers};
        if (!c.refused) {
            arc::extract(request);
            EXPECT_EQ(testing::everythingIn(out), (std::vector<std::string>{"a.xml", "big", "big/zeros", "z.xml"}));
            continue;
        }
        try {
            arc::extract(request);
            ADD_FAILURE() << "extracted beyond its bounds";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), errnum::PathFileAccessError);
            EXPECT_NE(e.description().find("上限"), std::string::npos) << e.description();
        }
        EXPECT_EQ(testing::everythingIn(out), std::vector<std::string>{});
    }
}

TEST_F(ArchiveLayer, TheBoundsComeFromTheInstallationWithGenerousDefaults) {
    testing::TempHome home(false);
    arc::ExtractLimits defaults = arc::ExtractLimits::load();
    EXPECT_EQ(defaults.maxBytes, 1024ull * 1024 * 1024);
    EXPECT_EQ(defaults.maxMembers, 100000u);
    struct Case {
        std::string body;
        uint64_t maxBytes, maxMembers;
        bool bad;
    } cases[] = {
        {"<Archive><MaxExtractBytes>5000</MaxExtractBytes><MaxExtractMembers>7</MaxExtractMembers></Archive>", 5000,
         7, false},
        {"<Archive><MaxExtractMembers> 9 </MaxExtractMembers></Archive>", 1024ull * 1024 * 1024, 9, false},
        {"<Archive><MaxExtractBytes>0</MaxExtractBytes></Archive>", 0, 0, true},
        {"<Archive><MaxExtractBytes>1e9</MaxExtractBytes></Archive>", 0, 0, true},
        {"<Archives/>", 0, 0, true},
        {"<Archive>", 0, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        home.write("archive.xml", "<?xml version=\"1.0\"?>" + c.body);
        if (c.bad) {
            EXPECT_THROW(arc::ExtractLimits::load(), Error);
            continue;
        }
        arc::ExtractLimits limits = arc::ExtractLimits::load();
        EXPECT_EQ(limits.maxBytes, c.maxBytes);
        EXPECT_EQ(limits.maxMembers, c.maxMembers);
    }
}

TEST_F(ArchiveLayer, AnArchiveThatBreaksOffLeavesNoMemberCutShortAndNothingElse) {
    // A small member, then 1 MB that does not compress, cut off in the middle.
    ASSERT_EQ(testing::runPython("import io, os, sys, tarfile\n"
                                 "with tarfile.open(sys.argv[1], 'w:gz') as t:\n"
                                 "    for name, data in (('a.xml', b'<a/>'), ('sub/b.bin', os.urandom(1 << 20))):\n"
                                 "        i = tarfile.TarInfo(name); i.size = len(data)\n"
                                 "        t.addfile(i, io.BytesIO(data))\n"
                                 "data = open(sys.argv[1], 'rb').read()\n"
                                 "open(sys.argv[1], 'wb').write(data[:len(data) * 2 // 3])",
                                 {dir / "cut.tgz"})
                  .exitCode,
              0);
    std::string out = dir / "out/";
    fs::makeFolders(out);
    write("out/a.xml", "older copy");
    EXPECT_THROW(arc::extract({dir / "cut.tgz", arc::Format::Tar, out}), Error);
    // The copy that was there stays as it was; no folder, no temporary file.
    EXPECT_EQ(testing::everythingIn(out), std::vector<std::string>{"a.xml"});
    EXPECT_EQ(fs::readFile(out + "a.xml"), "older copy");

    // A member that is there, asked for beside one that is not, is not kept
    // either when the extraction is all or nothing.
    ASSERT_EQ(runTar({"-cf", dir / "one.tar", "a.xml"}, out), 0);
    std::string all = dir / "all/";
    fs::makeFolders(all);
    arc::ExtractRequest request{dir / "one.tar", arc::Format::Tar, all, {"a.xml", "absent.xml"}};
    request.allOrNothing = true;
    try {
        arc::extract(request);
        ADD_FAILURE() << "a missing member must fail";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), errnum::FileNotFound);
    }
    EXPECT_EQ(testing::everythingIn(all), std::vector<std::string>{});
}

TEST_F(ArchiveLayer, WhatAKilledExtractionLeftGoesWithTheNextExtractionThere) {
    // A small member, then 64 MB of zeros that pack to some 64 KB: the
    // extraction writes for a while with its first member waiting hidden.
    ASSERT_EQ(testing::runPython("import io, sys, tarfile\n"
                                 "with tarfile.open(sys.argv[1], 'w:gz') as t:\n"
                                 "    for name, size in (('a.xml', 10), ('sub/zeros', 64 << 20)):\n"
                                 "        i = tarfile.TarInfo(name); i.size = size\n"
                                 "        t.addfile(i, io.BytesIO(bytes(size)))",
                                 {dir / "slow.tgz"})
                  .exitCode,
              0);
    const std::string out = dir / "out/";
    fs::makeFolders(out);
    auto hidden = [&] {
        std::vector<std::string> found;
        for (const auto& rel : testing::everythingIn(out))
            if (fs::nameOf(rel)[0] == '.') found.push_back(rel);
        return found;
    };
    Process extraction = Process::start(EXTRACT_CHILD, {dir / "slow.tgz", out});
    ASSERT_TRUE(testing::eventually([&] { return !hidden().empty(); }));
    ASSERT_EQ(::kill(extraction.pid(), SIGKILL), 0);
    ASSERT_EQ(testing::waitForEnd(extraction), 128 + SIGKILL);
    // Killed midway: no member under its own name, its hidden files stay.
    ASSERT_FALSE(hidden().empty());
    EXPECT_FALSE(fs::fileExists(out + "a.xml"));
    EXPECT_FALSE(fs::fileExists(out + "sub/zeros"));

    // One more of the killed extraction's in a folder the next one writes
    // into, and one of an extraction that still runs (this process).
    fs::makeFolders(out + "sub");
    fs::writeFileAtomic(out + "sub/.extract.tmp." + std::to_string(extraction.pid()) + ".cut", "cut short");
    const std::string running = ".extract.tmp." + std::to_string(::getpid()) + ".running";
    fs::writeFileAtomic(out + running, "being written");

    write("next/b.xml", "<b/>");
    write("next/sub/c.xml", "<c/>");
    ASSERT_EQ(runTar({"-cf", dir / "next.tar", "b.xml", "sub/c.xml"}, dir / "next"), 0);
    arc::extract({dir / "next.tar", arc::Format::Tar, out});
    EXPECT_EQ(testing::everythingIn(out), (std::vector<std::string>{running, "b.xml", "sub", "sub/c.xml"}));
}

TEST_F(ArchiveLayer, AHiddenNameTakenUnderThisProcesssIdIsReplacedNeverWrittenThrough) {
    // Links to a file outside under the hidden names an extraction of this
    // process would write to (left, say, by an ended writer whose process id
    // came round again): the members land whole, the file outside stays.
    write("outside.txt", "not to be touched");
    const std::string out = dir / "out/";
    fs::makeFolders(out);
    const std::string prefix = out + ".extract.tmp." + std::to_string(::getpid()) + ".";
    for (int n = 1; n <= 4096; ++n)
        ASSERT_EQ(::symlink((dir / "outside.txt").c_str(), (prefix + std::to_string(n)).c_str()), 0);
    write("src/a.xml", "<a/>");
    write("src/b.xml", "<b/>");
    ASSERT_EQ(runTar({"-czf", dir / "two.tgz", "a.xml", "b.xml"}, dir / "src"), 0);
    arc::extract({dir / "two.tgz", arc::Format::Tar, out});
    EXPECT_EQ(fs::readFile(out + "a.xml"), "<a/>");
    EXPECT_EQ(fs::readFile(out + "b.xml"), "<b/>");
    EXPECT_EQ(fs::readFile(dir / "outside.txt"), "not to be touched");
}

}  // namespace
}  // namespace fg
