#include "test_package.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

#include "test_signing.h"

namespace guitest {

namespace {

// The program's built-in server address.
constexpr int kServerPort = 8080;
const char* kServerUrl = "http://127.0.0.1:8080/";
constexpr int kMirrorPort = 8081;

}  // namespace

TestPackage::TestPackage(const std::string& packageFolder,
                         const std::vector<std::pair<std::string, int64_t>>& files, bool mirrored)
    : folder(packageFolder) {
    std::filesystem::create_directories(folder);
    names.push_back("setup.exe");
    {
        std::ofstream installer(Path("setup.exe"), std::ios::binary);
        installer << "#!/bin/sh\necho \"$PWD $*\" > \"$(dirname \"$0\")/installer-ran\"\n";
    }
    chmod(Path("setup.exe").c_str(), 0755);
    std::mt19937_64 random(std::hash<std::string>{}(packageFolder));
    for (const auto& [name, size] : files) {
        std::filesystem::create_directories(std::filesystem::path(Path(name)).parent_path());
        std::string bytes(static_cast<size_t>(size), '\0');
        for (char& byte : bytes) {
            byte = static_cast<char>(random());
        }
        std::ofstream(Path(name), std::ios::binary) << bytes;
        names.push_back(name);
    }
    std::string command = std::string("'") + MAKE_MANIFEST + "' --url " + kServerUrl +
                          (mirrored ? std::string(" --mirror ") + kMirrorUrl : "") + " --output '" +
                          Path("file.json") + "' '" + folder + "' >/dev/null";
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("make-manifest failed: " + command);
    }
    test_signing::SignFile(Path("file.json"));
}

void TestPackage::ServeManifest(const std::string& manifest) {
    server->AddFile("/file.json", manifest);
    server->AddFile("/file.json.sig", test_signing::Sign(manifest));
}

std::string TestPackage::ManifestOfSize(int64_t size) {
    return "{ \"TotalCount\" : 1, \"TotalSize\" : " + std::to_string(size) +
           ", \"URL\" : \"http://127.0.0.1:8080/\", \"FileList\" : [ { \"Name\" : "
           "\"data.bin\", \"Size\" : " +
           std::to_string(size) + ", \"SHA256\" : \"" + std::string(64, 'a') + "\" } ] }";
}

void TestPackage::Serve(int64_t bytesPerSecond) {
    server = std::make_unique<test_support::HttpTestServer>(kServerPort);
    server->ServeFolder(folder);
    if (bytesPerSecond > 0) {
        test_support::Behaviour slow;
        slow.bytesPerSecond = bytesPerSecond;
        for (const std::string& name : names) {
            server->SetBehaviour("/" + name, slow);
        }
    }
}

void TestPackage::ServeMirror() {
    mirror = std::make_unique<test_support::HttpTestServer>(kMirrorPort);
    mirror->ServeFolder(folder);
}

int64_t TestPackage::SizeOf(const std::string& name) const {
    return static_cast<int64_t>(std::filesystem::file_size(Path(name)));
}

}  // namespace guitest
