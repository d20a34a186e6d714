#include "supervisor/end_control_file.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/testing/temp_home.h"
#include "platform/xml.h"

#include <gtest/gtest.h>

namespace fg {
namespace {

TEST(EndControlFile, TheLastElementCountsAndTelephonyOnlyWhenEndRequestIsZero) {
    testing::TempDir dir;
    struct Case {
        const char* body;
        int value;
        bool bad;
    } cases[] = {
        {"", 0, false},                                                     // neither element
        {"<End-Request>1</End-Request>", 1, false},
        {"<End-Request>0</End-Request><TelephonyErrReq>1</TelephonyErrReq>", 1, false},
        {"<End-Request>2</End-Request><TelephonyErrReq>1</TelephonyErrReq>", 2, false},  // no stop
        {"<End-Request>1</End-Request><a><End-Request>0</End-Request></a><TelephonyErrReq>1</TelephonyErrReq>", 1,
         false},  // the last End-Request (nested) gives 0: TelephonyErrReq decides
        {"<End-Request>0</End-Request><TelephonyErrReq>1</TelephonyErrReq><TelephonyErrReq>0</TelephonyErrReq>", 0,
         false},
        {"<End-Request> 1 </End-Request>", 1, false},
        {"<End-Request>yes</End-Request>", 0, true},  // no number: no request
        {"<End-Request>yes</End-Request><TelephonyErrReq>1</TelephonyErrReq>", 1, true},
        {"<End-Request>1</End-Request><End-Request>x</End-Request>", 0, true},
        {"<End-Request>99999</End-Request>", 0, true},  // beyond 16 bits
    };
    for (const auto& c : cases) {
        fs::writeFileAtomic(dir / "End.xml", std::string("<?xml version=\"1.0\"?><Root>") + c.body + "</Root>");
        auto r = EndControlFile(dir / "End.xml").read();
        EXPECT_TRUE(r.loaded) << c.body;
        EXPECT_EQ(r.value, c.value) << c.body;
        EXPECT_EQ(!r.badText.empty(), c.bad) << c.body;
    }
    for (const char* broken : {"", "<Root><End-Request>1</End-Request>"}) {
        fs::writeFileAtomic(dir / "End.xml", broken);
        auto r = EndControlFile(dir / "End.xml").read();
        EXPECT_FALSE(r.loaded);
        EXPECT_EQ(r.value, 0);
    }
    auto missing = EndControlFile(dir / "none.xml").read();
    EXPECT_FALSE(missing.loaded);
    EXPECT_EQ(missing.value, 0);
}

TEST(EndControlFile, SetChangesEveryElementOfTheNameAndKeepsTheRest) {
    testing::TempDir dir;
    const std::string path = dir / "End.xml";
    fs::writeFileAtomic(path, text::toCp932("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<!-- 運用メモ -->"
                                            "<Ctl><End-Request>1</End-Request><x><End-Request>1</End-Request></x>"
                                            "<TelephonyErrReq>1</TelephonyErrReq><Other>残す</Other></Ctl>"));
    EndControlFile(path).set({{"End-Request", "0"}, {"TelephonyErrReq", "0"}});
    xml::Document doc;
    ASSERT_TRUE(doc.load(path));
    EXPECT_EQ(doc.getElementsByTagName("End-Request").size(), 2u);
    for (const auto& n : doc.getElementsByTagName("End-Request")) EXPECT_EQ(n.text(), "0");
    EXPECT_EQ(doc.selectSingleNode("//TelephonyErrReq").text(), "0");
    EXPECT_EQ(doc.selectSingleNode("//Other").text(), "残す");
    // Still the installed encoding, comment and all.
    std::string bytes = fs::readFile(path);
    EXPECT_NE(bytes.find("Shift_JIS"), std::string::npos);
    EXPECT_NE(bytes.find("<!--"), std::string::npos);
    EXPECT_EQ(EndControlFile(path).read().value, 0);
    EndControlFile(path).set({{"End-Request", "1"}});
    EXPECT_EQ(EndControlFile(path).read().value, 1);

    // The file is installed, never made here.
    try {
        EndControlFile(dir / "missing.xml").set({{"End-Request", "1"}});
        ADD_FAILURE() << "a missing End.xml was written";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), errnum::FileNotFound);
    }
    EXPECT_FALSE(fs::fileExists(dir / "missing.xml"));
    fs::writeFileAtomic(dir / "broken.xml", "<Ctl><End-Request>");
    EXPECT_THROW(EndControlFile(dir / "broken.xml").set({{"End-Request", "1"}}), Error);
    EXPECT_EQ(fs::readFile(dir / "broken.xml"), "<Ctl><End-Request>");  // not saved over
}

}  // namespace
}  // namespace fg
