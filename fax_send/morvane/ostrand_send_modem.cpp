#include "fax_send/morvane/send_modem.h"

#include "fax_send/ostrand/ostrand.h"
#include "platform/folder_path_info.h"

namespace fg {

namespace {

class OstrandSendModem : public SendModem {
public:
    OstrandSendModem() {
        control_.setLineType(otToneLine);
        control_.setModemClass(otClass2);
        control_.setResolution(otHighResolution);
        control_.setModemInitString("ATZ");
        control_.setLocalID("1234");
        control_.setPages(0);
        control_.setThreadPriority(otNormal);
        control_.setAutoOpen(VariantFalse);
        control_.setCommPort(otCOM1);
        control_.setTraceOption(otTraceToFile);
        // The trace goes beside the error logs; without a log folder the
        // control traces nowhere rather than into the working folder.
        std::string log;
        FolderPathInfo().getFolderPath("log", log);
        if (!log.empty()) control_.setTraceFileName(log + "SendTrace.txt");
        control_.setFaxInfoOption(VariantTrue);
        control_.setStretch(otStretchBothHigh);
        control_.setShrink(otShrinkNone);
        control_.setShrinkHeight(1145);
        control_.setShrinkWidth(864);
        control_.setScanTime(0);
        control_.setBitRate(5);
        control_.createWindow();
    }
    ~OstrandSendModem() override { control_.destroyWindow(); }

    void setCommPort(std::int32_t port) override { control_.setCommPort(port); }
    void setModemInitString(const std::string& init) override { control_.setModemInitString(init); }
    void setLineType(std::int32_t lineType) override { control_.setLineType(lineType); }
    void setPages(std::int16_t pages) override { control_.setPages(pages); }
    void PortOpen(std::int16_t& pVal) override { control_.PortOpen(pVal); }
    void PortClose(std::int16_t& pVal) override { control_.PortClose(pVal); }
    void SendFax(const std::string& PhoneNumber, const std::string& FileName, std::int16_t& pRc) override {
        control_.SendFax(PhoneNumber, FileName, pRc);
    }
    void GetResult(std::int16_t& pResult, std::int16_t& pRc) override { control_.GetResult(pResult, pRc); }
    std::int32_t HangupCode() override { return control_.HangupCode(); }
    void setSendEndHook(std::function<void()> hook) override { control_.setSendEndHook(std::move(hook)); }

private:
    Ostrand control_;
};

}  // namespace

std::unique_ptr<SendModem> makeOstrandSendModem() { return std::make_unique<OstrandSendModem>(); }

}  // namespace fg
