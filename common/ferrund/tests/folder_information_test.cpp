#include "common/ferrund/folder_information_object.h"
#include "common/ferrund/folder_information_xml.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/testing/error_of.h"
#include "platform/testing/temp_home.h"
#include "platform/xml.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace fg {
namespace {

using testing::errorOf;
using testing::folderEntries;
using testing::TempDir;

const std::string kFolders =
    "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n"
    "<Folders>"
    "<Folder class=\"temp\">/temp/</Folder>"
    "<Folder class=\"upload\">/client/upload/</Folder>"
    "<Folder class=\"temp\">/second/</Folder>"
    "<Folder class=\"データ\">/データ/受信/</Folder>"
    "<Folder class=\"empty\"></Folder>"
    "<Folder class=\"it's\">/quote/</Folder>"
    "</Folders>\n";

std::string writeFolders(const TempDir& dir, const std::string& content = kFolders) {
    std::string path = dir / "folder.xml";
    fs::writeFileAtomic(path, text::toCp932(content));
    return path;
}

TEST(FolderInformationXML, TagNames) {
    FolderInformationXML tags;
    EXPECT_EQ(tags.Tag(FOLDER_ROOT_TAG), "Folders");
    EXPECT_EQ(tags.Tag(FOLDER_FOLDER_TAG), "Folder");
    EXPECT_EQ(tags.Tag(static_cast<FOLDER_TAG_TYPE>(2)), "");
    EXPECT_EQ(tags.Tag(static_cast<FOLDER_TAG_TYPE>(-1)), "");
}

TEST(FolderInformationObject, LooksUpKindsExactlyAndFirstEntryWins) {
    TempDir dir;
    FolderInformationObject info;
    ASSERT_TRUE(info.load(writeFolders(dir)));
    const std::map<std::string, std::string> found = {
        {"temp", "/temp/"},          // the first of two entries
        {"upload", "/client/upload/"},
        {"データ", "/データ/受信/"},  // read through code page 932
        {"empty", ""},
        {"it's", "/quote/"},         // a quote in the kind is an ordinary character
    };
    for (const auto& [kind, value] : found) EXPECT_EQ(info.getData(kind), value) << kind;

    for (std::string kind : {"Temp", "TEMP", "", "temp ", "x']|//*['", "\"", "it\"s'"}) {
        try {
            info.getData(kind);
            ADD_FAILURE() << "no error for kind " << kind;
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), errnum::ObjectNotSet) << kind;
            EXPECT_EQ(e.description(), Error::standardText(errnum::ObjectNotSet));
        }
        EXPECT_EQ(errorOf([&] { info.setData(kind, "/x/"); }), errnum::ObjectNotSet) << kind;
    }
}

TEST(FolderInformationObject, SetDataChangesOnlyTheFirstEntryInMemory) {
    TempDir dir;
    std::string path = writeFolders(dir);
    std::string before = fs::readFile(path);
    FolderInformationObject info;
    ASSERT_TRUE(info.load(path));
    info.setData("temp", "/new/<&>/");
    EXPECT_EQ(info.getData("temp"), "/new/<&>/");
    EXPECT_EQ(fs::readFile(path), before);  // nothing reaches the file before save

    ASSERT_TRUE(info.save(path));
    auto after = folderEntries(path);
    ASSERT_EQ(after.size(), 6u);
    EXPECT_EQ(after[0], (std::pair<std::string, std::string>{"temp", "/new/<&>/"}));
    EXPECT_EQ(after[2], (std::pair<std::string, std::string>{"temp", "/second/"}));
    EXPECT_EQ(after[3], (std::pair<std::string, std::string>{"データ", "/データ/受信/"}));
    // The declaration and its encoding stay as they were.
    std::string bytes = fs::readFile(path);
    EXPECT_EQ(bytes.rfind("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>", 0), 0u);
    EXPECT_NE(bytes.find(text::toCp932("受信")), std::string::npos);
}

TEST(FolderInformationObject, SaveWithoutChangesKeepsEveryEntry) {
    TempDir dir;
    std::string path = writeFolders(dir);
    auto before = folderEntries(path);
    FolderInformationObject info;
    ASSERT_TRUE(info.load(path));
    ASSERT_TRUE(info.save(dir / "copy.xml"));
    EXPECT_EQ(folderEntries(dir / "copy.xml"), before);
}

TEST(FolderInformationObject, LoadFailuresAnswerFalseAndLeaveNothingBehind) {
    TempDir dir;
    FolderInformationObject info;
    ASSERT_TRUE(info.load(writeFolders(dir)));
    fs::writeFileAtomic(dir / "broken.xml", "<Folders><Folder class=\"temp\">/t/</Folders>");
    for (std::string bad : {dir / "missing.xml", dir / "broken.xml", dir.path(), std::string()}) {
        EXPECT_FALSE(info.load(bad)) << bad;
        // The previous file is gone from the object.
        EXPECT_EQ(errorOf([&] { info.getData("temp"); }), errnum::ObjectNotSet) << bad;
    }
}

TEST(FolderInformationObject, LoadMatchesTheFileNameWithoutCase) {
    TempDir dir;
    writeFolders(dir);
    FolderInformationObject info;
    ASSERT_TRUE(info.load(dir / "Folder.XML"));
    EXPECT_EQ(info.getData("upload"), "/client/upload/");
}

TEST(FolderInformationObject, SaveNeverRaisesAndReportsFailure) {
    TempDir dir;
    std::string path = writeFolders(dir);
    FolderInformationObject info;
    // Nothing loaded: nothing to write, and the installed file must survive.
    EXPECT_FALSE(info.save(path));
    EXPECT_EQ(folderEntries(path).size(), 6u);

    ASSERT_TRUE(info.load(path));
    EXPECT_FALSE(info.save(dir / "no/such/folder/folder.xml"));
    EXPECT_FALSE(info.save(""));
    EXPECT_FALSE(info.save(dir.path()));  // a folder, not a file
    if (::geteuid() != 0) {
        std::string ro = dir / "ro/";
        fs::makeFolders(ro);
        ::chmod(ro.c_str(), 0555);
        EXPECT_FALSE(info.save(ro + "folder.xml"));
        ::chmod(ro.c_str(), 0755);
    }
}

}  // namespace
}  // namespace fg
