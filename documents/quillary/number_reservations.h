// Report management numbers that stay unique across processes.
//
// Several processes make numbers from the same kind of stamp: the EDI
// schedule's batches and the job programs' own FaxTranXml objects can stamp
// the same second. A number is therefore reserved before it is used: under
// the management-number store's lock it is checked against the stored
// records, the send log's records, the fax documents and the reservations of
// every process, and the
// counter skips forward past every number that is taken. A reservation is a
// lock held on a marker beside the store, so it ends with its process if that
// process dies, and it is given back when the builder call ends: by then the
// number's record is written (and keeps it taken) or rolled back. Inside a
// batch, whose records are stored only before its first hand-over, the batch
// keeps its calls' reservations until it ends.
//
// So a reservation whose process ended without giving it back marks a
// number whose documents may have been made and never stored: clearEnded
// finds them, and whoever runs it (the supervisor, at start-up and with its
// take-over) removes what was made under them.
//
// The job programs' numbers end in a suffix fixed per program, so no counter
// can move them on: they reserve the one number they form with reserve(),
// under the same lock and checks, and try the next second's stamp when it
// is taken.
#pragma once

#include "platform/file_lock.h"

#include <functional>
#include <string>
#include <vector>

namespace fg {
class FaxTranXml;
}

namespace fg::documents {

class NumberReservations {
public:
    // Numbers from the builder's stamp and counter.
    explicit NumberReservations(FaxTranXml& owner);
    // Given numbers only (reserve()); there is no counter to raise.
    NumberReservations();
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
    // this object's.
    void keep(NumberReservations& other) noexcept;

    // The reservations whose processes ended without giving them back. A
    // number no stored record holds is handed to `clear` (under the store's
    // lock, so that nothing reserves it meanwhile), then its marker goes; a
    // number a record holds loses only its marker. Nothing is cleared while
    // the store cannot be read. Answers the numbers cleared. Raises fg::Error
    // when the store's folder cannot be read or locked.
    static std::vector<std::string> clearEnded(const std::function<void(const std::string&)>& clear);

    // Formats stamp + counter, the counter in at least four digits.
    static std::string format(const std::string& stamp, long long counter);

private:
    struct Held {
        std::string markerPath;
        FileLock lock;
    };
    bool taken(const std::string& number);
    // The store's numbers and the send log's that begin with `prefix`,
    // each read again only when its file (or the prefix) changed: a draw
    // needs only those of its stamp, not years of them. False when the store
    // is there but does not load (no numbers then); a log that does not load
    // holds none.
    bool loadStoredNumbers(const std::string& prefix);
    // Under the store's lock: the number's marker, held, unless it is taken.
    bool hold(const std::string& number);

    FaxTranXml* owner_ = nullptr;
    std::string storePath_;
    std::string storeFolder_;
    std::string sendFolder_;
    std::vector<Held> held_;
    std::vector<std::string> stored_;  // sorted numbers of the store, as last read
    std::string storeSignature_;       // what the store file looked like then
    bool storeRead_ = true;            // and whether it loaded (or was missing)
    std::string logPath_;
    std::vector<std::string> sent_;    // sorted numbers of the send log, as last read
    std::string logSignature_;
};

}  // namespace fg::documents
