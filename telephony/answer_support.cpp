#include "telephony/answer_support.h"

#include "platform/clock.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/text.h"
#include "settings/fax_manage_num.h"

#include <vector>

namespace fg::telephony {

void logFailure(const char* member, long number) noexcept { TelephonyErrorLog().writeCurrentError(member, number); }

bool onRecord(FaxManageNum& store, const std::string& number) {
    if (store.getManageNum(number, "", true)) return true;
    std::string why = store.readFailure();
    if (!why.empty()) throw Error(errnum::PathFileAccessError, "管理番号ファイルを読めません: " + why);
    return false;
}

xml::Node childAt(const xml::Node& node, std::size_t index, const std::string& what) {
    xml::NodeList children = node.childNodes();
    if (index >= children.size())
        throw Error(errnum::ObjectNotSet, what + ": " + node.nodeName() + " に " + std::to_string(index) +
                                              " 番目の子ノードがありません");
    return children[index];
}

xml::Node requiredChild(const xml::Node& node, const std::string& name, const std::string& what) {
    for (xml::Node c = node.firstChild(); c; c = c.nextSibling())
        if (c.type() == xml::NodeType::Element && c.nodeName() == name) return c;
    throw Error(errnum::ObjectNotSet, what + ": " + node.nodeName() + " に " + name + " がありません");
}

std::string firstText(const xml::Node& node, const std::string& name, bool* found) {
    xml::NodeList all = node.getElementsByTagName(name);
    if (found) *found = !all.empty();
    return all.empty() ? std::string() : all.front().text();
}

std::string lastText(const xml::Node& node, const std::string& name) {
    xml::NodeList all = node.getElementsByTagName(name);
    return all.empty() ? std::string() : all.back().text();
}

xml::Document loadSentDocument(const std::string& folder, const std::string& name, const std::string& what) {
    std::string path = folder + "base" + name + ".xml";
    if (!fs::fileExists(path)) path = folder + name + ".xml";
    xml::Document doc;
    doc.setPreserveWhiteSpace(true);
    if (!doc.load(path))
        throw Error(errnum::FileNotFound, "送信した" + what + "を読めません: " + path + " " + doc.parseError().reason);
    return doc;
}

xml::Node appendText(const xml::Document& doc, xml::Node& parent, const std::string& name, const std::string& text) {
    xml::Node e = doc.createElement(name);
    if (!text.empty()) e.setText(text);
    return parent.appendChild(e);
}

void appendCopies(const xml::Document& doc, xml::Node& parent, const xml::Node& source, const std::string& name) {
    for (const xml::Node& e : source.getElementsByTagName(name)) appendText(doc, parent, name, e.text());
}

xml::Node appendEmpty(const xml::Document& doc, xml::Node& parent, const std::string& name) {
    return parent.appendChild(doc.createElement(name));
}

xml::Document newAnswerDocument() {
    xml::Document doc;
    doc.setPreserveWhiteSpace(true);
    doc.appendChild(doc.createProcessingInstruction("xml", "version=\"1.0\" encoding=\"UTF-8\""));
    return doc;
}

namespace {

bool allDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

int daysIn(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

}  // namespace

std::string dateRule(const std::string& text) {
    std::size_t slash = text.find('/');
    if (slash == std::string::npos || text::length16(std::string_view(text).substr(0, slash)) != 4) return text;
    std::size_t second = text.find('/', slash + 1);
    if (second == std::string::npos) return text;
    std::string_view y = std::string_view(text).substr(0, slash);
    std::string_view m = std::string_view(text).substr(slash + 1, second - slash - 1);
    std::string_view d = std::string_view(text).substr(second + 1);
    if (!allDigits(y) || !allDigits(m) || !allDigits(d) || m.size() > 2 || d.size() > 2) return text;
    int year = std::stoi(std::string(y)), month = std::stoi(std::string(m)), day = std::stoi(std::string(d));
    if (month < 1 || month > 12 || day < 1 || day > daysIn(year, month)) return text;
    std::string out(y);
    out += (month < 10 ? "0" : "") + std::to_string(month);
    out += (day < 10 ? "0" : "") + std::to_string(day);
    return out;
}

std::string createDate() { return formatLocal(clock().now(), "%Y%m%d"); }
std::string createTime() { return formatLocal(clock().now(), "%H%M%S"); }

// ---------------------------------------------------------------- Decimal

namespace {

// Far more digits than any quantity, price or tax of a quotation; products
// of two such numbers still fit the 38 digits of the representation.
constexpr int kMaxDigits = 30;

[[noreturn]] void overflow() { throw Error(errnum::Overflow, "数値が大きすぎます"); }

__int128 powerOfTen(int n) {
    __int128 p = 1;
    for (int i = 0; i < n; ++i)
        if (__builtin_mul_overflow(p, 10, &p)) overflow();
    return p;
}

std::string digitsOf(__int128 v) {
    if (v == 0) return "0";
    std::string s;
    while (v != 0) {
        int digit = static_cast<int>(v % 10);
        s.insert(s.begin(), static_cast<char>('0' + (digit < 0 ? -digit : digit)));
        v /= 10;
    }
    return s;
}

}  // namespace

Decimal Decimal::parse(std::string_view text, const std::string& what) {
    auto notANumber = [&]() -> Decimal {
        throw Error(errnum::TypeMismatch, what + " が数値ではありません (" + std::string(text) + ")");
    };
    std::string_view s = text;
    bool negative = !s.empty() && s.front() == '-';
    if (negative) s.remove_prefix(1);
    __int128 units = 0;
    int scale = 0, digits = 0;
    bool point = false;
    for (char c : s) {
        if (c == '.') {
            if (point) return notANumber();
            point = true;
        } else if (c >= '0' && c <= '9') {
            if (units != 0 || c != '0') ++digits;
            if (digits > kMaxDigits) overflow();
            units = units * 10 + (c - '0');
            if (point) ++scale;
        } else {
            return notANumber();
        }
    }
    if (s.empty() || s == ".") return notANumber();
    return Decimal(negative ? -units : units, scale);
}

Decimal Decimal::withScale(int scale) const {
    if (scale <= scale_) return *this;
    __int128 units;
    if (__builtin_mul_overflow(units_, powerOfTen(scale - scale_), &units)) overflow();
    return Decimal(units, scale);
}

Decimal Decimal::operator*(const Decimal& other) const {
    __int128 units;
    if (__builtin_mul_overflow(units_, other.units_, &units)) overflow();
    Decimal out(units, scale_ + other.scale_);
    // Trailing zeros of the fraction carry nothing; dropping them keeps
    // later products within range.
    while (out.scale_ > 0 && out.units_ % 10 == 0) {
        out.units_ /= 10;
        --out.scale_;
    }
    return out;
}

Decimal Decimal::operator+(const Decimal& other) const {
    int scale = scale_ > other.scale_ ? scale_ : other.scale_;
    Decimal a = withScale(scale), b = other.withScale(scale);
    __int128 units;
    if (__builtin_add_overflow(a.units_, b.units_, &units)) overflow();
    return Decimal(units, scale);
}

Decimal Decimal::shifted(int places) const { return Decimal(units_, scale_ + places); }

Decimal Decimal::rounded(int places) const {
    if (scale_ <= places) return *this;
    int drop = scale_ - places;
    // A value of at most 38 digits is below half of 10^39: it rounds to 0.
    if (drop > 38) return Decimal(0, places);
    __int128 factor = powerOfTen(drop);
    __int128 q = units_ / factor, r = units_ % factor;
    if (r < 0) r = -r;
    if (r >= factor - r) q += units_ < 0 ? -1 : 1;
    return Decimal(q, places);
}

std::string Decimal::fixed(int places) const {
    Decimal r = rounded(places).withScale(places);
    std::string digits = digitsOf(r.units_);
    if (static_cast<int>(digits.size()) <= places) digits.insert(0, places + 1 - digits.size(), '0');
    if (places > 0) digits.insert(digits.size() - places, ".");
    return (r.units_ < 0 ? "-" : "") + digits;
}

std::string Decimal::general() const {
    Decimal n = *this;
    while (n.scale_ > 0 && n.units_ % 10 == 0) {
        n.units_ /= 10;
        --n.scale_;
    }
    return n.fixed(n.scale_);
}

}  // namespace fg::telephony
