// The part of the fax-modem control that a send job drives. The server uses
// the control itself (OstrandSendModem); tests put a scripted modem in its
// place to reach the control's rarer answers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace fg {

class SendModem {
public:
    virtual ~SendModem() = default;
    virtual void setCommPort(std::int32_t port) = 0;
    virtual void setModemInitString(const std::string& init) = 0;
    virtual void setLineType(std::int32_t lineType) = 0;
    virtual void setPages(std::int16_t pages) = 0;
    virtual void PortOpen(std::int16_t& pVal) = 0;
    virtual void PortClose(std::int16_t& pVal) = 0;
    virtual void SendFax(const std::string& PhoneNumber, const std::string& FileName, std::int16_t& pRc) = 0;
    virtual void GetResult(std::int16_t& pResult, std::int16_t& pRc) = 0;
    virtual std::int32_t HangupCode() = 0;
    // Runs `hook` on the sending thread just before the end of a send's last
    // page goes to the line (empty: none); once this returns, an earlier
    // hook is never called again. A modem that cannot tell the moment never
    // calls it.
    virtual void setSendEndHook(std::function<void()> hook) { (void)hook; }
};

using SendModemFactory = std::function<std::unique_ptr<SendModem>()>;

// A new fax-modem control with the settings every send of the server uses
// (tone line, class 2, fine resolution, "ATZ", local ID "1234", trace to
// "SendTrace.txt" in the folder of key "log", stretch both high, bit rate 5).
std::unique_ptr<SendModem> makeOstrandSendModem();

}  // namespace fg
