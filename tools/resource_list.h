// The data types of the resource update tool, from resource.xml in the
// program folder: <Resources><Resource kind="shown name">folder class</Resource>...
// (the first attribute's value is the name; its attribute name does not matter).
#pragma once

#include "platform/xml.h"

#include <string>
#include <vector>

namespace fg {

class Resource {
public:
    static constexpr const char* kFileName = "resource.xml";

    // Loads resource.xml and answers the data types in file order; one ""
    // when the file cannot be loaded or lists none.
    std::vector<std::string> getResourceName();
    // The folder class of the first entry of that name; "" when none (also
    // before getResourceName has loaded the file).
    std::string getClass(const std::string& strDataType) const;

private:
    xml::Document document_;
};

}  // namespace fg
