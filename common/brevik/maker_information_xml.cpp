#include "common/brevik/maker_information_xml.h"

#include "platform/error.h"

namespace fg {

std::string MakerInformationXML::Tag(int32_t TagType) const {
    switch (TagType) {
    case 0: return "Makers";
    case 1: return "Maker";
    case 2: return "ServerCode";
    case 3: return "Name";
    case 4: return "ThinName";
    case 5: return "ViewNumber";
    case 6: return "Url";
    case 8: return "Behaviores";
    case 9: return "Behavior";
    default: throw Error(errnum::ClientClassError, "Param error.", "MakerInformationXML");
    }
}

}  // namespace fg
