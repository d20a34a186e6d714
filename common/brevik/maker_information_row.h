// One maker of the client's maker list, held in memory: its key, names,
// address and one behaviour per EDI information code. It reads itself from a
// Maker element and writes itself into a new one.
#pragma once

#include "platform/xml.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fg {

enum ENUM_BEHAVIOR : int32_t {
    CLIENT = 0,
    LUMP = 1,
};

class MakerInformationRow {
public:
    // Empty texts, ViewNumber 0 and every behaviour CLIENT.
    MakerInformationRow();

    // Fills the row from a Maker element. False when the node is null or
    // lacks the key, a child, or the Behavior of any of the 13 codes, or
    // when its ViewNumber is no 16-bit number; fields read before the failure
    // keep their new values.
    bool getDom(const xml::Node& domReadbuff);
    // Appends a new Maker element to the node and fills the first Maker child
    // of the node with the row. False on any failure. The row never changes.
    bool setDom(const xml::Node& domBuff) const;

    std::string Key() const { return key_; }
    void setKey(const std::string& value) { key_ = value; }
    std::string ServerCode() const { return serverCode_; }
    void setServerCode(const std::string& value) { serverCode_ = value; }
    std::string Name() const { return name_; }
    void setName(const std::string& value) { name_ = value; }
    std::string ThinName() const { return thinName_; }
    void setThinName(const std::string& value) { thinName_ = value; }
    int16_t ViewNumber() const { return viewNumber_; }
    void setViewNumber(int16_t value) { viewNumber_ = value; }
    std::string Url() const { return url_; }
    void setUrl(const std::string& value) { url_ = value; }

    // The behaviour of one information code ("0301" ...). A code that is not
    // one of the 13 raises ClientClassError "Property Err". Any value is
    // stored; one other than CLIENT or LUMP is written as an empty text.
    ENUM_BEHAVIOR Behavior(const std::string& Code) const;
    void setBehavior(const std::string& Code, ENUM_BEHAVIOR value);

private:
    std::size_t indexOf(const std::string& code) const;

    std::string key_;
    std::string serverCode_;
    std::string name_;
    std::string thinName_;
    int16_t viewNumber_ = 0;
    std::string url_;
    std::vector<std::string> codes_;          // the information codes, in list order
    std::vector<ENUM_BEHAVIOR> behaviores_;   // one per code
};

}  // namespace fg
