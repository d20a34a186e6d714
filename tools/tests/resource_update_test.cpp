// The resource update tool's form through its public members, on a home of
// its own, and its command line as a program.
#include "tools/set_up_form.h"

#include "platform/file_lock.h"
#include "platform/files.h"
#include "platform/message_sink.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_home.h"
#include "platform/xml.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace fg {
namespace {

using Names = std::vector<std::string>;
using Outcome = FrmSetUp::Outcome;

const std::string kFolders =
    "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><Folders>"
    "<Folder class=\"xsl\">/Xsl/</Folder><Folder class=\"setup\">/data/</Folder>"
    "<Folder class=\"layout\">ExcelLayout</Folder><Folder class=\"xslToo\">/Xsl</Folder></Folders>";
const std::string kResources =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Resources>"
    "<Resource name=\"スタイルシート\">xsl</Resource>"
    "<Resource name=\"クライアント認証キー\">setup</Resource>"
    "<Resource kind=\"レイアウト\">layout</Resource>"
    "<Resource name=\"同じフォルダ\">xslToo</Resource>"
    "<Resource name=\"プログラムフォルダ\"></Resource>"
    "<Resource name=\"未登録\">nowhere</Resource></Resources>";
enum Type { Xsl, Key, Layout, XslToo, Home, Unknown };

std::string keyFile(const std::string& url) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Key-information><CertificationKey>KEY-42</CertificationKey>"
           "<Edi-Server-Code>EDI9</Edi-Server-Code><Edi-Server-Name>本番サーバ</Edi-Server-Name>"
           "<Edi-Server-URL>" + url + "</Edi-Server-URL></Key-information>";
}

class RecordingView : public SetUpView {
public:
    void setDataTypes(const std::vector<std::string>& t, int) override { types = t; }
    void setFileNames(const std::vector<std::string>& n) override { names = n; }
    void setButtons(const SetUpButtons& b) override { buttons = b; }
    void endProgram(bool f) override {
        ended = true;
        failed = f;
    }
    Names types, names;
    SetUpButtons buttons;
    bool ended = false, failed = false;
};

class ResourceUpdate : public ::testing::Test {
protected:
    ResourceUpdate() {
        setMessageSink(messages);
        home.write("folder.xml", kFolders);
        home.write("resource.xml", kResources);
        home.write("data/SetUpInformation.xml", fs::readFile(testing::sourceDir() + "demo/home/data/SetUpInformation.xml"));
        fs::makeFolders(home / "Xsl");
        fs::makeFolders(home / "from a");
        fs::makeFolders(home / "from b");
    }
    ~ResourceUpdate() override { setMessageSink(nullptr); }

    Names shown() const {
        Names out;
        for (const auto& m : messages->shown()) out.push_back(m.prompt);
        return out;
    }
    std::string file(const std::string& rel, const std::string& bytes) {
        home.write(rel, bytes);
        return home / rel;
    }
    // The form loaded with the data type selected and these files chosen.
    void choose(Type type, const Names& paths) {
        ASSERT_EQ(form.Form_Load(), Outcome::Done);
        ASSERT_EQ(form.cmbDataType_Click(type), Outcome::Done);
        ASSERT_EQ(form.cmdChoice_Chosen(paths), Outcome::Done);
    }

    testing::TempHome home{false};
    std::shared_ptr<RecordingMessageSink> messages = std::make_shared<RecordingMessageSink>();
    RecordingView view;
    FrmSetUp form{view};
};

TEST_F(ResourceUpdate, DataTypesComeFromTheResourceListAndLeadToTheirFolders) {
    ASSERT_EQ(form.Form_Load(), Outcome::Done);
    EXPECT_EQ(view.types, (Names{"スタイルシート", "クライアント認証キー", "レイアウト", "同じフォルダ", "プログラムフォルダ", "未登録"}));
    EXPECT_EQ(form.selectedDataType(), 0);
    EXPECT_EQ(view.buttons, SetUpButtons{});
    struct Case {
        Type type;
        std::string folder;
    } cases[] = {
        {Xsl, home / "Xsl/"}, {Key, home / "data/"}, {Layout, home / "ExcelLayout/"},
        {XslToo, home / "Xsl/"}, {Home, home.path()},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(form.cmbDataType_Click(c.type), Outcome::Done);
        EXPECT_EQ(form.UpdatePath(), c.folder) << c.type;
    }
    EXPECT_EQ(form.fileFilter(), "すべてのファイル (*.*)|*.*|");
    form.cmbDataType_Click(Key);
    EXPECT_EQ(form.fileFilter(), "クライアント認証キー (*.xml)|*.xml|");
    EXPECT_TRUE(shown().empty());

    // A folder class that folder.xml does not know ends the program.
    EXPECT_EQ(form.cmbDataType_Click(Unknown), Outcome::Ended);
    EXPECT_EQ(shown(), Names{"予期しないエラーが発生しました。   ERROR_CODE:91"});
    EXPECT_TRUE(view.ended && view.failed);
}

TEST_F(ResourceUpdate, WithoutItsFilesTheToolFallsBackOrEnds) {
    (void)fs::removeFile(home / "resource.xml");
    ASSERT_EQ(form.Form_Load(), Outcome::Done);
    EXPECT_EQ(form.dataTypes(), Names{""});
    EXPECT_EQ(form.UpdatePath(), home.path());

    home.write("resource.xml", kResources);
    (void)fs::removeFile(home / "folder.xml");
    RecordingView other;
    FrmSetUp again(other);
    EXPECT_EQ(again.Form_Load(), Outcome::Ended);
    EXPECT_EQ(shown(), Names{"予期しないエラーが発生しました。   ERROR_CODE:-2147220991"});
    EXPECT_TRUE(other.failed);
}

TEST_F(ResourceUpdate, TheChoiceListsNamesAndDeselectsByName) {
    std::string a = home / "from a/x.txt", b = home / "from b/x.txt", y = home / "from a/my file.txt";
    choose(Xsl, {a});
    EXPECT_EQ(form.buttons(), (SetUpButtons{true, true, true, false}));
    form.cmdChoice_Chosen({b, y});
    form.cmdChoice_Chosen({});  // a cancelled dialog changes nothing
    EXPECT_EQ(form.chosenFiles(), (Names{a, b, y}));
    EXPECT_EQ(view.names, (Names{"x.txt", "x.txt", "my file.txt"}));

    EXPECT_EQ(form.cmdCancel_Click({}), Outcome::Refused);
    EXPECT_EQ(shown(), Names{"ファイルが選択されていません。"});
    // Either line named x.txt takes both away.
    EXPECT_EQ(form.cmdCancel_Click({1}), Outcome::Done);
    EXPECT_EQ(form.chosenFiles(), Names{y});
    EXPECT_EQ(form.cmdCancel_Click({0}), Outcome::Done);
    EXPECT_EQ(form.chosenFiles(), Names{""});
    EXPECT_EQ(view.names, Names{});
    EXPECT_EQ(view.buttons, SetUpButtons{});

    // A data type with the same folder keeps the choice; another drops it.
    form.cmdChoice_Chosen({a, b});
    form.cmbDataType_Click(XslToo);
    EXPECT_EQ(form.lineCount(), 2u);
    form.cmbDataType_Click(Key);
    EXPECT_EQ(form.lineCount(), 0u);

    // The key is registered from exactly one file; two key files are copied.
    struct Case {
        Names files;
        SetUpButtons buttons;
    } cases[] = {
        {{}, {false, false, false, false}},
        {{a}, {true, true, false, true}},
        {{a, a}, {true, true, true, false}},
    };
    for (const Case& c : cases) {
        form.cmdChoice_Chosen(c.files);
        EXPECT_EQ(form.buttons(), c.buttons) << c.files.size();
        EXPECT_EQ(view.buttons, c.buttons);
        form.cmdAllCancel_Click();
    }
}

TEST_F(ResourceUpdate, RegistrationCopiesInOrderAndReplacesInstalledFiles) {
    std::string installed = file("Xsl/x.txt", "installed");
    ASSERT_EQ(::chmod(installed.c_str(), 0444), 0);
    Names chosen = {file("from a/x.txt", "from a"), file("from b/x.txt", "from b"), file("from a/new file.txt", "new"),
                    file("from a/new file.txt", "new")};
    choose(Xsl, chosen);
    EXPECT_EQ(form.cmdUpdate_Click(), Outcome::Done);
    EXPECT_EQ(shown(), Names{"処理が終了しました。"});
    EXPECT_EQ(home.read("Xsl/x.txt"), "from b");  // the last chosen wins
    EXPECT_EQ(home.read("Xsl/new file.txt"), "new");
    EXPECT_EQ(fs::list(home / "Xsl"), (Names{"new file.txt", "x.txt"}));  // no temporaries left
    EXPECT_EQ(form.chosenFiles(), chosen);                               // the list stays
    EXPECT_EQ(home.read("from a/x.txt"), "from a");
}

TEST_F(ResourceUpdate, AFileAlreadyInTheTargetFolderIsLeftAlone) {
    std::string installed = file("Xsl/x.txt", "installed");
    ASSERT_EQ(::symlink((home / "Xsl").c_str(), (home / "link").c_str()), 0);
    struct stat before {};
    ::stat(installed.c_str(), &before);
    choose(Xsl, {installed, home / "xsl/x.txt", home / "link/x.txt", home / "Xsl/../Xsl/x.txt"});
    EXPECT_EQ(form.cmdUpdate_Click(), Outcome::Done);
    struct stat after {};
    ::stat(installed.c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);  // never replaced, not even by itself
    EXPECT_EQ(home.read("Xsl/x.txt"), "installed");
}

TEST_F(ResourceUpdate, AFailedCopyLeavesTheInstalledFilesAndEndsTheProgram) {
    file("Xsl/b.txt", "b installed");
    file("Xsl/c.txt", "c installed");
    choose(Xsl, {file("from a/a.txt", "a new"), home / "from a/b.txt", file("from a/c.txt", "c new")});
    EXPECT_EQ(form.cmdUpdate_Click(), Outcome::Ended);  // b.txt has vanished before the copy
    EXPECT_EQ(shown(), Names{"予期しないエラーが発生しました。   ERROR_CODE:53"});
    EXPECT_TRUE(view.failed);
    EXPECT_EQ(home.read("Xsl/a.txt"), "a new");
    EXPECT_EQ(home.read("Xsl/b.txt"), "b installed");
    EXPECT_EQ(home.read("Xsl/c.txt"), "c installed");

    // A target folder that does not exist.
    RecordingView other;
    FrmSetUp layout(other);
    layout.Form_Load();
    layout.cmbDataType_Click(Layout);
    layout.cmdChoice_Chosen({home / "from a/a.txt"});
    EXPECT_EQ(layout.cmdUpdate_Click(), Outcome::Ended);
    EXPECT_EQ(shown().back(), "予期しないエラーが発生しました。   ERROR_CODE:76");
}

TEST_F(ResourceUpdate, KeyRegistrationWritesTheFourSettings) {
    struct Case {
        std::string url, root;
    } cases[] = {{"edi.example.jp/faxgate", "https://edi.example.jp/faxgate/"}, {"", "https:///"}};
    for (const Case& c : cases) {
        RecordingView v;
        FrmSetUp f(v);
        f.Form_Load();
        f.cmbDataType_Click(Key);
        f.cmdChoice_Chosen({file("from a/key.xml", keyFile(c.url))});
        EXPECT_EQ(f.cmdKeyUpdate_Click(), Outcome::Done);
        EXPECT_EQ(shown().back(), "処理が終了しました。");
        xml::Document settings;
        ASSERT_TRUE(settings.load(home / "data/SetUpInformation.xml"));
        auto value = [&](const std::string& name) { return settings.selectSingleNode("SetUpInfo/" + name).text(); };
        EXPECT_EQ(value("Session/ClientCertiKey"), "KEY-42");
        EXPECT_EQ(value("Session/EDIMakerCode"), "EDI9");
        EXPECT_EQ(value("Session/EDIMakerName"), "本番サーバ");
        EXPECT_EQ(value("Session/EDIMethodRoot"), c.root);
        // Nothing else changes.
        EXPECT_EQ(value("Session/FaxMakerCode"), "FAX0001");
        EXPECT_EQ(value("Session/EDIAddress"), "127.0.0.1:18080");
        EXPECT_EQ(value("FaxFunction/SendReTryNum"), "3");
        EXPECT_EQ(value("Mail/MailFrom"), "faxgate@localhost");
        EXPECT_NE(home.read("data/SetUpInformation.xml").find("encoding=\"Shift_JIS\""), std::string::npos);
    }
}

TEST_F(ResourceUpdate, AFailedKeyRegistrationLeavesTheSettingsFileAsItWas) {
    const std::string settings = home.read("data/SetUpInformation.xml");
    std::string noRoot = settings;
    noRoot.replace(noRoot.find("<EDIMethodRoot>"), noRoot.find("</EDIMethodRoot>") + 16 - noRoot.find("<EDIMethodRoot>"), "");
    const char* notKey = "選択されたファイルはクライアント認証キーではありません。";
    const char* failed = "クライアント認証キーの登録に失敗しました。";
    struct Case {
        const char* what;
        std::string key;       // the chosen file
        std::string settings;  // SetUpInformation.xml ("" when missing)
        const char* message;
    } cases[] = {
        {"not XML", "CertificationKey=KEY", settings, notKey},
        {"no server name", "<Key-information><CertificationKey>K</CertificationKey><Edi-Server-Code>C</Edi-Server-Code>"
                           "<Edi-Server-URL>u</Edi-Server-URL></Key-information>", settings, notKey},
        {"other root", "<Key><CertificationKey>K</CertificationKey></Key>", settings, notKey},
        {"settings lack EDIMethodRoot", keyFile("u"), noRoot, failed},
        {"settings not XML", keyFile("u"), "<SetUpInfo><Session>", failed},
        {"no settings", keyFile("u"), "", failed},
    };
    for (const Case& c : cases) {
        if (c.settings.empty()) (void)fs::removeFile(home / "data/SetUpInformation.xml");
        else home.write("data/SetUpInformation.xml", c.settings);
        RecordingView v;
        FrmSetUp f(v);
        f.Form_Load();
        f.cmbDataType_Click(Key);
        f.cmdChoice_Chosen({file("from a/key.xml", c.key)});
        EXPECT_EQ(f.cmdKeyUpdate_Click(), Outcome::Refused) << c.what;
        EXPECT_EQ(shown().back(), c.message) << c.what;
        EXPECT_FALSE(v.ended) << c.what;
        if (c.settings.empty()) EXPECT_FALSE(fs::fileExists(home / "data/SetUpInformation.xml")) << c.what;
        else EXPECT_EQ(home.read("data/SetUpInformation.xml"), c.settings) << c.what;
    }
}

TEST_F(ResourceUpdate, KeyRegistrationWaitsForTheSettingsLock) {
    // Another process holds the settings file and changes it: the
    // registration goes on only when that process is done, and keeps its change.
    const std::string settings = home / "data/SetUpInformation.xml";
    choose(Key, {file("from a/key.xml", keyFile("u"))});
    FileLock held = FileLock::tryLock(settings);
    ASSERT_TRUE(held.held());
    std::atomic<bool> done{false};
    std::thread registration([&] {
        EXPECT_EQ(form.cmdKeyUpdate_Click(), Outcome::Done);
        done = true;
    });
    EXPECT_FALSE(testing::eventually([&] { return done.load(); }, std::chrono::milliseconds(200)));
    std::string changed = fs::readFile(settings);
    changed.replace(changed.find("faxgate@localhost"), 17, "other@localhost");
    fs::writeFileAtomic(settings, changed);
    held.unlock();
    registration.join();
    xml::Document now;
    ASSERT_TRUE(now.load(settings));
    EXPECT_EQ(now.selectSingleNode("SetUpInfo/Session/EDIMethodRoot").text(), "https://u/");
    EXPECT_EQ(now.selectSingleNode("SetUpInfo/Mail/MailFrom").text(), "other@localhost");
}

TEST_F(ResourceUpdate, TheCommandLineDoesTheFormsWork) {
    const std::string program = testing::programDir() + "resource_update";
    std::string blank = file("from a/with blank.txt", "one path");
    auto r = testing::runProgram({program, "register", "スタイルシート", blank, file("from b/y.txt", "y")});
    EXPECT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_NE(r.errors.find("処理が終了しました。"), std::string::npos);
    EXPECT_EQ(home.read("Xsl/with blank.txt"), "one path");
    EXPECT_EQ(home.read("Xsl/y.txt"), "y");

    r = testing::runProgram({program, "key", file("from a/key.xml", keyFile("edi.example.jp"))});
    EXPECT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_NE(home.read("data/SetUpInformation.xml").find("<EDIMethodRoot>https://edi.example.jp/</EDIMethodRoot>"),
              std::string::npos);

    r = testing::runProgram({program, "key", home / "from b/y.txt"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.errors.find("選択されたファイルはクライアント認証キーではありません。"), std::string::npos);

    // One key file is registered as the key, not copied.
    EXPECT_EQ(testing::runProgram({program, "register", "クライアント認証キー", home / "from a/key.xml"}).exitCode, 2);
    EXPECT_EQ(testing::runProgram({program, "register", "ない種別", blank}).exitCode, 2);
    EXPECT_EQ(testing::runProgram({program, "register", "スタイルシート"}).exitCode, 2);

    r = testing::runProgram({program, "types"});
    EXPECT_EQ(r.exitCode, 1);  // the last data type's folder class is not in folder.xml
    EXPECT_EQ(r.output.substr(0, r.output.find('\n')), "スタイルシート\t" + home / "Xsl/");
}

}  // namespace
}  // namespace fg
