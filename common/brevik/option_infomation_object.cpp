#include "common/brevik/option_infomation_object.h"

#include "common/brevik/folder_information.h"
#include "common/brevik/save_locked.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/values.h"

namespace fg {

namespace {

const char* const kSource = "OptionInfomationObject";
const char* const kLanguageError = "Langage Mode get Error.(option.xml)";
const std::string kMailto = "mailto:";

Error notSet() { return Error::standard(errnum::ObjectNotSet, kSource); }

}  // namespace

std::string optionfile::Tag(MSG_TAG_TYPE TagType) {
    switch (TagType) {
    case ROOT_TAG: return "Informations";
    case DATA_TAG: return "Information";
    default: return {};
    }
}

OptionInfomationObject::OptionInfomationObject() {
    FolderInformation folders;
    std::string path = folders.Options() + "option.xml";
    path_ = fs::resolve(path).value_or(path);
    // A file that does not load leaves the document empty; the gets report it.
    (void)document_.load(path_);
}

xml::Node OptionInfomationObject::option(const std::string& key) const {
    using namespace optionfile;
    return document_.selectSingleNode(Tag(ROOT_TAG) + "/" + Tag(DATA_TAG) + "[@class=" + xml::xpathLiteral(key) + "]");
}

std::string OptionInfomationObject::read(const std::string& key) const {
    xml::Node n = option(key);
    if (n.isNull()) throw notSet();
    return n.text();
}

void OptionInfomationObject::write(const std::string& key, const std::string& value) {
    xml::Node n = option(key);
    if (!n.isNull()) n.setText(value);
}

std::string OptionInfomationObject::UserName() const { return read("user"); }
void OptionInfomationObject::setUserName(const std::string& value) { write("user", value); }
std::string OptionInfomationObject::PassWord() const { return read("password"); }
void OptionInfomationObject::setPassWord(const std::string& value) { write("password", value); }
std::string OptionInfomationObject::Interval() const { return read("interval"); }
void OptionInfomationObject::setInterval(const std::string& value) { write("interval", value); }
int16_t OptionInfomationObject::TimeOut() const { return toInt16(read("timeout")); }
void OptionInfomationObject::setTimeOut(int16_t value) { write("timeout", fromNumber(static_cast<long long>(value))); }
std::string OptionInfomationObject::Bbs() const { return read("bbs"); }
std::string OptionInfomationObject::Program() const { return read("program"); }
std::string OptionInfomationObject::SmtpServer() const { return read("smtpserver"); }
void OptionInfomationObject::setSmtpServer(const std::string& value) { write("smtpserver", value); }
bool OptionInfomationObject::SendMail() const { return toBoolean(read("sendmail")); }
void OptionInfomationObject::setSendMail(bool value) { write("sendmail", fromBoolean(value)); }

std::string OptionInfomationObject::MailAddress() const {
    std::string v = read("mailaddress");
    if (text::toLowerAscii(v.substr(0, kMailto.size())) == kMailto) return v.substr(kMailto.size());
    return v;
}

void OptionInfomationObject::setMailAddress(const std::string& value) {
    if (text::toLowerAscii(value.substr(0, kMailto.size())) == kMailto) write("mailaddress", value);
    else write("mailaddress", kMailto + value);
}

LanguageObject OptionInfomationObject::Language() const {
    std::string v = read("language");
    LanguageObject language;
    if (v == "JP") language.setMode(JP);
    else if (v == "US") language.setMode(US);
    else throw Error(errnum::ClientClassError, kLanguageError, kSource);
    return language;
}

void OptionInfomationObject::setLanguage(const LanguageObject& value) {
    switch (value.Mode()) {
    case JP: write("language", "JP"); break;
    case US: write("language", "US"); break;
    default: throw Error(errnum::ClientClassError, kLanguageError, kSource);
    }
}

int16_t OptionInfomationObject::ScheduleMode() const {
    xml::Node n = option("schedule");
    if (n.isNull() || !n.hasAttribute("mode")) throw notSet();
    return toInt16(n.getAttribute("mode"));
}

void OptionInfomationObject::setScheduleMode(int16_t value) {
    xml::Node n = option("schedule");
    if (n.isNull() || !n.hasAttribute("mode")) throw notSet();
    n.setAttribute("mode", fromNumber(static_cast<long long>(value)));
}

// The schedule time at a position from 1. Times are the schedule element's
// child elements; a comment a person put between them takes no position.
xml::Node OptionInfomationObject::scheduleChild(int16_t intNum) const {
    xml::Node n = option("schedule");
    if (n.isNull()) throw notSet();
    int16_t position = 0;
    for (const xml::Node& child : n.childNodes())
        if (child.type() == xml::NodeType::Element && ++position == intNum) return child;
    throw notSet();
}

ScheduleRecord OptionInfomationObject::ScheduleTime(int16_t intNum) const {
    xml::Node child = scheduleChild(intNum);
    if (!child.hasAttribute("validity")) throw notSet();
    ScheduleRecord record;
    record.blnVaridity = toBoolean(child.getAttribute("validity"));
    record.strTime = child.text();
    return record;
}

void OptionInfomationObject::setScheduleTime(int16_t intNum, const ScheduleRecord& value) {
    xml::Node child = scheduleChild(intNum);
    if (!child.hasAttribute("validity")) throw notSet();
    child.setAttribute("validity", fromBoolean(value.blnVaridity));
    child.setText(value.strTime);
}

bool OptionInfomationObject::save() { return brevik::saveLocked(document_, path_); }

}  // namespace fg
