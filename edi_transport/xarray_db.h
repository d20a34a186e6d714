// A two-dimensional table of values with signed row and column bounds, as the
// document index and its search results use it: cells by (row, column), a
// find of the first matching row, and a sort of rows on keys.
//
// A grid may have no rows (upper row bound = lower row bound - 1).
//
// Codes of find and sort:
//   direction   0 towards higher rows, 1 towards lower rows
//   comparison  1 equal, 2 less, 3 less or equal, 4 greater, 5 greater or
//               equal, 6 not equal (the cell against the value)
//   type        0 text, 1 text without regard to case, 2 number,
//               4 date ("YYYY/MM/DD", "YYYY-MM-DD" or YYYYMMDD),
//               7 whole-number date (YYYYMMDD; a date cell counts as one)
//   order       0 ascending, 1 descending
// A cell that cannot be read as the type never matches. Another code raises
// fg::Error 5; a cell outside the bounds raises error 9.
#pragma once

#include "platform/values.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace fg {

class XArrayDB {
public:
    struct SortKey {
        int32_t column;
        long order = 0;
        long type = 0;
    };

    XArrayDB() = default;
    XArrayDB(int32_t rowLower, int32_t rowUpper, int32_t columnLower, int32_t columnUpper);

    // New bounds; the cells that lie inside both the old and the new bounds
    // keep their values, the others are empty.
    void redim(int32_t rowLower, int32_t rowUpper, int32_t columnLower, int32_t columnUpper);

    // Dimension 1 is the rows, 2 the columns.
    int32_t lowerBound(int dimension) const;
    int32_t upperBound(int dimension) const;
    int32_t count(int dimension) const;

    const Variant& value(int32_t row, int32_t column) const;
    void setValue(int32_t row, int32_t column, Variant v);

    // The first row from `startRow` (in the direction) whose cell in `column`
    // matches `value`; lowerBound(1) - 1 when none does.
    int32_t find(int32_t startRow, int32_t column, const Variant& value, long direction = 0, long comparison = 1,
                 long type = 0) const;
    // Sorts rows firstRow..lastRow; rows equal on every key keep their order.
    void quickSort(int32_t firstRow, int32_t lastRow, const std::vector<SortKey>& keys);

    // Counts the changes made to the grid (cells set, bounds changed, rows
    // sorted), so that what was worked out from its cells can tell whether
    // it still holds.
    std::uint64_t changes() const { return changes_; }

    // Whether a cell matches a value under a comparison and a type.
    static bool matches(const Variant& cell, const Variant& value, long comparison, long type);
    // A date as days since 1970-01-01, from text or a YYYYMMDD number.
    static std::optional<long> dayNumber(const Variant& v);

private:
    std::size_t offset(int32_t row, int32_t column) const;
    // <0, 0 or >0 as a compares with b under the type; nullopt when either
    // cannot be read as the type.
    static std::optional<int> compare(const Variant& a, const Variant& b, long type);

    int32_t rowLower_ = 0, rowUpper_ = -1, columnLower_ = 0, columnUpper_ = -1;
    std::vector<Variant> cells_;
    std::uint64_t changes_ = 0;
};

}  // namespace fg
