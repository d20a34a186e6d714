#include "tools/resource_list.h"

#include "platform/files.h"

namespace fg {

namespace {

std::string firstAttribute(const xml::Node& element) {
    auto attributes = element.attributes();
    return attributes.empty() ? std::string() : attributes.front().second;
}

}  // namespace

std::vector<std::string> Resource::getResourceName() {
    std::vector<std::string> names;
    if (document_.load(fs::programFolder() + kFileName)) {
        for (const xml::Node& entry : document_.selectNodes("//Resources/Resource")) names.push_back(firstAttribute(entry));
    }
    if (names.empty()) names.emplace_back();
    return names;
}

std::string Resource::getClass(const std::string& strDataType) const {
    for (const xml::Node& entry : document_.selectNodes("//Resources/Resource"))
        if (firstAttribute(entry) == strDataType) return entry.text();
    return {};
}

}  // namespace fg
