// Built-in resources of the test backend (platform/resources.h): the bytes a test gives them.
#include "platform/resources.h"

#include "platform/fake/state.h"

namespace platform {

std::optional<std::string> LoadBuiltInResource(int id) {
    fake::State& s = fake::state();
    std::lock_guard lock(s.mutex);
    auto found = s.resources.find(id);
    if (found == s.resources.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::optional<size_t> ResourceSize(int id) {
    fake::State& s = fake::state();
    std::lock_guard lock(s.mutex);
    auto found = s.resources.find(id);
    if (found == s.resources.end()) {
        return std::nullopt;
    }
    auto stated = s.statedSizes.find(id);
    return stated != s.statedSizes.end() ? stated->second : found->second.size();
}

}  // namespace platform
