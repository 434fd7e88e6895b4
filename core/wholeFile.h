// Whole-file reads and the closer of an owned C file, for every library of the program.
#pragma once

#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>
#include <string>

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

namespace core {

// What ReadWholeFile found when it gives nothing.
enum class ReadFailure { kNone, kCannotOpen, kCannotRead, kTooLong };

// The whole file at `path` (opened through platform::OpenFile, so never through a link), or
// nothing when it cannot be opened or read, or is longer than `limit` bytes; `failure` says
// which.
std::optional<std::string> ReadWholeFile(const char* path,
                                         int64_t limit = std::numeric_limits<int64_t>::max(),
                                         ReadFailure* failure = nullptr);

}  // namespace core
