#include "common/vantrel/edi_folder_information_object.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/testing/error_of.h"
#include "platform/testing/temp_home.h"
#include "platform/text.h"
#include "platform/xml.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace fg {
namespace {

using testing::errorOf;
using testing::folderEntries;
using testing::Raised;
using testing::raisedBy;
using testing::TempHome;

const std::string kFolders =
    "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n"
    "<Folders>"
    "<Folder class=\"temp\">/temp/</Folder>"
    "<Folder class=\"edi\">/EDI/Temp</Folder>"
    "<Folder class=\"empty\"></Folder>"
    "<Folder class=\"download\">/client/download/</Folder>"
    "<Folder class=\"upload\">/client/upload/</Folder>"
    "<Folder class=\"upload\">/shadowed/</Folder>"
    "<Folder class=\"受信\">/データ/受信</Folder>"
    "</Folders>\n";

void install(const TempHome& home, const std::string& content = kFolders, const std::string& name = "folder.xml") {
    (void)fs::removeFile(home / "folder.xml");
    home.write(name, text::toCp932(content));
}

TEST(EdiFolderInformationObject, FoldersAlwaysEndInASlash) {
    TempHome home;
    install(home);
    EdiFolderInformationObject folders;
    const std::pair<const char*, const char*> cases[] = {
        {"temp", "/temp/"},  {"edi", "/EDI/Temp/"},   {"empty", "/"},
        {"upload", "/client/upload/"},  // the first of two entries
        {"受信", "/データ/受信/"},
    };
    for (const auto& [kind, folder] : cases) EXPECT_EQ(folders.getData(kind), folder) << kind;

    for (std::string kind : {"Temp", "missing", "", "x' or '1'='1"}) {
        EXPECT_EQ(errorOf([&] { folders.getData(kind); }), errnum::ObjectNotSet) << kind;
        EXPECT_EQ(errorOf([&] { folders.setData(kind, "/x/"); }), errnum::ObjectNotSet) << kind;
    }
}

TEST(EdiFolderInformationObject, ReadsTheDemoInstallation) {
    TempHome home;
    EdiFolderInformationObject folders;
    EXPECT_EQ(folders.getData("temp"), "/temp/");
    EXPECT_EQ(folders.getData("option"), "/client/option/");
    EXPECT_EQ(folders.getData("IndexInfo"), "/IndexInfo/");
}

TEST(EdiFolderInformationObject, CreationFailsWithTheLoadError) {
    const std::pair<const char*, const char*> cases[] = {
        {nullptr, "no file"},
        {"<Folders><Folder class=\"temp\">/temp/</Folders>", "malformed"},
        {"", "empty file"},
    };
    for (const auto& [content, what] : cases) {
        TempHome home;
        (void)fs::removeFile(home / "folder.xml");
        if (content) home.write("folder.xml", content);
        Raised raised = raisedBy([] { EdiFolderInformationObject folders; });
        EXPECT_EQ(raised.number, errnum::ClientClassError) << what;
        std::string folder = home.path().substr(0, home.path().size() - 1);
        EXPECT_EQ(raised.description, "Load Error." + folder + "/folder.xml") << what;
    }
    EXPECT_EQ(errnum::ClientClassError, static_cast<long>(static_cast<int32_t>(0x80040201u)));
}

TEST(EdiFolderInformationObject, SetDataReachesTheFileOnlyThroughSave) {
    TempHome home;
    install(home);
    std::string path = home / "folder.xml";
    auto before = folderEntries(path);
    std::string bytesBefore = home.read("folder.xml");

    {
        EdiFolderInformationObject folders;
        folders.setData("upload", "/client/新しい/");
        EXPECT_EQ(folders.getData("upload"), "/client/新しい/");
    }  // released without save
    EXPECT_EQ(home.read("folder.xml"), bytesBefore);

    EdiFolderInformationObject folders;
    folders.setData("upload", "/client/新しい/");
    ASSERT_TRUE(folders.save());
    auto after = folderEntries(path);
    auto expected = before;
    expected[4].second = "/client/新しい/";  // only the first "upload" entry
    EXPECT_EQ(after, expected);
    std::string bytes = home.read("folder.xml");
    EXPECT_EQ(bytes.rfind("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>", 0), 0u);
    EXPECT_NE(bytes.find(text::toCp932("新しい")), std::string::npos);
    EXPECT_EQ(EdiFolderInformationObject().getData("upload"), "/client/新しい/");
}

TEST(EdiFolderInformationObject, AnyCaseOfTheFileNameIsTheSameFile) {
    TempHome home;
    install(home, kFolders, "Folder.xml");
    EdiFolderInformationObject folders;
    EXPECT_EQ(folders.getData("temp"), "/temp/");
    folders.setData("download", "/dl/");
    ASSERT_TRUE(folders.save());
    // Written back under its own spelling, not beside it.
    EXPECT_EQ(fs::list(home.path(), "folder.xml"), std::vector<std::string>{"Folder.xml"});
    EXPECT_EQ(EdiFolderInformationObject().getData("download"), "/dl/");
}

TEST(EdiFolderInformationObject, WritersOfDifferentEntriesKeepEachOthersChanges) {
    TempHome home;
    install(home);
    EdiFolderInformationObject first;
    EdiFolderInformationObject second;  // loaded before the first one saves
    first.setData("download", "/first/");
    second.setData("upload", "/second/");
    ASSERT_TRUE(first.save());
    ASSERT_TRUE(second.save());
    EdiFolderInformationObject reread;
    EXPECT_EQ(reread.getData("download"), "/first/");
    EXPECT_EQ(reread.getData("upload"), "/second/");
    EXPECT_EQ(second.getData("download"), "/first/");  // the saved file is what the object now holds
    EXPECT_EQ(folderEntries(home / "folder.xml").size(), 7u);
}

TEST(EdiFolderInformationObject, SaveReportsFailureWithoutRaising) {
    TempHome home;
    install(home);
    EdiFolderInformationObject folders;
    folders.setData("upload", "/u/");

    // folder.xml replaced by a folder: nothing can be written there.
    (void)fs::removeFile(home / "folder.xml");
    fs::makeFolders(home / "folder.xml");
    EXPECT_FALSE(folders.save());
    fs::removeTree(home / "folder.xml");

    // The file gone while the object lives: it is written again from memory.
    EXPECT_TRUE(folders.save());
    EXPECT_EQ(EdiFolderInformationObject().getData("upload"), "/u/");

    // The whole program folder gone.
    fs::removeTree(home.path());
    EXPECT_FALSE(folders.save());
}

}  // namespace
}  // namespace fg
