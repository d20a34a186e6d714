// The report maker lays a fax document out as a layout workbook (number +
// ".xls" in the "ExcelLayout" folder) and deletes it again, which the page
// pipeline does once a layout has been printed and which every roll-back
// does.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace fg {

class FaxReportMaker {
public:
    // What a layout shows of a document's management record.
    struct Addressee {
        std::string repType, sendDate, orderName, company, post, charge, faxNumber;
    };
    // Where makeReport finds the records of its documents: a caller that
    // holds them in hand, not yet stored, gives them here. A number the
    // lookup answers nullopt for, and every number without a lookup, is
    // found in the management-number store, read once per call.
    using AddresseeLookup = std::function<std::optional<Addressee>(const std::string& number)>;
    void setAddresseeLookup(AddresseeLookup lookup) { lookup_ = std::move(lookup); }

    static constexpr const char* kFolderKey = "ExcelLayout";
    static constexpr const char* kExtension = ".xls";

    // Removes the layout of the number. `ok` is True when no layout of that
    // number is left (also when there was none), False when it could not be
    // removed. Raises fg::Error 52 for a number that is no plain file name,
    // and the folder map's error when the "ExcelLayout" folder is unknown.
    void deleteReport(const std::string& number, bool& ok);

    // Lays the fax document of each number ("FaxSendXML" folder, number +
    // ".xml") out as its layout workbook through the installed layout sheet
    // of the report type. On return `workbook` holds the last number. `ok`
    // is False, with the reason logged, when a document or sheet is missing
    // or the result is no layout. The addressee comes from the management
    // record.
    void makeReport(const std::vector<std::string>& files, const std::string& reportType, std::string& workbook,
                    bool& ok);

private:
    AddresseeLookup lookup_;
};

}  // namespace fg
