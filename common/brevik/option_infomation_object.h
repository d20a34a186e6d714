// The client options file option.xml in the option folder: one Information
// element per option, picked by its class attribute. The file comes with an
// installation; values of existing elements are read and changed, nothing is
// ever added.
#pragma once

#include "common/ferrund/language_object.h"
#include "platform/xml.h"

#include <cstdint>
#include <string>

namespace fg {

// Element names of option.xml. The message file has an enumeration of the
// same name; this one lives in a namespace of its own.
namespace optionfile {
enum MSG_TAG_TYPE : int32_t {
    ROOT_TAG = 0,  // "Informations"
    DATA_TAG = 1,  // "Information"
};
// The element name of a tag type; "" for any other value.
std::string Tag(MSG_TAG_TYPE TagType);
}  // namespace optionfile

// One schedule time.
struct ScheduleRecord {
    bool blnVaridity = false;  // the time is in use
    std::string strTime;       // the time text as stored
};

class OptionInfomationObject {
public:
    // Finds the option folder through folder.xml (its errors pass to the
    // caller) and loads option.xml. A missing or malformed option.xml leaves
    // the object empty: its gets then fail and save writes nothing.
    OptionInfomationObject();

    // Gets raise error 91 when the option's element is missing; lets of a
    // missing element do nothing.
    std::string UserName() const;
    void setUserName(const std::string& value);
    std::string PassWord() const;
    void setPassWord(const std::string& value);
    std::string Interval() const;
    void setInterval(const std::string& value);
    // Text that is no number raises 13, one outside 16 bits 6.
    int16_t TimeOut() const;
    void setTimeOut(int16_t value);
    std::string Bbs() const;
    std::string Program() const;
    // Stored with the prefix "mailto:", handed out without it.
    std::string MailAddress() const;
    void setMailAddress(const std::string& value);
    // "JP" or "US" exactly; anything else raises ClientClassError
    // "Langage Mode get Error.(option.xml)", on get and let alike.
    LanguageObject Language() const;
    void setLanguage(const LanguageObject& value);
    std::string SmtpServer() const;
    void setSmtpServer(const std::string& value);
    bool SendMail() const;  // text that is no Boolean raises 13
    void setSendMail(bool value);
    // The schedule's mode attribute and its times, by position from 1. A
    // missing element, attribute or time raises 91, on get and let alike.
    int16_t ScheduleMode() const;
    void setScheduleMode(int16_t value);
    ScheduleRecord ScheduleTime(int16_t intNum) const;
    void setScheduleTime(int16_t intNum, const ScheduleRecord& value);

    // Writes the whole document back to the file it came from, under the
    // file's lock and atomically. False on any failure, and when nothing was
    // loaded: an empty document never replaces the installed file.
    bool save();

private:
    xml::Node option(const std::string& key) const;
    std::string read(const std::string& key) const;
    void write(const std::string& key, const std::string& value);
    xml::Node scheduleChild(int16_t intNum) const;

    xml::Document document_;
    std::string path_;
};

}  // namespace fg
