// Reading an answer's Content-Range for every HTTP client (platform/content_range.h).
#include "platform/content_range.h"

#include <cctype>

namespace platform {
namespace {

// Reads the decimal number at `at` and moves past it; false when there is none or it
// overflows.
bool ReadNumber(const std::string& text, size_t& at, int64_t& value) {
    const size_t begin = at;
    value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        const int digit = text[at] - '0';
        if (value > (INT64_MAX - digit) / 10) {
            return false;
        }
        value = value * 10 + digit;
        ++at;
    }
    return at != begin;
}

bool Expect(const std::string& text, size_t& at, char c) {
    if (at < text.size() && text[at] == c) {
        ++at;
        return true;
    }
    return false;
}

}  // namespace

bool ParseContentRange(const std::string& value, ContentRange& range) {
    constexpr size_t kUnitSize = 5;  // "bytes"
    if (value.size() < kUnitSize) {
        return false;
    }
    for (size_t i = 0; i < kUnitSize; ++i) {
        if (std::tolower(static_cast<unsigned char>(value[i])) != "bytes"[i]) {
            return false;
        }
    }
    size_t at = kUnitSize;
    if (!Expect(value, at, ' ')) {
        return false;
    }
    while (at < value.size() && value[at] == ' ') {
        ++at;
    }
    ContentRange read;
    if (!ReadNumber(value, at, read.first) || !Expect(value, at, '-') ||
        !ReadNumber(value, at, read.last) || !Expect(value, at, '/')) {
        return false;
    }
    if (!Expect(value, at, '*') && !ReadNumber(value, at, read.total)) {
        return false;
    }
    // The file size the range implies, last + 1, has to fit in 64 bits as well.
    if (at != value.size() || read.last < read.first || read.last == INT64_MAX ||
        (read.total >= 0 && read.last >= read.total)) {
        return false;
    }
    range = read;
    return true;
}

}  // namespace platform
