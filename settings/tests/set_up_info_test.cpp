#include "settings/set_up_info.h"

#include "platform/files.h"
#include "platform/testing/temp_home.h"
#include "platform/text.h"
#include "platform/xml.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace fg {
namespace {

class SetUpInfoTest : public ::testing::Test {
protected:
    testing::TempHome home;
    testing::ErrorLogGuard log;
    std::string path = home.folder("SetupInfo") + SetUpInfo::kFileName;

    void write(const std::string& body) {
        fs::writeFileAtomic(path, text::toCp932("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><SetUpInfo>" + body +
                                                "</SetUpInfo>"));
    }
    static std::string textOf(const Variant& v) { return v.toText(); }
};

TEST_F(SetUpInfoTest, InstalledSettingsAreReadAsText) {
    SetUpInfo settings;
    EXPECT_TRUE(log.log->entries().empty());
    // A test home never keeps the demo's own EDI server (a fixed port).
    EXPECT_EQ(textOf(settings.strEDIMethodRoot()), "");
    EXPECT_EQ(textOf(settings.strEDIAddress()), "");
    ASSERT_TRUE(settings.strSendReTryNum().isText());  // digits stay text
    EXPECT_EQ(textOf(settings.strSendReTryNum()), "3");
    EXPECT_FALSE(textOf(settings.strClientCertiKey()).empty());
    EXPECT_FALSE(textOf(settings.strEDIMakerCode()).empty());
    EXPECT_EQ(textOf(settings.strEDIMakerName()), "デモ調達ＥＤＩサーバ");
}

TEST_F(SetUpInfoTest, GroupsAreFoundByNameWhereverTheyStand) {
    struct Case {
        const char* what;
        std::string body;
        bool logged;
        std::string retry, key, mailTo;
    } cases[] = {
        {"no Session", "<FaxFunction><SendReTryNum>5</SendReTryNum></FaxFunction>", true, "5", "", ""},
        {"key outside Session", "<Session/><ClientCertiKey>K</ClientCertiKey>", false, "", "", ""},
        {"key nested in Session", "<Session><Deep><ClientCertiKey>K2</ClientCertiKey></Deep></Session>", false, "",
         "K2", ""},
        {"last MailTo wins", "<Session/><Mail><MailTo>a@x</MailTo><MailTo>b@x</MailTo></Mail>", false, "", "", "b@x"},
        {"two groups of a name", "<Session><ClientCertiKey>K1</ClientCertiKey></Session><Session>"
                                 "<ClientCertiKey>K3</ClientCertiKey></Session>", false, "", "K3", ""},
    };
    for (const Case& c : cases) {
        write(c.body);
        log.log->clear();
        SetUpInfo settings;
        EXPECT_EQ(log.log->has(40103), c.logged) << c.what;
        EXPECT_EQ(textOf(settings.strSendReTryNum()), c.retry) << c.what;
        EXPECT_EQ(textOf(settings.strClientCertiKey()), c.key) << c.what;
        EXPECT_EQ(textOf(settings.strMailTo()), c.mailTo) << c.what;
        EXPECT_TRUE(settings.strEDIAddress().isEmpty()) << c.what;
    }
}

TEST_F(SetUpInfoTest, MissingFileGivesEmptyValuesAndSaveWritesTheWholeLayout) {
    (void)fs::removeFile(path);
    SetUpInfo settings;
    ASSERT_EQ(log.log->entries().size(), 1u);
    EXPECT_EQ(log.log->entries()[0].number, 40103);
    EXPECT_EQ(log.log->entries()[0].description, "SetUpInformation.xml");
    EXPECT_EQ(log.log->entries()[0].source, "SetUpInfo");
    EXPECT_TRUE(settings.strClientCertiKey().isEmpty());
    EXPECT_TRUE(settings.strMailFrom().isEmpty());

    settings.setStrSendReTryNum(Variant(5));
    settings.setStrEDIMakerName(Variant("調達センター㈱"));
    ASSERT_TRUE(settings.save());
    ASSERT_TRUE(settings.strSendReTryNum().isNumber());

    std::string bytes = fs::readFile(path);
    EXPECT_EQ(bytes.rfind("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>", 0), 0u);
    xml::Document doc;
    ASSERT_TRUE(doc.load(path));
    std::string names;
    for (const xml::Node& group : doc.documentElement().childNodes()) {
        names += group.nodeName() + "(";
        for (const xml::Node& value : group.childNodes()) names += value.nodeName() + " ";
        names += ")";
    }
    EXPECT_EQ(names,
              "Session(FaxMakerCode EDIMakerCode EDIMakerName EDIAddress ClientCertiKey EDIMethodRoot )"
              "FaxFunction(SendReTryNum )Execute(Condition )Mail(SMTPServerName MailTo MailFrom )");
    EXPECT_EQ(doc.selectSingleNode("/SetUpInfo/FaxFunction/SendReTryNum").text(), "5");

    SetUpInfo again;
    EXPECT_EQ(textOf(again.strSendReTryNum()), "5");
    EXPECT_EQ(textOf(again.strEDIMakerName()), "調達センター㈱");
}

TEST_F(SetUpInfoTest, SaveKeepsOnlyTheLayoutAndAWellFormedFile) {
    write("<!-- note --><Session><ClientCertiKey>K</ClientCertiKey><Extra>x</Extra></Session><Other/>");
    SetUpInfo settings;
    settings.setStrMailTo(Variant("a&b <ops>"));
    settings.setStrCondition(Variant(true));
    ASSERT_TRUE(settings.save());
    std::string bytes = fs::readFile(path);
    EXPECT_EQ(bytes.find("Extra"), std::string::npos);
    EXPECT_EQ(bytes.find("Other"), std::string::npos);
    EXPECT_EQ(bytes.find("note"), std::string::npos);
    // A peer parser takes the file back.
    std::string command = "xmllint --noout '" + path + "' 2>/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0);
    SetUpInfo again;
    EXPECT_EQ(textOf(again.strMailTo()), "a&b <ops>");
    EXPECT_EQ(textOf(again.strCondition()), "True");
    EXPECT_EQ(textOf(again.strClientCertiKey()), "K");
}

TEST_F(SetUpInfoTest, SaveNeverReplacesAFileItCannotRead) {
    const std::string broken = "<?xml version=\"1.0\"?><SetUpInfo><Session><ClientCertiKey>K</Session>";
    fs::writeFileAtomic(path, broken);
    SetUpInfo settings;
    EXPECT_TRUE(log.log->has(40103));
    log.log->clear();
    settings.setStrClientCertiKey(Variant("NEW"));
    EXPECT_FALSE(settings.save());
    ASSERT_EQ(log.log->entries().size(), 1u);
    EXPECT_EQ(log.log->entries()[0].number, 40104);
    EXPECT_EQ(fs::readFile(path), broken);

    // A value that cannot be written fails before the file is touched.
    write("<Session><ClientCertiKey>K</ClientCertiKey></Session>");
    const std::string good = fs::readFile(path);
    SetUpInfo other;
    other.setStrMailFrom(Variant(Variant::Null{}));
    log.log->clear();
    EXPECT_FALSE(other.save());
    ASSERT_EQ(log.log->entries().size(), 1u);
    EXPECT_EQ(log.log->entries()[0].number, 40104);
    EXPECT_EQ(fs::readFile(path), good);
}

TEST_F(SetUpInfoTest, AnObjectReadsTheFileOnceAndSaveWritesItsOwnValues) {
    SetUpInfo first;
    write("<Session><ClientCertiKey>CHANGED</ClientCertiKey></Session>");
    EXPECT_EQ(textOf(first.strClientCertiKey()), "DEMO-CLIENT-KEY-0001");
    ASSERT_TRUE(first.save());
    SetUpInfo second;
    EXPECT_EQ(textOf(second.strClientCertiKey()), "DEMO-CLIENT-KEY-0001");
}

}  // namespace
}  // namespace fg
