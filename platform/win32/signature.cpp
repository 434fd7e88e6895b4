// platform::VerifySignature over the system's own cryptography provider (CNG, bcrypt).
// Implements everything declared in platform/signature.h for the Windows program and the test
// backend built for Windows. CNG takes the key as an ECC public blob and the signature as r and
// s, the forms the interface uses.
#include "platform/signature.h"

#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include <cstring>
#include <vector>

namespace platform {

namespace {

constexpr ULONG kCoordinateSize = 32;

// Opened once for the process and never closed, as the SHA-256 provider.
BCRYPT_ALG_HANDLE Provider(const wchar_t* algorithm) {
    BCRYPT_ALG_HANDLE opened = nullptr;
    return BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&opened, algorithm, nullptr, 0)) ? opened
                                                                                       : nullptr;
}

bool Digest(std::string_view message, unsigned char (&digest)[32]) {
    static const BCRYPT_ALG_HANDLE provider = Provider(BCRYPT_SHA256_ALGORITHM);
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (provider == nullptr ||
        !BCRYPT_SUCCESS(BCryptCreateHash(provider, &hash, nullptr, 0, nullptr, 0, 0))) {
        return false;
    }
    bool done = true;
    const auto* data = reinterpret_cast<const unsigned char*>(message.data());
    for (size_t left = message.size(); done && left > 0;) {
        const ULONG chunk = static_cast<ULONG>(left < (1u << 30) ? left : (1u << 30));
        done = BCRYPT_SUCCESS(BCryptHashData(hash, const_cast<unsigned char*>(data), chunk, 0));
        data += chunk;
        left -= chunk;
    }
    done = done && BCRYPT_SUCCESS(BCryptFinishHash(hash, digest, sizeof digest, 0));
    BCryptDestroyHash(hash);
    return done;
}

}  // namespace

bool VerifySignature(std::string_view publicKey, std::string_view message,
                     std::string_view signature) {
    if (publicKey.size() != kPublicKeySize || signature.size() != kSignatureSize ||
        publicKey[0] != 0x04) {
        return false;
    }
    static const BCRYPT_ALG_HANDLE provider = Provider(BCRYPT_ECDSA_P256_ALGORITHM);
    unsigned char digest[32];
    if (provider == nullptr || !Digest(message, digest)) {
        return false;
    }
    // The blob: its header, then X and Y, the point without its leading 0x04.
    std::vector<unsigned char> blob(sizeof(BCRYPT_ECCKEY_BLOB) + 2 * kCoordinateSize);
    const BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, kCoordinateSize};
    std::memcpy(blob.data(), &header, sizeof header);
    std::memcpy(blob.data() + sizeof header, publicKey.data() + 1, 2 * kCoordinateSize);
    BCRYPT_KEY_HANDLE key = nullptr;
    if (!BCRYPT_SUCCESS(BCryptImportKeyPair(provider, nullptr, BCRYPT_ECCPUBLIC_BLOB, &key,
                                            blob.data(), static_cast<ULONG>(blob.size()), 0))) {
        return false;
    }
    std::vector<unsigned char> sig(signature.begin(), signature.end());
    const bool valid = BCRYPT_SUCCESS(BCryptVerifySignature(
        key, nullptr, digest, sizeof digest, sig.data(), static_cast<ULONG>(sig.size()), 0));
    BCryptDestroyKey(key);
    return valid;
}

}  // namespace platform
