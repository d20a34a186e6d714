// Order-balance lists (注文残高一覧, DORE0601) for the supplier of one fax
// number: one document per customer, supplier and TEST value. Made inside a
// batch and by the order-balance job, so it logs every failure itself.
#include "documents/quillary/fax_tran_xml.h"
#include "documents/quillary/grouped_builder.h"
#include "platform/error_log.h"

namespace fg {

using namespace documents;

namespace {

constexpr FormTable kForm{.source = "makeOderBalanceList",
                          .root = "DORE0601",
                          .form = "FR070",
                          .reportType = "注文残高一覧",
                          .declaration = kShiftJisDeclaration,
                          .badData = "注文残高データが不正です。：",
                          .codeTable = "standardcode_jp.xml"};

}  // namespace

bool FaxTranXml::makeOderBalanceList(const std::vector<std::string>& strFileName,
                                     std::vector<std::string>& strOutFile, const std::string& strFaxNum) {
    const std::string source = kForm.source;
    try {
        GroupedBuilder<> call(*this, kForm, &strOutFile);
        restamp();
        std::string test;
        Built read = call.read(strFileName, [&](xml::Node jptrm, const std::string&, std::size_t) -> Built {
            // A record without its codes gets empty ones, never those of
            // the record before it.
            std::string customer = descendantText(jptrm, "Customer-code");
            std::string supplier = descendantText(jptrm, "Supplier-code");
            std::string orderName = descendantText(jptrm, "Customer-name-K");
            readTestAttribute(jptrm, test);
            DocumentGroup* group = call.find(customer, supplier, test);
            if (!group) group = &call.start(customer, supplier, test, orderName);
            group->document.documentElement().appendChild(jptrm);
            return true;
        });
        if (!read) return false;
        Supplier supplier;
        if (!call.supplierByFax(strFaxNum, supplier)) return false;
        return static_cast<bool>(call.write(&supplier));
    } catch (...) {
        logCurrentError(source);
    }
    return false;
}

}  // namespace fg
