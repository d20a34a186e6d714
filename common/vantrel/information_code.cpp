#include "common/vantrel/information_code.h"

#include <initializer_list>

namespace fg {

namespace {

InformationCode::Columns columns(std::initializer_list<const char*> names) {
    InformationCode::Columns out;
    for (const char* name : names) out.add(name);
    return out;
}

}  // namespace

InformationCode::InformationCode() {
    // Not numeric order: callers rely on these positions.
    for (const std::string& code : {RFQ(), RFQANS(), ORDER(), ORDERBALANCE(), REQUEST(), REQUESTANS(), DELIVERY(),
                                    ARRIVAL(), INSPECTION(), CUSTOMSREQUEST(), CUSTOMS(), RECEIVING(), ADVANCE()})
        list_.add(code);

    key_.add(columns({"Customer-code", "Supplier-code", "RFQ-number", "RFQ-branch-number"}), RFQ());
    key_.add(columns({"Customer-code", "Supplier-code", "Quotation-number"}), RFQANS());
    key_.add(columns({"Customer-code", "Supplier-code", "Order-number"}), ORDER());
    key_.add(columns({"Customer-code", "Supplier-code", "Order-number"}), ORDERBALANCE());
    key_.add(columns({"Customer-code", "Supplier-code", "Order-number", "Devide-delivery-number"}), REQUEST());
    key_.add(columns({"Customer-code", "Supplier-code", "Order-number", "Devide-delivery-number"}), REQUESTANS());
    key_.add(columns({"Customer-code", "Supplier-code", "Delivery-control-number"}), DELIVERY());
    key_.add(columns({"Customer-code", "Supplier-code", "Delivery-control-number"}), ARRIVAL());
    key_.add(columns({"Customer-code", "Supplier-code", "Delivery-control-number"}), INSPECTION());
    key_.add(columns({"Customer-code", "Supplier-code", "Delivery-control-number"}), RECEIVING());
    key_.add(columns({"Customer-code", "Supplier-code", "Order-number", "Add-up-year-and-month"}), ADVANCE());
    key_.add(columns({"Customer-code", "Supplier-code", "Ship-number"}), CUSTOMSREQUEST());
    key_.add(columns({"Customer-code", "Supplier-code", "Ship-number"}), CUSTOMS());
    key_.add(columns({"RFQ-number", "RFQ-branch-number"}), "REPLY");
}

}  // namespace fg
