// manifest_signing over OpenSSL's libcrypto.
#include <fcntl.h>
#include <openssl/ec.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "platform/openssl/owned.h"
#include "tools/manifest_signing.h"

namespace manifest_signing {

namespace {

using openssl_owned::Deleter;
using openssl_owned::Key;
using File = std::unique_ptr<std::FILE, Deleter<std::fclose>>;

// Created for its owner only, and only when nothing is there yet (no link is followed).
File CreatePrivateFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return nullptr;
    }
    File file(::fdopen(fd, "w"));
    if (!file) {
        ::close(fd);
    }
    return file;
}

bool IsP256(EVP_PKEY* key) {
    char group[64] = {};
    size_t length = 0;
    return EVP_PKEY_is_a(key, "EC") &&
           EVP_PKEY_get_utf8_string_param(key, "group", group, sizeof group, &length) == 1 &&
           std::string(group) == "prime256v1";
}

}  // namespace

bool GenerateKey(const std::string& keyFile, std::string& error) {
    const Key key(EVP_EC_gen("P-256"));
    if (!key) {
        error = "cannot make a key";
        return false;
    }
    File privateFile = CreatePrivateFile(keyFile);
    if (!privateFile) {
        error = "cannot create " + keyFile + " (it must not exist yet)";
        return false;
    }
    if (PEM_write_PrivateKey(privateFile.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) !=
            1 ||
        std::fclose(privateFile.release()) != 0) {
        error = "cannot write " + keyFile;
        return false;
    }
    const std::string publicPath = keyFile + ".pub";
    File publicFile(std::fopen(publicPath.c_str(), "wb"));
    if (!publicFile || i2d_PUBKEY_fp(publicFile.get(), key.get()) != 1 ||
        std::fclose(publicFile.release()) != 0) {
        error = "cannot write " + publicPath;
        return false;
    }
    return true;
}

bool Sign(const std::string& keyFile, const std::string& message, std::string& signature,
          std::string& error) {
    File file(std::fopen(keyFile.c_str(), "r"));
    const Key key(file ? PEM_read_PrivateKey(file.get(), nullptr, nullptr, nullptr) : nullptr);
    if (!key || !IsP256(key.get())) {
        error = "cannot read a P-256 private key from " + keyFile;
        return false;
    }
    std::unique_ptr<EVP_MD_CTX, Deleter<EVP_MD_CTX_free>> context(EVP_MD_CTX_new());
    size_t size = 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(message.data());
    if (!context ||
        EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1 ||
        EVP_DigestSign(context.get(), nullptr, &size, bytes, message.size()) != 1) {
        error = "cannot sign";
        return false;
    }
    std::basic_string<unsigned char> der(size, 0);
    if (EVP_DigestSign(context.get(), der.data(), &size, bytes, message.size()) != 1) {
        error = "cannot sign";
        return false;
    }
    // OpenSSL gives DER; the manifest's signature is r and s, 32 bytes each.
    const unsigned char* read = der.data();
    std::unique_ptr<ECDSA_SIG, Deleter<ECDSA_SIG_free>> sig(
        d2i_ECDSA_SIG(nullptr, &read, static_cast<long>(size)));
    unsigned char raw[64];
    if (!sig || BN_bn2binpad(ECDSA_SIG_get0_r(sig.get()), raw, 32) != 32 ||
        BN_bn2binpad(ECDSA_SIG_get0_s(sig.get()), raw + 32, 32) != 32) {
        error = "cannot sign";
        return false;
    }
    signature.assign(reinterpret_cast<const char*>(raw), sizeof raw);
    return true;
}

}  // namespace manifest_signing
