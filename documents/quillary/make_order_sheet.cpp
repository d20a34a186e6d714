// Order sheets (注文書, DORE0500): one document per order, recorded as
// awaiting the supplier's order confirmation ("3").
#include "documents/quillary/fax_tran_xml.h"
#include "documents/quillary/grouped_builder.h"

#include <limits>

namespace fg {

using namespace documents;

namespace {

// The orders of a message are each JPTRM below each DORE0500.
constexpr FormTable kForm{.source = "makeOrderSheet",
                          .root = "DORE0500",
                          .form = "FR060",
                          .reportType = "注文書",
                          .declaration = kShiftJisDeclaration,
                          .badData = "注文データが不正です。：",
                          .body = "DORE0500",
                          .decisionCondition = "3",
                          .listWhenWritten = true};

}  // namespace

bool FaxTranXml::makeOrderSheet(const std::vector<std::string>& strFileName, std::vector<std::string>& strOutFile) {
    return static_cast<bool>(orderSheets(strFileName, strOutFile));
}

Built FaxTranXml::orderSheets(const std::vector<std::string>& strFileName, std::vector<std::string>& strOutFile) {
    GroupedBuilder<> call(*this, kForm, &strOutFile);
    Built read = call.read(strFileName, [&](xml::Node jptrm, const std::string& name, std::size_t) -> Built {
        if (call.size() >= static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max()))
            throw Error::standard(errnum::Overflow, kForm.source);
        bool hasSupplier = false, hasCustomer = false, hasOrder = false;
        std::string supplier = childText(jptrm, "Supplier-code", &hasSupplier);
        std::string customer = childText(jptrm, "Customer-code", &hasCustomer);
        std::string orderNumber = childText(jptrm, "Order-number", &hasOrder);
        if (!hasSupplier || !hasCustomer || !hasOrder)
            return call.refuse(name, "Supplier-code, Customer-code, Order-number のいずれかがない JPTRM があります");
        DocumentGroup& order = call.start(customer, supplier, "", descendantText(jptrm, "Customer-name-K"));
        order.orderNumber = orderNumber;
        order.document.documentElement().appendChild(jptrm);
        return true;
    });
    if (!read) return read;
    return call.write();
}

}  // namespace fg
