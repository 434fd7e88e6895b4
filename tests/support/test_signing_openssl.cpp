// test_signing with the private key file through the publisher tool's own signing code.
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

#include "test_signing.h"
#include "tools/manifest_signing.h"

namespace test_signing {

std::string Sign(const std::string& bytes) {
    std::string signature;
    std::string error;
    // The Windows build's own pair, when its program is the one under test.
    const char* other = std::getenv("DOWNLOADER_SIGNING_KEY");
    if (!manifest_signing::Sign(other != nullptr ? other : TEST_SIGNING_KEY, bytes, signature,
                                error)) {
        std::cerr << "test_signing: " << error << "\n";
        std::abort();
    }
    return signature;
}

void SignFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    std::ofstream(path + ".sig", std::ios::binary | std::ios::trunc) << Sign(bytes.str());
}

}  // namespace test_signing
