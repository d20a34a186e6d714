// The document index: the index.csv of one or more EDI data archives of one
// information code, loaded into a grid whose columns the code's column file
// names, and the searches the EDI control makes on it.
//
// Column file: <program folder>/<IndexInfo folder of folder.xml>/<code>-info.xml,
//   <IndexInfo COLCOUNT="n"><Col>Customer-code</Col><Col DATATYPE="date">...</Col>...</IndexInfo>
// A Col with attributes must have DATATYPE; its column is a date column, where
// an 8-character field YYYYMMDD is stored as YYYY/MM/DD.
//
// Index grid: rows 0..n-1 in file order, archive after archive; column -1 holds
// the certification key given for the row's archive, columns 0..COLCOUNT-1 the
// fields (quotes removed, a doubled quote read as one, blanks trimmed).
// index.csv is code page 932 text. Blank lines are skipped and the file is
// read to its end; any number of rows loads. An archive without an index.csv
// (in any letter case, at its top) lists no documents. Each archive's
// index.csv is extracted into a work folder of this load alone inside the
// temporary folder ("temp" of folder.xml), and removed after reading.
//
// Nothing raises: loadIndex answers False (the cause goes to the error log,
// source "loadIndex", and loadFault() tells whose fault it was); searches
// answer their empty result: nullptr for a grid, an empty table or list.
#pragma once

#include "edi_transport/xarray_db.h"
#include "platform/values.h"
#include "platform/xml.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace fg {

class Index {
public:
    using Grid = std::shared_ptr<XArrayDB>;
    using StringTable = std::vector<std::vector<std::string>>;  // rows of columns, both from 0

    Index() = default;

    bool loadIndex(const std::vector<std::string>& strArcFileName, const std::string& strInfomationType,
                   const std::vector<std::string>& strCertificateKey);

    // Why the last loadIndex answered False: an archive or its index.csv
    // could not be read (the server's answer is at fault), or this
    // installation failed (its column file, its temporary folder, the
    // arguments). None after a load that succeeded.
    enum class LoadFault { None, Answer, Installation };
    LoadFault loadFault() const { return fault_; }

    // Rows whose cell in the column equals the condition, or begins with it
    // when blnAhead is true (case-sensitive). A null objXArrayDB searches the
    // index and is set to it; pass an earlier result back to narrow it.
    Grid getSearchedXArray(const std::string& strSearchCol, const std::string& strSearchCondition, Grid& objXArrayDB,
                           bool blnAhead);
    // As getSearchedXArray, with the grid's own find codes.
    Grid getSearchedXArrayEx(const std::string& strSearchCol, const Variant& varSearchCondition, Grid& objXArrayDB,
                             long lngDirect, long lngComp, long lngVarType);
    // Rows whose date lies in the range; dates as YYYYMMDD numbers, 0 for an
    // open end. Both ends open: the source grid itself.
    Grid getDateSearchedXArrayEx(const std::string& strSearchCol, long lngStartDate, long lngEndDate,
                                 Grid& objXArrayDB);
    // As the Ex form with date values; Null (or Empty) for an open end. Start
    // after end, or a value that is no date: nullptr.
    Grid getDateSearchedXArray(const std::string& strSearchCol, const Variant& valStartDate,
                               const Variant& valEndDate, Grid& objXArrayDB);
    // Rows of a caller's table whose cell in the named column equals the condition.
    StringTable getSearchedList(const std::string& strSearchCol, const std::string& strSearchCondition,
                                const StringTable& strSearchArray);
    // The distinct non-empty values of a column, in order of first appearance
    // or sorted; {""} when the column holds none.
    std::vector<std::string> getList(const std::string& strSearchCol, bool blnSortFlg);

    Variant InfomationType() const { return {}; }
    void setInfomationType(const Variant&) {}

    // Non-overlapping case-sensitive occurrences; fCompare has no effect.
    long CountOccurrences(const std::string& strIn, const std::string& strFind, long fCompare = 0) const;

    // The index grid itself (nullptr when nothing is loaded).
    Grid getSearchedXArrayAll() { return mxadIndex; }
    // Index rows whose cell equals the condition, columns 0.. (the key column
    // -1 is left out). Answered, like getList, from the rows of the column
    // grouped by value in one pass that is kept while the index stays as it
    // is: a walk over every supplier of the index costs one pass over it,
    // not one per supplier.
    StringTable getSearchedListXArray(const std::string& strSearchCol, const std::string& strSearchCondition);

private:
    bool columnOf(const std::string& name, int32_t& column) const;
    void loadColumnFile(const std::string& informationType, std::vector<bool>& dateColumn);
    void readIndexFile(const std::string& path, const std::string& key, const std::vector<bool>& dateColumn,
                       int32_t& row, int32_t& capacity);

    // The index rows of each non-empty value of a column, in row order, and
    // the values in the order of their first row.
    struct ColumnGroups {
        int32_t column = 0;
        std::uint64_t changes = 0;  // of the index grid when grouped
        std::vector<std::string> values;
        std::unordered_map<std::string, std::vector<int32_t>> rows;
    };
    // The groups of the column, made again when the index grid has changed
    // since (a caller may change the grid it was given).
    const ColumnGroups& groupsOf(int32_t column);

    Grid mxadIndex;
    xml::Document mdomIndexInfo;
    Grid mxadColumnInfo;
    LoadFault fault_ = LoadFault::None;
    std::optional<ColumnGroups> groups_;
};

}  // namespace fg
