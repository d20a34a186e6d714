#include "platform/error.h"
#include "platform/files.h"
#include "platform/testing/temp_home.h"
#include "platform/xml.h"
#include "platform/xslt.h"

#include <gtest/gtest.h>
#include <libxml/xmlerror.h>
#include <libxslt/xsltutils.h>

#include <string>

#include <unistd.h>

using namespace fg;
using xml::Document;
using xml::Node;
using xml::NodeType;

namespace {

Document parse(const std::string& text, bool preserve = false) {
    Document doc;
    doc.setPreserveWhiteSpace(preserve);
    EXPECT_TRUE(doc.loadXML(text)) << doc.parseError().reason;
    return doc;
}

const char* kHead = "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">";

}  // namespace

TEST(Xslt, NeverChangesItsSourceEvenWithStripSpace) {
    Document source = parse("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<r>\n  <a> x </a>\n  <b>y</b>\n</r>", true);
    const std::string before = source.xml();
    Document sheet = parse(std::string(kHead) +
                           "<xsl:strip-space elements=\"*\"/>"
                           "<xsl:template match=\"/\"><out n=\"{count(r/node())}\"><xsl:copy-of select=\"r/*\"/></out>"
                           "</xsl:template></xsl:stylesheet>");
    const std::string sheetBefore = sheet.xml();
    Document output;
    xml::transformNodeToObject(source.asNode(), sheet, output);
    EXPECT_EQ(output.documentElement().getAttribute("n"), "2");  // the strip applied to the transform's copy
    EXPECT_EQ(source.xml(), before);
    EXPECT_EQ(sheet.xml(), sheetBefore);
    EXPECT_EQ(source.documentElement().childNodes().size(), 5u);
}

TEST(Xslt, ReplacesTheOutputAndDropsBlankTextUnlessItPreserves) {
    Document source = parse("<r><a>1</a><b>2</b></r>");
    Document sheet = parse(std::string(kHead) +
                           "<xsl:output method=\"xml\" indent=\"yes\" encoding=\"Shift_JIS\"/>"
                           "<xsl:template match=\"/r\"><list><xsl:for-each select=\"*\"><i><xsl:value-of select=\".\"/>"
                           "</i></xsl:for-each><sp><xsl:text> </xsl:text></sp><v><xsl:value-of select=\"a\"/><xsl:text> </xsl:text>"
                           "<xsl:value-of select=\"b\"/></v></list></xsl:template></xsl:stylesheet>");
    Document output = parse("<old>content</old>");
    xml::transformNodeToObject(source.asNode(), sheet, output);
    Node list = output.documentElement();
    EXPECT_EQ(list.nodeName(), "list");
    EXPECT_EQ(list.childNodes().size(), 4u);  // indentation gone
    EXPECT_EQ(list.childNodes()[2].childNodes().size(), 0u);
    EXPECT_EQ(list.lastChild().text(), "1 2");
    // The output's declaration carries the sheet's encoding, and save uses it.
    EXPECT_EQ(output.childNodes()[0].text(), "version=\"1.0\" encoding=\"Shift_JIS\"");
    EXPECT_EQ(output.saveToString().substr(0, 45), "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<");

    Document keeping;
    keeping.setPreserveWhiteSpace(true);
    xml::transformNodeToObject(source.asNode(), sheet, keeping);
    ASSERT_EQ(keeping.documentElement().childNodes()[2].childNodes().size(), 1u);
    EXPECT_EQ(keeping.documentElement().childNodes()[2].text(), " ");
}

TEST(Xslt, TransformsANodeAsItsOwnDocument) {
    Document source = parse("<r><a>1</a><b k=\"髙\">2</b></r>");
    Document sheet = parse(std::string(kHead) +
                           "<xsl:output omit-xml-declaration=\"yes\"/>"
                           "<xsl:template match=\"/\"><top name=\"{name(*)}\" k=\"{*/@k}\"/></xsl:template>"
                           "</xsl:stylesheet>");
    Document output;
    xml::transformNodeToObject(source.documentElement().lastChild(), sheet, output);
    EXPECT_EQ(output.xml(), "<top name=\"b\" k=\"髙\"/>\r\n");
    EXPECT_EQ(output.childNodes().size(), 1u);  // no declaration when the sheet omits it
}

TEST(Xslt, FailuresRaise) {
    Document source = parse("<r/>");
    Document output = parse("<keep/>");
    Document notASheet = parse("<nothing/>");
    EXPECT_THROW(xml::transformNodeToObject(source.asNode(), notASheet, output), Error);
    Document badSelect = parse(std::string(kHead) + "<xsl:template match=\"/\"><xsl:value-of select=\"((\"/>"
                               "</xsl:template></xsl:stylesheet>");
    EXPECT_THROW(xml::transformNodeToObject(source.asNode(), badSelect, output), Error);
    Document terminate = parse(std::string(kHead) + "<xsl:template match=\"/\"><x/><xsl:message terminate=\"yes\">stop"
                               "</xsl:message></xsl:template></xsl:stylesheet>");
    EXPECT_THROW(xml::transformNodeToObject(source.asNode(), terminate, output), Error);
    Document textOnly = parse(std::string(kHead) + "<xsl:output method=\"text\"/><xsl:template match=\"/\">just text"
                              "</xsl:template></xsl:stylesheet>");
    EXPECT_THROW(xml::transformNodeToObject(source.asNode(), textOnly, output), Error);
    EXPECT_THROW(xml::transformNodeToObject(Node(), textOnly, output), Error);
    EXPECT_EQ(output.documentElement().nodeName(), "keep");  // a failed transform leaves the output alone
}

namespace {
void countMessage(void* count, const char*, ...) { ++*static_cast<int*>(count); }
}  // namespace

TEST(Xslt, LeavesTheProcessErrorHandlersAsItFoundThem) {
    int printed = 0;
    xmlSetGenericErrorFunc(&printed, countMessage);
    xsltSetGenericErrorFunc(&printed, countMessage);
    Document source = parse("<r/>");
    Document output;
    xml::transformNodeToObject(source.asNode(), parse(std::string(kHead) + "<xsl:template match=\"/\"><x/>"
                                                      "</xsl:template></xsl:stylesheet>"), output);
    Document badSelect = parse(std::string(kHead) + "<xsl:template match=\"/\"><xsl:value-of select=\"((\"/>"
                               "</xsl:template></xsl:stylesheet>");
    EXPECT_THROW(xml::transformNodeToObject(source.asNode(), badSelect, output), Error);
    EXPECT_EQ(printed, 0);  // what a transform would print stays quiet
    EXPECT_EQ(xmlGenericError, countMessage);
    EXPECT_EQ(xmlGenericErrorContext, &printed);
    EXPECT_EQ(xsltGenericError, countMessage);
    EXPECT_EQ(xsltGenericErrorContext, &printed);
    xmlSetGenericErrorFunc(nullptr, nullptr);
    xsltSetGenericErrorFunc(nullptr, nullptr);
}

TEST(Xslt, IncludedAndReadFilesAreFoundWithoutCase) {
    fg::testing::TempDir dir;
    fs::makeFolders(dir / "Xsl");
    fs::writeFileAtomic(dir / "Xsl/Common.xsl", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>" + std::string(kHead) +
                                                  "<xsl:template name=\"t\"><c>\x87\x40</c></xsl:template></xsl:stylesheet>");
    fs::writeFileAtomic(dir / "Xsl/Main.xsl", std::string(kHead) +
                                                "<xsl:include href=\"COMMON.XSL\"/><xsl:template match=\"/\"><r>"
                                                "<xsl:call-template name=\"t\"/><d><xsl:value-of select=\"document('common.xsl')//c\"/>"
                                                "</d></r></xsl:template></xsl:stylesheet>");
    Document sheet;
    ASSERT_TRUE(sheet.load(dir / "xsl/main.XSL"));
    Document output;
    xml::transformNodeToObject(parse("<a/>").asNode(), sheet, output);
    EXPECT_EQ(output.documentElement().xml(), "<r><c>①</c><d>①</d></r>");
}

TEST(Xslt, EntityTextReachesTheTransformWithinItsBound) {
    fg::testing::TempDir dir;
    Document output;
    xml::transformNodeToObject(
        parse("<!DOCTYPE r [<!ENTITY e \"<b>text</b>\"><!ENTITY n \"&e;!\">]><r>before&n;after</r>").asNode(),
        parse(std::string(kHead) + "<xsl:template match=\"@*|node()\"><xsl:copy><xsl:apply-templates select=\"@*|node()\"/>"
                                   "</xsl:copy></xsl:template></xsl:stylesheet>"),
        output);
    EXPECT_EQ(output.documentElement().xml(), "<r>before<b>text</b>!after</r>");

    // A file read with document() is held to the bound of every load.
    std::string refs;
    for (int i = 0; i < 20000; ++i) refs += "&e;";
    fs::writeFileAtomic(dir / "many.xml", "<!DOCTYPE r [<!ENTITY e \"" + std::string(100000, 'x') + "\">]><r>" + refs + "</r>");
    fs::writeFileAtomic(dir / "sheet.xsl", std::string(kHead) + "<xsl:template match=\"/\"><n><xsl:value-of select=\""
                                                                "string-length(document('many.xml'))\"/></n></xsl:template></xsl:stylesheet>");
    Document sheet;
    ASSERT_TRUE(sheet.load(dir / "sheet.xsl"));
    std::string refused;
    try {
        xml::transformNodeToObject(parse("<a/>").asNode(), sheet, output);
    } catch (const Error& e) {
        refused = e.description();
    }
    EXPECT_NE(refused.find(dir / "many.xml"), std::string::npos) << refused;
}

TEST(Xslt, ReadsOnlyFilesBelowTheSheetsAndTheDocumentsFolders) {
    fg::testing::TempDir dir;
    for (const char* f : {"Xsl", "data", "secret"}) fs::makeFolders(dir / f);
    for (const char* f : {"Xsl/code.xml", "data/beside.xml", "secret/key.xml"})
        fs::writeFileAtomic(dir / f, std::string("<k>") + f + "</k>");
    ASSERT_EQ(::symlink((dir / "secret/key.xml").c_str(), (dir / "Xsl/link.xml").c_str()), 0);
    fs::writeFileAtomic(dir / "secret/sheet.xsl", std::string(kHead) + "<xsl:template match=\"/\"><n>KEY</n></xsl:template></xsl:stylesheet>");
    fs::writeFileAtomic(dir / "Xsl/include.xsl", std::string(kHead) + "<xsl:include href=\"../secret/sheet.xsl\"/></xsl:stylesheet>");
    fs::writeFileAtomic(dir / "Xsl/read.xsl", std::string(kHead) + "<xsl:template match=\"/\"><n><xsl:value-of select=\""
                                                                   "document(/r/@f, /)\"/></n></xsl:template></xsl:stylesheet>");
    const struct {
        const char* sheet;
        std::string name;  // the file name the document gives
        const char* read;  // "" when refused
    } cases[] = {
        {"read.xsl", dir / "Xsl/code.xml", "Xsl/code.xml"}, {"read.xsl", "beside.xml", "data/beside.xml"},
        {"read.xsl", dir / "secret/key.xml", ""},          {"read.xsl", "../secret/key.xml", ""},
        {"read.xsl", "../Xsl/link.xml", ""},               {"read.xsl", "/etc/passwd", ""},
        {"include.xsl", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::writeFileAtomic(dir / "data/in.xml", "<r f=\"" + c.name + "\"/>");
        Document source, sheet, output;
        ASSERT_TRUE(source.load(dir / "data/in.xml") && sheet.load(dir / (std::string("Xsl/") + c.sheet)));
        std::string refused;
        try {
            xml::transformNodeToObject(source.asNode(), sheet, output);
            EXPECT_EQ(output.documentElement().text(), c.read);
        } catch (const Error& e) {
            refused = e.description();
        }
        EXPECT_EQ(refused.empty(), *c.read != '\0') << refused;
    }
}
