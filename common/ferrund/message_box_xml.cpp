#include "common/ferrund/message_box_xml.h"

namespace fg {

std::string MessageBoxXML::Tag(msgfile::MSG_TAG_TYPE TagType) const {
    using namespace msgfile;
    switch (TagType) {
    case MSG_ROOT_TAG: return "Messages";
    case MSG_MESSAGES_TAG: return {};
    case MSG_MESSAGE_TAG: return "Message";
    case MSG_PROMPT_TAG: return "Prompt";
    case MSG_ICON_TAG: return "Icon";
    case MSG_BUTTON_TAG: return "Buttons";
    case MSG_TITLE_TAG: return "Title";
    case MSG_JP_TAG: return "JP";
    case MSG_US_TAG: return "US";
    }
    return {};
}

}  // namespace fg
