// Element names of maker.xml, by number.
#pragma once

#include <cstdint>
#include <string>

namespace fg {

class MakerInformationXML {
public:
    // 0 "Makers", 1 "Maker", 2 "ServerCode", 3 "Name", 4 "ThinName",
    // 5 "ViewNumber", 6 "Url", 8 "Behaviores", 9 "Behavior". Any other
    // number raises ClientClassError "Param error.".
    std::string Tag(int32_t TagType) const;
};

}  // namespace fg
