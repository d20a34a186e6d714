// What the answer builders of the telephone decision share: the failure log
// of the members, positional reads of the documents other programs wrote,
// the elements they write, recognised dates, and exact decimal arithmetic
// for quantities, prices and taxes.
#pragma once

#include "platform/xml.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fg {
class FaxManageNum;
}

namespace fg::telephony {

// Report types of the management records the answers start from: the
// received delivery-date answer and quotation (records the recognition side
// makes) and the delivery-date confirmation that was faxed.
inline constexpr const char* kDeliveryAnswerReceived = "納期回答書受信確認";
inline constexpr const char* kQuotationReceived = "見積書受信確認";
inline constexpr const char* kDeliveryConfirmation = "納期確認書";
// The remark mark of a recognised form.
inline constexpr const char* kMark = "●";

// The name a decision holds across processes from its last check of the
// record to its mark (platform/name_hold.h, in the store's folder).
inline std::string decisionHoldName(const std::string& number) { return "decision-" + number; }

// Inside a catch: writes the failure to the telephony error log under the
// member's name, with `number` in place of its own when one is given.
void logFailure(const char* member, long number = 0) noexcept;

// getManageNum(number, "", True): whether the number is on record, a miss
// logged by the store. A store that cannot be read is no "not on record" for
// a caller on the telephone: that raises fg::Error 75 with the cause.
bool onRecord(FaxManageNum& store, const std::string& number);

// Child `index` (from 0) of the node's child list, as loaded. Raises 91 with
// `what` (the document being read) when there is no such child: a document
// of another shape must not be read as if it fitted.
xml::Node childAt(const xml::Node& node, std::size_t index, const std::string& what);
// The first direct child element of that name; raises 91 when there is none.
xml::Node requiredChild(const xml::Node& node, const std::string& name, const std::string& what);
// The text of the first descendant element of that name; found tells whether there was one.
std::string firstText(const xml::Node& node, const std::string& name, bool* found = nullptr);
// The text of the last descendant element of that name, "" when none.
std::string lastText(const xml::Node& node, const std::string& name);

// A document as it was faxed: its base copy ("base" + name + ".xml" in the
// folder) when there is one, else the fax document (name + ".xml"), loaded
// with white space kept. Raises 53 naming `what` when neither loads.
xml::Document loadSentDocument(const std::string& folder, const std::string& name, const std::string& what);

// A new element with its text, appended as the parent's last child.
xml::Node appendText(const xml::Document& doc, xml::Node& parent, const std::string& name, const std::string& text);
// One element of the same name and text for each element of that name
// below `source`, in document order.
void appendCopies(const xml::Document& doc, xml::Node& parent, const xml::Node& source, const std::string& name);
// A new empty element appended as the parent's last child.
xml::Node appendEmpty(const xml::Document& doc, xml::Node& parent, const std::string& name);
// A new answer document: the UTF-8 declaration and nothing else yet.
xml::Document newAnswerDocument();

// The date rule of copied fields: a text whose first "/" is its fifth
// character and that reads as year/month/day (2001/2/3) is written as
// "yyyymmdd" (20010203); any other text, a date that does not exist
// included, is kept as it is.
std::string dateRule(const std::string& text);
// Today and now as the answers stamp them ("yyyymmdd", "hhnnss").
std::string createDate();
std::string createTime();

// An exact decimal number: units / 10^scale. Recognised values are decimal
// texts, and amounts and taxes are computed on them without the rounding
// of binary fractions, so that a half is always a half.
class Decimal {
public:
    Decimal() = default;
    // "-12.5", "12.", ".5", "007". Raises 13 with `what` for any other text
    // (a second point, a minus between digits, no digit at all) and 6 for a
    // number beyond 30 digits.
    static Decimal parse(std::string_view text, const std::string& what);

    Decimal operator*(const Decimal& other) const;  // raises 6 on overflow
    Decimal operator+(const Decimal& other) const;  // raises 6 on overflow
    // Divided by 10^places, exactly.
    Decimal shifted(int places) const;
    // Rounded to `places` decimals, halves away from zero.
    Decimal rounded(int places) const;

    // Exactly `places` decimals after rounding ("0.500", "420600").
    std::string fixed(int places) const;
    // No grouping, no zeros in front, a fraction only when there is one
    // (987.6, 12345, -3).
    std::string general() const;

private:
    Decimal(__int128 units, int scale) : units_(units), scale_(scale) {}
    Decimal withScale(int scale) const;  // raises 6 on overflow
    __int128 units_ = 0;
    int scale_ = 0;
};

}  // namespace fg::telephony
