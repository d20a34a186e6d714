// The EDI information codes: each by name, all in their fixed order, and
// the key columns that identify one document of each kind.
#pragma once

#include "platform/values.h"

#include <string>

namespace fg {

// The codes by name, for callers that want one code without the object:
// the one place each is written.
namespace infocode {
inline constexpr const char* RFQ = "0301";
inline constexpr const char* RFQANS = "0302";
inline constexpr const char* ORDER = "0500";
inline constexpr const char* ORDERBALANCE = "0601";
inline constexpr const char* REQUEST = "0701";
inline constexpr const char* REQUESTANS = "0702";
inline constexpr const char* DELIVERY = "0704";
inline constexpr const char* ARRIVAL = "0705";
inline constexpr const char* INSPECTION = "0801";
inline constexpr const char* CUSTOMSREQUEST = "0303";
inline constexpr const char* CUSTOMS = "0304";
inline constexpr const char* RECEIVING = "0901";
inline constexpr const char* ADVANCE = "1101";
}  // namespace infocode

class InformationCode {
public:
    using Columns = Collection<std::string>;

    InformationCode();

    // The 13 codes in the order callers address by position (1-based):
    // "0301", "0302", "0500", "0601", "0701", "0702", "0704", "0705",
    // "0801", "0303", "0304", "0901", "1101".
    Collection<std::string>& List() { return list_; }
    const Collection<std::string>& List() const { return list_; }
    void setList(Collection<std::string> list) { list_ = std::move(list); }

    // Key column names by code (keys without case), plus "REPLY".
    Collection<Columns>& Key() { return key_; }
    const Collection<Columns>& Key() const { return key_; }
    void setKey(Collection<Columns> key) { key_ = std::move(key); }

    std::string RFQ() const { return infocode::RFQ; }
    std::string RFQANS() const { return infocode::RFQANS; }
    std::string ORDER() const { return infocode::ORDER; }
    std::string ORDERBALANCE() const { return infocode::ORDERBALANCE; }
    std::string REQUEST() const { return infocode::REQUEST; }
    std::string REQUESTANS() const { return infocode::REQUESTANS; }
    std::string DELIVERY() const { return infocode::DELIVERY; }
    std::string ARRIVAL() const { return infocode::ARRIVAL; }
    std::string INSPECTION() const { return infocode::INSPECTION; }
    std::string CUSTOMSREQUEST() const { return infocode::CUSTOMSREQUEST; }
    std::string CUSTOMS() const { return infocode::CUSTOMS; }
    std::string RECEIVING() const { return infocode::RECEIVING; }
    std::string ADVANCE() const { return infocode::ADVANCE; }

private:
    Collection<std::string> list_;
    Collection<Columns> key_;
};

}  // namespace fg
