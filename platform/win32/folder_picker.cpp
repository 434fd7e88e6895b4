// The folder picker on Windows: PickFolder (platform/folder_picker.h) as the shell's folder
// browser with its callback. Nothing else of the interface lives here.
//
// The new-style browser has no status line of its own: the program's status replaces the
// browser's title line, the child window found by the marker given as the title. The browser
// enables OK by its own rules for each new selection, then tells the callback, which may
// refuse it. A refused folder is never returned, however the browser was confirmed.
#include <windows.h>
// After windows.h, which they need.
#include <shlobj.h>

#include <cstring>
#include <cwchar>
#include <optional>
#include <string>

#include "platform/folder_picker.h"
#include "platform/win32/codepage.h"
#include "platform/win32/handles.h"

namespace platform {
namespace {

constexpr wchar_t kStatusMarker[] = L"_cBtnFolder_";
// File-system folders only, no network below the domain, a status text, the resizable style.
constexpr UINT kBrowseFlags =
    BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN | BIF_STATUSTEXT | BIF_NEWDIALOGSTYLE;
constexpr int kTextBufferSize = 1024;
constexpr UINT_PTR kRefusalTimer = 1;

struct Browse {
    const FolderSelectionHandler& onSelection;
    std::wstring startFolder;
    HWND dialog = nullptr;     // null once the browser is closed
    HWND status = nullptr;     // the title line, where the status goes; null when not found
    bool initialized = false;  // the browser has told it is ready
    std::optional<std::string> judged{};  // the selection the program last judged
    bool refused = false;                 // ... and whether it refused it
};

// The browser that is open (one at a time: it is modal on the UI thread).
Browse* openBrowse = nullptr;

// Some browsers (Wine's) apply their own rules for a selection after telling the callback, and
// so enable OK again: the refusal of the latest selection is applied once more after that.
void CALLBACK ApplyRefusal(HWND dialog, UINT, UINT_PTR timer, DWORD) {
    KillTimer(dialog, timer);
    if (openBrowse != nullptr && openBrowse->dialog == dialog && openBrowse->refused) {
        SendMessageW(dialog, BFFM_ENABLEOK, 0, FALSE);
    }
}

class BrowseView : public FolderPickerView {
public:
    explicit BrowseView(Browse& browse) : browse(browse) {}

    void SetStatus(const char* text) override {
        if (browse.status != nullptr) {
            const std::wstring wide =
                win32_codepage::ToWide(win32_codepage::kDocumentCodePage, text, std::strlen(text));
            SetWindowTextW(browse.status, wide.c_str());
        }
    }

    void RefuseSelection() override {
        browse.refused = true;
        if (browse.dialog != nullptr) {
            SendMessageW(browse.dialog, BFFM_ENABLEOK, 0, FALSE);
            SetTimer(browse.dialog, kRefusalTimer, USER_TIMER_MINIMUM, ApplyRefusal);
        }
    }

private:
    Browse& browse;
};

// The item's folder as a path of the core (the documents' code page); empty for an item that is
// no file-system folder, and for a folder whose name that code page cannot hold (it could not
// be reached again through the core's paths).
std::string PathOf(LPCITEMIDLIST item) {
    wchar_t path[MAX_PATH] = L"";
    if (item == nullptr || !SHGetPathFromIDListW(item, path)) {
        return "";
    }
    const std::wstring wide = path;
    const unsigned codePage = win32_codepage::kDocumentCodePage;
    std::string narrow = win32_codepage::FromWide(codePage, wide);
    if (win32_codepage::ToWide(codePage, narrow.data(), narrow.size()) != wide) {
        return "";
    }
    return narrow;
}

void Judge(Browse& browse, const std::string& path) {
    browse.judged = path;
    browse.refused = false;  // every new selection starts out acceptable
    BrowseView view(browse);
    browse.onSelection(view, path);
}

// The first direct child of the browser that shows the marker: its title line.
HWND FindStatusLine(HWND dialog) {
    for (HWND child = FindWindowExW(dialog, nullptr, nullptr, nullptr); child != nullptr;
         child = FindWindowExW(dialog, child, nullptr, nullptr)) {
        wchar_t text[kTextBufferSize] = L"";
        GetWindowTextW(child, text, kTextBufferSize);
        if (std::wcsstr(text, kStatusMarker) != nullptr) {
            return child;
        }
    }
    return nullptr;
}

int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM lParam, LPARAM data) {
    Browse& browse = *reinterpret_cast<Browse*>(data);
    browse.dialog = dialog;
    switch (message) {
        case BFFM_INITIALIZED:
            browse.initialized = true;
            // The status line first: selecting the start folder already reports it.
            browse.status = FindStatusLine(dialog);
            if (!browse.startFolder.empty()) {
                const auto folder = reinterpret_cast<LPARAM>(browse.startFolder.c_str());
                SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, folder);
                SendMessageW(dialog, BFFM_SETEXPANDED, TRUE, folder);
            }
            break;
        case BFFM_SELCHANGED:
            // The browser's own first selection, made before it is ready, is replaced by the
            // start folder at once: the user never sees it.
            if (browse.initialized || browse.startFolder.empty()) {
                Judge(browse, PathOf(reinterpret_cast<LPCITEMIDLIST>(lParam)));
            }
            break;
        default:
            break;
    }
    return 0;
}

// The folder itself when it exists, else the nearest one above it that does (a folder that does
// not exist yet cannot be selected); empty when none does.
std::wstring NearestFolder(std::wstring path) {
    while (!path.empty()) {
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return path;
        }
        while (!path.empty() && path.back() == L'\\') {
            path.pop_back();
        }
        const size_t cut = path.rfind(L'\\');
        if (cut == std::wstring::npos) {
            return L"";
        }
        path.resize(cut + 1);
    }
    return path;
}

}  // namespace

std::optional<std::string> PickFolder(WindowHandle owner, const char* startFolder,
                                      const FolderSelectionHandler& onSelection) {
    Browse browse{.onSelection = onSelection,
                  .startFolder = NearestFolder(win32_codepage::WidePath(startFolder))};
    BROWSEINFOW info{};
    // A dialog belongs to a top-level window: the program's window holding the owner.
    info.hwndOwner = owner != nullptr ? GetAncestor(win32::ToHwnd(owner), GA_ROOT) : nullptr;
    info.lpszTitle = kStatusMarker;
    info.ulFlags = kBrowseFlags;
    info.lpfn = BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(&browse);
    openBrowse = &browse;
    LPITEMIDLIST chosen = SHBrowseForFolderW(&info);
    openBrowse = nullptr;
    browse.dialog = nullptr;
    browse.status = nullptr;
    if (chosen == nullptr) {
        return std::nullopt;
    }
    const std::string path = PathOf(chosen);
    CoTaskMemFree(chosen);
    // The last word on the confirmed folder, whichever way the browser was confirmed.
    if (browse.judged != path) {
        Judge(browse, path);
    }
    if (path.empty() || browse.refused) {
        return std::nullopt;
    }
    return path;
}

}  // namespace platform
