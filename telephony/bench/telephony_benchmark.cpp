// Times the telephone requests against an installation with 1,000 and
// 10,000 management records and as many send-log records: each request
// reads the files it needs whole, so what a caller waits for follows the
// records on file. Also times what a host pays around its requests: a run
// marker's bracket, the start of a job program (one that only ends), and a
// whole one-shot call of the host's program; and the building of the
// answers of the two telephone samples (demo/telephone) among those records.
#include "platform/files.h"
#include "platform/testing/run_program.h"
#include "platform/testing/store_files.h"
#include "platform/testing/temp_home.h"
#include "platform/testing/timing.h"
#include "settings/fax_manage_num.h"
#include "telephony/telephony_control.h"

#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using namespace fg;

namespace {

const std::string kFax = "0312345679";  // supplier S0001 of the demo

std::string number(int i) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "20240401093000%05d", i);
    return buf;
}

void check(bool ok, const char* what) {
    if (!ok) std::fprintf(stderr, "unexpected answer: %s\n", what);
}

}  // namespace

int main() {
    testing::TempHome home;
    // A job program that only ends.
    if (::symlink("/bin/true", (home / "belvast").c_str()) != 0) std::fprintf(stderr, "no job stand-in\n");
    // The documents of the samples; their records join the generated ones.
    for (const auto& name : fs::list(testing::sourceDir() + "demo/telephone/home/FaxSendXML/"))
        fs::writeFileAtomic(home.folder("FaxSendXML") + name,
                            fs::readFile(testing::sourceDir() + "demo/telephone/home/FaxSendXML/" + name));
    auto sample = [](const std::string& number, const std::string& type) {
        testing::StoreRecord r;
        r.number = number;
        r.repType = type;
        r.faxNum = kFax;
        r.sendXml = {number};
        return r;
    };
    const std::vector<testing::StoreRecord> samples{
        sample("202401121000000001", "納期確認書"),       sample("202401101000000001", "見積依頼書"),
        sample("202401101000000002", "見積依頼書"),       sample("202401101000000003", "見積依頼書"),
        sample("202401201430000001", "納期回答書受信確認"), sample("202401221000000001", "見積書受信確認")};
    std::printf("%-10s %-34s %12s\n", "records", "call", "ms/call");
    for (int records : {1000, 10000}) {
        std::vector<testing::StoreRecord> all;
        std::string sendLog = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><FaxSendLogs>";
        for (int i = 0; i < records; ++i) {
            testing::StoreRecord r;
            r.number = number(i);
            r.faxNum = kFax;
            r.decision = i % 2 ? "2" : "4";
            r.sendXml = {r.number};
            all.push_back(r);
            sendLog += "<FaxSendLog><SendDate>20240401093000</SendDate><RepManageNo>" + r.number +
                       "</RepManageNo><RepType>注文書</RepType><FAXRefImageFileNames/><FAXNum>" + kFax +
                       "</FAXNum><EmploymentMode>" + (i == records - 1 ? "0" : "1") + "</EmploymentMode></FaxSendLog>";
        }
        all.insert(all.end(), samples.begin(), samples.end());
        fs::writeFileAtomic(home.folder("FaxManageNum") + FaxManageNum::kFileName, testing::storeXml(all));
        fs::writeFileAtomic(home.folder("FaxSendLog") + "FaxSendLog.xml", sendLog + "</FaxSendLogs>");
        const std::string last = number(records - 1), confirmed = number(records - 2);
        const int calls = records >= 10000 ? 5 : 20;

        TelephonyControl control;
        struct Row {
            const char* name;
            std::function<void(int)> call;
        } rows[] = {
            {"checkFAXNo", [&](int) { check(control.checkFAXNo(kFax) == 0, "checkFAXNo"); }},
            {"checkBeforeDecision (last record)",
             [&](int) {
                 std::string n = last;
                 check(control.checkBeforeDecision(kFax, n) == 2, "checkBeforeDecision");
             }},
            {"dataDecision (already decided)",
             [&](int) {
                 std::string n = last;
                 check(control.dataDecision(n, kFax) == 2, "dataDecision");
             }},
            {"confirmOrderReport (confirmed)",
             [&](int) {
                 std::string n = confirmed;
                 check(control.confirmOrderReport(kFax, n) == 2, "confirmOrderReport");
             }},
            {"SelFaxSendLog (last record)",
             [&](int) {
                 std::string out;
                 check(control.SelFaxSendLog("202404", kFax, out), "SelFaxSendLog");
             }},
            {"makeTestFAXData (job start)", [&](int) { check(control.makeTestFAXData(kFax) == 0, "makeTestFAXData"); }},
            {"RunTimeStart + RunTimeStop", [&](int) { control.RunTimeStop(control.RunTimeStart()); }},
            {"makeDeliveryAnswer (4 answers)",
             [&](int) {
                 std::vector<xml::Document> built;
                 check(control.makeDeliveryAnswer("202401201430000001", built) && built.size() == 4,
                       "makeDeliveryAnswer");
             }},
            {"makeEstimatAnswer (3 lines)",
             [&](int) {
                 std::vector<xml::Document> built;
                 check(control.makeEstimatAnswer(kFax, "202401221000000001", built) && built.size() == 1,
                       "makeEstimatAnswer");
             }},
            {"telephony_request checkFAXNo",
             [&](int) {
                 check(testing::runProgram({testing::programDir() + "telephony_request", "checkFAXNo", kFax}).exitCode == 0,
                       "telephony_request");
             }},
        };
        for (const Row& row : rows) std::printf("%-10d %-34s %12.2f\n", records, row.name, testing::msPerCall(calls, row.call));
    }
    return 0;
}
