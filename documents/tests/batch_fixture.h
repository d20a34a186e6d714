// A temporary installation for whole batches: the demo home with 20 send
// lines of no line time, fax-send servers started from it, the local EDI
// server for the receipt confirmations, and the waits of every process
// scaled down a hundredfold.
#pragma once

#include "documents/quillary/fax_tran_xml.h"
#include "fax_images/pellior/fax_rep_img.h"
#include "platform/fax_engine/g3_codec.h"
#include "report_maker/fax_report_maker.h"
#include "settings/fax_manage_num.h"
#include "platform/clock.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/process/child_object.h"
#include "platform/process/event_pump.h"
#include "platform/processed_file_hook.h"
#include "platform/testing/run_program.h"
#include "platform/testing/send_lines.h"
#include "platform/testing/temp_home.h"
#include "platform/text.h"
#include "platform/xml.h"
#include "settings/set_up_info.h"
#include "standins/edi_server/local_edi_server.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace fg::testing {

// Bounds in the system's time: at the scale below, a real minute.
inline constexpr std::chrono::milliseconds kBound{6000000};

struct Stored {
    std::map<std::string, std::string> fields;
    std::vector<std::string> pages, refs;
};

struct SentFax {
    int port = 0;
    std::string phone, status;
    int pages = 0;
};

class BatchTest : public ::testing::Test {
protected:
    BatchTest() {
        ::setenv("FAXGATE_TIME_SCALE", "0.01", 1);
        setClock(std::make_shared<ScaledClock>(0.01));
        std::filesystem::create_symlink(programDir() + "morvane", home.path() + "morvane");
        writeLines(20, "<ConnectTime>0</ConnectTime><PageTime>0</PageTime>");
        fs::makeFolders(answers.path() + "PutConfirm");
        server = std::make_unique<LocalEdiServer>(answers.path(), record.path());
        SetUpInfo settings;
        settings.setStrEDIMethodRoot(server->methodRoot());
        EXPECT_TRUE(settings.save());
    }
    ~BatchTest() override {
        builder_.reset();
        server.reset();
        setClock(nullptr);
        ::unsetenv("FAXGATE_TIME_SCALE");
    }

    // Send lines 1 to n (port n + 1 is the receive line with the pilot
    // number), each behaving as `line` says.
    void writeLines(int n, const std::string& line) {
        writeSendLines(home.path(), home.folder("ModemInfo") + "modeminformation.xml", n, line);
    }
    void setLine(int port, const std::string& line) { writeLine(home.path(), port, line); }

    FaxTranXml& builder() {
        if (!builder_) builder_ = std::make_unique<FaxTranXml>(&pump);
        return *builder_;
    }
    void releaseBuilder() { builder_.reset(); }

    // Pages without the printer: one small G3 page per document, named and
    // recorded as the page pipeline names and records them, the layout
    // deleted once "printed". Keeps the tests that are about sending fast.
    void quickPages() {
        builder().setPageRenderer([this](const std::vector<std::string>& numbers,
                                         const std::vector<std::string>& workbooks, const std::string&,
                                         PageRecords& records) {
            ++renders;
            static const std::string page = fax::encodeG3(fax::BilevelImage(fax::kFaxWidth, 32));
            for (std::size_t i = 0; i < numbers.size(); ++i) {
                const std::string name = workbooks.at(i) + "_001";
                fs::writeFileAtomic(home.folder("G3Image") + name + ".g3", page);
                bool ok = false;
                FaxReportMaker().deleteReport(workbooks[i], ok);
                if (!records.title(numbers[i]) || !records.pagesMade(numbers[i], {name})) return false;
            }
            return true;
        });
    }

    // The fetch's confirmation file, as the EDI control writes it.
    void writeConfirmation(const std::string& put) {
        fs::writeFileAtomic(home.folder("TempReqEDI") + "PutConfirmFax.xml",
                            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Puts><Put>" + put + "</Put></Puts>");
    }
    bool confirmationLeft() const { return fs::fileExists(home.folder("TempReqEDI") + "PutConfirmFax.xml"); }

    bool anyPortBusy() {
        for (int n = 1; n <= FaxTranXml::kSendPorts; ++n)
            if (builder().sendPortBusy(n)) return true;
        return false;
    }
    // Pumps until every send has ended; false when the bound passed first.
    bool waitForSends() {
        return pump.waitUntil([&] { return !builder().SendPortEndCheck(); }, kBound);
    }

    std::map<std::string, Stored> records() const {
        std::map<std::string, Stored> out;
        xml::Document store;
        EXPECT_TRUE(store.load(home.folder("FaxManageNum") + "FAXManageNumber.xml"));
        for (const auto& r : store.getElementsByTagName("FAXManageNum")) {
            Stored s;
            for (auto c = r.firstChild(); c; c = c.nextSibling()) s.fields[c.nodeName()] = c.text();
            for (const auto& p : r.selectNodes("FAXTempImageFileNames/FAXTempImageFileName")) s.pages.push_back(p.text());
            for (const auto& p : r.selectNodes("FAXRefImageFileNames/FAXRefImageFileName")) s.refs.push_back(p.text());
            out[s.fields["RepManageNo"]] = s;
        }
        return out;
    }
    // The send log: number -> result ("OK"/"NG").
    std::map<std::string, std::string> sendResults() const {
        std::map<std::string, std::string> out;
        xml::Document log;
        if (!log.load(home.folder("FaxSendLog") + "FaxSendLog.xml")) return out;
        for (const auto& r : log.selectNodes("/FaxSendLogs/FaxSendLog"))
            out[r.selectSingleNode("RepManageNo").text()] = r.selectSingleNode("Result").text();
        return out;
    }
    // Calls placed on the simulated lines.
    std::vector<SentFax> sentFaxes(int ports = 20) const {
        std::vector<SentFax> out;
        for (int p = 1; p <= ports; ++p) {
            std::string box = home.path() + "FaxLines/COM" + std::to_string(p) + "/outbox/";
            for (const auto& call : fs::list(box, "*", fs::ListKind::Folders)) {
                xml::Document doc;
                if (!doc.load(box + call + "/fax.xml")) continue;
                SentFax f;
                f.port = p;
                f.phone = doc.selectSingleNode("/Fax/PhoneNumber").text();
                f.status = doc.selectSingleNode("/Fax/Status").text();
                while (fs::fileExists(box + call + "/p" + std::to_string(f.pages + 1) + ".G3")) ++f.pages;
                out.push_back(f);
            }
        }
        return out;
    }
    // Requests the EDI server received, by servlet, in order.
    std::vector<std::string> requests(const std::string& servlet) const {
        return fs::list(record.path(), "*-" + servlet + ".zip");
    }
    // The request document of a recorded request archive.
    xml::Document requestDocument(const std::string& zip) const {
        TempDir out;
        EXPECT_EQ(runProgram({"unzip", "-q", "-o", record.path() + zip, "-d", out.path()}).exitCode, 0) << zip;
        EXPECT_EQ(fs::list(out.path()), std::vector<std::string>{"request.xml"});
        xml::Document doc;
        EXPECT_TRUE(doc.load(out.path() + "request.xml"));
        return doc;
    }
    std::vector<std::string> confirmedIds() const {
        std::vector<std::string> ids;
        for (const auto& zip : requests("PutConfirm"))
            ids.push_back(requestDocument(zip).selectSingleNode("//Request/ConfirmID").text());
        return ids;
    }
    // Canned answers of the confirmation servlet.
    void answerConfirmations(const std::string& code) {
        fs::makeFolders(answers.path() + "PutConfirm/answer.tgz");
        fs::writeFileAtomic(answers.path() + "PutConfirm/answer.tgz/answer.xml",
                            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Answer><ErrCode>" + code +
                                "</ErrCode></Answer>");
    }
    bool requestFilesLeft() const {
        return fs::fileExists(home.folder("TempReqEDI") + "request.xml") ||
               fs::fileExists(home.folder("TempReqEDI") + "request.zip");
    }
    std::vector<std::string> communicationLog() const {
        std::vector<std::string> lines;
        std::string path = home.folder("log") + "communicationlog.csv";
        if (!fs::fileExists(path)) return lines;
        std::string all = text::fromCp932(fs::readFile(path)), line;
        for (char c : all) {
            if (c == '\n') {
                if (!line.empty() && line.back() == '\r') line.pop_back();
                if (!line.empty()) lines.push_back(line);
                line.clear();
            } else {
                line += c;
            }
        }
        return lines;
    }
    bool logged(long number, const std::string& source = {}) const {
        for (const auto& e : log.log->entries())
            if (e.number == number && (source.empty() || e.source == source)) return true;
        return false;
    }
    std::string loggedText() const {
        std::string out;
        for (const auto& e : log.log->entries())
            out += e.source + " " + std::to_string(e.number) + " " + e.description + "\n";
        return out;
    }

    TempHome home;
    ErrorLogGuard log;
    TempDir answers, record;
    std::unique_ptr<LocalEdiServer> server;
    EventPump pump;
    int renders = 0;

private:
    std::unique_ptr<FaxTranXml> builder_;
};

}  // namespace fg::testing
