// A demo installation in a temporary folder for the telephone requests: the
// demo's suppliers, a management file of the test's records, every fax job
// program replaced by the recorder, and the error log recorded.
#pragma once

#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/process/run_marker.h"
#include "platform/testing/run_program.h"
#include "platform/testing/store_files.h"
#include "platform/testing/temp_home.h"
#include "settings/fax_manage_num.h"
#include "telephony/telephony_control.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

namespace fg::testing {

// Supplier S0001 of the demo is registered with "03-1234-5679".
inline const std::string kSupplierFax = "0312345679";
inline const std::string kStrangerFax = "0698765432";

inline const char* const kJobPrograms[] = {"drumel", "belvast", "sorvik", "corvina", "pomrik", "wendrik"};

// Answers what the test programs it and notes each call, so that the
// decision's own steps can be watched around it.
class SpyControl : public TelephonyControl {
public:
    std::int16_t answer = TelephonyResultCode::Done;
    bool raise = false;
    std::vector<std::string> calls;  // "number fax"
    std::vector<RunMarker::Found> markersSeen;

    std::int16_t deliveryestimateDecision(std::string& strRepManageNo, const std::string& strFaxNo) override {
        calls.push_back(strRepManageNo + " " + strFaxNo);
        markersSeen = RunMarker::find(fs::programFolder());
        if (raise) throw Error(errnum::FileNotFound, "受信した回答書がありません", "deliveryestimateDecision");
        return answer;
    }
};

class TelephonyHome : public ::testing::Test {
protected:
    TempHome home;
    ErrorLogGuard log;

    void SetUp() override {
        for (const char* job : kJobPrograms) linkJob(job);
    }

    void linkJob(const std::string& name) {
        ASSERT_EQ(::symlink(TELEPHONY_JOB_RECORDER, (home / name).c_str()), 0) << name;
    }

    static StoreRecord record(const std::string& number, const std::string& fax, const std::string& decision,
                              const std::string& repType = "納期回答書受信確認") {
        StoreRecord r;
        r.number = number;
        r.faxNum = fax;
        r.decision = decision;
        r.repType = repType;
        return r;
    }
    void store(const std::vector<StoreRecord>& records) {
        fs::writeFileAtomic(home.folder("FaxManageNum") + FaxManageNum::kFileName, storeXml(records));
    }
    std::string condition(const std::string& number) {
        FaxManageNum s;
        return s.getManageNum(number, "", false) ? s.mstrDecisionCondition() : "(none)";
    }

    // The recorded starts, "name<TAB>argument...", in the order they wrote.
    std::vector<std::string> jobStarts() {
        std::vector<std::string> lines;
        if (!fs::fileExists(home / "JobStarts.txt")) return lines;
        std::istringstream in(home.read("JobStarts.txt"));
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    // Waits until `count` starts have been recorded, and answers them.
    std::vector<std::string> awaitStarts(std::size_t count) {
        EXPECT_TRUE(eventually([&] { return jobStarts().size() >= count; })) << "fewer than " << count << " starts";
        return jobStarts();
    }

    std::vector<ErrorLogEntry> telephonyLog() const {
        std::vector<ErrorLogEntry> out;
        for (const auto& e : log.log->entries())
            if (e.log == "TelephonyErrorLog") out.push_back(e);
        return out;
    }
};

}  // namespace fg::testing
