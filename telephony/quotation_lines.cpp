// One REPLY of a quotation answer: the request's fields, the supplier's
// recognised values for the line, the line amounts and the totals.
//
// The EDI server reads the answer this way, and it is kept: every row of
// the request gets the same quoted quantity, delivery date and amount (one
// recognised line answers the whole request), and the totals are those of
// the last row, not a sum.
#include "telephony/telephony_control.h"

#include "platform/error.h"
#include "telephony/answer_support.h"

namespace fg {

using namespace telephony;

namespace {

// A recognised value: the first element of that name, its digits, point and
// minus; "0" when there is none.
std::string replyValue(const xml::Node& reply, const char* name) {
    std::string value = TelephonyControl::filterNumericChars(firstText(reply, name));
    return value.empty() ? "0" : value;
}
// A value recognised as a whole part and a fraction part ("12" and "5" give 12.5).
std::string joinedValue(const xml::Node& reply, const char* whole, const char* fraction) {
    return replyValue(reply, whole) + "." + replyValue(reply, fraction);
}
// Every element of that name in the recognised line, as recognised values.
void appendReplyCopies(const xml::Document& doc, xml::Node& parent, const xml::Node& reply, const char* name) {
    for (const xml::Node& e : reply.getElementsByTagName(name))
        appendText(doc, parent, name, TelephonyControl::filterNumericChars(e.text()));
}
// Request dates: copied with the date rule.
void appendDateCopies(const xml::Document& doc, xml::Node& parent, const xml::Node& request, const char* name) {
    for (const xml::Node& e : request.getElementsByTagName(name)) appendText(doc, parent, name, dateRule(e.text()));
}
template <std::size_t N>
void appendAllCopies(const xml::Document& doc, xml::Node& parent, const xml::Node& request,
                     const char* const (&names)[N]) {
    for (const char* name : names) appendCopies(doc, parent, request, name);
}

constexpr const char* kRequestKeys[] = {"RFQ-number", "RFQ-branch-number", "Devide-delivery-times"};
constexpr const char* kGoods[] = {"RFQ-goods-unit", "RFQ-goods-shape"};
constexpr const char* kSubcontract[] = {"SL-start-code", "SL-storage-code", "SL-expiration-date", "Tap-code",
                                        "Commission-rate", "Manufacture-name", "Safety-control-code",
                                        "Subcontract-process-charge-amount", "Subcontract-process-charge-unit-price"};
constexpr const char* kModel[] = {"Convert-exchange-rate", "Dangerous-object-code", "Model-name", "Model-name-K",
                                  "Model-code", "Engineering-document-number", "Contract-code", "Contract-number",
                                  "Inspection-code", "RFQ-quantity"};
constexpr const char* kBuyer[] = {"Origin-Place-code", "Process-approval-special-contract-clause",
                                  "Customer-buyer-name", "Customer-buyer-name-K"};
constexpr const char* kConditions[] = {
    "Ground-total-F", "Quality-standard-dimension", "Quality-standard-dimension-K", "Material-cost-amount-Y",
    "Material-cost-unit-price-Y", "Specification-revision-number", "Specification-supply-format-code",
    "Specification-number", "Supply-code", "Payment-code", "Payment-conditions-code", "Material-control-code",
    "Tool-control-code", "Vendor-code", "Vendor-name", "Vendor-name-K", "Supplier-control-data", "Supplier-remarks"};
constexpr const char* kDrawing[] = {"Drawing-revision-number", "Drawing-code", "Drawing-supply-code", "Drawing-number",
                                    "Strategic-material-code", "Unit", "Unit-price-code", "Procurement-document-code"};
constexpr const char* kDelivery[] = {
    "Attach-document-code", "Quotation-special-instruction-code", "Special-contract-clause", "Year-price-sign",
    "Delivery-point", "Delivery-point-K", "Delivery-point-code", "Delivery-point-name", "Delivery-point-name-K",
    "Delivery-point-address", "Delivery-point-address-K", "Delivery-point-zip-code", "Customer-remarks",
    "Customer-remarks-K", "Standard-lead-time", "Quality-control-specification-number",
    "Quality-control-specification-number-K", "Additional-instructions", "Additional-instructions-K",
    "Parts-and-material-type-code", "Parts-or-material-code", "Parts-number", "Parts-name", "Parts-name-K",
    "Transport-condition-code", "Import-parts-procurement-contract-code"};

// The request's other groups, each row with its fields.
struct RowGroup {
    const char* group;
    const char* row;
    std::vector<const char*> fields;
};
const RowGroup kRowGroups[] = {
    {"JPM002", "JPM002R", {"Necessary-document", "Necessary-document-number", "Necessary-document-language"}},
    {"JPM003", "JPM003R", {"Inspection-test-approval-code"}},
    {"JPM004", "JPM004R", {"Specified-manufacture-name", "Specified-manufacture-name-K"}},
    {"JPM005", "JPM005R", {"Special-requirement", "Special-requirement-K"}},
};

}  // namespace

void TelephonyControl::makeEstRequest_Re(xml::Document& newDom, const xml::Document& RefeDom, xml::Node& strPACAGE,
                                         std::int16_t /*intReplyCnt*/, const xml::Node& eleEstiAnsw) {
    const xml::Document& doc = newDom;
    xml::Node reply = appendEmpty(doc, strPACAGE, "REPLY");

    // The recognised values are the same for every row: read once, so that
    // a request without rows still gets its rate and totals.
    const std::string quantity = joinedValue(eleEstiAnsw, "Quotation-quantity", "Quotation-quantityS");
    const std::string unitPrice = joinedValue(eleEstiAnsw, "Quotation-unit-price-Y", "Quotation-unit-price-YS");
    const std::string rate = joinedValue(eleEstiAnsw, "Consumption-tax-rate", "Consumption-tax-rateS");
    const std::string taxCode = filterNumericChars(firstText(eleEstiAnsw, "Consumption-tax-code"));
    // A line without the note flag has no mark.
    const xml::Node note = eleEstiAnsw.selectSingleNode("NoteFlg");
    const bool marked = note && note.text() == kMark;

    // Carried from row to row and into the totals, over every request JPTRM.
    std::string quantityText;  // of the last row written; "" before any
    Decimal amount;            // of the last row written; 0 before any

    for (const xml::Node& request : RefeDom.getElementsByTagName("JPTRM")) {
        appendAllCopies(doc, reply, request, kRequestKeys);

        // Every request row, of whichever request group, gets a row of its
        // own in the one output group; the first row fills the row the group
        // starts with.
        xml::Node rows = appendEmpty(doc, reply, "JPM001");
        xml::Node row = appendEmpty(doc, rows, "JPM001R");
        bool first = true;
        for (const xml::Node& group : request.getElementsByTagName("JPM001"))
            for (const xml::Node& requestRow : group.getElementsByTagName("JPM001R")) {
                if (!first) row = appendEmpty(doc, rows, "JPM001R");
                first = false;
                appendCopies(doc, row, requestRow, "Devide-delivery-number");
                appendCopies(doc, row, requestRow, "Devide-delivery-quantity");
                appendDateCopies(doc, row, requestRow, "RFQ-delivery-date");
                appendCopies(doc, row, requestRow, "RFQ-goods-quantity");
                const Decimal q = Decimal::parse(quantity, "見積数量");
                quantityText = quantity;
                appendText(doc, row, "Quotation-quantity", quantityText);
                appendReplyCopies(doc, row, eleEstiAnsw, "Quotation-delivery-date");
                amount = (q * Decimal::parse(unitPrice, "見積単価")).rounded(0);
                appendText(doc, row, "Quotation-amount-Y", amount.fixed(0));
            }

        appendAllCopies(doc, reply, request, kGoods);
        for (const xml::Node& whole : eleEstiAnsw.getElementsByTagName("Quotation-unit-price-Y"))
            for (const xml::Node& fraction : eleEstiAnsw.getElementsByTagName("Quotation-unit-price-YS")) {
                std::string w = filterNumericChars(whole.text()), f = filterNumericChars(fraction.text());
                appendText(doc, reply, "Quotation-unit-price-Y", (w.empty() ? "0" : w) + "." + (f.empty() ? "0" : f));
            }
        appendEmpty(doc, reply, "Quotation-unit-price-F");
        for (const RowGroup& g : kRowGroups)
            for (const xml::Node& group : request.getElementsByTagName(g.group)) {
                xml::Node out = appendEmpty(doc, reply, g.group);
                for (const xml::Node& requestRow : group.getElementsByTagName(g.row)) {
                    xml::Node r = appendEmpty(doc, out, g.row);
                    for (const char* field : g.fields) appendCopies(doc, r, requestRow, field);
                }
            }
        appendAllCopies(doc, reply, request, kSubcontract);
        appendReplyCopies(doc, reply, eleEstiAnsw, "Tax-code");
        appendAllCopies(doc, reply, request, kModel);

        // Totals: the last row's quantity and amount, the tax on that amount.
        const bool taxIncluded = taxCode == "1";
        const std::string tax = (amount * Decimal::parse(rate, "消費税率").shifted(2)).general();
        const std::string ground = taxIncluded ? amount.general() : (amount + Decimal::parse(tax, "消費税")).general();
        appendText(doc, reply, "Quotation-total-quantity", quantityText);
        appendCopies(doc, reply, request, "RFQ-revise-times");
        appendDateCopies(doc, reply, request, "RFQ-date");
        appendDateCopies(doc, reply, request, "RFQ-reply-limit-date");
        appendCopies(doc, reply, request, "Quotation-total-amount-F");
        appendText(doc, reply, "Quotation-total-amount-Y", amount.general());
        appendReplyCopies(doc, reply, eleEstiAnsw, "Quotation-declination-code");
        appendAllCopies(doc, reply, request, kBuyer);
        appendText(doc, reply, "Ground-total-Y", ground);
        appendAllCopies(doc, reply, request, kConditions);
        if (marked) appendText(doc, reply, "Supplier-remarks-K", mstrQuotationNumber);
        appendText(doc, reply, "Consumption-tax-amount-Y", taxIncluded ? std::string() : tax);
        appendText(doc, reply, "Consumption-tax-code", taxCode);
        appendText(doc, reply, "Consumption-tax-rate", rate);
        appendAllCopies(doc, reply, request, kDrawing);
        appendText(doc, reply, "Currency-code", "JPY");
        appendAllCopies(doc, reply, request, kDelivery);
    }
}

}  // namespace fg
