#include "common/brevik/folder_information.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/testing/error_of.h"
#include "platform/testing/temp_home.h"
#include "platform/text.h"
#include "platform/xml.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace fg {
namespace {

using testing::TempHome;

const std::string kStandard91 = "オブジェクト変数または With ブロック変数が設定されていません。";

using testing::Raised;
using testing::raisedBy;

void writeFolders(const TempHome& home, const std::string& entries) {
    (void)fs::removeFile(home / "folder.xml");
    home.write("folder.xml",
               text::toCp932("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<Folders>" + entries + "</Folders>\n"));
}

std::string entry(const std::string& kind, const std::string& value) {
    return "<Folder class=\"" + kind + "\">" + value + "</Folder>";
}

TEST(FolderInformation, InstalledFoldersLieBelowTheProgramFolder) {
    TempHome home;  // the demo folder.xml
    FolderInformation f;
    const std::string h = home.path();
    const std::vector<std::pair<std::function<std::string()>, std::string>> cases = {
        {[&] { return f.Html(); }, h + "client/html/"},
        {[&] { return f.Arc(); }, h + "client/edidata/client/arc/"},
        {[&] { return f.SendData(); }, h + "client/edidata/client/send/"},
        {[&] { return f.Amount(); }, h + "client/edidata/client/amount/"},
        {[&] { return f.Options(); }, h + "client/option/"},
        {[&] { return f.XmlXsl(); }, h + "client/xmlxsl/"},
        {[&] { return f.RcXml(); }, h + "client/rcxml/"},
        {[&] { return f.Temp(); }, h + "temp/"},
        {[&] { return f.Download(); }, h + "client/download/"},
        {[&] { return f.Upload(); }, h + "client/upload/"},
        {[&] { return f.ErrorFile(); }, h + "client/errorfile/"},
        {[&] { return f.TempCollaboration(); }, h + "temp/collab/"},
        {[&] { return f.Dtd(); }, h + "client/dtd/"},
        {[&] { return f.SendLog(); }, h + "client/sendlog/"},
        {[&] { return f.CommLog(); }, h + "log/"},
    };
    for (const auto& [get, expected] : cases) EXPECT_EQ(get(), expected);
}

TEST(FolderInformation, FolderRules) {
    TempHome home(false);
    const std::string h = home.path();
    struct Case {
        std::string entries;
        std::function<std::string(const FolderInformation&)> get;
        std::string expected;
    };
    const std::vector<Case> cases = {
        // One "/" in front and one at the end, however the value is written.
        {entry("temp", "temp"), [](auto& f) { return f.Temp(); }, h + "temp/"},
        {entry("temp", "/temp"), [](auto& f) { return f.Temp(); }, h + "temp/"},
        {entry("temp", "/temp/"), [](auto& f) { return f.Temp(); }, h + "temp/"},
        {entry("temp", "//temp//"), [](auto& f) { return f.Temp(); }, h + "temp/"},
        {entry("temp", "/a/b.c/d"), [](auto& f) { return f.Temp(); }, h + "a/b.c/d/"},
        {entry("temp", ""), [](auto& f) { return f.Temp(); }, h},
        {entry("log", "/ログ/受信"), [](auto& f) { return f.CommLog(); }, h + "ログ/受信/"},
        // Below the EDI data folder, with or without a "/" in front.
        {entry("edidata", "/edi") + entry("arc", "/arc"), [](auto& f) { return f.Arc(); }, h + "edi/arc/"},
        {entry("edidata", "edi") + entry("arc", "arc"), [](auto& f) { return f.Arc(); }, h + "edi/arc/"},
        {entry("edidata", "/edi/") + entry("send", "/out/box/"), [](auto& f) { return f.SendData(); },
         h + "edi/out/box/"},
        // Under the program folder as written, with the separator a value
        // written without one would lose.
        {entry("html", "/client/html/"), [](auto& f) { return f.Html(); }, h + "client/html/"},
        {entry("html", "html"), [](auto& f) { return f.Html(); }, h + "html/"},
        {entry("option", "opt"), [](auto& f) { return f.Options(); }, h + "opt/"},
    };
    for (const auto& c : cases) {
        writeFolders(home, c.entries);
        FolderInformation f;
        EXPECT_EQ(c.get(f), c.expected) << c.entries;
    }
}

TEST(FolderInformation, MissingEntriesAndFiles) {
    TempHome home(false);
    writeFolders(home, entry("temp", "/temp/"));
    {
        FolderInformation f;
        // The communication log reports every failure as the client error,
        // with the standard text of what went wrong.
        Raised r = raisedBy([&] { f.CommLog(); });
        EXPECT_EQ(r.number, errnum::ClientClassError);
        EXPECT_EQ(r.description, kStandard91);
        // Every other folder lets the failure through as it is.
        r = raisedBy([&] { f.Download(); });
        EXPECT_EQ(r.number, errnum::ObjectNotSet);
        r = raisedBy([&] { f.Arc(); });  // no "arc", no "edidata"
        EXPECT_EQ(r.number, errnum::ObjectNotSet);
        EXPECT_EQ(raisedBy([&] { f.setUpload("/x/"); }).number, errnum::ObjectNotSet);
        EXPECT_EQ(f.Temp(), home / "temp/");
    }

    for (const std::string& content : {std::string(), std::string("<Folders><Folder class=\"log\">")}) {
        (void)fs::removeFile(home / "folder.xml");
        if (!content.empty()) home.write("folder.xml", content);
        FolderInformation f;  // creation reads nothing yet
        Raised r = raisedBy([&] { f.Temp(); });
        EXPECT_EQ(r.number, errnum::ClientClassError);
        EXPECT_NE(r.description.find("Load Error."), std::string::npos) << r.description;
        r = raisedBy([&] { f.CommLog(); });
        EXPECT_EQ(r.number, errnum::ClientClassError);
        EXPECT_EQ(r.description, Error::standardText(errnum::ClientClassError));
        // The file arriving later is read by the next member that needs it.
        home.write("folder.xml", "<Folders>" + entry("temp", "t") + "</Folders>");
        EXPECT_EQ(f.Temp(), home / "t/");
    }
}

TEST(FolderInformation, FolderFileIsReadOncePerObject) {
    TempHome home(false);
    writeFolders(home, entry("temp", "/one/"));
    FolderInformation first;
    EXPECT_EQ(first.Temp(), home / "one/");
    writeFolders(home, entry("temp", "/two/"));
    EXPECT_EQ(first.Temp(), home / "one/");
    EXPECT_EQ(FolderInformation().Temp(), home / "two/");
}

TEST(FolderInformation, DownloadAndUploadAreWrittenBackOnSave) {
    TempHome home;
    xml::Document installed;
    ASSERT_TRUE(installed.load(home / "folder.xml"));
    const std::size_t entries = installed.selectNodes("Folders/Folder").size();
    FolderInformation f;
    f.setDownload("/受信/dl");
    f.setUpload("up");
    EXPECT_EQ(f.Download(), home / "受信/dl/");
    EXPECT_EQ(f.Upload(), home / "up/");
    EXPECT_EQ(FolderInformation().Download(), home / "client/download/");  // not yet saved

    ASSERT_TRUE(f.save());
    FolderInformation other;
    EXPECT_EQ(other.Download(), home / "受信/dl/");
    EXPECT_EQ(other.Upload(), home / "up/");
    EXPECT_EQ(other.Temp(), home / "temp/");

    // The saved file keeps its encoding and every other entry.
    std::string bytes = home.read("folder.xml");
    EXPECT_NE(bytes.find("encoding=\"Shift_JIS\""), std::string::npos);
    EXPECT_NE(bytes.find(text::toCp932("/受信/dl")), std::string::npos);
    xml::Document doc;
    ASSERT_TRUE(doc.load(home / "folder.xml"));
    EXPECT_EQ(doc.selectNodes("Folders/Folder").size(), entries);
}

}  // namespace
}  // namespace fg
