#include "common/brevik/option_infomation_object.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/testing/error_of.h"
#include "platform/testing/temp_home.h"
#include "platform/text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace fg {
namespace {

using testing::TempHome;

const std::string kOptionFile = "client/option/option.xml";

using testing::Raised;
using testing::raisedBy;

void writeOptions(const TempHome& home, const std::string& informations, const std::string& name = "option.xml") {
    (void)fs::removeFile(home / kOptionFile);
    home.write("client/option/" + name, text::toCp932("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<Informations>" +
                                                      informations + "</Informations>\n"));
}

std::string info(const std::string& cls, const std::string& value) {
    return "<Information class=\"" + cls + "\">" + value + "</Information>";
}

bool xmllintAccepts(const std::string& path) {
    return std::system(("xmllint --noout '" + path + "' 2>/dev/null").c_str()) == 0;
}

TEST(OptionInfomationObject, Tags) {
    EXPECT_EQ(optionfile::Tag(optionfile::ROOT_TAG), "Informations");
    EXPECT_EQ(optionfile::Tag(optionfile::DATA_TAG), "Information");
    EXPECT_EQ(optionfile::Tag(static_cast<optionfile::MSG_TAG_TYPE>(2)), "");
}

TEST(OptionInfomationObject, ReadsTheInstalledOptions) {
    TempHome home;
    OptionInfomationObject o;
    EXPECT_EQ(o.UserName(), "faxgate");
    EXPECT_EQ(o.PassWord(), "faxgate");
    EXPECT_EQ(o.Interval(), "60");
    EXPECT_EQ(o.TimeOut(), 30);
    EXPECT_EQ(o.Bbs(), "http://127.0.0.1/bbs/");
    EXPECT_EQ(o.Program(), "faxgate");
    EXPECT_EQ(o.MailAddress(), "fax-gateway@example.co.jp");
    EXPECT_EQ(o.Language().Mode(), JP);
    EXPECT_EQ(o.SmtpServer(), "127.0.0.1");
    EXPECT_FALSE(o.SendMail());
    EXPECT_EQ(o.ScheduleMode(), 1);
    ScheduleRecord first = o.ScheduleTime(1);
    EXPECT_TRUE(first.blnVaridity);
    EXPECT_EQ(first.strTime, "09:00");
    EXPECT_FALSE(o.ScheduleTime(2).blnVaridity);
    EXPECT_EQ(o.ScheduleTime(3).strTime, "17:30");
    EXPECT_EQ(raisedBy([&] { o.ScheduleTime(0); }).number, errnum::ObjectNotSet);
    EXPECT_EQ(raisedBy([&] { o.ScheduleTime(4); }).number, errnum::ObjectNotSet);
}

TEST(OptionInfomationObject, LetsAreSavedWholeAndReadBack) {
    TempHome home;
    {
        OptionInfomationObject o;
        o.setUserName("山田 太郎");
        o.setPassWord("p<a>&'\"ss");
        o.setInterval("90");
        o.setTimeOut(-32768);
        o.setMailAddress("order@example.jp");
        LanguageObject us;
        us.setMode(US);
        o.setLanguage(us);
        o.setSmtpServer("mail.example.jp");
        o.setSendMail(true);
        o.setScheduleMode(-2);
        o.setScheduleTime(2, {true, "13:15"});
        ASSERT_TRUE(o.save());
    }
    OptionInfomationObject o;
    EXPECT_EQ(o.UserName(), "山田 太郎");
    EXPECT_EQ(o.PassWord(), "p<a>&'\"ss");
    EXPECT_EQ(o.Interval(), "90");
    EXPECT_EQ(o.TimeOut(), -32768);
    EXPECT_EQ(o.MailAddress(), "order@example.jp");
    EXPECT_EQ(o.Language().Mode(), US);
    EXPECT_EQ(o.SmtpServer(), "mail.example.jp");
    EXPECT_TRUE(o.SendMail());
    EXPECT_EQ(o.ScheduleMode(), -2);
    EXPECT_TRUE(o.ScheduleTime(2).blnVaridity);
    EXPECT_EQ(o.ScheduleTime(2).strTime, "13:15");
    EXPECT_EQ(o.ScheduleTime(1).strTime, "09:00");

    std::string bytes = home.read(kOptionFile);
    EXPECT_EQ(bytes.rfind("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>", 0), 0u);
    EXPECT_NE(bytes.find(">mailto:order@example.jp<"), std::string::npos);
    EXPECT_NE(bytes.find(">-32768<"), std::string::npos);
    EXPECT_NE(bytes.find(">True<"), std::string::npos);
    EXPECT_NE(bytes.find(text::toCp932("山田 太郎")), std::string::npos);
    EXPECT_TRUE(xmllintAccepts(home / kOptionFile));
}

TEST(OptionInfomationObject, MailAddressPrefix) {
    TempHome home;
    struct Case {
        std::string stored, read;
    };
    for (const auto& c : std::vector<Case>{{"mailto:a@b.jp", "a@b.jp"},
                                           {"MAILTO:a@b.jp", "a@b.jp"},
                                           {"MailTo:", ""},
                                           {"a@b.jp", "a@b.jp"},
                                           {"mail", "mail"},
                                           {"", ""}}) {
        writeOptions(home, info("mailaddress", c.stored));
        EXPECT_EQ(OptionInfomationObject().MailAddress(), c.read) << c.stored;
    }
    struct Let {
        std::string given, stored;
    };
    for (const auto& c : std::vector<Let>{{"a@b.jp", "mailto:a@b.jp"},
                                          {"MaIlTo:a@b.jp", "MaIlTo:a@b.jp"},
                                          {"", "mailto:"},
                                          {"mailto", "mailto:mailto"}}) {
        writeOptions(home, info("mailaddress", "x"));
        OptionInfomationObject o;
        o.setMailAddress(c.given);
        ASSERT_TRUE(o.save());
        EXPECT_NE(home.read(kOptionFile).find(">" + c.stored + "<"), std::string::npos) << c.given;
    }
}

TEST(OptionInfomationObject, LanguageIsJPOrUSExactly) {
    TempHome home;
    const std::string text = "Langage Mode get Error.(option.xml)";
    for (std::string stored : {"jp", "Jp", " JP", "EN", ""}) {
        writeOptions(home, info("language", stored));
        Raised r = raisedBy([] { OptionInfomationObject().Language(); });
        EXPECT_EQ(r.number, errnum::ClientClassError) << stored;
        EXPECT_EQ(r.description, text);
    }
    writeOptions(home, info("language", "US"));
    OptionInfomationObject o;
    EXPECT_EQ(o.Language().Mode(), US);
    for (int mode : {0, 3, -1}) {
        LanguageObject l;
        l.setMode(static_cast<E_LANGUAGE>(mode));
        Raised r = raisedBy([&] { o.setLanguage(l); });
        EXPECT_EQ(r.number, errnum::ClientClassError);
        EXPECT_EQ(r.description, text);
        EXPECT_EQ(o.Language().Mode(), US);  // nothing written
    }
}

TEST(OptionInfomationObject, StoredTextThatDoesNotConvert) {
    TempHome home;
    struct Case {
        std::string informations;
        std::function<void(const OptionInfomationObject&)> get;
        long number;
    };
    const std::vector<Case> cases = {
        {info("timeout", "abc"), [](auto& o) { o.TimeOut(); }, errnum::TypeMismatch},
        {info("timeout", "32768"), [](auto& o) { o.TimeOut(); }, errnum::Overflow},
        {info("timeout", ""), [](auto& o) { o.TimeOut(); }, errnum::TypeMismatch},
        {info("sendmail", ""), [](auto& o) { o.SendMail(); }, errnum::TypeMismatch},
        {info("sendmail", "yes"), [](auto& o) { o.SendMail(); }, errnum::TypeMismatch},
        {"<Information class=\"schedule\" mode=\"x\"/>", [](auto& o) { o.ScheduleMode(); }, errnum::TypeMismatch},
        {"<Information class=\"schedule\"/>", [](auto& o) { o.ScheduleMode(); }, errnum::ObjectNotSet},
        {"<Information class=\"schedule\" mode=\"1\"><T>09:00</T></Information>",
         [](auto& o) { o.ScheduleTime(1); }, errnum::ObjectNotSet},
        {"<Information class=\"schedule\" mode=\"1\"><T validity=\"maybe\">09:00</T></Information>",
         [](auto& o) { o.ScheduleTime(1); }, errnum::TypeMismatch},
        // Missing elements.
        {"", [](auto& o) { o.UserName(); }, errnum::ObjectNotSet},
        {"", [](auto& o) { o.Bbs(); }, errnum::ObjectNotSet},
        {"", [](auto& o) { o.Language(); }, errnum::ObjectNotSet},
        {"", [](auto& o) { o.ScheduleTime(1); }, errnum::ObjectNotSet},
        {info("User", "x"), [](auto& o) { o.UserName(); }, errnum::ObjectNotSet},
    };
    for (const auto& c : cases) {
        writeOptions(home, c.informations);
        OptionInfomationObject o;
        EXPECT_EQ(raisedBy([&] { c.get(o); }).number, c.number) << c.informations;
    }
    // The first of two elements of one option is the one read.
    writeOptions(home, info("timeout", "1") + info("timeout", "2"));
    EXPECT_EQ(OptionInfomationObject().TimeOut(), 1);
}

TEST(OptionInfomationObject, LetsOfMissingOptions) {
    TempHome home;
    writeOptions(home, info("user", "u") + "<Information class=\"schedule\"><!-- morning --><T validity=\"False\">8</T>"
                                           "<T>9</T></Information>");
    OptionInfomationObject o;
    // Plain options that are not there are left alone without a word.
    o.setPassWord("secret");
    o.setTimeOut(5);
    o.setSendMail(true);
    o.setMailAddress("a@b");
    EXPECT_EQ(raisedBy([&] { o.PassWord(); }).number, errnum::ObjectNotSet);
    // The schedule's attributes and times must be there.
    EXPECT_EQ(raisedBy([&] { o.setScheduleMode(1); }).number, errnum::ObjectNotSet);
    EXPECT_EQ(raisedBy([&] { o.setScheduleTime(2, {true, "10"}); }).number, errnum::ObjectNotSet);
    EXPECT_EQ(raisedBy([&] { o.setScheduleTime(3, {true, "10"}); }).number, errnum::ObjectNotSet);
    // A comment between the times takes no position.
    o.setScheduleTime(1, {true, "07:45"});
    EXPECT_EQ(o.ScheduleTime(1).strTime, "07:45");
    EXPECT_TRUE(o.ScheduleTime(1).blnVaridity);
    EXPECT_TRUE(o.save());
    std::string bytes = home.read(kOptionFile);
    EXPECT_EQ(bytes.find("secret"), std::string::npos);
    EXPECT_NE(bytes.find("<!-- morning -->"), std::string::npos);
    EXPECT_NE(bytes.find("validity=\"True\">07:45<"), std::string::npos);
}

TEST(OptionInfomationObject, AFileThatDoesNotLoadIsNeverWrittenOver) {
    TempHome home;
    const std::string broken = "<?xml version=\"1.0\"?>\n<Informations><Information class=\"user\">u</Inform";
    for (bool present : {true, false}) {
        (void)fs::removeFile(home / kOptionFile);
        if (present) home.write(kOptionFile, broken);
        OptionInfomationObject o;
        EXPECT_EQ(raisedBy([&] { o.UserName(); }).number, errnum::ObjectNotSet);
        o.setUserName("x");
        EXPECT_FALSE(o.save());
        EXPECT_EQ(fs::fileExists(home / kOptionFile), present);
        if (present) {
            EXPECT_EQ(home.read(kOptionFile), broken);
        }
    }
}

TEST(OptionInfomationObject, FileNameIsMatchedWithoutCaseAndKeptOnSave) {
    TempHome home;
    writeOptions(home, info("user", "u"), "Option.XML");
    OptionInfomationObject o;
    EXPECT_EQ(o.UserName(), "u");
    o.setUserName("v");
    ASSERT_TRUE(o.save());
    EXPECT_EQ(fs::list(home / "client/option/", "option.xml").size(), 1u);
    EXPECT_NE(home.read("client/option/Option.XML").find(">v<"), std::string::npos);
}

TEST(OptionInfomationObject, CreationNeedsTheFolderFile) {
    TempHome home;
    (void)fs::removeFile(home / "folder.xml");
    EXPECT_EQ(raisedBy([] { OptionInfomationObject o; }).number, errnum::ClientClassError);
    home.write("folder.xml", "<Folders><Folder class=\"temp\">/t/</Folder></Folders>");
    EXPECT_EQ(raisedBy([] { OptionInfomationObject o; }).number, errnum::ObjectNotSet);
}

}  // namespace
}  // namespace fg
