// Approvals of the shipped samples end to end: the decision builds the
// answers, the local EDI server receives exactly the expected documents
// with their information code, and only a finished upload marks the record
// decided.
#include "answer_fixture.h"

#include "platform/file_lock.h"
#include "platform/name_hold.h"
#include "telephony/answer_support.h"
#include "telephony/errors.h"

#include <atomic>
#include <optional>
#include <thread>

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

TEST_F(Approval, AnAnswerWhoseRecordCannotBeMarkedIsNotUploaded) {
    // The store's lock cannot be taken: a folder holds its name. Reading the
    // record needs no lock; marking it does, and that is known before the
    // upload.
    fs::makeFolders(home.folder("FaxManageNum") + ".faxmanagenumber.xml.lock/");
    TelephonyControl control;
    std::string number = kQuotation;
    EXPECT_EQ(control.dataDecision(number, kSupplierFax), rc::Failed);
    EXPECT_EQ(uploads().size(), 0u);
    EXPECT_EQ(condition(kQuotation), "9");
    auto entries = telephonyLog();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].number, DecisionFailed);
    EXPECT_NE(entries[0].description.find(kQuotation), std::string::npos) << entries[0].description;
}

// The telephone's bounds, and the upload answers delayed by the server.
void bounds(TempHome& home, int wait, int upload) {
    home.write("waits.xml", "<Waits><TelephoneWait>" + std::to_string(wait) + "</TelephoneWait><TelephoneUpload>" +
                                std::to_string(upload) + "</TelephoneUpload></Waits>");
}

// One telephone request as the host makes it, a process of its own: the
// result code it answers.
std::string request(const std::vector<std::string>& args) {
    std::vector<std::string> command{programDir() + "telephony_request"};
    command.insert(command.end(), args.begin(), args.end());
    ProgramRun run = runProgram(command, std::chrono::milliseconds(180000));
    return run.output.substr(0, run.output.find('\t')) + run.errors;
}

TEST_F(Approval, ADecisionHoldsOnlyItsOwnNumberAcrossItsSlowUpload) {
    bounds(home, 2000, 120000);
    ASSERT_TRUE(FaxManageNum().setDecisionCondition(kSentConfirmation, "3"));  // an order sheet, say
    // Each answer takes the server 3 s: the first decision uploads for 12.
    fs::writeFileAtomic(answers / "PutEdiData.fault", "delay 3000\n");
    std::string first;
    std::atomic<int> endings{0};  // the order in which the calls end
    int firstEnded = 0, endedAt[3] = {};
    std::thread a([&] { first = request({"dataDecision", kDeliveryAnswer, kSupplierFax}), firstEnded = ++endings; });
    EXPECT_TRUE(eventually([&] { return !fs::list(recorded.path(), "*-PutEdiData.body").empty(); }));
    // Calls made meanwhile: those about other records go on; the same
    // number's second caller waits for the first's mark and hears it decided.
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"dataDecision", kDeliveryAnswer, kSupplierFax}, "2"},
        {{"confirmOrderReport", kSupplierFax, kSentConfirmation}, "0"},
        {{"dataDecision", kQuotation, kSupplierFax}, "0"},
    };
    std::string answered[std::size(cases)];
    std::vector<std::thread> callers;
    for (std::size_t k = 0; k < std::size(cases); ++k)
        callers.emplace_back([&, k] { answered[k] = request(cases[k].first), endedAt[k] = ++endings; });
    for (auto& caller : callers) caller.join();
    for (std::size_t k = 0; k < std::size(cases); ++k) EXPECT_EQ(answered[k], cases[k].second) << k;
    a.join();
    EXPECT_EQ(first, "0");
    EXPECT_LT(endedAt[2], firstEnded);  // the other number's one answer went up beside the first's four
    EXPECT_EQ(uploads().size(), kDelivery.documents.size() + kQuotationAnswer.documents.size());
    EXPECT_EQ(condition(kDeliveryAnswer) + condition(kSentConfirmation), "24");
    const std::string holdFile = NameHold::pathFor(home.folder("FaxManageNum"), telephony::decisionHoldName(kQuotation));
    EXPECT_FALSE(fs::fileExists(holdFile));  // no hold stays

    // A first decision that holds its number past the wait: the second
    // answers 9, logged, and neither builds nor uploads anything.
    bounds(home, 300, 500);
    ASSERT_TRUE(FaxManageNum().setDecisionCondition(kQuotation, "9"));
    NameHold stuck(home.folder("FaxManageNum"), telephony::decisionHoldName(kQuotation), std::chrono::seconds(5));
    EXPECT_EQ(request({"dataDecision", kQuotation, kSupplierFax}), "9");
    EXPECT_EQ(uploads().size(), kDelivery.documents.size() + kQuotationAnswer.documents.size());
    EXPECT_NE(home.read("log/TelephonyErrorLog.txt").find(kQuotation), std::string::npos);
}

TEST_F(Approval, ATelephoneMemberAnswersWithinItsBounds) {
    struct Case {
        std::string what;
        bool holdStore;          // another process holds the store's lock
        std::string uploadFault;  // the server is silent this long
    } cases[] = {{"store held", true, ""}, {"silent server", false, "delay 600000\n"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        startCase([&] { bounds(home, 300, 1000); });
        ASSERT_TRUE(FaxManageNum().setDecisionCondition(kSentConfirmation, "3"));  // an order sheet, say
        fs::writeFileAtomic(answers / "PutEdiData.fault", c.uploadFault);
        std::optional<FileLock> held;
        if (c.holdStore) held.emplace(home.folder("FaxManageNum") + FaxManageNum::kFileName);
        auto start = std::chrono::steady_clock::now();
        TelephonyControl control;
        std::string number = kDeliveryAnswer;
        EXPECT_EQ(control.dataDecision(number, kSupplierFax), rc::Failed);
        if (c.holdStore) {
            std::string order = kSentConfirmation;
            EXPECT_EQ(control.confirmOrderReport(kSupplierFax, order), rc::Failed);
        }
        // Far below the two minutes a server process waits for the store.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
        held.reset();
        EXPECT_EQ(condition(kDeliveryAnswer), "9");
        EXPECT_EQ(telephonyLog().size(), c.holdStore ? 2u : 1u);
        if (c.holdStore) {
            EXPECT_TRUE(uploads().empty());
        }
    }
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
