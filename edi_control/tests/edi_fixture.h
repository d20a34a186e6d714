// A demo installation in a temporary folder, a local EDI server over a
// folder of canned answers that records every request, and the batches the
// control hands to the builder.
#pragma once

#include "edi_control/castrel/edi_control.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_home.h"
#include "settings/set_up_info.h"
#include "standins/edi_server/local_edi_server.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace fg::testing {

// One row of a test index: supplier, column-3 flag, entry name.
struct Row {
    std::string supplier;
    std::string flag;
    std::string file;
};

class EdiFixture : public ::testing::Test {
protected:
    TempHome home;
    TempDir answers;
    TempDir record;
    ErrorLogGuard log;
    std::unique_ptr<LocalEdiServer> server;
    std::unique_ptr<EDIControl> control;
    struct Batch {
        std::vector<GET_FILE> data;
        std::string reportType;
    };
    std::vector<Batch> batches;
    bool builderResult = true;

    void SetUp() override {
        // The demo's sample messages are not part of any answer here.
        for (const auto& name : fs::list(folder("TempEDI"))) (void)fs::removeFile(folder("TempEDI") + name);
        server = std::make_unique<LocalEdiServer>(answers.path(), record.path());
        SetUpInfo settings;
        settings.setStrEDIMethodRoot(server->methodRoot());
        ASSERT_TRUE(settings.save());
        control = std::make_unique<EDIControl>();
        control->setBatchBuilder([this](const std::vector<GET_FILE>& data, const std::string& type, const std::string&) {
            batches.push_back({data, type});
            return builderResult;
        });
    }

    std::string folder(const std::string& key) { return home.folder(key); }

    // answers/<servlet>/<step>/<name>/<member> (a folder ending ".tgz" is
    // served as a tar/gzip archive).
    void cannedArchive(const std::string& servlet, int step, const std::string& name,
                       const std::map<std::string, std::string>& members) {
        std::string base = answers / (servlet + "/" + std::to_string(step) + "/" + name + "/");
        for (const auto& [member, bytes] : members) {
            fs::makeFolders(fs::folderOf(base + member));
            fs::writeFileAtomic(base + member, bytes);
        }
    }
    void cannedCode(const std::string& servlet, int step, const std::string& code) {
        cannedArchive(servlet, step, "answer.tgz",
                      {{"answer.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Answer><ErrCode>" + code +
                                          "</ErrCode></Answer>\n"}});
    }
    static std::string indexCsv(const std::string& infoCode, const std::vector<Row>& rows) {
        std::string text;
        for (const Row& r : rows)
            text += "C0001," + r.supplier + ",N-1," + r.flag + ",01,20240110,Customer,Supplier," + infoCode + "," +
                    r.file + "\r\n";
        return text;
    }
    static std::string document(const std::string& supplier) {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><DORE><Supplier-code>" + supplier + "</Supplier-code></DORE>";
    }
    // A data archive of the information code with its index and a document per row.
    void cannedData(const std::string& servlet, int step, const std::string& name, const std::string& infoCode,
                    const std::vector<Row>& rows) {
        std::map<std::string, std::string> members{{"index.csv", indexCsv(infoCode, rows)}};
        for (const Row& r : rows)
            if (r.file.find('/') == std::string::npos) members[r.file] = document(r.supplier);
        cannedArchive(servlet, step, name, members);
    }

    // The recorded request archives of a servlet, in order.
    std::vector<std::string> requests(const std::string& servlet) {
        std::vector<std::string> out;
        for (const auto& name : fs::list(record.path(), "*-" + servlet + ".zip")) out.push_back(record / name);
        return out;
    }
    static std::string member(const std::string& zip, const std::string& name) {
        ProgramRun run = runProgram({"unzip", "-p", zip, name});
        return run.exitCode == 0 ? run.output : std::string("<missing>");
    }
    static std::vector<std::string> members(const std::string& zip) {
        ProgramRun run = runProgram({"unzip", "-Z1", zip});
        std::vector<std::string> out;
        std::string line;
        for (char c : run.output) {
            if (c == '\n') {
                out.push_back(line);
                line.clear();
            } else {
                line += c;
            }
        }
        return out;
    }
    // The text of an element of the request.xml a recorded archive holds.
    static std::string requestValue(const std::string& zip, const std::string& element) {
        std::string text = member(zip, "request.xml");
        auto open = text.find("<" + element + ">");
        if (open == std::string::npos) return "<none>";
        open += element.size() + 2;
        return text.substr(open, text.find("</" + element + ">", open) - open);
    }

    // Files of a folder, hidden lock files left out.
    std::vector<std::string> filesIn(const std::string& key) { return fs::list(folder(key)); }
    // Everything below a folder, hidden files and folders included, but the
    // installation's own ".keep".
    std::vector<std::string> leftIn(const std::string& key) {
        std::vector<std::string> all = everythingIn(folder(key));
        all.erase(std::remove(all.begin(), all.end(), ".keep"), all.end());
        return all;
    }

    bool logged(long number, const std::string& source) const {
        auto entries = log.log->entries();
        return std::any_of(entries.begin(), entries.end(),
                           [&](const ErrorLogEntry& e) { return e.number == number && e.source == source; });
    }
    std::string logText() const {
        std::string text;
        for (const auto& e : log.log->entries())
            text += e.source + " " + std::to_string(e.number) + " " + e.description + "\n";
        return text;
    }
};

}  // namespace fg::testing
