// Built-in resources from the GResource bundle that the program links (resources/).
#include "platform/resources.h"

#include <gio/gio.h>

namespace platform {

std::optional<std::string> LoadResource(int id) {
    std::string path = "/downloader/" + std::to_string(id);
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
