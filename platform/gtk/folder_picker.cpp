// The folder picker on GTK 3: PickFolder (platform/folder_picker.h) as a modal folder chooser
// with the program's status text under it. Nothing else of the interface lives here.
#include <gtk/gtk.h>

#include <cstring>

#include "platform/folder_picker.h"
#include "platform/gtk/native_window.h"
#include "platform/system.h"
#include "platform/window.h"

namespace platform {
namespace {

constexpr int kWidth = 720;
constexpr int kHeight = 480;

class ChooserView : public FolderPickerView {
public:
    ChooserView(GtkWidget* dialog, GtkWidget* status) : dialog(dialog), status(status) {}
    void SetStatus(const char* text) override {
        gtk_label_set_text(GTK_LABEL(status), CodePageToUtf8(text, std::strlen(text)).c_str());
    }
    void RefuseSelection() override {
        gtk_dialog_set_response_sensitive(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT, FALSE);
    }

private:
    GtkWidget* dialog;
    GtkWidget* status;
};

struct Picker {
    const FolderSelectionHandler* onSelection;
    ChooserView* view;
    GtkWidget* dialog;
    std::string lastPath;
    bool handledOnce = false;
};

std::string SelectedPath(GtkFileChooser* chooser) {
    gchar* path = gtk_file_chooser_get_filename(chooser);
    if (path == nullptr) {
        path = gtk_file_chooser_get_current_folder(chooser);
    }
    std::string selected = path != nullptr ? path : "";
    g_free(path);
    return selected;
}

// The chooser tells of one change several times: each path is handled once.
void OnSelectionChanged(GtkFileChooser* chooser, gpointer data) {
    auto* picker = static_cast<Picker*>(data);
    std::string path = SelectedPath(chooser);
    if (picker->handledOnce && path == picker->lastPath) {
        return;
    }
    picker->handledOnce = true;
    picker->lastPath = path;
    // Every new selection starts out acceptable; the program may refuse it.
    gtk_dialog_set_response_sensitive(GTK_DIALOG(picker->dialog), GTK_RESPONSE_ACCEPT, TRUE);
    (*picker->onSelection)(*picker->view, path);
}

// Without a saved size the chooser opens larger than many screens: sized and centred once shown.
void OnMap(GtkWidget* dialog, gpointer) {
    gtk_window_resize(GTK_WINDOW(dialog), kWidth, kHeight);
    Size screen = ScreenSize();
    gtk_window_move(GTK_WINDOW(dialog), (screen.width - kWidth) / 2, (screen.height - kHeight) / 2);
}

}  // namespace

std::optional<std::string> PickFolder(WindowHandle owner, const char* startFolder,
                                      const FolderSelectionHandler& onSelection) {
    GtkWindow* parent = nullptr;
    if (owner != nullptr) {
        NativeWindow* top = owner->parent != nullptr ? owner->parent : owner;
        parent = GTK_WINDOW(top->widget);
    }
    GtkWidget* dialog =
        gtk_file_chooser_dialog_new("", parent, GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "_Cancel",
                                    GTK_RESPONSE_CANCEL, "_OK", GTK_RESPONSE_ACCEPT, nullptr);
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    gtk_file_chooser_set_create_folders(chooser, TRUE);
    gtk_file_chooser_set_local_only(chooser, TRUE);
    GtkWidget* status = gtk_label_new("");
    gtk_label_set_xalign(GTK_LABEL(status), 0.0f);
    gtk_file_chooser_set_extra_widget(chooser, status);

    ChooserView view(dialog, status);
    Picker picker{&onSelection, &view, dialog, "", false};
    if (startFolder != nullptr && startFolder[0] != '\0') {
        gtk_file_chooser_set_current_folder(chooser, startFolder);
    }
    g_signal_connect(dialog, "selection-changed", G_CALLBACK(OnSelectionChanged), &picker);
    g_signal_connect(dialog, "map", G_CALLBACK(OnMap), nullptr);
    // The folder it opens on is a selection like any other.
    OnSelectionChanged(chooser, &picker);

    std::optional<std::string> chosen;
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
        chosen = SelectedPath(chooser);
    }
    gtk_widget_destroy(dialog);
    return chosen;
}

}  // namespace platform
