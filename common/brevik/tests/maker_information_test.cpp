#include "common/brevik/key_information.h"
#include "common/brevik/maker_information.h"
#include "common/brevik/maker_information_xml.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/testing/error_of.h"
#include "platform/testing/temp_home.h"
#include "platform/text.h"
#include "platform/xml.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace fg {
namespace {

using testing::TempHome;

const std::string kMakerFile = "client/option/maker.xml";
const std::vector<std::string> kCodes = {"0301", "0302", "0500", "0601", "0701", "0702", "0704",
                                         "0705", "0801", "0303", "0304", "0901", "1101"};

using testing::Raised;
using testing::raisedBy;

bool xmllintAccepts(const std::string& path) {
    return std::system(("xmllint --noout '" + path + "' 2>/dev/null").c_str()) == 0;
}

std::string behaviores(const std::string& lumpCode = "", const std::string& skip = "") {
    std::string out = "<Behaviores>";
    for (const auto& c : kCodes)
        if (c != skip) out += "<Behavior code=\"" + c + "\">" + (c == lumpCode ? "LUMP" : "CLIENT") + "</Behavior>";
    return out + "</Behaviores>";
}

std::string makerElement(const std::string& key, const std::string& name, const std::string& view = "1",
                         const std::string& behaviorXml = behaviores()) {
    return "<Maker key=\"" + key + "\"><ServerCode>E1</ServerCode><Name>" + name + "</Name><ThinName>t</ThinName>"
           "<ViewNumber>" + view + "</ViewNumber><Url>u</Url>" + behaviorXml + "</Maker>";
}

void writeMakers(const TempHome& home, const std::string& makers) {
    home.write(kMakerFile,
               text::toCp932("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<Makers>" + makers + "</Makers>\n"));
}

MakerInformationRow row(const std::string& key, const std::string& name) {
    MakerInformationRow r;
    r.setKey(key);
    r.setServerCode("EDI02");
    r.setName(name);
    r.setThinName(name.substr(0, 3));
    r.setViewNumber(7);
    r.setUrl("http://127.0.0.1:8080/edi/?a=1&b=2");
    r.setBehavior("0701", LUMP);
    r.setBehavior("1101", LUMP);
    return r;
}

std::vector<std::string> keysInFile(const std::string& path) {
    xml::Document doc;
    EXPECT_TRUE(doc.load(path));
    std::vector<std::string> out;
    for (const auto& m : doc.selectNodes("Makers/Maker")) out.push_back(m.getAttribute("key"));
    return out;
}

TEST(MakerInformation, ReadsTheInstalledList) {
    TempHome home;
    MakerInformation makers;
    EXPECT_TRUE(makers.Initialize());
    EXPECT_EQ(makers.Count(), 2);
    auto m = makers.Maker("S0001");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Key(), "S0001");
    EXPECT_EQ(m->ServerCode(), "EDI01");
    EXPECT_EQ(m->Name(), "株式会社高橋製作所");
    EXPECT_EQ(m->ThinName(), "高橋製作所");
    EXPECT_EQ(m->ViewNumber(), 1);
    EXPECT_EQ(m->Url(), "http://127.0.0.1/edi/");
    for (const auto& c : kCodes) EXPECT_EQ(m->Behavior(c), c == "0500" || c == "0701" ? LUMP : CLIENT) << c;
    EXPECT_FALSE(makers.Maker("S9999"));
    EXPECT_FALSE(makers.Maker("s0001"));  // keys compare exactly
}

TEST(MakerInformation, AddEditDeleteAndSaveRoundTrip) {
    TempHome home;
    MakerInformation makers;
    ASSERT_TRUE(makers.Initialize());

    ASSERT_TRUE(makers.add(row("S0100", "株式会社新規")));
    EXPECT_EQ(makers.Count(), 3);
    EXPECT_EQ(makers.MakerIndex(2)->Key(), "S0100");
    ASSERT_TRUE(makers.edit(row("S0001", "改名工業")));
    EXPECT_EQ(makers.Count(), 3);
    EXPECT_EQ(makers.MakerIndex(2)->Key(), "S0001");  // the edited maker moves to the end
    ASSERT_TRUE(makers.Delete("S0002"));
    EXPECT_EQ(makers.Count(), 2);

    std::string file;
    ASSERT_TRUE(makers.save(file));
    EXPECT_EQ(file, home / "client/option/maker.xml");
    const std::string path = home / kMakerFile;
    EXPECT_TRUE(xmllintAccepts(path));
    EXPECT_EQ(keysInFile(path), (std::vector<std::string>{"S0100", "S0001"}));
    std::string bytes = home.read(kMakerFile);
    EXPECT_EQ(bytes.rfind("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>", 0), 0u);
    EXPECT_NE(bytes.find(text::toCp932("改名工業")), std::string::npos);

    // Every maker written holds six children in order and 13 behaviours.
    xml::Document doc;
    ASSERT_TRUE(doc.load(path));
    for (const auto& m : doc.selectNodes("Makers/Maker")) {
        std::vector<std::string> names;
        for (const auto& c : m.childNodes()) names.push_back(c.nodeName());
        EXPECT_EQ(names, (std::vector<std::string>{"ServerCode", "Name", "ThinName", "ViewNumber", "Url", "Behaviores"}));
        std::vector<std::string> codes;
        for (const auto& b : m.selectNodes("Behaviores/Behavior")) codes.push_back(b.getAttribute("code"));
        EXPECT_EQ(codes, kCodes);
    }

    MakerInformation again;
    auto m = again.Maker("S0001");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Name(), "改名工業");
    EXPECT_EQ(m->ViewNumber(), 7);
    EXPECT_EQ(m->Url(), "http://127.0.0.1:8080/edi/?a=1&b=2");
    EXPECT_EQ(m->Behavior("0701"), LUMP);
    EXPECT_EQ(m->Behavior("0500"), CLIENT);
    EXPECT_FALSE(again.Maker("S0002"));
}

TEST(MakerInformation, RefusedChangesLeaveTheListAlone) {
    TempHome home;
    writeMakers(home, makerElement("A", "a") + makerElement(" ", "blank") + makerElement("D", "first") +
                          makerElement("D", "second"));
    MakerInformation makers;
    const std::string before = makers.MakerIndex(0)->Name();
    struct Case {
        std::function<bool()> call;
        const char* what;
    };
    for (const auto& c : std::vector<Case>{
             {[&] { return makers.add(row("", "x")); }, "empty key"},
             {[&] { return makers.add(row("   ", "x")); }, "blank key"},
             {[&] { return makers.add(row("A", "x")); }, "existing key"},
             {[&] { return makers.edit(row("Z", "x")); }, "edit of a missing key"},
             // A maker whose key is blank cannot be put back: the edit must
             // not take it away.
             {[&] { return makers.edit(row(" ", "x")); }, "edit to a blank key"},
             {[&] { return makers.Delete("Z"); }, "delete of a missing key"},
         }) {
        EXPECT_FALSE(c.call()) << c.what;
        EXPECT_EQ(makers.Count(), 4) << c.what;
    }
    EXPECT_EQ(makers.MakerIndex(0)->Name(), before);
    EXPECT_EQ(makers.Maker(" ")->Name(), "blank");

    // Of two makers with one key, delete removes the first only, and an
    // edit replaces the first and keeps the other.
    ASSERT_TRUE(makers.edit(row("D", "edited")));
    EXPECT_EQ(makers.Count(), 4);
    EXPECT_EQ(makers.MakerIndex(2)->Name(), "second");
    EXPECT_EQ(makers.MakerIndex(3)->Name(), "edited");
    ASSERT_TRUE(makers.Delete("D"));
    EXPECT_EQ(makers.Count(), 3);
    EXPECT_EQ(makers.Maker("D")->Name(), "edited");
}

TEST(MakerInformation, KeysWithQuotesAndBracketsAreKeysLikeAnyOther) {
    TempHome home;
    MakerInformation makers;
    const std::vector<std::string> keys = {"O'Brien", "say \"hi\"", "a]b[c", "x' or '1'='1", "<&>", "'\""};
    for (const auto& k : keys) ASSERT_TRUE(makers.add(row(k, "n"))) << k;
    EXPECT_EQ(makers.Count(), 8);
    for (const auto& k : keys) {
        EXPECT_FALSE(makers.add(row(k, "again"))) << k;
        ASSERT_TRUE(makers.Maker(k)) << k;
        EXPECT_EQ(makers.Maker(k)->Key(), k);
        EXPECT_TRUE(makers.edit(row(k, "edited"))) << k;
        EXPECT_EQ(makers.Maker(k)->Name(), "edited");
    }
    std::string file;
    ASSERT_TRUE(makers.save(file));
    EXPECT_TRUE(xmllintAccepts(file));
    MakerInformation again;
    for (const auto& k : keys) {
        EXPECT_TRUE(again.Delete(k)) << k;
        EXPECT_FALSE(again.Maker(k)) << k;
    }
    EXPECT_EQ(again.Count(), 2);
}

TEST(MakerInformation, IncompleteOrOddMakerElements) {
    TempHome home;
    writeMakers(home,
                makerElement("noBehavior", "n", "1", behaviores("", "0801")) +
                    makerElement("badView", "n", "abc") + makerElement("bigView", "n", "40000") +
                    "<Maker key=\"noName\"><ServerCode/><ThinName/><ViewNumber>1</ViewNumber><Url/>" + behaviores() +
                    "</Maker>" + "<Maker><ServerCode/><Name/><ThinName/><ViewNumber>1</ViewNumber><Url/>" +
                    behaviores() + "</Maker>" +
                    // Codes compare as numbers; texts compare exactly.
                    makerElement("numeric", "n", "-3",
                                 "<Behaviores>" +
                                     [] {
                                         std::string b;
                                         for (const auto& c : kCodes)
                                             b += "<Behavior code=\"" + std::to_string(std::stoi(c)) + "\">" +
                                                  (c == "0301" ? "lump" : c == "0302" ? "LUMP " : "LUMP") +
                                                  "</Behavior>";
                                         return b;
                                     }() +
                                     "</Behaviores>"));
    MakerInformation makers;
    for (std::string k : {"noBehavior", "badView", "bigView", "noName", ""})
        EXPECT_FALSE(makers.Maker(k)) << k;
    auto m = makers.Maker("numeric");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->ViewNumber(), -3);
    EXPECT_EQ(m->Behavior("0301"), CLIENT);
    EXPECT_EQ(m->Behavior("0302"), CLIENT);
    EXPECT_EQ(m->Behavior("0500"), LUMP);
    EXPECT_EQ(m->Behavior("1101"), LUMP);
}

TEST(MakerInformation, MakerIndexRefillsOneSharedRow) {
    TempHome home;
    MakerInformation makers;
    auto first = makers.MakerIndex(0);
    EXPECT_EQ(first->Key(), "S0001");
    auto second = makers.MakerIndex(1);
    EXPECT_EQ(first.get(), second.get());
    EXPECT_EQ(first->Key(), "S0002");
    for (int16_t out : {int16_t(2), int16_t(-1), int16_t(32767)}) {
        EXPECT_EQ(makers.MakerIndex(out).get(), first.get());
        EXPECT_EQ(first->Key(), "S0002") << out;
    }
    // Rows from Maker are copies of their own.
    auto a = makers.Maker("S0001");
    auto b = makers.Maker("S0001");
    EXPECT_NE(a.get(), b.get());
}

TEST(MakerInformation, AListThatDoesNotLoad) {
    TempHome home;
    const std::string broken = "<?xml version=\"1.0\"?><Makers><Maker key=\"S1\">";
    for (bool present : {false, true}) {
        (void)fs::removeFile(home / kMakerFile);
        if (present) home.write(kMakerFile, broken);
        MakerInformation makers;
        EXPECT_FALSE(makers.Initialize());
        EXPECT_EQ(makers.Count(), 0);
        EXPECT_FALSE(makers.Maker("S1"));
        EXPECT_EQ(raisedBy([&] { makers.add(row("S1", "n")); }).number, errnum::ObjectNotSet);
        std::string file;
        EXPECT_FALSE(makers.save(file));
        EXPECT_EQ(file, home / kMakerFile);
        EXPECT_EQ(fs::fileExists(home / kMakerFile), present);
        if (present) {
            EXPECT_EQ(home.read(kMakerFile), broken);
        }
    }

    // Loading another file keeps the creation's result and moves the save.
    home.write("other/makers.xml", "<Makers/>");
    MakerInformation makers;
    ASSERT_TRUE(makers.load(home / "other/makers.xml"));
    EXPECT_FALSE(makers.Initialize());
    ASSERT_TRUE(makers.add(row("S1", "n")));
    std::string file;
    ASSERT_TRUE(makers.save(file));
    EXPECT_EQ(file, home / "other/makers.xml");
    EXPECT_EQ(keysInFile(file), (std::vector<std::string>{"S1"}));
    std::string missingFolder = home / "no/such/folder/maker.xml";
    EXPECT_FALSE(makers.save(missingFolder));
    EXPECT_FALSE(makers.load(home / "other/none.xml"));
    EXPECT_EQ(makers.Count(), 0);
}

TEST(MakerInformation, CreationNeedsTheFolderFile) {
    TempHome home;
    (void)fs::removeFile(home / "folder.xml");
    EXPECT_EQ(raisedBy([] { MakerInformation m; }).number, errnum::ClientClassError);
    home.write("folder.xml", "<Folders><Folder class=\"temp\">/t/</Folder></Folders>");
    EXPECT_EQ(raisedBy([] { MakerInformation m; }).number, errnum::ObjectNotSet);
}

TEST(MakerInformationRow, BehavioursAndDomRoundTrip) {
    MakerInformationRow r;
    EXPECT_EQ(r.Key(), "");
    EXPECT_EQ(r.ViewNumber(), 0);
    for (const auto& c : kCodes) EXPECT_EQ(r.Behavior(c), CLIENT);
    for (std::string bad : {"9999", "301", "", "0301 "}) {
        Raised e = raisedBy([&] { r.Behavior(bad); });
        EXPECT_EQ(e.number, errnum::ClientClassError) << bad;
        EXPECT_EQ(e.description, "Property Err");
        EXPECT_EQ(raisedBy([&] { r.setBehavior(bad, LUMP); }).number, errnum::ClientClassError);
    }

    // A value other than CLIENT or LUMP is written as an empty text and
    // reads back as CLIENT.
    r = row("K", "名前");
    r.setBehavior("0302", static_cast<ENUM_BEHAVIOR>(2));
    xml::Document doc;
    ASSERT_TRUE(r.setDom(doc.asNode()));
    EXPECT_EQ(doc.selectSingleNode("Maker/Behaviores/Behavior[@code='0302']").text(), "");
    EXPECT_EQ(r.Behavior("0302"), 2);  // setDom never changes the row
    MakerInformationRow back;
    ASSERT_TRUE(back.getDom(doc.documentElement()));
    EXPECT_EQ(back.Key(), "K");
    EXPECT_EQ(back.Name(), "名前");
    EXPECT_EQ(back.Behavior("0302"), CLIENT);
    EXPECT_EQ(back.Behavior("0701"), LUMP);
    EXPECT_FALSE(back.getDom(xml::Node()));
    EXPECT_EQ(back.Key(), "K");

    // A node that already has a Maker child: that child is filled, the
    // appended one stays empty.
    xml::Document holder;
    xml::Node top = holder.appendChild(holder.createElement("Top"));
    top.appendChild(holder.createElement("Maker")).setAttribute("key", "old");
    ASSERT_TRUE(r.setDom(top));
    xml::NodeList children = top.selectNodes("Maker");
    ASSERT_EQ(children.size(), 2u);
    EXPECT_EQ(children[0].getAttribute("key"), "K");
    EXPECT_TRUE(children[1].childNodes().empty());
    // A document that already has its root element takes no second one.
    EXPECT_FALSE(r.setDom(doc.asNode()));
}

TEST(MakerInformationXML, Tags) {
    MakerInformationXML tags;
    const std::vector<std::pair<int, std::string>> names = {{0, "Makers"},     {1, "Maker"},    {2, "ServerCode"},
                                                            {3, "Name"},       {4, "ThinName"}, {5, "ViewNumber"},
                                                            {6, "Url"},        {8, "Behaviores"}, {9, "Behavior"}};
    for (const auto& [n, name] : names) EXPECT_EQ(tags.Tag(n), name);
    for (int bad : {7, 10, -1}) {
        Raised e = raisedBy([&] { tags.Tag(bad); });
        EXPECT_EQ(e.number, errnum::ClientClassError);
        EXPECT_EQ(e.description, "Param error.");
    }
}

TEST(KeyInformation, ReadsTheLastLoadedKeyFile) {
    TempHome home;
    KeyInformation key;
    EXPECT_EQ(raisedBy([&] { key.Key(); }).number, errnum::ObjectNotSet);  // nothing loaded yet
    ASSERT_TRUE(key.load(home / "client/option/clientkey.xml"));
    EXPECT_EQ(key.Key(), "DEMO-CLIENT-KEY-0001");
    EXPECT_EQ(key.Code(), "EDI01");
    EXPECT_EQ(key.Name(), "調達EDIサーバー");
    EXPECT_EQ(key.Url(), "http://127.0.0.1/edi/");
    key.setKey("changed");
    key.setUrl("changed");
    EXPECT_EQ(key.Key(), "DEMO-CLIENT-KEY-0001");
    EXPECT_EQ(key.Url(), "http://127.0.0.1/edi/");

    home.write("second.xml", "<Key-information><CertificationKey>K2</CertificationKey></Key-information>");
    ASSERT_TRUE(key.load(home / "SECOND.XML"));
    EXPECT_EQ(key.Key(), "K2");
    EXPECT_EQ(raisedBy([&] { key.Code(); }).number, errnum::ObjectNotSet);
    EXPECT_FALSE(key.load(home / "none.xml"));
    EXPECT_EQ(raisedBy([&] { key.Key(); }).number, errnum::ObjectNotSet);

    EXPECT_EQ(keyfile::Tag(keyfile::ROOT_TAG), "Key-information");
    EXPECT_EQ(keyfile::Tag(keyfile::KEY_TAG), "CertificationKey");
    EXPECT_EQ(keyfile::Tag(keyfile::CODE_TAG), "Edi-Server-Code");
    EXPECT_EQ(keyfile::Tag(keyfile::NAME_TAG), "Edi-Server-Name");
    EXPECT_EQ(keyfile::Tag(keyfile::URL_TAG), "Edi-Server-URL");
    EXPECT_EQ(keyfile::Tag(static_cast<keyfile::KEY_TAG_TYPE>(5)), "");
}

}  // namespace
}  // namespace fg
