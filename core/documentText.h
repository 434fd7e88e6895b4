// Copying texts of the UX document (bytes in its code page: 932 for the Japanese documents,
// 949 for the Korean ones) into the fixed-size fields that hold them.
#pragma once

#include <cstddef>

#include "platform/system.h"

namespace core {

// The code page of the documents built into the program, a build setting (932 or 949).
inline constexpr unsigned kDocumentCodePage = DOWNLOADER_CODE_PAGE;
// The code page of the paths the core handles; 0 where they are UTF-8, read byte by byte.
inline constexpr unsigned kPathCodePage =
    platform::kPathsInDocumentCodePage ? kDocumentCodePage : 0;

// True when `byte` starts a two-byte character in `codePage` (932 or 949).
bool IsLeadByte(unsigned char byte, unsigned codePage);

// Copies `text` into `field` of `size` bytes, always NUL-terminated. A text that does not fit
// is cut at the field's size, before any two-byte character of `codePage` that would be split.
// Returns false when the text was cut.
bool CopyText(char* field, size_t size, const char* text, unsigned codePage = kDocumentCodePage);

}  // namespace core
