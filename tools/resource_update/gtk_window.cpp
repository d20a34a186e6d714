#include "tools/resource_update/gtk_window.h"

#include "tools/set_up_form.h"

#include "platform/files.h"
#include "platform/message_sink.h"
#include "platform/window/gtk_message_sink.h"

#include <gtk/gtk.h>

#include <memory>

namespace fg {

namespace {

// Adds the filters of a dialog filter text ("name|pattern|name|pattern|"),
// each pattern matched without regard to case, as the system matches names.
void addFilters(GtkFileChooser* chooser, const std::string& filterText) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t bar; (bar = filterText.find('|', start)) != std::string::npos; start = bar + 1)
        parts.push_back(filterText.substr(start, bar - start));
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        GtkFileFilter* filter = gtk_file_filter_new();
        gtk_file_filter_set_name(filter, parts[i].c_str());
        gtk_file_filter_add_custom(
            filter, GTK_FILE_FILTER_DISPLAY_NAME,
            +[](const GtkFileFilterInfo* info, gpointer pattern) -> gboolean {
                return info->display_name && fs::matchWildcard(static_cast<const char*>(pattern), info->display_name);
            },
            g_strdup(parts[i + 1].c_str()), g_free);
        gtk_file_chooser_add_filter(chooser, filter);
    }
}

class GtkSetUpView : public SetUpView {
public:
    GtkSetUpView() {
        window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_title(GTK_WINDOW(window_), FrmSetUp::kCaption);
        gtk_window_set_default_size(GTK_WINDOW(window_), 560, 340);
        gtk_container_set_border_width(GTK_CONTAINER(window_), 12);

        GtkWidget* grid = gtk_grid_new();
        gtk_grid_set_row_spacing(GTK_GRID(grid), 8);
        gtk_grid_set_column_spacing(GTK_GRID(grid), 10);
        gtk_container_add(GTK_CONTAINER(window_), grid);

        GtkWidget* label1 = gtk_label_new(FrmSetUp::kLabel1);
        gtk_widget_set_halign(label1, GTK_ALIGN_START);
        combo_ = gtk_combo_box_text_new();
        gtk_widget_set_hexpand(combo_, TRUE);
        gtk_grid_attach(GTK_GRID(grid), label1, 0, 0, 1, 1);
        gtk_grid_attach(GTK_GRID(grid), combo_, 1, 0, 1, 1);

        store_ = gtk_list_store_new(1, G_TYPE_STRING);
        list_ = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store_));
        g_object_unref(store_);  // the view holds it
        gtk_tree_view_set_headers_visible(GTK_TREE_VIEW(list_), FALSE);
        gtk_tree_view_append_column(GTK_TREE_VIEW(list_),
                                    gtk_tree_view_column_new_with_attributes("", gtk_cell_renderer_text_new(), "text", 0, nullptr));
        gtk_tree_selection_set_mode(gtk_tree_view_get_selection(GTK_TREE_VIEW(list_)), GTK_SELECTION_MULTIPLE);
        GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
        gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scrolled), GTK_SHADOW_IN);
        gtk_widget_set_vexpand(scrolled, TRUE);
        gtk_widget_set_hexpand(scrolled, TRUE);
        gtk_container_add(GTK_CONTAINER(scrolled), list_);
        gtk_grid_attach(GTK_GRID(grid), scrolled, 0, 1, 2, 1);

        GtkWidget* side = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
        button(side, FrmSetUp::kChoice, [](FrmSetUp& f, GtkSetUpView& v) { v.choose(f); });
        cancel_ = button(side, FrmSetUp::kCancel, [](FrmSetUp& f, GtkSetUpView& v) { f.cmdCancel_Click(v.selectedLines()); });
        allCancel_ = button(side, FrmSetUp::kAllCancel, [](FrmSetUp& f, GtkSetUpView&) { f.cmdAllCancel_Click(); });
        gtk_grid_attach(GTK_GRID(grid), side, 2, 1, 1, 1);

        GtkWidget* bottom = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
        update_ = button(bottom, FrmSetUp::kUpdate, [](FrmSetUp& f, GtkSetUpView&) { f.cmdUpdate_Click(); });
        keyUpdate_ = button(bottom, FrmSetUp::kKeyUpdate, [](FrmSetUp& f, GtkSetUpView&) { f.cmdKeyUpdate_Click(); });
        GtkWidget* end = button(bottom, FrmSetUp::kEnd, [](FrmSetUp& f, GtkSetUpView&) { f.cmdEnd_Click(); });
        gtk_box_set_child_packing(GTK_BOX(bottom), end, FALSE, FALSE, 0, GTK_PACK_END);
        gtk_grid_attach(GTK_GRID(grid), bottom, 0, 2, 3, 1);

        g_signal_connect(combo_, "changed", G_CALLBACK(+[](GtkComboBox* combo, gpointer self) {
                             auto* view = static_cast<GtkSetUpView*>(self);
                             int index = gtk_combo_box_get_active(combo);
                             if (view->form_ && !view->filling_ && index >= 0) view->form_->cmbDataType_Click(index);
                         }),
                         this);
        g_signal_connect(window_, "delete-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) -> gboolean {
                             static_cast<GtkSetUpView*>(self)->endProgram(false);
                             return FALSE;
                         }),
                         this);
    }

    void attach(FrmSetUp* form) { form_ = form; }
    GtkWindow* window() { return GTK_WINDOW(window_); }
    bool ended() const { return ended_; }
    bool failed() const { return failed_; }
    void show() { gtk_widget_show_all(window_); }

    void setDataTypes(const std::vector<std::string>& types, int selected) override {
        filling_ = true;
        gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(combo_));
        for (const std::string& type : types) gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(combo_), type.c_str());
        gtk_combo_box_set_active(GTK_COMBO_BOX(combo_), selected);
        filling_ = false;
    }
    void setFileNames(const std::vector<std::string>& names) override {
        gtk_list_store_clear(store_);
        for (const std::string& name : names) {
            GtkTreeIter row;
            gtk_list_store_append(store_, &row);
            gtk_list_store_set(store_, &row, 0, name.c_str(), -1);
        }
    }
    void setButtons(const SetUpButtons& b) override {
        gtk_widget_set_sensitive(cancel_, b.cmdCancel);
        gtk_widget_set_sensitive(allCancel_, b.cmdAllCancel);
        gtk_widget_set_sensitive(update_, b.cmdUpdate);
        gtk_widget_set_sensitive(keyUpdate_, b.cmdKeyUpdate);
    }
    void endProgram(bool failed) override {
        if (ended_) return;
        ended_ = true;
        failed_ = failed;
        if (gtk_main_level() > 0) gtk_main_quit();
    }

private:
    using Action = void (*)(FrmSetUp&, GtkSetUpView&);

    GtkWidget* button(GtkWidget* box, const char* caption, Action action) {
        GtkWidget* b = gtk_button_new_with_label(caption);
        g_object_set_data(G_OBJECT(b), "action", reinterpret_cast<gpointer>(action));
        g_signal_connect(b, "clicked", G_CALLBACK(+[](GtkButton* clicked, gpointer self) {
                             auto* view = static_cast<GtkSetUpView*>(self);
                             auto act = reinterpret_cast<Action>(g_object_get_data(G_OBJECT(clicked), "action"));
                             if (view->form_ && !view->busy_) {
                                 view->busy_ = true;
                                 act(*view->form_, *view);
                                 view->busy_ = false;
                             }
                         }),
                         this);
        gtk_box_pack_start(GTK_BOX(box), b, FALSE, FALSE, 0);
        return b;
    }

    // The open-file dialog: several files at a time, each one full path.
    void choose(FrmSetUp& form) {
        GtkWidget* dialog = gtk_file_chooser_dialog_new(FrmSetUp::kChoice, GTK_WINDOW(window_), GTK_FILE_CHOOSER_ACTION_OPEN,
                                                        "キャンセル", GTK_RESPONSE_CANCEL, "開く", GTK_RESPONSE_ACCEPT, nullptr);
        GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
        gtk_file_chooser_set_select_multiple(chooser, TRUE);
        gtk_file_chooser_set_local_only(chooser, TRUE);
        addFilters(chooser, form.fileFilter());
        std::vector<std::string> paths;
        if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
            GSList* names = gtk_file_chooser_get_filenames(chooser);
            for (GSList* n = names; n; n = n->next) {
                paths.emplace_back(static_cast<const char*>(n->data));
                g_free(n->data);
            }
            g_slist_free(names);
        }
        gtk_widget_destroy(dialog);
        form.cmdChoice_Chosen(paths);
    }

    std::vector<int> selectedLines() {
        std::vector<int> lines;
        GList* rows = gtk_tree_selection_get_selected_rows(gtk_tree_view_get_selection(GTK_TREE_VIEW(list_)), nullptr);
        for (GList* r = rows; r; r = r->next) {
            auto* path = static_cast<GtkTreePath*>(r->data);
            lines.push_back(gtk_tree_path_get_indices(path)[0]);
        }
        g_list_free_full(rows, reinterpret_cast<GDestroyNotify>(gtk_tree_path_free));
        return lines;
    }

    GtkWidget* window_ = nullptr;
    GtkWidget* combo_ = nullptr;
    GtkListStore* store_ = nullptr;
    GtkWidget* list_ = nullptr;
    GtkWidget* cancel_ = nullptr;
    GtkWidget* allCancel_ = nullptr;
    GtkWidget* update_ = nullptr;
    GtkWidget* keyUpdate_ = nullptr;
    FrmSetUp* form_ = nullptr;
    bool filling_ = false;
    bool busy_ = false;
    bool ended_ = false;
    bool failed_ = false;
};

}  // namespace

bool runGtkWindow(int& argc, char**& argv, int& exitCode) {
    if (!gtk_init_check(&argc, &argv)) return false;
    auto view = std::make_unique<GtkSetUpView>();
    setMessageSink(std::make_shared<GtkMessageSink>(view->window()));
    FrmSetUp form(*view);
    view->attach(&form);
    if (form.Form_Load() == FrmSetUp::Outcome::Done) {
        view->show();
        if (!view->ended()) gtk_main();
    }
    exitCode = view->failed() ? 1 : 0;
    view->attach(nullptr);
    setMessageSink(nullptr);
    return true;
}

}  // namespace fg
