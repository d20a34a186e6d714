// Many management records read, or changed, at once. FaxManageNum reads or
// rewrites the whole store for every record it touches; a batch of fax
// documents, the page pipeline or a layout of many documents reads the store
// once (StoredRecords) and writes all its changes in one locked
// load-change-save (StoreChanges), each change made as the FaxManageNum member
// that makes it alone would make it.
#pragma once

#include "settings/fax_manage_num.h"

#include <array>
#include <string>
#include <unordered_map>
#include <vector>

namespace fg {

// One management record: its fields by position (FaxManageNum::kFieldNames),
// the entries of its three lists apart.
struct ManageRecord {
    // Positions 3 to 5, the lists, are not used here.
    std::array<std::string, FaxManageNum::kFieldCount> fields;
    std::vector<std::string> tempImages;  // FAXTempImageFileNames
    std::vector<std::string> refImages;   // FAXRefImageFileNames
    std::vector<std::string> sendXml;     // FAXSendXMLFileNames

    const std::string& number() const { return fields[1]; }
    const std::string& title() const { return fields[2]; }  // the report type
};

// The store as one read found it.
class StoredRecords {
public:
    // Reads the store of the installation once. A store that does not load
    // holds no records; why is traced, as FaxManageNum traces it.
    StoredRecords();

    // The record of the number as FaxManageNum::getManageNum finds it (the
    // first whose second field is the number), nullptr when it finds none.
    // While the store holds a record short of its fields, every number
    // answers nullptr: getManageNum, which a caller then asks, tells why.
    const ManageRecord* find(const std::string& number) const;
    // Whether every record of the store was read: False when it did not
    // load or holds a record short of its fields.
    [[nodiscard]] bool complete() const { return loaded_ && whole_; }
    // The records read, in store order.
    const std::vector<ManageRecord>& records() const { return records_; }

private:
    bool loaded_ = false;
    std::vector<ManageRecord> records_;
    std::unordered_map<std::string, std::size_t> first_;
    bool whole_ = true;
};

// Changes made to the store in one locked load-change-save, in the order
// they were given.
class StoreChanges {
public:
    // Appended as setManageNum("0") appends a record, its lists' entries with
    // it (an empty name gives an empty entry), a blank DecisionCondition
    // stored as "9".
    void add(const ManageRecord& record);
    // Appended to the number's record as subAddTempImageFileNames and then
    // subAddRefImageFileNames append them.
    void addPages(const std::string& number, const std::vector<std::string>& names);
    // Both page lists of the number's first record (found as getManageNum
    // finds it) replaced; nothing when the number is not on file.
    void replacePages(const std::string& number, const std::vector<std::string>& temp,
                      const std::vector<std::string>& ref);
    // Removed as delManageNum removes a number's record.
    void remove(const std::string& number);

    [[nodiscard]] bool empty() const { return changes_.empty(); }

    // Makes the changes under the store's lock and saves the store once.
    // Pages for a number that has no record (NoTempImageRecord, or
    // NoRefImageRecord) end the changes there: those before are saved and
    // that error raised, as the members called one after another would leave
    // the store. Any other
    // failure (a store that does not load, one without FAXManageNums, a
    // record short of its fields, a failed save) saves nothing and raises
    // its fg::Error. The changes are spent either way.
    void apply();

    struct Change {
        enum Kind { Add, AddPages, ReplacePages, Remove } kind;
        ManageRecord record;  // the record, or the number and the pages
    };

private:
    std::vector<Change> changes_;
};

}  // namespace fg
