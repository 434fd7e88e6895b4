// libFuzzer target: the Content-Range parser on any header value. What it accepts must be one
// byte range whose sizes (last - first + 1, last + 1) fit in 64 bits and lie inside a stated
// total, and writing it back out must read the same again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/content_range.h"

using platform::ContentRange;
using platform::ParseContentRange;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string value(reinterpret_cast<const char*>(data), size);
    ContentRange range;
    range.first = 11;  // a refusal must leave these alone
    range.last = 22;
    range.total = 33;
    if (!ParseContentRange(value, range)) {
        if (range.first != 11 || range.last != 22 || range.total != 33) {
            std::abort();
        }
        return 0;
    }
    if (range.first < 0 || range.last < range.first || range.last == INT64_MAX ||
        range.total < -1 || (range.total >= 0 && range.last >= range.total)) {
        std::abort();
    }
    const std::string written = "bytes " + std::to_string(range.first) + "-" +
                                std::to_string(range.last) + "/" +
                                (range.total < 0 ? "*" : std::to_string(range.total));
    ContentRange again;
    if (!ParseContentRange(written, again) || again.first != range.first ||
        again.last != range.last || again.total != range.total) {
        std::abort();
    }
    return 0;
}
