// Payables notices (買掛金計上通知, DORE1101): one document per customer,
// supplier and TEST value; inside it one JPTRMR per line key (credit, vendor,
// month, payment, payment conditions) gathering the lines of that key.
#include "documents/quillary/builder_support.h"
#include "documents/quillary/fax_tran_xml.h"
#include "documents/quillary/number_reservations.h"
#include "platform/folder_path_info.h"

#include <array>
#include <limits>

namespace fg {

using namespace documents;

namespace {

constexpr const char* kLineKeyNames[5] = {"Credit-code", "Vendor-code", "Add-up-year-and-month", "Payment-code",
                                          "Payment-conditions-code"};
using LineKey = std::array<std::string, 5>;

struct Group : DocumentGroup {
    std::vector<LineKey> keys;
    // The JPTRMR of each key, held directly: finding it again by counting
    // JPTRMR elements would be misled by a line that carries one itself.
    std::vector<xml::Node> containers;
};

}  // namespace

bool FaxTranXml::makeCreditDetail(const std::vector<std::string>& strFileName, std::vector<std::string>& strOutFile) {
    const std::string source = "makeCreditDetail";
    constexpr std::size_t kMax = std::numeric_limits<std::int16_t>::max();
    FolderPathInfo folders;
    const std::string tempEdi = folders.getFolderPath("TempEDI");
    NumberReservations reservations(*this);
    std::vector<Group> groups;
    std::vector<std::string> made;
    try {
        std::string test;
        xml::Document message;
        for (const auto& name : strFileName) {
            if (!message.load(tempEdi + name + ".xml")) {
                logFailure(source, 40017, "買掛金計上通知データが不正です。：" + name + ".xml");
                return false;
            }
            // The line codes run on from line to line within a file, as the
            // messages leave out what repeats; the addressee never does.
            LineKey current{};
            for (xml::Node jptrm : message.getElementsByTagName("JPTRM")) {
                std::string customer = descendantText(jptrm, "Customer-code");
                std::string supplier = descendantText(jptrm, "Supplier-code");
                for (std::size_t k = 0; k < 5; ++k) {
                    bool found = false;
                    std::string value = descendantText(jptrm, kLineKeyNames[k], &found);
                    if (found) current[k] = value;
                }
                std::string orderName = descendantText(jptrm, "Customer-name-K");
                readTestAttribute(jptrm, test);

                Group* group = findGroup(groups, customer, supplier, test);
                if (group) {
                    std::size_t s = 0;
                    while (s < group->keys.size() && group->keys[s] != current) ++s;
                    if (s == group->keys.size()) {
                        if (s >= kMax) throw Error::standard(errnum::Overflow, source);
                        xml::Node container = group->document.documentElement().appendChild(
                            group->document.createElement("JPTRMR"));
                        group->keys.push_back(current);
                        group->containers.push_back(container);
                    }
                    group->containers[s].appendChild(jptrm);
                    continue;
                }
                if (groups.size() >= kMax) throw Error::standard(errnum::Overflow, source);
                Group g;
                g.number = reservations.next();
                made.push_back(g.number);
                strOutFile.push_back(g.number);
                xml::Node root = startGroupDocument(g, kShiftJisDeclaration, "DORE1101");
                xml::Node container = root.appendChild(g.document.createElement("JPTRMR"));
                container.appendChild(jptrm);
                g.customer = customer;
                g.supplier = supplier;
                g.test = test;
                g.orderName = orderName;
                g.keys.push_back(current);
                g.containers.push_back(container);
                groups.push_back(std::move(g));
            }
        }
        if (groups.empty()) return true;

        const std::string xsl = folders.getFolderPath("Xsl");
        const std::string sendFolder = folders.getFolderPath("FaxSendXML");
        const FormSheets sheets(xsl, "FR120", source);
        xml::Document codeTable = loadInstalled(xsl, "StandardCode_jp.xml", source);

        for (auto& g : groups) {
            appendCodeBlock(g.document, codeTable);
            Supplier supplier;
            if (!findSupplier(g.supplier, "", supplier)) {
                rollBack(made);
                logFailure(source, 40105, "[受注者コード:" + g.supplier + "]");
                return false;
            }
            if (!storeRecord({mstrRepManageDate, g.number, "買掛金計上通知", g.customer, g.orderName, "", "", supplier})) {
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
}

}  // namespace fg
