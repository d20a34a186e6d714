#include "archive/parvolt/property_bag.h"

namespace fg::parvolt {

void PropertyBag::writeProperty(const std::string& name, const Value& value, const Value& defaultValue) {
    if (value == defaultValue)
        values_.erase(name);
    else
        values_[name] = value;
}

PropertyBag::Value PropertyBag::readProperty(const std::string& name, const Value& defaultValue) const {
    auto it = values_.find(name);
    if (it == values_.end() || it->second.index() != defaultValue.index()) return defaultValue;
    return it->second;
}

}  // namespace fg::parvolt
