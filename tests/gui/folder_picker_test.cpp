// The GTK folder picker on a private X server, driven by a user on another thread with real
// input: the folder it opens on, the program's judgement of every selection however it was
// made (browsing, picking, typing), the status text, and the folder it returns.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/folder_picker.h"
#include "platform/gtk/gtk.h"
#include "platform/gtk/native_window.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "platform/window.h"
#include "x_input.h"
#include "x_session.h"
// After the tests' own headers: Xlib's macros (None, Status) would break them.
#include <gdk/gdkx.h>

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

guitest::XSession* session = nullptr;

class Display : public ::testing::Environment {
public:
    void SetUp() override {
        session = new guitest::XSession;
        platform::gtk::Init(nullptr, nullptr);
        // A still screen once the dialog has settled, for screenshots: no blinking cursor, no
        // cross-fades.
        g_object_set(gtk_settings_get_default(), "gtk-cursor-blink", FALSE, "gtk-enable-animations",
                     FALSE, nullptr);
    }
    void TearDown() override { delete session; }
};

const auto* const kDisplay = ::testing::AddGlobalTestEnvironment(new Display);

// "空き領域 : " (free space) in code page 932, as the program's status line begins.
constexpr const char* kFreeSpaceLabel = "\x8b\xf3\x82\xab\x97\xcc\x88\xe6 : ";

// What the program does with each selection in these tests: a drive root, or a folder whose
// free space cannot be read, is refused; the status tells the path and its free space.
void Judge(platform::FolderPickerView& view, const std::string& path) {
    int64_t free = platform::FreeDiskSpace(path.c_str());
    if (path.find_first_not_of('/') == std::string::npos || free < 0) {
        view.RefuseSelection();
    }
    std::string status = path + "\n" + kFreeSpaceLabel + std::to_string(free);
    view.SetStatus(status.c_str());
}

// The open chooser dialog (UI thread only); null when there is none.
GtkWidget* OpenDialog() {
    GtkWidget* found = nullptr;
    GList* windows = gtk_window_list_toplevels();
    for (GList* window = windows; window != nullptr; window = window->next) {
        auto* widget = static_cast<GtkWidget*>(window->data);
        if (GTK_IS_FILE_CHOOSER_DIALOG(widget) && gtk_widget_get_mapped(widget)) {
            found = widget;
        }
    }
    g_list_free(windows);
    return found;
}

// A widget's rectangle on the screen (UI thread only).
GdkRectangle ScreenRect(GtkWidget* widget) {
    GtkWidget* top = gtk_widget_get_toplevel(widget);
    int x = 0;
    int y = 0;
    gtk_widget_translate_coordinates(widget, top, 0, 0, &x, &y);
    int originX = 0;
    int originY = 0;
    gdk_window_get_origin(gtk_widget_get_window(top), &originX, &originY);
    return {originX + x, originY + y, gtk_widget_get_allocated_width(widget),
            gtk_widget_get_allocated_height(widget)};
}

void CollectTreeViews(GtkWidget* widget, gpointer found) {
    if (GTK_IS_TREE_VIEW(widget) && gtk_widget_get_mapped(widget)) {
        static_cast<std::vector<GtkWidget*>*>(found)->push_back(widget);
    }
    if (GTK_IS_CONTAINER(widget)) {
        gtk_container_forall(GTK_CONTAINER(widget), CollectTreeViews, found);
    }
}

// The user: runs on a thread of its own while the UI thread runs the picker, looks at the
// dialog through the UI thread and acts on it with real input.
class User {
public:
    // What the picker has reported so far, in order.
    std::vector<std::string> Reported() {
        std::lock_guard lock(mutex);
        return reported;
    }
    void Record(const std::string& path) {
        std::lock_guard lock(mutex);
        reported.push_back(path);
    }

    // Runs `fn` on the UI thread and answers its result.
    template <typename Fn>
    auto OnUi(Fn fn) {
        decltype(fn()) result{};
        platform::InvokeOnUiThread([&] { result = fn(); });
        return result;
    }

    // Polls `done` until it holds or 10 s have passed.
    bool WaitFor(const std::function<bool()>& done) {
        Clock::time_point end = Clock::now() + std::chrono::seconds(10);
        while (!done()) {
            if (Clock::now() > end) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }
    // Waits until the dialog is shown in its place and size (it is sized once shown).
    bool WaitForDialog() {
        if (!WaitFor([&] { return OnUi([] { return OpenDialog() != nullptr; }); })) {
            return false;
        }
        Screenshot();
        return true;
    }
    // Waits until the picker's newest report is `path`.
    bool WaitForReport(const std::string& path) {
        return WaitFor([&] {
            std::vector<std::string> seen = Reported();
            return !seen.empty() && seen.back() == path;
        });
    }

    unsigned long DialogWindow() {
        return OnUi([] {
            GtkWidget* dialog = OpenDialog();
            return dialog != nullptr ? GDK_WINDOW_XID(gtk_widget_get_window(dialog)) : 0ul;
        });
    }
    void Key(const char* keys) { input.Key(DialogWindow(), keys); }
    void KeyToGrab(const char* keys) { input.Key(0, keys); }
    void Type(const std::string& text) { input.Type(DialogWindow(), text); }
    // Away from the dialog and the lists it may open.
    void RestPointer() { input.MoveTo(5, 5); }
    void Click(const GdkRectangle& where) {
        input.MoveTo(where.x + where.width / 2, where.y + where.height / 2);
        input.Press();
        input.Release();
    }
    GdkRectangle OkButton() {
        return OnUi([] {
            return ScreenRect(
                gtk_dialog_get_widget_for_response(GTK_DIALOG(OpenDialog()), GTK_RESPONSE_ACCEPT));
        });
    }
    bool OkIsSensitive() {
        return OnUi([] {
            return static_cast<bool>(gtk_widget_is_sensitive(
                gtk_dialog_get_widget_for_response(GTK_DIALOG(OpenDialog()), GTK_RESPONSE_ACCEPT)));
        });
    }
    // The screen rectangle of row `row` of the folder list.
    GdkRectangle Row(int row) {
        return OnUi([row] {
            std::vector<GtkWidget*> views;
            CollectTreeViews(OpenDialog(), &views);
            GdkRectangle cell{};
            if (views.size() != 1) {
                return cell;
            }
            GtkTreeView* view = GTK_TREE_VIEW(views.front());
            GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
            gtk_tree_view_get_cell_area(view, path, gtk_tree_view_get_column(view, 0), &cell);
            gtk_tree_path_free(path);
            int x = 0;
            int y = 0;
            gtk_tree_view_convert_bin_window_to_widget_coords(view, cell.x, cell.y, &x, &y);
            GdkRectangle widget = ScreenRect(GTK_WIDGET(view));
            return GdkRectangle{widget.x + x, widget.y + y, cell.width, cell.height};
        });
    }
    // Whether the location entry shows its list of completions.
    bool CompletionShown() {
        return OnUi([] {
            bool shown = false;
            GList* windows = gtk_window_list_toplevels();
            for (GList* window = windows; window != nullptr; window = window->next) {
                auto* widget = static_cast<GtkWidget*>(window->data);
                shown |= gtk_window_get_window_type(GTK_WINDOW(widget)) == GTK_WINDOW_POPUP &&
                         gtk_widget_get_mapped(widget);
            }
            g_list_free(windows);
            return shown;
        });
    }
    GdkRectangle StatusRect() {
        return OnUi([] {
            return ScreenRect(gtk_file_chooser_get_extra_widget(GTK_FILE_CHOOSER(OpenDialog())));
        });
    }
    std::string StatusText() {
        return OnUi([] {
            GtkWidget* extra = gtk_file_chooser_get_extra_widget(GTK_FILE_CHOOSER(OpenDialog()));
            return std::string(GTK_IS_LABEL(extra) ? gtk_label_get_text(GTK_LABEL(extra)) : "");
        });
    }
    std::string ShownFolder() {
        return OnUi([] {
            gchar* folder = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(OpenDialog()));
            std::string shown = folder != nullptr ? folder : "";
            g_free(folder);
            return shown;
        });
    }
    // The screen once it has stopped changing (the toolkit paints a change a frame later).
    guitest::Image Screenshot() {
        guitest::Image last = input.Grab(0, 0, 1280, 800);
        for (int round = 0; round < 100; ++round) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            guitest::Image now = input.Grab(0, 0, 1280, 800);
            if (now == last) {
                break;
            }
            last = std::move(now);
        }
        return last;
    }

private:
    guitest::XInput input;
    std::mutex mutex;
    std::vector<std::string> reported;
};

class FolderPicker : public ::testing::Test {
protected:
    void SetUp() override {
        base = fs::path(std::getenv("TMPDIR")) / "picker" /
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::create_directories(base / "sub one");
        fs::create_directories(base / "二番");
    }
    void TearDown() override { fs::remove_all(base); }

    // Runs the picker over `owner` on `start` while `script` plays the user; the script's
    // dialog is cancelled when it ends with the dialog still open. The picker's answer.
    std::optional<std::string> Run(const std::string& start,
                                   const std::function<void(User&)>& script,
                                   platform::WindowHandle owner = nullptr) {
        std::atomic<bool> done{false};
        std::thread driver([&] {
            user.RestPointer();
            script(user);
            if (::testing::Test::HasFailure()) {
                fs::create_directories(SHOT_FOLDER);
                std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
                guitest::SavePng(user.Screenshot(), SHOT_FOLDER "/" + name + ".png");
            }
            user.OnUi([] {
                if (GtkWidget* dialog = OpenDialog()) {
                    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
                }
                return true;
            });
            done = true;
        });
        std::optional<std::string> chosen =
            platform::PickFolder(owner, start.c_str(), [this](auto& view, const std::string& path) {
                user.Record(path);
                Judge(view, path);
            });
        // The user may still ask the UI thread to look at the screen.
        platform::WaitOnUiThread([&] { return done.load(); });
        driver.join();
        return chosen;
    }

    fs::path base;
    User user;
};

// The owner is a button of the program's window, as the folder command's is.
TEST_F(FolderPicker, OpensOnTheGivenFolderOverItsOwnerWithTheStatus) {
    constexpr const char* kClass = "picker-owner";
    ASSERT_TRUE(platform::RegisterWindowClass(kClass, platform::DefaultWindowProcedure, 101));
    platform::WindowHandle window = platform::CreateNativeWindow(
        kClass, "downloader", platform::kWsPopup, 100, 100, 300, 200, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    platform::WindowHandle owner = platform::CreateNativeWindow(
        kClass, "folder", platform::kWsChild, 10, 10, 50, 20, window, nullptr);
    ASSERT_NE(owner, nullptr);
    platform::SetWindowVisible(window, true);
    std::optional<std::string> chosen = Run(
        base.string(),
        [&](User& user) {
            ASSERT_TRUE(user.WaitForDialog());
            ASSERT_TRUE(user.WaitFor([&] { return user.ShownFolder() == base.string(); }))
                << user.ShownFolder();
            EXPECT_EQ(user.Reported().front(), base.string());
            EXPECT_TRUE(user.OkIsSensitive());
            // The status in the documents' code page, shown converted; the free space may
            // change meanwhile (others write to the disk too).
            std::string status = user.StatusText();
            std::string head = base.string() + "\n空き領域 : ";
            EXPECT_TRUE(status.starts_with(head) && status.size() > head.size() &&
                        status.find_first_not_of("0123456789", head.size()) == std::string::npos)
                << status;
            // Both lines reach the screen: each half of the status has dark text on it.
            GdkRectangle rect = user.StatusRect();
            guitest::Image shot = user.Screenshot();
            ASSERT_TRUE(rect.x >= 0 && rect.y >= 0 && rect.x + rect.width <= shot.width &&
                        rect.y + rect.height <= shot.height);
            for (int half = 0; half < 2; ++half) {
                int dark = 0;
                for (int y = rect.y + half * rect.height / 2;
                     y < rect.y + (half + 1) * rect.height / 2; ++y) {
                    for (int x = rect.x; x < rect.x + rect.width; ++x) {
                        dark += (shot.At(x, y) >> 8 & 0xFF) < 0x80;
                    }
                }
                EXPECT_GT(dark, 50) << "line " << half + 1 << " of the status";
            }
            EXPECT_TRUE(user.OnUi([window] {
                GtkWindow* dialog = GTK_WINDOW(OpenDialog());
                return gtk_window_get_modal(dialog) &&
                       gtk_window_get_transient_for(dialog) == GTK_WINDOW(window->widget) &&
                       std::strcmp(gtk_window_get_title(dialog), "downloader") == 0;
            }));
            user.Key("Escape");
            ASSERT_TRUE(user.WaitFor([&] { return user.DialogWindow() == 0; }));
        },
        owner);
    EXPECT_FALSE(chosen.has_value());
    platform::DestroyNativeWindow(window);
    platform::UnregisterWindowClass(kClass);
}

// The user types "/" (refused: neither OK, nor Return, nor any other confirmation accepts it),
// then picks a folder that is accepted and confirms it with OK.
TEST_F(FolderPicker, RefusedFolderCannotBeConfirmedUntilAnAcceptedOneIsChosen) {
    const fs::path accepted = base / "sub one";
    std::optional<std::string> chosen = Run(base.string(), [&](User& user) {
        ASSERT_TRUE(user.WaitForDialog());
        ASSERT_TRUE(user.WaitFor([&] { return user.ShownFolder() == base.string(); }));
        user.Key("Control_L+l");
        user.Type("/");
        ASSERT_TRUE(user.WaitForReport("/"));
        EXPECT_FALSE(user.OkIsSensitive());
        // The entry offers the folders of "/" in a list over the dialog; the first Return only
        // puts it away.
        ASSERT_TRUE(user.WaitFor([&] { return user.CompletionShown(); }));
        guitest::SavePng(user.Screenshot(), SHOT_FOLDER "/refused.png");
        user.KeyToGrab("Return");
        ASSERT_TRUE(user.WaitFor([&] { return !user.CompletionShown(); }));
        EXPECT_FALSE(user.OkIsSensitive());
        user.Click(user.OkButton());
        user.Key("Return");
        // As a double click or a shortcut would confirm it.
        user.OnUi([] {
            gtk_dialog_response(GTK_DIALOG(OpenDialog()), GTK_RESPONSE_ACCEPT);
            return true;
        });
        EXPECT_NE(user.DialogWindow(), 0ul);
        EXPECT_EQ(user.Reported().back(), "/");
        // The pick reaches the dialog after the click and the keys: it is still open.
        user.Click(user.Row(0));
        ASSERT_TRUE(user.WaitForReport(accepted.string())) << user.Reported().back();
        EXPECT_TRUE(user.OkIsSensitive());
        user.Click(user.OkButton());
        EXPECT_TRUE(user.WaitFor([&] { return user.DialogWindow() == 0; }));
    });
    EXPECT_EQ(chosen, accepted.string());
}

// A refused path typed and confirmed in one burst of keys is refused all the same.
TEST_F(FolderPicker, RefusedPathTypedAndConfirmedAtOnceIsNotAccepted) {
    std::optional<std::string> chosen = Run(base.string(), [&](User& user) {
        ASSERT_TRUE(user.WaitForDialog());
        ASSERT_TRUE(user.WaitFor([&] { return user.ShownFolder() == base.string(); }));
        user.Key("Control_L+l");
        user.Type("/");
        user.Key("Return");
        user.Key("Return");
        // A key that reaches the dialog after them finds it still open.
        user.Key("BackSpace");
        ASSERT_TRUE(user.WaitFor([&] {
            std::vector<std::string> seen = user.Reported();
            return seen.size() >= 2 && seen.end()[-2] == "/" && seen.back() == base.string();
        })) << user.Reported().back();
        EXPECT_NE(user.DialogWindow(), 0ul);
    });
    EXPECT_FALSE(chosen.has_value());
}

// Folders picked in the list with the mouse and confirmed with OK, names with a space and in
// Japanese among them, come back as the file system names them.
TEST_F(FolderPicker, PickedFolderIsReturned) {
    for (int row : {0, 1}) {
        const fs::path expected = base / (row == 0 ? "sub one" : "二番");
        std::optional<std::string> chosen = Run(base.string(), [&](User& user) {
            ASSERT_TRUE(user.WaitForDialog());
            ASSERT_TRUE(user.WaitFor([&] { return user.Row(row).height > 0; }));
            user.Click(user.Row(row));
            ASSERT_TRUE(user.WaitForReport(expected.string())) << user.Reported().back();
            EXPECT_TRUE(user.OkIsSensitive());
            user.Click(user.OkButton());
            EXPECT_TRUE(user.WaitFor([&] { return user.DialogWindow() == 0; }));
        });
        EXPECT_EQ(chosen, expected.string()) << user.Reported().back();
    }
}

// A folder typed that does not exist yet is judged as the user types it and returned.
TEST_F(FolderPicker, TypedNewFolderIsReturned) {
    const fs::path expected = base / "new-folder";
    std::optional<std::string> chosen = Run(base.string(), [&](User& user) {
        ASSERT_TRUE(user.WaitForDialog());
        ASSERT_TRUE(user.WaitFor([&] { return user.ShownFolder() == base.string(); }));
        user.Key("Control_L+l");
        user.Type("new-folder");
        ASSERT_TRUE(user.WaitForReport(expected.string())) << user.Reported().back();
        EXPECT_TRUE(user.OkIsSensitive());
        guitest::SavePng(user.Screenshot(), SHOT_FOLDER "/typed.png");
        user.Key("Return");
        EXPECT_TRUE(user.WaitFor([&] { return user.DialogWindow() == 0; }));
    });
    EXPECT_EQ(chosen, expected.string());
}

// A start folder that does not exist: the picker opens on the nearest folder above it.
TEST_F(FolderPicker, MissingStartFolderOpensOnTheNearestFolderAbove) {
    std::optional<std::string> chosen = Run((base / "gone" / "deeper").string(), [&](User& user) {
        ASSERT_TRUE(user.WaitForDialog());
        ASSERT_TRUE(user.WaitFor([&] { return user.ShownFolder() == base.string(); }))
            << user.ShownFolder();
        EXPECT_EQ(user.Reported().front(), base.string());
        user.Click(user.OkButton());
        EXPECT_TRUE(user.WaitFor([&] { return user.DialogWindow() == 0; }));
    });
    EXPECT_EQ(chosen, base.string());
}

}  // namespace
