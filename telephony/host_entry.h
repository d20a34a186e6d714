// The entry of a telephone host on this system: the members of
// TelephonyControl called by name with string arguments, either once from
// the command line or by a host that keeps one serving process and sends it
// one request line at a time.
//
// A request is the member's name (without regard to case) and its
// arguments. The answer is the member's result (a number, "True" or "False",
// the run marker's name, or "" for RunTimeStop) followed by every argument
// as it stands after the call, so that a management number whose trailing
// mark was removed comes back shortened. On a line, fields are separated by
// one tab, and a backslash, tab, line feed or carriage return inside a field
// is written "\\", "\t", "\n" or "\r"; every other control byte, and every
// byte that is no part of a well-formed UTF-8 character, is written "\xHH"
// (two upper-case hex digits), so that an answer line is valid text without
// a NUL. A request may use the same escapes. A carriage return that ends a
// request line is dropped.
//
// A request that cannot be called (no such member, the wrong number of
// arguments, a broken line, a line longer than kMaxRequestLine) and a member
// that raises answer "ERR", the error number and its description, and the
// failure goes to the telephony error log, quoting no more than the first
// 200 bytes of a bad request, escaped.
//
// Run markers. A serving process holds each marker of RunTimeStart until
// RunTimeStop deletes it, and deletes the ones still held when its input
// ends or it is told to end. A one-shot call brackets its member with a
// marker of its own: a process that ended right after RunTimeStart would
// leave a marker that nobody holds, which the supervisor rightly takes for
// stale, so RunTimeStart and RunTimeStop are served requests only. A
// marker that cannot be written is logged; the served RunTimeStart answers
// an empty name, a one-shot call goes on without one.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace fg {

class EventPump;
class TelephonyControl;

class TelephonyHostEntry {
public:
    enum class Outcome { Answered, Raised, BadRequest };
    struct Answer {
        Outcome outcome = Outcome::Answered;
        std::vector<std::string> fields;  // the answer line's fields
    };

    // The longest request line taken; a longer one is answered "ERR" once
    // its end has come, and one that never ends ends the service.
    static constexpr std::size_t kMaxRequestLine = 64 * 1024;

    explicit TelephonyHostEntry(TelephonyControl& control);
    // Deletes the markers still held.
    ~TelephonyHostEntry();
    TelephonyHostEntry(const TelephonyHostEntry&) = delete;
    TelephonyHostEntry& operator=(const TelephonyHostEntry&) = delete;

    // One served request: request[0] names the member, the rest are its arguments.
    Answer serveRequest(const std::vector<std::string>& request);
    // One request of the command line, bracketed by a run marker of its own.
    Answer callOnce(const std::vector<std::string>& request);

    // Answers the request lines read from `in` on `out` until the input
    // ends, `pump` is told to quit (a termination signal, say), or the
    // output is gone; then deletes the markers still held. 0, or 1 when the
    // input or the output failed or the input ended inside a line too long.
    int serve(EventPump& pump, int in, int out);

    // Deletes the markers of RunTimeStart that RunTimeStop has not.
    void releaseMarkers();
    const std::set<std::string>& heldMarkers() const { return held_; }

    // Whether the member of that name (without regard to case) may upload to
    // the EDI server: the decisions.
    static bool uploads(std::string_view member);

    static std::string formatLine(const std::vector<std::string>& fields);
    // Raises fg::Error 5 for a broken or unknown escape.
    static std::vector<std::string> parseLine(std::string_view line);

private:
    Answer dispatch(const std::vector<std::string>& request, bool serving);

    TelephonyControl& control_;
    std::set<std::string> held_;
};

}  // namespace fg
