// Message boxes whose text, title, icon and buttons come from a message
// file, by message identifier, in the language of a LanguageObject.
//
// The box goes through fg::messageSink(): a server logs it and never waits.
//
// Message file:
//   <Messages>
//     <Message id="E001">
//       <Prompt language="JP">...</Prompt> <Title language="JP">...</Title>
//       <Icon>vbQuestion</Icon> <Buttons>vbYesNo</Buttons>
//     </Message>
//   </Messages>
#pragma once

#include "common/ferrund/language_object.h"
#include "common/ferrund/message_box_xml.h"
#include "platform/xml.h"

#include <memory>
#include <string>

namespace fg {

class MessageBoxObject {
public:
    MessageBoxObject() = default;
    MessageBoxObject(const MessageBoxObject&) = delete;
    MessageBoxObject& operator=(const MessageBoxObject&) = delete;

    // The caller's language object, shared; none at creation.
    std::shared_ptr<LanguageObject> Language() const { return language_; }
    void setLanguage(std::shared_ptr<LanguageObject> language) { language_ = std::move(language); }

    // Replaces the message file. False for a missing or malformed file.
    bool load(const std::string& strFile);

    // Shows message strMsgID and returns the button pressed (1 OK .. 7 No).
    // A non-empty strTitle overrides the file's title. strInsMsg, unless it
    // is blank, is added on a line of its own. A message that cannot be
    // shown (unknown id, no prompt, icon or buttons for it, no language or
    // no file) shows "Undefind Message ID : " with the id instead.
    int show(const std::string& strMsgID, const std::string& strTitle, const std::string& strInsMsg);

private:
    std::shared_ptr<LanguageObject> language_;
    xml::Document document_;
    MessageBoxXML tags_;
};

}  // namespace fg
