// The archive control as its host drives it: defaults and their checks,
// saved properties, the lists, the command lines handed to the archivers,
// and the result codes with their texts, byte for byte.
#include "archive/parvolt/parvolt.h"

#include "archive/parvolt/backend.h"
#include "archive/parvolt/result_codes.h"
#include "archive_test_support.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/message_sink.h"
#include "platform/testing/error_of.h"
#include "platform/testing/shape.h"
#include "platform/testing/temp_home.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include <unistd.h>

namespace fg {
namespace {

using namespace parvolt;
using testing::errorOf;


TEST(ParvoltProperties, ANewControlHasItsDefaultsAndChecksItsRanges) {
    Parvolt c;
    EXPECT_EQ(c.ArcMode(), LHA_);
    EXPECT_EQ(c.swDialog(), vbTrue);
    EXPECT_EQ(c.swGaugeProgress(), vbFalse);
    EXPECT_EQ(c.swUnderFolder(), vbTrue);
    EXPECT_EQ(c.pTypeOfArc(), 2);
    EXPECT_EQ(c.pTypeOfIsh(), 1);
    EXPECT_EQ(c.pTypeOfCab(), 0);
    EXPECT_EQ(c.sfxType(), 2);
    EXPECT_EQ(c.LevelLZX(), 15);
    EXPECT_EQ(c.LevelQUANTUM(), 1);
    EXPECT_EQ(c.cabMultiVolume(), 0);
    EXPECT_EQ(c.Error(), 0);
    EXPECT_EQ(c.Errorstring(), "");
    EXPECT_EQ(Parvolt::currentArcMode(), LHA_);

    EXPECT_EQ(errorOf([&] { c.setLevelLZX(14); }), 380);
    EXPECT_EQ(errorOf([&] { c.setLevelLZX(22); }), 380);
    EXPECT_EQ(c.LevelLZX(), 15);
    c.setLevelLZX(21);
    EXPECT_EQ(c.LevelLZX(), 21);
    EXPECT_EQ(errorOf([&] { c.setLevelQUANTUM(0); }), 380);
    EXPECT_EQ(errorOf([&] { c.setLevelQUANTUM(8); }), 380);
    c.setLevelQUANTUM(7);
    EXPECT_EQ(c.LevelQUANTUM(), 7);
    EXPECT_EQ(errorOf([&] { c.setcabMultiVolume(-1); }), 380);
    c.setcabMultiVolume(0);

    EXPECT_EQ(errorOf([&] { c.setErrorstring("x"); }), 383);
    EXPECT_EQ(errorOf([&] { c.setpFilesCount(3); }), 383);
    EXPECT_EQ(errorOf([&] { c.seteFilesCount(3); }), 383);
    EXPECT_EQ(errorOf([&] { c.setoPath(0, "x"); }), 383);
    EXPECT_EQ(errorOf([&] { c.setoFilesList(0, "x"); }), 383);
    EXPECT_EQ(c.Errorstring(), "");

    c.setswCommand("  -zz -y  ");
    EXPECT_EQ(c.swCommand(), "-zz -y");
    c.setArcMode(9);  // the enumerations take any number
    EXPECT_EQ(c.Version(), 0);
    c.setArcMode(TAR_);
    EXPECT_GT(c.Version(), 0);
    EXPECT_FALSE(c.Running());
}

TEST(ParvoltProperties, TheModeIsSharedByTheControlsOfAThread) {
    Parvolt a, b;
    a.setArcMode(TAR_);
    b.setArcMode(ZIP_);
    EXPECT_EQ(a.ArcMode(), TAR_);
    EXPECT_EQ(Parvolt::currentArcMode(), ZIP_);
    // A's operations now work in ZIP: a tar file is not a ZIP archive.
    testing::TempDir dir;
    fs::writeFileAtomic(dir / "x.txt", "x");
    ASSERT_EQ(testing::runProgram("/usr/bin/tar", {"-cf", dir / "t.tar", "-C", dir.path(), "x.txt"}).exitCode, 0);
    a.setoArcFileName(dir / "t.tar");
    a.OpenFile();
    EXPECT_EQ(a.Error(), result::CannotOpenFile);
    EXPECT_EQ(a.oFilesCount(), 0);
    // Another thread has its own mode.
    std::thread([] { EXPECT_EQ(Parvolt::currentArcMode(), LHA_); }).join();
}

TEST(ParvoltProperties, SavedPropertiesRoundTripAndAnEmptyBagGivesTheDefaults) {
    Parvolt c;
    PropertyBag empty;
    c.writeProperties(empty);
    EXPECT_EQ(empty.size(), 0u);  // every value is its default

    std::vector<std::string> changed;
    c.setPropertyChangedHandler([&](const std::string& name) { changed.push_back(name); });
    c.setArcMode(CAB_);
    c.setpArcFileName("/t/r.cab");
    c.setswDialog(vbFalse);
    c.setswCommand("-zz");
    c.setLevelLZX(18);
    c.setcabMultiVolume(1000);
    c.setoBaseFolder("/o/");
    c.sethwnd(77);
    EXPECT_EQ(changed.front(), "ArcMode");
    EXPECT_EQ(changed.back(), "Hwnd");
    PropertyBag bag;
    c.writeProperties(bag);
    EXPECT_EQ(bag.size(), 7u);
    EXPECT_FALSE(bag.has("hwnd"));
    EXPECT_FALSE(bag.has("Hwnd"));

    Parvolt d;
    d.setArcMode(ZIP_);
    d.readProperties(bag);
    EXPECT_EQ(d.ArcMode(), CAB_);
    EXPECT_EQ(Parvolt::currentArcMode(), CAB_);
    EXPECT_EQ(d.pArcFileName(), "/t/r.cab");
    EXPECT_EQ(d.swDialog(), vbFalse);
    EXPECT_EQ(d.swUnderFolder(), vbTrue);
    EXPECT_EQ(d.swCommand(), "-zz");
    EXPECT_EQ(d.LevelLZX(), 18);
    EXPECT_EQ(d.cabMultiVolume(), 1000);
    EXPECT_EQ(d.oBaseFolder(), "/o/");
    EXPECT_EQ(d.hwnd(), 0);

    Parvolt e;
    e.readProperties(empty);
    EXPECT_EQ(e.sfxType(), WinSFX);
    EXPECT_EQ(e.LevelQUANTUM(), 1);
    Parvolt::Long w = 4000, h = 10;
    e.resize(w, h);
    EXPECT_EQ(w, 495);
    EXPECT_EQ(h, 495);
    e.show(true);
    EXPECT_FALSE(e.iconVisible());
    EXPECT_EQ(e.borderStyle(), 0);
}

TEST(ParvoltLists, AddClearAndIndexes) {
    Parvolt c;
    c.pAddFile("  a.xml ");
    c.pAddFile("   ");
    EXPECT_EQ(c.pFilesCount(), 1);
    EXPECT_EQ(c.pFilesList(0), "a.xml");
    c.pFilesClear();
    c.pAddFile("b.xml");
    EXPECT_EQ(c.pFilesCount(), 1);
    EXPECT_EQ(c.pFilesList(0), "b.xml");
    EXPECT_EQ(errorOf([&] { c.pFilesList(1); }), 9);
    c.eAddFile("");
    c.eAddFile(" x ");
    EXPECT_EQ(c.eFilesCount(), 2);
    EXPECT_EQ(c.eFilesList(0), "");
    EXPECT_EQ(c.eFilesList(1), " x ");
    c.seteFilesList(0, "y");
    EXPECT_EQ(c.eFilesList(0), "y");
    EXPECT_EQ(errorOf([&] { c.eFilesList(-1); }), 9);
    EXPECT_EQ(errorOf([&] { c.oFilesList(5); }), 9);
    for (int i = 2; i < 32767; ++i) c.eAddFile("n");
    EXPECT_EQ(errorOf([&] { c.eAddFile("one too many"); }), 6);
    EXPECT_EQ(c.eFilesCount(), 32767);
}

TEST(ParvoltResults, EveryTextByteForByte) {
    struct Row {
        std::int32_t code;
        const char* text;
    } rows[] = {
        {0, ""},
        {0x8005, "ディスクの空きが足りません。"},
        {0x8008, "UnKnown Type"},
        {0x800D, "ファイルを開けませんでした。"},
        {0x8011, "Too Many Files"},
        {0x801B, "指定されたファイルは有効な LZH 書庫ではありません。"},
        {0x8020, "ユーザーによって処理を中断されました。"},
        {0x8022, "FindFirst() を使用する前に FindNext() が呼ばれた。または，これらを呼び出す前に UnlhaGetFileName() 等の API が呼ばれました。"},
        {0x8024, "日付及び時間の指定形式が間違っています｡"},
        {0x802E, "この SFX への書庫操作は行えません。"},
        {0x8031, "ファイルが見つかりません｡"},
        {0x8033, "デバイスが見つかりません｡"},
        {0x9100, "trapped text"},
        {0x9101, "サポートされていません。"},
        {0x9102, "指定されたパスがありません。"},
        {0x9103, "指定されたファイルのパスが誤っています。"},
        {0x1234, "エラー。 1234"},
        {0xFFFF, "エラー。 FFFF"},
        {0x8004, "エラー。 8004"},
        {0x8034, "エラー。 8034"},
    };
    for (const auto& r : rows) EXPECT_EQ(resultText(r.code, "trapped text"), r.text) << std::hex << r.code;
}

TEST(ParvoltListing, FieldsAreFormattedAsTheListingShowsThem) {
    EXPECT_EQ(thousands(0), "");
    EXPECT_EQ(thousands(999), "999");
    EXPECT_EQ(thousands(1234), "1,234");
    EXPECT_EQ(thousands(1234567), "1,234,567");
    EXPECT_EQ(ratioText(456), "45.6%");
    EXPECT_EQ(ratioText(0), "0.0%");
    EXPECT_EQ(dosDateText(static_cast<std::uint16_t>((19 << 9) | (12 << 5) | 31), '/'), "99/12/31");
    EXPECT_EQ(dosDateText(static_cast<std::uint16_t>((25 << 9) | (3 << 5) | 7), '/'), "05/03/07");
    EXPECT_EQ(dosDateText(static_cast<std::uint16_t>((19 << 9) | (12 << 5) | 31), '-'), "99-12-31");
    EXPECT_EQ(dosTimeText(static_cast<std::uint16_t>((13 << 11) | (45 << 5) | 29)), "13:45:58");
    EXPECT_EQ(crcText(0x1A2B3C4D), "3C4D");
    EXPECT_EQ(crcText(15), "000F");
    EXPECT_EQ(fileNamePart("dir/sub/file.txt"), "file.txt");
    EXPECT_EQ(folderPart("dir/sub/file.txt"), "dir/sub/");
    EXPECT_EQ(folderPart("file.txt"), "");
    EXPECT_EQ(fileNamePart("a\\b:c"), "c");
}

class ParvoltOperations : public ::testing::Test {
protected:
    testing::TempDir dir;
    testing::TempDir tmp;
    testing::ErrorLogGuard log;
    std::shared_ptr<RecordingMessageSink> sink = std::make_shared<RecordingMessageSink>();
    std::string savedTmp;
    std::string cwd = std::filesystem::current_path().string();

    void SetUp() override {
        const char* t = std::getenv("TMPDIR");
        savedTmp = t ? t : "";
        ::setenv("TMPDIR", tmp.path().c_str(), 1);
        setMessageSink(sink);
    }
    void TearDown() override {
        if (savedTmp.empty())
            ::unsetenv("TMPDIR");
        else
            ::setenv("TMPDIR", savedTmp.c_str(), 1);
        setMessageSink(nullptr);
        // No operation changes the current directory or leaves a list file.
        EXPECT_EQ(std::filesystem::current_path().string(), cwd);
        EXPECT_TRUE(fs::list(tmp.path(), "*", fs::ListKind::All).empty());
    }
    void write(const std::string& rel, const std::string& bytes) {
        fs::makeFolders(fs::folderOf(dir / rel));
        fs::writeFileAtomic(dir / rel, bytes);
    }
    static void allFalse(Parvolt& c) {
        c.setswUnderFolder(vbFalse);
        c.setswFolderName(vbFalse);
        c.setswCheckTimeStamp(vbFalse);
        c.setswAttribute(vbFalse);
        c.setswDiskSpace(vbFalse);
        c.setswDialog(vbFalse);
        c.setswGaugeProgress(vbFalse);
    }
};

TEST_F(ParvoltOperations, PackCommandLineAndItsArchive) {
    write("T/a.xml", "<a/>");
    write("T/sub/b.xml", "<b/>");
    Parvolt c;
    allFalse(c);
    c.setArcMode(ZIP_);
    std::string base = dir / "T";
    c.setpBaseFolder(base);
    c.setpArcFileName(base + "/r.zip");
    c.pAddFile("a.xml");
    c.Pack();
    ASSERT_EQ(c.Error(), 0) << c.Errorstring();
    const std::string line = " -j -q \"" + base + "/r.zip\" \"" + base + "/\" \"@" + tmp.path() + "~TR.tmp." +
                             std::to_string(::getpid()) + ".%%%%%%\"";
    EXPECT_TRUE(testing::fitsShape(c.lastCommandLine(), line)) << c.lastCommandLine();
    EXPECT_EQ(testing::runProgram("/usr/bin/unzip", {"-t", base + "/r.zip"}).exitCode, 0);

    // An update: "-u " in front once the archive is there; a folder entry
    // of the list packs the folder's files.
    c.setswCheckTimeStamp(vbTrue);
    c.setswFolderName(vbTrue);
    c.pFilesClear();
    c.pAddFile("sub");
    c.Pack();
    ASSERT_EQ(c.Error(), 0) << c.Errorstring();
    EXPECT_EQ(c.lastCommandLine().rfind("-u  -D -q \"", 0), 0u) << c.lastCommandLine();
    testing::ProgramRun names = testing::runProgram("/usr/bin/unzip", {"-Z1", base + "/r.zip"});
    EXPECT_EQ(testing::outputLines(names.output), (std::vector<std::string>{"a.xml", "sub/b.xml"}));

    // Every file of the base folder, with a relative archive name that
    // lands in the base folder.
    Parvolt all;
    all.setArcMode(TAR_);
    all.setpBaseFolder(base);
    all.setpArcFileName("all.tgz");
    all.Pack();
    ASSERT_EQ(all.Error(), 0) << all.Errorstring();
    EXPECT_EQ(all.lastCommandLine(), "-c  -AH -f \"all.tgz\" \"" + base + "/\" *.*");
    testing::ProgramRun listed = testing::runProgram("/usr/bin/tar", {"-tzf", base + "/all.tgz"});
    EXPECT_EQ(listed.exitCode, 0);
    EXPECT_NE(listed.output.find("sub/b.xml"), std::string::npos);
}

TEST_F(ParvoltOperations, RefusalsOfEachOperation) {
    write("T/a.xml", "a");
    write("T/b.xml", "b");
    write("plain.txt", "not an archive");
    Parvolt c;
    c.setArcMode(ZIP_);
    c.setpBaseFolder(dir / "missing");
    c.Pack();
    EXPECT_EQ(c.Error(), 0x9102);
    EXPECT_EQ(c.Errorstring(), "指定されたパスがありません。");
    c.setpBaseFolder(dir / "T");
    c.setpArcFileName(dir / "nofolder/r.zip");
    c.Pack();
    EXPECT_EQ(c.Error(), 0x9103);
    EXPECT_EQ(c.Errorstring(), "指定されたファイルのパスが誤っています。");

    c.setArcMode(ISH_);
    c.setpArcFileName(dir / "T");
    c.pAddFile("a.xml");
    c.pAddFile("b.xml");
    c.Pack();
    EXPECT_EQ(c.Error(), 0x8011);
    EXPECT_EQ(c.Errorstring(), "Too Many Files");

    c.setArcMode(ZIP_);
    c.seteArcFileName(dir / "missing.zip");
    c.seteFolder(dir / "T");
    c.Extract();
    EXPECT_EQ(c.Error(), 0x8031);
    EXPECT_EQ(c.Errorstring(), "ファイルが見つかりません｡");
    c.seteArcFileName(dir / "plain.txt");
    c.Extract();
    EXPECT_EQ(c.Error(), 0x800D);
    EXPECT_EQ(c.Errorstring(), "ファイルを開けませんでした。");

    // A cabinet into a folder that is not there; the list file goes too.
    write("src/x.txt", "x");
    ASSERT_EQ(testing::runProgram("/usr/bin/gcab", {"-c", dir / "c.cab", "x.txt"}, dir / "src").exitCode, 0);
    c.setArcMode(CAB_);
    c.seteArcFileName(dir / "c.cab");
    c.seteFolder(dir / "nowhere");
    c.eAddFile("x.txt");
    c.Extract();
    EXPECT_EQ(c.Error(), 0x9102);

    c.setArcMode(TAR_);
    c.setsfxArcFileName(dir / "c.cab");
    c.SFX();
    EXPECT_EQ(c.Error(), 0x800D);  // the archive is checked before the kind
    write("t/x.txt", "x");
    ASSERT_EQ(testing::runProgram("/usr/bin/tar", {"-cf", dir / "t/t.tar", "-C", dir / "t", "x.txt"}).exitCode, 0);
    c.setsfxArcFileName(dir / "t/t.tar");
    c.SFX();
    EXPECT_EQ(c.Error(), 0x9101);
    EXPECT_EQ(c.Errorstring(), "サポートされていません。");

    c.setArcMode(ZIP_);
    c.setoArcFileName(dir / "t/t.tar");
    c.OpenFile();
    EXPECT_EQ(c.Error(), 0x800D);
    EXPECT_EQ(c.oFilesCount(), 0);
    c.setoArcFileName(dir / "none.zip");
    c.OpenFile();
    EXPECT_EQ(c.Error(), 0x8031);
}

TEST_F(ParvoltOperations, ATrappedErrorIsShownThroughTheSinkAndBecomesTheText) {
    write("T/a.xml", "a");
    Parvolt c;
    c.setArcMode(ZIP_);
    c.setpBaseFolder(dir / "T");
    c.setpArcFileName("r.zip");
    c.setswCommand("-9z");  // no archiver here knows it
    c.Pack();
    EXPECT_EQ(c.Error(), 0x9100);
    EXPECT_NE(c.Errorstring().find("-9z"), std::string::npos);
    EXPECT_EQ(c.Errorstring(), Parvolt::lastErrorDescription());
    ASSERT_EQ(sink->shown().size(), 1u);
    EXPECT_EQ(sink->shown()[0].prompt, c.Errorstring());
    EXPECT_EQ(sink->shown()[0].style, msgbox::OKOnly);
    EXPECT_FALSE(fs::fileExists(dir / "T/r.zip"));

    // A member the archive lacks fails the extraction.
    c.setswCommand("");
    c.pAddFile("a.xml");
    c.Pack();
    ASSERT_EQ(c.Error(), 0);
    c.seteArcFileName(dir / "T/r.zip");
    c.seteFolder(dir / "out");
    c.eAddFile("./A.XML");
    c.eAddFile("b.xml");
    c.Extract();
    EXPECT_EQ(c.Error(), 0x9100);
    EXPECT_NE(c.Errorstring().find("b.xml"), std::string::npos);
}

TEST_F(ParvoltOperations, ListingOfATarballSkipsFolderEntries) {
    write("src/dir/sub/file.txt", std::string(1234, 'x'));
    write("src/top.txt", "");
    ASSERT_EQ(testing::runProgram("/usr/bin/tar", {"-czf", dir / "l.tgz", "-C", dir / "src", "dir", "top.txt"}).exitCode,
              0);
    Parvolt c;
    c.setArcMode(TAR_);
    c.setoArcFileName(dir / "l.tgz");
    c.OpenFile();
    ASSERT_EQ(c.Error(), 0) << c.Errorstring();
    ASSERT_EQ(c.oFilesCount(), 2);
    EXPECT_EQ(c.oFilesList(0), "file.txt");
    EXPECT_EQ(c.oPath(0), "dir/sub/");
    EXPECT_EQ(c.oOrgSize(0), "1,234");
    EXPECT_EQ(c.oFilesList(1), "top.txt");
    EXPECT_EQ(c.oPath(1), "");
    EXPECT_EQ(c.oOrgSize(1), "");
    EXPECT_EQ(c.oDate(0).size(), 8u);
    EXPECT_EQ(c.oDate(0)[2], '/');
    EXPECT_EQ(c.oTime(0).size(), 8u);

    // Every control of the thread sees the latest listing.
    Parvolt other;
    EXPECT_EQ(other.oFilesList(1), "top.txt");

    // A new control puts the thread back in LHA_.
    EXPECT_EQ(Parvolt::currentArcMode(), LHA_);
    c.setArcMode(TAR_);

    // An empty archive lists nothing and leaves one empty record.
    ASSERT_EQ(testing::runProgram("/usr/bin/tar", {"-czf", dir / "e.tgz", "-T", "/dev/null"}).exitCode, 0);
    c.setoArcFileName(dir / "e.tgz");
    c.OpenFile();
    EXPECT_EQ(c.Error(), 0);
    EXPECT_EQ(c.oFilesCount(), 0);
    EXPECT_EQ(c.oFilesList(0), "");
    EXPECT_EQ(errorOf([&] { c.oFilesList(1); }), 9);
}

}  // namespace
}  // namespace fg
