// Reminder lists: unanswered quotation requests (見積未回答一覧, keyed by
// RFQ-number) and unanswered delivery dates (納期未回答一覧, the other kinds),
// one document per customer, supplier and kind.
#include "documents/quillary/builder_support.h"
#include "documents/quillary/fax_tran_xml.h"
#include "documents/quillary/number_reservations.h"
#include "platform/folder_path_info.h"

namespace fg {

using namespace documents;

namespace {

struct Group {
    WORKTABLE table;
    std::string customerName;
};

}  // namespace

bool FaxTranXml::makeEstimLimitList(const std::vector<std::string>& strFileName, std::vector<WORKTABLE>& udtData) {
    const std::string source = "makeEstimLimitList";
    FolderPathInfo folders;
    const std::string tempEdi = folders.getFolderPath("TempEDI");
    NumberReservations reservations(*this);
    std::vector<Group> groups;
    std::vector<std::string> made;
    try {
        xml::Document data;
        for (const auto& name : strFileName) {
            if (!data.load(tempEdi + name)) {
                logFailure(source, 40017, "督促データが不正です。：" + name);
                return false;
            }
            for (xml::Node reminder : data.getElementsByTagName("FAX-reminder")) {
                // Every reminder is read on its own: one that lacks a key gets
                // an empty value, so it can never join another supplier's list.
                std::string customerName, customer, supplier, kind;
                auto ediData = reminder.getElementsByTagName("EDI-data");
                if (!ediData.empty()) customerName = descendantText(ediData.front(), "Customer-name-K");
                for (const auto& key : reminder.getElementsByTagName("KEY")) {
                    customer = descendantText(key, "Customer-code");
                    supplier = descendantText(key, "Supplier-code");
                    kind.clear();
                    for (xml::Node c = key.firstChild(); c; c = c.nextSibling()) {
                        if (c.type() != xml::NodeType::Element) continue;
                        std::string base = localName(c.nodeName());
                        if (base == "RFQ-number" || base == "Order-number") {
                            kind = base;
                            break;
                        }
                    }
                }
                Group* group = nullptr;
                for (auto& g : groups)
                    if (g.table.strCustomerCode == customer && g.table.strSupplierCode == supplier &&
                        g.table.strTagName == kind) {
                        group = &g;
                        break;
                    }
                if (group) {
                    group->table.DomXml.documentElement().appendChild(reminder);
                    continue;
                }
                Group g;
                xml::Node root;
                g.table.DomXml = newDocument(kShiftJisDeclaration, "FAX-reminders", root);
                xml::Node rep = g.table.DomXml.createElement("RepManageNo");
                g.table.strFileName = reservations.next();
                made.push_back(g.table.strFileName);
                rep.setText(g.table.strFileName);
                root.appendChild(rep);
                root.appendChild(reminder);
                g.table.strCustomerCode = customer;
                g.table.strSupplierCode = supplier;
                g.table.strTagName = kind;
                g.customerName = customerName;
                groups.push_back(std::move(g));
            }
        }

        if (!groups.empty()) {
            const std::string xsl = folders.getFolderPath("Xsl");
            const std::string sendFolder = folders.getFolderPath("FaxSendXML");
            xml::Document rfqSheet = loadInstalled(xsl, "FR050_ChangeStructure.xsl", source);
            xml::Document orderSheet = loadInstalled(xsl, "FR110_ChangeStructure.xsl", source);
            for (auto& g : groups) {
                const WORKTABLE& t = g.table;
                Supplier supplier;
                if (!findSupplier(t.strSupplierCode, "", supplier)) {
                    rollBack(made);
                    logFailure(source, 40105, "[受注者コード:" + t.strSupplierCode + "]");
                    return false;
                }
                bool rfq = t.strTagName == "RFQ-number";
                if (!storeRecord({mstrRepManageDate, t.strFileName, rfq ? "見積未回答一覧" : "納期未回答一覧",
                                  t.strCustomerCode, g.customerName, "", "", supplier})) {
                    rollBack(made);
                    logFailure(source, 40013, "");
                    return false;
                }
                observe(t.strFileName, t.DomXml);
                xml::Document fax;
                const char* sheetName = rfq ? "FR050_ChangeStructure.xsl" : "FR110_ChangeStructure.xsl";
                transformDocument(t.DomXml.asNode(), rfq ? rfqSheet : orderSheet, fax, sheetName);
                withUtf8Declaration(fax);
                fax.save(sendFolder + t.strFileName + ".xml");
            }
        }
        udtData.clear();
        for (auto& g : groups) udtData.push_back(std::move(g.table));
        return true;
    } catch (...) {
        rollBack(made);
        throw;
    }
}

}  // namespace fg
