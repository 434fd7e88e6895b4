// The UI thread, message boxes and the plain top-level window on GTK 3.
#include "platform/ui.h"

#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/gtk/gtk.h"
#include "platform/gtk/native_window.h"
#include "platform/system.h"

namespace platform {

namespace {

std::thread::id uiThread;
bool haveDisplay = false;
GMainLoop* runningLoop = nullptr;
std::optional<int> quitCode;

std::string Utf8(const char* text) {
    return CodePageToUtf8(text, std::strlen(text));
}

// A request of a worker, run by the UI thread's main context while the worker waits.
struct Invocation {
    const std::function<void()>* fn;
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
};

gboolean RunInvocation(gpointer data) {
    auto* invocation = static_cast<Invocation*>(data);
    (*invocation->fn)();
    {
        std::lock_guard lock(invocation->mutex);
        invocation->done = true;
    }
    invocation->finished.notify_all();
    return G_SOURCE_REMOVE;
}

int ShowBox(WindowHandle owner, const char* text, const char* caption, unsigned style) {
    bool okCancel = (style & 0xF) == kMbOkCancel;
    if (!haveDisplay) {
        std::fprintf(stderr, "%s: %s\n", Utf8(caption).c_str(), Utf8(text).c_str());
        return okCancel ? kIdCancel : kIdOk;
    }
    GtkMessageType type = GTK_MESSAGE_INFO;
    if ((style & 0xF0) == kMbIconWarning) {
        type = GTK_MESSAGE_WARNING;
    } else if ((style & 0xF0) == kMbIconQuestion) {
        type = GTK_MESSAGE_QUESTION;
    }
    GtkWindow* parent = owner != nullptr ? GTK_WINDOW(owner->widget) : nullptr;
    GtkWidget* dialog = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, type,
                                               okCancel ? GTK_BUTTONS_OK_CANCEL : GTK_BUTTONS_OK,
                                               "%s", Utf8(text).c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), Utf8(caption).c_str());
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    // OK is the default button, as in the system's own boxes: Return answers OK.
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    gtk_widget_grab_focus(gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK));
    int response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    // Escape and the window's close answer DELETE_EVENT: Cancel where there is one.
    if (response == GTK_RESPONSE_OK || !okCancel) {
        return kIdOk;
    }
    return kIdCancel;
}

}  // namespace

namespace gtk {

void Init(int* argc, char*** argv) {
    uiThread = std::this_thread::get_id();
    // A display server may drop a connection while setting it up (Xvfb here does so for a
    // few percent of connections): try a few times before running without a display.
    for (int attempt = 0; attempt < 5 && !haveDisplay; ++attempt) {
        if (attempt > 0) {
            g_usleep(100 * 1000);
        }
        haveDisplay = gtk_init_check(argc, argv);
    }
    if (!haveDisplay) {
        const char* display = std::getenv("DISPLAY");
        std::fprintf(stderr, "cannot open the display %s\n", display != nullptr ? display : "");
    }
}

}  // namespace gtk

bool IsUiThread() {
    return std::this_thread::get_id() == uiThread;
}

void InvokeOnUiThread(const std::function<void()>& fn) {
    if (IsUiThread()) {
        fn();
        return;
    }
    Invocation invocation;
    invocation.fn = &fn;
    // A source of the UI thread's context, dispatched only by that thread. Not
    // g_main_context_invoke: it runs the function on the calling thread whenever the context
    // is free, as it is while the UI thread waits outside the main loop.
    GSource* source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(source, RunInvocation, &invocation, nullptr);
    g_source_attach(source, nullptr);
    g_source_unref(source);
    std::unique_lock lock(invocation.mutex);
    invocation.finished.wait(lock, [&] { return invocation.done; });
}

void WaitOnUiThread(const std::function<bool()>& done) {
    while (!done()) {
        if (IsUiThread()) {
            while (g_main_context_iteration(nullptr, FALSE)) {
            }
        }
        if (!done()) {
            g_usleep(1000);
        }
    }
}

int ShowMessageBox(WindowHandle owner, const char* text, const char* caption, unsigned style) {
    int answer = kIdOk;
    InvokeOnUiThread([&] { answer = ShowBox(owner, text, caption, style); });
    return answer;
}

intptr_t SendWindowMessage(WindowHandle window, unsigned message, uintptr_t wParam,
                           intptr_t lParam) {
    intptr_t result = 0;
    InvokeOnUiThread([&] { result = gtk::Deliver(window, message, wParam, lParam); });
    return result;
}

void InvalidateWindow(WindowHandle window) {
    gtk::InvalidateToolkitWindow(window);
}

void FlashNativeWindow(WindowHandle window) {
    gtk_window_present(GTK_WINDOW(window->widget));
    gtk_window_set_urgency_hint(GTK_WINDOW(window->widget), TRUE);
}

void ShowNativeWindow(WindowHandle window) {
    gtk_widget_show(window->widget);  // its children show when they are placed
}

void MoveNativeWindow(WindowHandle window, int x, int y, int width, int height) {
    gtk::MoveToolkitWindow(window, x, y, width, height);
}

void SetWindowTitle(WindowHandle window, const char* text) {
    gtk_window_set_title(GTK_WINDOW(window->widget), Utf8(text).c_str());
}

void DestroyNativeWindow(WindowHandle window) {
    gtk::DestroyToolkitWindow(window);
}

int RunMessageLoop() {
    if (!quitCode) {
        runningLoop = g_main_loop_new(nullptr, FALSE);
        g_main_loop_run(runningLoop);
        g_main_loop_unref(runningLoop);
        runningLoop = nullptr;
    }
    int code = quitCode.value_or(0);
    quitCode.reset();
    return code;
}

void PostQuit(int code) {
    InvokeOnUiThread([code] {
        quitCode = code;
        if (runningLoop != nullptr) {
            g_main_loop_quit(runningLoop);
        }
    });
}

}  // namespace platform
