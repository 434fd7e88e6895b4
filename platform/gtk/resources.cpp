// Built-in resources from the GResource bundle that the program links (resources/).
#include "platform/resources.h"

#include <gio/gio.h>

namespace platform {
namespace {

std::string PathOf(int id) {
    return "/downloader/" + std::to_string(id);
}

}  // namespace

std::optional<size_t> ResourceSize(int id) {
    gsize size = 0;
    if (!g_resources_get_info(PathOf(id).c_str(), G_RESOURCE_LOOKUP_FLAGS_NONE, &size, nullptr,
                              nullptr)) {
        return std::nullopt;
    }
    return size;
}

std::optional<std::string> LoadBuiltInResource(int id) {
    std::string path = PathOf(id);
    GBytes* bytes = g_resources_lookup_data(path.c_str(), G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
    if (bytes == nullptr) {
        return std::nullopt;
    }
    gsize size = 0;
    const char* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
    std::string content(data, size);
    g_bytes_unref(bytes);
    return content;
}

}  // namespace platform
