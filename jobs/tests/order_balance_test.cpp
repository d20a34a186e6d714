// The order-balance job ("sorvik") as the telephone side starts it, against
// the local EDI server: the caller's balances fetched, faxed and their
// receipt confirmed.
#include "jobs/errors.h"
#include "jobs/fax_job.h"
#include "job_fixture.h"
#include "settings/set_up_info.h"
#include "standins/edi_server/local_edi_server.h"


namespace fg::testing {
namespace {

using Strings = std::vector<std::string>;
namespace errs = jobs::errs;

class OrderBalanceJob : public JobHome {
protected:
    void SetUp() override {
        JobHome::SetUp();
        // The demo's balances of S0001 (two customers), and the same of S0002.
        balances = fs::readFile(home.folder("TempEDI") + "DORE0601_0001.xml");
        for (const auto& name : files("TempEDI")) (void)fs::removeFile(home.folder("TempEDI") + name);
        server = std::make_unique<LocalEdiServer>(answers.path(), record.path());
        SetUpInfo settings;
        settings.setStrEDIMethodRoot(server->methodRoot());
        ASSERT_TRUE(settings.save());
    }

    // The answer of every fetch: B0601.tgz with an index row and a document
    // per supplier, or a file of that name that is no archive.
    void answerBalancesOf(const Strings& suppliers, bool archived = true) const {
        if (!archived) {
            fs::makeFolders(answers / "GetEdiData");
            fs::writeFileAtomic(answers / "GetEdiData/B0601.tgz", "no archive");
            return;
        }
        const std::string archive = answers / "GetEdiData/B0601.tgz/";
        fs::makeFolders(archive);
        std::string index;
        for (const auto& supplier : suppliers) {
            const std::string name = "OB_" + supplier + ".xml";
            index += "C0001," + supplier + ",N-1,0,01,20240115,Customer,Supplier,0601," + name + "\r\n";
            std::string document = balances;
            const std::string demo = "<Supplier-code>S0001<", own = "<Supplier-code>" + supplier + "<";
            for (std::size_t at = 0; (at = document.find(demo, at)) != std::string::npos; at += own.size())
                document.replace(at, demo.size(), own);
            fs::writeFileAtomic(archive + name, document);
        }
        fs::writeFileAtomic(archive + "index.csv", index);
    }
    void answerConfirmationWith(const std::string& code) const {
        const std::string archive = answers / "PutConfirm/answer.tgz/";
        fs::makeFolders(archive);
        fs::writeFileAtomic(archive + "answer.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Answer><ErrCode>" +
                                                        code + "</ErrCode></Answer>\n");
    }

    // The request.xml of each recorded request to a servlet.
    Strings requests(const std::string& servlet) const {
        Strings out;
        for (const auto& zip : fs::list(record.path(), "*-" + servlet + ".zip"))
            out.push_back(runProgram({"unzip", "-p", record / zip, "request.xml"}).output);
        return out;
    }
    // The communication log's lines: field 2 the code, 4 the kind, 5 the
    // information code, 7 the address.
    std::vector<Strings> communicationLog() const {
        std::vector<Strings> out;
        const std::string path = home.folder("log") + "communicationlog.csv";
        if (!fs::fileExists(path)) return out;
        for (const auto& line : text::lines(text::fromCp932(fs::readFile(path)))) out.push_back(text::split(line, ','));
        return out;
    }
    // The work files of the exchange: downloads, request files, the
    // confirmation list.
    Strings workFiles() const {
        Strings left;
        for (const char* key : {"TempEDI", "TempReqEDI", "TempReqOrder"})
            for (const auto& f : files(key)) left.push_back(std::string(key) + "/" + f);
        return left;
    }

    std::string balances;
    TempDir answers, record;
    std::unique_ptr<LocalEdiServer> server;
};

TEST_F(OrderBalanceJob, TheCallersBalancesAreFaxedAndTheirReceiptConfirmed) {
    answerBalancesOf({"S0002", "S0001"});
    ProgramRun run = runJob("sorvik", {kSupplierFax});
    EXPECT_EQ(run.exitCode, jobs::kExitSent) << run.errors;
    EXPECT_TRUE(telephonyLog().empty());

    // One list per customer of the caller's supplier; S0002's are not faxed.
    auto all = records();
    ASSERT_EQ(all.size(), 2u);
    std::map<std::string, std::string> results;
    for (const auto& r : sendLog(home)) results[r.number] = r.result;
    for (const auto& [number, r] : all) {
        EXPECT_EQ(r.at("RepType"), "注文残高一覧");
        EXPECT_EQ(r.at("SendFAXNum"), kSupplierFax);
        EXPECT_FALSE(r.at("FAXRefImageFileNames").empty());
        EXPECT_EQ(results[number], "OK");
    }
    auto placed = faxes();
    ASSERT_EQ(placed.size(), 2u);
    for (const auto& fax : placed) {
        EXPECT_EQ(fax.status, "sent");
        EXPECT_EQ(fax.phone, kSupplierFax);
        ASSERT_FALSE(fax.pages.empty());
        EXPECT_EQ(decode(fax.pages[0]).pels.width(), 1728);
    }

    // The fetch of "0601" and the confirmation of the archive, each on the
    // communication log.
    auto fetches = requests("GetEdiData");
    ASSERT_EQ(fetches.size(), 1u);
    EXPECT_NE(fetches[0].find("<Information-code>0601</Information-code>"), std::string::npos) << fetches[0];
    auto confirmations = requests("PutConfirm");
    ASSERT_EQ(confirmations.size(), 1u);
    EXPECT_NE(confirmations[0].find("<ConfirmID>B0601</ConfirmID>"), std::string::npos) << confirmations[0];
    EXPECT_NE(confirmations[0].find("<ClientKind>2</ClientKind>"), std::string::npos) << confirmations[0];
    Strings exchanges;
    for (const auto& f : communicationLog()) {
        ASSERT_GE(f.size(), 8u);
        exchanges.push_back(f[2] + " " + f[4] + " " + f[5] + " " + f[7].substr(f[7].rfind('/') + 1));
    }
    EXPECT_EQ(exchanges, (Strings{"T0000 Receive 0601 GetEdiData", "C0000 Send 0601 PutConfirm"}));

    EXPECT_EQ(workFiles(), Strings{});
    EXPECT_EQ(leftovers(), Strings{});
}

struct Ending {
    std::string name;
    std::string faxNo;
    Strings suppliers;  // whose balances the server has
    bool archived;
    std::string confirmed;  // the server's answer to the confirmation
    bool packingBlocked;    // request.zip cannot be written in the confirmation's folder
    int exitCode;
    std::vector<std::pair<long, std::string>> logged;  // number, flag
    std::size_t faxed, confirmations;
};
const Ending kEndings[] = {
    // Nothing fetched: the job ends quietly.
    {"NothingToFetch", kSupplierFax, {}, true, "C0000", false, jobs::kExitSent, {}, 0, 0},
    // Only another supplier's balances: confirmed, nothing to wait for.
    {"AnotherSuppliersBalances", kSupplierFax, {"S0002"}, true, "C0000", false, jobs::kExitSent, {}, 0, 1},
    // No supplier of that number: no list is the caller's, the receipt
    // is confirmed all the same (the lookup logs on the server side).
    {"AFaxNumberOfNoSupplier", kStrangerFax, {"S0001"}, true, "C0000", false, jobs::kExitSent, {}, 0, 1},
    // A refusal is a warning; the job has done its part.
    {"ARefusedConfirmation", kSupplierFax, {"S0001"}, true, "C0999", false, jobs::kExitSent,
     {{errs::ConfirmRefused, "False"}}, 2, 1},
    // The faxes were handed over before the confirmation failed: they
    // are still sent, and the job fails.
    {"AConfirmationThatCannotBePacked", kSupplierFax, {"S0001"}, true, "C0000", true, jobs::kExitFailed,
     {{errs::ConfirmNotPacked, "True"}}, 2, 0},
    {"AnAnswerThatIsNoArchive", kSupplierFax, {"S0001"}, false, "C0000", false, jobs::kExitFailed,
     {{errs::OrderBalanceFailed, "True"}}, 0, 0},
};
void PrintTo(const Ending& c, std::ostream* os) { *os << c.name; }

// Each ending a test of its own, run side by side.
class EachEndingOfTheJob : public OrderBalanceJob, public ::testing::WithParamInterface<Ending> {};

TEST_P(EachEndingOfTheJob, IsLoggedAsItMeans) {
    const Ending& c = GetParam();
    const std::string blocker = home.folder("TempReqEDI") + "request.zip";
    if (!c.suppliers.empty()) answerBalancesOf(c.suppliers, c.archived);
    answerConfirmationWith(c.confirmed);
    if (c.packingBlocked) fs::makeFolders(blocker);

    ProgramRun run = runJob("sorvik", {c.faxNo});
    EXPECT_EQ(run.exitCode, c.exitCode) << run.errors;
    // No ending waits out a bound: a wait's time-out would be logged
    // beside the ending's own numbers.
    std::vector<std::pair<long, std::string>> logged;
    for (const auto& l : telephonyLog()) {
        logged.emplace_back(l.number, l.flag);
        EXPECT_EQ(l.source, "sorvik");
        if (l.number == errs::ConfirmRefused) { EXPECT_EQ(l.description, "[ErrCode:C0999]"); }
        if (l.number == errs::ConfirmNotPacked) { EXPECT_NE(l.description.find("request.xml[ErrorCode:]"), std::string::npos); }
    }
    EXPECT_EQ(logged, c.logged);
    auto placed = faxes();
    EXPECT_EQ(placed.size(), c.faxed);
    for (const auto& fax : placed) EXPECT_EQ(fax.status, "sent");
    EXPECT_EQ(requests("PutConfirm").size(), c.confirmations);
    if (c.packingBlocked) {
        // The list is gone (never confirmed twice); the request is kept
        // for whoever looks.
        EXPECT_EQ(workFiles(), Strings{"TempReqEDI/request.xml"});
        fs::removeTree(blocker);
        (void)fs::removeFile(home.folder("TempReqEDI") + "request.xml");
    }
    EXPECT_EQ(workFiles(), Strings{});
    EXPECT_EQ(leftovers(), Strings{});
}

INSTANTIATE_TEST_SUITE_P(OrderBalanceJob, EachEndingOfTheJob, ::testing::ValuesIn(kEndings),
                         [](const ::testing::TestParamInfo<Ending>& info) { return info.param.name; });

}  // namespace
}  // namespace fg::testing
