#include "edi_transport/index.h"

#include "common/lintova/zk_parse.h"
#include "common/vantrel/edi_folder_information_object.h"
#include "edi_transport/archive_access.h"
#include "edi_transport/private_folder.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/text.h"

#include <algorithm>

namespace fg {

namespace {

constexpr int32_t kGrowth = 10000;

Error loadError(const std::string& description) { return Error(errnum::PathFileAccessError, description, "loadIndex"); }

bool isBlank(std::string_view line) {
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

// The cell's text; "" for an empty cell.
std::string cellText(const Variant& v) {
    if (v.isEmpty() || v.isNull()) return {};
    return v.toText();
}

bool isEmptyCell(const Variant& v) { return cellText(v).empty(); }

}  // namespace

void Index::loadColumnFile(const std::string& informationType, std::vector<bool>& dateColumn) {
    EdiFolderInformationObject folders;
    std::string path = fs::join(fs::programFolder(), folders.getData("IndexInfo")) + informationType + "-info.xml";
    if (!mdomIndexInfo.load(path)) throw loadError("列情報ファイルを読めません: " + path + " " + mdomIndexInfo.parseError().reason);
    xml::Node root = mdomIndexInfo.selectSingleNode("IndexInfo");
    if (root.isNull() || !root.hasAttribute("COLCOUNT")) throw loadError("列情報ファイルに IndexInfo/@COLCOUNT がありません: " + path);
    int16_t columns = toInt16(root.getAttribute("COLCOUNT"));
    if (columns < 0) throw loadError("COLCOUNT が負です: " + path);
    xml::NodeList cols = mdomIndexInfo.selectNodes("/IndexInfo/Col");
    if (cols.size() < static_cast<std::size_t>(columns))
        throw loadError("列情報ファイルの Col が COLCOUNT より少ないです: " + path);

    mxadColumnInfo = std::make_shared<XArrayDB>(0, columns - 1, 0, 1);
    dateColumn.assign(static_cast<std::size_t>(columns), false);
    for (int32_t i = 0; i < columns; ++i) {
        const xml::Node& col = cols[static_cast<std::size_t>(i)];
        mxadColumnInfo->setValue(i, 0, col.text());
        if (col.attributes().empty()) {
            mxadColumnInfo->setValue(i, 1, std::string());
        } else {
            if (!col.hasAttribute("DATATYPE")) throw loadError("属性のある Col に DATATYPE がありません: " + path);
            mxadColumnInfo->setValue(i, 1, col.getAttribute("DATATYPE"));
            dateColumn[static_cast<std::size_t>(i)] = true;
        }
    }
}

void Index::readIndexFile(const std::string& path, const std::string& key, const std::vector<bool>& dateColumn,
                          int32_t& row, int32_t& capacity) {
    std::string content = text::fromCp932(fs::readFile(path));

    ZkParse parser = indexLineParser();

    const int32_t columns = static_cast<int32_t>(dateColumn.size());
    std::size_t at = 0;
    long lineNumber = 0;
    while (at < content.size()) {
        std::size_t end = content.find_first_of("\r\n", at);
        std::string_view line(content.data() + at, (end == std::string::npos ? content.size() : end) - at);
        at = end == std::string::npos ? content.size() : end + (content.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        ++lineNumber;
        // A blank line is no record, and the documents after it are as real
        // as those before: reading on keeps them from being confirmed unfaxed.
        if (isBlank(line)) continue;

        mxadIndex->setValue(row, -1, key);
        int32_t k = 0;
        for (bool more = parser.Parse(std::string(line)); more; more = parser.NextToken(), ++k) {
            if (k >= columns)
                throw loadError("index.csv の " + std::to_string(lineNumber) + " 行目の項目が列数 " +
                                std::to_string(columns) + " を超えています");
            std::string token = parser.Token();
            if (dateColumn[static_cast<std::size_t>(k)] && parser.Length() == 8)
                token = text::mid16(token, 0, 4) + "/" + text::mid16(token, 4, 2) + "/" + text::mid16(token, 6, 2);
            mxadIndex->setValue(row, k, std::move(token));
        }
        ++row;
        if (row == capacity) {
            capacity += kGrowth;
            mxadIndex->redim(0, capacity - 1, -1, columns - 1);
        }
    }
}

bool Index::loadIndex(const std::vector<std::string>& strArcFileName, const std::string& strInfomationType,
                      const std::vector<std::string>& strCertificateKey) {
    mxadIndex.reset();
    mxadColumnInfo.reset();
    groups_.reset();
    mdomIndexInfo = xml::Document();
    LoadFault fault = LoadFault::Installation;
    try {
        std::vector<bool> dateColumn;
        loadColumnFile(strInfomationType, dateColumn);
        const int32_t columns = static_cast<int32_t>(dateColumn.size());
        const std::string temp = fs::join(fs::programFolder(), EdiFolderInformationObject().getData("temp"));

        int32_t row = 0, capacity = 0;
        for (std::size_t j = 0; j < strArcFileName.size(); ++j) {
            const std::string& archive = strArcFileName[j];
            if (archive.empty()) continue;
            if (j >= strCertificateKey.size())
                throw loadError("認証キーがアーカイブの数より少ないです: " + archive);
            // The grid is sized at the first archive read, wherever it stands
            // in the list.
            if (!mxadIndex) {
                capacity = kGrowth;
                mxadIndex = std::make_shared<XArrayDB>(0, capacity - 1, -1, columns - 1);
            }
            edi::PrivateFolder work(temp, ".index-");
            std::string folder = work.path();
            folder.pop_back();

            fault = LoadFault::Answer;
            std::optional<std::vector<std::string>> entries = edi::storedNames(archive);
            if (!entries) throw Error(errnum::PathFileAccessError, "アーカイブを読めません: " + archive, "loadIndex");
            auto index = std::find_if(entries->begin(), entries->end(),
                                      [](const std::string& e) { return text::icompare(e, "index.csv") == 0; });
            // An archive without an index lists no documents.
            if (index != entries->end()) {
                long expanded = edi::expandMember(archive, folder, *index);
                if (expanded != 0) throw Error(expanded, "index.csv を展開できません: " + archive, "loadIndex");
                readIndexFile(work.path() + *index, strCertificateKey[j], dateColumn, row, capacity);
            }
            fault = LoadFault::Installation;
        }
        if (!mxadIndex) throw loadError("読み込むアーカイブがありません");
        mxadIndex->redim(0, row - 1, -1, columns - 1);
        fault_ = LoadFault::None;
        return true;
    } catch (...) {
        mxadIndex.reset();
        fault_ = fault;
        Error error = currentError();
        ErrorLogWriter().writeError("loadIndex", error.number(),
                                    "索引を読み込めません (" + strInfomationType + "): " + error.description());
        return false;
    }
}

bool Index::columnOf(const std::string& name, int32_t& column) const {
    if (!mxadColumnInfo || mxadColumnInfo->count(1) == 0) return false;
    int32_t row = mxadColumnInfo->find(0, 0, name, 0, 1, 0);
    if (row < mxadColumnInfo->lowerBound(1)) return false;
    column = row;
    return true;
}

namespace {

// Copies the listed rows of `source` into a new grid with the same columns.
Index::Grid copyRows(const XArrayDB& source, const std::vector<int32_t>& rows) {
    int32_t l1 = source.lowerBound(1), l2 = source.lowerBound(2), u2 = source.upperBound(2);
    auto result = std::make_shared<XArrayDB>(l1, l1 + static_cast<int32_t>(rows.size()) - 1, l2, u2);
    for (std::size_t k = 0; k < rows.size(); ++k)
        for (int32_t c = l2; c <= u2; ++c) result->setValue(l1 + static_cast<int32_t>(k), c, source.value(rows[k], c));
    return result;
}

bool columnInside(const XArrayDB& grid, int32_t column) {
    return column >= grid.lowerBound(2) && column <= grid.upperBound(2);
}

// The rows that `find` reaches from each non-empty row on, as the searches walk.
template <class Find>
std::vector<int32_t> walk(const XArrayDB& source, int32_t column, Find find) {
    std::vector<int32_t> rows;
    int32_t none = source.lowerBound(1) - 1;
    for (int32_t i = source.lowerBound(1); i <= source.upperBound(1);) {
        if (isEmptyCell(source.value(i, column))) {
            ++i;
            continue;
        }
        int32_t n = find(i);
        if (n == none) break;
        if (!isEmptyCell(source.value(n, column))) rows.push_back(n);
        i = n + 1;
    }
    return rows;
}

}  // namespace

Index::Grid Index::getSearchedXArray(const std::string& strSearchCol, const std::string& strSearchCondition,
                                     Grid& objXArrayDB, bool blnAhead) {
    try {
        int32_t c;
        if (!columnOf(strSearchCol, c) || strSearchCondition.empty()) return nullptr;
        if (!objXArrayDB) objXArrayDB = mxadIndex;
        if (!objXArrayDB || !columnInside(*objXArrayDB, c)) return nullptr;
        const XArrayDB& source = *objXArrayDB;
        std::vector<int32_t> rows;
        if (blnAhead) {
            for (int32_t i = source.lowerBound(1); i <= source.upperBound(1); ++i) {
                std::string cell = cellText(source.value(i, c));
                if (!cell.empty() && cell.compare(0, strSearchCondition.size(), strSearchCondition) == 0 &&
                    cell.size() >= strSearchCondition.size())
                    rows.push_back(i);
            }
        } else {
            rows = walk(source, c, [&](int32_t i) { return source.find(i, c, strSearchCondition, 0, 1, 0); });
        }
        return copyRows(source, rows);
    } catch (const std::exception&) {
        return nullptr;
    }
}

Index::Grid Index::getSearchedXArrayEx(const std::string& strSearchCol, const Variant& varSearchCondition,
                                       Grid& objXArrayDB, long lngDirect, long lngComp, long lngVarType) {
    try {
        int32_t c;
        if (!columnOf(strSearchCol, c)) return nullptr;
        if (varSearchCondition.isEmpty() || (varSearchCondition.isText() && varSearchCondition.toText().empty()))
            return nullptr;
        if (!objXArrayDB) objXArrayDB = mxadIndex;
        if (!objXArrayDB || !columnInside(*objXArrayDB, c)) return nullptr;
        const XArrayDB& source = *objXArrayDB;
        int32_t none = source.lowerBound(1) - 1;
        std::vector<int32_t> rows = walk(source, c, [&](int32_t i) {
            int32_t n = source.find(i, c, varSearchCondition, lngDirect, lngComp, lngVarType);
            // Searching towards lower rows would find the same row again and
            // again; the walk only goes forward.
            return n < i ? none : n;
        });
        return copyRows(source, rows);
    } catch (const std::exception&) {
        return nullptr;
    }
}

Index::Grid Index::getDateSearchedXArrayEx(const std::string& strSearchCol, long lngStartDate, long lngEndDate,
                                           Grid& objXArrayDB) {
    try {
        int32_t c;
        if (!columnOf(strSearchCol, c)) return nullptr;
        if (!objXArrayDB) objXArrayDB = mxadIndex;
        if (!objXArrayDB || !columnInside(*objXArrayDB, c)) return nullptr;
        if (lngStartDate == 0 && lngEndDate == 0) return objXArrayDB;
        const XArrayDB& source = *objXArrayDB;
        Variant start(static_cast<long long>(lngStartDate)), end(static_cast<long long>(lngEndDate));
        std::vector<int32_t> rows;
        if (lngStartDate != 0) {
            for (int32_t n : walk(source, c, [&](int32_t i) { return source.find(i, c, start, 0, 5, 7); }))
                if (lngEndDate == 0 || XArrayDB::matches(source.value(n, c), end, 3, 7)) rows.push_back(n);
        } else {
            rows = walk(source, c, [&](int32_t i) { return source.find(i, c, end, 0, 3, 7); });
        }
        return copyRows(source, rows);
    } catch (const std::exception&) {
        return nullptr;
    }
}

Index::Grid Index::getDateSearchedXArray(const std::string& strSearchCol, const Variant& valStartDate,
                                         const Variant& valEndDate, Grid& objXArrayDB) {
    try {
        int32_t c;
        if (!columnOf(strSearchCol, c)) return nullptr;
        if (!objXArrayDB) objXArrayDB = mxadIndex;
        if (!objXArrayDB || !columnInside(*objXArrayDB, c)) return nullptr;
        bool openStart = valStartDate.isNull() || valStartDate.isEmpty();
        bool openEnd = valEndDate.isNull() || valEndDate.isEmpty();
        if (openStart && openEnd) return objXArrayDB;
        std::optional<long> start, end;
        if (!openStart && !(start = XArrayDB::dayNumber(valStartDate))) return nullptr;
        if (!openEnd && !(end = XArrayDB::dayNumber(valEndDate))) return nullptr;
        if (start && end && *start > *end) return nullptr;
        const XArrayDB& source = *objXArrayDB;
        std::vector<int32_t> rows;
        if (start) {
            for (int32_t n : walk(source, c, [&](int32_t i) { return source.find(i, c, valStartDate, 0, 5, 4); }))
                if (!end || XArrayDB::matches(source.value(n, c), valEndDate, 3, 4)) rows.push_back(n);
        } else {
            rows = walk(source, c, [&](int32_t i) { return source.find(i, c, valEndDate, 0, 3, 4); });
        }
        return copyRows(source, rows);
    } catch (const std::exception&) {
        return nullptr;
    }
}

Index::StringTable Index::getSearchedList(const std::string& strSearchCol, const std::string& strSearchCondition,
                                          const StringTable& strSearchArray) {
    try {
        int32_t c;
        if (!columnOf(strSearchCol, c) || strSearchCondition.empty() || strSearchArray.empty()) return {};
        std::size_t width = 0;
        for (const auto& r : strSearchArray) width = std::max(width, r.size());
        if (static_cast<std::size_t>(c) >= width) return {};
        StringTable out;
        for (const auto& r : strSearchArray)
            if (static_cast<std::size_t>(c) < r.size() && r[static_cast<std::size_t>(c)] == strSearchCondition) {
                out.push_back(r);
                out.back().resize(width);
            }
        return out;
    } catch (const std::exception&) {
        return {};
    }
}

const Index::ColumnGroups& Index::groupsOf(int32_t column) {
    if (groups_ && groups_->column == column && groups_->changes == mxadIndex->changes()) return *groups_;
    groups_.reset();
    ColumnGroups groups;
    groups.column = column;
    groups.changes = mxadIndex->changes();
    // One cell of each row is read, a row's width apart: the cell some rows
    // ahead is asked for while this one is grouped, so that the pass over a
    // large index does not wait on memory row by row.
    const int32_t last = mxadIndex->upperBound(1);
    constexpr int32_t kAhead = 8;
    for (int32_t i = 0; i <= last; ++i) {
        if (i + kAhead <= last) __builtin_prefetch(&mxadIndex->value(i + kAhead, column));
        std::string cell = cellText(mxadIndex->value(i, column));
        if (cell.empty()) continue;
        auto [at, first] = groups.rows.try_emplace(std::move(cell));
        if (first) groups.values.push_back(at->first);
        at->second.push_back(i);
    }
    groups_ = std::move(groups);
    return *groups_;
}

std::vector<std::string> Index::getList(const std::string& strSearchCol, bool blnSortFlg) {
    try {
        int32_t c;
        if (!mxadIndex || !columnOf(strSearchCol, c) || !columnInside(*mxadIndex, c)) return {};
        std::vector<std::string> list = groupsOf(c).values;
        if (list.empty()) return {""};
        if (blnSortFlg) std::sort(list.begin(), list.end());
        return list;
    } catch (const std::exception&) {
        return {};
    }
}

long Index::CountOccurrences(const std::string& strIn, const std::string& strFind, long) const {
    if (strIn.empty() || strFind.empty()) return 0;
    long count = 0;
    for (std::size_t at = strIn.find(strFind); at != std::string::npos; at = strIn.find(strFind, at + strFind.size()))
        ++count;
    return count;
}

Index::StringTable Index::getSearchedListXArray(const std::string& strSearchCol,
                                                const std::string& strSearchCondition) {
    try {
        int32_t c;
        if (!mxadIndex || !columnOf(strSearchCol, c) || strSearchCondition.empty() || !columnInside(*mxadIndex, c))
            return {};
        const ColumnGroups& groups = groupsOf(c);
        auto found = groups.rows.find(strSearchCondition);
        if (found == groups.rows.end()) return {};
        const XArrayDB& source = *mxadIndex;
        StringTable out;
        out.reserve(found->second.size());
        const std::vector<int32_t>& rows = found->second;
        const int32_t width = source.upperBound(2) + 1;
        // A supplier's rows lie spread over the grid: the cells of a row two
        // ahead are asked for while this one is copied, so that a walk of a
        // large index does not wait on memory row by row. A row's cells lie
        // side by side, from the key column on.
        const std::size_t rowBytes = sizeof(Variant) * static_cast<std::size_t>(width + 1);
        auto prefetch = [&](std::size_t j) {
            if (j >= rows.size()) return;
            const char* first = reinterpret_cast<const char*>(&source.value(rows[j], source.lowerBound(2)));
            for (std::size_t b = 0; b < rowBytes; b += 64) __builtin_prefetch(first + b);
        };
        prefetch(0);
        prefetch(1);
        for (std::size_t j = 0; j < rows.size(); ++j) {
            prefetch(j + 2);
            const int32_t n = rows[j];
            std::vector<std::string> row;
            row.reserve(static_cast<std::size_t>(width));
            for (int32_t k = 0; k < width; ++k) row.push_back(cellText(source.value(n, k)));
            out.push_back(std::move(row));
        }
        return out;
    } catch (const std::exception&) {
        return {};
    }
}

}  // namespace fg
