#include "tests/json/platform_for_tests.h"

#include <iconv.h>

#include <map>
#include <optional>
#include <stdexcept>

#include "platform/resources.h"
#include "platform/system.h"
#include "platform/ui.h"

namespace {

struct Resource {
    std::string bytes;
    size_t statedSize;
};

std::map<int, Resource> resources;
std::vector<json_test::ShownBox> boxes;

}  // namespace

namespace json_test {

void SetResource(int id, std::string bytes, size_t statedSize) {
    resources[id] = Resource{std::move(bytes), statedSize};
}

void SetResource(int id, std::string bytes) {
    const size_t size = bytes.size();
    SetResource(id, std::move(bytes), size);
}

void RemoveResources() {
    resources.clear();
}

std::vector<ShownBox> ShownBoxes() {
    return boxes;
}

void ClearShownBoxes() {
    boxes.clear();
}

}  // namespace json_test

namespace platform {

std::optional<std::string> LoadResource(int id) {
    auto found = resources.find(id);
    if (found == resources.end()) {
        return std::nullopt;
    }
    return found->second.bytes;
}

std::optional<size_t> ResourceSize(int id) {
    auto found = resources.find(id);
    if (found == resources.end()) {
        return std::nullopt;
    }
    return found->second.statedSize;
}

// The shipped document's code page.
std::u16string CodePageToUtf16(const char* bytes, size_t length) {
    iconv_t cd = iconv_open("UTF-16LE", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        throw std::runtime_error("iconv has no CP932");
    }
    std::u16string out(length, u'\0');
    char* in = const_cast<char*>(bytes);
    size_t inLeft = length;
    char* outBytes = reinterpret_cast<char*>(out.data());
    size_t outLeft = out.size() * sizeof(char16_t);
    while (inLeft > 0 && iconv(cd, &in, &inLeft, &outBytes, &outLeft) == static_cast<size_t>(-1)) {
        // An undecodable byte becomes U+FFFD.
        ++in;
        --inLeft;
        if (outLeft >= sizeof(char16_t)) {
            *reinterpret_cast<char16_t*>(outBytes) = u'\uFFFD';
            outBytes += sizeof(char16_t);
            outLeft -= sizeof(char16_t);
        }
    }
    iconv_close(cd);
    out.resize(out.size() - outLeft / sizeof(char16_t));
    return out;
}

int MessageBox(WindowHandle, const char* text, const char*, unsigned style) {
    boxes.push_back(json_test::ShownBox{text, style});
    return kIdOk;
}

void ExitProcess(int code) {
    throw json_test::ProcessExit{code};
}

}  // namespace platform
