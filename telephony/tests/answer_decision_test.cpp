// Approvals of the shipped samples end to end: the decision builds the
// answers, the local EDI server receives exactly the expected documents
// with their information code, and only a finished upload marks the record
// decided.
#include "answer_fixture.h"

#include "telephony/errors.h"

namespace fg::testing {
namespace {

namespace rc = TelephonyResultCode;
using telephony::errs::DecisionFailed;

using Approval = AnswerHome;

struct Expected {
    std::string number, infoCode;
    std::vector<std::string> documents;  // golden file names, in upload order
};
const Expected kDelivery{kDeliveryAnswer, "0702",
                         {"DORE0702_line1.xml", "DORE0702_line2.xml", "DORE0702_line3.xml", "DORE0702_line4.xml"}};
const Expected kQuotationAnswer{kQuotation, "0302", {"DORE0302.xml"}};

TEST_F(Approval, AnApprovalUploadsExactlyTheExpectedAnswersAndMarksTheRecordDecided) {
    for (const Expected& e : {kDelivery, kQuotationAnswer}) {
        SCOPED_TRACE(e.number);
        std::size_t before = uploads().size();
        TelephonyControl control;
        std::string number = e.number + "#";
        EXPECT_EQ(control.dataDecision(number, kSupplierFax), rc::Done);
        EXPECT_EQ(number, e.number);
        EXPECT_EQ(condition(e.number), "2");
        auto sent = uploads();
        ASSERT_EQ(sent.size(), before + e.documents.size());
        for (std::size_t i = 0; i < e.documents.size(); ++i) {
            SCOPED_TRACE(e.documents[i]);
            const auto& u = sent[before + i];
            EXPECT_EQ(u.infoCode, e.infoCode);
            EXPECT_EQ(u.data.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u) << u.data.substr(0, 60);
            EXPECT_EQ(canonicalXml(u.data), canonicalXml(golden(e.documents[i])));
        }
    }
    EXPECT_TRUE(telephonyLog().empty());
    EXPECT_TRUE(uploadFolderEmpty());
}

TEST_F(Approval, ASecondApprovalAnswersAlreadyDecidedAndUploadsNothing) {
    TelephonyControl control;
    std::string number = kDeliveryAnswer;
    ASSERT_EQ(control.dataDecision(number, kSupplierFax), rc::Done);
    std::size_t count = uploads().size();
    EXPECT_EQ(control.dataDecision(number, kSupplierFax), rc::AlreadyDone);
    // Called on its own, the decision drops a trailing key mark itself.
    std::string keyed = kDeliveryAnswer + "*";
    EXPECT_EQ(control.deliveryestimateDecision(keyed, kSupplierFax), rc::AlreadyDone);
    EXPECT_EQ(keyed, kDeliveryAnswer);
    EXPECT_EQ(uploads().size(), count);
    EXPECT_TRUE(telephonyLog().empty());
}

TEST_F(Approval, ARefusedUploadAnswersNineLeavesTheRecordAndTheRetryUploadsAgain) {
    for (const Expected& e : {kDelivery, kQuotationAnswer}) {
        SCOPED_TRACE(e.number);
        log.log->clear();
        refuseUploads(true);
        TelephonyControl control;
        std::string number = e.number;
        EXPECT_EQ(control.dataDecision(number, kSupplierFax), rc::Failed);
        EXPECT_EQ(condition(e.number), "9");
        // The upload logged the refusal; the decision its own failure.
        auto entries = telephonyLog();
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].number, DecisionFailed);
        EXPECT_EQ(entries[0].description, "回答データ作成失敗");
        EXPECT_TRUE(log.log->has(40215));
        EXPECT_TRUE(uploadFolderEmpty());

        refuseUploads(false);
        std::size_t before = uploads().size();
        EXPECT_EQ(control.dataDecision(number, kSupplierFax), rc::Done);
        EXPECT_EQ(condition(e.number), "2");
        EXPECT_EQ(uploads().size(), before + e.documents.size());
    }
}

TEST_F(Approval, WhenALaterDocumentIsRefusedTheRetryUploadsTheEarlierOnesAgain) {
    // The server takes the first answer, refuses the second, then takes all.
    auto step = [&](int n, const std::string& code) {
        std::string folder = answers / ("PutEdiData/" + std::to_string(n) + "/answer.tgz/");
        fs::makeFolders(folder);
        fs::writeFileAtomic(folder + "answer.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Answer><ErrCode>" +
                                                       code + "</ErrCode></Answer>\n");
    };
    step(1, "C0000");
    step(2, "C0999");
    TelephonyControl control;
    std::string number = kDeliveryAnswer;
    EXPECT_EQ(control.dataDecision(number, kSupplierFax), rc::Failed);
    EXPECT_EQ(condition(kDeliveryAnswer), "9");
    EXPECT_EQ(control.dataDecision(number, kSupplierFax), rc::Done);
    auto sent = uploads();
    ASSERT_EQ(sent.size(), 2 + kDelivery.documents.size());
    // The first answer went up twice, then every other one once.
    EXPECT_EQ(canonicalXml(sent[0].data), canonicalXml(sent[2].data));
    EXPECT_EQ(canonicalXml(sent[1].data), canonicalXml(sent[3].data));
}

TEST_F(Approval, AnUploadWhoseRecordCannotBeMarkedIsDoneAndLogged) {
    // The store's lock cannot be taken: a folder holds its name. Reading the
    // record needs no lock; marking it does.
    fs::makeFolders(home.folder("FaxManageNum") + ".faxmanagenumber.xml.lock/");
    TelephonyControl control;
    std::string number = kQuotation;
    EXPECT_EQ(control.dataDecision(number, kSupplierFax), rc::Done);
    EXPECT_EQ(uploads().size(), 1u);
    EXPECT_EQ(condition(kQuotation), "9");
    auto entries = telephonyLog();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].number, DecisionFailed);
    EXPECT_EQ(entries[0].source, "deliveryestimateDecision");
    EXPECT_NE(entries[0].description.find(kQuotation), std::string::npos) << entries[0].description;
}

TEST_F(Approval, RecordsWithoutATelephoneAnswerOrWithoutAnythingToAnswerUploadNothing) {
    store({record("SENT", kSupplierFax, "9", "納期確認書"), record("EMPTY", kSupplierFax, "", "見積書受信確認"),
           record("NONE", kSupplierFax, "0", "納期回答書受信確認")});
    struct Case {
        std::string number;
        std::int32_t result;
    } cases[] = {
        {"SENT", rc::NotAnswerable},  // a document of its own, not an answer
        {"EMPTY", rc::Failed},        // no received document: nothing to answer
        {"NONE", rc::Failed},
        {"MISSING", rc::NotAnswerable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        TelephonyControl control;
        std::string number = c.number;
        EXPECT_EQ(control.dataDecision(number, kSupplierFax), c.result);
    }
    EXPECT_TRUE(uploads().empty());
    EXPECT_EQ(condition("EMPTY"), "");
    EXPECT_EQ(condition("NONE"), "0");
}

}  // namespace
}  // namespace fg::testing
