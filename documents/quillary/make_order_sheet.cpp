// Order sheets (注文書, DORE0500): one document per order, recorded as
// awaiting the supplier's order confirmation ("3").
#include "documents/quillary/builder_support.h"
#include "documents/quillary/fax_tran_xml.h"
#include "documents/quillary/number_reservations.h"
#include "platform/folder_path_info.h"

#include <limits>

namespace fg {

using namespace documents;

namespace {

struct Order {
    xml::Document document;
    std::string number, supplier, customer, orderNumber, orderName;
};

}  // namespace

bool FaxTranXml::makeOrderSheet(const std::vector<std::string>& strFileName, std::vector<std::string>& strOutFile) {
    const std::string source = "makeOrderSheet";
    FolderPathInfo folders;
    const std::string tempEdi = folders.getFolderPath("TempEDI");
    NumberReservations reservations(*this);
    std::vector<Order> orders;
    std::vector<std::string> made;
    try {
        xml::Document message;
        for (const auto& name : strFileName) {
            if (!message.load(tempEdi + name + ".xml")) {
                logFailure(source, 40017, "注文データが不正です。：" + name + ".xml");
                return false;
            }
            for (const auto& body : message.getElementsByTagName("DORE0500")) {
                for (xml::Node jptrm : body.getElementsByTagName("JPTRM")) {
                    if (orders.size() >= static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max()))
                        throw Error::standard(errnum::Overflow, source);
                    Order o;
                    xml::Node root;
                    o.document = newDocument(kShiftJisDeclaration, "DORE0500", root);
                    xml::Node rep = o.document.createElement("RepManageNo");
                    bool hasSupplier = false, hasCustomer = false, hasOrder = false;
                    o.supplier = childText(jptrm, "Supplier-code", &hasSupplier);
                    o.customer = childText(jptrm, "Customer-code", &hasCustomer);
                    o.orderNumber = childText(jptrm, "Order-number", &hasOrder);
                    if (!hasSupplier || !hasCustomer || !hasOrder) {
                        logFailure(source, 40017, "注文データが不正です。：" + name + ".xml");
                        return false;
                    }
                    o.orderName = descendantText(jptrm, "Customer-name-K");
                    o.number = reservations.next();
                    made.push_back(o.number);
                    rep.setText(o.number);
                    root.appendChild(rep);
                    root.appendChild(jptrm);
                    orders.push_back(std::move(o));
                }
            }
        }
        if (orders.empty()) return true;

        const std::string xsl = folders.getFolderPath("Xsl");
        const std::string sendFolder = folders.getFolderPath("FaxSendXML");
        const FormSheets sheets(xsl, "FR060", source);
        xml::Document codeTable = loadInstalled(xsl, "StandardCode_jp.xml", source);

        for (auto& o : orders) {
            appendCodeBlock(o.document, codeTable);
            Supplier supplier;
            if (!findSupplier(o.supplier, "", supplier)) {
                rollBack(made);
                logFailure(source, 40105, "[受注者コード:" + o.supplier + "]");
                return false;
            }
            if (!storeRecord({mstrRepManageDate, o.number, "注文書", o.customer, o.orderName, "3", o.orderNumber,
                              supplier})) {
                rollBack(made);
                logFailure(source, 40013, "");
                return false;
            }
            observe(o.number, o.document);
            saveFaxDocument(o.document, sheets, sendFolder + o.number + ".xml");
            strOutFile.push_back(o.number);
        }
        return true;
    } catch (...) {
        rollBack(made);
        throw;
    }
}

}  // namespace fg
