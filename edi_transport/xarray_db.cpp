#include "edi_transport/xarray_db.h"

#include "platform/error.h"
#include "platform/text.h"

#include <algorithm>
#include <numeric>

namespace fg {

namespace {

int32_t extent(int32_t lower, int32_t upper) { return upper >= lower ? upper - lower + 1 : 0; }

void checkDimension(int dimension) {
    if (dimension != 1 && dimension != 2) throw Error::standard(errnum::SubscriptOutOfRange, "XArrayDB");
}

bool validDate(long y, long m, long d) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return d <= days[m - 1] + (m == 2 && leap ? 1 : 0);
}

long daysFromCivil(long y, long m, long d) {
    y -= m <= 2;
    long era = (y >= 0 ? y : y - 399) / 400;
    long yoe = y - era * 400;
    long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool allDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Year, month and day of a date text or a YYYYMMDD number.
std::optional<long> yyyymmdd(const Variant& v) {
    if (v.isNumber()) {
        double n = v.toNumber();
        if (n < 0 || n != static_cast<double>(static_cast<long>(n))) return std::nullopt;
        long whole = static_cast<long>(n);
        if (!validDate(whole / 10000, whole / 100 % 100, whole % 100)) return std::nullopt;
        return whole;
    }
    if (!v.isText()) return std::nullopt;
    std::string s = text::trimBlanks(v.toText());
    long y, m, d;
    if (s.size() == 8 && allDigits(s)) {
        y = std::stol(s.substr(0, 4)), m = std::stol(s.substr(4, 2)), d = std::stol(s.substr(6, 2));
    } else if (s.size() == 10 && (s[4] == '/' || s[4] == '-') && s[7] == s[4] && allDigits(s.substr(0, 4)) &&
               allDigits(s.substr(5, 2)) && allDigits(s.substr(8, 2))) {
        y = std::stol(s.substr(0, 4)), m = std::stol(s.substr(5, 2)), d = std::stol(s.substr(8, 2));
    } else {
        return std::nullopt;
    }
    if (!validDate(y, m, d)) return std::nullopt;
    return y * 10000 + m * 100 + d;
}

std::optional<std::string> asText(const Variant& v) {
    if (v.isNull()) return std::nullopt;
    try {
        return v.toText();
    } catch (const Error&) {
        return std::nullopt;
    }
}

std::optional<double> asNumber(const Variant& v) {
    if (v.isEmpty() || v.isNull()) return std::nullopt;
    try {
        return v.toNumber();
    } catch (const Error&) {
        return std::nullopt;
    }
}

template <class T>
int order(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

XArrayDB::XArrayDB(int32_t rowLower, int32_t rowUpper, int32_t columnLower, int32_t columnUpper) {
    redim(rowLower, rowUpper, columnLower, columnUpper);
}

void XArrayDB::redim(int32_t rowLower, int32_t rowUpper, int32_t columnLower, int32_t columnUpper) {
    if (rowUpper < rowLower - 1 || columnUpper < columnLower - 1)
        throw Error::standard(errnum::SubscriptOutOfRange, "XArrayDB");
    int32_t rows = extent(rowLower, rowUpper), columns = extent(columnLower, columnUpper);
    ++changes_;
    if (columnLower == columnLower_ && columnUpper == columnUpper_ && rowLower == rowLower_) {
        // Growing or cutting rows only: the cells stay where they are.
        cells_.resize(static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns));
        rowUpper_ = rowUpper;
        return;
    }
    std::vector<Variant> cells(static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns));
    for (int32_t r = std::max(rowLower, rowLower_); r <= std::min(rowUpper, rowUpper_); ++r)
        for (int32_t c = std::max(columnLower, columnLower_); c <= std::min(columnUpper, columnUpper_); ++c)
            cells[static_cast<std::size_t>(r - rowLower) * static_cast<std::size_t>(columns) +
                  static_cast<std::size_t>(c - columnLower)] = std::move(cells_[offset(r, c)]);
    cells_ = std::move(cells);
    rowLower_ = rowLower, rowUpper_ = rowUpper, columnLower_ = columnLower, columnUpper_ = columnUpper;
}

int32_t XArrayDB::lowerBound(int dimension) const {
    checkDimension(dimension);
    return dimension == 1 ? rowLower_ : columnLower_;
}

int32_t XArrayDB::upperBound(int dimension) const {
    checkDimension(dimension);
    return dimension == 1 ? rowUpper_ : columnUpper_;
}

int32_t XArrayDB::count(int dimension) const {
    checkDimension(dimension);
    return dimension == 1 ? extent(rowLower_, rowUpper_) : extent(columnLower_, columnUpper_);
}

std::size_t XArrayDB::offset(int32_t row, int32_t column) const {
    if (row < rowLower_ || row > rowUpper_ || column < columnLower_ || column > columnUpper_)
        throw Error::standard(errnum::SubscriptOutOfRange, "XArrayDB");
    return static_cast<std::size_t>(row - rowLower_) * static_cast<std::size_t>(extent(columnLower_, columnUpper_)) +
           static_cast<std::size_t>(column - columnLower_);
}

const Variant& XArrayDB::value(int32_t row, int32_t column) const { return cells_[offset(row, column)]; }

void XArrayDB::setValue(int32_t row, int32_t column, Variant v) {
    cells_[offset(row, column)] = std::move(v);
    ++changes_;
}

std::optional<long> XArrayDB::dayNumber(const Variant& v) {
    auto whole = yyyymmdd(v);
    if (!whole) return std::nullopt;
    return daysFromCivil(*whole / 10000, *whole / 100 % 100, *whole % 100);
}

std::optional<int> XArrayDB::compare(const Variant& a, const Variant& b, long type) {
    switch (type) {
    case 0: {
        auto x = asText(a), y = asText(b);
        if (!x || !y) return std::nullopt;
        return order(*x, *y);
    }
    case 1: {
        auto x = asText(a), y = asText(b);
        if (!x || !y) return std::nullopt;
        int c = text::icompare(*x, *y);
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    case 2: {
        auto x = asNumber(a), y = asNumber(b);
        if (!x || !y) return std::nullopt;
        return order(*x, *y);
    }
    case 4: {
        auto x = dayNumber(a), y = dayNumber(b);
        if (!x || !y) return std::nullopt;
        return order(*x, *y);
    }
    case 7: {
        auto x = yyyymmdd(a), y = yyyymmdd(b);
        if (!x || !y) return std::nullopt;
        return order(*x, *y);
    }
    default:
        throw Error::standard(errnum::InvalidProcedureCall, "XArrayDB");
    }
}

bool XArrayDB::matches(const Variant& cell, const Variant& value, long comparison, long type) {
    if (comparison < 1 || comparison > 6) throw Error::standard(errnum::InvalidProcedureCall, "XArrayDB");
    auto c = compare(cell, value, type);
    if (!c) return false;
    switch (comparison) {
    case 1: return *c == 0;
    case 2: return *c < 0;
    case 3: return *c <= 0;
    case 4: return *c > 0;
    case 5: return *c >= 0;
    default: return *c != 0;
    }
}

int32_t XArrayDB::find(int32_t startRow, int32_t column, const Variant& value, long direction, long comparison,
                       long type) const {
    if (direction != 0 && direction != 1) throw Error::standard(errnum::InvalidProcedureCall, "XArrayDB");
    if (column < columnLower_ || column > columnUpper_) throw Error::standard(errnum::SubscriptOutOfRange, "XArrayDB");
    if (direction == 0) {
        for (int32_t r = std::max(startRow, rowLower_); r <= rowUpper_; ++r)
            if (matches(cells_[offset(r, column)], value, comparison, type)) return r;
    } else {
        for (int32_t r = std::min(startRow, rowUpper_); r >= rowLower_; --r)
            if (matches(cells_[offset(r, column)], value, comparison, type)) return r;
    }
    return rowLower_ - 1;
}

void XArrayDB::quickSort(int32_t firstRow, int32_t lastRow, const std::vector<SortKey>& keys) {
    if (firstRow > lastRow) return;
    if (firstRow < rowLower_ || lastRow > rowUpper_) throw Error::standard(errnum::SubscriptOutOfRange, "XArrayDB");
    for (const SortKey& key : keys) {
        if (key.column < columnLower_ || key.column > columnUpper_)
            throw Error::standard(errnum::SubscriptOutOfRange, "XArrayDB");
        if (key.order != 0 && key.order != 1) throw Error::standard(errnum::InvalidProcedureCall, "XArrayDB");
        compare(Variant(), Variant(), key.type);  // refuses an unknown type before anything moves
    }
    ++changes_;
    int32_t columns = extent(columnLower_, columnUpper_);
    std::vector<int32_t> rows(static_cast<std::size_t>(lastRow - firstRow + 1));
    std::iota(rows.begin(), rows.end(), firstRow);
    std::stable_sort(rows.begin(), rows.end(), [&](int32_t a, int32_t b) {
        for (const SortKey& key : keys) {
            const Variant& x = value(a, key.column);
            const Variant& y = value(b, key.column);
            auto c = compare(x, y, key.type);
            int v = 0;
            if (c) {
                v = key.order == 1 ? -*c : *c;
            } else {
                // A cell that cannot be read as the type sorts after every one that can.
                bool xOk = compare(x, x, key.type).has_value();
                bool yOk = compare(y, y, key.type).has_value();
                v = xOk == yOk ? 0 : (xOk ? -1 : 1);
            }
            if (v != 0) return v < 0;
        }
        return false;
    });
    std::vector<Variant> moved(rows.size() * static_cast<std::size_t>(columns));
    for (std::size_t i = 0; i < rows.size(); ++i)
        for (int32_t c = 0; c < columns; ++c)
            moved[i * static_cast<std::size_t>(columns) + static_cast<std::size_t>(c)] =
                cells_[offset(rows[i], columnLower_ + c)];
    for (std::size_t i = 0; i < rows.size(); ++i)
        for (int32_t c = 0; c < columns; ++c)
            cells_[offset(firstRow + static_cast<int32_t>(i), columnLower_ + c)] =
                std::move(moved[i * static_cast<std::size_t>(columns) + static_cast<std::size_t>(c)]);
}

}  // namespace fg
