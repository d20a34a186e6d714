// Reminder lists: unanswered quotation requests (見積未回答一覧, keyed by
// RFQ-number) and unanswered delivery dates (納期未回答一覧, the other kinds),
// one document per customer, supplier and kind.
#include "documents/quillary/fax_tran_xml.h"
#include "documents/quillary/grouped_builder.h"
#include "platform/folder_path_info.h"

namespace fg {

using namespace documents;

namespace {

// The reminder data files are named with their ending; the lists are laid
// out by a structure sheet of their kind alone.
constexpr FormTable kForm{.source = "makeEstimLimitList",
                          .root = "FAX-reminders",
                          .form = nullptr,
                          .reportType = nullptr,
                          .declaration = kShiftJisDeclaration,
                          .badData = "督促データが不正です。：",
                          .line = "FAX-reminder",
                          .fileSuffix = ""};

// The third key of a group is the reminder's kind.
struct Reminders : DocumentGroup {
    bool rfq() const { return test == "RFQ-number"; }
};

}  // namespace

bool FaxTranXml::makeEstimLimitList(const std::vector<std::string>& strFileName, std::vector<WORKTABLE>& udtData) {
    return static_cast<bool>(estimLimitLists(strFileName, udtData));
}

Built FaxTranXml::estimLimitLists(const std::vector<std::string>& strFileName, std::vector<WORKTABLE>& udtData) {
    GroupedBuilder<Reminders> call(*this, kForm, nullptr);
    Built read = call.read(strFileName, [&](xml::Node reminder, const std::string&, std::size_t) -> Built {
        // Every reminder is read on its own: one that lacks a key gets an
        // empty value, so it can never join another supplier's list.
        std::string customerName, customer, supplier, kind;
        auto ediData = reminder.getElementsByTagName("EDI-data");
        if (!ediData.empty()) customerName = descendantText(ediData.front(), "Customer-name-K");
        for (const auto& key : reminder.getElementsByTagName("KEY")) {
            customer = descendantText(key, "Customer-code");
            supplier = descendantText(key, "Supplier-code");
            kind.clear();
            for (xml::Node c = key.firstChild(); c; c = c.nextSibling()) {
                if (c.type() != xml::NodeType::Element) continue;
                std::string base = localName(c.nodeName());
                if (base == "RFQ-number" || base == "Order-number") {
                    kind = base;
                    break;
                }
            }
        }
        Reminders* group = call.find(customer, supplier, kind);
        if (!group) group = &call.start(customer, supplier, kind, customerName);
        group->document.documentElement().appendChild(reminder);
        return true;
    });
    if (!read) return read;

    if (call.size() > 0) {
        FolderPathInfo folders;
        const std::string xsl = folders.getFolderPath("Xsl");
        const std::string sendFolder = folders.getFolderPath("FaxSendXML");
        xml::Document rfqSheet = loadInstalled(xsl, "FR050_ChangeStructure.xsl", kForm.source);
        xml::Document orderSheet = loadInstalled(xsl, "FR110_ChangeStructure.xsl", kForm.source);
        for (auto& g : call.groups()) {
            Supplier supplier;
            if (Built found = call.supplierOf(g, supplier); !found) return found;
            call.record(g, supplier, g.rfq() ? "見積未回答一覧" : "納期未回答一覧");
            xml::Document fax;
            const char* sheetName = g.rfq() ? "FR050_ChangeStructure.xsl" : "FR110_ChangeStructure.xsl";
            transformDocument(g.document.asNode(), g.rfq() ? rfqSheet : orderSheet, fax, sheetName);
            withUtf8Declaration(fax);
            fax.save(sendFolder + g.number + ".xml");
        }
        if (!call.commit()) return false;
    }
    udtData.clear();
    for (auto& g : call.groups())
        udtData.push_back({std::move(g.document), g.customer, g.supplier, g.test, g.number});
    return true;
}

}  // namespace fg
