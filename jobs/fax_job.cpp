#include "jobs/fax_job.h"

#include "documents/quillary/fax_tran_xml.h"
#include "fax_send/kelvra/fax_send_careers.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"
#include "platform/values.h"
#include "platform/wait_bounds.h"
#include "settings/fax_manage_num.h"
#include "settings/maker_info.h"

#include <cstdio>
#include <string_view>

namespace fg::jobs {

FaxJob::FaxJob(EventPump& pump, const Program& program)
    : pump_(pump), program_(program), eventSend_(std::make_unique<FaxSend>(pump)) {
    eventSend_->setEventSendFaxEnd([this] { eventSend_eventSendFaxEnd(); });
    // Whoever runs the program by hand (a first test fax) would otherwise
    // watch it wait for hours without a word: the server's log line is in
    // a file they may not look at.
    eventSend_->setEventWaitingForLine([this](const std::string& codes) {
        tell("送信回線をどれも開けません (" + codes + ")。FAX 送信サーバが回線を開けるまで試し続けます。送信の終了は最長 " +
             secondsText(WaitBounds::load().sendJob) + "待ちます。");
    });
}

void FaxJob::tell(const std::string& line) const noexcept {
    std::fprintf(stderr, "%s: %s\n", program_.name, line.c_str());
    std::fflush(stderr);
}

void FaxJob::tellResults() const noexcept {
    for (const std::string& number : handedNumbers_) {
        std::string result;
        try {
            if (!FaxSendCareers().findSendResult(number, result)) result.clear();
        } catch (...) {
            result.clear();
        }
        tell("送信の結果: " + number + " " + (result.empty() ? std::string("(送信履歴に記録がありません)") : result));
    }
}

FaxJob::~FaxJob() = default;

bool FaxJob::makeFAXImage(const std::vector<std::string>& strRepManageNo,
                          const std::vector<std::string>& strExcelName, const std::string& strRepType) {
    {
        FaxRepImg pages(&pump_);
        if (!pages.makeFAXImage(strRepManageNo, strExcelName, strRepType, program_.referenceCopy)) return false;
    }
    return handOver(strRepManageNo);
}

bool FaxJob::handOver(const std::vector<std::string>& strRepManageNo) {
    if (!eventSend_ || !eventSend_->sendFAX(strRepManageNo)) return false;
    handedOver_ = true;
    handedNumbers_ = strRepManageNo;
    return true;
}

void FaxJob::eventSend_eventSendFaxEnd() {
    Variant status = eventSend_->blnEndStatus();
    endStatus_ = status.isBoolean() && status.toText() == "True";
    if (!*endStatus_) logFailure(program_.endEventNumber);
    // Lets the server go: it has ended its job and ends now.
    eventSend_->release();
}

bool FaxJob::waitForEnd() {
    if (!handedOver_) return false;
    const std::chrono::milliseconds bound = WaitBounds::load().sendJob;
    if (!endStatus_ && !FaxSend::waitForEnds(pump_, {eventSend_.get()}, FaxSend::WaitFor::All, bound)) {
        logFailure(program_.endEventNumber, "ＦＡＸ送信の終了を " + secondsText(bound) + "待ちましたが終わりません。");
        tell("送信の終了を " + secondsText(bound) + "待ちましたが終わりません。FAX は送信サーバが送り続けます。");
        // The server sends on and ends by itself once the send is done.
        eventSend_->release();
        return false;
    }
    if (endStatus_.value_or(false)) tellResults();
    else tell("送信ジョブが失敗しました (log/TelephonyErrorLog.txt と log/ErrorLog.txt を参照)。");
    return endStatus_.value_or(false);
}

void FaxJob::logFailure(long number, const std::string& description, bool flag) const noexcept {
    try {
        TelephonyErrorLog().writeError(Error(number, description, program_.name), flag);
    } catch (...) {
        // Only the copies can fail here: log what we can.
        TelephonyErrorLog().writeError(Error(number, {}), flag);
    }
}

void FaxJob::logCurrentFailure() const noexcept { TelephonyErrorLog().writeCurrentError(program_.name); }

bool storeJobRecord(const std::string& number, const std::string& title, const std::string& sendDate,
                    const MakerInfo& supplier, bool withSupplierCode) {
    FaxManageNum record;
    record.setMstrSendDate(sendDate);
    record.setMstrRepManageNo(number);
    record.setMstrRepType(title);
    record.setMstrFAXSendXMLFileName(number);
    record.setMstrReceiveCode(withSupplierCode ? supplier.strSupplierCode() : "");
    record.setMstrSendCompanyName(supplier.strSupplierName());
    record.setMstrSendPostName(supplier.strSectionName());
    record.setMstrSendChargeName(supplier.strPersonName());
    record.setMstrSendFAXNum(supplier.strFAXNumber());
    record.setMstrEnploymentMode("0");
    return record.setManageNum("0");
}

void removeJobOutput(const char* program, const std::string& number) noexcept {
    try {
        if (!FaxManageNum().delManageNum(number))
            writeDebugLine(program, "管理レコードを削除できません: " + number);
    } catch (...) {
        writeDebugLine(program, "管理レコードを削除できません: " + number + ": " + currentError().description());
    }
    documents::removeNumberFiles(program, number);
}

std::optional<JobCommandLine> readCommandLine(int argc, const char* const* argv, bool withArgument) {
    if (argc != 2 || argv[1] == nullptr) return std::nullopt;
    const std::string_view line = argv[1];
    JobCommandLine read;
    if (!withArgument) {
        read.faxNo = line;
    } else {
        const std::size_t comma = line.find(',');
        if (comma == std::string_view::npos || line.find(',', comma + 1) != std::string_view::npos)
            return std::nullopt;
        read.faxNo = line.substr(0, comma);
        read.argument = line.substr(comma + 1);
    }
    if (read.faxNo.empty()) return std::nullopt;
    return read;
}

int runFaxJob(const char* program, bool withArgument, int argc, const char* const* argv, const JobMaker& make) {
    std::optional<JobCommandLine> line = readCommandLine(argc, argv, withArgument);
    if (!line) {
        std::string given;
        for (int i = 1; i < argc; ++i) given += std::string(i > 1 ? " " : "") + "\"" + argv[i] + "\"";
        TelephonyErrorLog().writeError(
            Error(errnum::InvalidProcedureCall,
                  std::string("コマンドラインが正しくありません (") +
                      (withArgument ? "FAX番号,引数" : "FAX番号") + " の形で 1 つ): " + given,
                  program),
            true);
        return kExitBadCommandLine;
    }
    EventPump pump;
    std::unique_ptr<FaxJob> job;
    try {
        job = make(pump, *line);
    } catch (...) {
        TelephonyErrorLog().writeCurrentError(program);
        return kExitFailed;
    }
    // The job starts a moment after its server, as the form's timer starts it.
    pump.runFor(FaxJob::kStartDelay);
    const bool built = job->blnSendFax();
    // A fax handed over is waited for even when the job failed afterwards
    // (the order-balance job's confirmation, say): ending now would let the
    // server go before the send starts, and the fax would never go.
    if (job->handedOver()) return job->waitForEnd() && built ? kExitSent : kExitFailed;
    // Nothing handed over: no end event will come.
    if (!built) return job->nothingToFax() ? kExitSent : kExitFailed;
    return kExitSent;
}

}  // namespace fg::jobs
