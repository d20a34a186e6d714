// Report management numbers that stay unique across processes.
//
// Several processes make numbers from the same kind of stamp: the EDI
// schedule's batches and the job programs' own FaxTranXml objects can stamp
// the same second. A number is therefore reserved before it is used: under
// the management-number store's lock it is checked against the stored
// records, the send log's records, the fax documents and the reservations of
// every process, and the counter skips forward past every number that is
// taken. The reservations of one object are the lines of one list beside
// the store (platform HeldList), locked by its process: a batch of ten
// thousand documents holds one open file for them, not one per number, and
// the list's lock ends with its process if that process dies. A list left
// behind keeps its numbers taken until the sweep below has cleared them.
// The reservations are given back when the builder call ends: by then the
// number's record is written (and keeps it taken) or rolled back. Inside a
// batch, whose records are stored only before its first hand-over, the batch
// keeps its calls' reservations until it ends.
//
// So a reservation whose process ended without giving it back marks a
// number whose documents may have been made and never stored, or (a job
// program's) stored and never handed over: clearEnded finds them, and
// whoever runs it (the supervisor, at start-up and every minute) removes
// what was made under them.
//
// The job programs' numbers end in a suffix fixed per program, so no counter
// can move them on: they reserve the one number they form with reserve(),
// under the same lock and checks, and try the next second's stamp when it
// is taken.
#pragma once

#include "platform/held_list.h"

#include <functional>
#include <string>
#include <vector>

namespace fg {
class FaxTranXml;
}

namespace fg::documents {

class NumberReservations {
public:
    // Who holds the numbers, which tells the sweep what the stored records
    // of a holder that died mean. A batch's are carried by the receipts it
    // owes, whose settling hands them over. A job program's are handed over
    // by nobody once the job is gone: unless a fax-send server or the send
    // log has them, they are forms that will never be faxed.
    enum class Holder { Batch, Job };

    // Numbers from the builder's stamp and counter.
    explicit NumberReservations(FaxTranXml& owner);
    // Given numbers only (reserve()); there is no counter to raise.
    explicit NumberReservations(Holder holder = Holder::Batch);
    ~NumberReservations();  // gives back every reservation of the call
    NumberReservations(const NumberReservations&) = delete;
    NumberReservations& operator=(const NumberReservations&) = delete;

    // Raises the owner's counter once, and further while the number it forms
    // is taken, then reserves and answers the number.
    // Only with an owner: without one it raises fg::Error 51.
    std::string next();
    // Reserves exactly this number unless a stored record, a send-log
    // record, a fax document or a live reservation of any process (this one
    // included) holds it. False when it is taken.
    bool reserve(const std::string& number);
    void releaseAll() noexcept;
    // Takes the reservations of `other` over; they are given back with
    // this object's. Raises fg::Error when they cannot be listed here; they
    // stay with `other` then.
    void keep(NumberReservations& other);

    // The reservations whose processes ended without giving them back. A
    // number no stored record holds is handed to `clear` (under the store's
    // lock, so that nothing reserves it meanwhile). The numbers of a dead
    // job that a stored record holds are handed to `clearRecorded` after
    // the store's lock is let go (removing a record changes the store), the
    // lists still held so that no one draws them meanwhile; it answers
    // those it removed. A number a batch's record holds is left to its
    // owed receipts. Then the lists go. Nothing is cleared while the store
    // cannot be read, and the lists stay for the next sweep when
    // `clearRecorded` raises. Raises fg::Error when the store's folder
    // cannot be read or locked.
    struct Cleared {
        std::vector<std::string> unrecorded;  // documents made and never stored
        std::vector<std::string> recorded;    // a dead job's records, never handed over
    };
    static Cleared clearEnded(const std::function<void(const std::string&)>& clear,
                              const std::function<std::vector<std::string>(const std::vector<std::string>&)>& clearRecorded);

    // Formats stamp + counter, the counter in at least four digits.
    static std::string format(const std::string& stamp, long long counter);

private:
    bool taken(const std::string& number);
    // The store's numbers and the send log's that begin with `prefix`,
    // each read again only when its file (or the prefix) changed: a draw
    // needs only those of its stamp, not years of them. False when the store
    // is there but does not load (no numbers then); a log that does not load
    // holds none.
    bool loadStoredNumbers(const std::string& prefix);
    // Under the store's lock, the lists read since it was taken: the number
    // listed as this object's, unless it is taken or any list has it.
    bool hold(const std::string& number);
    // Under the store's lock: the numbers added to this object's list, made
    // when it has none yet.
    void list(const std::vector<std::string>& numbers);

    FaxTranXml* owner_ = nullptr;
    Holder holder_ = Holder::Batch;
    std::string storePath_;
    std::string storeFolder_;
    std::string sendFolder_;
    HeldList list_;
    std::vector<std::string> held_;
    std::vector<std::string> stored_;  // sorted numbers of the store, as last read
    std::string storeSignature_;       // what the store file looked like then
    bool storeRead_ = true;            // and whether it loaded (or was missing)
    std::string logPath_;
    std::vector<std::string> sent_;    // sorted numbers of the send log, as last read
    std::string logSignature_;
};

}  // namespace fg::documents
