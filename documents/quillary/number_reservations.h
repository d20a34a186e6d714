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
    explicit NumberReservations(FaxTranXml& owner);
    ~NumberReservations();  // gives back every reservation of the call
    NumberReservations(const NumberReservations&) = delete;
    NumberReservations& operator=(const NumberReservations&) = delete;

    // Raises the owner's counter once, and further while the number it forms
    // is taken, then reserves and answers the number.
    std::string next();
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

    FaxTranXml& owner_;
    std::string storePath_;
    std::string storeFolder_;
    std::string sendFolder_;
    std::vector<Held> held_;
    std::vector<std::string> stored_;  // sorted numbers of the store, as last read
    std::string storeSignature_;       // what the store file looked like then
};

}  // namespace fg::documents
