// The host's store of a control's saved properties: names to values, where
// a value equal to the property's default is left out.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <variant>

namespace fg::parvolt {

class PropertyBag {
public:
    using Value = std::variant<std::int32_t, std::int16_t, bool, std::string>;

    // Stores the value, or drops the name when the value is the default.
    void writeProperty(const std::string& name, const Value& value, const Value& defaultValue);
    // The stored value, or the default when the bag lacks the name or holds
    // a value of another kind.
    Value readProperty(const std::string& name, const Value& defaultValue) const;

    bool has(const std::string& name) const { return values_.count(name) != 0; }
    std::size_t size() const { return values_.size(); }

private:
    std::map<std::string, Value> values_;
};

}  // namespace fg::parvolt
