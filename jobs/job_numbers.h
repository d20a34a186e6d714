// The management numbers of the job programs: the time stamp of the moment
// ("yyyymmddhhnnss") and a suffix fixed per program. Two jobs of one kind
// started within the same second, or a batch of the document builder that
// counts up to the same suffix, would form the same number; so each number
// is reserved before it is used, and a job whose number is taken tries the
// stamp of the next second.
#pragma once

#include "documents/quillary/number_reservations.h"

#include <string>

namespace fg::jobs {

class JobNumbers {
public:
    // How many seconds a job tries before it gives up.
    static constexpr int kSecondsTried = 60;

    // Reads the store's folders; raises that lookup's fg::Error.
    JobNumbers() = default;

    // The number of the current second with the suffix, or of the first
    // later second whose number is free, reserved until this object ends.
    // The wait goes through the platform clock. Raises fg::Error 70 when no
    // second within kSecondsTried was free.
    std::string reserve(const std::string& suffix);

private:
    // A job's: should it die before its forms are handed over, the sweep
    // takes back the records it stored.
    documents::NumberReservations reservations_{documents::NumberReservations::Holder::Job};
};

}  // namespace fg::jobs
