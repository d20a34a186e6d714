#include "common/brevik/key_information.h"

#include "platform/error.h"

namespace fg {

std::string keyfile::Tag(KEY_TAG_TYPE TagType) {
    switch (TagType) {
    case ROOT_TAG: return "Key-information";
    case KEY_TAG: return "CertificationKey";
    case CODE_TAG: return "Edi-Server-Code";
    case NAME_TAG: return "Edi-Server-Name";
    case URL_TAG: return "Edi-Server-URL";
    default: return {};
    }
}

bool KeyInformation::load(const std::string& FileName) { return document_.load(FileName); }

std::string KeyInformation::value(keyfile::KEY_TAG_TYPE tag) const {
    xml::Node n = document_.selectSingleNode(keyfile::Tag(keyfile::ROOT_TAG) + "/" + keyfile::Tag(tag));
    if (n.isNull()) throw Error::standard(errnum::ObjectNotSet, "KeyInformation");
    return n.text();
}

std::string KeyInformation::Key() const { return value(keyfile::KEY_TAG); }
std::string KeyInformation::Code() const { return value(keyfile::CODE_TAG); }
std::string KeyInformation::Name() const { return value(keyfile::NAME_TAG); }
std::string KeyInformation::Url() const { return value(keyfile::URL_TAG); }

}  // namespace fg
