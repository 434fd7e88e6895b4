// Small helpers for the UTF-16 fields that controls draw.
#pragma once

#include <cstddef>

namespace ui_text {

// Units before the terminating zero.
inline size_t Length(const char16_t* text) {
    size_t length = 0;
    while (text[length] != u'\0') {
        ++length;
    }
    return length;
}

// Copies an ASCII text (a formatted number) into a field, cut to fit, always terminated.
template <size_t N>
void CopyAscii(char16_t (&field)[N], const char* text) {
    size_t i = 0;
    for (; text[i] != '\0' && i + 1 < N; ++i) {
        field[i] = static_cast<char16_t>(text[i]);
    }
    field[i] = u'\0';
}

}  // namespace ui_text
