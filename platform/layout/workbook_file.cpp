#include "platform/layout/workbook_file.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/xml.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <initializer_list>
#include <set>

namespace fg::layout {

namespace {

using xml::Node;
using xml::NodeType;

std::string where(const Node& n) { return "<" + n.nodeName() + ">"; }

// Every attribute of an element must be one we know: a misspelt attribute
// in a hand-edited layout would otherwise print silently without its effect.
void allowOnly(const Node& n, std::initializer_list<const char*> names) {
    for (const auto& [name, value] : n.attributes()) {
        bool known = false;
        for (const char* k : names) known = known || name == k;
        if (!known) layoutError(where(n) + " の属性 " + name + " は使えません");
    }
}

std::vector<Node> childElements(const Node& n) {
    std::vector<Node> out;
    for (const Node& c : n.childNodes()) {
        if (c.type() == NodeType::Element) out.push_back(c);
        else if ((c.type() == NodeType::Text || c.type() == NodeType::CData) && !text::trimBlanks(c.text()).empty())
            layoutError(where(n) + " に文字は置けません");
    }
    return out;
}

double number(const Node& n, const char* attr, double lo, double hi) {
    std::string v = text::trimBlanks(n.getAttribute(attr));
    double d = 0;
    auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), d);
    if (v.empty() || ec != std::errc() || p != v.data() + v.size() || !std::isfinite(d) || d < lo || d > hi)
        layoutError(where(n) + " の " + attr + "=\"" + v + "\" が不正です");
    return d;
}

int whole(const Node& n, const char* attr, int lo, int hi) {
    double d = number(n, attr, lo, hi);
    if (d != std::floor(d)) layoutError(where(n) + " の " + attr + " は整数です");
    return static_cast<int>(d);
}

bool boolean(const Node& n, const char* attr) {
    std::string v = text::toLowerAscii(text::trimBlanks(n.getAttribute(attr)));
    if (v == "true" || v == "1") return true;
    if (v == "false" || v == "0") return false;
    layoutError(where(n) + " の " + attr + "=\"" + v + "\" が不正です");
}

Color color(const Node& n, const char* attr) {
    std::string v = text::trimBlanks(n.getAttribute(attr));
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    bool ok = v.size() == 7 && v[0] == '#';
    for (std::size_t i = 1; ok && i < 7; ++i) ok = hex(v[i]) >= 0;
    if (!ok) layoutError(where(n) + " の " + attr + "=\"" + v + "\" は #RRGGBB で書きます");
    auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(hex(v[i]) * 16 + hex(v[i + 1])); };
    return Color{byte(1), byte(3), byte(5)};
}

template <class E>
E choice(const Node& n, const char* attr, std::initializer_list<std::pair<const char*, E>> options) {
    std::string v = text::toLowerAscii(text::trimBlanks(n.getAttribute(attr)));
    for (const auto& [name, value] : options)
        if (v == name) return value;
    layoutError(where(n) + " の " + attr + "=\"" + v + "\" が不正です");
}

constexpr std::pair<const char*, LineStyle> kLines[] = {
    {"none", LineStyle::None},     {"hair", LineStyle::Hair},     {"dotted", LineStyle::Dotted},
    {"dashed", LineStyle::Dashed}, {"thin", LineStyle::Thin},     {"medium", LineStyle::Medium},
    {"double", LineStyle::Double}, {"thick", LineStyle::Thick},
};
constexpr std::pair<const char*, HAlign> kHAligns[] = {
    {"left", HAlign::Left}, {"center", HAlign::Center}, {"right", HAlign::Right}};
constexpr std::pair<const char*, VAlign> kVAligns[] = {
    {"top", VAlign::Top}, {"middle", VAlign::Middle}, {"bottom", VAlign::Bottom}};

LineStyle line(const Node& n, const char* attr) {
    std::string v = text::toLowerAscii(text::trimBlanks(n.getAttribute(attr)));
    for (const auto& [name, value] : kLines)
        if (v == name) return value;
    layoutError(where(n) + " の " + attr + "=\"" + v + "\" が不正です");
}

CellStyle readStyle(const Node& n) {
    allowOnly(n, {"id", "font", "size", "bold", "italic", "underline", "color", "halign", "valign", "wrap", "fill",
                  "border", "borderLeft", "borderTop", "borderRight", "borderBottom"});
    CellStyle s;
    if (n.hasAttribute("font")) {
        s.font.family = text::trimBlanks(n.getAttribute("font"));
        if (s.font.family.empty()) layoutError(where(n) + " の font が空です");
    }
    if (n.hasAttribute("size")) s.font.size = number(n, "size", 1, 409);
    if (n.hasAttribute("bold")) s.font.bold = boolean(n, "bold");
    if (n.hasAttribute("italic")) s.font.italic = boolean(n, "italic");
    if (n.hasAttribute("underline")) s.font.underline = boolean(n, "underline");
    if (n.hasAttribute("color")) s.font.color = color(n, "color");
    if (n.hasAttribute("halign")) {
        std::string v = text::toLowerAscii(text::trimBlanks(n.getAttribute("halign")));
        bool found = false;
        for (const auto& [name, value] : kHAligns)
            if (v == name) s.halign = value, found = true;
        if (!found) layoutError(where(n) + " の halign=\"" + v + "\" が不正です");
    }
    if (n.hasAttribute("valign")) {
        std::string v = text::toLowerAscii(text::trimBlanks(n.getAttribute("valign")));
        bool found = false;
        for (const auto& [name, value] : kVAligns)
            if (v == name) s.valign = value, found = true;
        if (!found) layoutError(where(n) + " の valign=\"" + v + "\" が不正です");
    }
    if (n.hasAttribute("wrap")) s.wrap = boolean(n, "wrap");
    if (n.hasAttribute("fill")) s.fill = color(n, "fill");
    if (n.hasAttribute("border")) {
        LineStyle l = line(n, "border");
        s.borders = Borders{l, l, l, l};
    }
    if (n.hasAttribute("borderLeft")) s.borders.left = line(n, "borderLeft");
    if (n.hasAttribute("borderTop")) s.borders.top = line(n, "borderTop");
    if (n.hasAttribute("borderRight")) s.borders.right = line(n, "borderRight");
    if (n.hasAttribute("borderBottom")) s.borders.bottom = line(n, "borderBottom");
    return s;
}

// A span of rows or columns: index="n", or from="a" to="b".
std::pair<int, int> span(const Node& n, int max) {
    if (n.hasAttribute("index")) {
        if (n.hasAttribute("from") || n.hasAttribute("to")) layoutError(where(n) + " は index か from/to のどちらかです");
        int i = whole(n, "index", 1, max);
        return {i, i};
    }
    int from = whole(n, "from", 1, max);
    int to = whole(n, "to", from, max);
    return {from, to};
}

// "1:7" or "1,3,17:17": rows and spans of rows, in order, not overlapping.
std::vector<RowSpan> rowSpans(const Node& n, const char* attr) {
    std::vector<RowSpan> spans;
    const std::string v = n.getAttribute(attr);
    if (text::trimBlanks(v).empty()) return spans;
    std::size_t at = 0;
    while (at <= v.size()) {
        std::size_t comma = v.find(',', at);
        if (comma == std::string::npos) comma = v.size();
        const std::string item = text::trimBlanks(v.substr(at, comma - at));
        const std::size_t colon = item.find(':');
        auto row = [&](const std::string& digits) {
            if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos ||
                std::stoi(digits) < 1 || std::stoi(digits) > kMaxRows)
                layoutError(where(n) + " の " + attr + "=\"" + v + "\" が不正です");
            return std::stoi(digits);
        };
        RowSpan span;
        span.first = row(text::trimBlanks(item.substr(0, colon)));
        span.last = colon == std::string::npos ? span.first : row(text::trimBlanks(item.substr(colon + 1)));
        if (span.last < span.first || (!spans.empty() && span.first <= spans.back().last))
            layoutError(where(n) + " の " + attr + "=\"" + v + "\" は行の順に重ならずに書きます");
        spans.push_back(span);
        at = comma + 1;
    }
    return spans;
}

void readPageSetup(const Node& n, PageSetup& p) {
    allowOnly(n, {"orientation", "leftMargin", "rightMargin", "topMargin", "bottomMargin", "zoom", "titleRows", "footer"});
    if (n.hasAttribute("orientation"))
        p.orientation = choice<Orientation>(
            n, "orientation", {{"portrait", Orientation::Portrait}, {"landscape", Orientation::Landscape}});
    if (n.hasAttribute("leftMargin")) p.leftMargin = number(n, "leftMargin", 0, 400);
    if (n.hasAttribute("rightMargin")) p.rightMargin = number(n, "rightMargin", 0, 400);
    if (n.hasAttribute("topMargin")) p.topMargin = number(n, "topMargin", 0, 400);
    if (n.hasAttribute("bottomMargin")) p.bottomMargin = number(n, "bottomMargin", 0, 400);
    if (n.hasAttribute("zoom")) p.zoom = whole(n, "zoom", 10, 400);
    if (n.hasAttribute("titleRows")) p.titleRows = rowSpans(n, "titleRows");
    if (n.hasAttribute("footer")) {
        p.footer = n.getAttribute("footer");
        if (text::length16(p.footer) > 255) layoutError(where(n) + " の footer が長すぎます");
    }
}

void readSheet(const Node& n, Workbook& wb, Sheet& sheet) {
    allowOnly(n, {"name"});
    if (n.hasAttribute("name")) sheet.name = n.getAttribute("name");
    for (const Node& part : childElements(n)) {
        const std::string name = part.nodeName();
        if (name == "PageSetup") {
            if (!childElements(part).empty()) layoutError(where(part) + " は空の要素です");
            readPageSetup(part, sheet.pageSetup);
        } else if (name == "Columns") {
            allowOnly(part, {"defaultWidth"});
            if (part.hasAttribute("defaultWidth")) sheet.defaultColumnWidth = number(part, "defaultWidth", 0, 1000);
            for (const Node& c : childElements(part)) {
                if (c.nodeName() != "Column") layoutError(where(part) + " に " + where(c) + " は置けません");
                allowOnly(c, {"index", "from", "to", "width"});
                auto [a, b] = span(c, kMaxColumns);
                double w = number(c, "width", 0, 1000);
                for (int i = a; i <= b; ++i) sheet.columnWidths[i] = w;
            }
        } else if (name == "Rows") {
            allowOnly(part, {"defaultHeight"});
            if (part.hasAttribute("defaultHeight")) sheet.defaultRowHeight = number(part, "defaultHeight", 0, 409);
            for (const Node& r : childElements(part)) {
                if (r.nodeName() != "Row") layoutError(where(part) + " に " + where(r) + " は置けません");
                allowOnly(r, {"index", "from", "to", "height"});
                auto [a, b] = span(r, kMaxRows);
                double h = number(r, "height", 0, 409);
                for (int i = a; i <= b; ++i) sheet.rowHeights[i] = h;
            }
        } else if (name == "Cells") {
            allowOnly(part, {});
            for (const Node& c : childElements(part)) {
                if (c.nodeName() != "Cell") layoutError(where(part) + " に " + where(c) + " は置けません");
                allowOnly(c, {"ref", "style"});
                Area area = parseArea(c.getAttribute("ref"));
                std::string txt;
                for (const Node& t : c.childNodes()) {
                    if (t.type() == NodeType::Text || t.type() == NodeType::CData) txt += t.text();
                    else if (t.type() == NodeType::Element) layoutError(where(c) + " に " + where(t) + " は置けません");
                }
                if (text::length16(txt) > kMaxTextUnits) layoutError(toString(area.first) + " の文字が長すぎます");
                const bool hasStyle = c.hasAttribute("style");
                const std::string style = c.getAttribute("style");
                if (hasStyle && !wb.styles.count(style)) layoutError("スタイル \"" + style + "\" は定義されていません");
                if (!txt.empty() && !(area.first == area.last))
                    layoutError(toString(area) + " は範囲なので文字は置けません");
                if (static_cast<long long>(area.last.row - area.first.row + 1) *
                        (area.last.column - area.first.column + 1) > 1 << 20)
                    layoutError(toString(area) + " は広すぎます");
                for (int r = area.first.row; r <= area.last.row; ++r)
                    for (int k = area.first.column; k <= area.last.column; ++k) {
                        Cell& cell = sheet.cells[CellRef{r, k}];
                        if (hasStyle) cell.style = style;
                        if (!txt.empty()) cell.text = txt;
                    }
            }
        } else if (name == "Merges") {
            allowOnly(part, {});
            for (const Node& m : childElements(part)) {
                if (m.nodeName() != "Merge") layoutError(where(part) + " に " + where(m) + " は置けません");
                allowOnly(m, {"ref"});
                Area a = parseArea(m.getAttribute("ref"));
                if (a.first == a.last) continue;  // one cell merged with itself is no merge
                for (const Area& other : sheet.merges)
                    if (other.overlaps(a)) layoutError(toString(a) + " と " + toString(other) + " の結合が重なっています");
                sheet.merges.push_back(a);
            }
        } else if (name == "PageBreaks") {
            allowOnly(part, {});
            std::set<int> rows(sheet.rowBreaks.begin(), sheet.rowBreaks.end());
            std::set<int> cols(sheet.columnBreaks.begin(), sheet.columnBreaks.end());
            for (const Node& b : childElements(part)) {
                if (b.nodeName() == "RowBreak") {
                    allowOnly(b, {"row"});
                    rows.insert(whole(b, "row", 2, kMaxRows));
                } else if (b.nodeName() == "ColumnBreak") {
                    allowOnly(b, {"column"});
                    cols.insert(whole(b, "column", 2, kMaxColumns));
                } else {
                    layoutError(where(part) + " に " + where(b) + " は置けません");
                }
            }
            sheet.rowBreaks.assign(rows.begin(), rows.end());
            sheet.columnBreaks.assign(cols.begin(), cols.end());
        } else {
            layoutError(where(n) + " に " + where(part) + " は置けません");
        }
    }
    // A cell entry that carries nothing is dropped so that equal layouts
    // compare equal however they were written.
    for (auto it = sheet.cells.begin(); it != sheet.cells.end();)
        it = it->second.text.empty() && it->second.style.empty() ? sheet.cells.erase(it) : std::next(it);
    // Margins may not eat the page: at least an inch must be left to print on.
    const PageSetup& p = sheet.pageSetup;
    if (p.paperWidth() - p.leftMargin - p.rightMargin < 72 || p.paperHeight() - p.topMargin - p.bottomMargin < 72)
        layoutError("シート \"" + sheet.name + "\" の余白が広すぎて印刷できません");
}

Workbook fromDocument(const xml::Document& doc) {
    Node root = doc.documentElement();
    if (!root || root.nodeName() != "Workbook") layoutError("ルート要素が <Workbook> ではありません");
    allowOnly(root, {});
    Workbook wb;
    for (const Node& part : childElements(root)) {
        if (part.nodeName() == "Styles") {
            allowOnly(part, {});
            for (const Node& s : childElements(part)) {
                if (s.nodeName() != "Style") layoutError(where(part) + " に " + where(s) + " は置けません");
                std::string id = s.getAttribute("id");
                if (id.empty()) layoutError("<Style> に id がありません");
                if (wb.styles.count(id)) layoutError("スタイル \"" + id + "\" が二度定義されています");
                wb.styles[id] = readStyle(s);
            }
        } else if (part.nodeName() == "Sheet") {
            Sheet sheet;
            sheet.name = "Sheet" + std::to_string(wb.sheets.size() + 1);
            readSheet(part, wb, sheet);
            wb.sheets.push_back(std::move(sheet));
        } else {
            layoutError("<Workbook> に " + where(part) + " は置けません");
        }
    }
    if (wb.sheets.empty()) layoutError("シートがありません");
    return wb;
}

// Numbers as the shortest text that reads back to the same value, classic digits.
std::string num(double d) {
    char buf[32];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, d);
    return std::string(buf, p);
}

std::string hexColor(Color c) {
    static const char* digits = "0123456789ABCDEF";
    std::string s = "#";
    for (std::uint8_t v : {c.r, c.g, c.b}) {
        s += digits[v >> 4];
        s += digits[v & 15];
    }
    return s;
}

const char* lineName(LineStyle l) {
    for (const auto& [name, value] : kLines)
        if (value == l) return name;
    return "none";
}

}  // namespace

Workbook parseWorkbook(const std::string& xmlText) {
    xml::Document doc;
    if (!doc.loadXML(xmlText)) layoutError(doc.parseError().reason);
    return fromDocument(doc);
}

Workbook readWorkbook(const std::string& path) {
    if (!fs::fileExists(path)) throw Error(errnum::FileNotFound, Error::standardText(errnum::FileNotFound) + " " + path, "layout");
    xml::Document doc;
    if (!doc.load(path)) layoutError(path + ": " + doc.parseError().reason);
    try {
        return fromDocument(doc);
    } catch (Error& e) {
        throw Error(e.number(), e.description() + " " + path, e.source());
    }
}

std::string serializeWorkbook(const Workbook& wb) {
    xml::Document doc;
    doc.appendChild(doc.createProcessingInstruction("xml", "version=\"1.0\" encoding=\"UTF-8\""));
    Node root = doc.appendChild(doc.createElement("Workbook"));
    Node styles = root.appendChild(doc.createElement("Styles"));
    const CellStyle d;
    for (const auto& [id, s] : wb.styles) {
        Node e = styles.appendChild(doc.createElement("Style"));
        e.setAttribute("id", id);
        if (s.font.family != d.font.family) e.setAttribute("font", s.font.family);
        if (s.font.size != d.font.size) e.setAttribute("size", num(s.font.size));
        if (s.font.bold) e.setAttribute("bold", "true");
        if (s.font.italic) e.setAttribute("italic", "true");
        if (s.font.underline) e.setAttribute("underline", "true");
        if (!(s.font.color == d.font.color)) e.setAttribute("color", hexColor(s.font.color));
        if (s.halign != d.halign) e.setAttribute("halign", s.halign == HAlign::Center ? "center" : "right");
        if (s.valign != d.valign) e.setAttribute("valign", s.valign == VAlign::Top ? "top" : "middle");
        if (s.wrap) e.setAttribute("wrap", "true");
        if (s.fill) e.setAttribute("fill", hexColor(*s.fill));
        if (s.borders.left != LineStyle::None) e.setAttribute("borderLeft", lineName(s.borders.left));
        if (s.borders.top != LineStyle::None) e.setAttribute("borderTop", lineName(s.borders.top));
        if (s.borders.right != LineStyle::None) e.setAttribute("borderRight", lineName(s.borders.right));
        if (s.borders.bottom != LineStyle::None) e.setAttribute("borderBottom", lineName(s.borders.bottom));
    }
    for (const Sheet& sh : wb.sheets) {
        Node se = root.appendChild(doc.createElement("Sheet"));
        se.setAttribute("name", sh.name);
        Node ps = se.appendChild(doc.createElement("PageSetup"));
        ps.setAttribute("orientation", sh.pageSetup.orientation == Orientation::Portrait ? "portrait" : "landscape");
        ps.setAttribute("leftMargin", num(sh.pageSetup.leftMargin));
        ps.setAttribute("rightMargin", num(sh.pageSetup.rightMargin));
        ps.setAttribute("topMargin", num(sh.pageSetup.topMargin));
        ps.setAttribute("bottomMargin", num(sh.pageSetup.bottomMargin));
        ps.setAttribute("zoom", std::to_string(sh.pageSetup.zoom));
        if (!sh.pageSetup.titleRows.empty()) {
            std::string spans;
            for (const RowSpan& r : sh.pageSetup.titleRows)
                spans += (spans.empty() ? "" : ",") + std::to_string(r.first) + ":" + std::to_string(r.last);
            ps.setAttribute("titleRows", spans);
        }
        if (!sh.pageSetup.footer.empty()) ps.setAttribute("footer", sh.pageSetup.footer);
        Node cols = se.appendChild(doc.createElement("Columns"));
        cols.setAttribute("defaultWidth", num(sh.defaultColumnWidth));
        for (const auto& [i, w] : sh.columnWidths) {
            Node c = cols.appendChild(doc.createElement("Column"));
            c.setAttribute("index", std::to_string(i));
            c.setAttribute("width", num(w));
        }
        Node rows = se.appendChild(doc.createElement("Rows"));
        rows.setAttribute("defaultHeight", num(sh.defaultRowHeight));
        for (const auto& [i, h] : sh.rowHeights) {
            Node r = rows.appendChild(doc.createElement("Row"));
            r.setAttribute("index", std::to_string(i));
            r.setAttribute("height", num(h));
        }
        Node cells = se.appendChild(doc.createElement("Cells"));
        for (const auto& [ref, cell] : sh.cells) {
            if (cell.text.empty() && cell.style.empty()) continue;
            Node c = cells.appendChild(doc.createElement("Cell"));
            c.setAttribute("ref", toString(ref));
            if (!cell.style.empty()) c.setAttribute("style", cell.style);
            if (!cell.text.empty()) c.appendChild(doc.createTextNode(cell.text));
        }
        Node merges = se.appendChild(doc.createElement("Merges"));
        for (const Area& a : sh.merges) merges.appendChild(doc.createElement("Merge")).setAttribute("ref", toString(a));
        Node breaks = se.appendChild(doc.createElement("PageBreaks"));
        for (int r : sh.rowBreaks) breaks.appendChild(doc.createElement("RowBreak")).setAttribute("row", std::to_string(r));
        for (int c : sh.columnBreaks)
            breaks.appendChild(doc.createElement("ColumnBreak")).setAttribute("column", std::to_string(c));
    }
    return doc.saveToString();
}

void writeWorkbook(const std::string& path, const Workbook& workbook, fs::Sync sync) {
    fs::writeFileAtomic(path, serializeWorkbook(workbook), sync);
}

}  // namespace fg::layout
