// The receipt confirmation: the EDI server is told that the documents of an
// answer archive have been taken, so that it does not offer them again. The
// builder confirms the archives of a fetch once their faxes are handed over
// (PutConfirmFax), the EDI control confirms at once an archive that kept no
// document, and the order-balance job confirms its fetch; each keeps its own
// order of work and logs the failures its own way.
#pragma once

#include "documents/quillary/owed_receipts.h"
#include "documents/quillary/request_packing.h"

#include <functional>
#include <string>
#include <vector>

namespace fg {
class RequestReception;
}

namespace fg::documents {

// What became of one confirmation (or of another request whose answer is
// only a code).
struct Confirmation {
    // NotOwed and FolderBusy come only from payReceipt, and send nothing.
    enum class Outcome { Confirmed, NotPacked, Refused, NotOwed, FolderBusy };
    Outcome outcome = Outcome::Confirmed;
    // What failed, as the error logs write it: the request file and the
    // archive service's code ("...request.xml[ErrorCode:]n]") or the
    // server's answer code ("[ErrCode:code]").
    std::string detail;
    explicit operator bool() const { return outcome == Outcome::Confirmed; }
};

// The ConfirmID of an answer archive: its name up to its first ".", or the
// whole name when it has none.
std::string confirmIdOf(const std::string& archive);

// One request cycle in the request folder, whose answer is only a code: the
// request document, completed by `complete`, is written and packed into
// request.zip, `post` sends request.zip through an exchange made ready for
// the information code, and the request files are deleted. The caller holds
// the folder's lock (RequestFolderLock). A request that cannot be packed
// leaves its files for the caller to keep or delete. Raises the errors of
// the request document and the transport.
Confirmation postRequest(const ServerSettings& settings, const std::string& requestFolder,
                         const std::string& infoCode, const std::function<void(xml::Document&)>& complete,
                         const std::function<std::string(RequestReception&, const std::string& zip)>& post);

// Confirms the receipt of the answer archive of `confirmId` under the
// information code: the request document (with ConfirmID and ClientKind) is
// posted as postRequest posts.
Confirmation confirmReceipt(const ServerSettings& settings, const std::string& requestFolder,
                            const std::string& infoCode, const std::string& confirmId);

// The reminder entries of `names` (FileList/FileName, in order) under each
// Request of the request document.
void setFileList(xml::Document& doc, const std::vector<std::string>& names);

// Asks the EDI server to delete the reminders of the entries named, which
// confirms their receipt: the request document with their FileList is posted
// as postRequest posts.
Confirmation deleteReminders(const ServerSettings& settings, const std::string& requestFolder,
                             const std::vector<std::string>& names);

// A receipt owed the EDI server, as it is paid: an archive by its
// confirmation, reminder entries by one request to delete them.
struct Receipt {
    enum class Kind {
        Archive,       // of the scheduled fetch: fetched and confirmed in TempReqEDI
        Reminders,     // fetched and deleted in TempReqRem
        OrderBalance,  // fetched in TempReqOrder, confirmed in TempReqEDI
    };
    Kind kind = Kind::Archive;
    std::string infoCode;            // an archive's
    std::vector<std::string> names;  // the archive's name as downloaded, or the reminder entries
};

// The kind of a receipt owed under the information code (OwedReceipts::
// kReminder for a reminder entry).
Receipt::Kind kindOf(const std::string& infoCode);

// The receipts of what a batch owes, as they are paid: each archive alone,
// all its reminder entries in one deletion.
std::vector<Receipt> receiptsOf(const std::vector<OwedArchive>& owed);

struct PayOptions {
    // The request folders whose lock the caller holds already (a fetch,
    // confirmListed): the locks are not re-entrant, even within a process,
    // so a payer that locked one again would wait for its own caller.
    std::vector<std::string> held;
    // Whether to wait for a folder another holds, or to answer FolderBusy
    // at once: a held lock means an exchange in that folder is under way.
    bool wait = true;
    // A receipt known from the receipts owed is paid only while it is still
    // owed, every group of its batch handed over (the fetch or the
    // supervisor may have paid it since it was read). One a fetch listed or
    // deleted after its own batch is paid whether recorded or not.
    bool onlyWhileOwed = true;
};

// The one way a receipt is paid. Holds the lock of its kind's fetch folder
// (TempReqEDI, TempReqRem, TempReqOrder) and, for an order balance, then
// that of TempReqEDI where its confirmation is packed: always in that
// order, so that no two payers wait for each other. Under the locks it looks
// once more whether the receipt is owed (NotOwed: nothing is sent), asks
// for the confirmation or the deletion, and strikes what the server took
// from the receipts owed. Raises the errors of the folders, the request
// document and the transport.
Confirmation payReceipt(const Receipt& receipt, const ServerSettings& settings, const PayOptions& options = {});

// A confirmation list (Puts/Put: archive names separated by ","), as a fetch
// leaves it in its request folder for whoever hands its faxes over.
struct ConfirmationList {
    std::string fileName;                // kConfirmList, say
    std::vector<std::string> infoCodes;  // by position in the list; the last one serves the names after it
    // Logs a confirmation that failed, the caller's way.
    std::function<void(const Confirmation&)> failed;
};

// The archives the list file of the request folder names, each with its
// information code, the list left in place (none when there is no list).
// Raises when the list cannot be read.
std::vector<OwedArchive> listedArchives(const std::string& requestFolder, const ConfirmationList& list);

// Confirms the archives of the list file of the request folder, under the
// folder's lock: the list is read and deleted first, so that no receipt is
// ever confirmed twice, then each name that is not blank is confirmed under
// its information code and paid as payReceipt pays it (an order balance's
// under TempReqOrder too, locked before the request folder). A request that
// cannot be packed stops the list and answers False; a refusal stops it and
// answers True (the server offers the archives again, the faxes have gone).
// No list file: True. A list that cannot be read, or any other failure,
// raises, and the list file is gone all the same.
bool confirmListed(const std::string& requestFolder, const ConfirmationList& list);

// Takes the archives of the information code out of the list file of the
// request folder, under the folder's lock, leaving their places blank as for
// an archive not fetched: their receipt is not to be confirmed, nor owed.
// Answers the names taken out (none when there is no list). Raises when the
// list cannot be read or written.
std::vector<std::string> holdListed(const std::string& requestFolder, const ConfirmationList& list,
                                    const std::string& infoCode);

// Deletes the list file `fileName` of the request folder unread, under the
// folder's lock: a list whose archives must not be confirmed. True when
// there was one. Raises when the folder cannot be locked.
bool discardList(const std::string& requestFolder, const std::string& fileName);

}  // namespace fg::documents
