// A demo home of its own for the job programs, with the waits of every
// process scaled down, and readers for what a job leaves: the telephony
// error log, the management records, the fax documents, the faxes on the
// simulated lines and anything left over.
#pragma once

#include "fax_send/morvane/tests/send_test_support.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/testing/fax_pages.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_home.h"
#include "platform/text.h"
#include "platform/xml.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fg::testing {

// Supplier S0001 of the demo is registered with "03-1234-5679".
inline const std::string kSupplierFax = "0312345679";
inline const std::string kStrangerFax = "0698765432";

class JobHome : public ::testing::Test {
protected:
    // Waits of this process and of the programs it starts.
    static constexpr double kScale = 0.01;

    void SetUp() override {
        ::setenv("FAXGATE_TIME_SCALE", "0.01", 1);
        setClock(std::make_shared<ScaledClock>(kScale));
        setRetries(home, "2");
        // A job of this process finds its fax-send server beside the
        // installation, as on a server; the programs find it beside them.
        ASSERT_EQ(::symlink((programDir() + "morvane").c_str(), (home / "morvane").c_str()), 0);
        layoutsBefore = files("ExcelLayout");
    }
    void TearDown() override {
        setClock(nullptr);
        ::unsetenv("FAXGATE_TIME_SCALE");
    }

    // Runs a job program of the build with its one argument; the home is
    // FAXGATE_HOME, as the telephone side starts it.
    ProgramRun runJob(const std::string& program, const std::vector<std::string>& args) {
        std::vector<std::string> line{programDir() + program};
        line.insert(line.end(), args.begin(), args.end());
        return runProgram(line, std::chrono::milliseconds(120000));
    }

    struct LogLine {
        std::string source;
        long number = 0;
        std::string description;
        std::string flag;
    };
    // The telephony error log, line by line.
    std::vector<LogLine> telephonyLog() const {
        std::vector<LogLine> out;
        const std::string path = home.folder("log") + "TelephonyErrorLog.txt";
        if (!fs::fileExists(path)) return out;
        for (const std::string& line : text::lines(fs::readFile(path))) {
            std::vector<std::string> f;
            std::istringstream in(line);
            for (std::string field; std::getline(in, field, '\t');) f.push_back(field);
            if (f.size() < 6) continue;
            out.push_back({f[2], std::stol(f[3]), f[4], f[5]});
        }
        return out;
    }
    std::vector<long> telephonyNumbers() const {
        std::vector<long> out;
        for (const auto& l : telephonyLog()) out.push_back(l.number);
        return out;
    }

    // Every management record, its children by name.
    std::map<std::string, std::map<std::string, std::string>> records() const {
        std::map<std::string, std::map<std::string, std::string>> out;
        xml::Document store;
        EXPECT_TRUE(store.load(home.folder("FaxManageNum") + "FAXManageNumber.xml"));
        for (const auto& r : store.getElementsByTagName("FAXManageNum")) {
            std::map<std::string, std::string> fields;
            for (auto c = r.firstChild(); c; c = c.nextSibling()) fields[c.nodeName()] = c.text();
            out[fields["RepManageNo"]] = fields;
        }
        return out;
    }

    std::set<std::string> recordNumbers() const {
        std::set<std::string> out;
        for (const auto& [number, fields] : records()) out.insert(number);
        return out;
    }
    // Records that were not there before.
    std::vector<std::string> newRecords(const std::set<std::string>& before) const {
        std::vector<std::string> out;
        for (const auto& n : recordNumbers())
            if (!before.count(n)) out.push_back(n);
        return out;
    }

    std::vector<std::string> files(const std::string& key, const std::string& pattern = "*") const {
        return fs::list(home.folder(key), pattern);
    }

    // What a finished job must not leave behind: page bitmaps, printed
    // files, layouts beside those of the installation, run markers, number
    // reservations.
    std::vector<std::string> leftovers() const {
        std::vector<std::string> left;
        for (const char* key : {"Bitmap", "Msf"})
            for (const auto& f : files(key)) left.push_back(std::string(key) + "/" + f);
        for (const auto& f : files("ExcelLayout"))
            if (std::find(layoutsBefore.begin(), layoutsBefore.end(), f) == layoutsBefore.end())
                left.push_back("ExcelLayout/" + f);
        for (const auto& f : fs::list(home.path(), "@*.XML")) left.push_back(f);
        for (const auto& f : fs::list(home.folder("FaxManageNum"), "*.reserved*")) left.push_back(f);
        return left;
    }

    // Each fax placed on the simulated lines.
    std::vector<OutboxFax> faxes() const { return allOutboxes(home); }
    // Empties the simulated lines' outboxes.
    void clearFaxes() const {
        for (const auto& line : fs::list(home.path() + "FaxLines", "COM*", fs::ListKind::Folders))
            fs::removeTree(home.path() + "FaxLines/" + line + "/outbox");
    }

    // A G3 page as fax2tiff decodes it.
    Sheet decode(const std::string& g3Bytes) const {
        const std::string g3 = home.path() + "page.g3";
        fs::writeFileAtomic(g3, g3Bytes);
        std::string failure;
        Sheet page = readG3WithFax2tiff(g3, home.path(), failure);
        EXPECT_TRUE(failure.empty()) << failure;
        (void)fs::removeFile(g3);
        return page;
    }

    // Lines that fail every call, so that every send ends in failure.
    void busyLines() const {
        for (int port = 1; port <= 4; ++port) setLine(home, port, "<Failure>busy</Failure>");
    }
    // Settings the fax-send server refuses to send with.
    void brokenSendSettings() const {
        fs::writeFileAtomic(home.folder("SetupInfo") + "SetUpInformation.xml", "<SetUpInfo>");
    }

    TempHome home;
    // The layouts of the installation.
    std::vector<std::string> layoutsBefore;
};

}  // namespace fg::testing
