// test_signing over the system's provider (CNG): the key pair as the configuration extracted it
// (TEST_SIGNING_BLOB: X, Y and the private scalar, in hexadecimal).
#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "test_signing.h"

namespace test_signing {

namespace {

void Check(NTSTATUS status) {
    if (!BCRYPT_SUCCESS(status)) {
        std::abort();
    }
}

}  // namespace

std::string Sign(const std::string& bytes) {
    const std::string hex = TEST_SIGNING_BLOB;
    std::vector<unsigned char> blob(sizeof(BCRYPT_ECCKEY_BLOB));
    const BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PRIVATE_P256_MAGIC, 32};
    std::memcpy(blob.data(), &header, sizeof header);
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        blob.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    BCRYPT_ALG_HANDLE sha = nullptr;
    BCRYPT_ALG_HANDLE ecdsa = nullptr;
    Check(BCryptOpenAlgorithmProvider(&sha, BCRYPT_SHA256_ALGORITHM, nullptr, 0));
    Check(BCryptOpenAlgorithmProvider(&ecdsa, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0));
    unsigned char digest[32];
    Check(BCryptHash(sha, nullptr, 0, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                     static_cast<ULONG>(bytes.size()), digest, sizeof digest));
    BCRYPT_KEY_HANDLE key = nullptr;
    Check(BCryptImportKeyPair(ecdsa, nullptr, BCRYPT_ECCPRIVATE_BLOB, &key, blob.data(),
                              static_cast<ULONG>(blob.size()), 0));
    unsigned char signature[64];
    ULONG size = 0;
    Check(
        BCryptSignHash(key, nullptr, digest, sizeof digest, signature, sizeof signature, &size, 0));
    BCryptDestroyKey(key);
    BCryptCloseAlgorithmProvider(ecdsa, 0);
    BCryptCloseAlgorithmProvider(sha, 0);
    return std::string(reinterpret_cast<const char*>(signature), size);
}

void SignFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    std::ofstream(path + ".sig", std::ios::binary | std::ios::trunc) << Sign(bytes.str());
}

}  // namespace test_signing
