// Files on Windows, the same for the Windows backend and the test backend built for Windows:
// opening, removing, renaming and measuring them through the wide calls (the core's narrow
// paths are in the documents' code page, which the system's ANSI code page need not be), names
// from UTF-8 to that code page, and replacing a small file whole (a temporary file beside it,
// flushed, then moved over it).
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "platform/files.h"
#include "platform/system.h"
#include "platform/win32/codepage.h"

namespace platform {

namespace {

bool WriteAll(HANDLE file, const std::string& bytes) {
    size_t written = 0;
    while (written < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - written, 1 << 20));
        DWORD put = 0;
        if (!WriteFile(file, bytes.data() + written, chunk, &put, nullptr) || put == 0) {
            return false;
        }
        written += put;
    }
    return true;
}

}  // namespace

bool ReplaceFileAtomically(const char* path, const std::string& bytes) {
    static std::atomic<unsigned> serial{0};
    const std::wstring target = win32_codepage::WidePath(path);
    const std::wstring temporary = target + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                   std::to_wstring(serial++) + L".tmp";
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool whole = WriteAll(file, bytes) && FlushFileBuffers(file);
    whole = CloseHandle(file) && whole;
    if (!whole || !MoveFileExW(temporary.c_str(), target.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

std::FILE* OpenFile(const char* path, const char* mode) {
    if (path == nullptr || *path == '\0') {
        return nullptr;
    }
    const std::string narrowMode = mode;
    return _wfopen(win32_codepage::WidePath(path).c_str(),
                   std::wstring(narrowMode.begin(), narrowMode.end()).c_str());
}

bool RemoveFile(const char* path) {
    return path != nullptr && *path != '\0' &&
           DeleteFileW(win32_codepage::WidePath(path).c_str()) != FALSE;
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
