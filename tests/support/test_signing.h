// Signs manifests with the build's own key pair (made at configure time for a loopback build),
// as the publisher signs theirs, so that every test runs the signed path. On Linux the
// environment's DOWNLOADER_SIGNING_KEY, when set, names another private key file (the Windows
// build's, for its program under Wine).
#pragma once

#include <string>

namespace test_signing {

// r and s of the signature of `bytes`, 64 bytes.
std::string Sign(const std::string& bytes);
// Writes `path` + ".sig" for the file at `path`.
void SignFile(const std::string& path);

}  // namespace test_signing
