// The EDI information codes: each by name, all in their fixed order, and
// the key columns that identify one document of each kind.
#pragma once

#include "platform/values.h"

#include <string>

namespace fg {

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

    std::string RFQ() const { return "0301"; }
    std::string RFQANS() const { return "0302"; }
    std::string ORDER() const { return "0500"; }
    std::string ORDERBALANCE() const { return "0601"; }
    std::string REQUEST() const { return "0701"; }
    std::string REQUESTANS() const { return "0702"; }
    std::string DELIVERY() const { return "0704"; }
    std::string ARRIVAL() const { return "0705"; }
    std::string INSPECTION() const { return "0801"; }
    std::string CUSTOMSREQUEST() const { return "0303"; }
    std::string CUSTOMS() const { return "0304"; }
    std::string RECEIVING() const { return "0901"; }
    std::string ADVANCE() const { return "1101"; }

private:
    Collection<std::string> list_;
    Collection<Columns> key_;
};

}  // namespace fg
