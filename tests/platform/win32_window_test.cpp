// The Windows backend's windows, message loop, UI-thread requests, message boxes and folder
// browser, with the system's own windows and dialogs, run under Wine in CI. The dialogs are
// answered by a second thread through their native windows, as a user's clicks would.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which they need.
#include <ole2.h>
#include <shlobj.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/folder_picker.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "platform/win32/handles.h"
#include "platform/win32/ui_thread.h"
#include "platform/window.h"

namespace {

using platform::win32::FromHwnd;
using platform::win32::ToHwnd;

constexpr const char* kClass = "window-test-class";
// "中止しますか？" and "空き領域" in code page 932, and as the system shows them.
constexpr const char* kQuestion = "\x92\x86\x8e\x7e\x82\xb5\x82\xdc\x82\xb7\x82\xa9\x81\x48";
constexpr const wchar_t* kQuestionWide = L"\x4e2d\x6b62\x3057\x307e\x3059\x304b\xff1f";
constexpr const char* kFreeSpace = "\x8b\xf3\x82\xab\x97\xcc\x88\xe6";
constexpr const wchar_t* kFreeSpaceWide = L"\x7a7a\x304d\x9818\x57df";
// "ソフト": its first character's second byte is a backslash.
constexpr const char* kSoftware = "\x83\x5c\x83\x74\x83\x67";

struct Received {
    unsigned message;
    uintptr_t wParam;
    intptr_t lParam;
    void* param;  // of the creation messages
    bool onUiThread;
};

// What the test's window procedure records and answers.
struct Recorder {
    std::vector<Received> messages;
    // An answer of its own to a message, instead of the system's default handling.
    std::function<std::optional<intptr_t>(platform::WindowHandle, unsigned, uintptr_t, intptr_t)>
        answer;
};
Recorder* recorder = nullptr;

intptr_t RecordingProcedure(platform::WindowHandle window, unsigned message, uintptr_t wParam,
                            intptr_t lParam) {
    void* param = nullptr;
    if (message == platform::kWmNcCreate || message == platform::kWmCreate) {
        param = reinterpret_cast<platform::CreateParameters*>(lParam)->param;
    }
    if (recorder != nullptr) {
        recorder->messages.push_back({message, wParam, lParam, param, platform::IsUiThread()});
        if (recorder->answer) {
            if (std::optional<intptr_t> result =
                    recorder->answer(window, message, wParam, lParam)) {
                return *result;
            }
        }
    }
    return platform::DefaultWindowProcedure(window, message, wParam, lParam);
}

// Waits up to `seconds` for `done`, on a thread that is not the UI thread.
bool Poll(const std::function<bool()>& done, double seconds = 10) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
}

std::wstring TextOf(HWND window) {
    wchar_t text[1024] = L"";
    GetWindowTextW(window, text, 1024);
    return text;
}

// The system's dialog window owned by `owner` (any owner when null), or null.
HWND FindDialog(HWND owner) {
    for (HWND found = FindWindowExW(nullptr, nullptr, L"#32770", nullptr); found != nullptr;
         found = FindWindowExW(nullptr, found, L"#32770", nullptr)) {
        if (IsWindowVisible(found) && (owner == nullptr || GetWindow(found, GW_OWNER) == owner)) {
            return found;
        }
    }
    return nullptr;
}

// A static text of `dialog` that reads `text`.
bool DialogShows(HWND dialog, const std::wstring& text) {
    for (HWND child = FindWindowExW(dialog, nullptr, nullptr, nullptr); child != nullptr;
         child = FindWindowExW(dialog, child, nullptr, nullptr)) {
        if (TextOf(child).find(text) != std::wstring::npos) {
            return true;
        }
    }
    return false;
}

class Win32Window : public testing::Test {
protected:
    void SetUp() override {
        recorder = &record;
        ASSERT_TRUE(platform::RegisterWindowClass(kClass, RecordingProcedure, 101));
    }
    void TearDown() override {
        for (platform::WindowHandle window : windows) {
            if (IsWindow(ToHwnd(window))) {
                DestroyWindow(ToHwnd(window));
            }
        }
        platform::UnregisterWindowClass(kClass);
        recorder = nullptr;
        if (user.joinable()) {
            user.join();
        }
    }

    platform::WindowHandle Create(uint32_t style, platform::WindowHandle parent, void* param,
                                  int x = 10, int y = 10, int width = 200, int height = 100) {
        platform::WindowHandle window = platform::CreateNativeWindow(
            kClass, "test window", style, x, y, width, height, parent, param);
        if (window != nullptr) {
            windows.push_back(window);
        }
        return window;
    }

    std::vector<unsigned> MessagesOf(unsigned message) const {
        std::vector<unsigned> found;
        for (const Received& received : record.messages) {
            if (received.message == message) {
                found.push_back(received.message);
            }
        }
        return found;
    }

    Recorder record;
    std::vector<platform::WindowHandle> windows;
    std::thread user;  // the other thread: a worker or the user answering a dialog
};

TEST_F(Win32Window, CreationHandsTheParameterToTheProcedureBeforeItReturns) {
    int object = 0;
    platform::WindowHandle window = Create(platform::kWsPopup, nullptr, &object);
    ASSERT_NE(window, nullptr);
    std::vector<unsigned> order;
    for (const Received& received : record.messages) {
        if (received.message == platform::kWmNcCreate || received.message == platform::kWmCreate) {
            EXPECT_EQ(received.param, &object) << received.message;
            order.push_back(received.message);
        }
    }
    EXPECT_EQ(order, (std::vector<unsigned>{platform::kWmNcCreate, platform::kWmCreate}));
    EXPECT_FALSE(IsWindowVisible(ToHwnd(window)));  // hidden until shown
    EXPECT_EQ(platform::WindowObject(window), nullptr);
    platform::SetWindowObject(window, &object);
    EXPECT_EQ(platform::WindowObject(window), &object);
}

TEST_F(Win32Window, ProcedureRefusesTheWindowAtEitherCreationMessage) {
    const struct {
        unsigned message;
        intptr_t answer;
    } refusals[] = {{platform::kWmCreate, -1}, {platform::kWmNcCreate, 0}};
    for (const auto& refusal : refusals) {
        SCOPED_TRACE(refusal.message);
        record.answer = [&](platform::WindowHandle, unsigned message, uintptr_t,
                            intptr_t) -> std::optional<intptr_t> {
            if (message == refusal.message) {
                return refusal.answer;
            }
            return std::nullopt;
        };
        record.messages.clear();
        EXPECT_EQ(Create(platform::kWsPopup, nullptr, nullptr), nullptr);
        EXPECT_FALSE(record.messages.empty());
    }
}

TEST_F(Win32Window, ParentClipsItsChildrenAndChildrenArePlacedInItsClientArea) {
    platform::WindowHandle parent = Create(platform::kWsPopup, nullptr, nullptr, 100, 50, 300, 200);
    ASSERT_NE(parent, nullptr);
    platform::WindowHandle child =
        Create(platform::kWsChild | platform::kWsTabStop, parent, nullptr, 0, 0, 20, 20);
    ASSERT_NE(child, nullptr);
    EXPECT_NE(GetWindowLongW(ToHwnd(parent), GWL_STYLE) & WS_CLIPCHILDREN, 0);
    EXPECT_EQ(GetWindowLongW(ToHwnd(child), GWL_STYLE) & WS_CLIPCHILDREN, 0);
    EXPECT_EQ(GetParent(ToHwnd(child)), ToHwnd(parent));

    platform::ShowNativeWindow(parent);
    platform::PlaceWindow(child, 30, 40, 70, 25);
    EXPECT_TRUE(IsWindowVisible(ToHwnd(child)));
    platform::Rect client = platform::ClientRect(child);
    EXPECT_EQ(client.left, 0);
    EXPECT_EQ(client.top, 0);
    EXPECT_EQ(client.right, 70);
    EXPECT_EQ(client.bottom, 25);
    platform::Rect outer = platform::WindowRect(parent);
    platform::Rect inner = platform::WindowRect(child);
    EXPECT_EQ(inner.left - outer.left, 30);
    EXPECT_EQ(inner.top - outer.top, 40);
    EXPECT_EQ(inner.right - inner.left, 70);

    platform::MoveNativeWindow(parent, 120, 60, 320, 210);
    outer = platform::WindowRect(parent);
    EXPECT_EQ(outer.left, 120);
    EXPECT_EQ(outer.bottom - outer.top, 210);
    platform::SetWindowVisible(child, false);
    EXPECT_FALSE(IsWindowVisible(ToHwnd(child)));
    platform::Size screen = platform::ScreenSize();
    EXPECT_GT(screen.width, 0);
    EXPECT_GT(screen.height, 0);
}

TEST_F(Win32Window, DefaultHandlingAnswersAsTheInterfaceSays) {
    platform::WindowHandle window = Create(platform::kWsPopup, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    platform::ShowNativeWindow(window);
    EXPECT_EQ(
        platform::SendWindowMessage(window, platform::kWmNcHitTest, 0, platform::PackPoint(15, 15)),
        platform::kHtClient);
    // With the button up a caption press starts no move (which would hold the pointer).
    EXPECT_EQ(platform::SendWindowMessage(window, platform::kWmNcLButtonDown,
                                          static_cast<uintptr_t>(platform::kHtCaption),
                                          platform::PackPoint(15, 15)),
              0);
    platform::SendWindowMessage(window, platform::kWmClose, 0, 0);
    EXPECT_FALSE(IsWindow(ToHwnd(window)));
    EXPECT_EQ(MessagesOf(platform::kWmDestroy).size(), 1u);
    EXPECT_EQ(MessagesOf(platform::kWmNcDestroy).size(), 1u);
}

TEST_F(Win32Window, TimersTickUntilStoppedAndTheLoopEndsWithTheQuitCode) {
    platform::WindowHandle window = Create(platform::kWsPopup, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    int ticks = 0;
    record.answer = [&](platform::WindowHandle target, unsigned message, uintptr_t wParam,
                        intptr_t) -> std::optional<intptr_t> {
        if (message == platform::kWmTimer && wParam == 7 && ++ticks == 3) {
            platform::StopTimer(target, 7);
            platform::PostQuit(-1);
        }
        return std::nullopt;
    };
    platform::StartTimer(window, 7, 20);
    EXPECT_EQ(platform::RunMessageLoop(), -1);
    EXPECT_EQ(ticks, 3);
    // Stopped: no tick arrives any more.
    platform::PostQuit(2);
    EXPECT_EQ(platform::RunMessageLoop(), 2);
    EXPECT_EQ(ticks, 3);
}

TEST_F(Win32Window, WorkerRequestsRunOnTheUiThreadWhileItWaits) {
    platform::WindowHandle window = Create(platform::kWsPopup, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    std::atomic<int> done{0};
    bool ranOnUiThread = false;
    intptr_t answer = 0;
    record.answer = [&](platform::WindowHandle, unsigned message, uintptr_t,
                        intptr_t) -> std::optional<intptr_t> {
        if (message == WM_USER + 5) {
            return 42;
        }
        return std::nullopt;
    };
    user = std::thread([&] {
        EXPECT_FALSE(platform::IsUiThread());
        platform::InvokeOnUiThread([&] { ranOnUiThread = platform::IsUiThread(); });
        answer = platform::SendWindowMessage(window, WM_USER + 5, 0, 0);
        platform::PostQuit(9);  // asked for during the wait: kept for the loop
        done = 1;
    });
    platform::WaitOnUiThread([&] { return done.load() != 0; });
    EXPECT_TRUE(ranOnUiThread);
    EXPECT_EQ(answer, 42);
    ASSERT_FALSE(record.messages.empty());
    EXPECT_TRUE(record.messages.back().onUiThread);
    EXPECT_EQ(platform::RunMessageLoop(), 9);
}

TEST_F(Win32Window, WorkersFlashBringsTheWindowForward) {
    platform::WindowHandle window = Create(platform::kWsPopup, nullptr, nullptr, 10, 10);
    platform::WindowHandle other = Create(platform::kWsPopup, nullptr, nullptr, 50, 50);
    ASSERT_NE(window, nullptr);
    ASSERT_NE(other, nullptr);
    platform::ShowNativeWindow(window);
    platform::ShowNativeWindow(other);
    SetActiveWindow(ToHwnd(other));
    ASSERT_EQ(GetActiveWindow(), ToHwnd(other));
    std::atomic<int> done{0};
    user = std::thread([&] {
        platform::FlashNativeWindow(window);
        done = 1;
    });
    platform::WaitOnUiThread([&] { return done.load() != 0; });
    EXPECT_EQ(GetActiveWindow(), ToHwnd(window));
    EXPECT_EQ(GetFocus(), ToHwnd(window));
}

TEST_F(Win32Window, WorkersBoxIsShownByTheUiThreadInTheDocumentsCodePage) {
    platform::WindowHandle window = Create(platform::kWsPopup, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    platform::ShowNativeWindow(window);
    const struct {
        unsigned style;
        WPARAM button;
        int answer;
    } cases[] = {
        {platform::kMbOkCancel | platform::kMbIconQuestion, IDCANCEL, platform::kIdCancel},
        {platform::kMbOkCancel | platform::kMbIconQuestion, IDOK, platform::kIdOk},
        {platform::kMbIconWarning, IDOK, platform::kIdOk},
    };
    for (const auto& box : cases) {
        SCOPED_TRACE(box.button);
        std::atomic<int> answer{-1};
        std::atomic<bool> seen{false};
        std::thread worker(
            [&] { answer = platform::ShowMessageBox(window, kQuestion, kFreeSpace, box.style); });
        std::thread person([&] {
            HWND dialog = nullptr;
            Poll([&] { return (dialog = FindDialog(ToHwnd(window))) != nullptr; });
            if (dialog != nullptr) {
                // Caption and text as the system shows them, on the window's (the UI) thread.
                seen = TextOf(dialog) == kFreeSpaceWide && DialogShows(dialog, kQuestionWide) &&
                       GetWindowThreadProcessId(dialog, nullptr) ==
                           GetWindowThreadProcessId(ToHwnd(window), nullptr);
                PostMessageW(dialog, WM_COMMAND, box.button, 0);
            }
        });
        platform::WaitOnUiThread([&] { return answer.load() != -1; });
        worker.join();
        person.join();
        EXPECT_TRUE(seen);
        EXPECT_EQ(answer.load(), box.answer);
    }
}

// The folder browser over a folder of the test's own with a refused and an accepted folder; the
// person on the other thread selects a folder through the browser and confirms or cancels.
class Win32FolderPicker : public Win32Window {
protected:
    void SetUp() override {
        Win32Window::SetUp();
        root = platform::UserStateFolder() + "dl-picker-" + std::to_string(GetCurrentProcessId()) +
               "-" + testing::UnitTest::GetInstance()->current_test_info()->name() + "\\";
        std::filesystem::remove_all(root);
        ASSERT_TRUE(platform::CreateFolder(root.c_str()));
        accepted = root + kSoftware;
        refused = root + "refused";
        ASSERT_TRUE(platform::CreateFolder(accepted.c_str()));
        ASSERT_TRUE(platform::CreateFolder(refused.c_str()));
        owner = Create(platform::kWsPopup, nullptr, nullptr);
        ASSERT_NE(owner, nullptr);
        platform::ShowNativeWindow(owner);
    }
    void TearDown() override {
        Win32Window::TearDown();
        std::filesystem::remove_all(root);
    }

    // Runs the picker from a child window of `owner`, opened on `start`.
    std::optional<std::string> Pick(const char* start) {
        child = Create(platform::kWsChild, owner, nullptr, 0, 0, 20, 20);
        return platform::PickFolder(
            child, start, [this](platform::FolderPickerView& view, const std::string& path) {
                judged.push_back(path);
                if (path.find("refused") != std::string::npos || path.size() <= 3) {
                    view.RefuseSelection();
                }
                view.SetStatus((std::string(kFreeSpace) + " " + path).c_str());
            });
    }

    // The person: waits for the browser, selects `folder`, looks, then presses `button`
    // (IDOK also when the browser has it disabled, as a Return key might).
    void Browse(const std::string& folder, WPARAM button) {
        user = std::thread([this, folder, button] {
            HWND dialog = nullptr;
            ASSERT_TRUE(Poll([&] { return (dialog = FindDialog(ToHwnd(owner))) != nullptr; }));
            // The start folder's judgement shows in the status line.
            shownAtStart = Poll([&] { return DialogShows(dialog, kFreeSpaceWide); });
            std::wstring wide(folder.size() + 1, L'\0');
            wide.resize(static_cast<size_t>(
                MultiByteToWideChar(932, 0, folder.c_str(), static_cast<int>(folder.size()),
                                    wide.data(), static_cast<int>(wide.size()))));
            // Judged once the status line names it; a refusal may take effect a moment later.
            // Selected again until then: a browser still filling its tree (a loaded machine)
            // may move the selection once more by itself, as it may under a person's hand.
            EXPECT_TRUE(Poll([&] {
                SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE,
                             reinterpret_cast<LPARAM>(wide.c_str()));
                return DialogShows(dialog, wide);
            }));
            HWND ok = GetDlgItem(dialog, IDOK);
            if (folder.find("refused") != std::string::npos) {
                Poll([&] { return !IsWindowEnabled(ok); });
            }
            okEnabled = IsWindowEnabled(ok) != FALSE;
            PostMessageW(dialog, WM_COMMAND, button, 0);
        });
    }

    std::string root;
    std::string accepted;
    std::string refused;
    platform::WindowHandle owner = nullptr;
    platform::WindowHandle child = nullptr;
    std::vector<std::string> judged;
    std::atomic<bool> shownAtStart{false};
    std::atomic<bool> okEnabled{false};
};

TEST_F(Win32FolderPicker, ConfirmedFolderComesBackInTheDocumentsCodePage) {
    Browse(accepted, IDOK);
    std::optional<std::string> chosen = Pick(refused.c_str());
    user.join();
    EXPECT_TRUE(shownAtStart);
    EXPECT_TRUE(okEnabled);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, accepted);
    ASSERT_GE(judged.size(), 2u);
    EXPECT_EQ(judged.front(), refused);  // opened on the start folder
    EXPECT_EQ(judged.back(), accepted);
}

TEST_F(Win32FolderPicker, RefusedOrCancelledFolderIsNotReturned) {
    const struct {
        const char* name;
        WPARAM button;
        bool okEnabled;
    } cases[] = {{"refused, confirmed anyway", IDOK, false},
                 {"accepted, cancelled", IDCANCEL, true}};
    for (const auto& run : cases) {
        SCOPED_TRACE(run.name);
        const std::string& folder = run.okEnabled ? accepted : refused;
        Browse(folder, run.button);
        std::optional<std::string> chosen = Pick((run.okEnabled ? refused : accepted).c_str());
        user.join();
        EXPECT_EQ(okEnabled, run.okEnabled);
        EXPECT_FALSE(chosen.has_value()) << *chosen;
        judged.clear();
    }
}

TEST_F(Win32FolderPicker, MissingStartFolderOpensOnTheNearestFolderAbove) {
    Browse(accepted, IDCANCEL);
    std::string missing = refused + "\\not\\there\\";
    Pick(missing.c_str());
    user.join();
    ASSERT_FALSE(judged.empty());
    EXPECT_EQ(judged.front(), refused);
}

}  // namespace

int main(int argc, char** argv) {
    platform::win32::StartUiThread();
    OleInitialize(nullptr);
    testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    OleUninitialize();
    return result;
}
