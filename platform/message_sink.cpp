#include "platform/message_sink.h"

#include "platform/error_log.h"

#include <cstdio>

namespace fg {

int msgbox::defaultButton(int style) {
    static const int buttons[6][3] = {
        {OK, OK, OK}, {OK, Cancel, Cancel}, {Abort, Retry, Ignore},
        {Yes, No, Cancel}, {Yes, No, No}, {Retry, Cancel, Cancel},
    };
    int set = style & 0x0F;
    if (set > 5) set = 0;
    int which = (style & DefaultButton3) ? 2 : (style & DefaultButton2) ? 1 : 0;
    return buttons[set][which];
}

int LogMessageSink::show(const std::string& prompt, int style, const std::string& title) {
    int answer = msgbox::defaultButton(style);
    ErrorLogWriter().writeError(title.empty() ? "MessageBox" : title, 0,
                                prompt + " [" + std::to_string(answer) + "]");
    return answer;
}

int ConsoleMessageSink::show(const std::string& prompt, int style, const std::string& title) {
    std::fprintf(stderr, "%s%s%s\n", title.c_str(), title.empty() ? "" : ": ", prompt.c_str());
    return msgbox::defaultButton(style);
}

int RecordingMessageSink::show(const std::string& prompt, int style, const std::string& title) {
    std::lock_guard lock(mutex_);
    shown_.push_back({prompt, style, title});
    if (!answers_.empty()) {
        int a = answers_.front();
        answers_.pop_front();
        return a;
    }
    return msgbox::defaultButton(style);
}

void RecordingMessageSink::scriptAnswer(int button) {
    std::lock_guard lock(mutex_);
    answers_.push_back(button);
}

std::vector<RecordingMessageSink::Shown> RecordingMessageSink::shown() const {
    std::lock_guard lock(mutex_);
    return shown_;
}

namespace {
std::mutex sinkMutex;
std::shared_ptr<MessageSink>& slot() {
    static std::shared_ptr<MessageSink> sink = std::make_shared<LogMessageSink>();
    return sink;
}
}  // namespace

MessageSink& messageSink() {
    std::lock_guard lock(sinkMutex);
    return *slot();
}

void setMessageSink(std::shared_ptr<MessageSink> sink) {
    std::lock_guard lock(sinkMutex);
    // messageSink() hands out references: a replaced sink lives on.
    static std::vector<std::shared_ptr<MessageSink>> retired;
    retired.push_back(slot());
    slot() = sink ? std::move(sink) : std::make_shared<LogMessageSink>();
}

}  // namespace fg
