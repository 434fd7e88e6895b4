// Built-in resources of the program, by the numeric ids the core uses.
#pragma once

#include <optional>
#include <string>

namespace platform {

// The bytes of resource `id`, or nothing when the program has no such resource.
std::optional<std::string> LoadResource(int id);

}  // namespace platform
