// The telephone home with the shipped telephone samples (demo/telephone/home:
// the management records, received answers and sent documents of two
// approvals), a local EDI server that records every upload, and a clock
// whose "now" stands still at the moment the expected answers were made.
#pragma once

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/testing/canonical_xml.h"
#include "platform/testing/local_time.h"
#include "platform/testing/run_program.h"
#include "settings/set_up_info.h"
#include "standins/edi_server/local_edi_server.h"
#include "telephony_fixture.h"

#include <filesystem>
#include <functional>
#include <memory>

namespace fg::testing {

// The delivery-date answer received from supplier S0001, the confirmation
// it answers, the quotation received from S0001 and the requests it answers.
inline const std::string kDeliveryAnswer = "202401201430000001";
inline const std::string kSentConfirmation = "202401121000000001";
inline const std::string kQuotation = "202401221000000001";
inline const std::string kRequests[] = {"202401101000000001", "202401101000000002", "202401101000000003"};

inline std::string telephoneSamples() { return sourceDir() + "demo/telephone/"; }
inline std::string golden(const std::string& name) {
    return fs::readFile(sourceDir() + "telephony/tests/golden/" + name);
}

// Real waits and time-outs, but a "now" of 2024-01-25 09:30:00 local time.
class StillNow : public SystemClock {
public:
    std::chrono::system_clock::time_point now() override { return localTime(2024, 1, 25, 9, 30); }
};

// The telephone home with the samples installed and the clock standing still.
class SampleHome : public TelephonyHome {
protected:
    void SetUp() override {
        TelephonyHome::SetUp();
        installSamples();
        setClock(std::make_shared<StillNow>());
    }
    void TearDown() override { setClock(nullptr); }

    // A case of a table: the samples as shipped, an empty log, then the
    // case's change.
    void startCase(const std::function<void()>& change) {
        installSamples();
        log.log->clear();
        change();
    }
    // Installs the samples again over whatever a case changed.
    void installSamples() {
        std::filesystem::copy(telephoneSamples() + "home", home.path(),
                              std::filesystem::copy_options::recursive |
                                  std::filesystem::copy_options::overwrite_existing);
    }

    std::string sent(const std::string& name) { return home.folder("FaxSendXML") + name; }
    // Replaces every `from` in a file of the fax-document folder; the test
    // fails when there is none.
    void edit(const std::string& name, const std::string& from, const std::string& to) {
        std::string text = fs::readFile(sent(name));
        std::size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from << " in " << name;
        for (; at != std::string::npos; at = text.find(from, at + to.size())) text.replace(at, from.size(), to);
        fs::writeFileAtomic(sent(name), text);
    }
};

// ... and a local EDI server that records every upload.
class AnswerHome : public SampleHome {
protected:
    TempDir answers;
    TempDir recorded;
    std::unique_ptr<LocalEdiServer> server;

    void SetUp() override {
        SampleHome::SetUp();
        server = std::make_unique<LocalEdiServer>(answers.path(), recorded.path());
        SetUpInfo settings;
        settings.setStrEDIMethodRoot(server->methodRoot());
        ASSERT_TRUE(settings.save());
    }

    // The server refuses every upload with this code while `on`.
    void refuseUploads(bool on, const std::string& code = "C0999") {
        std::string fault = answers / "PutEdiData.fault";
        if (on) fs::writeFileAtomic(fault, "code " + code + "\n");
        else (void)fs::removeFile(fault);
    }

    struct Upload {
        std::string infoCode;  // Information-code of its request.xml
        std::string data;      // data.xml, the answer as uploaded
    };
    // Every upload the server received, in order.
    std::vector<Upload> uploads() const {
        std::vector<Upload> out;
        for (const auto& name : fs::list(recorded.path(), "*-PutEdiData.zip")) {
            std::string zip = recorded / name;
            ProgramRun request = runProgram({"unzip", "-p", zip, "request.xml"});
            ProgramRun data = runProgram({"unzip", "-p", zip, "data.xml"});
            xml::Document doc;
            Upload u;
            if (request.exitCode == 0 && doc.loadXML(request.output))
                u.infoCode = doc.selectSingleNode("//Information-code").text();
            u.data = data.exitCode == 0 ? data.output : "<missing data.xml>";
            out.push_back(u);
        }
        return out;
    }

    // Nothing of an upload is left in its work folder.
    bool uploadFolderEmpty() { return fs::list(home.folder("TempReqPut")).empty(); }
};

}  // namespace fg::testing
