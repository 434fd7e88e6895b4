// Built-in resources of the Windows backend (platform/resources.h): the raw-data resources of
// the program's own module, as resources/downloader.rc builds them in.
#include "platform/resources.h"

#include <windows.h>

namespace platform {

namespace {

HRSRC Find(int id) {
    return FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
}

}  // namespace

std::optional<std::string> LoadBuiltInResource(int id) {
    HRSRC found = Find(id);
    if (found == nullptr) {
        return std::nullopt;
    }
    HGLOBAL loaded = LoadResource(nullptr, found);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) {
        return std::nullopt;
    }
    return std::string(static_cast<const char*>(bytes), SizeofResource(nullptr, found));
}

std::optional<size_t> ResourceSize(int id) {
    HRSRC found = Find(id);
    if (found == nullptr) {
        return std::nullopt;
    }
    return SizeofResource(nullptr, found);
}

}  // namespace platform
