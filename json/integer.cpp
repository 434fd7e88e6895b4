#include "json/integer.h"

namespace json {
namespace {

bool IsCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int DigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'Z') {
        return c - 'A' + 10;
    }
    return 99;
}

}  // namespace

int64_t ReadInteger(const char* text, int base, int64_t min, int64_t max) {
    const char* p = text;
    while (IsCSpace(*p)) {
        ++p;
    }
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') {
        ++p;
    }
    if (base == 16 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && DigitValue(p[2]) < 16) {
        p += 2;
    }
    const uint64_t limit =
        negative ? uint64_t{0} - static_cast<uint64_t>(min) : static_cast<uint64_t>(max);
    const auto radix = static_cast<uint64_t>(base);
    uint64_t magnitude = 0;
    bool saturated = false;
    for (int digit = DigitValue(*p); digit < base; digit = DigitValue(*++p)) {
        const auto value = static_cast<uint64_t>(digit);
        if (saturated || magnitude > (limit - value) / radix) {
            saturated = true;
        } else {
            magnitude = magnitude * radix + value;
        }
    }
    if (saturated) {
        return negative ? min : max;
    }
    return negative ? static_cast<int64_t>(uint64_t{0} - magnitude)
                    : static_cast<int64_t>(magnitude);
}

}  // namespace json
