// The line protocol between a parent and the child objects it creates.
//
// A child object is a program started with one end of a socketpair as its
// descriptor 3 (named in FAXGATE_CHILD_FD). Both ends speak UTF-8 lines, one
// message per line ending in "\n"; fields are separated by one tab. Inside a
// field a backslash, tab, line feed and carriage return are written "\\",
// "\t", "\n" and "\r"; no other escape exists, so every field round-trips,
// the empty string and NUL bytes included.
//
// Messages from the parent:
//   REQ <id> <member> [<arg>...]   a call; <id> is a decimal number > 0
//   REL                            release: the child ends at once
// Messages from the child:
//   ANS <id> OK [<value>...]               the answer to call <id>
//   ANS <id> ERR <number> <description> <source>   the call failed
//   EVT <name> [<arg>...]                  an event, at any time
//
// A call of the member "_probe" is answered by the child's channel itself,
// with no values, whatever object it serves: a parent asks it to learn that
// the child still reads and answers.
//
// The child answers the creation as call 0: "ANS 0 OK" once it is ready,
// or "ANS 0 ERR ..." when it cannot serve (then it ends).
//
// Values are strings. A member that takes a list of strings (a list of
// management numbers, say) takes each entry as one argument; a member with
// fixed arguments before a list puts them first. A Boolean is "True" or
// "False"; an empty Variant is an answer without values. Member and event
// names are matched without regard to case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fg::childproto {

inline constexpr const char* kProbeMember = "_probe";

struct Message {
    enum class Kind { Request, Answer, Event, Release };
    Kind kind = Kind::Request;
    std::uint64_t id = 0;              // Request, Answer
    std::string member;                // Request: the member called; Event: its name
    bool ok = true;                    // Answer
    std::vector<std::string> values;   // Request: arguments; Answer (OK): values; Event: arguments
    long errorNumber = 0;              // Answer (ERR)
    std::string errorDescription;      // Answer (ERR)
    std::string errorSource;           // Answer (ERR)
};

// One line, "\n" included.
std::string encode(const Message& message);
// Parses one line without its "\n". Raises fg::Error 5 for a line that is no message.
Message decode(std::string_view line);

std::string escapeField(std::string_view field);
// Raises fg::Error 5 for a broken escape.
std::string unescapeField(std::string_view field);

// Collects bytes from a socket and hands out whole lines. A line longer than
// the limit raises fg::Error 7: a peer that never ends its line must not eat
// the memory of the other side.
class LineBuffer {
public:
    explicit LineBuffer(std::size_t maxLine = 16u << 20) : maxLine_(maxLine) {}
    void append(const char* data, std::size_t size);
    std::optional<std::string> nextLine();
    [[nodiscard]] bool empty() const { return buffer_.size() == start_; }
    // Drops the next line up to and including its end (the rest of the
    // buffer when it has none), as a reader that passes over a line too long
    // to take does.
    void skipLine();

private:
    std::string buffer_;
    std::size_t start_ = 0;
    std::size_t maxLine_;
};

}  // namespace fg::childproto
