// platform::Sha256 over OpenSSL's libcrypto (EVP interface). Implements everything declared in
// platform/sha256.h; shared by the Linux program, the test backend and the publisher tool.
#include "platform/sha256.h"

#include <openssl/evp.h>

#include <cstdlib>

namespace platform {

struct Sha256::State {
    EVP_MD_CTX* context = nullptr;
};

namespace {

// Without a digest context nothing can be checked; the library only fails on exhausted memory.
void Begin(EVP_MD_CTX* context) {
    if (context == nullptr || EVP_DigestInit_ex(context, EVP_sha256(), nullptr) != 1) {
        std::abort();
    }
}

}  // namespace

Sha256::Sha256() : state(std::make_unique<State>()) {
    state->context = EVP_MD_CTX_new();
    Begin(state->context);
}

Sha256::~Sha256() {
    EVP_MD_CTX_free(state->context);
}

void Sha256::Update(const void* bytes, size_t count) {
    if (count > 0 && EVP_DigestUpdate(state->context, bytes, count) != 1) {
        std::abort();
    }
}

std::string Sha256::FinishHex() {
    static constexpr char kHex[] = "0123456789abcdef";
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(state->context, digest, &size) != 1) {
        std::abort();
    }
    std::string text;
    for (unsigned int i = 0; i < size; ++i) {
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 15];
    }
    Begin(state->context);
    return text;
}

}  // namespace platform
