#include "common/ferrund/message_box_object.h"

#include "platform/message_sink.h"
#include "platform/text.h"

#include <exception>
#include <optional>
#include <utility>

namespace fg {

namespace {

struct Box {
    std::string prompt;
    std::string fileTitle;
    int style = 0;
};

// Style value of a style word: the buttons 0 to 5 and the icons 16 to 64.
// Words compare exactly; any other word, empty included, counts 0.
int styleValue(const std::string& word) {
    static const std::pair<const char*, int> kWords[] = {
        {"vbOKOnly", 0},       {"vbOKCancel", 1},    {"vbAbortRetryIgnore", 2}, {"vbYesNoCancel", 3},
        {"vbYesNo", 4},        {"vbRetryCancel", 5}, {"vbCritical", 16},        {"vbQuestion", 32},
        {"vbExclamation", 48}, {"vbInformation", 64},
    };
    for (const auto& [w, v] : kWords)
        if (word == w) return v;
    return 0;
}

}  // namespace

bool MessageBoxObject::load(const std::string& strFile) {
    xml::Document fresh;
    bool ok = false;
    try {
        ok = fresh.load(strFile);
    } catch (const std::exception&) {
        ok = false;
    }
    document_ = ok ? fresh : xml::Document();
    return ok;
}

int MessageBoxObject::show(const std::string& strMsgID, const std::string& strTitle, const std::string& strInsMsg) {
    using namespace msgfile;
    auto compose = [&]() -> std::optional<Box> {
        // Identifier and language go in as quoted literals, so an id with a
        // quote finds nothing instead of breaking the expression.
        xml::Node message = document_.selectSingleNode(tags_.Tag(MSG_ROOT_TAG) + "/" + tags_.Tag(MSG_MESSAGE_TAG) +
                                                       "[@id=" + xml::xpathLiteral(strMsgID) + "]");
        if (message.isNull() || !language_) return std::nullopt;
        std::string word;
        switch (static_cast<int32_t>(language_->Mode())) {
        case JP: word = tags_.Tag(MSG_JP_TAG); break;
        case US: word = tags_.Tag(MSG_US_TAG); break;
        default: break;
        }
        std::string inLanguage = "[@language=" + xml::xpathLiteral(word) + "]";
        xml::Node prompt = message.selectSingleNode(tags_.Tag(MSG_PROMPT_TAG) + inLanguage);
        if (prompt.isNull()) return std::nullopt;
        Box box;
        box.prompt = prompt.text();
        if (!text::trim(strInsMsg).empty()) box.prompt += "\r\n" + strInsMsg;
        xml::Node icon = message.selectSingleNode(tags_.Tag(MSG_ICON_TAG));
        xml::Node buttons = message.selectSingleNode(tags_.Tag(MSG_BUTTON_TAG));
        if (icon.isNull() || buttons.isNull()) return std::nullopt;
        // A missing title is no failure: the box falls back to the caller's
        // title or the default caption.
        if (xml::Node title = message.selectSingleNode(tags_.Tag(MSG_TITLE_TAG) + inLanguage); !title.isNull())
            box.fileTitle = title.text();
        box.style = styleValue(buttons.text()) + styleValue(icon.text());
        return box;
    };

    std::optional<Box> box;
    try {
        box = compose();
    } catch (const std::exception&) {
        box.reset();
    }
    if (!box)
        return messageSink().show("Undefind Message ID : " + strMsgID + "\r\n" + strInsMsg, msgbox::Critical, "");
    const std::string& title = !strTitle.empty() ? strTitle : box->fileTitle;
    return messageSink().show(box->prompt, box->style, title);
}

}  // namespace fg
