// platform::Sha256 over the system's own cryptography provider (CNG, bcrypt). Implements
// everything declared in platform/sha256.h for the Windows program, the test backend built for
// Windows and the publisher tool.
#include "platform/sha256.h"

#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include <cstdlib>

namespace platform {

struct Sha256::State {
    BCRYPT_HASH_HANDLE hash = nullptr;
};

namespace {

// Opened once for the process and never closed: every hash object comes from it.
BCRYPT_ALG_HANDLE Provider() {
    static const BCRYPT_ALG_HANDLE provider = [] {
        BCRYPT_ALG_HANDLE opened = nullptr;
        return BCRYPT_SUCCESS(
                   BCryptOpenAlgorithmProvider(&opened, BCRYPT_SHA256_ALGORITHM, nullptr, 0))
                   ? opened
                   : nullptr;
    }();
    return provider;
}

// The provider only fails on exhausted memory: without a hash nothing can be checked.
BCRYPT_HASH_HANDLE Begin() {
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (Provider() == nullptr ||
        !BCRYPT_SUCCESS(BCryptCreateHash(Provider(), &hash, nullptr, 0, nullptr, 0, 0))) {
        std::abort();
    }
    return hash;
}

}  // namespace

Sha256::Sha256() : state(std::make_unique<State>()) {
    state->hash = Begin();
}

Sha256::~Sha256() {
    BCryptDestroyHash(state->hash);
}

void Sha256::Update(const void* bytes, size_t count) {
    const auto* data = static_cast<const unsigned char*>(bytes);
    while (count > 0) {
        const ULONG chunk = static_cast<ULONG>(count < (1u << 30) ? count : (1u << 30));
        if (!BCRYPT_SUCCESS(
                BCryptHashData(state->hash, const_cast<unsigned char*>(data), chunk, 0))) {
            std::abort();
        }
        data += chunk;
        count -= chunk;
    }
}

std::string Sha256::FinishHex() {
    static constexpr char kHex[] = "0123456789abcdef";
    unsigned char digest[32];
    if (!BCRYPT_SUCCESS(BCryptFinishHash(state->hash, digest, sizeof digest, 0))) {
        std::abort();
    }
    // A finished hash takes no more data: start a new one.
    BCryptDestroyHash(state->hash);
    state->hash = Begin();
    std::string text;
    for (unsigned char byte : digest) {
        text += kHex[byte >> 4];
        text += kHex[byte & 15];
    }
    return text;
}

}  // namespace platform
