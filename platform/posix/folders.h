// What the POSIX backends share about folders beyond the platform interface.
#pragma once

#include <string>

namespace platform::posix {

// The folder at `path`, or, when `path` does not exist yet, the nearest folder above it: where
// a folder made at `path` would live. Empty when a file stands in the way or nothing exists.
std::string NearestFolder(std::string path);

}  // namespace platform::posix
