// A program's word to whoever started it that it has come up, or why it
// could not: one line over a pipe that the starter passes as the program's
// descriptor 3 and names in its environment. A program started any other
// way has no report to give, and giving it does nothing.
#pragma once

#include "platform/owned.h"
#include "platform/process/process.h"

#include <chrono>
#include <string>

namespace fg {

// The starter's end.
class StartReportReader {
public:
    enum class State { Waiting, Up, Failed, Silent };

    // Raises fg::Error when the pipe cannot be made.
    StartReportReader();
    // Sets the options of the start that passes the report to the program.
    void prepare(SpawnOptions& options) const;
    // After the start: the program alone holds the writing end now, so its
    // end (or a start that failed) is seen as the end of the report.
    void started();
    // Waits up to `upTo` of real time for the word: Up, Failed (with the
    // program's description), Silent when the program closed the report or
    // ended without a word, Waiting while there is none yet.
    State waitFor(std::chrono::milliseconds upTo);
    const std::string& description() const { return description_; }

private:
    Descriptor reading_;
    Descriptor writing_;
    std::string pending_;
    std::string description_;
    State state_ = State::Waiting;
};

// The program's end: taken once at its start, before it starts programs of
// its own (they must not inherit it).
class StartReportWriter {
public:
    // The report named in the environment, or none.
    static StartReportWriter fromEnvironment();
    StartReportWriter() = default;

    // Tells the starter and closes the report; later calls do nothing.
    // Never throws: a starter that has gone away is no fault.
    void up() noexcept;
    void failed(const std::string& description) noexcept;

private:
    void tell(const std::string& line) noexcept;
    Descriptor fd_;
};

}  // namespace fg
