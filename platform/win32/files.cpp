// Files on Windows, the same for the Windows backend and the test backend built for Windows:
// opening, removing, renaming and measuring them through the wide calls (the core's narrow
// paths are in the documents' code page, which the system's ANSI code page need not be), names
// from UTF-8 to that code page, and replacing a small file whole (a temporary file beside it,
// flushed, then moved over it). A relative name is opened from the current folder one
// component at a time, each opened itself and refused when it is a reparse point (a junction
// or symbolic link), and held, deletion not shared, until the file is open: nothing reached by
// a relative name is ever outside the current folder.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/system.h"
#include "platform/win32/codepage.h"

namespace platform {

namespace {

thread_local OpenFailure lastFailure = OpenFailure::kNone;

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

bool IsRelative(const std::wstring& path) {
    return !path.empty() && path[0] != L'\\' && path[0] != L'/' &&
           (path.size() < 2 || path[1] != L':');
}

// Opens `path` itself (a reparse point is not followed) as `disposition` asks; null when that
// fails, with `lastFailure` telling a reparse point from other failures.
OwnedHandle OpenItself(const std::wstring& path, DWORD access, DWORD share, DWORD disposition,
                       bool folder) {
    HANDLE handle =
        CreateFileW(path.c_str(), access | FILE_READ_ATTRIBUTES, share, nullptr, disposition,
                    FILE_FLAG_OPEN_REPARSE_POINT |
                        (folder ? FILE_FLAG_BACKUP_SEMANTICS : FILE_ATTRIBUTE_NORMAL),
                    nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        lastFailure = OpenFailure::kOther;
        return nullptr;
    }
    OwnedHandle owned(handle);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        lastFailure = OpenFailure::kLink;
        return nullptr;
    }
    if (((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) != folder) {
        lastFailure = OpenFailure::kOther;
        return nullptr;
    }
    return owned;
}

// Opens every folder of the relative `path` but its last component, from the current folder,
// each held until the caller is done with `held`; missing ones are made when `create`. False
// when one cannot be opened or is a reparse point.
bool HoldFoldersOf(const std::wstring& path, bool create, std::vector<OwnedHandle>& held) {
    size_t end = 0;
    while ((end = path.find_first_of(L"\\/", end)) != std::wstring::npos) {
        const std::wstring folder = path.substr(0, end++);
        if (folder.empty() || folder.back() == L'\\' || folder.back() == L'/') {
            continue;
        }
        if (create) {
            CreateDirectoryW(folder.c_str(), nullptr);  // inherits the download folder's list
        }
        OwnedHandle handle =
            OpenItself(folder, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, true);
        if (!handle) {
            return false;
        }
        held.push_back(std::move(handle));
    }
    return true;
}

std::FILE* OpenBelowCurrentFolder(const std::wstring& path, const char* mode) {
    const std::string text = mode;
    const bool both = text.find('+') != std::string::npos;
    const char kind = text.empty() ? '\0' : text[0];
    // No component may climb out of the current folder.
    std::wstring marked = L"\\" + path + L"\\";
    std::replace(marked.begin(), marked.end(), L'/', L'\\');
    if ((kind != 'r' && kind != 'w' && kind != 'a') ||
        marked.find(L"\\..\\") != std::wstring::npos) {
        lastFailure = OpenFailure::kOther;
        return nullptr;
    }
    std::vector<OwnedHandle> folders;
    if (!HoldFoldersOf(path, kind != 'r', folders)) {
        return nullptr;
    }
    const DWORD access = kind == 'r' && !both   ? GENERIC_READ
                         : kind != 'r' && !both ? GENERIC_WRITE
                                                : GENERIC_READ | GENERIC_WRITE;
    OwnedHandle file = OpenItself(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  kind == 'r' ? OPEN_EXISTING : OPEN_ALWAYS, false);
    // Emptied only once it is known to be a file of its own.
    if (!file || (kind == 'w' && !SetEndOfFile(file.get()))) {
        lastFailure = file ? OpenFailure::kOther : lastFailure;
        return nullptr;
    }
    const int flags =
        _O_BINARY | (kind == 'a' ? _O_APPEND : 0) | (kind == 'r' && !both ? _O_RDONLY : 0);
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file.get()), flags);
    if (fd < 0) {
        lastFailure = OpenFailure::kOther;
        return nullptr;
    }
    file.release();  // now the descriptor's
    std::FILE* opened = _fdopen(fd, mode);
    if (opened == nullptr) {
        _close(fd);
        lastFailure = OpenFailure::kOther;
    }
    return opened;
}

}  // namespace

bool ReplaceFileAtomically(const char* path, const std::function<bool(std::FILE*)>& write) {
    static std::atomic<unsigned> serial{0};
    const std::wstring target = win32_codepage::WidePath(path);
    const std::wstring temporary = target + win32_codepage::WidePath(kCopyMark) +
                                   std::to_wstring(GetCurrentProcessId()) + L"-" +
                                   std::to_wstring(serial++);
    HANDLE handle = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    // The C file owns the handle from here on: closing it closes the handle.
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    std::FILE* file = fd >= 0 ? _fdopen(fd, "wb") : nullptr;
    if (file == nullptr) {
        fd >= 0 ? _close(fd) : CloseHandle(handle);
        DeleteFileW(temporary.c_str());
        return false;
    }
    bool whole = write(file) && std::fflush(file) == 0 && FlushFileBuffers(handle);
    whole = std::fclose(file) == 0 && whole;
    if (!whole || !MoveFileExW(temporary.c_str(), target.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

void RemoveLeftoverCopies(const char* path) {
    const std::wstring target = win32_codepage::WidePath(path);
    const size_t slash = target.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? L"" : target.substr(0, slash + 1);
    const std::wstring prefix = target.substr(slash == std::wstring::npos ? 0 : slash + 1) +
                                win32_codepage::WidePath(kCopyMark);
    WIN32_FIND_DATAW found;
    HANDLE listing = FindFirstFileExW((folder + prefix + L"*").c_str(), FindExInfoBasic, &found,
                                      FindExSearchNameMatch, nullptr, 0);
    if (listing == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        // The pattern may also match a short name: the long name is checked again. Folders and
        // links are never removed.
        const std::wstring name = found.cFileName;
        if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
            (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ==
                0) {
            DeleteFileW((folder + name).c_str());
        }
    } while (FindNextFileW(listing, &found));
    FindClose(listing);
}

std::FILE* OpenFile(const char* path, const char* mode) {
    lastFailure = OpenFailure::kNone;
    if (path == nullptr || *path == '\0') {
        lastFailure = OpenFailure::kOther;
        return nullptr;
    }
    const std::wstring wide = win32_codepage::WidePath(path);
    if (IsRelative(wide)) {
        return OpenBelowCurrentFolder(wide, mode);
    }
    const std::string narrowMode = mode;
    std::FILE* file =
        _wfopen(wide.c_str(), std::wstring(narrowMode.begin(), narrowMode.end()).c_str());
    if (file == nullptr) {
        lastFailure = OpenFailure::kOther;
    }
    return file;
}

OpenFailure LastOpenFailure() {
    return lastFailure;
}

bool CreateFoldersBelow(const char* folder) {
    std::vector<OwnedHandle> held;
    return HoldFoldersOf(win32_codepage::WidePath(folder) + L"\\", true, held);
}

bool RemoveFile(const char* path) {
    if (path == nullptr || *path == '\0') {
        return false;
    }
    const std::wstring wide = win32_codepage::WidePath(path);
    std::vector<OwnedHandle> held;
    if (IsRelative(wide) && !HoldFoldersOf(wide, false, held)) {
        return false;
    }
    return DeleteFileW(wide.c_str()) != FALSE;
}

WriteFailure LastWriteFailure() {
    // The C runtime tells a full disk as ENOSPC, or leaves the system's own code behind.
    const DWORD code = GetLastError();
    return errno == ENOSPC || code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL
               ? WriteFailure::kDiskFull
               : WriteFailure::kOther;
}

bool FlushToDisk(std::FILE* file) {
    if (std::fflush(file) != 0) {
        return false;
    }
    const intptr_t handle = _get_osfhandle(_fileno(file));
    return handle != -1 && FlushFileBuffers(reinterpret_cast<HANDLE>(handle)) != FALSE;
}

bool MoveFileOver(const char* from, const char* to) {
    if (from == nullptr || to == nullptr || *from == '\0' || *to == '\0') {
        return false;
    }
    return MoveFileExW(win32_codepage::WidePath(from).c_str(), win32_codepage::WidePath(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING) != FALSE;
}

std::optional<FileFacts> InspectFile(const char* path) {
    if (path == nullptr || *path == '\0') {
        return std::nullopt;
    }
    // Opened without any access, only to read its facts; a link is followed to its file.
    HANDLE file = CreateFileW(win32_codepage::WidePath(path).c_str(), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool regular = GetFileType(file) == FILE_TYPE_DISK &&
                         GetFileInformationByHandle(file, &info) &&
                         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    CloseHandle(file);
    if (!regular) {
        return std::nullopt;
    }
    const auto join = [](DWORD high, DWORD low) {
        return static_cast<int64_t>((static_cast<uint64_t>(high) << 32) | low);
    };
    return FileFacts{join(info.nFileSizeHigh, info.nFileSizeLow),
                     join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime)};
}

std::optional<std::string> PathFromUtf8(const std::string& name) {
    if (name.empty()) {
        return name;
    }
    const int length = static_cast<int>(name.size());
    const int count =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(), length, nullptr, 0);
    if (count <= 0) {
        return std::nullopt;
    }
    std::wstring wide(static_cast<size_t>(count), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(), length, wide.data(), count);
    std::string path = win32_codepage::FromWide(win32_codepage::kDocumentCodePage, wide);
    // A character the code page lacks came out as its default character: another name.
    if (win32_codepage::ToWide(win32_codepage::kDocumentCodePage, path.data(), path.size()) !=
        wide) {
        return std::nullopt;
    }
    return path;
}

std::string FileNameKey(const std::string& path) {
    const std::wstring wide = win32_codepage::WidePath(path.c_str());
    std::wstring upper(wide.size(), L'\0');
    // The invariant upper case, as the system compares names in ordinal order ignoring case.
    const int length = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.data(),
                                     static_cast<int>(wide.size()), upper.data(),
                                     static_cast<int>(upper.size()), nullptr, nullptr, 0);
    upper.resize(length > 0 ? static_cast<size_t>(length) : 0);
    return win32_codepage::FromWide(CP_UTF8, upper);
}

}  // namespace platform
