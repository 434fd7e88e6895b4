#include "core/wholeFile.h"

#include "platform/files.h"

namespace core {

std::optional<std::string> ReadWholeFile(const char* path, int64_t limit, ReadFailure* failure) {
    ReadFailure ignored;
    ReadFailure& why = failure != nullptr ? *failure : ignored;
    why = ReadFailure::kNone;
    const FileHandle file(platform::OpenFile(path, "rb"));
    if (!file) {
        why = ReadFailure::kCannotOpen;
        return std::nullopt;
    }
    std::string bytes;
    char buffer[65536];
    size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        if (static_cast<int64_t>(bytes.size() + count) > limit) {
            why = ReadFailure::kTooLong;
            return std::nullopt;
        }
        bytes.append(buffer, count);
    }
    if (std::ferror(file.get())) {
        why = ReadFailure::kCannotRead;
        return std::nullopt;
    }
    return bytes;
}

}  // namespace core
