// The receipt confirmation on its own, the stored fax documents, and the
// batches that work for one fax number or from a reminder list.
#include "documents/tests/batch_fixture.h"
#include "platform/request_folder_lock.h"

namespace fg::testing {
namespace {

using Strings = std::vector<std::string>;

class Confirmation : public BatchTest {};

TEST_F(Confirmation, EachListedCodeIsConfirmedOnceAndTheFilesCleared) {
    // No confirmation file: nothing to do.
    EXPECT_TRUE(builder().PutConfirmFax());
    EXPECT_TRUE(requests("PutConfirm").empty());

    // Blank entries are skipped; entries past the fourth go as payables.
    writeConfirmation("DORE0301_0001.xml, ,,,DORE1101_0007.xml.bak");
    EXPECT_TRUE(builder().PutConfirmFax()) << loggedText();
    EXPECT_EQ(confirmedIds(), (Strings{"DORE0301_0001", "DORE1101_0007"}));
    auto comm = communicationLog();
    ASSERT_EQ(comm.size(), 2u);
    EXPECT_NE(comm[0].find(",0301,"), std::string::npos);
    EXPECT_NE(comm[1].find(",1101,"), std::string::npos);
    // The request carries the installation's key and the server code.
    xml::Document request = requestDocument(requests("PutConfirm").front());
    EXPECT_EQ(request.selectSingleNode("/Request/ClientCertiKey").text(), "DEMO-CLIENT-KEY-0001");
    EXPECT_NE(comm[0].find("EDI0001"), std::string::npos);
    EXPECT_FALSE(confirmationLeft());
    EXPECT_FALSE(requestFilesLeft());
    // Gone for good: a second call confirms nothing again.
    EXPECT_TRUE(builder().PutConfirmFax());
    EXPECT_EQ(requests("PutConfirm").size(), 2u);
}

TEST_F(Confirmation, BrokenConfirmationFilesFailAndAreDeleted) {
    const std::pair<std::string, long> cases[] = {
        {"<?xml version=\"1.0\"?><Puts><Other/></Puts>", errnum::ObjectNotSet},
        {"<Puts><Put>", errnum::PathFileAccessError},
    };
    for (const auto& [text, number] : cases) {
        log.log->clear();
        fs::writeFileAtomic(home.folder("TempReqEDI") + "PutConfirmFax.xml", text);
        EXPECT_FALSE(builder().PutConfirmFax()) << text;
        EXPECT_TRUE(logged(number, "PutConfirmFax")) << text << "\n" << loggedText();
        EXPECT_FALSE(confirmationLeft()) << text;
    }
    EXPECT_TRUE(requests("PutConfirm").empty());
    EXPECT_FALSE(requestFilesLeft());
}

TEST_F(Confirmation, AnArchiveNameWithoutADotIsConfirmedUnderItsWholeName) {
    // As the EDI control confirms such an archive when it keeps no document:
    // the list of a batch whose faxes went out is never refused for it.
    writeConfirmation("DORE0301_0001,DORE0500_0002.tgz");
    EXPECT_TRUE(builder().PutConfirmFax()) << loggedText();
    EXPECT_EQ(confirmedIds(), (Strings{"DORE0301_0001", "DORE0500_0002"}));
    EXPECT_TRUE(log.log->entries().empty()) << loggedText();
    EXPECT_FALSE(confirmationLeft());
    EXPECT_FALSE(requestFilesLeft());
}

TEST_F(Confirmation, TheRequestFolderLockIsBesideTheFolderAndHeldForTheCycle) {
    const std::string folder = home.folder("TempReqEDI");
    std::string parent = folder.substr(0, folder.size() - 1);
    parent = parent.substr(0, parent.rfind('/') + 1);
    EXPECT_EQ(RequestFolderLock::lockPath(folder), parent + ".tempreqedi.lock");
    EXPECT_EQ(RequestFolderLock::lockPath(folder.substr(0, folder.size() - 1)), parent + ".tempreqedi.lock");

    writeConfirmation("DORE0301_0001.xml");
    {
        // While someone is in a cycle nobody else gets the folder.
        RequestFolderLock held(folder);
        EXPECT_FALSE(FileLock::tryLock(folder.substr(0, folder.size() - 1)).held());
    }
    EXPECT_TRUE(builder().PutConfirmFax());
    // The confirmation lets go of it at its end.
    EXPECT_TRUE(FileLock::tryLock(folder.substr(0, folder.size() - 1)).held());
}

TEST_F(Confirmation, StoredFaxDocumentsLoadByNumber) {
    fs::writeFileAtomic(home.folder("FaxSendXML") + "202401010000000001.xml",
                        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><FaxDocument><No>1</No></FaxDocument>");
    xml::Document doc = builder().loadFAXSendXML("202401010000000001");
    EXPECT_EQ(doc.selectSingleNode("/FaxDocument/No").text(), "1");
    // A missing document is an empty one.
    EXPECT_TRUE(builder().loadFAXSendXML("202401010000000002").documentElement().isNull());
}

class OtherBatches : public BatchTest {};

TEST_F(OtherBatches, ReminderListsGoOneFaxPerSupplierQuotationRemindersFirst) {
    quickPages();
    std::vector<std::pair<int, Strings>> handed;
    builder().setSendObserver([&](int port, const Strings& numbers) { handed.emplace_back(port, numbers); });
    std::vector<GET_FILE> data{GET_FILE{1, "", {""}, {"Reminder_0001.xml"}}};
    ASSERT_TRUE(builder().makeFAXSendXML(data, "F5F11", "")) << loggedText();
    ASSERT_TRUE(waitForSends());
    auto recs = records();
    ASSERT_EQ(handed.size(), 2u);
    // S0001: its quotation reminder list, then its delivery reminder list,
    // in one fax; S0003 on its own.
    ASSERT_EQ(handed[0].second.size(), 2u);
    EXPECT_EQ(recs.at(handed[0].second[0]).fields.at("RepType"), "見積未回答一覧");
    EXPECT_EQ(recs.at(handed[0].second[1]).fields.at("RepType"), "納期未回答一覧");
    ASSERT_EQ(handed[1].second.size(), 1u);
    EXPECT_EQ(recs.at(handed[1].second[0]).fields.at("ReceiveCode"), "S0003");
    EXPECT_EQ(renders, 2);
    EXPECT_EQ(sendResults().size(), 3u);
}

TEST_F(OtherBatches, OrderBalanceForAnUnknownFaxNumberTouchesNothing) {
    quickPages();
    std::vector<GET_FILE> data{GET_FILE{1, "0601", {"S0001"}, {"DORE0601_0001"}}};
    EXPECT_FALSE(builder().makeFAXSendXML(data, "F7", "0999999999"));
    EXPECT_TRUE(logged(40105)) << loggedText();
    EXPECT_TRUE(records().empty());
    EXPECT_TRUE(fs::list(home.folder("FaxSendXML")).empty());
    EXPECT_EQ(renders, 0);
}

TEST_F(OtherBatches, OrderBalanceForARegisteredSupplierIsSent) {
    quickPages();
    std::vector<std::string> done;
    struct Hook : ProcessedFileHook {
        std::vector<std::string>* names;
        void fileDone(const std::string& name, bool& ok) override {
            names->push_back(name);
            ok = true;
        }
    };
    auto hook = std::make_shared<Hook>();
    hook->names = &done;
    ProcessedFileHook::install(hook);
    std::vector<GET_FILE> data{GET_FILE{1, "0601", {"S0001"}, {"DORE0601_0001"}}};
    const bool ok = builder().makeFAXSendXML(data, "F7", "0312345679");
    ProcessedFileHook::install(nullptr);
    ASSERT_TRUE(ok) << loggedText();
    EXPECT_EQ(done, Strings{"DORE0601_0001"});
    ASSERT_TRUE(waitForSends());
    auto recs = records();
    ASSERT_FALSE(recs.empty());
    for (const auto& [n, r] : recs) EXPECT_EQ(sendResults()[n], "OK") << n;
}

}  // namespace
}  // namespace fg::testing
