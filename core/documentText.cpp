#include "core/documentText.h"

namespace core {

bool IsLeadByte(unsigned char byte, unsigned codePage) {
    if (codePage == 949) {
        // Unified Hangul Code: 0x81-0xFE lead, their second byte may be a letter.
        return byte >= 0x81 && byte <= 0xFE;
    }
    // 0xA1-0xDF between the two ranges are single half-width katakana.
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool CopyText(char* field, size_t size, const char* text, unsigned codePage) {
    if (size == 0) {
        return text[0] == '\0';
    }
    size_t used = 0;
    size_t i = 0;
    while (text[i] != '\0') {
        size_t width =
            IsLeadByte(static_cast<unsigned char>(text[i]), codePage) && text[i + 1] != '\0' ? 2
                                                                                             : 1;
        if (used + width > size - 1) {
            field[used] = '\0';
            return false;
        }
        for (size_t k = 0; k < width; ++k) {
            field[used++] = text[i++];
        }
    }
    field[used] = '\0';
    return true;
}

}  // namespace core
