// System services of the Windows backend: everything declared in platform/system.h except the
// folders (folders.cpp), the file replacement (files.cpp) and the code-page helpers they share
// (codepage.cpp). Narrow paths are the core's text in the documents' code page and reach the
// wide calls converted, so that they name the same files whatever the system's ANSI code page.
#include "platform/system.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "platform/win32/codepage.h"
#include "platform/win32/security.h"

namespace platform {

namespace {

std::string Narrow(const std::wstring& text) {
    return win32_codepage::FromWide(win32_codepage::kDocumentCodePage, text);
}

}  // namespace

bool AcquireSingleInstance(const char* name) {
    // Owned for the process's whole life; the system releases it however the process ends.
    HANDLE mutex = CreateMutexW(nullptr, TRUE, win32_codepage::WidePath(name).c_str());
    if (mutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return false;
    }
    return true;
}

std::string UserStateFolder() {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
    if (length == 0 || length > MAX_PATH) {
        return "";
    }
    std::wstring folder(buffer, length);
    if (folder.back() != L'\\') {
        folder += L'\\';
    }
    return Narrow(folder);
}

std::string ModuleFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return "";
        }
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);  // cut: the name is longer than the buffer
    }
    return Narrow(path.substr(0, path.rfind(L'\\') + 1));
}

bool CreateFolder(const char* path) {
    return win32_security::CreateProtectedFolder(win32_codepage::WidePath(path));
}

std::string ExpandUserPath(const char* path) {
    return path;  // "~" means nothing to Windows
}

uint32_t TickCount() {
    return GetTickCount();
}

void SleepMs(uint32_t ms) {
    Sleep(ms);
}

int64_t FreeDiskSpace(const char* path) {
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExW(win32_codepage::WidePath(path).c_str(), &available, nullptr,
                             nullptr)) {
        return -1;
    }
    return static_cast<int64_t>(available.QuadPart);
}

bool LaunchElevated(const char* path, WhenElevationRefused whenRefused) {
    // The verb "runas" makes the system ask the user for consent; no arguments, and the current
    // folder (the download folder) as the program's folder. The structure's size is this
    // build's own: a 32-bit size in a 64-bit program makes the call fail.
    const std::wstring file = win32_codepage::WidePath(path);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.lpVerb = L"runas";
    info.lpFile = file.c_str();
    info.lpParameters = L"";
    info.lpDirectory = L"";
    info.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExW(&info)) {
        return true;
    }
    if (whenRefused != WhenElevationRefused::kRunWithUserRights ||
        GetLastError() != ERROR_CANCELLED) {
        return false;
    }
    info.lpVerb = nullptr;  // the default verb: the user's own rights
    return ShellExecuteExW(&info) != FALSE;
}

void EndProcess(int code) {
    ExitProcess(static_cast<UINT>(code));
}

}  // namespace platform
