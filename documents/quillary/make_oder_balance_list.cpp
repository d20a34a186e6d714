// Order-balance lists (注文残高一覧, DORE0601) for the supplier of one fax
// number: one document per customer, supplier and TEST value. Made inside a
// batch and by the order-balance job, so it logs every failure itself.
#include "documents/quillary/builder_support.h"
#include "documents/quillary/fax_tran_xml.h"
#include "documents/quillary/number_reservations.h"
#include "platform/error_log.h"
#include "platform/folder_path_info.h"

namespace fg {

using namespace documents;

namespace {

using Group = DocumentGroup;

}  // namespace

bool FaxTranXml::makeOderBalanceList(const std::vector<std::string>& strFileName,
                                     std::vector<std::string>& strOutFile, const std::string& strFaxNum) {
    const std::string source = "makeOderBalanceList";
    std::vector<std::string> made;
    try {
        FolderPathInfo folders;
        const std::string tempEdi = folders.getFolderPath("TempEDI");
        restamp();
        NumberReservations reservations(*this);
        std::vector<Group> groups;
        try {
            std::string test;
            xml::Document message;
            for (const auto& name : strFileName) {
                if (!message.load(tempEdi + name + ".xml")) {
                    logFailure(source, 40017, "注文残高データが不正です。：" + name + ".xml");
                    return false;
                }
                for (xml::Node jptrm : message.getElementsByTagName("JPTRM")) {
                    // A record without its codes gets empty ones, never those
                    // of the record before it.
                    std::string customer = descendantText(jptrm, "Customer-code");
                    std::string supplier = descendantText(jptrm, "Supplier-code");
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
                    startGroupDocument(g, kShiftJisDeclaration, "DORE0601").appendChild(jptrm);
                    g.customer = customer;
                    g.supplier = supplier;
                    g.test = test;
                    g.orderName = orderName;
                    groups.push_back(std::move(g));
                }
            }

            Supplier supplier;
            if (!findSupplier("", strFaxNum, supplier)) {
                logFailure(source, 40105, "[Fax番号:" + strFaxNum + "]");
                return false;
            }
            if (groups.empty()) return true;

            const std::string xsl = folders.getFolderPath("Xsl");
            const std::string sendFolder = folders.getFolderPath("FaxSendXML");
            const FormSheets sheets(xsl, "FR070", source);
            xml::Document codeTable = loadInstalled(xsl, "standardcode_jp.xml", source);

            for (auto& g : groups) {
                appendCodeBlock(g.document, codeTable);
                if (!storeRecord({mstrRepManageDate, g.number, "注文残高一覧", g.customer, g.orderName, "", "",
                                  supplier})) {
                    rollBack(made);
                    logFailure(source, 40013, "");
                    return false;
                }
                observe(g.number, g.document);
                saveFaxDocument(g.document, sheets, sendFolder + g.number + ".xml");
            }
            return true;
        } catch (...) {
            rollBack(made);
            throw;
        }
    } catch (const Error& e) {
        ErrorLogWriter().writeError(source, e);
    } catch (const std::exception& e) {
        ErrorLogWriter().writeError(source, Error(errnum::OutOfMemory, e.what(), source));
    }
    return false;
}

}  // namespace fg
