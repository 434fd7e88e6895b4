// Reading a scalar's text as an integer, the way the C library's strtol family does.
#pragma once

#include <cstdint>

namespace json {

// Leading white space, an optional sign, for base 16 an optional "0x" or "0X", then digits up
// to the first other byte. No digits give 0; a value outside [min, max] saturates at the limit.
int64_t ReadInteger(const char* text, int base, int64_t min, int64_t max);

}  // namespace json
