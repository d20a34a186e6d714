// Delivery-date confirmations (納期確認書, DORE0701): one document per
// customer, supplier and TEST value, written twice: the base copy that the
// telephone answer side reads, and the fax document with converted codes.
#include "documents/quillary/fax_tran_xml.h"
#include "documents/quillary/grouped_builder.h"

namespace fg {

using namespace documents;

namespace {

constexpr FormTable kForm{.source = "makeLimitConfirmList",
                          .root = "DORE0701",
                          .form = "FR080",
                          .reportType = "納期確認書",
                          .declaration = kUtf8Declaration,
                          .badData = "納期確認データが不正です。：",
                          .preserveWhiteSpace = true};

}  // namespace

bool FaxTranXml::makeLimitConfirmList(const std::vector<std::string>& strFileName,
                                      std::vector<std::string>& strOutFile) {
    return static_cast<bool>(limitConfirmLists(strFileName, strOutFile));
}

Built FaxTranXml::limitConfirmLists(const std::vector<std::string>& strFileName,
                                    std::vector<std::string>& strOutFile) {
    std::string pilot;
    if (!readPilotFaxNumber(pilot)) return false;

    GroupedBuilder<> call(*this, kForm, &strOutFile);
    std::string test;
    Built read = call.read(strFileName, [&](xml::Node jptrm, const std::string& name, std::size_t) -> Built {
        bool hasCustomer = false, hasSupplier = false;
        std::string customer = childText(jptrm, "Customer-code", &hasCustomer);
        std::string supplier = childText(jptrm, "Supplier-code", &hasSupplier);
        // Without its keys a line cannot be addressed; it would otherwise
        // fall to whichever supplier shares the blanks.
        if (!hasCustomer || !hasSupplier)
            return call.refuse(name, "Customer-code, Supplier-code のいずれかがない JPTRM があります");
        std::string orderName = descendantText(jptrm, "Customer-name-K");
        readTestAttribute(jptrm, test);

        if (DocumentGroup* group = call.find(customer, supplier, test)) {
            group->document.documentElement().appendChild(jptrm);
            return true;
        }
        DocumentGroup& g = call.start(customer, supplier, test, orderName);
        xml::Node root = g.document.documentElement();
        root.appendChild(g.document.createElement("PilotFAXNumber")).setText(pilot);
        root.appendChild(jptrm);
        return true;
    });
    if (!read) return read;
    return call.write(nullptr, [&](DocumentGroup& g) {
        xml::Document base;
        base.setPreserveWhiteSpace(true);
        transformDocument(g.document.asNode(), call.sheets().structure, base, call.sheets().structureName);
        withUtf8Declaration(base);
        base.save(call.sendFolder() + "base" + g.number + ".xml");
        call.saveFax(g);
    });
}

}  // namespace fg
