// Conversion of the documents' code page with iconv, shared by the POSIX backends.
#pragma once

#include <cstddef>
#include <string>

namespace platform::iconv_codepage {

// The code page of the documents built into the program (a build setting), by its iconv name.
// "CP932" rather than "SHIFT_JIS": the two map some bytes differently (0x8160 is U+FF5E in
// CP932).
inline constexpr const char* kDocumentCodePage = DOWNLOADER_CODE_PAGE == 949 ? "CP949" : "CP932";

// Converts `length` bytes from `codePage` to UTF-8. Bytes that do not decode become U+FFFD;
// an incomplete character at the end is dropped.
std::string ToUtf8(const char* codePage, const char* bytes, size_t length);
// The same conversion to UTF-16.
std::u16string ToUtf16(const char* codePage, const char* bytes, size_t length);

}  // namespace platform::iconv_codepage
