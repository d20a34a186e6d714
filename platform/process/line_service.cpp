#include "platform/process/line_service.h"

#include "platform/error.h"
#include "platform/owned.h"
#include "platform/process/event_pump.h"
#include "platform/process/line_protocol.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string_view>

namespace fg {

LineServiceEnd serveLines(EventPump& pump, int in, int out, std::size_t maxLine,
                          const std::function<std::string(std::string line)>& answer,
                          const std::function<std::string()>& tooLong) {
    // Answers go through a stream of their own, which writes each line whole
    // and tells when the peer has gone (with SIGPIPE ignored, see
    // ignoreBrokenPipes).
    int own = ::fcntl(out, F_DUPFD_CLOEXEC, 0);
    Owned<std::FILE*, std::fclose> answers(own >= 0 ? ::fdopen(own, "w") : nullptr);
    if (!answers) {
        if (own >= 0) ::close(own);
        return LineServiceEnd::NoOutput;
    }
    childproto::LineBuffer buffer(maxLine);
    std::optional<LineServiceEnd> end;
    auto finish = [&](LineServiceEnd why) {
        end = why;
        pump.quit();
    };
    auto write = [&](const std::string& text) {
        return std::fwrite(text.data(), 1, text.size(), answers.get()) == text.size() &&
               std::fflush(answers.get()) == 0;
    };
    bool passingOver = false;  // inside a line too long, whose end has not come yet
    auto id = pump.watch(in, [&] {
        char bytes[4096];
        ssize_t n = ::read(in, bytes, sizeof bytes);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
        if (n < 0) return finish(LineServiceEnd::ReadFailed);
        std::string_view chunk(bytes, static_cast<std::size_t>(n));
        if (passingOver) {
            std::size_t nl = chunk.find('\n');
            if (nl == std::string_view::npos) {
                if (n == 0) finish(LineServiceEnd::LineTooLong);
                return;
            }
            passingOver = false;
            if (!write(tooLong())) return finish(LineServiceEnd::WriteFailed);
            chunk.remove_prefix(nl + 1);
        }
        try {
            if (n > 0) buffer.append(chunk.data(), chunk.size());
            else if (!buffer.empty()) buffer.append("\n", 1);  // a last request without its line end
        } catch (const Error&) {
            if (!tooLong) return finish(LineServiceEnd::LineTooLong);
            // The buffer holds only the unended line: it goes, and so does
            // the rest of it as it comes.
            buffer.skipLine();
            passingOver = true;
            return;
        }
        for (;;) {
            std::optional<std::string> line;
            try {
                line = buffer.nextLine();
            } catch (const Error&) {
                if (!tooLong) return finish(LineServiceEnd::LineTooLong);
                buffer.skipLine();
                if (!write(tooLong())) return finish(LineServiceEnd::WriteFailed);
                continue;
            }
            if (!line) break;
            if (!write(answer(std::move(*line)))) return finish(LineServiceEnd::WriteFailed);
        }
        if (n == 0) finish(LineServiceEnd::InputEnded);
    });
    pump.run();
    pump.unwatch(id);
    return end.value_or(LineServiceEnd::Stopped);
}

}  // namespace fg
