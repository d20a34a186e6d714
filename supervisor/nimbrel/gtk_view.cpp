#include "supervisor/nimbrel/gtk_view.h"

#include "supervisor/frm_main_win.h"

#include "platform/clock.h"
#include "platform/message_sink.h"
#include "platform/window/gtk_message_sink.h"

#include <gtk/gtk.h>

#include <memory>

namespace fg {

namespace {

guint realMs(std::chrono::milliseconds ms) {
    auto real = std::chrono::duration_cast<std::chrono::milliseconds>(clock().realDuration(ms)).count();
    return static_cast<guint>(std::max<long long>(real, 1));
}

class GtkView : public MainWinView {
public:
    GtkView() {
        window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_title(GTK_WINDOW(window_), FrmMainWin::kCaption);
        gtk_window_set_default_size(GTK_WINDOW(window_), 420, 230);
        gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
        gtk_container_set_border_width(GTK_CONTAINER(window_), 16);

        GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 10);
        gtk_container_add(GTK_CONTAINER(window_), box);
        GtkWidget* label1 = gtk_label_new(nullptr);
        char* markup = g_markup_printf_escaped("<span size='x-large' weight='bold'>%s</span>", FrmMainWin::kLabel1);
        gtk_label_set_markup(GTK_LABEL(label1), markup);
        g_free(markup);
        GtkWidget* label2 = gtk_label_new(FrmMainWin::kLabel2);
        status_ = gtk_label_new("");
        button_ = gtk_button_new_with_label(FrmMainWin::kStart);
        gtk_widget_set_size_request(button_, 160, 40);
        gtk_widget_set_halign(button_, GTK_ALIGN_CENTER);
        GtkWidget* label3 = gtk_label_new(FrmMainWin::kLabel3);
        gtk_box_pack_start(GTK_BOX(box), label1, FALSE, FALSE, 0);
        gtk_box_pack_start(GTK_BOX(box), label2, FALSE, FALSE, 0);
        gtk_box_pack_start(GTK_BOX(box), status_, TRUE, TRUE, 0);
        gtk_box_pack_start(GTK_BOX(box), button_, FALSE, FALSE, 0);
        gtk_box_pack_start(GTK_BOX(box), label3, FALSE, FALSE, 0);

        g_signal_connect(button_, "clicked", G_CALLBACK(+[](GtkButton*, gpointer self) {
                             static_cast<GtkView*>(self)->clicked();
                         }),
                         this);
        g_signal_connect(window_, "delete-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) -> gboolean {
                             static_cast<GtkView*>(self)->closing_ = true;
                             gtk_main_quit();
                             return FALSE;
                         }),
                         this);
    }
    ~GtkView() override {
        if (endTimer_) g_source_remove(endTimer_);
    }

    void attach(FrmMainWin* window) { controller_ = window; }
    GtkWindow* window() { return GTK_WINDOW(window_); }
    void show() {
        gtk_widget_show_all(window_);
        // The button takes the keyboard, so Space or Enter work it.
        gtk_widget_grab_focus(button_);
    }

    void setStatus(const std::string& text) override { gtk_label_set_text(GTK_LABEL(status_), text.c_str()); }
    void setButton(const std::string& caption) override { gtk_button_set_label(GTK_BUTTON(button_), caption.c_str()); }
    void setButtonEnabled(bool enabled) override {
        gtk_widget_set_sensitive(button_, enabled);
        // Disabling took the keyboard away from the one button: give it back.
        if (enabled) gtk_widget_grab_focus(button_);
    }

    void setEndTimer(std::chrono::milliseconds interval) override {
        if (endTimer_) g_source_remove(endTimer_);
        endTimer_ = 0;
        if (interval.count() <= 0) return;
        endTimer_ = g_timeout_add(realMs(interval), +[](gpointer self) -> gboolean {
            auto* view = static_cast<GtkView*>(self);
            view->endTimer_ = 0;  // the tick re-arms it when the watch goes on
            if (view->controller_) view->controller_->trmEnd_Timer();
            return G_SOURCE_REMOVE;
        }, this);
    }

    bool pumpEvents(std::chrono::milliseconds upTo) override {
        // A nested round of the main loop: the window repaints and answers
        // while the stop waits, and the wait sleeps in the loop's poll.
        bool due = false;
        guint timer = g_timeout_add(realMs(upTo), +[](gpointer flag) -> gboolean {
            *static_cast<bool*>(flag) = true;
            return G_SOURCE_REMOVE;
        }, &due);
        while (!due && !closing_) g_main_context_iteration(nullptr, TRUE);
        if (!due) g_source_remove(timer);
        return !closing_;
    }

private:
    void clicked() {
        if (controller_ && !busy_) {
            busy_ = true;
            controller_->cmdStartEnd_Click();
            busy_ = false;
        }
    }

    GtkWidget* window_ = nullptr;
    GtkWidget* status_ = nullptr;
    GtkWidget* button_ = nullptr;
    FrmMainWin* controller_ = nullptr;
    guint endTimer_ = 0;
    bool closing_ = false;
    bool busy_ = false;
};

}  // namespace

bool runGtkWindow(int& argc, char**& argv, int& exitCode) {
    if (!gtk_init_check(&argc, &argv)) return false;
    auto view = std::make_unique<GtkView>();
    setMessageSink(std::make_shared<GtkMessageSink>(view->window()));
    FrmMainWin window(*view);
    view->attach(&window);
    if (!window.Form_Load()) {
        exitCode = 1;
        return true;
    }
    view->show();
    gtk_main();
    view->attach(nullptr);
    exitCode = 0;
    return true;
}

}  // namespace fg
