#include "common/ferrund/language_object.h"
#include "common/ferrund/message_box_object.h"
#include "common/ferrund/message_box_xml.h"

#include "platform/files.h"
#include "platform/message_sink.h"
#include "platform/testing/temp_home.h"
#include "platform/text.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace fg {
namespace {

const std::string kMessages =
    "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n"
    "<Messages>"
    "<Message id=\"Q001\"><Prompt language=\"JP\">送信しますか？</Prompt><Prompt language=\"US\">Send?</Prompt>"
    "<Title language=\"JP\">送信確認</Title><Icon>vbQuestion</Icon><Buttons>vbYesNo</Buttons></Message>"
    "<Message id=\"W002\"><Prompt language=\"JP\">警告</Prompt><Prompt language=\"US\">Warning</Prompt>"
    "<Icon>vbOKCancel</Icon><Buttons>vbOKCancel</Buttons></Message>"
    "<Message id=\"I003\"><Prompt language=\"US\">Done</Prompt><Icon>vbinformation</Icon><Buttons></Buttons></Message>"
    "<Message id=\"N004\"><Prompt language=\"JP\">アイコンなし</Prompt><Buttons>vbOKOnly</Buttons></Message>"
    "<Message id=\"it's\"><Prompt language=\"JP\">引用符</Prompt><Icon>vbCritical</Icon>"
    "<Buttons>vbRetryCancel</Buttons></Message>"
    "<Message id=\"Q001\"><Prompt language=\"JP\">二番目</Prompt><Icon/><Buttons/></Message>"
    "</Messages>\n";

class MessageBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        setMessageSink(sink_);
        fs::writeFileAtomic(file_, text::toCp932(kMessages));
        language_->setMode(JP);
        box_.setLanguage(language_);
        ASSERT_TRUE(box_.load(file_));
    }
    void TearDown() override { setMessageSink(nullptr); }

    RecordingMessageSink::Shown last() const {
        auto shown = sink_->shown();
        return shown.empty() ? RecordingMessageSink::Shown{"<none>", -1, ""} : shown.back();
    }

    testing::TempDir dir_;
    std::string file_ = dir_ / "messages.xml";
    std::shared_ptr<RecordingMessageSink> sink_ = std::make_shared<RecordingMessageSink>();
    std::shared_ptr<LanguageObject> language_ = std::make_shared<LanguageObject>();
    MessageBoxObject box_;
};

TEST(MessageBoxXML, TagNames) {
    using namespace msgfile;
    MessageBoxXML tags;
    const std::pair<int, const char*> expected[] = {
        {MSG_ROOT_TAG, "Messages"}, {MSG_MESSAGES_TAG, ""}, {MSG_MESSAGE_TAG, "Message"},
        {MSG_PROMPT_TAG, "Prompt"}, {MSG_ICON_TAG, "Icon"}, {MSG_BUTTON_TAG, "Buttons"},
        {MSG_TITLE_TAG, "Title"},   {MSG_JP_TAG, "JP"},     {MSG_US_TAG, "US"},
        {9, ""},                    {-1, ""},
    };
    for (const auto& [value, tag] : expected) EXPECT_EQ(tags.Tag(static_cast<MSG_TAG_TYPE>(value)), tag) << value;
}

TEST_F(MessageBoxTest, StyleIsButtonsPlusIconAndTitleFallsBack) {
    struct Case {
        E_LANGUAGE mode;
        std::string id, title, prompt;
        int style;
        std::string shownTitle;
    } cases[] = {
        {JP, "Q001", "", "送信しますか？", 36, "送信確認"},        // 4 + 32, the file's title
        {JP, "Q001", "呼び出し元", "送信しますか？", 36, "呼び出し元"},  // the caller's title wins
        {US, "Q001", "", "Send?", 36, ""},                        // no US title: default caption
        {JP, "W002", "", "警告", 2, ""},                           // a button word as icon still counts
        {US, "I003", "", "Done", 0, ""},                          // words compare case-sensitively
        {JP, "it's", "", "引用符", 21, ""},                        // a quote in the id is no fault
    };
    for (const auto& c : cases) {
        language_->setMode(c.mode);
        sink_->scriptAnswer(msgbox::Yes);
        EXPECT_EQ(box_.show(c.id, c.title, ""), msgbox::Yes) << c.id;
        auto shown = last();
        EXPECT_EQ(shown.prompt, c.prompt) << c.id;
        EXPECT_EQ(shown.style, c.style) << c.id;
        EXPECT_EQ(shown.title, c.shownTitle) << c.id;
    }
}

TEST_F(MessageBoxTest, InsertedTextGoesOnALineOfItsOwnUnlessBlank) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "送信しますか？"},
        {"   ", "送信しますか？"},
        {" file a.xml ", "送信しますか？\r\n file a.xml "},  // added untrimmed
        {"file a.xml", "送信しますか？\r\nfile a.xml"},
    };
    for (const auto& [ins, prompt] : cases) {
        box_.show("Q001", "", ins);
        EXPECT_EQ(last().prompt, prompt) << "[" << ins << "]";
    }
}

TEST_F(MessageBoxTest, UnshowableMessagesShowTheUndefinedBox) {
    MessageBoxObject noLanguage;
    ASSERT_TRUE(noLanguage.load(file_));
    MessageBoxObject noFile;
    noFile.setLanguage(language_);
    MessageBoxObject badFile;
    badFile.setLanguage(language_);
    fs::writeFileAtomic(dir_ / "bad.xml", "<Messages><Message id=\"Q001\">");
    EXPECT_FALSE(badFile.load(dir_ / "bad.xml"));
    EXPECT_FALSE(noFile.load(dir_ / "missing.xml"));

    struct Case {
        MessageBoxObject* box;
        E_LANGUAGE mode;
        std::string id, what;
    } cases[] = {
        {&box_, JP, "E001", "unknown id"},
        {&box_, JP, "q001", "id compared exactly"},
        {&box_, NO_SET, "Q001", "no language word"},
        {&box_, US, "N004", "no prompt in the language"},
        {&box_, JP, "N004", "no icon"},
        {&box_, JP, "x']|//*['", "id that would break the query"},
        {&noLanguage, JP, "Q001", "no language object"},
        {&noFile, JP, "Q001", "no file"},
        {&badFile, JP, "Q001", "malformed file"},
    };
    for (const auto& c : cases) {
        language_->setMode(c.mode);
        EXPECT_EQ(c.box->show(c.id, "呼び出し元", "詳細"), msgbox::OK) << c.what;
        auto shown = last();
        EXPECT_EQ(shown.prompt, "Undefind Message ID : " + c.id + "\r\n詳細") << c.what;
        EXPECT_EQ(shown.style, msgbox::Critical) << c.what;
        EXPECT_EQ(shown.title, "") << c.what;
    }
    EXPECT_EQ(sink_->shown().size(), std::size(cases));
}

TEST_F(MessageBoxTest, LoadReplacesTheFile) {
    fs::writeFileAtomic(dir_ / "other.xml",
                        "<Messages><Message id=\"E001\"><Prompt language=\"JP\">別</Prompt><Icon>vbCritical</Icon>"
                        "<Buttons>vbOKOnly</Buttons></Message></Messages>");
    ASSERT_TRUE(box_.load(dir_ / "other.xml"));
    box_.show("E001", "", "");
    EXPECT_EQ(last().prompt, "別");
    box_.show("Q001", "", "");
    EXPECT_EQ(last().prompt, "Undefind Message ID : Q001\r\n");
    // A failed load leaves no message behind either.
    EXPECT_FALSE(box_.load(dir_ / "missing.xml"));
    box_.show("E001", "", "");
    EXPECT_EQ(last().prompt, "Undefind Message ID : E001\r\n");
}

TEST_F(MessageBoxTest, TheLanguageObjectIsShared) {
    EXPECT_EQ(box_.Language(), language_);
    box_.show("Q001", "", "");
    EXPECT_EQ(last().prompt, "送信しますか？");
    language_->setMode(US);  // the caller's object, not a copy
    box_.show("Q001", "", "");
    EXPECT_EQ(last().prompt, "Send?");
}

}  // namespace
}  // namespace fg
