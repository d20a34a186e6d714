// Element names of a message file.
//
// The option file has an enumeration of the same name; this one lives in
// its own namespace so that both can be used side by side.
#pragma once

#include <cstdint>
#include <string>

namespace fg::msgfile {

enum MSG_TAG_TYPE : int32_t {
    MSG_ROOT_TAG = 0,
    MSG_MESSAGES_TAG = 1,
    MSG_MESSAGE_TAG = 2,
    MSG_PROMPT_TAG = 3,
    MSG_ICON_TAG = 4,
    MSG_BUTTON_TAG = 5,
    MSG_TITLE_TAG = 6,
    MSG_JP_TAG = 7,
    MSG_US_TAG = 8,
};

}  // namespace fg::msgfile

namespace fg {

class MessageBoxXML {
public:
    // The element name or language word of each tag type; "" for
    // MSG_MESSAGES_TAG and for any value outside the enumeration.
    std::string Tag(msgfile::MSG_TAG_TYPE TagType) const;
};

}  // namespace fg
