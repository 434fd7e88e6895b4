// Replacing a small file whole on Windows, the same for the Windows backend and the test
// backend built for Windows: a temporary file beside it, flushed, then moved over it.
#include <windows.h>

#include <atomic>
#include <string>

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

}  // namespace platform
