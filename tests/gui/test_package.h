// A download package for the real program, published with the publisher tool and served by
// the in-process test server at the program's built-in address.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "../support/http_test_server.h"

namespace guitest {

class TestPackage {
public:
    // `files`: relative names and sizes (random bytes). The installer "setup.exe", a shell
    // script that leaves "installer-ran" beside itself, comes first. With `mirrored`, the
    // manifest names kMirrorUrl as a mirror.
    TestPackage(const std::string& folder,
                const std::vector<std::pair<std::string, int64_t>>& files, bool mirrored = false);

    // Serves the package (file.json at the root) until the package ends.
    void Serve(int64_t bytesPerSecond = 0);
    // Serves the package's files at kMirrorUrl too, until the package ends.
    void ServeMirror();
    // Serves `manifest` as "file.json" in place of the package's, signed.
    void ServeManifest(const std::string& manifest);
    // A signed manifest of one unserved file of `size` bytes.
    static std::string ManifestOfSize(int64_t size);
    // Every file of the package, relative names.
    const std::vector<std::string>& Files() const { return names; }
    std::string Path(const std::string& name) const { return folder + "/" + name; }
    int64_t SizeOf(const std::string& name) const;

    static constexpr const char* kMirrorUrl = "http://127.0.0.1:8081/";

    std::unique_ptr<test_support::HttpTestServer> server;
    std::unique_ptr<test_support::HttpTestServer> mirror;

private:
    std::string folder;
    std::vector<std::string> names;
};

}  // namespace guitest
