// A service of request lines inside an event pump: lines read from one
// descriptor, each answered with text written whole to another before the
// next line is read. A host on this system talks to the telephone entry so.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace fg {

class EventPump;

// The standard input and output of the running program.
inline constexpr int kStandardInput = 0;
inline constexpr int kStandardOutput = 1;

// Why a line service ended.
enum class LineServiceEnd {
    InputEnded,   // the input ended; a last line without its line end was served first
    Stopped,      // the pump was told to quit (a termination signal, say)
    NoOutput,     // the output could not be taken as a stream of the service's own
    ReadFailed,   // the input could not be read
    WriteFailed,  // an answer could not be written whole: the peer has gone
    LineTooLong,  // a request line was longer than the bound
};

// Serves the lines of `in` until one of the ends above. `answer` is given
// each line without its "\n" and gives the text to write on `out`, line
// ends included; it is not to raise. The answers go through a descriptor of
// their own (a duplicate of `out`, closed at the end), so the caller's
// stays open. Runs `pump` and leaves it quitting.
//
// Without `tooLong` a line longer than `maxLine` ends the service. With it,
// such a line is passed over up to its end, answered with what `tooLong`
// gives, and the service goes on with the next line; only a line too long
// that never ends (the input ends inside it) still ends the service. No more
// than `maxLine` bytes of a line are ever kept.
LineServiceEnd serveLines(EventPump& pump, int in, int out, std::size_t maxLine,
                          const std::function<std::string(std::string line)>& answer,
                          const std::function<std::string()>& tooLong = {});

}  // namespace fg
