// The folder picker on GTK 3: PickFolder (platform/folder_picker.h) as a modal folder chooser
// with the program's status text under it. Nothing else of the interface lives here.
//
// The chooser names its selection in three ways: a folder picked in the list, the folder it
// shows when nothing is picked, and a path typed into its location entry (Ctrl+L, "/" or "~").
// The program judges each of them as the user makes it, and once more when the user confirms,
// so that a refused folder can never be returned, however it was chosen.
#include <gtk/gtk.h>

#include <cstring>
#include <optional>
#include <string>

#include "platform/folder_picker.h"
#include "platform/gtk/native_window.h"
#include "platform/posix/folders.h"
#include "platform/system.h"
#include "platform/window.h"

namespace platform {
namespace {

constexpr int kWidth = 720;
constexpr int kHeight = 480;

struct Picker;
void ApplyJudgement(Picker& picker);

class ChooserView : public FolderPickerView {
public:
    explicit ChooserView(Picker& picker) : picker(picker) {}
    void SetStatus(const char* text) override;
    void RefuseSelection() override;

private:
    Picker& picker;
};

struct Picker {
    const FolderSelectionHandler& onSelection;
    GtkWidget* dialog;
    GtkWidget* status;
    std::optional<std::string> judged;  // the selection the program last judged
    bool refused = false;               // ... and whether it refused it
    guint pending = 0;                  // the source that will judge the selection
};

void ChooserView::SetStatus(const char* text) {
    gtk_label_set_text(GTK_LABEL(picker.status), CodePageToUtf8(text, std::strlen(text)).c_str());
}

void ChooserView::RefuseSelection() {
    picker.refused = true;
    ApplyJudgement(picker);
}

// The OK button follows the program's judgement of the selection, whatever the chooser itself
// does with it meanwhile.
void ApplyJudgement(Picker& picker) {
    gtk_dialog_set_response_sensitive(GTK_DIALOG(picker.dialog), GTK_RESPONSE_ACCEPT,
                                      !picker.refused);
}

std::string SelectedPath(GtkFileChooser* chooser) {
    // A typed path when the location entry holds one, else the picked folder, else the folder
    // shown; nothing for a place that is not a local folder.
    gchar* path = gtk_file_chooser_get_filename(chooser);
    if (path == nullptr) {
        path = gtk_file_chooser_get_current_folder(chooser);
    }
    std::string selected = path != nullptr ? path : "";
    g_free(path);
    return selected;
}

// Lets the program judge the selection when it is new (the chooser tells of one change
// several times).
void Judge(Picker& picker) {
    std::string path = SelectedPath(GTK_FILE_CHOOSER(picker.dialog));
    if (picker.judged == path) {
        ApplyJudgement(picker);
        return;
    }
    picker.judged = path;
    picker.refused = false;  // every new selection starts out acceptable
    ApplyJudgement(picker);
    ChooserView view(picker);
    picker.onSelection(view, path);
}

constexpr const char* kPickerKey = "folder-picker";

// The picker of an open dialog; null once PickFolder is done with it, while the toolkit may
// still tell of changes as it takes the dialog down.
Picker* PickerOf(gpointer dialog) {
    return static_cast<Picker*>(g_object_get_data(G_OBJECT(dialog), kPickerKey));
}

gboolean RunPendingJudgement(gpointer data) {
    auto* picker = static_cast<Picker*>(data);
    picker->pending = 0;
    Judge(*picker);
    return G_SOURCE_REMOVE;
}

// The chooser tells of a change before it has finished making it (the location entry gets its
// text and the focus before the chooser switches to it, and asking it then is fatal): the
// selection is read once the event that changed it has been handled, before the next one (a
// Return typed right after a path must meet the judgement of that path), and several changes
// are read once.
void JudgeSoon(gpointer dialog) {
    Picker* picker = PickerOf(dialog);
    if (picker != nullptr && picker->pending == 0) {
        picker->pending = g_idle_add_full(G_PRIORITY_HIGH, RunPendingJudgement, picker, nullptr);
    }
}

void OnSelectionChanged(GtkFileChooser* dialog, gpointer) {
    JudgeSoon(dialog);
}

void OnEntryChanged(GtkWidget*, gpointer dialog) {
    JudgeSoon(dialog);
}

// The location entry appears only when the user starts to type a path and goes again when the
// user leaves it, and where the focus is decides which of the chooser's selections counts:
// follow all three.
void OnFocusChanged(GtkWindow* dialog, GtkWidget* focus, gpointer) {
    constexpr const char* kFollowedKey = "folder-picker-follows";
    if (focus != nullptr && GTK_IS_ENTRY(focus) && !GTK_IS_SEARCH_ENTRY(focus) &&
        g_object_get_data(G_OBJECT(focus), kFollowedKey) == nullptr) {
        g_object_set_data(G_OBJECT(focus), kFollowedKey, dialog);
        for (const char* change : {"changed", "unmap"}) {
            g_signal_connect_object(focus, change, G_CALLBACK(OnEntryChanged), dialog,
                                    GConnectFlags(0));
        }
    }
    JudgeSoon(dialog);
}

// The last word before the dialog closes: a refused folder is not confirmed, whichever way the
// confirmation came.
void OnResponse(GtkDialog* dialog, int response, gpointer) {
    Picker* picker = PickerOf(dialog);
    if (picker == nullptr || response != GTK_RESPONSE_ACCEPT) {
        return;
    }
    // The chooser has just read its selection itself: it is complete.
    Judge(*picker);
    if (picker->refused) {
        g_signal_stop_emission_by_name(dialog, "response");
    }
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
    // The dialog belongs to the program's window and carries its title; the buttons are the
    // toolkit's own, in the user's language.
    const char* title = parent != nullptr ? gtk_window_get_title(parent) : nullptr;
    GtkWidget* dialog = gtk_file_chooser_dialog_new(
        title != nullptr ? title : "", parent, GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER,
        g_dgettext("gtk30", "_Cancel"), GTK_RESPONSE_CANCEL, g_dgettext("gtk30", "_OK"),
        GTK_RESPONSE_ACCEPT, nullptr);
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    gtk_file_chooser_set_create_folders(chooser, TRUE);
    gtk_file_chooser_set_local_only(chooser, TRUE);
    GtkWidget* status = gtk_label_new("");
    gtk_label_set_xalign(GTK_LABEL(status), 0.0f);
    gtk_file_chooser_set_extra_widget(chooser, status);

    // A folder that does not exist cannot be shown: the one above it can.
    std::string start = posix::NearestFolder(startFolder != nullptr ? startFolder : "");
    if (!start.empty()) {
        gtk_file_chooser_set_current_folder(chooser, start.c_str());
    }
    Picker picker{onSelection, dialog, status, std::nullopt, false, 0};
    g_object_set_data(G_OBJECT(dialog), kPickerKey, &picker);
    g_signal_connect(dialog, "selection-changed", G_CALLBACK(OnSelectionChanged), nullptr);
    g_signal_connect(dialog, "current-folder-changed", G_CALLBACK(OnSelectionChanged), nullptr);
    g_signal_connect_after(dialog, "set-focus", G_CALLBACK(OnFocusChanged), nullptr);
    g_signal_connect(dialog, "response", G_CALLBACK(OnResponse), nullptr);
    g_signal_connect(dialog, "map", G_CALLBACK(OnMap), nullptr);
    // The folder it opens on is a selection like any other; the chooser loads it later.
    if (!start.empty()) {
        picker.judged = start;
        ChooserView view(picker);
        onSelection(view, start);
    }

    std::optional<std::string> chosen;
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
        chosen = SelectedPath(chooser);
    }
    g_object_set_data(G_OBJECT(dialog), kPickerKey, nullptr);
    if (picker.pending != 0) {
        g_source_remove(picker.pending);
    }
    gtk_widget_destroy(dialog);
    return chosen;
}

}  // namespace platform
