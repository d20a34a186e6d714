#include "platform/process/line_service.h"

#include "platform/owned.h"
#include "platform/process/event_pump.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace fg {
namespace {

struct Pipe {
    Descriptor read, write;
    Pipe() {
        int fds[2];
        EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
        read.reset(fds[0]);
        write.reset(fds[1]);
    }
};

std::string drain(int fd) {
    std::string all;
    char buf[4096];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) all.append(buf, static_cast<std::size_t>(n));
    return all;
}

TEST(LineService, EachLineIsAnsweredUntilTheServiceEnds) {
    ignoreBrokenPipes();
    struct Case {
        const char* name;
        std::string input;
        bool closeInput;   // the peer ends its input
        bool outputGone;   // the peer has closed its end of the answers
        LineServiceEnd end;
        std::vector<std::string> seen;
        std::string answers;
    };
    const std::string tooLong(40, 'x');
    const Case cases[] = {
        {"lines, the last without its end", "a\n\nb\r\nc", true, false, LineServiceEnd::InputEnded,
         {"a", "", "b\r", "c"}, "<a>\n<>\n<b\r>\n<c>\n"},
        {"no input at all", "", true, false, LineServiceEnd::InputEnded, {}, ""},
        {"a line over the bound", "a\n" + tooLong, true, false, LineServiceEnd::LineTooLong, {"a"}, "<a>\n"},
        {"a line over the bound that has ended", tooLong + "\n", true, false, LineServiceEnd::LineTooLong, {}, ""},
        {"answers nobody reads", "a\n", true, true, LineServiceEnd::WriteFailed, {"a"}, ""},
        {"a pump told to quit", "a\n", false, false, LineServiceEnd::Stopped, {"a"}, "<a>\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Pipe in, out;
        ASSERT_EQ(::write(in.write.get(), c.input.data(), c.input.size()), static_cast<ssize_t>(c.input.size()));
        if (c.closeInput) in.write.reset();
        if (c.outputGone) out.read.reset();
        EventPump pump;
        if (!c.closeInput) pump.addTimer(EventPump::Ms(50), [&pump] { pump.quit(); });
        std::vector<std::string> seen;
        const LineServiceEnd end = serveLines(pump, in.read.get(), out.write.get(), 16, [&](std::string line) {
            seen.push_back(line);
            return "<" + line + ">\n";
        });
        EXPECT_EQ(end, c.end);
        EXPECT_EQ(seen, c.seen);
        // The caller's descriptor is still its own.
        EXPECT_GE(::fcntl(out.write.get(), F_GETFD), 0);
        if (!c.outputGone) {
            out.write.reset();
            EXPECT_EQ(drain(out.read.get()), c.answers);
        }
    }
}

TEST(LineService, AnOutputThatCannotBeTakenEndsTheServiceAtOnce) {
    Pipe in;
    EventPump pump;
    bool called = false;
    EXPECT_EQ(serveLines(pump, in.read.get(), -1, 16, [&](std::string) {
                  called = true;
                  return std::string();
              }),
              LineServiceEnd::NoOutput);
    EXPECT_FALSE(called);
}

}  // namespace
}  // namespace fg
