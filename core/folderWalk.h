// The folders to create, outermost first, so that a download directory exists.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace core {

// For each separator after the first, the text before it; then the whole path when it does not
// end in a separator. On Windows the text before the first separator is the drive and is never
// created ("c:\download\x\" gives c:\download and c:\download\x). Without drives (POSIX) the
// text before the first separator is a folder of its own when it is not empty: "/a/b" gives /a
// and /a/b, the relative "a/b" gives a and a/b. A path without any separator gives nothing.
// With a double-byte `codePage` (932, 949) the path is read character by character, so that the
// second byte of a character is never taken for a separator; 0 reads it byte by byte (UTF-8).
std::vector<std::string> FoldersAlong(const std::string& path, char separator, bool firstIsDrive,
                                      unsigned codePage = 0);
// Where `separator` stands in `path`, read as FoldersAlong reads it.
std::vector<size_t> SeparatorsIn(const std::string& path, char separator, unsigned codePage);
// Whether the last character of `path`, read as FoldersAlong reads it, is `separator` (in code
// page 932 "ソ" ends in the byte 0x5C, but not in a separator).
bool EndsInSeparator(const std::string& path, char separator, unsigned codePage);

}  // namespace core
