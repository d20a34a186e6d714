// One FaxSend object as it lives in its fax-send server process: the run
// marker from creation on, the settings check and the one-shot timer of
// sendFAX, the send job in the timer's tick, the end status and the end event.
//
// The object knows nothing of the channel to its client. The process around
// it (MorvaneController) feeds it the client's calls, runs tick() when the
// timer is due and gives it a Host through which the job's waits serve the
// client and the end event reaches it.
#pragma once

#include "fax_send/morvane/errors.h"
#include "fax_send/morvane/fax_send_job.h"
#include "fax_send/morvane/send_modem.h"
#include "platform/values.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace fg {

class FaxSendServer {
public:
    class Host : public JobPump {
    public:
        // Delivers eventSendFaxEnd and returns once the client's handler has
        // run (or the client is gone), serving the client meanwhile.
        virtual void raiseSendFaxEnd() = 0;
    };

    static constexpr std::chrono::milliseconds kFirstTick{5000};
    static constexpr long kSettingsBroken = send_errors::SendFailed;

    // Writes the run marker; a marker that cannot be written is no error.
    explicit FaxSendServer(Host& host, SendModemFactory modems = makeOstrandSendModem);
    // Deletes the run marker.
    ~FaxSendServer();
    FaxSendServer(const FaxSendServer&) = delete;
    FaxSendServer& operator=(const FaxSendServer&) = delete;

    // Checks the settings files and arms the timer. False (nothing armed, no
    // event to come) when a file is broken, the list is empty, or a job is
    // already armed or running.
    bool sendFAX(const std::vector<std::string>& strRepManageNo);
    // Empty before a job has ended, then the last job's result.
    Variant blnEndStatus() const { return endStatus_; }
    bool delG3DummyFile(const std::vector<std::string>& strFileName);
    bool delG3FromManageNo(const std::string& strRepManageNo);

    // The settings check of sendFAX: folder.xml, FaxSendLog.xml,
    // SetUpInformation.xml and FAXManageNumber.xml must load. Logs 40007.
    bool checkSendSettings();

    // When the armed timer is due, in the clock's elapsed time.
    std::optional<std::chrono::milliseconds> tickDue() const { return due_; }
    bool running() const { return running_; }
    // The timer's tick: the job, its end status, the end event, and the
    // marker deleted. Does nothing unless the timer is armed.
    void tick();

    const std::string& runFile() const { return runFile_; }

private:
    // The job's pump: the host's, with each recorded number struck off the
    // hand-over.
    class HandOverPump;
    void strikeOff(const std::string& manageNumber);
    [[nodiscard]] bool markInDoubt(const std::string& manageNumber);
    void markSent(const std::string& manageNumber);
    // With handOverMutex_ held. False, logged, when it cannot be written.
    [[nodiscard]] bool saveHandOver();
    // Whether the hand-over on disk holds what this process knows, saved
    // again first when the last save failed.
    bool keepHandOver();

    Host& host_;
    SendModemFactory modems_;
    std::unique_ptr<SendModem> modem_;
    std::vector<std::string> manageNumbers_;
    // The hand-over in memory: the line's thread notes a fax's end too.
    std::mutex handOverMutex_;
    std::vector<std::string> handedOver_;  // accepted and not yet recorded
    std::vector<std::string> sentOnes_;    // of those, the ones whose fax went out whole
    std::vector<std::string> inDoubt_;     // of those, the ones whose end went to the line
    bool handOverSaved_ = true;            // the last save of the hand-over succeeded
    Variant endStatus_;
    std::string runFile_;
    std::optional<std::chrono::milliseconds> due_;
    bool running_ = false;
};

}  // namespace fg
