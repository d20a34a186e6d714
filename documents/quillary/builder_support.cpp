#include "documents/quillary/builder_support.h"

#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/xslt.h"
#include "settings/maker_info.h"
#include "settings/modem_info.h"

namespace fg::documents {

bool findSupplier(const std::string& supplierCode, const std::string& faxNo, Supplier& out) {
    MakerInfo maker;
    if (!maker.getMakerInfo(supplierCode, faxNo, true)) return false;
    out.code = maker.strSupplierCode();
    out.name = maker.strSupplierName();
    out.section = maker.strSectionName();
    out.person = maker.strPersonName();
    out.fax = maker.strFAXNumber();
    return true;
}

bool readPilotFaxNumber(std::string& pilot) {
    pilot.clear();
    std::vector<ModemLine> lines;
    if (!ModemInfo().getModemLines(lines)) return false;
    for (const auto& line : lines) {
        if (line.complete && line.isPilot()) {
            pilot = line.pilotFaxNumber;
            break;
        }
    }
    return true;
}

ManageRecord recordOf(const Record& r) {
    ManageRecord record;
    auto& f = record.fields;
    f[0] = r.sendDate;
    f[1] = r.repManageNo;
    f[2] = r.repType;
    record.sendXml = {r.repManageNo};
    f[7] = r.orderCode;
    f[8] = r.orderName;
    f[9] = r.supplier.code;
    f[10] = r.supplier.name;
    f[11] = r.supplier.section;
    f[12] = r.supplier.person;
    f[13] = r.supplier.fax;
    f[14] = r.decisionCondition;
    f[15] = '0';
    f[18] = r.orderNumber;
    return record;
}

Supplier supplierOf(const ManageRecord& record) {
    const auto& f = record.fields;
    return {f[9], f[10], f[11], f[12], f[13]};
}

const std::string& supplierCodeOf(const ManageRecord& record) { return record.fields[9]; }

void storeRecords(const std::vector<ManageRecord>& records) {
    StoreChanges changes;
    for (const ManageRecord& record : records) changes.add(record);
    changes.apply();
}

void removeRecords(const std::vector<std::string>& numbers) noexcept {
    try {
        StoreChanges changes;
        for (const std::string& number : numbers) changes.remove(number);
        changes.apply();
    } catch (...) {
        writeDebugLine("FaxTranXml", "records not rolled back: " + text::join(numbers, ','));
        logCurrentError("FaxTranXml");
    }
}

void logFailure(const std::string& source, long number, const std::string& description) noexcept {
    ErrorLogWriter().writeError(source, Error(number, description, source));
}

std::string localName(const std::string& qualifiedName) {
    auto colon = qualifiedName.find(':');
    return colon == std::string::npos ? qualifiedName : qualifiedName.substr(colon + 1);
}

std::string childText(const xml::Node& parent, const std::string& name, bool* found) {
    for (xml::Node c = parent.firstChild(); c; c = c.nextSibling()) {
        if (c.type() == xml::NodeType::Element && c.nodeName() == name) {
            if (found) *found = true;
            return c.text();
        }
    }
    if (found) *found = false;
    return {};
}

std::string descendantText(const xml::Node& parent, const std::string& name, bool* found) {
    auto list = parent.getElementsByTagName(name);
    if (found) *found = !list.empty();
    return list.empty() ? std::string() : list.front().text();
}

bool readTestAttribute(const xml::Node& jptrm, std::string& value) {
    auto attributes = jptrm.attributes();
    if (attributes.empty() || localName(attributes.front().first) != "TEST") return false;
    value = attributes.front().second;
    return true;
}

xml::Document newDocument(const std::string& declaration, const std::string& rootName, xml::Node& root) {
    xml::Document doc;
    xml::Node pi = doc.createProcessingInstruction("xml", declaration);
    root = doc.createElement(rootName);
    doc.appendChild(pi);
    root = doc.appendChild(root);
    return doc;
}

xml::Document loadInstalled(const std::string& folder, const std::string& name, const std::string& source) {
    xml::Document doc;
    if (!doc.load(folder + name)) {
        const auto& pe = doc.parseError();
        throw Error(errnum::FileNotFound,
                    "インストールファイルを読めません: " + folder + name + " (" + pe.reason + ")", source);
    }
    return doc;
}

void appendCodeBlock(xml::Document& document, const xml::Document& codeTable) {
    xml::Node block = document.documentElement().appendChild(document.createElement("StandardCode"));
    for (const auto& entry : codeTable.getElementsByTagName("StandardCode")) {
        bool hasTag = false;
        std::string tag = childText(entry, "tag", &hasTag);
        if (!hasTag || tag.empty())
            throw Error(errnum::InvalidProcedureCall, "コード表に tag のない StandardCode があります", "StandardCode_jp.xml");
        xml::Node tagElement = block.appendChild(document.createElement(tag));
        for (const auto& content : entry.getElementsByTagName("content")) {
            bool hasCode = false, hasShort = false;
            std::string code = childText(content, "code", &hasCode);
            std::string shortName = childText(content, "short", &hasShort);
            if (!hasCode || !hasShort)
                throw Error(errnum::InvalidProcedureCall,
                            "コード表 " + tag + " に code または short のない content があります", "StandardCode_jp.xml");
            xml::Node name = document.createElement("Name");
            name.setText(shortName);
            name.setAttribute("Code", code);
            tagElement.appendChild(name);
        }
    }
}

void withUtf8Declaration(xml::Document& output) {
    xml::Node first = output.asNode().firstChild();
    if (first && first.type() == xml::NodeType::ProcessingInstruction && first.nodeName() == "xml") {
        output.asNode().removeChild(first);
        first = output.asNode().firstChild();
    }
    xml::Node pi = output.createProcessingInstruction("xml", kUtf8Declaration);
    if (first) output.asNode().insertBefore(pi, first);
    else output.appendChild(pi);
}

void transformDocument(const xml::Node& source, const xml::Document& sheet, xml::Document& output,
                       const std::string& sheetName) {
    xml::transformNodeToObject(source, sheet, output);
    if (!output.documentElement())
        throw Error(errnum::InvalidProcedureCall, sheetName + " の変換結果に文書要素がありません", sheetName);
}

FormSheets::FormSheets(const std::string& folder, const std::string& form, const std::string& source)
    : codeName(form + "_ChangeCode.xsl"),
      structureName(form + "_ChangeStructure.xsl"),
      code(loadInstalled(folder, codeName, source)),
      structure(loadInstalled(folder, structureName, source)) {}

void saveFaxDocument(const xml::Document& message, const FormSheets& sheets, const std::string& path) {
    xml::Document converted, fax;
    transformDocument(message.asNode(), sheets.code, converted, sheets.codeName);
    transformDocument(converted.asNode(), sheets.structure, fax, sheets.structureName);
    withUtf8Declaration(fax);
    fax.save(path);
}

}  // namespace fg::documents
