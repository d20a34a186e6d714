// What a send leaves in the send history and the page folders, for the
// fax-send server's job and for a client whose server died under a job:
// each number handed over ends recorded "OK" or "NG", and its pages leave
// G3Image only once they are sent or kept in G3ReImage for a re-send.
#pragma once

#include <string>
#include <vector>

#include "settings/fax_manage_num.h"

namespace fg::send_records {

// The page names of a number, as its management record lists them. Raises
// fg::Error 52 for a name that would reach outside the page folders.
std::vector<std::string> pageNames(FaxManageNum& store, const std::string& manageNumber);

// What writeSendResult managed.
struct SendRecord {
    bool written = false;     // the record is in the send history
    bool pagesMayGo = false;  // written, and the pages sent or every one kept in G3ReImage
    bool noSuchNumber = false;  // no management record: there is nothing to record, ever
    std::vector<std::string> pages;  // the number's pages, as its record lists them
    // Whether the number is done with: a number whose record is not written
    // stays with whoever holds it, to be recorded when the disk lets it.
    bool settled() const { return written || noSuchNumber; }
};

// A number's management record with its page lists, as a send read them
// before its call (FaxManageNum::getSendRecord).
struct ReadRecord {
    FaxManageNum record;
    std::vector<std::string> pages, refs;
};

// Records the outcome of one number in the send history: "OK" with its page
// count when sent, else "NG" with page count 0 and its pages kept in
// G3ReImage. A number recorded before gets its record updated. Errors are
// logged under "FaxSend". A record that cannot be written (a full disk, say)
// leaves the pages where they are. With `read`, the record the send read
// before its call stands for the store's (its pages do not change while it
// is sent), and the store is not read again.
[[nodiscard]] SendRecord writeSendResult(const std::string& manageNumber, bool sent, const ReadRecord* read = nullptr);

// Deletes the number's pages from G3Image. False after logging 40016 at the
// first that cannot be deleted; True when the number is not on record.
bool delG3FromManageNo(const std::string& manageNumber);
// The same for pages whose names were read already (SendRecord::pages).
bool deletePages(const std::vector<std::string>& pages);

// Whether the send history holds a record of the number (of the report type
// of its management record). False as well when it cannot be told.
bool hasSendRecord(const std::string& manageNumber);

// Names in the error log a number whose fax may have reached its recipient
// although it is recorded "NG": the end of its last page went to the line
// and then `why`. The operator asks the recipient before sending it again.
void logMayHaveGoneOut(const std::string& manageNumber, const std::string& why);

// A number that was handed over but never sent: logged with `cause` as
// unsent, recorded "NG" with its pages kept, and its pages removed from
// G3Image once kept. Answers whether the number is settled (see
// SendRecord): a caller that can keep the number keeps it otherwise.
[[nodiscard]] bool recordUnsent(const std::string& manageNumber, long cause);

}  // namespace fg::send_records
