#include "platform/window/gtk_message_sink.h"

namespace fg {

int GtkMessageSink::show(const std::string& prompt, int style, const std::string& title) {
    GtkMessageType icon = GTK_MESSAGE_INFO;
    switch (style & 0x70) {
    case msgbox::Critical: icon = GTK_MESSAGE_ERROR; break;
    case msgbox::Question: icon = GTK_MESSAGE_QUESTION; break;
    case msgbox::Exclamation: icon = GTK_MESSAGE_WARNING; break;
    default: break;
    }
    GtkWidget* dialog = gtk_message_dialog_new(parent_, GTK_DIALOG_MODAL, icon, GTK_BUTTONS_OK, "%s", prompt.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), title.c_str());
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    return msgbox::defaultButton(style);
}

}  // namespace fg
