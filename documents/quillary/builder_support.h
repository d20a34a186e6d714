// What the document builders share: the settings they consult, the records
// they write, and the steps every fax document goes through.
#pragma once

#include "platform/error.h"
#include "platform/xml.h"
#include "settings/manage_records.h"

#include <string>
#include <vector>

namespace fg::documents {

// The registered supplier a document goes to.
struct Supplier {
    std::string code, name, section, person, fax;
};

// MakerInfo.getMakerInfo(code, fax, true): False when no supplier file
// matches (the store has then logged its own error, except for two blank keys).
bool findSupplier(const std::string& supplierCode, const std::string& faxNo, Supplier& out);

// The fax number of the first modem line whose pilot flag is "1", "" when no
// line has it. False when the modem lines cannot be read (already logged).
bool readPilotFaxNumber(std::string& pilot);

// The management record of one fax document, in the store's field order.
struct Record {
    std::string sendDate, repManageNo, repType, orderCode, orderName, decisionCondition, orderNumber;
    Supplier supplier;
};
// The store's record of it: the fields of the record and the values every
// builder writes for the rest (no image names, the number as the fax
// document's name, "0" as employment mode).
ManageRecord recordOf(const Record& record);
// The supplier a record of recordOf names, and its code alone.
Supplier supplierOf(const ManageRecord& record);
const std::string& supplierCodeOf(const ManageRecord& record);
// Stores the records in one save, each as setManageNum("0") stores it.
// Raises fg::Error when the store cannot be changed; nothing is stored then.
void storeRecords(const std::vector<ManageRecord>& records);
// Removes the record of each number, as delManageNum does, in one save; a
// number without a record is not an error. What cannot be done is logged.
void removeRecords(const std::vector<std::string>& numbers) noexcept;

// Logs a failure the builder recognises, under its own name.
void logFailure(const std::string& source, long number, const std::string& description) noexcept;

// Message parts.
std::string localName(const std::string& qualifiedName);
// The text of the first direct child element of that name; `found` tells
// whether there was one.
std::string childText(const xml::Node& parent, const std::string& name, bool* found = nullptr);
// The text of the first element of that name below the node, "" when none.
std::string descendantText(const xml::Node& parent, const std::string& name, bool* found = nullptr);
// The value of the first attribute when its local name is TEST.
bool readTestAttribute(const xml::Node& jptrm, std::string& value);

// A new in-memory document: the declaration, then a root of that name.
xml::Document newDocument(const std::string& declaration, const std::string& rootName, xml::Node& root);
inline constexpr const char* kShiftJisDeclaration = "version=\"1.0\" encoding=\"shift-jis\"";
inline constexpr const char* kUtf8Declaration = "version=\"1.0\" encoding=\"UTF-8\"";

// An installed style sheet or code table of the "Xsl" folder. One that does
// not load is refused here, before any record is written.
xml::Document loadInstalled(const std::string& folder, const std::string& name, const std::string& source);

// Appends the StandardCode block made from the code table to the root.
void appendCodeBlock(xml::Document& document, const xml::Document& codeTable);

// Runs a style sheet into `output` and gives the result the UTF-8
// declaration as its first node (replacing one the sheet may have written).
// A result without a document element is an error: it would print nothing.
void transformDocument(const xml::Node& source, const xml::Document& sheet, xml::Document& output,
                       const std::string& sheetName);
void withUtf8Declaration(xml::Document& output);

// The style sheets of one fax form, from the "Xsl" folder:
// "<form>_ChangeCode.xsl" puts words for the message's codes, and
// "<form>_ChangeStructure.xsl" lays out the fax document. Loaded in that
// order; one that does not load is refused as loadInstalled does.
struct FormSheets {
    FormSheets(const std::string& folder, const std::string& form, const std::string& source);
    std::string codeName, structureName;
    xml::Document code, structure;
};
// The fax document of a message document: run through the code sheet, then
// the structure sheet, and saved with the UTF-8 declaration at `path`.
void saveFaxDocument(const xml::Document& message, const FormSheets& sheets, const std::string& path);

}  // namespace fg::documents
