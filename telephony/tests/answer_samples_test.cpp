// The shipped telephone samples are what the system itself leaves: the sent
// documents are exactly what the document builder writes for the sample
// messages through the installed style sheets, and the delivery-date
// confirmation keeps the positions the answer reads it by.
#include "answer_fixture.h"

#include "documents/quillary/fax_tran_xml.h"
#include "platform/text.h"

#include <algorithm>
#include <map>

namespace fg::testing {
namespace {

// The records of the numbers, each as canonical XML.
std::map<std::string, std::string> recordsOf(const std::string& storePath, const std::vector<std::string>& numbers) {
    std::map<std::string, std::string> out;
    xml::Document store;
    EXPECT_TRUE(store.load(storePath)) << storePath;
    for (const auto& r : store.getElementsByTagName("FAXManageNum")) {
        std::string number = r.selectSingleNode("RepManageNo").text();
        if (std::find(numbers.begin(), numbers.end(), number) != numbers.end())
            out[number] = canonicalXml("<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + r.xml());
    }
    return out;
}

TEST(TelephoneSamples, TheSentDocumentsAreWhatTheBuilderWritesThroughTheInstalledSheets) {
    TempHome home;
    ErrorLogGuard log;
    for (const char* message : {"DORE0701_A01.xml", "DORE0301_A01.xml"})
        fs::writeFileAtomic(home.folder("TempEDI") + message, fs::readFile(telephoneSamples() + "messages/" + message));
    std::vector<std::string> confirmations, requests;
    {
        FaxTranXml builder;
        builder.setRepManageDate("20240112100000");
        builder.setRepManageCount(0);
        ASSERT_TRUE(builder.makeLimitConfirmList({"DORE0701_A01"}, confirmations));
        builder.setRepManageDate("20240110100000");
        builder.setRepManageCount(0);
        ASSERT_TRUE(builder.makeEstiRequest({"DORE0301_A01"}, requests));
    }
    EXPECT_EQ(confirmations, std::vector<std::string>{kSentConfirmation});
    EXPECT_EQ(requests, std::vector<std::string>(std::begin(kRequests), std::end(kRequests)));
    EXPECT_TRUE(log.log->entries().empty());

    std::vector<std::string> numbers = confirmations;
    numbers.insert(numbers.end(), requests.begin(), requests.end());
    const std::string shipped = telephoneSamples() + "home/FaxSendXML/";
    const std::string written = home.folder("FaxSendXML");
    for (const std::string& n : numbers)
        for (const std::string& name : {"base" + n + ".xml", n + ".xml"}) {
            SCOPED_TRACE(name);
            EXPECT_EQ(canonicalXml(fs::readFile(written + name)), canonicalXml(fs::readFile(shipped + name)));
        }
    EXPECT_EQ(recordsOf(home.folder("FaxManageNum") + FaxManageNum::kFileName, numbers),
              recordsOf(telephoneSamples() + "home/data/" + FaxManageNum::kFileName, numbers));
}

TEST(TelephoneSamples, TheSentConfirmationKeepsThePositionsTheAnswerReads) {
    xml::Document doc;
    doc.setPreserveWhiteSpace(true);
    ASSERT_TRUE(doc.load(telephoneSamples() + "home/FaxSendXML/base" + kSentConfirmation + ".xml"));
    // Top-level node 0 is the declaration, node 1 the root.
    ASSERT_GE(doc.childNodes().size(), 2u);
    EXPECT_EQ(doc.childNodes()[0].nodeName(), "xml");
    xml::Node root = doc.childNodes()[1];
    ASSERT_EQ(root, doc.documentElement());
    // No white-space text between the root's children: every child is an element.
    xml::NodeList children = root.childNodes();
    ASSERT_EQ(children.size(), 9u);
    for (const auto& c : children) EXPECT_EQ(c.type(), xml::NodeType::Element) << c.nodeName();
    EXPECT_EQ(children[1].nodeName(), "RepManageNo");
    EXPECT_EQ(children[1].text(), kSentConfirmation);
    for (const char* header : {"Customer-code", "Supplier-code", "Customer-name-K"})
        EXPECT_FALSE(root.selectSingleNode(header).isNull()) << header;
    xml::NodeList lines = children[8].childNodes();
    ASSERT_EQ(lines.size(), 5u);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(lines[i].type(), xml::NodeType::Element);
        xml::Node reference = lines[i].firstChild();
        EXPECT_EQ(reference.nodeName(), "RefNum");
        EXPECT_EQ(reference.text(), std::to_string(i + 1));
        for (const char* key : {"Sequence-number", "Order-number", "Correction-code", "Devide-delivery-number"})
            EXPECT_FALSE(lines[i].selectSingleNode(key).isNull()) << key;
    }
}

}  // namespace
}  // namespace fg::testing
