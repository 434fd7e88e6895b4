// The Content-Range header of a partial answer, "bytes <first>-<last>/<total>": read once for
// every HTTP client (libcurl, WinINet).
#pragma once

#include <cstdint>
#include <string>

namespace platform {

struct ContentRange {
    int64_t first = -1;
    int64_t last = -1;
    int64_t total = -1;  // -1 when the server wrote "*"
};

// Reads `value` (the header's value, without the name). False, leaving `range` alone, for
// anything but one well-formed byte range: missing or extra text, a number too big for 64
// bits, last before first, a last offset whose size (last + 1) does not fit in 64 bits, or a
// range reaching past a known total.
bool ParseContentRange(const std::string& value, ContentRange& range);

}  // namespace platform
