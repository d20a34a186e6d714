// Report management numbers that stay unique across processes.
//
// Several processes make numbers from the same kind of stamp: the EDI
// schedule's batches and the job programs' own FaxTranXml objects can stamp
// the same second. A number is therefore reserved before it is used: under
// the management-number store's lock it is checked against the stored
// records, the fax documents and the reservations of every process, and the
// counter skips forward past every number that is taken. A reservation is a
// lock held on a marker beside the store, so it ends with its process if that
// process dies, and it is given back when the builder call ends: by then the
// number's record is written (and keeps it taken) or rolled back.
//
// The job programs' numbers end in a suffix fixed per program, so no counter
// can move them on: they reserve the one number they form with reserve(),
// under the same lock and checks, and try the next second's stamp when it
// is taken.
#pragma once

#include "platform/file_lock.h"

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
    // Only with an owner.
    std::string next();
    // Reserves exactly this number unless a stored record, a fax document or
    // a live reservation of any process (this one included) holds it. False
    // when it is taken.
    bool reserve(const std::string& number);
    void releaseAll() noexcept;

    // Formats stamp + counter, the counter in at least four digits.
    static std::string format(const std::string& stamp, long long counter);

private:
    struct Held {
        std::string markerPath;
        FileLock lock;
    };
    bool taken(const std::string& number);
    void loadStoredNumbers();
    // Under the store's lock: the number's marker, held, unless it is taken.
    bool hold(const std::string& number);

    FaxTranXml* owner_ = nullptr;
    std::string storePath_;
    std::string storeFolder_;
    std::string sendFolder_;
    std::vector<Held> held_;
    std::vector<std::string> stored_;  // sorted numbers of the store, as last read
    std::string storeSignature_;       // what the store file looked like then
};

}  // namespace fg::documents
