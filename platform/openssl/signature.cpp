// platform::VerifySignature over OpenSSL's libcrypto (EVP interface). Implements everything
// declared in platform/signature.h; shared by the Linux program and the test backend. OpenSSL
// takes the signature DER-encoded: r and s are wrapped here.
#include "platform/signature.h"

#include <openssl/core_names.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include <memory>

#include "platform/openssl/owned.h"

namespace platform {

namespace {

using openssl_owned::Deleter;
using openssl_owned::Key;

Key ImportPublicKey(std::string_view point) {
    std::unique_ptr<OSSL_PARAM_BLD, Deleter<OSSL_PARAM_BLD_free>> build(OSSL_PARAM_BLD_new());
    if (!build ||
        OSSL_PARAM_BLD_push_utf8_string(build.get(), OSSL_PKEY_PARAM_GROUP_NAME, "prime256v1", 0) !=
            1 ||
        OSSL_PARAM_BLD_push_octet_string(build.get(), OSSL_PKEY_PARAM_PUB_KEY, point.data(),
                                         point.size()) != 1) {
        return nullptr;
    }
    std::unique_ptr<OSSL_PARAM, Deleter<OSSL_PARAM_free>> params(
        OSSL_PARAM_BLD_to_param(build.get()));
    std::unique_ptr<EVP_PKEY_CTX, Deleter<EVP_PKEY_CTX_free>> context(
        EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    EVP_PKEY* key = nullptr;
    if (!params || !context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
        EVP_PKEY_fromdata(context.get(), &key, EVP_PKEY_PUBLIC_KEY, params.get()) != 1) {
        return nullptr;
    }
    return Key(key);
}

// r and s as the DER sequence OpenSSL verifies.
std::basic_string<unsigned char> DerSignature(std::string_view signature) {
    std::unique_ptr<ECDSA_SIG, Deleter<ECDSA_SIG_free>> sig(ECDSA_SIG_new());
    const auto* bytes = reinterpret_cast<const unsigned char*>(signature.data());
    BIGNUM* r = BN_bin2bn(bytes, kSignatureSize / 2, nullptr);
    BIGNUM* s = BN_bin2bn(bytes + kSignatureSize / 2, kSignatureSize / 2, nullptr);
    if (!sig || r == nullptr || s == nullptr || ECDSA_SIG_set0(sig.get(), r, s) != 1) {
        BN_free(r);
        BN_free(s);
        return {};
    }
    unsigned char* der = nullptr;
    const int size = i2d_ECDSA_SIG(sig.get(), &der);
    if (size <= 0) {
        return {};
    }
    std::basic_string<unsigned char> encoded(der, static_cast<size_t>(size));
    OPENSSL_free(der);
    return encoded;
}

}  // namespace

bool VerifySignature(std::string_view publicKey, std::string_view message,
                     std::string_view signature) {
    if (publicKey.size() != kPublicKeySize || signature.size() != kSignatureSize) {
        return false;
    }
    const Key key = ImportPublicKey(publicKey);
    const std::basic_string<unsigned char> der = DerSignature(signature);
    std::unique_ptr<EVP_MD_CTX, Deleter<EVP_MD_CTX_free>> context(EVP_MD_CTX_new());
    return key && !der.empty() && context &&
           EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) == 1 &&
           EVP_DigestVerify(context.get(), der.data(), der.size(),
                            reinterpret_cast<const unsigned char*>(message.data()),
                            message.size()) == 1;
}

}  // namespace platform
