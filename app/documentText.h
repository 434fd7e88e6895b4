// Copying texts of the UX document (code page 932 bytes) into the fixed-size fields that hold
// them.
#pragma once

#include <cstddef>

namespace app {

// True when `byte` starts a two-byte character in code page 932.
bool IsLeadByte(unsigned char byte);

// Copies `text` into `field` of `size` bytes, always NUL-terminated. A text that does not fit
// is cut at the field's size, before any two-byte character that would be split. Returns false
// when the text was cut.
bool CopyText(char* field, size_t size, const char* text);

}  // namespace app
