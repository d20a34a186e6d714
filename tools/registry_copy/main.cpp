// The registry tool: one run that copies the operator's certificate key and
// Internet settings key to the machine's and the default user's keys. It
// takes no arguments; exit code 0 when the copy was imported, 1 after a
// failure (its message on standard error, its cause in the error log).
#include "tools/registry_copy.h"

#include "platform/message_sink.h"

#include <cstdio>
#include <memory>

int main(int argc, char**) {
    if (argc != 1) {
        std::fprintf(stderr, "usage: registry_copy\n");
        return 2;
    }
    fg::setMessageSink(std::make_shared<fg::ConsoleMessageSink>());
    fg::Form1 form;
    return form.Form_Load() ? 0 : 1;
}
