// The receipts a batch owes the EDI server: the answer archives whose
// documents it hands over to fax-send servers and whose receipt it has not
// had confirmed yet, and the reminder entries whose lists it hands over
// and whose deletion the server has not taken yet. A batch writes them down
// before it stores its records and hands its first group over, and each
// goes once the server has taken its confirmation. So a server that dies between the hand-over and the
// confirmation neither loses a document nor faxes one twice: its faxes are
// sent by whoever takes the hand-over over, the supervisor confirms what is
// owed when it starts, and an archive that the EDI server offers again while
// it is owed is confirmed without being read again. The EDI server knows a
// reminder by its entry's name alone (its deletion names the entries), and
// offers those it keeps in an archive of any name, beside new ones: an entry
// of a name that is owed is not read again, whatever archive brings it.
//
// A batch that dies before it has handed every group over leaves the groups
// still in its hands listed too, and so does one whose hand-over fails once
// it has handed a group over: the EDI server must not offer the archives
// again, as the groups handed over are faxed already. Whoever finds such a
// batch (the supervisor, at start-up and on its rounds) hands its groups to
// new fax-send servers, leaving out each number that has a send-log record
// or is held by a hand-over already; after that the archives are owed like
// any other. A batch that dies before its records were stored made nothing
// that lasts: it owes nothing, and the EDI server offers its archives again.
//
// File "OwedReceipts.txt" in the program folder, changed under its lock and
// saved whole (temp, sync, rename). One line per batch, fields separated by
// tabs:
//   1. the batch: its writer's process mark (platform/process/process.h),
//      "/" and a serial number of that process; "failed/" before them once
//      the batch has failed with groups still to hand over;
//   2. the groups not yet handed over: numbers joined by ",", groups by
//      ";"; empty once every group is in a fax-send server's hands;
//   3. and on: one field per receipt owed: an archive's information code,
//      "/" and its name as downloaded, or "DelFaxReminder/" and the name of
//      a reminder entry. An archive is known again by its information code
//      and its ConfirmID (the name up to its first "."), a reminder by its
//      whole name; the reminders of a line are deleted in one request.
//
// A line that does not read back so (a disk that lost a block, a hand that
// edited the file) tells no longer what its batch owes. It is moved, as it
// was, to "OwedReceipts.damaged.txt" beside the file by whichever member
// meets it first, and named once in the error log; the other lines are read
// as ever. Every archive (by its ConfirmID) and reminder entry whose name
// that file holds is taken as owed by a batch that has not handed every
// group over: never read again nor confirmed, so that nothing it may have
// faxed goes twice, until the operator has seen to the line and removed
// the file.
#pragma once

#include <string>
#include <vector>

namespace fg::documents {

struct OwedArchive {
    std::string infoCode;  // OwedReceipts::kReminder for a reminder entry
    std::string name;      // as downloaded, with its extension
};

using SendGroups = std::vector<std::vector<std::string>>;

class OwedReceipts {
public:
    // The file, in the program folder.
    static constexpr const char* kFileName = "OwedReceipts.txt";
    // The lines of the file that did not parse, beside it.
    static constexpr const char* kSetAsideFileName = "OwedReceipts.damaged.txt";
    // The information code of an owed reminder entry: its receipt is the
    // server's deletion of the reminder.
    static constexpr const char* kReminder = "DelFaxReminder";
    static bool isReminder(const OwedArchive& receipt) { return receipt.infoCode == kReminder; }
    // Whether a name from the server can be written down: a tab or a line
    // break would break its line. One that cannot is refused where it
    // arrives, so that it holds back only its own archive or entry.
    static bool recordable(const std::string& name) { return name.find_first_of("\t\r\n") == std::string::npos; }

    // Every change but owe() never raises. One that cannot be written now
    // (a full disk) is logged and kept by the process, and written with its
    // next change of the file or before its next read (find, left); it is
    // lost only with the process, whose batches are then left anyway.

    // Writes a batch down: the archives it will owe once its groups are
    // handed over, and the groups. Answers the batch's key. Raises fg::Error
    // when the file cannot be written: the batch must not hand anything over
    // then.
    static std::string owe(const std::vector<OwedArchive>& archives, const SendGroups& groups);
    // The group is in a fax-send server's hands now (or, with an empty
    // group, all of them are). Never raises; a failure is logged (the group
    // is then looked up in the hand-overs by whoever resumes the batch).
    static void handedOver(const std::string& batch, const std::vector<std::string>& group) noexcept;
    // The batch ends without owing anything (it failed, and the EDI server
    // is to offer its archives again). Never raises; logs.
    static void forget(const std::string& batch) noexcept;
    // The batch failed after handing some of its groups over: the others
    // stay owed, left to whoever settles the batches of ended writers as if
    // its writer had ended now. False (logged) when the file cannot be
    // changed now (kept as above).
    [[nodiscard]] static bool leave(const std::string& batch) noexcept;
    // The EDI server took the confirmation of the archive. Never raises; logs.
    static void paid(const std::string& infoCode, const std::string& archive) noexcept;
    // The EDI server took them all, in one change of the file.
    static void paid(const std::vector<OwedArchive>& receipts) noexcept;

    enum class Owed {
        No,       // not listed: read the archive
        Yes,      // its faxes are handed over: confirm it, do not read it again
        Pending,  // its batch has not handed every group over: leave it unconfirmed
    };
    // Whether the archive of that information code is owed. Never raises: a
    // file that cannot be read answers Pending, so that nothing is faxed
    // twice on its account, and so does a name that a line set aside holds
    // (logged on each call).
    static Owed find(const std::string& infoCode, const std::string& archive) noexcept;

    // The archives of the information code owed by batches that have
    // handed every group over, whoever wrote them: their faxes are gone and
    // only the confirmation waits (one that could not be sent). Never
    // raises: a file that cannot be read answers none.
    static std::vector<std::string> due(const std::string& infoCode) noexcept;

    // A batch whose writer has ended, or that was left by its writer.
    struct Left {
        std::string batch;
        SendGroups groups;  // not yet handed over
        std::vector<OwedArchive> archives;
    };
    // The batches of writers that have ended, and those left. Raises
    // fg::Error when the file cannot be read.
    static std::vector<Left> left();
};

}  // namespace fg::documents
