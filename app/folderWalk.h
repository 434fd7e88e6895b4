// The folders to create, outermost first, so that a download directory exists.
#pragma once

#include <string>
#include <vector>

namespace app {

// For each separator after the first, the text before it; then the whole path when it does not
// end in a separator. On Windows the text before the first separator is the drive and is never
// created ("c:\download\x\" gives c:\download and c:\download\x). Without drives (POSIX) the
// text before the first separator is a folder of its own when it is not empty: "/a/b" gives /a
// and /a/b, the relative "a/b" gives a and a/b. A path without any separator gives nothing.
std::vector<std::string> FoldersAlong(const std::string& path, char separator, bool firstIsDrive);

}  // namespace app
