// Message boxes on a server: a sink that never waits for a person.
// A server process logs the message and takes the default button at once; a
// command-line front end prints it; tests capture it and script the answer.
#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace fg {

// Button results of a message box.
namespace msgbox {
inline constexpr int OK = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7;
// Style flags: buttons in the low bits, icons, default button.
inline constexpr int OKOnly = 0, OKCancel = 1, AbortRetryIgnore = 2, YesNoCancel = 3, YesNo = 4, RetryCancel = 5;
inline constexpr int Critical = 16, Question = 32, Exclamation = 48, Information = 64;
inline constexpr int DefaultButton2 = 256, DefaultButton3 = 512;
// The button a box of this style answers with when nobody presses one.
int defaultButton(int style);
}  // namespace msgbox

class MessageSink {
public:
    virtual ~MessageSink() = default;
    // Returns the button pressed. Never blocks on a server.
    virtual int show(const std::string& prompt, int style, const std::string& title) = 0;
};

// Server default: writes the message to the error log, answers the default button.
class LogMessageSink : public MessageSink {
public:
    int show(const std::string& prompt, int style, const std::string& title) override;
};

// Command-line front ends: prints to standard error, answers the default button.
class ConsoleMessageSink : public MessageSink {
public:
    int show(const std::string& prompt, int style, const std::string& title) override;
};

// Tests: records every box and answers from a script (then the default button).
class RecordingMessageSink : public MessageSink {
public:
    struct Shown {
        std::string prompt;
        int style;
        std::string title;
    };
    int show(const std::string& prompt, int style, const std::string& title) override;
    void scriptAnswer(int button);
    std::vector<Shown> shown() const;

private:
    mutable std::mutex mutex_;
    std::vector<Shown> shown_;
    std::deque<int> answers_;
};

MessageSink& messageSink();
void setMessageSink(std::shared_ptr<MessageSink> sink);  // nullptr restores the server default

}  // namespace fg
