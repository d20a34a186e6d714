// Whole batches: EDI message files built into fax documents, laid out,
// rendered, sent by fax-send servers over simulated lines, and their receipt
// confirmed to the local EDI server; and what a failure at each step leaves.
#include "documents/tests/batch_fixture.h"

#include "documents/quillary/owed_receipts.h"
#include "platform/file_lock.h"
#include "platform/testing/broken_documents.h"

#include <algorithm>
#include <filesystem>
#include <set>

namespace fg::testing {
namespace {

using Strings = std::vector<std::string>;

GET_FILE files(const std::string& code, const Strings& suppliers, const Strings& names) {
    return {static_cast<std::int16_t>(names.size()), code, suppliers, names};
}
std::vector<GET_FILE> fetch(GET_FILE r0301, GET_FILE r0500, GET_FILE r0701, GET_FILE r1101) {
    r0301.strInfoType = "0301";
    r0500.strInfoType = "0500";
    r0701.strInfoType = "0701";
    r1101.strInfoType = "1101";
    return {r0301, r0500, r0701, r1101};
}

std::string numberOf(const FaxTranXml& b, int counter) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d", counter);
    return b.repManageDate() + buf;
}

// Until the folder made where the file's lock goes is removed, every locked
// change of the file fails, as on a full disk (permissions do not stop root).
std::string blockChanges(const std::string& path) {
    const std::string lock = FileLock::lockPathFor(path);
    std::filesystem::remove(lock);
    std::filesystem::create_directory(lock);
    return lock;
}

class ByCodeBatch : public BatchTest {
protected:
    // A delivery-date confirmation for supplier S0002, made from the
    // demo's message for S0003.
    void writeMessageForS0002(const std::string& name) {
        std::string text = fs::readFile(home.folder("TempEDI") + "DORE0701_0002.xml");
        for (auto at = text.find("S0003"); at != std::string::npos; at = text.find("S0003", at))
            text.replace(at, 5, "S0002");
        fs::writeFileAtomic(home.folder("TempEDI") + name + ".xml", text);
    }
    std::set<std::string> layouts() const {
        auto list = fs::list(home.folder("ExcelLayout"));
        return {list.begin(), list.end()};
    }
};

// The demo's sample messages: a quotation request, a delivery-date
// confirmation and a payables notice for S0001, a delivery-date
// confirmation for S0003; rendered by the real page pipeline.
TEST_F(ByCodeBatch, FourDocumentsForTwoSuppliersAreSentAndConfirmed) {
    writeConfirmation("DORE0301_0001.xml,,DORE0701_0001.xml,DORE1101_0001.xml");
    auto data = fetch(files("", {"S0001"}, {"DORE0301_0001"}), files("", {}, {}),
                      files("", {"S0001", "S0003"}, {"DORE0701_0001", "DORE0701_0002"}),
                      files("", {"S0001"}, {"DORE1101_0001"}));
    std::vector<std::pair<int, Strings>> handed;
    builder().setSendObserver([&](int port, const Strings& numbers) { handed.emplace_back(port, numbers); });
    ASSERT_TRUE(builder().makeFAXSendXML(data, "", "")) << loggedText();
    ASSERT_TRUE(waitForSends()) << loggedText();
    EXPECT_FALSE(anyPortBusy());

    // Numbers in build order: S0001's three (by code), then S0003's.
    const FaxTranXml& b = builder();
    const Strings s0001{numberOf(b, 1), numberOf(b, 2), numberOf(b, 3)}, s0003{numberOf(b, 4)};
    ASSERT_EQ(handed.size(), 2u);
    EXPECT_EQ(handed[0], (std::pair<int, Strings>{1, s0001}));
    // Port 1 may still be busy or already free: the lowest free port is taken.
    EXPECT_TRUE(handed[1].first == 1 || handed[1].first == 2);
    EXPECT_EQ(handed[1].second, s0003);

    auto recs = records();
    ASSERT_EQ(recs.size(), 4u);
    const std::pair<std::string, std::string> types[] = {{s0001[0], "見積依頼書"},
                                                         {s0001[1], "納期確認書"},
                                                         {s0001[2], "買掛金計上通知"},
                                                         {s0003[0], "納期確認書"}};
    for (const auto& [number, type] : types) {
        const Stored& r = recs.at(number);
        EXPECT_EQ(r.fields.at("RepType"), type) << number;
        EXPECT_TRUE(fs::fileExists(home.folder("FaxSendXML") + number + ".xml")) << number;
        // Pages: named after the number, the reference copy kept (the G3
        // page is the server's to delete once sent), the layout gone once
        // printed.
        ASSERT_EQ(r.pages, Strings{number + "_001"}) << number;
        EXPECT_EQ(r.refs, r.pages);
        EXPECT_TRUE(fs::fileExists(home.folder("Jpg") + number + "_001.jpg"));
        EXPECT_FALSE(fs::fileExists(home.folder("ExcelLayout") + number + ".xls"));
    }
    EXPECT_EQ(recs.at(s0001[0]).fields.at("ReceiveCode"), "S0001");
    EXPECT_EQ(recs.at(s0003[0]).fields.at("ReceiveCode"), "S0003");
    // The supplier is looked up once per batch: its later documents name it
    // in every field as the first does.
    for (const char* field : {"ReceiveCode", "SendCompanyName", "SendPostName", "SendChargeName", "SendFAXNum"})
        for (const auto& n : {s0001[1], s0001[2]})
            EXPECT_EQ(recs.at(n).fields.at(field), recs.at(s0001[0]).fields.at(field)) << n << " " << field;
    EXPECT_NE(recs.at(s0003[0]).fields.at("SendFAXNum"), recs.at(s0001[0]).fields.at("SendFAXNum"));

    // Every document went out once, on the line of its supplier's number.
    auto results = sendResults();
    for (const auto& n : {s0001[0], s0001[1], s0001[2], s0003[0]}) EXPECT_EQ(results[n], "OK") << n;
    auto sent = sentFaxes();
    ASSERT_EQ(sent.size(), 4u);
    std::multiset<std::string> phones;
    for (const auto& f : sent) {
        phones.insert(f.phone);
        EXPECT_EQ(f.pages, 1);
    }
    EXPECT_EQ(phones.count(recs.at(s0001[0]).fields.at("SendFAXNum")), 3u);
    EXPECT_EQ(phones.count(recs.at(s0003[0]).fields.at("SendFAXNum")), 1u);

    // One confirmation per listed code, each with its ID, logged.
    EXPECT_EQ(confirmedIds(), (Strings{"DORE0301_0001", "DORE0701_0001", "DORE1101_0001"}));
    for (const auto& zip : requests("PutConfirm"))
        EXPECT_EQ(requestDocument(zip).selectSingleNode("//Request/ClientKind").text(), "2");
    auto comm = communicationLog();
    ASSERT_EQ(comm.size(), 3u);
    const char* codes[] = {",0301,", ",0701,", ",1101,"};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_NE(comm[i].find(",C0000,"), std::string::npos) << comm[i];
        EXPECT_NE(comm[i].find(codes[i]), std::string::npos) << comm[i];
        EXPECT_NE(comm[i].find("servlets/PutConfirm"), std::string::npos) << comm[i];
    }
    EXPECT_FALSE(confirmationLeft());
    EXPECT_FALSE(requestFilesLeft());
    EXPECT_TRUE(log.log->entries().empty()) << loggedText();
}

TEST_F(ByCodeBatch, LayoutFailureForTheSecondSupplierRollsBackBothGroups) {
    quickPages();
    writeConfirmation("DORE0301_0001.xml,,DORE0701_0002.xml,");
    // Delivery-date confirmations cannot be laid out.
    ASSERT_TRUE(fs::removeFile(home.folder("Xsl") + "FR080_Layout.xsl"));
    const auto layoutsBefore = layouts();
    auto data = fetch(files("", {"S0001"}, {"DORE0301_0001"}), {}, files("", {"S0003"}, {"DORE0701_0002"}), {});
    int handOvers = 0;
    builder().setSendObserver([&](int, const Strings&) { ++handOvers; });

    EXPECT_FALSE(builder().makeFAXSendXML(data, "", ""));
    EXPECT_TRUE(logged(errnum::FileNotFound, "FaxReportMaker")) << loggedText();
    // The first group was built and rendered but never handed over: it goes
    // too, so nothing of the batch stays on record unsent.
    EXPECT_EQ(renders, 1);
    EXPECT_EQ(handOvers, 0);
    EXPECT_TRUE(records().empty());
    EXPECT_EQ(layouts(), layoutsBefore);
    EXPECT_FALSE(builder().SendPortEndCheck());
    // Nothing confirmed, and the confirmation file is gone so that no later
    // batch confirms these files: the server offers them again.
    EXPECT_TRUE(requests("PutConfirm").empty());
    EXPECT_FALSE(confirmationLeft());
}

// Once a group is handed over, the archives must not come again: the
// groups not handed over stay stored and owed, for the supervisor to send.
TEST_F(ByCodeBatch, FailedHandOverLeavesTheGroupsNotHandedOverOwed) {
    quickPages();
    writeMessageForS0002("DORE0701_0003");
    writeConfirmation("DORE0301_0001.xml,,DORE0701_0002.xml,");
    auto data = fetch(files("", {"S0001"}, {"DORE0301_0001"}), {},
                      files("", {"S0003", "S0002"}, {"DORE0701_0002", "DORE0701_0003"}), {});
    std::vector<std::pair<int, Strings>> handed;
    builder().setSendObserver([&](int port, const Strings& numbers) {
        handed.emplace_back(port, numbers);
        // The second group finds no fax-send server to start.
        if (handed.size() == 2) (void)fs::removeFile(home.path() + "morvane");
    });

    EXPECT_FALSE(builder().makeFAXSendXML(data, "", ""));
    ASSERT_EQ(handed.size(), 2u);
    const Strings first = handed[0].second, second = handed[1].second;
    EXPECT_EQ(handed[1].first, handed[0].first == 1 ? 2 : 1);
    EXPECT_TRUE(logged(kChildCannotCreate)) << loggedText();
    // The failed port is free at once; the first group's send goes on.
    EXPECT_FALSE(builder().sendPortBusy(handed[1].first));
    ASSERT_TRUE(waitForSends());
    EXPECT_EQ(records().size(), 3u);
    EXPECT_EQ(sendResults(), (std::map<std::string, std::string>{{first[0], "OK"}}));
    EXPECT_EQ(sentFaxes().size(), 1u);
    EXPECT_TRUE(requests("PutConfirm").empty());
    EXPECT_FALSE(confirmationLeft());
    // Left to be settled though this process lives: the second group and
    // the third, never tried, with both archives.
    const auto left = documents::OwedReceipts::left();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].groups.size(), 2u);
    EXPECT_EQ(left[0].groups.at(0), second);
    EXPECT_EQ(left[0].archives.size(), 2u);
}

// A full disk as the first hand-over fails: the records cannot be taken back
// and stay whole. Rather than left unsent, they go to the supervisor to send.
TEST_F(ByCodeBatch, RecordsThatCannotBeTakenBackAreLeftOwed) {
    quickPages();
    writeConfirmation("DORE0301_0001.xml,,,");
    std::string blocked;
    builder().setSendObserver([&](int, const Strings&) {
        (void)fs::removeFile(home.path() + "morvane");
        blocked = blockChanges(home.folder("FaxManageNum") + FaxManageNum::kFileName);
    });
    EXPECT_FALSE(builder().makeFAXSendXML(fetch(files("", {"S0001"}, {"DORE0301_0001"}), {}, {}, {}), "", ""));
    std::filesystem::remove(blocked);
    const std::string number = numberOf(builder(), 1);
    EXPECT_EQ(records().count(number), 1u);
    EXPECT_TRUE(fs::fileExists(home.folder("FaxSendXML") + number + ".xml"));
    const auto left = documents::OwedReceipts::left();
    ASSERT_EQ(left.size(), 1u) << loggedText();
    EXPECT_EQ(left[0].groups, (documents::SendGroups{{number}}));
}

// A receipts change that cannot be written now is written with the process's
// next read: a forgotten batch must not hold its archives back meanwhile.
TEST_F(ByCodeBatch, AReceiptsChangeThatCannotBeWrittenIsWrittenLater) {
    using documents::OwedReceipts;
    const std::string batch = OwedReceipts::owe({{"0301", "D0301.tgz"}}, {{"20240110083000001"}});
    const std::string blocked = blockChanges(home.path() + OwedReceipts::kFileName);
    OwedReceipts::forget(batch);
    EXPECT_EQ(OwedReceipts::find("0301", "D0301.tgz"), OwedReceipts::Owed::Pending);
    std::filesystem::remove(blocked);
    EXPECT_EQ(OwedReceipts::find("0301", "D0301.tgz"), OwedReceipts::Owed::No);
}

TEST_F(ByCodeBatch, RefusedSendFreesItsPortAndRollsBackItsGroup) {
    quickPages();
    writeConfirmation("DORE0301_0001.xml,,,");
    const std::string settings = home.folder("SetupInfo") + "SetUpInformation.xml";
    const std::string kept = fs::readFile(settings);
    // The server refuses the list: it cannot read the settings it sends with.
    builder().setSendObserver([&](int, const Strings&) { fs::writeFileAtomic(settings, "<SetUpInfo>"); });
    auto data = fetch(files("", {"S0001"}, {"DORE0301_0001"}), {}, {}, {});
    const bool ok = builder().makeFAXSendXML(data, "", "");
    fs::writeFileAtomic(settings, kept);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(logged(errnum::InvalidProcedureCall, "sendFAXOnFreePort")) << loggedText();
    EXPECT_FALSE(builder().sendPortBusy(1));
    EXPECT_FALSE(builder().SendPortEndCheck());
    EXPECT_TRUE(records().empty());
    EXPECT_TRUE(sentFaxes().empty());
    EXPECT_TRUE(requests("PutConfirm").empty());
    EXPECT_FALSE(confirmationLeft());
}

TEST_F(ByCodeBatch, RolledBackNumbersTakeTheirFilesExceptThoseAnotherRecordLists) {
    quickPages();
    const std::string settings = home.folder("SetupInfo") + "SetUpInformation.xml";
    const std::string kept = fs::readFile(settings);
    auto filesOf = [&](const char* key) {
        auto list = fs::list(home.folder(key));
        return std::set<std::string>(list.begin(), list.end());
    };
    const char* const keys[] = {"FaxSendXML", "G3Image", "Jpg"};
    for (bool listedElsewhere : {false, true}) {
        SCOPED_TRACE(listedElsewhere ? "another record lists them" : "no other record lists them");
        writeConfirmation("DORE0301_0001.xml,,,");
        std::map<std::string, std::set<std::string>> before;
        for (const char* key : keys) before[key] = filesOf(key);
        std::string number;
        builder().setSendObserver([&](int, const Strings& numbers) {
            number = numbers.at(0);
            if (listedElsewhere) {
                FaxManageNum other;
                other.setMstrRepManageNo("KEEP0001");
                other.setMstrRepType("見積依頼書");
                EXPECT_TRUE(other.setManageNum("0"));
                EXPECT_TRUE(other.subAddSendXMLFileNames("KEEP0001", {number}));
                EXPECT_TRUE(other.subAddTempImageFileNames("KEEP0001", {number + "_001"}));
            }
            // The server refuses the list: it cannot read the settings it sends with.
            fs::writeFileAtomic(settings, "<SetUpInfo>");
        });
        const bool ok = builder().makeFAXSendXML(fetch(files("", {"S0001"}, {"DORE0301_0001"}), {}, {}, {}), "", "");
        fs::writeFileAtomic(settings, kept);
        EXPECT_FALSE(ok);
        ASSERT_FALSE(number.empty());
        EXPECT_FALSE(records().count(number));
        // The document, its base copy and its page were made, and go unless
        // the other record lists them; the other record's files stay either way.
        std::map<std::string, std::set<std::string>> made{
            {"FaxSendXML", {number + ".xml", "base" + number + ".xml"}}, {"G3Image", {number + "_001.g3"}}, {"Jpg", {}}};
        for (const char* key : keys) {
            std::set<std::string> expected = before[key];
            if (listedElsewhere) expected.insert(made[key].begin(), made[key].end());
            EXPECT_EQ(filesOf(key), expected) << key;
        }
        EXPECT_EQ(records().count("KEEP0001"), listedElsewhere ? 1u : 0u);
    }
}

TEST_F(ByCodeBatch, BuilderFailingInTheThirdGroupRollsBackTheFirstTwo) {
    quickPages();
    // Gone from the work folder: no fault of its own content, so the whole batch fails.
    (void)fs::removeFile(home.folder("TempEDI") + "DORE1101_0009.xml");
    writeConfirmation("DORE0301_0001.xml,,DORE0701_0002.xml,DORE1101_0009.xml");
    auto data = fetch(files("", {"S0001"}, {"DORE0301_0001"}), {}, files("", {"S0003"}, {"DORE0701_0002"}),
                      files("", {"S0002"}, {"DORE1101_0009"}));
    int handOvers = 0;
    builder().setSendObserver([&](int, const Strings&) { ++handOvers; });

    EXPECT_FALSE(builder().makeFAXSendXML(data, "", ""));
    EXPECT_TRUE(logged(40017, "makeCreditDetail")) << loggedText();
    EXPECT_EQ(renders, 2);
    EXPECT_EQ(handOvers, 0);
    EXPECT_TRUE(records().empty());
    EXPECT_TRUE(sentFaxes().empty());
    EXPECT_TRUE(requests("PutConfirm").empty());
    EXPECT_FALSE(confirmationLeft());
    EXPECT_FALSE(builder().SendPortEndCheck());
}

// A document refused in the second group holds back its archive; the batch
// built again without it must not keep what the refused pass made.
TEST_F(ByCodeBatch, ARefusedDocumentInALaterGroupLeavesRecordsOnlyOfWhatWasHandedOver) {
    quickPages();
    fs::writeFileAtomic(home.folder("TempEDI") + "DORE0701_0009.xml",
                        cutInHalf(fs::readFile(home.folder("TempEDI") + "DORE0701_0002.xml")));
    writeConfirmation("DORE0301_0001.xml,,DORE0701_0009.xml,");
    auto data = fetch(files("", {"S0001"}, {"DORE0301_0001"}), {}, files("", {"S0003"}, {"DORE0701_0009"}), {});
    Strings handed;
    builder().setSendObserver([&](int, const Strings& numbers) { handed.insert(handed.end(), numbers.begin(), numbers.end()); });

    ASSERT_TRUE(builder().makeFAXSendXML(data, "", "")) << loggedText();
    ASSERT_TRUE(waitForSends());
    ASSERT_EQ(handed.size(), 1u) << loggedText();
    Strings stored;
    for (const auto& [number, record] : records()) stored.push_back(number);
    EXPECT_EQ(stored, handed);
}

// The records of a batch are held while its documents are built, laid out
// and rendered, and stored in one save before the first group is handed
// over: the store is neither changed nor locked in between, so the fax-send
// servers and the telephone side that use it are never held up by a batch.
TEST_F(ByCodeBatch, TheStoreIsLeftAloneUntilEveryRecordIsStoredBeforeTheFirstHandOver) {
    writeConfirmation("DORE0301_0001.xml,,DORE0701_0002.xml,");
    const std::string storePath = home.folder("FaxManageNum") + FaxManageNum::kFileName;
    const std::string before = fs::readFile(storePath);
    int renders = 0;
    FaxRepImg pages(&pump);
    builder().setPageRenderer([&](const Strings& numbers, const Strings& workbooks, const std::string& type,
                                  PageRecords& records) {
        ++renders;
        EXPECT_EQ(fs::readFile(storePath), before) << "render " << renders;
        EXPECT_TRUE(FileLock::tryLock(storePath).held()) << "render " << renders;
        return pages.makeFAXImage(numbers, workbooks, type, records);
    });
    std::map<std::string, Stored> atFirstHandOver;
    builder().setSendObserver([&](int, const Strings&) {
        if (atFirstHandOver.empty()) atFirstHandOver = records();
    });
    auto data = fetch(files("", {"S0001"}, {"DORE0301_0001"}), {}, files("", {"S0003"}, {"DORE0701_0002"}), {});
    ASSERT_TRUE(builder().makeFAXSendXML(data, "", "")) << loggedText();
    EXPECT_EQ(renders, 2);
    ASSERT_EQ(atFirstHandOver.size(), 2u);
    for (int k = 1; k <= 2; ++k) {
        const Stored& r = atFirstHandOver.at(numberOf(builder(), k));
        EXPECT_EQ(r.pages, Strings{numberOf(builder(), k) + "_001"});
        EXPECT_EQ(r.refs, r.pages);
        EXPECT_EQ(r.fields.at("SendFAXNum").empty(), false);
    }
    ASSERT_TRUE(waitForSends());
    EXPECT_EQ(sentFaxes().size(), 2u);
}

TEST_F(ByCodeBatch, RecordsThatCannotBeStoredFailTheBatchBeforeAnyHandOver) {
    quickPages();
    writeConfirmation("DORE0301_0001.xml,,DORE0701_0002.xml,");
    const std::string storePath = home.folder("FaxManageNum") + FaxManageNum::kFileName;
    // A person's edit breaks the store while the pages are made.
    builder().setDocumentObserver([&](const std::string&, const xml::Document&) {
        fs::writeFileAtomic(storePath, "<FAXManageNums><FAXManageNum>");
    });
    int handOvers = 0;
    builder().setSendObserver([&](int, const Strings&) { ++handOvers; });
    auto data = fetch(files("", {"S0001"}, {"DORE0301_0001"}), {}, files("", {"S0003"}, {"DORE0701_0002"}), {});
    const auto layoutsBefore = layouts();

    const auto sendXmlBefore = fs::list(home.folder("FaxSendXML"));
    EXPECT_FALSE(builder().makeFAXSendXML(data, "", ""));
    EXPECT_TRUE(logged(40013, "makeFAXSendXML")) << loggedText();
    EXPECT_EQ(handOvers, 0);
    EXPECT_EQ(fs::readFile(storePath), "<FAXManageNums><FAXManageNum>");  // never saved over
    EXPECT_EQ(fs::list(home.folder("FaxSendXML")), sendXmlBefore);  // no document without its record
    EXPECT_EQ(layouts(), layoutsBefore);
    EXPECT_TRUE(requests("PutConfirm").empty());
    EXPECT_FALSE(confirmationLeft());
}

TEST_F(ByCodeBatch, RefusedConfirmationIsLoggedAndTheBatchStillSucceeds) {
    quickPages();
    answerConfirmations("C0403");
    writeConfirmation("DORE0301_0001.xml,,DORE0701_0002.xml,");
    auto data = fetch(files("", {"S0001"}, {"DORE0301_0001"}), {}, files("", {"S0003"}, {"DORE0701_0002"}), {});
    EXPECT_TRUE(builder().makeFAXSendXML(data, "", "")) << loggedText();
    // The refusal ends the confirmations: the second entry is never sent.
    EXPECT_EQ(requests("PutConfirm").size(), 1u);
    EXPECT_TRUE(logged(40205, "PutConfirmFax"));
    bool described = false;
    for (const auto& e : log.log->entries()) described |= e.number == 40205 && e.description == "[ErrCode:C0403]";
    EXPECT_TRUE(described) << loggedText();
    EXPECT_FALSE(confirmationLeft());
    EXPECT_FALSE(requestFilesLeft());
    ASSERT_TRUE(waitForSends());
    EXPECT_EQ(records().size(), 2u);
    EXPECT_EQ(sentFaxes().size(), 2u);
}

TEST_F(ByCodeBatch, NumbersOfABatchInTheSameSecondContinueTheCounter) {
    quickPages();
    // The fixture's clock runs a hundred times fast; hold it still.
    auto still = std::make_shared<ManualClock>();
    setClock(still);
    auto one = fetch(files("", {"S0001"}, {"DORE0301_0001"}), {}, {}, {});
    ASSERT_TRUE(builder().makeFAXSendXML(one, "", "")) << loggedText();
    ASSERT_TRUE(builder().makeFAXSendXML(one, "", "")) << loggedText();
    EXPECT_EQ(builder().repManageCount(), 2);
    auto recs = records();
    EXPECT_TRUE(recs.count(numberOf(builder(), 1)) && recs.count(numberOf(builder(), 2)));
    setClock(std::make_shared<ScaledClock>(0.01));
    ASSERT_TRUE(waitForSends());
    EXPECT_EQ(sentFaxes().size(), 2u);
}

}  // namespace
}  // namespace fg::testing
