#include "telephony/errors.h"
#include "telephony/telephony_control.h"
#include "telephony_fixture.h"

#include "platform/folder_path_info.h"
#include "platform/text.h"

#include <sys/stat.h>

#include <algorithm>
#include <functional>

namespace fg::testing {
namespace {

namespace rc = TelephonyResultCode;
using telephony::errs::DecisionFailed;
using telephony::errs::OrderConfirmFailed;
using telephony::errs::TestFaxFailed;

using Telephony = TelephonyHome;

TEST_F(Telephony, DecisionsGoAheadOnlyForUnansweredRecordsSentToTheCaller) {
    store({record("N1", kSupplierFax, ""), record("N2", kSupplierFax, "0"), record("N3", kSupplierFax, "9"),
           record("N4", kSupplierFax, "2"), record("N5", kSupplierFax, "3", "注文書"),
           record("N6", kSupplierFax, "4", "注文書"), record("N7", kStrangerFax, "")});
    struct Case {
        std::string number;
        std::int32_t checked, decided;
    } cases[] = {
        {"N1", 0, rc::Done},           {"N2", 0, rc::Done},
        {"N3", 9, rc::Done},           {"N4", rc::AlreadyDone, rc::AlreadyDone},
        {"N5", rc::NotAnswerable, rc::NotAnswerable}, {"N6", rc::NotAnswerable, rc::NotAnswerable},
        {"N7", rc::NotAnswerable, rc::NotAnswerable}, {"N404", rc::NotAnswerable, rc::NotAnswerable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        SpyControl control;
        std::string number = c.number, fax = kSupplierFax;
        EXPECT_EQ(control.checkBeforeDecision(fax, number), c.checked);
        EXPECT_EQ(control.dataDecision(number, fax), c.decided);
        // The answer is built only when the checks let the decision go ahead.
        EXPECT_EQ(control.calls.size(), c.checked == 0 || c.checked == 9 ? 1u : 0u);
    }
    EXPECT_TRUE(telephonyLog().empty());
    // The store itself notes the number that is not on record.
    EXPECT_TRUE(log.log->has(40012));
}

TEST_F(Telephony, TheDecisionReportsEachOutcomeOfTheAnswer) {
    store({record("N1", kSupplierFax, "9")});
    struct Case {
        std::int16_t answer;
        bool raise;
        std::int32_t result;
        std::string logged;  // "" for no entry
    } cases[] = {
        {rc::Done, false, rc::Done, ""},
        {rc::AlreadyDone, false, rc::AlreadyDone, ""},
        {rc::NotAnswerable, false, rc::NotAnswerable, ""},
        {rc::Failed, false, rc::Failed, "回答データ作成失敗"},
        {rc::Done, true, rc::Failed, "受信した回答書がありません"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.logged);
        log.log->clear();
        SpyControl control;
        control.answer = c.answer;
        control.raise = c.raise;
        std::string number = "N1", fax = kSupplierFax;
        EXPECT_EQ(control.dataDecision(number, fax), c.result);
        auto entries = telephonyLog();
        if (c.logged.empty()) {
            EXPECT_TRUE(entries.empty());
        } else {
            ASSERT_EQ(entries.size(), 1u);
            EXPECT_EQ(entries[0].number, DecisionFailed);
            EXPECT_EQ(entries[0].description, c.logged);
            EXPECT_EQ(entries[0].source, "dataDecision");
        }
    }
    EXPECT_EQ(condition("N1"), "9");
}

TEST_F(Telephony, AConditionThatIsNoNumberRaisesFromTheCheckAndFailsTheDecision) {
    store({record("N1", kSupplierFax, "x")});
    SpyControl control;
    std::string number = "N1", fax = kSupplierFax;
    try {
        control.checkBeforeDecision(fax, number);
        ADD_FAILURE() << "no error raised";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), errnum::TypeMismatch);
    }
    EXPECT_EQ(control.dataDecision(number, fax), rc::Failed);
    ASSERT_EQ(telephonyLog().size(), 1u);
    EXPECT_EQ(telephonyLog()[0].number, DecisionFailed);
    EXPECT_TRUE(control.calls.empty());
}

TEST_F(Telephony, OneTrailingKeyMarkIsRemovedPerStepAndComesBackToTheCaller) {
    store({record("N1", kSupplierFax, "9"), record("N5", kSupplierFax, "3", "注文書")});
    enum class Member { Decision, Check, Confirm, ReSend };
    struct Case {
        Member member;
        std::string number, fax;
        std::int32_t result;
        std::string numberAfter;
    } cases[] = {
        {Member::Decision, "N1#", kSupplierFax, rc::Done, "N1"},
        {Member::Decision, "N1*", kSupplierFax, rc::Done, "N1"},
        // One mark in the decision, one in its check of the fax number.
        {Member::Decision, "N1#*", kSupplierFax, rc::Done, "N1"},
        {Member::Decision, "N1#**", kSupplierFax, rc::NotAnswerable, "N1#"},
        // Fax numbers are compared as keyed.
        {Member::Decision, "N1", kSupplierFax + "#", rc::NotAnswerable, "N1"},
        {Member::Check, "N1*", kSupplierFax, 9, "N1"},
        {Member::Confirm, "N5#", kSupplierFax, rc::Done, "N5"},
        {Member::ReSend, "N1*", kSupplierFax, rc::Done, "N1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number + " " + c.fax);
        SpyControl control;
        std::string number = c.number;
        std::int32_t result = 0;
        switch (c.member) {
        case Member::Decision: result = control.dataDecision(number, c.fax); break;
        case Member::Check: result = control.checkBeforeDecision(c.fax, number); break;
        case Member::Confirm: result = control.confirmOrderReport(c.fax, number); break;
        case Member::ReSend: result = control.makeReSendFAX(c.fax, number); break;
        }
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(number, c.numberAfter);
        if (c.member == Member::Decision && result == rc::Done) {
            ASSERT_EQ(control.calls.size(), 1u);
            EXPECT_EQ(control.calls[0], "N1 " + kSupplierFax);
        }
    }
    // The re-send names the shortened number.
    EXPECT_EQ(awaitStarts(1), std::vector<std::string>{"corvina\t" + kSupplierFax + ",N1"});
}

TEST_F(Telephony, OrderSheetsAreConfirmedOnceAndOnlyWhileAwaitingConfirmation) {
    store({record("N3", kSupplierFax, "3", "注文書"), record("N4", kSupplierFax, "4", "注文書"),
           record("N9", kSupplierFax, "9", "注文書"), record("NB", kSupplierFax, "", "注文書"),
           record("N2", kSupplierFax, "2"), record("NX", kStrangerFax, "3", "注文書")});
    struct Case {
        std::string number, fax;
        std::int16_t result;
        std::string conditionAfter;
    } cases[] = {
        {"N3", kSupplierFax, rc::Done, "4"},      {"N3", kSupplierFax, rc::AlreadyDone, "4"},
        {"N4", kSupplierFax, rc::AlreadyDone, "4"}, {"N9", kSupplierFax, rc::Refused, "9"},
        {"NB", kSupplierFax, rc::Refused, ""},    {"N2", kSupplierFax, rc::Refused, "2"},
        {"NX", kSupplierFax, rc::Refused, "3"},   {"N404", kSupplierFax, rc::Refused, "(none)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        TelephonyControl control;
        std::string number = c.number;
        EXPECT_EQ(control.confirmOrderReport(c.fax, number), c.result);
        EXPECT_EQ(condition(c.number), c.conditionAfter);
    }
    EXPECT_TRUE(telephonyLog().empty());
}

TEST_F(Telephony, AnOrderSheetConfirmationTheStoreRefusesIsLoggedAndLeavesTheSheetWaiting) {
    store({record("N3", kSupplierFax, "3", "注文書")});
    // The store's lock cannot be taken: a folder holds its name.
    fs::makeFolders(home.folder("FaxManageNum") + ".faxmanagenumber.xml.lock/");
    TelephonyControl control;
    std::string number = "N3";
    EXPECT_EQ(control.confirmOrderReport(kSupplierFax, number), rc::Failed);
    ASSERT_EQ(telephonyLog().size(), 1u);
    EXPECT_EQ(telephonyLog()[0].number, OrderConfirmFailed);
    EXPECT_EQ(telephonyLog()[0].description, "注文書確認フラグのセットに失敗");
    EXPECT_EQ(condition("N3"), "3");
}

TEST_F(Telephony, AStoreThatCannotBeReadIsAFailureNotAMissingRecord) {
    fs::writeFileAtomic(home.folder("FaxManageNum") + FaxManageNum::kFileName, "<FAXManageNums><FAXManageNum>");
    TelephonyControl control;
    std::string number = "N1", fax = kSupplierFax;
    EXPECT_EQ(control.dataDecision(number, kSupplierFax), rc::Failed);
    EXPECT_EQ(control.confirmOrderReport(kSupplierFax, number), rc::Failed);
    EXPECT_EQ(control.makeReSendFAX(kSupplierFax, number), rc::Failed);
    EXPECT_THROW(control.checkBeforeDecision(fax, number), Error);
    ASSERT_EQ(telephonyLog().size(), 3u);
    for (const auto& entry : telephonyLog())
        EXPECT_NE(entry.description.find("管理番号ファイルを読めません"), std::string::npos) << entry.description;
    // The store itself still answers "not found".
    EXPECT_FALSE(FaxManageNum().getManageNum("N1", "", false));
}

TEST_F(Telephony, FaxNumbersAreThoseOfRegisteredSuppliersAsKeyed) {
    struct Case {
        std::string fax;
        std::int32_t result;
    } cases[] = {
        {kSupplierFax, rc::Done}, {"0623456790", rc::Done},  {"03-1234-5679", rc::Refused},
        {kSupplierFax + "#", rc::Refused}, {kStrangerFax, rc::Refused}, {"", rc::Refused}, {"   ", rc::Refused},
    };
    TelephonyControl control;
    for (const Case& c : cases) EXPECT_EQ(control.checkFAXNo(c.fax), c.result) << c.fax;
    EXPECT_TRUE(telephonyLog().empty());
}

TEST_F(Telephony, ASupplierCheckThatFailsIsAnErrorNotARefusal) {
    // The folder map loses the suppliers' folder.
    std::string map = home.read(FolderPathInfo::kFileName);
    std::string entry = "<Folder class=\"MakerInfo\">Maker/</Folder>";
    ASSERT_NE(map.find(entry), std::string::npos);
    home.write(FolderPathInfo::kFileName, map.replace(map.find(entry), entry.size(), ""));
    TelephonyControl control;
    EXPECT_EQ(control.checkFAXNo(kSupplierFax), rc::Failed);
    EXPECT_EQ(control.makeTestFAXData(kSupplierFax), rc::Failed);
    EXPECT_EQ(control.requestOrderBalance(kSupplierFax), rc::Failed);
    auto entries = telephonyLog();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].source, "checkFAXNo");
    EXPECT_EQ(entries[1].number, TestFaxFailed);
    EXPECT_EQ(entries[2].source, "requestOrderBalance");
    EXPECT_TRUE(jobStarts().empty());
}

TEST_F(Telephony, FaxRequestsOfRegisteredSuppliersStartTheirJobWithOneArgument) {
    TelephonyControl control;
    struct Case {
        std::string fax;
        std::function<std::int32_t(TelephonyControl&, const std::string&)> call;
        std::string started;  // "" when refused
    } cases[] = {
        {kSupplierFax, [](TelephonyControl& c, const std::string& f) { return c.makeTestFAXData(f); },
         "belvast\t" + kSupplierFax},
        {kSupplierFax, [](TelephonyControl& c, const std::string& f) { return c.requestOrderBalance(f); },
         "sorvik\t" + kSupplierFax},
        {kSupplierFax, [](TelephonyControl& c, const std::string& f) { return c.makeYetUnattend(f); },
         "wendrik\t" + kSupplierFax},
        // The report type goes on unchecked, blanks and all, in the one argument.
        {kSupplierFax, [](TelephonyControl& c, const std::string& f) { return c.makeOCRData(f, "納期 回答"); },
         "pomrik\t" + kSupplierFax + ",納期 回答"},
        {kStrangerFax, [](TelephonyControl& c, const std::string& f) { return c.makeTestFAXData(f); }, ""},
        {kStrangerFax, [](TelephonyControl& c, const std::string& f) { return c.requestOrderBalance(f); }, ""},
        {kStrangerFax, [](TelephonyControl& c, const std::string& f) { return c.makeYetUnattend(f); }, ""},
        {"", [](TelephonyControl& c, const std::string& f) { return c.makeOCRData(f, "A"); }, ""},
    };
    std::vector<std::string> expected;
    for (const Case& c : cases) {
        EXPECT_EQ(c.call(control, c.fax), c.started.empty() ? rc::Refused : rc::Done) << c.started;
        if (!c.started.empty()) expected.push_back(c.started);
    }
    auto started = awaitStarts(expected.size());
    std::sort(started.begin(), started.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(started, expected);
    EXPECT_TRUE(telephonyLog().empty());
}

TEST_F(Telephony, ReSendsGoOnlyToTheFaxNumberARecordWasSentTo) {
    store({record("N1", kSupplierFax, "2", "注文書"), record("N2", kStrangerFax, "9", "注文書")});
    TelephonyControl control;
    std::string n1 = "N1", n2 = "N2", missing = "N404";
    EXPECT_EQ(control.makeReSendFAX(kSupplierFax, n2), rc::Refused);
    EXPECT_EQ(control.makeReSendFAX(kSupplierFax, missing), rc::Refused);
    EXPECT_EQ(control.makeReSendFAX(kSupplierFax, n1), rc::Done);
    EXPECT_EQ(awaitStarts(1), std::vector<std::string>{"corvina\t" + kSupplierFax + ",N1"});
}

class SendHistory : public TelephonyHome {
protected:
    static std::string sendRecord(const std::string& date, const std::string& fax, const std::string& type,
                                  const std::string& mode) {
        return "<FaxSendLog><SendDate>" + date + "</SendDate><RepManageNo>202401050930000001</RepManageNo><RepType>" +
               type + "</RepType><FAXRefImageFileNames/><OrderName/><CompanyName/><PostName/><ChargeName/><FAXNum>" +
               fax + "</FAXNum><EmploymentMode>" + mode +
               "</EmploymentMode><PageNum>1</PageNum><Result>OK</Result><ReceiveCode/><ReSendDate/></FaxSendLog>";
    }
    void sendLog(const std::string& body) {
        fs::writeFileAtomic(home.folder("FaxSendLog") + "FaxSendLog.xml",
                            text::toCp932("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><FaxSendLogs>" + body +
                                          "</FaxSendLogs>"));
    }
};

TEST_F(SendHistory, ASendHistoryIsSentForAMonthWithRealSendsToTheCaller) {
    sendLog(sendRecord("20240105093000", kSupplierFax, "注文書", "0") +
            sendRecord("20240210093000", kSupplierFax, "テスト帳票", "0") +
            sendRecord("20240315093000", kSupplierFax, "注文書", "1") +
            sendRecord("20240420093000", kStrangerFax, "注文書", "0"));
    struct Case {
        std::string fax, month;
        std::int32_t result;
    } cases[] = {
        {kSupplierFax, "202401", rc::Done},
        {kSupplierFax, "202402", rc::Refused},  // test faxes only
        {kSupplierFax, "202403", rc::Refused},  // not real operation
        {kSupplierFax, "202404", rc::Refused},  // sent to another number
        {kSupplierFax + "#", "202401", rc::Refused},
        {kSupplierFax, "2024", rc::Refused},
        {kSupplierFax, "2024010", rc::Refused},
        {kSupplierFax, "", rc::Refused},
    };
    TelephonyControl control;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fax + " " + c.month);
        std::string out = "untouched";
        EXPECT_EQ(control.SelFaxSendLog(c.month, c.fax, out), c.result == rc::Done);
        EXPECT_EQ(out, "untouched");
        EXPECT_EQ(control.makeCareerData(c.fax, c.month), c.result);
    }
    EXPECT_EQ(awaitStarts(1), std::vector<std::string>{"drumel\t" + kSupplierFax + ",202401"});
    EXPECT_TRUE(telephonyLog().empty());
}

TEST_F(SendHistory, AMissingSendLogHasNothingToSendAndABrokenOneIsAnError) {
    (void)fs::removeFile(home.folder("FaxSendLog") + "FaxSendLog.xml");
    TelephonyControl control;
    std::string out;
    EXPECT_EQ(control.makeCareerData(kSupplierFax, "202401"), rc::Refused);
    EXPECT_TRUE(telephonyLog().empty());

    fs::writeFileAtomic(home.folder("FaxSendLog") + "faxsendlog.XML", "<FaxSendLogs><FaxSendLog>");
    EXPECT_FALSE(control.SelFaxSendLog("202401", kSupplierFax, out));
    EXPECT_EQ(control.makeCareerData(kSupplierFax, "202401"), rc::Failed);
    auto entries = telephonyLog();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].source, "SelFaxSendLog");
    EXPECT_EQ(entries[1].source, "makeCareerData");
    EXPECT_EQ(entries[1].number, errnum::PathFileAccessError);
    EXPECT_TRUE(jobStarts().empty());
}

TEST_F(Telephony, AJobProgramThatCannotBeStartedIsAFailureWithALogEntry) {
    (void)fs::removeFile(home / "belvast");
    (void)fs::removeFile(home / "sorvik");
    // An executable file that is no program.
    (void)fs::removeFile(home / "pomrik");
    home.write("pomrik", "this is no program\n");
    ASSERT_EQ(::chmod((home / "pomrik").c_str(), 0755), 0);
    TelephonyControl control;
    EXPECT_EQ(control.makeTestFAXData(kSupplierFax), rc::Failed);
    EXPECT_EQ(control.requestOrderBalance(kSupplierFax), rc::Failed);
    EXPECT_EQ(control.makeOCRData(kSupplierFax, "A"), rc::Failed);
    auto entries = telephonyLog();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].number, TestFaxFailed);
    EXPECT_NE(entries[0].description.find("belvast"), std::string::npos) << entries[0].description;
    EXPECT_EQ(entries[1].number, errnum::FileNotFound);
    EXPECT_NE(entries[1].description.find("sorvik"), std::string::npos) << entries[1].description;
    EXPECT_EQ(entries[2].source, "makeOCRData");
    EXPECT_NE(entries[2].description.find("pomrik"), std::string::npos) << entries[2].description;
}

TEST_F(Telephony, RunMarkersLiveFromStartToStopAndNeverShareAName) {
    TelephonyControl control;
    std::string first = control.RunTimeStart();
    std::string second = control.RunTimeStart();
    // "@", the local time stamp, and "_n" for a later marker of the same second.
    auto markerName = [](const std::string& name) {
        auto digits = [](const std::string& s) { return !s.empty() && s.find_first_not_of("0123456789") == s.npos; };
        if (name.size() < 15 || name[0] != '@' || !digits(name.substr(1, 14))) return false;
        std::string rest = name.substr(15);
        return rest.empty() || (rest[0] == '_' && digits(rest.substr(1)));
    };
    EXPECT_TRUE(markerName(first)) << first;
    EXPECT_TRUE(markerName(second)) << second;
    EXPECT_NE(first, second);
    std::string content = home.read(first + ".XML");
    EXPECT_NE(content.find("encoding=\"Shift_JIS\""), std::string::npos) << content;
    EXPECT_NE(content.find("<TELEPHONY/>"), std::string::npos) << content;
    auto markers = RunMarker::find(home.path());
    ASSERT_EQ(markers.size(), 2u);
    EXPECT_TRUE(markers[0].live && markers[1].live);

    // Names that are no marker names, and markers already gone, are passed over.
    home.write("keep.XML", "<keep/>");
    for (const char* other : {"", "keep", "../keep", "@20240101/../keep", "@20240101000000"}) control.RunTimeStop(other);
    EXPECT_TRUE(fs::fileExists(home / "keep.XML"));
    EXPECT_EQ(RunMarker::find(home.path()).size(), 2u);

    control.RunTimeStop(first);
    markers = RunMarker::find(home.path());
    ASSERT_EQ(markers.size(), 1u);
    EXPECT_EQ(markers[0].fileName, second + ".XML");
    control.RunTimeStop(second);
    control.RunTimeStop(second);
    EXPECT_TRUE(RunMarker::find(home.path()).empty());
    EXPECT_TRUE(telephonyLog().empty());
}

TEST(TelephonyValues, RecognisedValuesKeepTheirDigitsPointsAndMinus) {
    struct Case {
        std::string text, kept;
    } cases[] = {
        {"12.5 kg", "12.5"}, {"-3", "-3"}, {".", ""}, {"abc", ""}, {"", ""},
        {"2001/04/10", "20010410"}, {"１２", ""}, {"1,234.50", "1234.50"}, {"..", ".."},
    };
    for (const Case& c : cases) EXPECT_EQ(TelephonyControl::filterNumericChars(c.text), c.kept) << c.text;
}

}  // namespace
}  // namespace fg::testing
