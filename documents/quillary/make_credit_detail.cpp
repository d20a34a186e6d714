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
    GroupedBuilder<Group> call(*this, kForm, &strOutFile);
    std::string test;
    // The line codes run on from line to line within a file, as the
    // messages leave out what repeats; the addressee never does.
    LineKey current{};
    bool read = call.read(strFileName, [&](xml::Node jptrm, const std::string&, std::size_t index) {
        if (index == 0) current = {};
        std::string customer = descendantText(jptrm, "Customer-code");
        std::string supplier = descendantText(jptrm, "Supplier-code");
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
    return read && call.write();
}

}  // namespace fg
