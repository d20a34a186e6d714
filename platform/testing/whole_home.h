// A whole FAX server killed at once, as a power cut or an out-of-memory kill
// does it, and the account of its sends afterwards: for the kill tests, the
// kill benchmark and the soak.
#pragma once

#include <sys/types.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace fg::testing {

// SIGKILL to every process of the home and to each one's process group,
// again until none runs (bounded). Answers how many were killed.
std::size_t killWholeHome(const std::string& home);

// What the home's files say of its sends.
struct SendAccount {
    std::map<std::string, std::vector<std::string>> results;  // number -> results in the send log
    std::vector<std::string> numbers;                         // every management record
    std::size_t faxesSent = 0;                                // faxes the simulated lines took whole
    std::size_t recordedOK = 0;                               // numbers recorded "OK"
    // Numbers recorded "NG" that the error log names as faxes that may have
    // gone out (the sender ended while the end of the fax went to the line).
    std::set<std::string> mayHaveGoneOut;
    std::vector<std::string> leftovers;                       // see leftBehind(); and fax documents no record names

    // Faxes that went out whole more often than their numbers were recorded
    // "OK" or named as faxes that may have gone out: each one a document
    // faxed twice.
    std::size_t duplicates() const {
        const std::size_t accounted = recordedOK + mayHaveGoneOut.size();
        return faxesSent > accounted ? faxesSent - accounted : 0;
    }
    // Management numbers without exactly one send-log record.
    std::vector<std::string> notRecordedOnce() const;
};
// Reads the home (a home laid out as TempHome does) once its server has stopped.
SendAccount accountSends(const std::string& home);

// What a stopped server must not leave in its home (paths relative to it):
// run markers with their locks and hand-overs, the print start file, any
// file in the work folders (temp/, SendTemp/) and any hidden file but the
// folders' ".keep" and the lock files of the stores.
std::vector<std::string> leftBehind(const std::string& home);
// Takes out of `left` the temporary files and folders (".tmp." and a
// process id in the name) of writers that have ended, as an ordered stop
// leaves them when it ends an EDI exchange or a supplier refresh midway,
// and answers them: the next start removes them.
std::vector<std::string> takeTemporariesOfEndedWriters(std::vector<std::string>& left);

// The hand-over files of the home (sends not finished).
std::vector<std::string> handOversOf(const std::string& home);

}  // namespace fg::testing
