// The scheduled fetch against the local EDI server: the four fetch passes,
// what the server receives, the batch handed to the builder, the
// confirmation list, the receipt confirmations of archives that kept no
// document, the refusals, and the work folders left behind.
#include "edi_fixture.h"

#include "documents/quillary/owed_receipts.h"
#include "platform/request_folder_lock.h"

#include <unistd.h>

#include <chrono>
#include <thread>

namespace fg {
namespace {

using testing::EdiFixture;
using testing::Row;
using testing::ProgramRun;
using testing::runProgram;
using testing::TempDir;

class ScheduledFetchTest : public EdiFixture {};

TEST_F(ScheduledFetchTest, KeepsRegisteredDocumentsOfEveryCodeAndConfirmsThemThroughTheBatch) {
    // 0301: two documents of S0001 to fetch, one already faxed ("1"), one of
    // a supplier that is not registered. 0500 refused by the server, 0701
    // two documents of S0002, 1101 nothing to fetch.
    cannedData("GetEdiData", 1, "D0301A.tgz", "0301",
               {{"S0001", "0", "A001.xml"}, {"S0001", "0", "A002.xml"}, {"S0001", "1", "A003.xml"},
                {"S0999", "0", "X001.xml"}});
    cannedCode("GetEdiData", 2, "C0999");
    cannedData("GetEdiData", 3, "D0701A.tgz", "0701", {{"S0002", "0", "B001.xml"}, {"S0001", "0", "B002.xml"}});
    cannedCode("GetEdiData", 4, "C0404");

    ASSERT_TRUE(control->getEDIData("0")) << logText();

    auto posted = requests("GetEdiData");
    ASSERT_EQ(posted.size(), 4u);
    const char* codes[] = {"0301", "0500", "0701", "1101"};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(members(posted[k]), std::vector<std::string>{"request.xml"});
        EXPECT_EQ(requestValue(posted[k], "Information-code"), codes[k]);
        EXPECT_EQ(requestValue(posted[k], "ClientKind"), "2");
        EXPECT_EQ(requestValue(posted[k], "ClientCertiKey"), "DEMO-CLIENT-KEY-0001");
    }
    EXPECT_TRUE(logged(40201, "getEDIData")) << logText();

    ASSERT_EQ(batches.size(), 1u);
    const auto& batch = batches[0];
    EXPECT_EQ(batch.reportType, "");
    ASSERT_EQ(batch.data.size(), 4u);
    EXPECT_EQ(batch.data[0].strInfoType, "0301");
    EXPECT_EQ(batch.data[0].intCnt, 2);
    EXPECT_EQ(batch.data[0].strGetFile, (std::vector<std::string>{"A001", "A002"}));
    EXPECT_EQ(batch.data[0].strSupplier, (std::vector<std::string>{"S0001", "S0001"}));
    EXPECT_EQ(batch.data[1].strInfoType, "");
    EXPECT_EQ(batch.data[1].intCnt, 0);
    EXPECT_EQ(batch.data[2].strInfoType, "0701");
    EXPECT_EQ(batch.data[2].strGetFile, (std::vector<std::string>{"B001", "B002"}));
    EXPECT_EQ(batch.data[2].strSupplier, (std::vector<std::string>{"S0002", "S0001"}));
    EXPECT_EQ(batch.data[3].intCnt, 0);

    // The builder would take and delete it; here it is left to read.
    xml::Document put;
    ASSERT_TRUE(put.load(folder("TempReqEDI") + "PutConfirmFax.xml"));
    EXPECT_EQ(put.childNodes()[0].nodeName(), "xml");
    EXPECT_EQ(put.childNodes()[0].text(), "version=\"1.0\" encoding=\"shift-jis\"");
    EXPECT_EQ(put.selectSingleNode("/Puts/Put").text(), "D0301A.tgz,,D0701A.tgz,");

    // The unregistered supplier's document is gone and said so; the batch's
    // documents and the archives are gone; no request file stays.
    EXPECT_TRUE(logged(40105, "getEDIData")) << logText();
    EXPECT_EQ(filesIn("TempEDI"), std::vector<std::string>{});
    EXPECT_EQ(filesIn("TempReqEDI"), std::vector<std::string>{"PutConfirmFax.xml"});
    EXPECT_TRUE(requests("PutConfirm").empty());
}

TEST_F(ScheduledFetchTest, NothingToFetchBuildsNothing) {
    ASSERT_TRUE(control->getEDIData("0")) << logText();
    EXPECT_EQ(requests("GetEdiData").size(), 4u);
    EXPECT_TRUE(batches.empty());
    EXPECT_EQ(filesIn("TempReqEDI"), std::vector<std::string>{});
    EXPECT_EQ(filesIn("TempEDI"), std::vector<std::string>{});
    EXPECT_TRUE(log.log->entries().empty()) << logText();
}

TEST_F(ScheduledFetchTest, AnArchiveThatKeepsNoDocumentIsConfirmedAtOnce) {
    // An empty index, and an index whose rows are all faxed already.
    cannedArchive("GetEdiData", 1, "N0301.tgz", {{"index.csv", ""}, {"A001.xml", document("S0001")}});
    cannedData("GetEdiData", 2, "N0500.tgz", "0500", {{"S0001", "1", "A002.xml"}, {"S0002", "9", "A003.xml"}});

    ASSERT_TRUE(control->getEDIData("0")) << logText();
    EXPECT_TRUE(batches.empty());
    auto confirmed = requests("PutConfirm");
    ASSERT_EQ(confirmed.size(), 2u) << logText();
    EXPECT_EQ(requestValue(confirmed[0], "ConfirmID"), "N0301");
    EXPECT_EQ(requestValue(confirmed[1], "ConfirmID"), "N0500");
    EXPECT_EQ(requestValue(confirmed[0], "ClientKind"), "2");
    EXPECT_EQ(filesIn("TempEDI"), std::vector<std::string>{});
    EXPECT_EQ(filesIn("TempReqEDI"), std::vector<std::string>{});
}

TEST_F(ScheduledFetchTest, AnArchiveWhoseReceiptIsOwedIsNeverReadAgain) {
    // Owed by a batch that handed all its faxes over, by one that still has
    // a group to hand over, and by nobody.
    using documents::OwedReceipts;
    cannedData("GetEdiData", 1, "D0301.tgz", "0301", {{"S0001", "0", "A001.xml"}});
    cannedData("GetEdiData", 2, "D0500.tgz", "0500", {{"S0001", "0", "O001.xml"}});
    cannedData("GetEdiData", 3, "D0701.tgz", "0701", {{"S0001", "0", "B001.xml"}});
    OwedReceipts::owe({{"0301", "D0301.tgz"}}, {});
    OwedReceipts::owe({{"0500", "D0500.tgz"}}, {{"20240110083000001"}});
    // Owed and not offered again: confirmed after its code's fetch all the same.
    OwedReceipts::owe({{"0701", "D0701_0.tgz"}}, {});

    ASSERT_TRUE(control->getEDIData("0")) << logText();
    auto confirmed = requests("PutConfirm");
    ASSERT_EQ(confirmed.size(), 2u) << logText();
    EXPECT_EQ(requestValue(confirmed[0], "ConfirmID"), "D0301");
    EXPECT_EQ(requestValue(confirmed[1], "ConfirmID"), "D0701_0");
    ASSERT_EQ(batches.size(), 1u);
    EXPECT_EQ(batches[0].data[0].intCnt, 0);
    EXPECT_EQ(batches[0].data[1].intCnt, 0);
    EXPECT_EQ(batches[0].data[2].strGetFile, std::vector<std::string>{"B001"});
    xml::Document put;
    ASSERT_TRUE(put.load(folder("TempReqEDI") + "PutConfirmFax.xml"));
    EXPECT_EQ(put.selectSingleNode("/Puts/Put").text(), ",,D0701.tgz,");
    EXPECT_EQ(OwedReceipts::find("0301", "D0301.tgz"), OwedReceipts::Owed::No);
    EXPECT_EQ(OwedReceipts::find("0500", "D0500.tgz"), OwedReceipts::Owed::Pending);
    EXPECT_EQ(filesIn("TempEDI"), std::vector<std::string>{});
}

// Let go between the download and its look, the folder would let the supervisor pay the
// receipt there, and the archive be faxed twice: the lock is tried while the confirmation waits.
TEST_F(ScheduledFetchTest, TheFetchHoldsItsFolderFromTheDownloadThroughTheOwedConfirmation) {
    using documents::OwedReceipts;
    cannedData("GetEdiData", 1, "D0301.tgz", "0301", {{"S0001", "0", "A001.xml"}});
    OwedReceipts::owe({{"0301", "D0301.tgz"}}, {});
    fs::writeFileAtomic(answers / "PutConfirm.fault", "hold\n");
    std::thread fetch([&] { (void)control->getEDIData("0"); });
    const bool asked = testing::eventually([&] { return !fs::list(record.path(), "*-PutConfirm.body").empty(); });
    const bool held = !RequestFolderLock::tryLock(folder("TempReqEDI")).held();
    (void)fs::removeFile(answers / "PutConfirm.fault");
    fetch.join();
    ASSERT_TRUE(asked) << logText();
    EXPECT_TRUE(held);
    EXPECT_TRUE(batches.empty() || batches[0].data[0].intCnt == 0);
}

TEST_F(ScheduledFetchTest, ARefusedConfirmationIsLoggedAndTheFetchGoesOn) {
    cannedData("GetEdiData", 1, "N0301.tgz", "0301", {{"S0001", "1", "A001.xml"}});
    cannedData("GetEdiData", 2, "D0500.tgz", "0500", {{"S0003", "0", "O001.xml"}});
    cannedCode("PutConfirm", 1, "C0907");

    ASSERT_TRUE(control->getEDIData("0")) << logText();
    EXPECT_TRUE(logged(40205, "getEDIData")) << logText();
    ASSERT_EQ(batches.size(), 1u);
    EXPECT_EQ(batches[0].data[1].strGetFile, std::vector<std::string>{"O001"});
    EXPECT_EQ(requests("GetEdiData").size(), 4u);
}

TEST_F(ScheduledFetchTest, AFailureOfTheInstallationStopsTheFetchBeforeAnythingIsBuilt) {
    cannedData("GetEdiData", 1, "D0301.tgz", "0301", {{"S0001", "0", "A001.xml"}});
    cannedData("GetEdiData", 2, "D0500.tgz", "0500", {{"S0001", "0", "O001.xml"}});
    // The column file of "0500" is gone from this installation.
    ASSERT_TRUE(fs::removeFile(home / "IndexInfo/0500-info.xml"));

    EXPECT_FALSE(control->getEDIData("0"));
    EXPECT_TRUE(logged(40202, "getEDIData")) << logText();
    EXPECT_EQ(requests("GetEdiData").size(), 2u);
    EXPECT_TRUE(batches.empty());
    // The first pass's document waits for the next fetch; the archive is gone.
    EXPECT_EQ(filesIn("TempEDI"), std::vector<std::string>{"A001.xml"});
    EXPECT_EQ(filesIn("TempReqEDI"), std::vector<std::string>{});
}

TEST_F(ScheduledFetchTest, BadAnswersAreLoggedByNameAndNeverStopTheFetch) {
    // 0301: no index at all. 0500: a good document beside one whose name has
    // no ".", one in a folder of the archive and one the archive lacks.
    // 0701: no archive at all. 1101: no index, and a name without a ".".
    cannedArchive("GetEdiData", 1, "N0301.tgz", {{"A001.xml", document("S0001")}});
    cannedArchive("GetEdiData", 2, "D0500.tgz",
                  {{"index.csv", indexCsv("0500", {{"S0001", "0", "O001.xml"},
                                                   {"S0001", "0", "NODOT"},
                                                   {"S0002", "0", "sub/O002.xml"},
                                                   {"S0002", "0", "GONE.xml"}})},
                   {"O001.xml", document("S0001")},
                   {"NODOT", document("S0001")},
                   {"sub/O002.xml", document("S0002")}});
    fs::makeFolders(answers / "GetEdiData/3");
    fs::writeFileAtomic(answers / "GetEdiData/3/D0701.tgz", "no archive at all");
    cannedArchive("GetEdiData", 4, "N1101", {{"readme.txt", "x"}});

    ASSERT_TRUE(control->getEDIData("0")) << logText();
    EXPECT_EQ(requests("GetEdiData").size(), 4u);

    // The good document is faxed, its archive confirmed with it.
    ASSERT_EQ(batches.size(), 1u);
    EXPECT_EQ(batches[0].data[1].strGetFile, std::vector<std::string>{"O001"});
    EXPECT_EQ(batches[0].data[1].strSupplier, std::vector<std::string>{"S0001"});
    xml::Document put;
    ASSERT_TRUE(put.load(folder("TempReqEDI") + "PutConfirmFax.xml"));
    EXPECT_EQ(put.selectSingleNode("/Puts/Put").text(), ",D0500.tgz,,");
    // Each bad document is logged with its archive and its own name.
    for (const char* name : {"\"NODOT\"", "\"sub/O002.xml\"", "\"GONE.xml\""}) {
        bool found = false;
        for (const auto& e : log.log->entries())
            found |= e.number == 40203 && e.description.find("D0500.tgz") != std::string::npos &&
                     e.description.find(name) != std::string::npos;
        EXPECT_TRUE(found) << name << "\n" << logText();
    }
    // The archives without an index are confirmed at once, the one without
    // a "." under its whole name; the unreadable one is left for the server
    // to offer again.
    std::vector<std::string> ids;
    for (const auto& zip : requests("PutConfirm")) ids.push_back(requestValue(zip, "ConfirmID"));
    EXPECT_EQ(ids, (std::vector<std::string>{"N0301", "N1101"}));
    EXPECT_TRUE(logged(40202, "getEDIData")) << logText();
    // ... each named once in the log with what it held.
    for (const char* held : {"\"N0301.tgz\" 内容: \"A001.xml\"", "\"N1101\" 内容: \"readme.txt\""}) {
        int found = 0;
        for (const auto& e : log.log->entries())
            found += e.number == 40224 && e.source == "getEDIData" && e.description.find(held) != std::string::npos;
        EXPECT_EQ(found, 1) << held << "\n" << logText();
    }

    // Nothing is left behind: no document of a folder, no folder, no
    // temporary file.
    EXPECT_EQ(leftIn("TempEDI"), std::vector<std::string>{});
    EXPECT_EQ(leftIn("TempReqEDI"), std::vector<std::string>{"PutConfirmFax.xml"});
}

// Every document of a large answer is had, supplier by supplier in the
// order of each supplier's first row, each supplier's in row order: the
// archive is read once for all of them.
TEST_F(ScheduledFetchTest, ALargeAnswerIsFetchedWholeInTheOrderOfItsIndex) {
    const char* suppliers[3] = {"S0002", "S0001", "S0003"};
    std::vector<Row> rows;
    for (int i = 0; i < 1200; ++i)
        rows.push_back({suppliers[(i * 7) % 3], i % 100 == 99 ? "1" : "0", "A" + std::to_string(10000 + i) + ".xml"});
    cannedData("GetEdiData", 1, "D0301.tgz", "0301", rows);

    ASSERT_TRUE(control->getEDIData("0")) << logText();
    ASSERT_EQ(batches.size(), 1u);
    std::vector<std::string> files, codes;
    for (const char* supplier : suppliers)
        for (const Row& r : rows)
            if (r.supplier == supplier && r.flag == "0") {
                files.push_back(r.file.substr(0, r.file.find('.')));
                codes.push_back(supplier);
            }
    EXPECT_EQ(batches[0].data[0].intCnt, 1188);
    EXPECT_EQ(batches[0].data[0].strGetFile, files);
    EXPECT_EQ(batches[0].data[0].strSupplier, codes);
    EXPECT_TRUE(log.log->entries().empty()) << logText();
    EXPECT_EQ(leftIn("TempEDI"), std::vector<std::string>{});
}

// An entry that the extraction refuses (a link out of the work folder)
// costs only itself: its neighbours are had, it is logged by name, and
// nothing of it stays.
TEST_F(ScheduledFetchTest, AnEntryThatCannotBeExtractedCostsOnlyItself) {
    TempDir scratch;
    fs::writeFileAtomic(scratch / "index.csv", indexCsv("0301", {{"S0001", "0", "A001.xml"},
                                                                 {"S0001", "0", "L001.xml"},
                                                                 {"S0002", "0", "B001.xml"}}));
    fs::writeFileAtomic(scratch / "A001.xml", document("S0001"));
    fs::writeFileAtomic(scratch / "B001.xml", document("S0002"));
    ASSERT_EQ(::symlink("/etc/passwd", (scratch / "L001.xml").c_str()), 0);
    fs::makeFolders(answers / "GetEdiData/1");
    ProgramRun tar = runProgram({"tar", "-czf", answers / "GetEdiData/1/D0301.tgz", "-C", scratch.path(), "index.csv",
                                 "A001.xml", "L001.xml", "B001.xml"});
    ASSERT_EQ(tar.exitCode, 0) << tar.errors;

    ASSERT_TRUE(control->getEDIData("0")) << logText();
    ASSERT_EQ(batches.size(), 1u);
    EXPECT_EQ(batches[0].data[0].strGetFile, (std::vector<std::string>{"A001", "B001"}));
    EXPECT_EQ(batches[0].data[0].strSupplier, (std::vector<std::string>{"S0001", "S0002"}));
    bool found = false;
    for (const auto& e : log.log->entries())
        found |= e.number == 40203 && e.description.find("\"L001.xml\"") != std::string::npos;
    EXPECT_TRUE(found) << logText();
    EXPECT_EQ(leftIn("TempEDI"), std::vector<std::string>{});
}

TEST_F(ScheduledFetchTest, NamesFromTheServerMustBeBareFileNames) {
    TempDir outside;
    cannedArchive("GetEdiData", 1, "D0301.tgz",
                  {{"index.csv", indexCsv("0301", {{"S0001", "0", "../escape.xml"},
                                                   {"S0001", "0", "sub/inner.xml"},
                                                   {"S0001", "0", "A001.xml"}})},
                   {"A001.xml", document("S0001")},
                   {"sub/inner.xml", document("S0001")}});
    cannedArchive("GetEdiData", 2, "D0500\t.tgz",
                  {{"index.csv", indexCsv("0500", {{"S0001", "0", "O001.xml"}})}, {"O001.xml", document("S0001")}});

    ASSERT_TRUE(control->getEDIData("0")) << logText();
    ASSERT_EQ(batches.size(), 1u);
    EXPECT_EQ(batches[0].data[0].strGetFile, std::vector<std::string>{"A001"});
    EXPECT_EQ(batches[0].data[1].intCnt, 0);
    EXPECT_FALSE(fs::fileExists(folder("TempEDI") + "D0500\t.tgz"));
    EXPECT_TRUE(logged(40203, "getEDIData")) << logText();
    EXPECT_FALSE(fs::fileExists(folder("TempEDI") + "../escape.xml"));
    EXPECT_FALSE(fs::folderExists(folder("TempEDI") + "sub"));

    // delEdiXmlFile never reaches outside its folder.
    fs::writeFileAtomic(outside / "keep.xml", "x");
    control->delEdiXmlFile(folder("TempEDI"), {"../../../" + outside.path().substr(1) + "keep.xml", outside / "keep.xml"});
    EXPECT_TRUE(fs::fileExists(outside / "keep.xml"));
    EXPECT_TRUE(logged(0, "delEdiXmlFile"));
}

TEST_F(ScheduledFetchTest, NoRegisteredSupplierLeavesNothingBehindAndConfirmsNothing) {
    cannedData("GetEdiData", 1, "D0301.tgz", "0301", {{"S0998", "0", "A001.xml"}, {"S0999", "0", "A002.xml"}});
    ASSERT_TRUE(control->getEDIData("0")) << logText();
    EXPECT_TRUE(batches.empty());
    EXPECT_TRUE(requests("PutConfirm").empty());
    EXPECT_EQ(filesIn("TempEDI"), std::vector<std::string>{});
    EXPECT_EQ(filesIn("TempReqEDI"), std::vector<std::string>{});
    EXPECT_TRUE(logged(40105, "getEDIData")) << logText();
}

TEST_F(ScheduledFetchTest, TheBuilderFailingStillClearsTheBatchDocuments) {
    cannedData("GetEdiData", 1, "D0301.tgz", "0301", {{"S0001", "0", "A001.xml"}});
    builderResult = false;
    EXPECT_FALSE(control->getEDIData("0"));
    EXPECT_EQ(filesIn("TempEDI"), std::vector<std::string>{});
    // Not confirmed: the list waits for the next build.
    EXPECT_EQ(filesIn("TempReqEDI"), std::vector<std::string>{"PutConfirmFax.xml"});
}

TEST_F(ScheduledFetchTest, MissingWorkFoldersAndABrokenSupplierFolderAreLogged) {
    home.write("folderpath.xml",
               "<?xml version=\"1.0\"?><Folders><Folder class=\"TempEDI\">temp/TempEDI/</Folder>"
               "<Folder class=\"TempReqEDI\">  </Folder></Folders>");
    EXPECT_FALSE(control->getEDIData("0"));
    EXPECT_TRUE(logged(40523, "subGetEDIData")) << logText();
    EXPECT_TRUE(requests("GetEdiData").empty());
    EXPECT_FALSE(control->getEDIData("1"));
    EXPECT_TRUE(logged(40524, "subGetFaxReminder")) << logText();
}

TEST_F(ScheduledFetchTest, TheSupplierCheckFailingIsLogged) {
    cannedData("GetEdiData", 1, "D0301.tgz", "0301", {{"S0001", "0", "A001.xml"}});
    // The supplier folder's key is gone: the lookup cannot even start.
    std::string map = home.read("folderpath.xml");
    auto at = map.find("class=\"MakerInfo\"");
    ASSERT_NE(at, std::string::npos);
    map.replace(at, 17, "class=\"MakerGone\"");
    home.write("folderpath.xml", map);

    EXPECT_FALSE(control->getEDIData("0"));
    EXPECT_TRUE(batches.empty());
    bool fromCheck = false;
    for (const auto& e : log.log->entries()) fromCheck |= e.source == "getEDIData";
    EXPECT_TRUE(fromCheck) << logText();
}

TEST_F(ScheduledFetchTest, ARequestFolderHeldByAnotherCycleIsWaitedFor) {
    // Another process's cycle holds the folder: its request.xml must not be
    // overwritten or posted by this one.
    std::string requestXml = folder("TempReqEDI") + "request.xml";
    auto other = std::make_unique<RequestFolderLock>(folder("TempReqEDI"));
    fs::writeFileAtomic(requestXml, "<Request>other</Request>");
    std::thread fetch([&] { control->getEDIData("0"); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(fs::readFile(requestXml), "<Request>other</Request>");
    EXPECT_TRUE(requests("GetEdiData").empty());
    (void)fs::removeFile(requestXml);
    other.reset();
    fetch.join();
    EXPECT_EQ(requests("GetEdiData").size(), 4u);
}

TEST_F(ScheduledFetchTest, TheReminderPassFaxesTheListsThenConfirmsThem) {
    cannedArchive("GetFaxReminder", 1, "R0001.tgz",
                  {{"a.XML", document("S0001")}, {"b.xml", document("S0002")}, {"readme.txt", "x"}});

    ASSERT_TRUE(control->getEDIData("1")) << logText();
    EXPECT_TRUE(requests("GetEdiData").empty());
    auto fetched = requests("GetFaxReminder");
    ASSERT_EQ(fetched.size(), 1u);
    EXPECT_EQ(requestValue(fetched[0], "Information-code"), "<none>");
    ASSERT_EQ(batches.size(), 1u);
    EXPECT_EQ(batches[0].reportType, "F5F11");
    ASSERT_EQ(batches[0].data.size(), 1u);
    EXPECT_EQ(batches[0].data[0].intCnt, 2);
    EXPECT_EQ(batches[0].data[0].strGetFile, (std::vector<std::string>{"a.XML", "b.xml"}));
    auto confirmed = requests("DelFaxReminder");
    ASSERT_EQ(confirmed.size(), 1u);
    std::string text = member(confirmed[0], "request.xml");
    EXPECT_NE(text.find("<FileList><FileName>a.XML</FileName><FileName>b.xml</FileName></FileList>"),
              std::string::npos)
        << text;
    EXPECT_EQ(filesIn("TempEDI"), std::vector<std::string>{});
    EXPECT_EQ(filesIn("TempReqRem"), std::vector<std::string>{});
}

TEST_F(ScheduledFetchTest, AnOwedReminderIsNeverReadAgainWhateverArchiveBringsIt) {
    // Owed by a batch that handed all over, by one with a group left, by nobody.
    using documents::OwedReceipts;
    cannedArchive("GetFaxReminder", 1, "R0009.tgz",
                  {{"a.xml", document("S0001")}, {"b.xml", document("S0002")}, {"c.xml", document("S0003")}});
    OwedReceipts::owe({{OwedReceipts::kReminder, "a.xml"}}, {});
    OwedReceipts::owe({{OwedReceipts::kReminder, "b.xml"}}, {{"20240110083000001"}});

    ASSERT_TRUE(control->getEDIData("1")) << logText();
    ASSERT_EQ(batches.size(), 1u);
    EXPECT_EQ(batches[0].data[0].strGetFile, std::vector<std::string>{"c.xml"});
    auto deleted = requests("DelFaxReminder");
    ASSERT_EQ(deleted.size(), 2u);
    EXPECT_NE(member(deleted[0], "request.xml").find("<FileList><FileName>a.xml</FileName></FileList>"), std::string::npos);
    EXPECT_NE(member(deleted[1], "request.xml").find("<FileList><FileName>c.xml</FileName></FileList>"), std::string::npos);
    EXPECT_EQ(OwedReceipts::find(OwedReceipts::kReminder, "a.xml"), OwedReceipts::Owed::No);
    EXPECT_EQ(OwedReceipts::find(OwedReceipts::kReminder, "b.xml"), OwedReceipts::Owed::Pending);
}

// A reminder is known by its whole name (r.2.xml is no r.1.xml), and one
// deletion of several owed reminders pays them all.
TEST_F(ScheduledFetchTest, OwedRemindersAreKnownByTheirWholeNamesAndPaidTogether) {
    using documents::OwedReceipts;
    cannedArchive("GetFaxReminder", 1, "R0011.tgz",
                  {{"r.1.xml", document("S0001")}, {"r.2.xml", document("S0002")}, {"s.xml", document("S0003")}});
    OwedReceipts::owe({{OwedReceipts::kReminder, "r.1.xml"}, {OwedReceipts::kReminder, "s.xml"}}, {});

    ASSERT_TRUE(control->getEDIData("1")) << logText();
    ASSERT_EQ(batches.size(), 1u);
    EXPECT_EQ(batches[0].data[0].strGetFile, std::vector<std::string>{"r.2.xml"});
    auto deleted = requests("DelFaxReminder");
    ASSERT_EQ(deleted.size(), 2u);
    EXPECT_NE(member(deleted[0], "request.xml").find("<FileList><FileName>r.1.xml</FileName><FileName>s.xml</FileName></FileList>"),
              std::string::npos);
    EXPECT_EQ(OwedReceipts::find(OwedReceipts::kReminder, "r.1.xml"), OwedReceipts::Owed::No);
    EXPECT_EQ(OwedReceipts::find(OwedReceipts::kReminder, "s.xml"), OwedReceipts::Owed::No);
}

TEST_F(ScheduledFetchTest, AnOwedReminderWhoseDeletionCannotBeAskedForHoldsBackNoNewOne) {
    using documents::OwedReceipts;
    cannedArchive("GetFaxReminder", 1, "R0010.tgz", {{"\x01.xml", document("S0001")}, {"c.xml", document("S0003")}});
    OwedReceipts::owe({{OwedReceipts::kReminder, "\x01.xml"}}, {});
    EXPECT_FALSE(control->getEDIData("1"));
    ASSERT_EQ(batches.size(), 1u) << logText();
    EXPECT_EQ(batches[0].data[0].strGetFile, std::vector<std::string>{"c.xml"});
    EXPECT_EQ(requests("DelFaxReminder").size(), 1u);
    EXPECT_EQ(OwedReceipts::find(OwedReceipts::kReminder, "\x01.xml"), OwedReceipts::Owed::Yes);
}

TEST_F(ScheduledFetchTest, AReminderBuildThatFailsIsNotConfirmed) {
    cannedArchive("GetFaxReminder", 1, "R0002.tgz", {{"readme.txt", "x"}});
    builderResult = false;
    EXPECT_FALSE(control->getEDIData("1"));
    ASSERT_EQ(batches.size(), 1u);
    EXPECT_EQ(batches[0].data[0].intCnt, 0);
    EXPECT_TRUE(requests("DelFaxReminder").empty());
    EXPECT_EQ(filesIn("TempEDI"), std::vector<std::string>{});

    // Nothing to fetch and a refusal both let the schedule go on.
    cannedCode("GetFaxReminder", 2, "C1002");
    cannedCode("GetFaxReminder", 3, "C0500");
    EXPECT_TRUE(control->getEDIData("1"));
    EXPECT_TRUE(control->getEDIData("1"));
    EXPECT_TRUE(logged(40210, "subGetFaxReminder")) << logText();
    // Built, an answer of no list is deleted all the same, with an empty list.
    cannedArchive("GetFaxReminder", 4, "R0004.tgz", {{"readme.txt", "x"}});
    builderResult = true;
    EXPECT_TRUE(control->getEDIData("1")) << logText();
    EXPECT_EQ(requests("DelFaxReminder").size(), 1u);
}

TEST_F(ScheduledFetchTest, AReminderEntryInAFolderIsLoggedAndLeftOutAndNothingStays) {
    cannedArchive("GetFaxReminder", 1, "R0003.tgz",
                  {{"a.xml", document("S0001")}, {"sub/b.xml", document("S0002")}, {"sub/deeper/c.XML", "x"},
                   {"d\te.xml", document("S0004")}});
    fs::makeFolders(answers / "GetFaxReminder/2");
    fs::writeFileAtomic(answers / "GetFaxReminder/2/R0004.tgz", "no archive at all");

    ASSERT_TRUE(control->getEDIData("1")) << logText();
    ASSERT_EQ(batches.size(), 1u);
    EXPECT_EQ(batches[0].data[0].strGetFile, std::vector<std::string>{"a.xml"});
    auto confirmed = requests("DelFaxReminder");
    ASSERT_EQ(confirmed.size(), 1u);
    EXPECT_NE(member(confirmed[0], "request.xml").find("<FileList><FileName>a.xml</FileName></FileList>"),
              std::string::npos);
    for (const char* name : {"\"sub/b.xml\"", "\"sub/deeper/c.XML\"", "\"d\te.xml\""}) {
        bool found = false;
        for (const auto& e : log.log->entries())
            found |= e.number == 40203 && e.source == "subGetFaxReminder" &&
                     e.description.find("R0003.tgz") != std::string::npos && e.description.find(name) != std::string::npos;
        EXPECT_TRUE(found) << name << "\n" << logText();
    }
    EXPECT_EQ(leftIn("TempEDI"), std::vector<std::string>{});

    // An answer that cannot be read is logged, not confirmed, and the
    // schedule goes on.
    EXPECT_TRUE(control->getEDIData("1")) << logText();
    EXPECT_TRUE(logged(40211, "subGetFaxReminder")) << logText();
    EXPECT_EQ(requests("DelFaxReminder").size(), 1u);
    EXPECT_EQ(leftIn("TempEDI"), std::vector<std::string>{});
    EXPECT_EQ(leftIn("TempReqRem"), std::vector<std::string>{});
}

}  // namespace
}  // namespace fg
