// Conversion between a Windows code page (932, 949) and Unicode with the system's own
// functions, shared by the Windows backend and the test backend built for Windows.
#pragma once

#include <cstddef>
#include <string>

namespace platform::win32_codepage {

// The code page of the documents built into the program (a build setting). Narrow paths and
// texts of the core are bytes in this code page.
inline constexpr unsigned kDocumentCodePage = DOWNLOADER_CODE_PAGE;

// Converts `length` bytes from `codePage`. Bytes that do not decode become the system's
// replacement character; an incomplete character at the end is dropped.
std::wstring ToWide(unsigned codePage, const char* bytes, size_t length);
std::u16string ToUtf16(unsigned codePage, const char* bytes, size_t length);
std::string ToUtf8(unsigned codePage, const char* bytes, size_t length);
// Unicode to `codePage`; characters the code page lacks become its default character (never a
// look-alike).
std::string FromWide(unsigned codePage, const std::wstring& text);

// A narrow path of the core as the wide calls take it, so that names reach the disk unchanged
// whatever the system's ANSI code page is.
std::wstring WidePath(const char* path);

}  // namespace platform::win32_codepage
