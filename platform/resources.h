// Built-in resources of the program, by the numeric ids the core uses.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace platform {

// The bytes of resource `id`, or nothing when the program has no such resource.
std::optional<std::string> LoadBuiltInResource(int id);
// The byte count the program's resource table states for resource `id`, or nothing when there
// is no such resource. A loader that must tell a resource that cannot be read whole compares
// it with what LoadBuiltInResource delivers.
std::optional<size_t> ResourceSize(int id);

}  // namespace platform
