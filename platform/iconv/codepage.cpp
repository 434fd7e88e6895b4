// Code-page conversion with iconv for the POSIX backends, and the core's text conversions
// (platform/system.h) over it.
#include "platform/iconv/codepage.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

#include "platform/system.h"

namespace platform::iconv_codepage {

namespace {

// Runs one iconv conversion into a byte string; each undecodable input byte is replaced by
// `replacement` (already in the target encoding) and skipped.
std::string Convert(const char* from, const char* to, const char* bytes, size_t length,
                    const std::string& replacement) {
    std::string out;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return out;
    }
    char* in = const_cast<char*>(bytes);
    size_t inLeft = length;
    char buffer[1024];
    while (inLeft > 0) {
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        size_t result = iconv(cd, &in, &inLeft, &dst, &dstLeft);
        out.append(buffer, static_cast<size_t>(dst - buffer));
        if (result != static_cast<size_t>(-1)) {
            continue;
        }
        if (errno == EILSEQ) {
            out += replacement;
            ++in;
            --inLeft;
        } else if (errno == EINVAL) {
            break;  // a lead byte without its trail byte at the very end
        }
        // E2BIG: the buffer was full; the loop drains it and goes on
    }
    iconv_close(cd);
    return out;
}

}  // namespace

std::string ToUtf8(const char* codePage, const char* bytes, size_t length) {
    return Convert(codePage, "UTF-8", bytes, length, "\xEF\xBF\xBD");
}

std::u16string ToUtf16(const char* codePage, const char* bytes, size_t length) {
    std::string raw = Convert(codePage, "UTF-16LE", bytes, length, std::string("\xFD\xFF", 2));
    std::u16string out(raw.size() / 2, u'\0');
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<char16_t>(static_cast<unsigned char>(raw[2 * i]) |
                                       static_cast<unsigned char>(raw[2 * i + 1]) << 8);
    }
    return out;
}

}  // namespace platform::iconv_codepage

namespace platform {

// The core's text conversions (platform/system.h) on POSIX systems, whose paths are UTF-8.
std::u16string CodePageToUtf16(const char* bytes, size_t length) {
    return iconv_codepage::ToUtf16(iconv_codepage::kDocumentCodePage, bytes, length);
}

std::string CodePageToUtf8(const char* bytes, size_t length) {
    return iconv_codepage::ToUtf8(iconv_codepage::kDocumentCodePage, bytes, length);
}

std::u16string PathToUtf16(const char* path, size_t length) {
    return iconv_codepage::ToUtf16("UTF-8", path, length);
}

std::string DocumentTextToPath(const char* text) {
    return CodePageToUtf8(text, std::strlen(text));
}

}  // namespace platform
