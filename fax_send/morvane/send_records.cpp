#include "fax_send/morvane/send_records.h"

#include "fax_send/morvane/errors.h"
#include "fax_send/kelvra/fax_retry_image.h"
#include "fax_send/kelvra/fax_send_careers.h"
#include "fax_send/kelvra/page_name.h"
#include "platform/clock.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"
#include "settings/fax_manage_num.h"

#include <algorithm>
#include <optional>

namespace fg::send_records {

namespace {

constexpr const char* kSource = "FaxSend";
constexpr long kPageDeleteFailed = send_errors::PageDeleteFailed;

}  // namespace

std::vector<std::string> pageNames(FaxManageNum& store, const std::string& manageNumber) {
    std::vector<std::string> names;
    std::int16_t count = store.getTempImageFileToManage(manageNumber, "", names);
    names.resize(static_cast<std::size_t>(std::max<std::int16_t>(count, 0)));
    for (const std::string& name : names) checkPlainPageName(name);
    return names;
}

SendRecord writeSendResult(const std::string& manageNumber, bool sent, const ReadRecord* read) {
    SendRecord done;
    bool pagesKept = sent;
    try {
        FaxSendCareers careers;
        FaxRetryImage retry;
        // The record, its pages and its reference copies in one read.
        std::optional<ReadRecord> fresh;
        if (!read) {
            fresh.emplace();
            if (!fresh->record.getSendRecord(manageNumber, fresh->pages, fresh->refs)) {
                // Logged by the store. Told apart from a store that cannot be
                // read, which a later try may read.
                done.noSuchNumber = fresh->record.readFailure().empty();
                return done;
            }
            read = &*fresh;
        }
        const FaxManageNum& store = read->record;
        const std::vector<std::string>& pages = read->pages;
        const std::vector<std::string>& refs = read->refs;
        for (const std::string& name : pages) checkPlainPageName(name);
        done.pages = pages;

        std::string status = sent ? "OK" : "NG";
        std::int16_t pageCount = sent ? static_cast<std::int16_t>(pages.size()) : 0;
        if (!sent) {
            pagesKept = true;
            for (const std::string& page : pages) pagesKept = retry.saveRetryImage(page) && pagesKept;
        }

        std::string now = timeStamp14(clock().now());
        careers.setStrSendDate(now);
        careers.setStrRepManageNo(store.mstrRepManageNo());
        careers.setStrRepType(store.mstrRepType());
        careers.setStrSendCompanyName(store.mstrSendCompanyName());
        careers.setStrSendPostName(store.mstrSendPostName());
        careers.setStrSendChargeName(store.mstrSendChargeName());
        careers.setStrSendFAXNum(store.mstrSendFAXNum());
        careers.setStrEnploymentMode(store.mstrEnploymentMode());
        careers.setStrReciverCode(store.mstrReceiveCode());
        careers.setStrOrderName(store.mstrOrderName());
        careers.setStrSendPageNum(std::to_string(pageCount));
        careers.setStrSendResult(status);
        // The whole outcome in one pass over the log where it can be; the
        // members one by one where not.
        bool resent = false;
        std::optional<bool> outcome = careers.setSendOutcome(refs, resent);
        if (outcome) {
            done.written = *outcome;
        } else if (!(resent = careers.checkSendCareer(store.mstrRepManageNo(), store.mstrRepType()))) {
            // The store has logged why it failed.
            done.written = careers.setSendCareer();
            if (!done.written) return done;
            // A reference copy the log refuses is logged by it; the send's own record stands.
            for (const std::string& ref : refs) (void)careers.setSendImage(store.mstrRepManageNo(), ref);
        } else {
            done.written = careers.setReSendCareer(store.mstrRepManageNo(), store.mstrRepType(), now, pageCount, status);
        }
        if (!done.written) return done;
        if (resent && sent) {
            // The kept pages of the earlier failure are not needed any more.
            std::string kept;
            FolderPathInfo().getFolderPath("G3ReImage", kept);
            for (const std::string& ref : refs)
                if (!kept.empty() && isPlainPageName(ref)) (void)fs::removeFile(kept + ref + ".G3");
        }
    } catch (...) {
        logCurrentError(kSource);
    }
    done.pagesMayGo = done.written && pagesKept;
    return done;
}

namespace {

// Raises the error that deletePages logs.
void removePages(const std::vector<std::string>& pages) {
    std::string g3 = FolderPathInfo().getFolderPath("G3Image");
    for (const std::string& page : pages) {
        checkPlainPageName(page);
        std::string path = g3 + page + ".g3";
        if (!fs::removeFile(path))
            throw Error(errnum::FileNotFound, Error::standardText(errnum::FileNotFound) + " " + path);
    }
}

}  // namespace

bool delG3FromManageNo(const std::string& manageNumber) {
    try {
        FaxManageNum store;
        removePages(pageNames(store, manageNumber));
        return true;
    } catch (...) {
        ErrorLogWriter().writeError(kSource, Error(kPageDeleteFailed, currentError().description()));
        return false;
    }
}

bool deletePages(const std::vector<std::string>& pages) {
    try {
        removePages(pages);
        return true;
    } catch (...) {
        ErrorLogWriter().writeError(kSource, Error(kPageDeleteFailed, currentError().description()));
        return false;
    }
}

bool hasSendRecord(const std::string& manageNumber) {
    try {
        FaxManageNum store;
        // A number without a management record has nothing to record either.
        if (!store.getManageNum(manageNumber, "", false)) return false;
        return FaxSendCareers().checkSendCareer(store.mstrRepManageNo(), store.mstrRepType());
    } catch (...) {
        logCurrentError(kSource);
        return false;
    }
}

void logMayHaveGoneOut(const std::string& manageNumber, const std::string& why) {
    ErrorLogWriter().writeError(kSource, Error(send_errors::SendFailed,
                                               "帳票管理番号：" + manageNumber + "　" + why +
                                                   "ＦＡＸは送信先に届いている可能性があります。再送の前に送信先に確認してください。"));
}

bool recordUnsent(const std::string& manageNumber, long cause) {
    ErrorLogWriter().writeError(kSource, Error(cause, "帳票管理番号：" + manageNumber + "　未送信"));
    const SendRecord record = writeSendResult(manageNumber, false);
    if (record.pagesMayGo) (void)deletePages(record.pages);
    return record.settled();
}

}  // namespace fg::send_records
