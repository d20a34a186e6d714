// Message boxes of a window on a display: a modal dialog with the box's
// buttons and icon, over its parent window.
#pragma once

#include "platform/message_sink.h"

#include <gtk/gtk.h>

namespace fg {

class GtkMessageSink : public MessageSink {
public:
    explicit GtkMessageSink(GtkWindow* parent) : parent_(parent) {}
    int show(const std::string& prompt, int style, const std::string& title) override;

private:
    GtkWindow* parent_;
};

}  // namespace fg
