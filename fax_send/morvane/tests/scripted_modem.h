// A modem that answers from a script, and a pump that records the waits:
// what the send job asked of the control and how long it waited.
#pragma once

#include "fax_send/morvane/fax_send_job.h"
#include "fax_send/morvane/send_modem.h"
#include "fax_send/ostrand/ostrand.h"
#include "platform/clock.h"
#include "platform/files.h"

#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace fg::testing {

// A modem that answers from a script and records what the job asked of it.
class ScriptedModem : public SendModem {
public:
    std::vector<std::string> calls;
    std::function<std::int16_t(std::int32_t port)> openResult = [](std::int32_t) -> std::int16_t { return 0; };
    std::deque<std::int16_t> results;  // pResult of each try; 0 when the script runs out
    std::int16_t startCode = 0;
    int pollsPerSend = 3;
    std::int32_t hangup = 0x10;
    std::string sendFolder;
    std::vector<std::vector<std::string>> sentPages;  // the send copies as each send found them

    void setCommPort(std::int32_t port) override { port_ = port; }
    void setModemInitString(const std::string& init) override { init_ = init; }
    void setLineType(std::int32_t lineType) override { lineType_ = lineType; }
    void setPages(std::int16_t pages) override { pages_ = pages; }
    void PortOpen(std::int16_t& pVal) override {
        pVal = openResult(port_);
        calls.push_back("open COM" + std::to_string(port_) + (pVal == 0 ? "" : " failed"));
    }
    void PortClose(std::int16_t& pVal) override {
        pVal = 0;
        calls.push_back("close");
    }
    void SendFax(const std::string& phone, const std::string& file, std::int16_t& pRc) override {
        calls.push_back("send " + phone + " pages=" + std::to_string(pages_));
        std::string base = file.substr(0, file.size() - 3);
        std::vector<std::string> pages;
        for (int n = 1; n <= pages_; ++n) {
            std::string copy = base + "_p" + std::to_string(n) + ".G3";
            pages.push_back(fs::fileExists(copy) ? fs::readFile(copy) : "<missing>");
        }
        sentPages.push_back(pages);
        lastFile = file;
        pRc = startCode;
        polls_ = 0;
        active_ = startCode == 0;
    }
    void GetResult(std::int16_t& pResult, std::int16_t& pRc) override {
        pResult = 0;
        if (!active_) {
            pRc = OstrandResultCode::NothingToReport;
            return;
        }
        if (polls_++ < pollsPerSend) {
            pRc = OstrandResultCode::StillRunning;
            return;
        }
        active_ = false;
        pRc = OstrandResultCode::Done;
        if (!results.empty()) {
            pResult = results.front();
            results.pop_front();
        }
    }
    std::int32_t HangupCode() override { return hangup; }

    std::string lastFile;

private:
    std::int32_t port_ = 1, lineType_ = 0;
    std::string init_;
    std::int16_t pages_ = 0;
    int polls_ = 0;
    bool active_ = false;
};

class RecordingPump : public JobPump {
public:
    std::vector<std::chrono::milliseconds> waits;
    void wait(std::chrono::milliseconds d) override {
        if (d != FaxSendJob::kPollInterval) waits.push_back(d);
        clock().sleepFor(d);
    }
};

}  // namespace fg::testing
