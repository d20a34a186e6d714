// The archive kinds behind the control: cabinets made by gcab, ARJ archives
// made by arj, ZIP names in code page 932, and the kinds that cannot be made
// here failing with the not-supported result, logged.
#include "archive/parvolt/parvolt.h"

#include "archive/parvolt/result_codes.h"
#include "archive_test_support.h"
#include "platform/files.h"
#include "platform/message_sink.h"
#include "platform/testing/temp_home.h"
#include "platform/text.h"

#include <gtest/gtest.h>

namespace fg {
namespace {

using namespace parvolt;
using testing::outputLines;
using testing::runProgram;

class ParvoltKinds : public ::testing::Test {
protected:
    testing::TempDir dir;
    testing::ErrorLogGuard log;
    std::shared_ptr<RecordingMessageSink> sink = std::make_shared<RecordingMessageSink>();
    void SetUp() override { setMessageSink(sink); }
    void TearDown() override { setMessageSink(nullptr); }
    void write(const std::string& rel, const std::string& bytes) {
        fs::makeFolders(fs::folderOf(dir / rel));
        fs::writeFileAtomic(dir / rel, bytes);
    }
    std::vector<std::string> listed(Parvolt& c, const std::string& archive) {
        c.setoArcFileName(archive);
        c.OpenFile();
        EXPECT_EQ(c.Error(), 0) << c.Errorstring();
        std::vector<std::string> names;
        for (Parvolt::Int i = 0; i < c.oFilesCount(); ++i) names.push_back(c.oPath(i) + c.oFilesList(i));
        return names;
    }
    bool logged(std::int32_t code) {
        for (const auto& e : log.log->entries())
            if (e.number == code) return true;
        return false;
    }
};

TEST_F(ParvoltKinds, CabinetsMadeByGcabListAndExtract) {
    write("src/a.txt", "alpha");
    write("src/sub/B.TXT", "beta");
    ASSERT_EQ(runProgram("/usr/bin/gcab", {"-cz", dir / "g.cab", "a.txt", "sub/B.TXT"}, dir / "src").exitCode, 0);
    Parvolt c;
    c.setArcMode(CAB_);
    EXPECT_EQ(listed(c, dir / "g.cab"), (std::vector<std::string>{"a.txt", "sub/B.TXT"}));
    fs::makeFolders(dir / "out");
    c.seteArcFileName(dir / "g.cab");
    c.seteFolder(dir / "out");
    c.eAddFile("sub/b.txt");
    c.Extract();
    ASSERT_EQ(c.Error(), 0) << c.Errorstring();
    EXPECT_EQ(fs::readFile(dir / "out/sub/B.TXT"), "beta");
    EXPECT_FALSE(fs::fileExists(dir / "out/a.txt"));
}

TEST_F(ParvoltKinds, CabinetsPackedHereAreReadByGcabAndUnsupportedCompressionsFail) {
    write("src/a.txt", "alpha");
    write("src/sub/b.txt", "beta");
    Parvolt c;
    c.setArcMode(CAB_);
    c.setswDialog(vbFalse);
    c.setpBaseFolder(dir / "src");
    c.setpArcFileName(dir / "p.cab");
    c.Pack();
    ASSERT_EQ(c.Error(), 0) << c.Errorstring();
    testing::ProgramRun run = runProgram("/usr/bin/gcab", {"-t", dir / "p.cab"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(outputLines(run.output), (std::vector<std::string>{"a.txt", "sub\\b.txt"}));
    fs::makeFolders(dir / "g");
    EXPECT_EQ(runProgram("/usr/bin/gcab", {"-x", "-C", dir / "g", dir / "p.cab"}).exitCode, 0);
    EXPECT_EQ(fs::readFile(dir / "g/a.txt"), "alpha");

    for (Parvolt::Long type : {LZX, QUANTUM}) {
        c.setpTypeOfCab(type);
        c.setpArcFileName(dir / "lzx.cab");
        c.Pack();
        EXPECT_EQ(c.Error(), result::NotSupported) << type;
        EXPECT_EQ(c.Errorstring(), "サポートされていません。");
    }
    c.setpTypeOfCab(MSZIP);
    c.setcabMultiVolume(1000);
    c.Pack();
    EXPECT_EQ(c.Error(), result::NotSupported);
    EXPECT_FALSE(fs::fileExists(dir / "lzx.cab"));
    EXPECT_TRUE(logged(result::NotSupported));
}

TEST_F(ParvoltKinds, ArjArchivesMadeByArjListAndExtractAndArePacked) {
    write("src/a.txt", "alpha");
    write("src/sub/B.TXT", "beta");
    ASSERT_EQ(runProgram("/usr/bin/arj", {"a", "-r", "-y", dir / "t.arj", "a.txt", "sub"}, dir / "src").exitCode, 0);
    Parvolt c;
    c.setArcMode(ARJ_);
    EXPECT_EQ(listed(c, dir / "t.arj"), (std::vector<std::string>{"a.txt", "sub/B.TXT"}));
    EXPECT_EQ(c.oOrgSize(0), "5");
    fs::makeFolders(dir / "out");
    c.seteArcFileName(dir / "t.arj");
    c.seteFolder(dir / "out");
    c.Extract();
    ASSERT_EQ(c.Error(), 0) << c.Errorstring();
    EXPECT_EQ(fs::readFile(dir / "out/a.txt"), "alpha");
    EXPECT_EQ(fs::readFile(dir / "out/sub/B.TXT"), "beta");
    EXPECT_EQ(fs::list(dir / "out", "*", fs::ListKind::All), (std::vector<std::string>{"a.txt", "sub"}));

    // Packing waits for arj and reports how it ended.
    Parvolt p;
    p.setArcMode(ARJ_);
    p.setswDialog(vbFalse);
    p.setpBaseFolder(dir / "src");
    p.setpArcFileName(dir / "p.arj");
    p.pAddFile("a.txt");
    p.Pack();
    ASSERT_EQ(p.Error(), 0) << p.Errorstring();
    EXPECT_EQ(p.lastCommandLine().rfind("arj.exe u -r -a " + dir / "p.arj " + dir / "src/a.txt ", 0), 0u)
        << p.lastCommandLine();
    testing::ProgramRun check = runProgram("/usr/bin/arj", {"t", dir / "p.arj"});
    EXPECT_EQ(check.exitCode, 0) << check.output;
    p.pFilesClear();
    p.pAddFile("missing.txt");
    p.Pack();
    EXPECT_EQ(p.Error(), result::Trapped);
    EXPECT_NE(p.Errorstring().find("arj"), std::string::npos);
}

TEST_F(ParvoltKinds, TheInstallationsBoundsHoldForTheLibraryAndForArj) {
    testing::TempHome home(false);
    write("src/a.txt", std::string(3000, 'a'));
    write("src/b.txt", "b");
    ASSERT_EQ(runProgram("/usr/bin/arj", {"a", "-y", dir / "t.arj", "a.txt", "b.txt"}, dir / "src").exitCode, 0);
    ASSERT_EQ(runProgram("/usr/bin/tar", {"-czf", dir / "t.tgz", "a.txt", "b.txt"}, dir / "src").exitCode, 0);
    struct Case {
        std::int32_t kind;
        std::string archive;
    } cases[] = {{ARJ_, dir / "t.arj"}, {TAR_, dir / "t.tgz"}};
    for (const char* bounds : {"<MaxExtractBytes>2000</MaxExtractBytes>", "<MaxExtractMembers>1</MaxExtractMembers>"}) {
        home.write("archive.xml", std::string("<?xml version=\"1.0\"?><Archive>") + bounds + "</Archive>");
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(bounds) + " " + c.archive);
            std::string out = dir / ("out-" + std::to_string(c.kind) + "/");
            fs::makeFolders(out);
            Parvolt p;
            p.setArcMode(c.kind);
            p.setswDialog(vbFalse);
            p.seteArcFileName(c.archive);
            p.seteFolder(out);
            p.Extract();
            EXPECT_NE(p.Error(), 0);
            EXPECT_NE(p.Errorstring().find("上限"), std::string::npos) << p.Errorstring();
            EXPECT_EQ(testing::everythingIn(out), std::vector<std::string>{});
        }
    }
}

TEST_F(ParvoltKinds, ZipNamesOutsideAsciiAreCodePage932) {
    write("src/注文.xml", "<o/>");
    Parvolt c;
    c.setArcMode(ZIP_);
    c.setpBaseFolder(dir / "src");
    c.setpArcFileName("j.zip");
    c.pAddFile("注文.xml");
    c.Pack();
    ASSERT_EQ(c.Error(), 0) << c.Errorstring();
    testing::ProgramRun raw = runProgram("/usr/bin/unzip", {"-Z1", dir / "src/j.zip"});
    EXPECT_EQ(outputLines(raw.output), std::vector<std::string>{text::toCp932("注文.xml")});
    EXPECT_EQ(listed(c, dir / "src/j.zip"), std::vector<std::string>{"注文.xml"});
    EXPECT_EQ(c.oDate(0)[2], '-');
    fs::makeFolders(dir / "out");
    c.seteArcFileName(dir / "src/j.zip");
    c.seteFolder(dir / "out");
    c.eAddFile("注文.xml");
    c.Extract();
    ASSERT_EQ(c.Error(), 0) << c.Errorstring();
    EXPECT_EQ(fs::readFile(dir / "out/注文.xml"), "<o/>");
}

TEST_F(ParvoltKinds, WhatCannotBeDoneHereFailsAsNotSupported) {
    write("src/a.txt", "alpha");
    ASSERT_EQ(runProgram("/usr/bin/zip", {"-q", dir / "z.zip", "a.txt"}, dir / "src").exitCode, 0);
    Parvolt c;
    c.setpBaseFolder(dir / "src");
    for (Parvolt::Long kind : {LHA_, RAR_}) {
        c.setArcMode(kind);
        c.setpArcFileName(dir / "x.out");
        c.Pack();
        EXPECT_EQ(c.Error(), result::NotSupported) << kind;
        EXPECT_FALSE(fs::fileExists(dir / "x.out"));
    }
    c.setArcMode(ISH_);
    c.setpArcFileName(dir / "src");
    c.pAddFile("a.txt");
    c.Pack();
    EXPECT_EQ(c.Error(), result::NotSupported);
    c.seteArcFileName(dir / "src/a.txt");
    c.seteFolder(dir / "src");
    c.Extract();
    EXPECT_EQ(c.Error(), result::NotSupported);
    c.setoArcFileName(dir / "src/a.txt");
    c.OpenFile();
    EXPECT_EQ(c.Error(), result::NotSupported);

    // Self-extracting archives are programs of another platform.
    c.setArcMode(ZIP_);
    c.setsfxArcFileName(dir / "z.zip");
    c.SFX();
    EXPECT_EQ(c.Error(), result::NotSupported);
    EXPECT_EQ(c.lastCommandLine(), "--sfx \"" + dir / "z.zip\" \"" + dir.path() + "\"");
    EXPECT_TRUE(logged(result::NotSupported));
    EXPECT_TRUE(sink->shown().empty());
}

}  // namespace
}  // namespace fg
