// What the POSIX backends share about folders beyond the platform interface.
#pragma once

#include <string>
#include <vector>

#include "platform/trust.h"

namespace platform::posix {

// The folder at `path`, or, when `path` does not exist yet, the nearest folder above it: where
// a folder made at `path` would live. Empty when a file stands in the way or nothing exists.
std::string NearestFolder(std::string path);

// What fstat tells of an open file or folder about trusting it.
TrustFacts FactsOf(int fd);
// The folder `relative` ("a/b"; empty: `base` itself) below the open folder `base` (AT_FDCWD:
// the current folder), opened one component at a time without following a link and, with
// `create`, made where it is missing. Each folder opened is appended to `steps` when given.
// -1 with errno set when it cannot be opened: ELOOP where a link stands, ENOTDIR where
// something other than a folder stands.
int OpenFolderBelow(int base, const std::string& relative, bool create,
                    std::vector<PathStep>* steps = nullptr);

}  // namespace platform::posix
