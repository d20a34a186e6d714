// Payables notices (買掛金計上通知, DORE1101): one document per customer,
// supplier and TEST value; inside it one JPTRMR per line key (credit, vendor,
// month, payment, payment conditions) gathering the lines of that key.
#include "documents/quillary/fax_tran_xml.h"
#include "documents/quillary/grouped_builder.h"

#include <array>
#include <limits>

namespace fg {

using namespace documents;

namespace {

constexpr FormTable kForm{.source = "makeCreditDetail",
                          .root = "DORE1101",
                          .form = "FR120",
                          .reportType = "買掛金計上通知",
                          .declaration = kShiftJisDeclaration,
                          .badData = "買掛金計上通知データが不正です。："};

// Documents and the keys inside one are counted in 16 bits.
constexpr std::size_t kMax = std::numeric_limits<std::int16_t>::max();

constexpr const char* kLineKeyNames[5] = {"Credit-code", "Vendor-code", "Add-up-year-and-month", "Payment-code",
                                          "Payment-conditions-code"};
using LineKey = std::array<std::string, 5>;

struct Group : DocumentGroup {
    std::vector<LineKey> keys;
    // The JPTRMR of each key, held directly: finding it again by counting
    // JPTRMR elements would be misled by a line that carries one itself.
    std::vector<xml::Node> containers;

    void add(xml::Node jptrm, const LineKey& key) {
        std::size_t s = 0;
        while (s < keys.size() && keys[s] != key) ++s;
        if (s == keys.size()) {
            if (s >= kMax) throw Error::standard(errnum::Overflow, kForm.source);
            keys.push_back(key);
            containers.push_back(document.documentElement().appendChild(document.createElement("JPTRMR")));
        }
        containers[s].appendChild(jptrm);
    }
};

}  // namespace

bool FaxTranXml::makeCreditDetail(const std::vector<std::string>& strFileName, std::vector<std::string>& strOutFile) {
    return static_cast<bool>(creditDetails(strFileName, strOutFile));
}

Built FaxTranXml::creditDetails(const std::vector<std::string>& strFileName, std::vector<std::string>& strOutFile) {
    GroupedBuilder<Group> call(*this, kForm, &strOutFile);
    std::string test;
    // The codes run on from line to line within a file, the addressee's
    // too, as the messages leave out what repeats; a file starts afresh.
    LineKey current{};
    std::string customer, supplier;
    bool hasCustomer = false, hasSupplier = false;
    Built read = call.read(strFileName, [&](xml::Node jptrm, const std::string& name, std::size_t index) -> Built {
        if (index == 0) {
            current = {};
            customer.clear();
            supplier.clear();
            hasCustomer = hasSupplier = false;
        }
        bool found = false;
        if (std::string value = descendantText(jptrm, "Customer-code", &found); found) customer = value;
        hasCustomer |= found;
        if (std::string value = descendantText(jptrm, "Supplier-code", &found); found) supplier = value;
        hasSupplier |= found;
        // A line with no code of its own or before it in its file has no
        // addressee; a blank one would only fail on every pass.
        if (!hasCustomer || !hasSupplier)
            return call.refuse(name, "Customer-code, Supplier-code のいずれかがなく、引き継ぐ前の行もない JPTRM があります");
        for (std::size_t k = 0; k < 5; ++k) {
            bool found = false;
            std::string value = descendantText(jptrm, kLineKeyNames[k], &found);
            if (found) current[k] = value;
        }
        std::string orderName = descendantText(jptrm, "Customer-name-K");
        readTestAttribute(jptrm, test);

        Group* group = call.find(customer, supplier, test);
        if (!group) {
            if (call.size() >= kMax) throw Error::standard(errnum::Overflow, kForm.source);
            group = &call.start(customer, supplier, test, orderName);
        }
        group->add(jptrm, current);
        return true;
    });
    if (!read) return read;
    return call.write();
}

}  // namespace fg
