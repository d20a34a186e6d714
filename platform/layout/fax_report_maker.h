// The report maker lays a fax document out as a layout workbook (number +
// ".xls" in the "ExcelLayout" folder) and deletes it again. This is its
// least form: deleting a number's layout, which the page pipeline does once
// a layout has been printed and which every roll-back does.
#pragma once

#include <string>

namespace fg {

class FaxReportMaker {
public:
    static constexpr const char* kFolderKey = "ExcelLayout";
    static constexpr const char* kExtension = ".xls";

    // Removes the layout of the number. `ok` is True when no layout of that
    // number is left (also when there was none), False when it could not be
    // removed. Raises fg::Error 52 for a number that is no plain file name,
    // and the folder map's error when the "ExcelLayout" folder is unknown.
    void deleteReport(const std::string& number, bool& ok);
};

}  // namespace fg
