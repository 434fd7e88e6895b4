// Code-page conversion with MultiByteToWideChar / WideCharToMultiByte.
#include "platform/win32/codepage.h"

#include <windows.h>

#include <cstring>

#include "platform/system.h"

namespace platform::win32_codepage {

namespace {

// The length without a lead byte that lacks its trail byte at the very end: the trail byte of
// a double-byte character may be any byte, so only a walk from the start can tell.
size_t WholeCharacters(unsigned codePage, const char* bytes, size_t length) {
    size_t i = 0;
    while (i < length) {
        const size_t step = IsDBCSLeadByteEx(codePage, static_cast<BYTE>(bytes[i])) ? 2 : 1;
        if (i + step > length) {
            return i;
        }
        i += step;
    }
    return length;
}

}  // namespace

std::wstring ToWide(unsigned codePage, const char* bytes, size_t length) {
    const int size = static_cast<int>(WholeCharacters(codePage, bytes, length));
    if (size == 0) {
        return {};
    }
    const int count = MultiByteToWideChar(codePage, 0, bytes, size, nullptr, 0);
    std::wstring text(static_cast<size_t>(count > 0 ? count : 0), L'\0');
    if (count > 0) {
        MultiByteToWideChar(codePage, 0, bytes, size, text.data(), count);
    }
    return text;
}

std::u16string ToUtf16(unsigned codePage, const char* bytes, size_t length) {
    const std::wstring wide = ToWide(codePage, bytes, length);
    return std::u16string(wide.begin(), wide.end());
}

std::string FromWide(unsigned codePage, const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int length = static_cast<int>(text.size());
    // No best fit: it would turn a character the code page lacks into a look-alike that names
    // another file ("¥" into the separator "\\" in code page 932, "é" into "e" in others).
    const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int count =
        WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(count > 0 ? count : 0), '\0');
    if (count > 0) {
        WideCharToMultiByte(codePage, flags, text.data(), length, bytes.data(), count, nullptr,
                            nullptr);
    }
    return bytes;
}

std::string ToUtf8(unsigned codePage, const char* bytes, size_t length) {
    return FromWide(CP_UTF8, ToWide(codePage, bytes, length));
}

std::wstring WidePath(const char* path) {
    // No path names no file, as with the POSIX calls (which fail on it instead of crashing).
    if (path == nullptr) {
        return {};
    }
    return ToWide(kDocumentCodePage, path, std::strlen(path));
}

}  // namespace platform::win32_codepage

namespace platform {

// The core's text conversions (platform/system.h) on Windows, whose paths of the core are in
// the documents' code page like the documents' texts.
std::u16string CodePageToUtf16(const char* bytes, size_t length) {
    return win32_codepage::ToUtf16(win32_codepage::kDocumentCodePage, bytes, length);
}

std::string CodePageToUtf8(const char* bytes, size_t length) {
    return win32_codepage::ToUtf8(win32_codepage::kDocumentCodePage, bytes, length);
}

std::u16string PathToUtf16(const char* path, size_t length) {
    return CodePageToUtf16(path, length);
}

std::string DocumentTextToPath(const char* text) {
    return text;
}

}  // namespace platform
