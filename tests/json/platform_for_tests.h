// The platform services the JSON tests reach (resources, code-page decoding, the warning box
// and process exit), served from memory so the tests observe every call.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace json_test {

// Thrown by platform::ExitProcess so a test can catch where the process would have ended.
struct ProcessExit {
    int code;
};

struct ShownBox {
    std::string text;
    unsigned style;
};

// Serves `bytes` as resource `id`, stated in the resource table as `statedSize` bytes.
void SetResource(int id, std::string bytes, size_t statedSize);
void SetResource(int id, std::string bytes);
void RemoveResources();
std::vector<ShownBox> ShownBoxes();
void ClearShownBoxes();

}  // namespace json_test
