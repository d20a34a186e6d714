// Delivery-date confirmations (納期確認書, DORE0701): one document per
// customer, supplier and TEST value, written twice: the base copy that the
// telephone answer side reads, and the fax document with converted codes.
#include "documents/quillary/builder_support.h"
#include "documents/quillary/fax_tran_xml.h"
#include "documents/quillary/number_reservations.h"
#include "platform/folder_path_info.h"
#include "platform/xslt.h"

namespace fg {

using namespace documents;

namespace {

using Group = DocumentGroup;

}  // namespace

bool FaxTranXml::makeLimitConfirmList(const std::vector<std::string>& strFileName,
                                      std::vector<std::string>& strOutFile) {
    const std::string source = "makeLimitConfirmList";
    std::string pilot;
    if (!readPilotFaxNumber(pilot)) return false;

    FolderPathInfo folders;
    const std::string tempEdi = folders.getFolderPath("TempEDI");
    NumberReservations reservations(*this);
    std::vector<Group> groups;
    std::vector<std::string> made;
    try {
        std::string test;
        xml::Document message;
        for (const auto& name : strFileName) {
            message.setPreserveWhiteSpace(true);
            if (!message.load(tempEdi + name + ".xml")) {
                logFailure(source, 40017, "納期確認データが不正です。：" + name + ".xml");
                return false;
            }
            for (xml::Node jptrm : message.getElementsByTagName("JPTRM")) {
                bool hasCustomer = false, hasSupplier = false;
                std::string customer = childText(jptrm, "Customer-code", &hasCustomer);
                std::string supplier = childText(jptrm, "Supplier-code", &hasSupplier);
                if (!hasCustomer || !hasSupplier) {
                    // Without its keys a line cannot be addressed; it would
                    // otherwise fall to whichever supplier shares the blanks.
                    logFailure(source, 40017, "納期確認データが不正です。：" + name + ".xml");
                    return false;
                }
                std::string orderName = descendantText(jptrm, "Customer-name-K");
                readTestAttribute(jptrm, test);

                Group* group = findGroup(groups, customer, supplier, test);
                if (group) {
                    group->document.documentElement().appendChild(jptrm);
                    continue;
                }
                Group g;
                g.number = reservations.next();
                made.push_back(g.number);
                strOutFile.push_back(g.number);
                xml::Node root = startGroupDocument(g, kUtf8Declaration, "DORE0701");
                root.appendChild(g.document.createElement("PilotFAXNumber")).setText(pilot);
                root.appendChild(jptrm);
                g.customer = customer;
                g.supplier = supplier;
                g.test = test;
                g.orderName = orderName;
                groups.push_back(std::move(g));
            }
        }
        if (groups.empty()) return true;

        const std::string xsl = folders.getFolderPath("Xsl");
        const std::string sendFolder = folders.getFolderPath("FaxSendXML");
        const FormSheets sheets(xsl, "FR080", source);
        xml::Document codeTable = loadInstalled(xsl, "StandardCode_jp.xml", source);

        for (auto& g : groups) {
            g.document.setPreserveWhiteSpace(true);
            appendCodeBlock(g.document, codeTable);
            Supplier supplier;
            if (!findSupplier(g.supplier, "", supplier)) {
                rollBack(made);
                logFailure(source, 40105, "[受注者コード:" + g.supplier + "]");
                return false;
            }
            Record record{mstrRepManageDate, g.number, "納期確認書", g.customer, g.orderName, "", "",
                          supplier};
            if (!storeRecord(record)) {
                rollBack(made);
                logFailure(source, 40013, "");
                return false;
            }
            observe(g.number, g.document);
            xml::Document base;
            base.setPreserveWhiteSpace(true);
            transformDocument(g.document.asNode(), sheets.structure, base, sheets.structureName);
            withUtf8Declaration(base);
            base.save(sendFolder + "base" + g.number + ".xml");
            saveFaxDocument(g.document, sheets, sendFolder + g.number + ".xml");
        }
        return true;
    } catch (...) {
        rollBack(made);
        throw;
    }
}

}  // namespace fg
