// The pop-up menu on GTK 3: a GtkMenu of radio items popped up at a point of the owner's
// top-level window, and a nested main loop until it goes, which serves the UI thread's events
// and the workers' requests as the outer loop does.
#include <gtk/gtk.h>

#include <cstring>

#include "platform/gtk/native_window.h"
#include "platform/menu.h"
#include "platform/system.h"

namespace platform {

namespace {

struct Choice {
    GMainLoop* loop = nullptr;
    int id = 0;
};

constexpr const char* kIdKey = "downloader-menu-id";

void OnActivate(GtkMenuItem* item, gpointer data) {
    // A radio item that goes off as another comes on is no choice.
    if (gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(item))) {
        static_cast<Choice*>(data)->id = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(item), kIdKey));
    }
}

void OnDeactivate(GtkMenuShell*, gpointer data) {
    // The item's activation, if any, follows within the same event, before the loop returns.
    g_main_loop_quit(static_cast<Choice*>(data)->loop);
}

}  // namespace

int ShowPopupMenu(WindowHandle owner, const std::vector<MenuItem>& items, int x, int y) {
    NativeWindow* top = owner != nullptr && owner->parent != nullptr ? owner->parent : owner;
    GdkWindow* surface = top != nullptr ? gtk_widget_get_window(top->widget) : nullptr;
    if (surface == nullptr || items.empty()) {
        return 0;
    }
    Choice choice;
    GtkWidget* menu = gtk_menu_new();
    g_object_ref_sink(menu);
    GSList* group = nullptr;
    for (const MenuItem& item : items) {
        GtkWidget* widget = gtk_radio_menu_item_new_with_label(
            group, CodePageToUtf8(item.text.c_str(), item.text.size()).c_str());
        group = gtk_radio_menu_item_get_group(GTK_RADIO_MENU_ITEM(widget));
        gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(widget), item.checked);
        g_object_set_data(G_OBJECT(widget), kIdKey, GINT_TO_POINTER(item.id));
        // Connected after the marks are set: setting one activates the item.
        g_signal_connect(widget, "activate", G_CALLBACK(OnActivate), &choice);
        gtk_menu_shell_append(GTK_MENU_SHELL(menu), widget);
        gtk_widget_show(widget);
    }
    choice.loop = g_main_loop_new(nullptr, FALSE);
    g_signal_connect(menu, "deactivate", G_CALLBACK(OnDeactivate), &choice);
    gtk_menu_attach_to_widget(GTK_MENU(menu), top->widget, nullptr);
    int originX = 0;
    int originY = 0;
    gdk_window_get_origin(surface, &originX, &originY);
    const GdkRectangle anchor{x - originX, y - originY, 1, 1};
    gtk_menu_popup_at_rect(GTK_MENU(menu), surface, &anchor, GDK_GRAVITY_NORTH_WEST,
                           GDK_GRAVITY_NORTH_WEST, nullptr);
    // A menu that could not take the pointer and keyboard is not shown and never goes.
    if (gtk_widget_get_visible(menu)) {
        g_main_loop_run(choice.loop);
    }
    g_main_loop_unref(choice.loop);
    gtk_menu_detach(GTK_MENU(menu));
    gtk_widget_destroy(menu);
    g_object_unref(menu);
    return choice.id;
}

}  // namespace platform
