#include "platform/error.h"
#include "platform/files.h"
#include "platform/testing/error_of.h"
#include "platform/testing/temp_home.h"
#include "platform/text.h"
#include "platform/xml.h"
#include "platform/xml_scan.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

using namespace fg;
using fg::testing::TempDir;
using xml::Document;
using xml::Node;
using xml::NodeList;
using xml::NodeType;

namespace {

// "①㈱～髙\~" in code page 932, and in UTF-8.
const std::string kSjisChars = "\x87\x40\x87\x8A\x81\x60\xFB\xFC\\~";
const std::string kUtf8Chars = "①㈱～髙\\~";

std::string sjisFile(const std::string& encoding) {
    return "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>\r\n<Root code=\"" + kSjisChars + "\"><Name>" +
           kSjisChars + "</Name></Root>\r\n";
}

Document parse(const std::string& text, bool preserve = false) {
    Document doc;
    doc.setPreserveWhiteSpace(preserve);
    EXPECT_TRUE(doc.loadXML(text)) << doc.parseError().reason;
    return doc;
}

// Every text node below `node`, blank ones included.
void collectText(const Node& node, std::vector<std::string>& out) {
    for (const Node& c : node.childNodes()) {
        if (c.type() == NodeType::Text) out.push_back(c.text());
        collectText(c, out);
    }
}

}  // namespace

class ShiftJisSpelling : public ::testing::TestWithParam<const char*> {};

TEST_P(ShiftJisSpelling, LoadsAsCodePage932AndSavesByteIdentical) {
    TempDir dir;
    std::string original = sjisFile(GetParam());
    fs::writeFileAtomic(dir / "sjis.xml", original);

    Document doc;
    ASSERT_TRUE(doc.load(dir / "sjis.xml")) << doc.parseError().reason;
    EXPECT_EQ(doc.documentElement().text(), kUtf8Chars);
    EXPECT_EQ(doc.documentElement().getAttribute("code"), kUtf8Chars);
    doc.save(dir / "copy.xml");
    EXPECT_EQ(fs::readFile(dir / "copy.xml"), original);
    EXPECT_EQ(doc.saveToString(), original);
}

INSTANTIATE_TEST_SUITE_P(Spellings, ShiftJisSpelling,
                         ::testing::Values("Shift_JIS", "shift-jis", "Shift-jis", "SHIFT_JIS", "shift_jis", "SJIS"));

TEST(XmlEncoding, CharactersOutsideCodePage932BecomeReferencesNeverLost) {
    TempDir dir;
    // U+00E9 and U+1F600 have no code page 932 form; the rest have one that
    // reads back as a look-alike (U+301C as U+FF5E).
    const std::string foreign = "é😀〜−‖—¢¬¥‾";
    Document doc = parse("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><R a=\"x" + foreign + "\">髙" + foreign + "</R>");
    std::string bytes = doc.saveToString();
    EXPECT_NE(bytes.find("&#233;&#128512;&#12316;&#8722;&#8214;&#8212;&#162;&#172;&#165;&#8254;<"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("\xFB\xFC"), std::string::npos);  // 髙 stays a code page 932 character
    doc.save(dir / "f.xml");

    Document back;
    ASSERT_TRUE(back.load(dir / "f.xml"));
    EXPECT_EQ(back.documentElement().text(), "髙" + foreign);
    EXPECT_EQ(back.documentElement().getAttribute("a"), "x" + foreign);
}

// A CDATA section, a comment or a processing instruction holds no character
// reference: in code page 932 a CDATA section is cut around a character
// written as one, and a comment or an instruction that would need one is
// refused where it is set or saved.
TEST(XmlEncoding, MarkupWithoutReferencesKeepsItsTextOrIsRefusedInCodePage932) {
    TempDir dir;
    Document doc = parse("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><R/>");
    Node root = doc.documentElement();
    const std::string texts[] = {"〜😀a", "a−‖b]]", "髙¢¬¥‾—"};
    for (const std::string& t : texts) root.appendChild(doc.createElement("C")).appendChild(doc.createCDATASection(t));
    Document back;
    ASSERT_TRUE(back.loadBytes(doc.saveToString())) << back.parseError().reason;
    NodeList cs = back.selectNodes("/R/C");
    ASSERT_EQ(cs.size(), 3u);
    for (std::size_t i = 0; i < cs.size(); ++i) EXPECT_EQ(cs[i].text(), texts[i]);

    for (auto set : {+[](Document& d) { d.createComment("a〜"); },
                     +[](Document& d) { d.documentElement().appendChild(d.createComment("a")).setText("−"); },
                     +[](Document& d) { d.createProcessingInstruction("pi", "😀"); }})
        EXPECT_EQ(fg::testing::errorOf([&] { set(doc); }), errnum::InvalidPropertyValue);
    // Set in a document of another encoding, then moved in: the save refuses it.
    Document utf8 = parse("<R/>");
    root.appendChild(utf8.documentElement().appendChild(utf8.createComment("〜")));
    EXPECT_EQ(fg::testing::errorOf([&] { doc.save(dir / "f.xml"); }), errnum::InvalidPropertyValue);
    EXPECT_FALSE(fs::fileExists(dir / "f.xml"));
}

TEST(XmlEncoding, NewDocumentTakesItsDeclarationFromAProcessingInstruction) {
    Document doc;
    Node decl = doc.appendChild(doc.createProcessingInstruction("xml", "version=\"1.0\" encoding=\"Shift_JIS\""));
    doc.appendChild(doc.createElement("Root")).setText("①");
    doc.documentElement().setAttribute("a", "㈱");
    ASSERT_EQ(doc.childNodes().size(), 2u);
    EXPECT_EQ(doc.childNodes()[0], decl);
    EXPECT_EQ(doc.saveToString(), "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<Root a=\"\x87\x8A\">\x87\x40</Root>\r\n");
    EXPECT_EQ(doc.documentElement().xml(), "<Root a=\"㈱\">①</Root>");

    // A second declaration, as code that always adds one to a loaded file
    // makes, is not written: the file must load again.
    doc.asNode().insertBefore(doc.createProcessingInstruction("xml", "version=\"1.0\" encoding=\"UTF-8\""),
                              doc.documentElement());
    EXPECT_EQ(doc.saveToString().substr(0, 45), "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<");
    EXPECT_EQ(doc.xml(), "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<Root a=\"㈱\">①</Root>\r\n");
    EXPECT_THROW(doc.documentElement().appendChild(doc.createProcessingInstruction("xml", "version=\"1.0\"")), Error);

    // Without a declaration the document is written in UTF-8, without one.
    Document plain;
    plain.appendChild(plain.createElement("R")).setText("①");
    plain.documentElement().setAttribute("a", "①");
    EXPECT_EQ(plain.saveToString(), "<R a=\"①\">①</R>\r\n");
}

TEST(XmlEncoding, StringLoadIgnoresTheDeclaredEncodingButKeepsItForSaving) {
    Document doc = parse("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><R>①㈱</R>");
    EXPECT_EQ(doc.documentElement().text(), "①㈱");
    Node decl = doc.childNodes()[0];
    EXPECT_EQ(decl.type(), NodeType::ProcessingInstruction);
    EXPECT_EQ(decl.nodeName(), "xml");
    EXPECT_EQ(decl.text(), "version=\"1.0\" encoding=\"Shift_JIS\"");
    EXPECT_EQ(doc.saveToString(), "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<R>\x87\x40\x87\x8A</R>\r\n");
    EXPECT_EQ(doc.documentElement().xml(), "<R>①㈱</R>");  // xml() is UTF-8 text, not references
}

TEST(XmlEncoding, DocumentsInUtf16AreWrittenWholeInIt) {
    TempDir dir;
    Document doc = parse("<?xml version=\"1.0\" encoding=\"UTF-16\"?><R a=\"髙\">①<i/></R>");
    doc.save(dir / "u16.xml");
    std::string bytes = fs::readFile(dir / "u16.xml");
    EXPECT_EQ(bytes.find("<R"), std::string::npos);  // no ASCII run: every character takes two bytes
    Document back;
    ASSERT_TRUE(back.load(dir / "u16.xml")) << back.parseError().reason;
    EXPECT_EQ(back.documentElement().xml(), "<R a=\"髙\">①<i/></R>");
    Document unknown = parse("<?xml version=\"1.0\" encoding=\"x-unknown\"?><R/>");
    EXPECT_THROW(unknown.saveToString(), Error);
}

TEST(XmlWhiteSpace, IndentedFileGivesTheSameChildrenAsAnUnindentedOne) {
    const std::string indented =
        "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n"
        "<FAXManageNumber>\r\n"
        "  <ManageNo code=\"0301\">\r\n"
        "    <RepManageNo>202401010900000001</RepManageNo>\r\n"
        "    <FaxNo> 0312345678 </FaxNo>\r\n"
        "    <Pages>\r\n      <Page>a.g3</Page>\r\n      <Page>b.g3</Page>\r\n    </Pages>\r\n"
        "  </ManageNo>\r\n"
        "  <ManageNo code=\"0500\"><RepManageNo>202401010900000002</RepManageNo></ManageNo>\r\n"
        "</FAXManageNumber>\r\n";
    const std::string flat =
        "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<FAXManageNumber><ManageNo code=\"0301\">"
        "<RepManageNo>202401010900000001</RepManageNo><FaxNo> 0312345678 </FaxNo>"
        "<Pages><Page>a.g3</Page><Page>b.g3</Page></Pages></ManageNo>"
        "<ManageNo code=\"0500\"><RepManageNo>202401010900000002</RepManageNo></ManageNo></FAXManageNumber>\r\n";
    Document a = parse(indented), b = parse(flat);
    Node ra = a.documentElement(), rb = b.documentElement();
    ASSERT_EQ(ra.childNodes().size(), 2u);
    EXPECT_EQ(ra.firstChild().childNodes().size(), 3u);
    EXPECT_EQ(ra.firstChild().firstChild().nodeName(), "RepManageNo");
    EXPECT_EQ(ra.firstChild().childNodes()[1].text(), " 0312345678 ");  // blanks inside text stay
    EXPECT_EQ(ra.firstChild().lastChild().childNodes()[1].text(), "b.g3");
    EXPECT_EQ(a.saveToString(), b.saveToString());
    EXPECT_EQ(b.saveToString(), flat);

    // A save and reload adds no white-space nodes, even to a reader that keeps them.
    Document again = parse(a.saveToString(), true);
    std::vector<std::string> texts;
    collectText(again.asNode(), texts);
    for (const auto& t : texts) EXPECT_NE(t.find_first_not_of(" \r\n\t"), std::string::npos) << "blank text node";
    EXPECT_EQ(texts.size(), 5u);

    // Keeping white space is asked for before the load.
    Document kept = parse(indented, true);
    EXPECT_EQ(kept.documentElement().childNodes().size(), 5u);
    EXPECT_EQ(kept.documentElement().firstChild().type(), NodeType::Text);
}

TEST(XmlWhiteSpace, XmlSpacePreserveIsHonoured) {
    Document doc = parse("<r><a xml:space=\"preserve\"> <b> </b></a><c> </c></r>");
    Node a = doc.documentElement().firstChild();
    EXPECT_EQ(a.childNodes().size(), 2u);
    EXPECT_EQ(a.lastChild().text(), " ");
    EXPECT_EQ(doc.documentElement().lastChild().childNodes().size(), 0u);
    // A blank set as a load keeps it reads as it reads after a save and a
    // reload, and a load keeps it in a and e only (xml:space="x" is no
    // "preserve"; e is inside an xsl:text).
    Document mixed = parse("<r xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\" xml:space=\"preserve\"><a/><b xml:space=\"x\">"
                           "<c/></b><xsl:text xml:space=\"default\"/><d xml:space=\"default\"><xsl:text><e/></xsl:text></d></r>");
    for (Node& leaf : mixed.selectNodes("//*[not(*)]")) leaf.setTextAsLoaded(" ");
    auto leaves = [](const Document& d) { std::string t; for (const Node& n : d.selectNodes("//*[not(*)]")) t += "[" + n.text() + "]"; return t; };
    EXPECT_EQ(leaves(mixed), "[ ][][][ ]");
    EXPECT_EQ(leaves(parse(mixed.saveToString())), leaves(mixed));
}

TEST(XmlSave, CarriageReturnsInTextAndAttributesRoundTrip) {
    TempDir dir;
    Document doc = parse("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><R/>");
    Node r = doc.documentElement();
    r.setText("一行目\r\n二行目\r");
    r.setAttribute("memo", "a\rb\nc\td");
    doc.save(dir / "cr.xml");
    std::string bytes = fs::readFile(dir / "cr.xml");
    EXPECT_EQ(bytes.find("  "), std::string::npos);  // no indentation

    Document back;
    ASSERT_TRUE(back.load(dir / "cr.xml"));
    EXPECT_EQ(back.documentElement().text(), "一行目\r\n二行目\r");
    EXPECT_EQ(back.documentElement().getAttribute("memo"), "a\rb\nc\td");
    back.save(dir / "cr2.xml");
    EXPECT_EQ(fs::readFile(dir / "cr2.xml"), bytes);
}

TEST(XmlSave, SpecialCharactersAreEscapedAndComeBack) {
    Document doc = parse("<R/>");
    doc.documentElement().appendChild(doc.createTextNode("a<b&c>\"'"));
    doc.documentElement().setAttribute("q", "<\"&'>");
    doc.documentElement().appendChild(doc.createCDATASection("x<y"));
    doc.documentElement().appendChild(doc.createComment("note"));
    Document back = parse(doc.saveToString());
    EXPECT_EQ(back.documentElement().text(), "a<b&c>\"'x<y");
    EXPECT_EQ(back.documentElement().getAttribute("q"), "<\"&'>");
    EXPECT_EQ(back.documentElement().lastChild().type(), NodeType::Comment);
}

// A value no file can hold is refused where it is set, with error 380
// naming its field, and the document stays as it was.
TEST(XmlSave, AValueNoFileCanHoldIsRefusedWhereItIsSet) {
    const std::pair<const char*, std::function<void(Document&, const std::string&)>> setters[] = {
        {"「N」", [](Document& d, const std::string& v) { d.documentElement().firstChild().setText(v); }},
        {"「R/@a」", [](Document& d, const std::string& v) { d.documentElement().setAttribute("a", v); }},
        {"「R/@k」", [](Document& d, const std::string& v) { d.selectSingleNode("/R/@k").setText(v); }},
        {"「#text」", [](Document& d, const std::string& v) { d.createTextNode(v); }},
        {"「#comment」", [](Document& d, const std::string& v) { d.createComment(v); }},
    };
    for (const char* bad : {"a\x01", "\x1F", "x\xEF\xBF\xBEy", "\xED\xA0\x80", "\xEF\xBF\xBF", "\xC0\xAF", "\x80"})
        for (const auto& [field, set] : setters) {
            Document doc = parse("<R k=\"1\"><N>old</N></R>");
            const fg::testing::Raised raised = fg::testing::raisedBy([&] { set(doc, bad); });
            EXPECT_EQ(raised.number, errnum::InvalidPropertyValue) << field;
            EXPECT_NE(raised.description.find(field), std::string::npos) << raised.description;
            EXPECT_EQ(doc.saveToString(), "<R k=\"1\"><N>old</N></R>\r\n");
            set(doc, "\t\r\n😀\xEF\xBF\xBD");  // allowed, as is all else
        }
    Document doc = parse("<R/>");
    for (auto call : {+[](Document& d) { d.createComment("a--b"); }, +[](Document& d) { d.createCDATASection("]]>"); },
                      +[](Document& d) { d.createElement("1a"); }, +[](Document& d) { d.documentElement().setAttribute("a b", "1"); }})
        EXPECT_EQ(fg::testing::errorOf([&] { call(doc); }), errnum::InvalidPropertyValue);
}

TEST(XmlLoad, ReportsErrorsWithCodeAndReason) {
    TempDir dir;
    struct Case {
        const char* what;
        std::function<bool(Document&)> load;
    };
    fs::writeFileAtomic(dir / "broken.xml", "<?xml version=\"1.0\"?>\n<a><b></a>\n");
    fs::writeFileAtomic(dir / "empty.xml", "");
    fs::writeFileAtomic(dir / "badbytes.xml", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<R>\x87\x40\xFF\xFF</R>");
    fs::writeFileAtomic(dir / "unknown.xml", "<?xml version=\"1.0\" encoding=\"x-unknown\"?><R/>");
    std::vector<Case> cases = {
        {"missing file", [&](Document& d) { return d.load(dir / "nothing.xml"); }},
        {"mismatched tag", [&](Document& d) { return d.load(dir / "broken.xml"); }},
        {"empty file", [&](Document& d) { return d.load(dir / "empty.xml"); }},
        {"bytes no code page 932 character", [&](Document& d) { return d.load(dir / "badbytes.xml"); }},
        {"unknown encoding", [&](Document& d) { return d.load(dir / "unknown.xml"); }},
        {"two roots", [](Document& d) { return d.loadXML("<a/><b/>"); }},
        {"undefined entity", [](Document& d) { return d.loadXML("<a>&nope;</a>"); }},
        {"not XML", [](Document& d) { return d.loadXML("index,csv,line"); }},
    };
    for (auto& c : cases) {
        Document doc = parse("<previous/>");
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(c.load(doc)) << c.what;
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << c.what;  // the reason is ours to report
        EXPECT_TRUE(doc.documentElement().isNull()) << c.what;  // never the stale content
        EXPECT_TRUE(doc.childNodes().empty()) << c.what;
        EXPECT_NE(doc.parseError().errorCode, 0) << c.what;
        EXPECT_FALSE(doc.parseError().reason.empty()) << c.what;
        // A file that could not be read is no fault of its bytes.
        EXPECT_EQ(doc.parseError().contentFault(), std::string(c.what) != "missing file") << c.what;
    }
    Document doc;
    (void)doc.load(dir / "broken.xml");
    EXPECT_EQ(doc.parseError().line, 2);  // the first error, not the early end of data it causes
    (void)doc.load(dir / "badbytes.xml");
    EXPECT_NE(doc.parseError().reason.find("conversion"), std::string::npos) << doc.parseError().reason;

    // A success clears the error; names are matched without regard to case.
    fs::writeFileAtomic(dir / "Good.XML", "<a/>");
    ASSERT_TRUE(doc.load(dir / "good.xml"));
    EXPECT_EQ(doc.parseError().errorCode, 0);
    EXPECT_EQ(doc.documentElement().nodeName(), "a");
}

// A check that makes no nodes must fail exactly the files a load fails, with
// the same error, and pass every file a load takes, however it is written.
TEST(XmlLoad, TheCheckOfAFileAgreesWithItsLoad) {
    TempDir dir;
    const struct {
        const char* name;
        std::string bytes;  // "-" for no file at all
        bool loads;
    } cases[] = {
        {"missing.xml", "-", false},
        {"broken.xml", "<?xml version=\"1.0\"?>\n<a><b></a>\n", false},
        {"empty.xml", "", false},
        {"blank.xml", "  \r\n", false},
        {"badbytes.xml", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<R>\x87\x40\xFF\xFF</R>", false},
        {"unknown.xml", "<?xml version=\"1.0\" encoding=\"x-unknown\"?><R/>", false},
        {"tworoots.xml", "<a/><b/>", false},
        {"entity.xml", "<a>&nope;</a>", false},
        {"cut.xml", "<FaxSendLogs><FaxSendLog><SendDate>2024", false},
        {"attribute.xml", "<a b=\"1\" b=\"2\"/>", false},
        {"csv.xml", "index,csv,line", false},
        {"sjis.xml", sjisFile("Shift_JIS"), true},
        {"cp932.xml", sjisFile("windows-31j"), true},
        {"bom.xml", "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>①</a>", true},
        {"declared.xml", "<!DOCTYPE a [<!ENTITY co \"東和\">]><a b=\"&co;\">&co;&amp;<![CDATA[<x>]]><!--c--><?pi d?></a>",
         true},
        {"indented.xml", "<?xml version=\"1.0\"?>\r\n<a>\r\n  <b x=\"1\">text</b>\r\n</a>\r\n", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.bytes != "-") fs::writeFileAtomic(dir / c.name, c.bytes);
        Document doc;
        ::testing::internal::CaptureStderr();
        const bool loaded = doc.load(dir / c.name);
        const xml::ParseError checked = xml::checkFile(dir / c.name);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(loaded, c.loads) << doc.parseError().reason;
        EXPECT_EQ(checked.errorCode, doc.parseError().errorCode);
        EXPECT_EQ(checked.reason, doc.parseError().reason);
        EXPECT_EQ(checked.line, doc.parseError().line);
        EXPECT_EQ(xml::fileLoads(dir / c.name), c.loads);
    }
    // Names are matched without regard to case, as a load matches them.
    fs::writeFileAtomic(dir / "Good.XML", "<a/>");
    EXPECT_EQ(xml::checkFile(dir / "good.xml").errorCode, 0);
}

TEST(XmlLoad, EntityTextPastItsBoundIsRefusedOnEveryLoad) {
    TempDir dir;
    auto repeat = [](const std::string& piece, int count) {
        std::string all;
        for (int i = 0; i < count; ++i) all += piece;
        return all;
    };
    auto uses = [&](const std::string& entity, int count, bool inAttribute) {
        const std::string refs = repeat("&e;", count);
        return "<!DOCTYPE r [<!ENTITY e \"" + entity + "\">]><r" + (inAttribute ? " a=\"" + refs + "\"/>" : ">" + refs + "</r>");
    };
    std::string laughs = "<!DOCTYPE r [<!ENTITY l0 \"0123456789\">";
    for (char level = '1'; level <= '7'; ++level)  // each ten times the one before
        laughs += std::string("<!ENTITY l") + level + " \"" + repeat(std::string("&l") + char(level - 1) + ";", 10) + "\">";
    laughs += "]><r>&l7;</r>";
    const struct { const char* name; std::string bytes; bool loads; } cases[] = {
        {"within.xml", uses("東和", 1000, false), true},
        {"many.xml", uses(std::string(100000, 'x'), 20000, false), false},
        {"attribute.xml", uses(std::string(100000, 'x'), 20, true), false},
        {"nested.xml", laughs, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::writeFileAtomic(dir / c.name, c.bytes);
        Document file, bytes, text;
        EXPECT_EQ(file.load(dir / c.name), c.loads);
        EXPECT_EQ(bytes.loadBytes(c.bytes), c.loads);
        EXPECT_EQ(text.loadXML(c.bytes), c.loads);
        EXPECT_EQ(xml::checkFile(dir / c.name).errorCode, file.parseError().errorCode);
        if (c.loads) EXPECT_EQ(file.documentElement().text().size(), 6000u);
        else EXPECT_NE(file.parseError().reason.find(dir / c.name), std::string::npos) << file.parseError().reason;
        EXPECT_EQ(file.parseError().contentFault(), !c.loads);
    }
}

TEST(XmlLoad, ExternalEntitiesAreNotFetched) {
    TempDir dir;
    fs::writeFileAtomic(dir / "secret.txt", "SECRET");
    Document doc;
    (void)doc.loadXML("<!DOCTYPE r [<!ENTITY s SYSTEM \"file://" + dir.path() + "secret.txt\">]><r>&s;</r>");
    EXPECT_EQ(doc.documentElement().text().find("SECRET"), std::string::npos);
}

TEST(XmlNodes, TextIsAllDescendantTextAndSetTextReplacesChildren) {
    Document doc = parse("<a>x<b>y<!--c--><c>z</c></b>w</a>");
    Node a = doc.documentElement();
    EXPECT_EQ(a.text(), "xyzw");
    EXPECT_EQ(doc.asNode().text(), "xyzw");
    a.firstChild().nextSibling().setText("Q");
    EXPECT_EQ(a.xml(), "<a>x<b>Q</b>w</a>");
    a.setText("");
    EXPECT_TRUE(a.firstChild().isNull());
    a.setText("only");
    EXPECT_EQ(a.childNodes().size(), 1u);
    EXPECT_EQ(a.firstChild().type(), NodeType::Text);
}

TEST(XmlNodes, AttributesKeepDocumentOrder) {
    Document doc = parse("<e z=\"1\" a=\"2\" m=\"3\"/>");
    Node e = doc.documentElement();
    using Attrs = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(e.attributes(), (Attrs{{"z", "1"}, {"a", "2"}, {"m", "3"}}));
    e.setAttribute("a", "two");  // in place
    e.setAttribute("b", "new");  // at the end
    e.removeAttribute("z");
    EXPECT_EQ(e.attributes(), (Attrs{{"a", "two"}, {"m", "3"}, {"b", "new"}}));
    EXPECT_TRUE(e.hasAttribute("m"));
    EXPECT_FALSE(e.hasAttribute("z"));
    EXPECT_EQ(e.getAttribute("z"), "");
}

TEST(XmlNodes, GetElementsByTagNameSearchesDescendantsOnly) {
    Document doc = parse("<a><a><b i=\"1\"/></a><b i=\"2\"><c/></b></a>");
    Node root = doc.documentElement();
    EXPECT_EQ(root.getElementsByTagName("a").size(), 1u);
    NodeList bs = root.getElementsByTagName("b");
    ASSERT_EQ(bs.size(), 2u);
    EXPECT_EQ(bs[0].getAttribute("i"), "1");
    EXPECT_EQ(bs[1].getAttribute("i"), "2");
    EXPECT_EQ(root.getElementsByTagName("*").size(), 4u);
    EXPECT_EQ(doc.getElementsByTagName("a").size(), 2u);
    EXPECT_EQ(bs[1].getElementsByTagName("*").size(), 1u);
    EXPECT_TRUE(root.firstChild().firstChild().getElementsByTagName("*").empty());
}

TEST(XmlXPath, QueriesRelativeToAnyNode) {
    Document doc = parse(
        "<?xml version=\"1.0\"?><Root><Info code=\"301\"><No>1</No></Info><Info code=\"0500\"><No>2</No></Info>"
        "<Info code=\"abc\"><No>3</No></Info></Root>");
    // XPath compares a number: 0301 matches "301", and "0500" matches 500.
    EXPECT_EQ(doc.selectSingleNode("//Info[@code=0301]/No").text(), "1");
    EXPECT_EQ(doc.selectSingleNode("//Info[@code=500]/No").text(), "2");
    EXPECT_TRUE(doc.selectSingleNode("//Info[@code='0301']").isNull());
    Node second = doc.documentElement().childNodes()[1];
    EXPECT_EQ(second.selectSingleNode("No").text(), "2");
    EXPECT_EQ(second.selectNodes("following-sibling::Info").size(), 1u);
    EXPECT_EQ(second.selectSingleNode("@code").text(), "0500");
    EXPECT_EQ(doc.selectNodes("/Root/Info").size(), 3u);
    EXPECT_EQ(doc.selectSingleNode("/node()[1]").nodeName(), "xml");  // the declaration is the first child
    EXPECT_TRUE(doc.selectNodes("count(//Info)").empty());
    EXPECT_THROW(doc.selectNodes("//Info[@code="), Error);
    EXPECT_THROW(Node().selectNodes("x"), Error);
}

TEST(XmlXPath, LiteralQuotesAnyValue) {
    const std::vector<std::string> values = {"plain", "it's", "say \"hi\"", "both ' and \"", "'", "\"'\"", "", "髙'"};
    Document doc = parse("<r/>");
    for (const auto& v : values) doc.documentElement().appendChild(doc.createElement("k")).setAttribute("id", v);
    for (const auto& v : values) {
        NodeList hits = doc.selectNodes("/r/k[@id=" + xml::xpathLiteral(v) + "]");
        ASSERT_EQ(hits.size(), 1u) << v << " -> " << xml::xpathLiteral(v);
        EXPECT_EQ(hits[0].getAttribute("id"), v);
    }
}

TEST(XmlNodes, ListsAreSnapshotsSoNodesCanMoveWhileWalked) {
    Document doc = parse("<r><from><i>1</i><i>2</i><i>3</i></from><to/></r>");
    Node from = doc.documentElement().firstChild(), to = doc.documentElement().lastChild();
    for (Node n : from.childNodes()) to.appendChild(n);
    EXPECT_EQ(from.childNodes().size(), 0u);
    EXPECT_EQ(to.text(), "123");
    for (Node n : doc.selectNodes("//i[. != '2']")) to.removeChild(n);
    EXPECT_EQ(to.text(), "2");
    for (Node n : to.getElementsByTagName("i")) to.insertBefore(doc.createElement("x"), n);
    EXPECT_EQ(to.xml(), "<to><x/><i>2</i></to>");
}

TEST(XmlNodes, InsertReplaceAndCycles) {
    Document doc = parse("<r><a/><b/></r>");
    Node r = doc.documentElement(), a = r.firstChild(), b = r.lastChild();
    r.insertBefore(b, a);
    EXPECT_EQ(r.xml(), "<r><b/><a/></r>");
    r.insertBefore(a, a);  // already in place
    r.insertBefore(doc.createTextNode("t"), Node());
    EXPECT_EQ(r.xml(), "<r><b/><a/>t</r>");
    Node c = doc.createElement("c");
    EXPECT_EQ(r.replaceChild(c, b), c);
    EXPECT_EQ(r.xml(), "<r><c/><a/>t</r>");
    EXPECT_TRUE(b.parentNode().isNull());
    EXPECT_THROW(a.appendChild(r), Error);               // a cycle
    EXPECT_THROW(r.removeChild(b), Error);               // not a child
    EXPECT_THROW(r.lastChild().appendChild(b), Error);   // a text node holds no children
    EXPECT_THROW(doc.appendChild(doc.createElement("second")), Error);
    EXPECT_THROW(doc.appendChild(doc.createTextNode("x")), Error);
    EXPECT_EQ(r.xml(), "<r><c/><a/>t</r>");

    // The root element itself can be replaced.
    Node newRoot = doc.createElement("n");
    doc.asNode().replaceChild(newRoot, r);
    EXPECT_EQ(doc.documentElement(), newRoot);
}

TEST(XmlNodes, CloneNodeDeepAndShallow) {
    Document doc = parse("<r><a x=\"1\"><b>t</b></a></r>");
    Node a = doc.documentElement().firstChild();
    Node deep = a.cloneNode(true), shallow = a.cloneNode(false);
    EXPECT_TRUE(deep.parentNode().isNull());
    EXPECT_EQ(deep.xml(), "<a x=\"1\"><b>t</b></a>");
    EXPECT_EQ(shallow.xml(), "<a x=\"1\"/>");
    deep.firstChild().setText("changed");
    EXPECT_EQ(a.text(), "t");
    doc.documentElement().appendChild(deep);
    EXPECT_EQ(doc.documentElement().xml(), "<r><a x=\"1\"><b>t</b></a><a x=\"1\"><b>changed</b></a></r>");
}

TEST(XmlOwnership, AppendChildFromAnotherDocumentMovesIt) {
    Document target = parse("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><T/>");
    Node moved, handle;
    {
        Document source = parse("<S xmlns:x=\"urn:x\"><x:item k=\"1\">髙</x:item><keep/></S>");
        handle = source.documentElement().firstChild();
        moved = target.documentElement().appendChild(handle);
        EXPECT_EQ(source.documentElement().xml(), "<S xmlns:x=\"urn:x\"><keep/></S>");
        EXPECT_EQ(handle.ownerDocument().documentElement(), target.documentElement());
    }  // the source document goes; its namespace declaration with it
    EXPECT_EQ(moved, handle);
    EXPECT_EQ(moved.nodeName(), "x:item");
    EXPECT_EQ(target.documentElement().xml(), "<T><x:item xmlns:x=\"urn:x\" k=\"1\">髙</x:item></T>");
    TempDir dir;
    target.save(dir / "t.xml");
    Document back;
    ASSERT_TRUE(back.load(dir / "t.xml"));
    EXPECT_EQ(back.documentElement().firstChild().text(), "髙");
}

TEST(XmlOwnership, HandlesKeepTheDocumentTheyNowBelongToAlive) {
    Node kept;
    {
        Document a = parse("<A><n>1</n></A>");
        Document b = parse("<B/>");
        Node n = a.documentElement().firstChild();
        b.documentElement().appendChild(n);
        kept = n;  // the caller's handle follows the node to b
    }
    EXPECT_EQ(kept.text(), "1");
    EXPECT_EQ(kept.parentNode().nodeName(), "B");
    EXPECT_EQ(kept.ownerDocument().xml(), "<B><n>1</n></B>\r\n");
}

TEST(XmlOwnership, OrphansAreFreedOnceAndOnlyOnce) {
    // Run under the leak checker: every node here ends in exactly one owner.
    Document a = parse("<A><x><y/></x><z/></A>");
    Document b = parse("<B/>");
    a.createElement("never-attached");
    a.createTextNode("loose");
    a.createComment("c");
    a.documentElement().cloneNode(true);
    Node x = a.documentElement().removeChild(a.documentElement().firstChild());
    Node y = x.removeChild(x.firstChild());
    b.documentElement().appendChild(x);   // an orphan of a moves to b's tree
    b.documentElement().removeChild(x);   // and becomes an orphan of b
    a.documentElement().appendChild(x);   // back to a
    b.documentElement().appendChild(y);
    b.documentElement().appendChild(a.createElement("w"));
    Node z = a.documentElement().lastChild();
    a.documentElement().removeChild(z);
    ASSERT_TRUE(a.loadXML("<A2/>"));  // reload frees a's old tree and its orphans
    EXPECT_EQ(b.documentElement().xml(), "<B><y/><w/></B>");
    Document c = b.clone();
    b.documentElement().setText("gone");
    EXPECT_EQ(c.documentElement().xml(), "<B><y/><w/></B>");
}

TEST(XmlNodes, NavigationAndNames) {
    Document doc = parse("<?xml version=\"1.0\"?><!--top--><r a=\"1\"><![CDATA[c]]><?pi data?>t</r>");
    NodeList top = doc.childNodes();
    ASSERT_EQ(top.size(), 3u);
    EXPECT_EQ(top[1].nodeName(), "#comment");
    EXPECT_EQ(doc.asNode().nodeName(), "#document");
    EXPECT_EQ(doc.asNode().type(), NodeType::Document);
    NodeList kids = doc.documentElement().childNodes();
    ASSERT_EQ(kids.size(), 3u);
    EXPECT_EQ(kids[0].type(), NodeType::CData);
    EXPECT_EQ(kids[0].nodeName(), "#cdata-section");
    EXPECT_EQ(kids[1].nodeName(), "pi");
    EXPECT_EQ(kids[1].text(), "data");
    EXPECT_EQ(kids[2].nodeName(), "#text");
    EXPECT_EQ(kids[2].previousSibling(), kids[1]);
    kids[2].setText("u");
    kids[1].setText("other");
    kids[0].setText("d");
    EXPECT_EQ(doc.documentElement().xml(), "<r a=\"1\"><![CDATA[d]]><?pi other?>u</r>");
    EXPECT_TRUE(kids[2].nextSibling().isNull());
    EXPECT_EQ(doc.documentElement().parentNode(), doc.asNode());
    EXPECT_EQ(doc.xml(), "<?xml version=\"1.0\"?>\r\n<!--top-->\r\n<r a=\"1\"><![CDATA[d]]><?pi other?>u</r>\r\n");
    Node attr = doc.documentElement().selectSingleNode("@a");
    EXPECT_EQ(attr.type(), NodeType::Attribute);
    attr.setText("2");
    EXPECT_EQ(doc.documentElement().getAttribute("a"), "2");
}

// A scan stands for a load only where the load agrees: what it understands
// loads, with the same texts, and what it calls canonical a save writes back
// byte for byte; anything else is left to the load, faults included.
TEST(ScannedFile, UnderstandsOnlyWhatALoadTakesAndCallsCanonicalOnlyWhatASaveWrites) {
    const std::string sj = "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n";
    const std::string u8 = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";
    enum Verdict { Canonical, Understood, LeftToLoad, Malformed };
    const struct {
        const char* what;
        std::string bytes;
        Verdict verdict;
    } cases[] = {
        {"as a save writes it", sj + text::toCp932("<R><A><N>一</N><M/></A><A>a &lt;&gt;&amp;&#13;b</A></R>\r\n"), Canonical},
        {"no declaration", "<R><A>x</A></R>\r\n", Canonical},
        {"what code page 932 lacks or holds one way", sj + "<R><A>&#12316;&#128512;&#233;</A></R>\r\n", Canonical},
        {"references a save writes otherwise", sj + "<R><A>&#65374;</A><A>&#x301C;</A></R>\r\n", Understood},
        {"references in UTF-8", u8 + "<R><A>&#12316;</A></R>\r\n", Understood},
        {"indented, line ends of LF", u8 + "<R>\n  <A>x</A>\n</R>\n", Understood},
        {"an empty element with an end tag", u8 + "<R><A></A></R>\r\n", Understood},
        {"a bare >", u8 + "<R><A>a>b</A></R>\r\n", Understood},
        {"other references", u8 + "<R><A>&quot;&#x41;</A><A>&#32;</A></R>\r\n", Understood},
        {"NEC's selection, which a save writes as IBM's", sj + "<R><A>\xED\x40</A></R>\r\n", Understood},
        {"space in tags", u8 + "<R ><A>x</A ></R>\r\n", Understood},
        {"space in the end tag of a child named as the root", u8 + "<A><A>x</A ><B/></A>\r\n", Understood},
        {"an element within one of its name, names that begin so",
         "<R><A><A>x</A><AB/></A><AB>y</AB><A/><A><B>" + std::string(80, 'z') + "</B><A/></A></R>\r\n", Canonical},
        {"a comment", u8 + "<R><!--c--><A>x</A></R>\r\n", LeftToLoad},
        {"an attribute", u8 + "<R><A b=\"1\">x</A></R>\r\n", LeftToLoad},
        {"CDATA", u8 + "<R><A><![CDATA[x]]></A></R>\r\n", LeftToLoad},
        {"another encoding", "<?xml version=\"1.0\" encoding=\"EUC-JP\"?>\r\n<R/>\r\n", LeftToLoad},
        {"long text of both kinds of character",
         sj + text::toCp932("<R><A>abcdefghijklmnopqrstuvwxyz一二三abcdefghijklmnopqrstuvwxyz</A></R>\r\n"), Canonical},
        {"long white space before long text", u8 + "<R>" + std::string(40, ' ') + "<A>" + std::string(20, 'y') + " &amp; </A></R>\r\n",
         Understood},
        {"mismatched tags", u8 + "<R><A>x</B></R>\r\n", Malformed},
        {"an end tag longer than the name", u8 + "<R><A>x</AB></R>\r\n", Malformed},
        {"a control character deep in long text", u8 + "<R><A>" + std::string(40, 'x') + "\x01</A></R>\r\n", Malformed},
        {"an unknown entity", u8 + "<R><A>&nbsp;</A></R>\r\n", Malformed},
        {"a control character", u8 + "<R><A>\x01</A></R>\r\n", Malformed},
        {"broken UTF-8", u8 + "<R><A>\xE3\x81</A></R>\r\n", Malformed},
        {"a lead byte without its pair", sj + "<R><A>\x82</A></R>\r\n", Malformed},
        {"]]> in text", u8 + "<R><A>]]></A></R>\r\n", Malformed},
        {"cut short", u8 + "<R><A>x</A>", Malformed},
        {"text after the root", u8 + "<R/>x", Malformed},
        {"no version", "<?xml encoding=\"UTF-8\"?>\r\n<R/>\r\n", Malformed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        xml::ScannedFile scan(c.bytes);
        EXPECT_EQ(scan.understood(), c.verdict <= Understood);
        EXPECT_EQ(scan.canonical(), c.verdict == Canonical);
        Document doc;
        EXPECT_EQ(doc.loadBytes(c.bytes), c.verdict != Malformed);
        if (!scan.understood()) continue;
        if (scan.canonical()) {
            EXPECT_EQ(doc.saveToString(), c.bytes);
        }
        NodeList top = doc.documentElement().childNodes();
        std::vector<xml::ScannedNode> scanned;
        for (const xml::ScannedNode& node : scan.topElements()) scanned.push_back(node);
        ASSERT_EQ(top.size(), scanned.size());
        std::map<std::string, std::size_t> named;
        for (std::size_t i = 0; i < top.size(); ++i) {
            EXPECT_EQ(scan.text(scanned[i].content), top[i].text());
            ++named[top[i].nodeName()];
        }
        for (const auto& [name, count] : named) EXPECT_EQ(scan.topElementsNamed(name), count) << name;
    }
}
