// The pop-up menu on Win32: a menu of CreatePopupMenu with radio marks, run by TrackPopupMenu,
// whose modal loop delivers the messages sent to the UI thread (the workers' requests) and
// dispatches the others (timers, paints) while it runs.
#include <windows.h>

#include <cstring>

#include "platform/menu.h"
#include "platform/win32/codepage.h"
#include "platform/win32/handles.h"

namespace platform {

int ShowPopupMenu(WindowHandle owner, const std::vector<MenuItem>& items, int x, int y) {
    HWND window = owner != nullptr ? GetAncestor(win32::ToHwnd(owner), GA_ROOT) : nullptr;
    HMENU menu = window != nullptr && !items.empty() ? CreatePopupMenu() : nullptr;
    if (menu == nullptr) {
        return 0;
    }
    for (const MenuItem& item : items) {
        const std::wstring text = win32_codepage::ToWide(win32_codepage::kDocumentCodePage,
                                                         item.text.c_str(), item.text.size());
        AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(item.id), text.c_str());
    }
    const UINT last = static_cast<UINT>(items.size() - 1);
    for (UINT position = 0; position <= last; ++position) {
        if (items[position].checked) {
            CheckMenuRadioItem(menu, 0, last, position, MF_BYPOSITION);
        }
    }
    // The owner must be in the foreground, or a click elsewhere would leave the menu open.
    SetForegroundWindow(window);
    const int chosen = static_cast<int>(TrackPopupMenu(
        menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN, x, y,
        0, window, nullptr));
    // The menu's own loop ends for good only once the owner takes a message of its own.
    PostMessageW(window, WM_NULL, 0, 0);
    DestroyMenu(menu);
    return chosen;
}

}  // namespace platform
