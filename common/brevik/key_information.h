// A client key file: the client certification key and the EDI server's code,
// name and address, read-only.
#pragma once

#include "platform/xml.h"

#include <cstdint>
#include <string>

namespace fg {

// Element names of a key file.
namespace keyfile {
enum KEY_TAG_TYPE : int32_t {
    ROOT_TAG = 0,  // "Key-information"
    KEY_TAG = 1,   // "CertificationKey"
    CODE_TAG = 2,  // "Edi-Server-Code"
    NAME_TAG = 3,  // "Edi-Server-Name"
    URL_TAG = 4,   // "Edi-Server-URL"
};
// The element name of a tag type; "" for any other value.
std::string Tag(KEY_TAG_TYPE TagType);
}  // namespace keyfile

class KeyInformation {
public:
    // Loads a key file (any name); False when it does not load. May be
    // called again to read another file.
    bool load(const std::string& FileName);

    // The values of the last loaded file. Before a load, or when the element
    // is missing, they raise error 91. The lets take a value and keep
    // nothing: the file is read-only here.
    std::string Key() const;
    void setKey(const std::string&) {}
    std::string Code() const;
    void setCode(const std::string&) {}
    std::string Name() const;
    void setName(const std::string&) {}
    std::string Url() const;
    void setUrl(const std::string&) {}

private:
    std::string value(keyfile::KEY_TAG_TYPE tag) const;

    xml::Document document_;
};

}  // namespace fg
