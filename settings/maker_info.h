// The registered suppliers: one supplier file per supplier, every "*.XML" of
// the folder of key "MakerInfo", visited in listing order. A file's values
// are the texts of its Supplier-code, Supplier-name, Person-name,
// Section-name, E-mail, Telephone-number, Fax-number and
// Relative-client-code elements, found by name anywhere (the last one
// counts). Fax numbers are held and compared in digit form: the ASCII digits
// of the text, in order, nothing else.
//
// The EDI control replaces the whole set while the document builder, the
// telephone handler and the job programs look suppliers up. The lookups hold
// the supplier folder's shared lock and saveMakerInfo swaps the new set in
// under its exclusive lock, so a lookup sees the old set or the new one,
// never none or half. A replacement queues new lookups behind it (a gate
// lock, ".writer-gate.lock" in the supplier folder), so that lookups in a
// tight loop cannot keep it out.
//
// A process keeps what its lookups have read of the folder, for all its
// MakerInfo objects, while a watch on the folder tells of no change to a
// supplier file: a fetch that meets thousands of suppliers reads each file
// once, not once per supplier. Any change, made by any process, is seen by
// the next lookup, which answers what reading the folder then would.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace fg {

class MakerInfo {
public:
    // Reads the folder of "MakerInfo"; raises that lookup's fg::Error.
    MakerInfo();

    static constexpr const char* kErrorSource = "MakerInfo";
    static constexpr const char* kPattern = "*.XML";

    // Finds the first supplier file that matches the code, the fax number or
    // both (whichever are not blank; compared exactly as passed) and loads its
    // values into the properties. Both blank: False at once, unlogged. No
    // match: 40105 logged when blnErrOut, False. A missing folder or a file
    // that does not parse: 40105 logged, False. After False the properties
    // keep their earlier values.
    [[nodiscard]] bool getMakerInfo(const std::string& strSupplierCode = "", const std::string& strFaxNo = "",
                      bool blnErrOut = true);
    // Installs the named files of the "TempEDI" folder as the new set of
    // supplier files, then tells the processed-file hook of each (name up to
    // its first "."). The list is checked and every file copied aside before
    // anything of the old set is touched: an empty list, a name with a path
    // separator, "..", or without ".", or a file that cannot be read fails
    // with the old set in place. False with the error logged on failure.
    [[nodiscard]] bool saveMakerInfo(const std::vector<std::string>& strFileName);
    // Deletes every supplier file; failures are logged.
    void delMakerInfo();
    // True when some supplier file carries this fax number (digit form of the
    // file's number against the argument as passed). Files that do not parse
    // have no number; a missing folder has no files.
    [[nodiscard]] bool checkMaker(const std::string& strFaxNo);
    // The supplier code of every supplier file, in listing order ("" for a
    // file without one or one that does not parse). nullopt (the Empty
    // result) after a logged failure.
    std::optional<std::vector<std::string>> getAllMakerInfo();

    // The supplier last found.
    const std::string& strSupplierCode() const { return found_.supplierCode; }
    const std::string& strSupplierName() const { return found_.supplierName; }
    const std::string& strSectionName() const { return found_.sectionName; }
    const std::string& strPersonName() const { return found_.personName; }
    const std::string& strTelephoneNumber() const { return found_.telephoneNumber; }
    const std::string& strFAXNumber() const { return found_.faxNumber; }
    const std::string& strRelactiveClientCode() const { return found_.relativeClientCode; }

    const std::string& folderPath() const { return folder_; }

    // The digits of a fax number as written, in order.
    static std::string digitForm(const std::string& faxNumber);

    struct Supplier {
        std::string supplierCode, supplierName, personName, sectionName, email, telephoneNumber, faxNumber,
            relativeClientCode;
    };

private:
    std::string folder_;
    Supplier found_;
};

}  // namespace fg
