// Delivery-date answers (DORE0702): one document for every line of a faxed
// delivery-date confirmation that a row of the supplier's recognised answer
// answers.
//
// Both documents are read by position, as their writers lay them out. The
// received answer (written by the recognition side, blank text dropped):
// each child of its root is one form, whose child 1 is the form's own
// management number, child 2 the number of the confirmation it answers and
// child 7 the rows; child 6 of the root's first child is the reply date. A
// row's children are the line's reference (0), three delivery dates (1-3),
// three quantities as whole and fraction parts (4-9), the remark mark (10)
// and the delivery code (11). The faxed confirmation (the base copy the
// confirmation sheet wrote, white space kept): root child 1 is its number,
// root child 8 holds the lines, and each line's child 0 is its reference.
#include "telephony/telephony_control.h"

#include "common/vantrel/information_code.h"
#include "platform/error.h"
#include "platform/folder_path_info.h"
#include "platform/text.h"
#include "platform/values.h"
#include "settings/fax_manage_num.h"
#include "telephony/answer_support.h"

#include <array>

namespace fg {

using namespace telephony;

namespace {

// One answered row of the received document.
struct Row {
    std::string reference;
    std::array<std::string, 3> dates, quantities;
    std::string code, mark;
};

// The line fields written after the answer's fixed elements, in order.
enum class Value { Copied, DeliveryCode, ReplyDate, CustomerNameK, SupplierRemarksK };
struct Field {
    const char* name;
    bool alwaysPresent;
    Value value;
};
constexpr Field kLineFields[] = {
    {"Shortage-quantity", false, Value::Copied},
    {"Lot-number", false, Value::Copied},
    {"Delivery-code", true, Value::DeliveryCode},
    {"Delivery-confirm-quantity", true, Value::Copied},
    {"Delivery-confirm-delivery-date", true, Value::Copied},
    {"Model-name", false, Value::Copied},
    {"Model-name-K", false, Value::Copied},
    {"Model-code", false, Value::Copied},
    {"Contract-number", false, Value::Copied},
    {"Customer-buyer-name", false, Value::Copied},
    {"Customer-buyer-name-K", false, Value::Copied},
    {"Import-domestic-code", false, Value::Copied},
    {"Quality-standard-dimension", false, Value::Copied},
    {"Quality-standard-dimension-K", false, Value::Copied},
    {"Material-control-code", false, Value::Copied},
    {"Tool-control-code", false, Value::Copied},
    {"Vendor-code", false, Value::Copied},
    {"Vendor-name", false, Value::Copied},
    {"Vendor-name-K", false, Value::Copied},
    {"Supplier-name", false, Value::Copied},
    {"Supplier-name-K", false, Value::Copied},
    {"Supplier-control-data", false, Value::Copied},
    {"Supplier-remarks", false, Value::Copied},
    {"Supplier-remarks-K", false, Value::SupplierRemarksK},
    {"Work-order-number", false, Value::Copied},
    {"Ship-number", false, Value::Copied},
    {"Last-time-replied-delivery-date", false, Value::Copied},
    {"Unit", false, Value::Copied},
    {"Order-revise-times", false, Value::Copied},
    {"Order-date", false, Value::Copied},
    {"Special-control-item-code", false, Value::Copied},
    {"Delivery-confirm-reply-limit-date", false, Value::Copied},
    {"Delivery-reply-date", false, Value::ReplyDate},
    {"Delivery-confirm-date", false, Value::Copied},
    {"Customer-name", false, Value::Copied},
    {"Customer-name-K", false, Value::CustomerNameK},
    {"Customer-remarks", false, Value::Copied},
    {"Customer-remarks-K", false, Value::Copied},
    {"Customer-section-name", false, Value::Copied},
    {"Customer-section-name-K", false, Value::Copied},
    {"Parts-or-material-code", false, Value::Copied},
    {"Parts-number", true, Value::Copied},
    {"Parts-name", false, Value::Copied},
    {"Parts-name-K", false, Value::Copied},
    {"Critical-shortage-item-code", false, Value::Copied},
    {"Return-number", false, Value::Copied},
};

// The quantity of one delivery: whole part, ".", fraction part, with three
// decimals; no quantity when both parts are blank. A recognised quantity
// that is no number stops the answer rather than reach the server as text.
std::string quantityValue(const std::string& whole, const std::string& fraction) {
    std::string joined = TelephonyControl::filterNumericChars(whole + "." + fraction);
    if (joined.empty()) return {};
    return Decimal::parse(joined, "回答数量").fixed(3);
}

// The delivery code as a whole number; a code that is none stops the answer.
std::int16_t deliveryCode(const std::string& code) {
    std::string trimmed = text::trim(code);
    if (!isNumeric(trimmed)) throw Error(errnum::TypeMismatch, "納期回答の納入区分が数値ではありません (" + code + ")");
    return toInt16(trimmed);
}

class DeliveryAnswers {
public:
    DeliveryAnswers(const std::string& number, std::vector<xml::Document>& out)
        : number_(number), out_(out), folder_(FolderPathInfo().getFolderPath("FaxSendXML")) {}

    void build() {
        FaxManageNum store;
        std::vector<std::string> received;
        std::int16_t count = store.getXMLFileToManage(number_, kDeliveryAnswerReceived, received);
        for (std::int16_t i = 0; i < count; ++i) answerReceived(received[i]);
    }

private:
    void answerReceived(const std::string& name) {
        const std::string path = folder_ + name + ".xml";
        xml::Document doc;
        if (!doc.load(path))
            throw Error(errnum::FileNotFound, "受信した回答書を読めません: " + path + " " + doc.parseError().reason);
        // Every row has its reference; there cannot be more rows than references.
        const std::size_t capacity = doc.getElementsByTagName("RefNum").size();
        if (capacity == 0) throw Error(errnum::SubscriptOutOfRange, "受信した回答書に RefNum がありません: " + path);
        for (const xml::Node& mode : doc.getElementsByTagName("EnploymentMode"))
            test_.assign(1, mode.text() == kMark ? '1' : '0');
        xml::Node root = doc.documentElement();
        if (!root) throw Error(errnum::ObjectNotSet, "受信した回答書に文書要素がありません: " + path);
        replyDate_ = childAt(childAt(root, 0, path), 6, path).text();

        std::string sent;
        std::vector<Row> rows;
        for (const xml::Node& form : root.childNodes()) {
            if (childAt(form, 1, path).text() != number_) continue;
            sent = childAt(form, 2, path).text();
            for (const xml::Node& r : childAt(form, 7, path).childNodes()) {
                if (rows.size() >= capacity)
                    throw Error(errnum::SubscriptOutOfRange, "受信した回答書の行が RefNum より多くあります: " + path);
                rows.push_back(readRow(r, path));
            }
        }

        FaxManageNum store;
        std::vector<std::string> sentNames;
        std::int16_t count = store.getXMLFileToManage(sent, kDeliveryConfirmation, sentNames);
        for (std::int16_t i = 0; i < count; ++i) answerSent(sentNames[i], sent, rows);
    }

    static Row readRow(const xml::Node& r, const std::string& path) {
        Row row;
        row.reference = childAt(r, 0, path).text();
        for (std::size_t k = 0; k < 3; ++k) {
            row.dates[k] = TelephonyControl::filterNumericChars(childAt(r, k + 1, path).text());
            row.quantities[k] = quantityValue(childAt(r, 2 * k + 4, path).text(), childAt(r, 2 * k + 5, path).text());
        }
        row.mark = childAt(r, 10, path).text();
        row.code = TelephonyControl::filterNumericChars(childAt(r, 11, path).text());
        return row;
    }

    void answerSent(const std::string& name, const std::string& sent, const std::vector<Row>& rows) {
        xml::Document doc = loadSentDocument(folder_, name, kDeliveryConfirmation);
        const std::string what = std::string("送信した") + kDeliveryConfirmation + " " + name;
        xml::Node root = doc.documentElement();
        if (!root) throw Error(errnum::ObjectNotSet, what + ": 文書要素がありません");
        if (childAt(root, 1, what).text() != sent) return;
        for (const xml::Node& line : childAt(root, 8, what).childNodes()) {
            std::string reference = childAt(line, 0, what).text();
            for (const Row& row : rows)
                if (row.reference == reference) {
                    out_.push_back(answer(root, line, row, sent, what));
                    break;
                }
        }
    }

    xml::Document answer(const xml::Node& root, const xml::Node& line, const Row& row, const std::string& sent,
                         const std::string& what) const {
        xml::Document doc = newAnswerDocument();
        xml::Node top = doc.appendChild(doc.createElement("DORE0702"));
        xml::Node jptrm = doc.createElement("JPTRM");
        jptrm.setAttribute("TEST", test_);
        jptrm = top.appendChild(jptrm);
        appendText(doc, jptrm, "Sequence-number", requiredChild(line, "Sequence-number", what).text());
        appendText(doc, jptrm, "Information-code", infocode::REQUESTANS);
        appendText(doc, jptrm, "Data-create-date", createDate());
        appendText(doc, jptrm, "Data-create-time", createTime());
        appendText(doc, jptrm, "Customer-code", requiredChild(root, "Customer-code", what).text());
        appendText(doc, jptrm, "Supplier-code", requiredChild(root, "Supplier-code", what).text());
        appendText(doc, jptrm, "Order-number", requiredChild(line, "Order-number", what).text());
        appendText(doc, jptrm, "Correction-code", requiredChild(line, "Correction-code", what).text());
        appendText(doc, jptrm, "Devide-delivery-number", requiredChild(line, "Devide-delivery-number", what).text());

        // The replied deliveries. A code of 1 (nothing to reply) with no
        // date and no quantity has no group; any other code has one, empty
        // when nothing was replied.
        const std::int16_t code = deliveryCode(row.code);
        int replied = 0;
        for (std::size_t k = 0; k < 3; ++k) replied += !row.dates[k].empty() + !row.quantities[k].empty();
        if (code != 1 || replied > 0) {
            xml::Node group = appendEmpty(doc, jptrm, "JPM001");
            for (std::size_t k = 0; k < 3; ++k) {
                if (row.dates[k].empty() && row.quantities[k].empty()) continue;
                xml::Node r = appendEmpty(doc, group, "JPM001R");
                if (!row.quantities[k].empty()) appendText(doc, r, "Reply-quantity", row.quantities[k]);
                if (!row.dates[k].empty()) appendText(doc, r, "Delivery-reply-delivery-date", row.dates[k]);
            }
        }

        for (const Field& f : kLineFields) {
            bool written = true;
            switch (f.value) {
            case Value::DeliveryCode: {
                // A one-digit code is the digit and one blank ("01" gives "1 ").
                std::string digits = std::to_string(code);
                appendText(doc, jptrm, f.name, digits.size() == 1 ? digits + " " : text::trim(row.code));
                break;
            }
            case Value::ReplyDate: appendText(doc, jptrm, f.name, replyDate_); break;
            case Value::CustomerNameK:
                appendText(doc, jptrm, f.name, requiredChild(root, "Customer-name-K", what).text());
                break;
            case Value::SupplierRemarksK:
                written = row.mark == kMark;
                if (written) appendText(doc, jptrm, f.name, sent);
                break;
            case Value::Copied: {
                bool found = false;
                std::string value = firstText(line, f.name, &found);
                written = found;
                if (found)
                    appendText(doc, jptrm, f.name,
                               std::string_view(f.name).find("date") != std::string_view::npos ? dateRule(value) : value);
                break;
            }
            }
            if (!written && f.alwaysPresent) appendEmpty(doc, jptrm, f.name);
        }
        return doc;
    }

    const std::string& number_;
    std::vector<xml::Document>& out_;
    const std::string folder_;
    // The test flag of the last received document that held one, "" before any.
    std::string test_;
    std::string replyDate_;
};

}  // namespace

bool TelephonyControl::makeDeliveryAnswer(const std::string& strRepManageNo, std::vector<xml::Document>& objJPTRM) {
    try {
        DeliveryAnswers(strRepManageNo, objJPTRM).build();
        return true;
    } catch (...) {
        logFailure("makeDeliveryAnswer");
        return false;
    }
}

}  // namespace fg
